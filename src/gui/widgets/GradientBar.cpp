#include "gui/widgets/GradientBar.h"

#include "gui/widgets/WinColors.h"

#include <QEvent>
#include <QPainter>
#include <QtMath>

#include <algorithm>

namespace tabula {

TGradientBar::TGradientBar(QWidget* parent) : QWidget(parent) {
    resize(200, 20);
}

void TGradientBar::SetMin(int value) {
    Assign(min_, value);
}
void TGradientBar::SetMax(int value) {
    Assign(max_, value);
}
void TGradientBar::SetDirection(TProgressDirection value) {
    Assign(direction_, value);
}
void TGradientBar::SetBarColorStyle(TBarColorStyle value) {
    Assign(barColorStyle_, value);
}
void TGradientBar::SetBarColor1(TColor value) {
    Assign(barColor1_, value);
}
void TGradientBar::SetBarColor2(TColor value) {
    Assign(barColor2_, value);
}
void TGradientBar::SetBarColor3(TColor value) {
    Assign(barColor3_, value);
}
void TGradientBar::SetBackgroundColor(TColor value) {
    Assign(backgroundColor_, value);
}
void TGradientBar::SetBorderColor1(TColor value) {
    Assign(borderColor1_, value);
}
void TGradientBar::SetBorderColor2(TColor value) {
    Assign(borderColor2_, value);
}
void TGradientBar::SetShowBorder(bool value) {
    Assign(showBorder_, value);
}
void TGradientBar::SetShowPosText(bool value) {
    Assign(showPosText_, value);
}
void TGradientBar::SetPosTextPrefix(const QString& value) {
    Assign(posTextPrefix_, value);
}
void TGradientBar::SetPosTextSuffix(const QString& value) {
    Assign(posTextSuffix_, value);
}
void TGradientBar::SetBarBitmap(const QImage& value) {
    Assign(barBitmap_, value.copy());
}

void TGradientBar::SetPosition(int value) {
    if (value == position_ || value > max_ || value < min_) {
        return;
    }
    position_ = value;
    // Only the filled length changed: the paint reuses the cached picture.
    rebuildGradient_ = false;
    repaint();
    rebuildGradient_ = true;
}

TColor TGradientBar::GradientColor(TColor a, TColor b, int count, int index) const {
    return tabula::GradientColor(ResolveToRgb(a, palette()), ResolveToRgb(b, palette()), count,
                                 index);
}

QColor TGradientBar::Color(TColor value) const {
    return ResolveColor(value, palette());
}

bool TGradientBar::HasBitmap() const {
    const QSize size = barBitmap_.deviceIndependentSize().toSize();
    return !barBitmap_.isNull() && size.width() > 0 && size.height() > 0;
}

QImage TGradientBar::DeviceImage() const {
    const qreal ratio = devicePixelRatioF();
    QImage image(qCeil(width() * ratio), qCeil(height() * ratio), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    return image;
}

void TGradientBar::paintEvent(QPaintEvent* /*event*/) {
    Compose(rebuildGradient_);
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), offscreen_);
}

void TGradientBar::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The text's font and the system colours come from the parent; a change
    // there shows at once, as a setter's would.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
        repaint();
    }
}

void TGradientBar::Compose(bool rebuild) {
    offscreen_ = DeviceImage();
    QPainter painter(&offscreen_);
    DrawBar(painter, rebuild);
    if (showBorder_) {
        DrawBorder(painter);
    }
    if (showPosText_) {
        DrawPosText(painter);
    }
}

void TGradientBar::DrawBar(QPainter& painter, bool rebuild) {
    const int w = width();
    const int h = height();
    // A cache of another size (resized, or moved to a screen of another
    // scale) is never copied, whatever caused the paint.
    const bool stale = gradient_.size() != offscreen_.size() ||
                       gradient_.devicePixelRatio() != offscreen_.devicePixelRatio();
    if (HasBitmap()) {
        if (rebuild || stale) {
            TileBitmap();
        }
        painter.drawImage(QPoint(0, 0), gradient_);
    } else if (barColorStyle_ == TBarColorStyle::cs1Color) {
        painter.fillRect(QRect(0, 0, w, h), Color(barColor1_));
    } else {
        if (rebuild || stale) {
            BuildGradient();
        }
        painter.drawImage(QPoint(0, 0), gradient_);
    }

    const int track = TrackLength(direction_, w, h, showBorder_);
    const TBarRect inner = InnerRect(w, h, showBorder_);
    const int filled = FilledLength(position_, min_, max_, track);
    const TBarRect rest = RestRect(direction_, inner, track, filled);
    if (rest.Width() > 0 && rest.Height() > 0) {
        painter.fillRect(QRect(rest.Left, rest.Top, rest.Width(), rest.Height()),
                         Color(backgroundColor_));
    }
}

void TGradientBar::BuildGradient() {
    ++gradientBuilds_;
    gradient_ = DeviceImage();
    const bool horizontal = IsHorizontal(direction_);
    const int extent = horizontal ? width() : height();
    const QPalette& pal = palette();
    const std::vector<TColor> colors =
        GradientRuns(barColorStyle_, direction_, ResolveToRgb(barColor1_, pal),
                     ResolveToRgb(barColor2_, pal), ResolveToRgb(barColor3_, pal), extent);
    if (colors.empty()) {
        gradient_.fill(Color(barColor1_));
        return;
    }
    // Written pixel by pixel: every device pixel gets the colour of the
    // logical column or row it lies in, so no scale blends two of them.
    const qreal ratio = gradient_.devicePixelRatio();
    const auto colorAt = [&](int device) {
        const int logical = std::min(static_cast<int>(device / ratio), extent - 1);
        const TColor c = colors[static_cast<std::size_t>(logical)];
        return qRgb(RedOf(c), GreenOf(c), BlueOf(c));
    };
    const int deviceWidth = gradient_.width();
    const int deviceHeight = gradient_.height();
    for (int y = 0; y < deviceHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(gradient_.scanLine(y));
        if (horizontal) {
            for (int x = 0; x < deviceWidth; ++x) {
                line[x] = colorAt(x);
            }
        } else {
            std::fill(line, line + deviceWidth, colorAt(y));
        }
    }
}

void TGradientBar::TileBitmap() {
    ++gradientBuilds_;
    gradient_ = DeviceImage();
    const QSize tile = barBitmap_.deviceIndependentSize().toSize();
    QPainter painter(&gradient_);
    const int columns = width() / tile.width() + 1;
    const int rows = height() / tile.height() + 1;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            painter.drawImage(QPoint(column * tile.width(), row * tile.height()), barBitmap_);
        }
    }
}

void TGradientBar::DrawBorder(QPainter& painter) const {
    const int w = width();
    const int h = height();
    const QColor shadow = Color(borderColor1_);
    const QColor light = Color(borderColor2_);
    // Top and left edges, then bottom and right, as two lines each without
    // their end points.
    painter.fillRect(QRect(0, 0, w, 1), shadow);
    painter.fillRect(QRect(0, 0, 1, h), shadow);
    painter.fillRect(QRect(1, h - 1, w - 1, 1), light);
    painter.fillRect(QRect(w - 1, 1, 1, h - 1), light);
}

void TGradientBar::DrawPosText(QPainter& painter) const {
    const QString text = posTextPrefix_ + QString::number(position_) + posTextSuffix_;
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics = painter.fontMetrics();
    const int x = width() / 2 - metrics.horizontalAdvance(text) / 2;
    const int y = height() / 2 - metrics.height() / 2;
    painter.drawText(x, y + metrics.ascent(), text);
}

} // namespace tabula
