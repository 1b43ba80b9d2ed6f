#include "core/progress/GradientMath.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace tabula {

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) {
        return -1;
    }
    const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    const std::int64_t magnitude = std::llabs(product);
    const std::int64_t divisor = std::llabs(static_cast<std::int64_t>(denominator));
    std::int64_t quotient = (magnitude + divisor / 2) / divisor;
    if ((product < 0) != (denominator < 0)) {
        quotient = -quotient;
    }
    if (quotient > std::numeric_limits<int>::max() || quotient < std::numeric_limits<int>::min()) {
        return -1;
    }
    return static_cast<int>(quotient);
}

TColor GradientColor(TColor a, TColor b, int count, int index) {
    if (index < 1 || index > count) {
        throw ERangeError("ColorIndex can't be less than 1 or greater than " +
                          std::to_string(count));
    }
    if (count == 1) {
        return a;
    }
    const auto channel = [&](int from, int to) {
        return from + MulDiv(index - 1, to - from, count - 1);
    };
    return RgbColor(channel(RedOf(a), RedOf(b)), channel(GreenOf(a), GreenOf(b)),
                    channel(BlueOf(a), BlueOf(b)));
}

bool IsHorizontal(TProgressDirection direction) {
    return direction == TProgressDirection::pdLeftToRight ||
           direction == TProgressDirection::pdRightToLeft;
}

std::vector<TColor> GradientRuns(TBarColorStyle style, TProgressDirection direction, TColor color1,
                                 TColor color2, TColor color3, int extent) {
    std::vector<TColor> colors;
    if (extent <= 0 || style == TBarColorStyle::cs1Color) {
        return colors;
    }
    colors.reserve(static_cast<std::size_t>(extent));
    const bool threeColors = style == TBarColorStyle::cs3Colors;
    // The fill starts at the right or bottom end for these two, and the
    // gradient is mirrored with it.
    const bool mirrored = direction == TProgressDirection::pdRightToLeft ||
                          direction == TProgressDirection::pdBottomToTop;
    const int firstRun = threeColors ? extent / 2 : extent;
    TColor from = color1;
    TColor to = color2;
    if (mirrored) {
        from = threeColors ? color3 : color2;
        to = threeColors ? color2 : color1;
    }
    for (int i = 1; i <= firstRun; ++i) {
        colors.push_back(GradientColor(from, to, firstRun, i));
    }
    if (threeColors) {
        const TColor last = mirrored ? color1 : color3;
        const int secondRun = extent - firstRun;
        for (int j = 1; j <= secondRun; ++j) {
            colors.push_back(GradientColor(color2, last, secondRun, j));
        }
    }
    return colors;
}

TBarRect InnerRect(int width, int height, bool showBorder) {
    if (showBorder) {
        return {1, 1, width - 1, height - 1};
    }
    return {0, 0, width, height};
}

int TrackLength(TProgressDirection direction, int width, int height, bool showBorder) {
    return (IsHorizontal(direction) ? width : height) - (showBorder ? 2 : 0);
}

int FilledLength(int position, int min, int max, int trackLength) {
    if (position <= min) {
        return 0;
    }
    const std::int64_t range = std::llabs(static_cast<std::int64_t>(max) - min);
    if (range == 0) {
        return trackLength;
    }
    // Exact rational arithmetic, so a length that falls on a half rounds to
    // the even neighbour whatever the floating-point error would have been.
    const std::int64_t numerator = (static_cast<std::int64_t>(position) - min) * trackLength;
    std::int64_t quotient = numerator / range;
    const std::int64_t twiceRemainder = 2 * (numerator % range);
    if (twiceRemainder > range || (twiceRemainder == range && quotient % 2 != 0)) {
        ++quotient;
    }
    if (quotient > std::numeric_limits<int>::max()) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(quotient);
}

TBarRect RestRect(TProgressDirection direction, const TBarRect& inner, int trackLength,
                  int filledLength) {
    const int rest = std::max(0, trackLength - filledLength);
    switch (direction) {
    case TProgressDirection::pdLeftToRight:
        return {inner.Right - rest, inner.Top, inner.Right, inner.Bottom};
    case TProgressDirection::pdRightToLeft:
        return {inner.Left, inner.Top, inner.Left + rest, inner.Bottom};
    case TProgressDirection::pdTopToBottom:
        return {inner.Left, inner.Bottom - rest, inner.Right, inner.Bottom};
    case TProgressDirection::pdBottomToTop:
        return {inner.Left, inner.Top, inner.Right, inner.Top + rest};
    }
    return {};
}

} // namespace tabula
