#pragma once

#include <string>

namespace tabula {

// The user's home directory: $HOME when set and not empty, else the one the
// password database gives; empty when neither is known.
std::string HomeDirectory();

// A typed path as the file choosers read it: "~" alone or a leading "~/"
// stands for the home directory; any other path is returned as it is.
std::string ExpandHome(const std::string& path);

} // namespace tabula
