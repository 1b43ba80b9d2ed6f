#pragma once

#include "core/progress/WinColor.h"

#include <QColor>

class QPalette;

namespace tabula {

// The colour a colour value stands for now: an RGB value as it is, a system
// colour as the matching role of the palette (black for an index with none).
QColor ResolveColor(TColor color, const QPalette& palette);

// The same as an RGB colour value.
TColor ResolveToRgb(TColor color, const QPalette& palette);

} // namespace tabula
