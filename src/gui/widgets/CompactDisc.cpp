#include "gui/widgets/CompactDisc.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QtMath>

namespace tabula {

QImage CompactDiscPicture(qreal devicePixelRatio, const QColor& background) {
    const int side = qCeil(32 * devicePixelRatio);
    QImage art(side, side, QImage::Format_ARGB32);
    art.fill(Qt::transparent);
    {
        QSvgRenderer renderer(QStringLiteral(":/icons/tabula.svg"));
        QPainter painter(&art);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, side, side));
    }

    QImage picture(side, side, QImage::Format_RGB32);
    const QRgb key = PictureKeyColor.rgb();
    const QRgb under = background.rgb();
    for (int y = 0; y < side; ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(art.constScanLine(y));
        auto* to = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < side; ++x) {
            const int alpha = qAlpha(from[x]);
            if (alpha == 0) {
                to[x] = key;
                continue;
            }
            const auto blend = [alpha](int over, int base) {
                return (over * alpha + base * (255 - alpha) + 127) / 255;
            };
            QRgb pixel =
                qRgb(blend(qRed(from[x]), qRed(under)), blend(qGreen(from[x]), qGreen(under)),
                     blend(qBlue(from[x]), qBlue(under)));
            // A drawn pixel must never read as transparent.
            if ((pixel & 0xFFFFFF) == (key & 0xFFFFFF)) {
                pixel = qRgb(254, 66, 0);
            }
            to[x] = pixel;
        }
    }
    picture.setDevicePixelRatio(devicePixelRatio);
    return picture;
}

} // namespace tabula
