#pragma once

#include <string>

namespace tabula {

// The user's trash folder ($XDG_DATA_HOME/Trash, else ~/.local/share/Trash).
std::string TrashDirectory();

// Moves the file at path into the user's trash, where the desktop's file
// manager can restore it. False when it could not be moved (another file
// system than the trash's, no access); the file then stays where it was.
bool MoveToTrash(const std::string& path);

} // namespace tabula
