#include "gui/widgets/TransparentImage.h"

#include <QPainter>

namespace tabula {

TTransparentImage::TTransparentImage(QWidget* parent) : QWidget(parent) {}

void TTransparentImage::SetPicture(const QImage& picture) {
    picture_ = picture.copy();
    masked_ = QImage();
    if (!picture_.isNull()) {
        masked_ = picture_.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = masked_.pixel(0, masked_.height() - 1) & 0xFFFFFF;
        for (int y = 0; y < masked_.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(masked_.scanLine(y));
            for (int x = 0; x < masked_.width(); ++x) {
                if ((line[x] & 0xFFFFFF) == key) {
                    line[x] = 0;
                }
            }
        }
    }
    update();
}

void TTransparentImage::paintEvent(QPaintEvent* /*event*/) {
    if (masked_.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.drawImage(rect(), masked_);
}

} // namespace tabula
