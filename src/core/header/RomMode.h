#pragma once

namespace tabula {

// Which console header rule a scan applies: the choices of the scan dialog,
// exactly one of which is selected.
enum class TRomMode {
    Normal, // no header is cut
    Nes,    // the 16-byte NES header is cut
    Snes,   // the SNES copier header inferred from the size is cut
    Detect, // each file is cut as the first detector rule its content passes says
};

} // namespace tabula
