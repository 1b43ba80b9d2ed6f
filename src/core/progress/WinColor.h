#pragma once

#include <cstdint>

namespace tabula {

// A colour as the form layouts give it: 0x00BBGGRR for an RGB value, or the
// high bit set and a system colour index in the low bits, turned into the
// current theme's colour only when drawn.
using TColor = std::uint32_t;

constexpr TColor SystemColorFlag = 0x80000000u;

constexpr TColor RgbColor(int red, int green, int blue) {
    return static_cast<TColor>(red & 0xFF) | static_cast<TColor>(green & 0xFF) << 8 |
           static_cast<TColor>(blue & 0xFF) << 16;
}
constexpr int RedOf(TColor c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int GreenOf(TColor c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int BlueOf(TColor c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

constexpr bool IsSystemColor(TColor c) {
    return (c & SystemColorFlag) != 0;
}
constexpr int SystemColorIndex(TColor c) {
    return static_cast<int>(c & 0xFF);
}

constexpr TColor SystemColor(int index) {
    return SystemColorFlag | static_cast<TColor>(index);
}
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clBtnHighlight = SystemColor(20);

} // namespace tabula
