#include "gui/widgets/WinColors.h"

#include <QPalette>

namespace tabula {

namespace {
struct TSystemRole {
    int Index;
    QPalette::ColorGroup Group;
    QPalette::ColorRole Role;
};

// The system colour indexes with a palette role of the same meaning.
constexpr TSystemRole SystemRoles[] = {
    {4, QPalette::Active, QPalette::Window},           // menu
    {5, QPalette::Active, QPalette::Base},             // window
    {7, QPalette::Active, QPalette::Text},             // menu text
    {8, QPalette::Active, QPalette::Text},             // window text
    {13, QPalette::Active, QPalette::Highlight},       // highlight
    {14, QPalette::Active, QPalette::HighlightedText}, // highlight text
    {15, QPalette::Active, QPalette::Button},          // button face
    {16, QPalette::Active, QPalette::Dark},            // button shadow
    {17, QPalette::Disabled, QPalette::Text},          // grey text
    {18, QPalette::Active, QPalette::ButtonText},      // button text
    {20, QPalette::Active, QPalette::Light},           // button highlight
    {21, QPalette::Active, QPalette::Shadow},          // dark shadow
    {22, QPalette::Active, QPalette::Midlight},        // 3D light
    {23, QPalette::Active, QPalette::ToolTipText},     // info text
    {24, QPalette::Active, QPalette::ToolTipBase},     // info background
};
} // namespace

QColor ResolveColor(TColor color, const QPalette& palette) {
    if (!IsSystemColor(color)) {
        return QColor(RedOf(color), GreenOf(color), BlueOf(color));
    }
    const int index = SystemColorIndex(color);
    for (const TSystemRole& entry : SystemRoles) {
        if (entry.Index == index) {
            return palette.color(entry.Group, entry.Role);
        }
    }
    return QColor(Qt::black);
}

TColor ResolveToRgb(TColor color, const QPalette& palette) {
    const QColor resolved = ResolveColor(color, palette);
    return RgbColor(resolved.red(), resolved.green(), resolved.blue());
}

} // namespace tabula
