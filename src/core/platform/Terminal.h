#pragma once

namespace tabula {

// True when the standard output or error stream goes to a terminal.
bool StandardOutputIsTerminal();
bool StandardErrorIsTerminal();

// The width in columns of the terminal behind standard error; fallback when
// it is not a terminal or does not tell.
int StandardErrorColumns(int fallback);

} // namespace tabula
