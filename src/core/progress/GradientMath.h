#pragma once

#include "core/progress/WinColor.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace tabula {

// The arithmetic behind the gradient progress bar: the colours of its
// picture, the filled length and the part left to the background. Rectangles
// are left, top, right, bottom with right and bottom exclusive.

enum class TProgressDirection { pdLeftToRight, pdRightToLeft, pdBottomToTop, pdTopToBottom };
enum class TBarColorStyle { cs1Color, cs2Colors, cs3Colors };

class ERangeError : public std::range_error {
public:
    using std::range_error::range_error;
};

struct TBarRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool operator==(const TBarRect&) const = default;
};

// number * numerator / denominator from an exact product, rounded to the
// nearest integer with halves away from zero; -1 when denominator is 0 or the
// result does not fit an int.
int MulDiv(int number, int numerator, int denominator);

// Colour number index of count on the straight line from a to b, both ends
// included; a and b are RGB values. Throws ERangeError for an index outside
// 1..count.
TColor GradientColor(TColor a, TColor b, int count, int index);

bool IsHorizontal(TProgressDirection direction);

// The colours of the gradient picture along the direction, one per column
// (horizontal) or row (vertical), counted from the left or top edge; extent is
// the picture's width or height. Only the two- and three-colour styles have a
// gradient. The colours are RGB values.
std::vector<TColor> GradientRuns(TBarColorStyle style, TProgressDirection direction, TColor color1,
                                 TColor color2, TColor color3, int extent);

// The track inside the bevel, or the whole control without one.
TBarRect InnerRect(int width, int height, bool showBorder);
int TrackLength(TProgressDirection direction, int width, int height, bool showBorder);

// The filled length of a track: 0 at or below min, the whole track for a range
// of zero width; else (position - min) / |max - min| of the track rounded to
// the nearest integer, halves to the even neighbour. Above max it exceeds the
// track.
int FilledLength(int position, int min, int max, int trackLength);

// The part of the inner rectangle that the background covers, at the end
// opposite to where the fill starts; empty when the fill covers the track.
TBarRect RestRect(TProgressDirection direction, const TBarRect& inner, int trackLength,
                  int filledLength);

} // namespace tabula
