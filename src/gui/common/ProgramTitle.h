#pragma once

namespace tabula {

// The program's title: the task-bar button's, the application's error boxes'
// and the captions of the boxes the program shows on its own behalf.
inline constexpr const char* ProgramTitle = "tabula";

} // namespace tabula
