#pragma once

#include <QColor>
#include <QImage>

namespace tabula {

// The colour that marks the transparent pixels of the progress window's
// 32 x 32 picture: the picture's bottom-left pixel holds it.
inline const QColor PictureKeyColor = QColor(255, 66, 0);

// The picture of a compact disc under a magnifying glass, 32 x 32 logical
// pixels rendered at the given scale from the program's vector artwork. Its
// background is the key colour; edge pixels are blended over background so
// they need no blending when shown.
QImage CompactDiscPicture(qreal devicePixelRatio, const QColor& background);

} // namespace tabula
