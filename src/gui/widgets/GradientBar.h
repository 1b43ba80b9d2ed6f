#pragma once

#include "core/progress/GradientMath.h"
#include "core/progress/WinColor.h"

#include <QImage>
#include <QString>
#include <QWidget>

namespace tabula {

// A progress bar that fills its track with a gradient of two or three
// colours, one colour or a tiled bitmap, leaves the rest in a background
// colour, draws a one-pixel bevel and writes the position in its centre.
// Every paint is composed off-screen and copied in one operation; the
// full-size bar picture is cached and reused by the paints that a Position
// change causes. Setters paint at once (synchronously), so the bar moves even
// while the GUI thread is busy. Colours are colour values (see WinColor.h);
// everything is drawn in whole device pixels, so the picture stays crisp and
// its colours exact at any display scale.
class TGradientBar : public QWidget {
    Q_OBJECT
public:
    explicit TGradientBar(QWidget* parent = nullptr);

    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }
    TProgressDirection Direction() const { return direction_; }
    TBarColorStyle BarColorStyle() const { return barColorStyle_; }
    TColor BarColor1() const { return barColor1_; }
    TColor BarColor2() const { return barColor2_; }
    TColor BarColor3() const { return barColor3_; }
    TColor BackgroundColor() const { return backgroundColor_; }
    TColor BorderColor1() const { return borderColor1_; }
    TColor BorderColor2() const { return borderColor2_; }
    bool ShowBorder() const { return showBorder_; }
    bool ShowPosText() const { return showPosText_; }
    QString PosTextPrefix() const { return posTextPrefix_; }
    QString PosTextSuffix() const { return posTextSuffix_; }
    const QImage& BarBitmap() const { return barBitmap_; }

    // Stored without any check; Position is not adjusted.
    void SetMin(int value);
    void SetMax(int value);
    // A value equal to the current one, above Max or below Min is ignored.
    void SetPosition(int value);
    void SetDirection(TProgressDirection value);
    void SetBarColorStyle(TBarColorStyle value);
    void SetBarColor1(TColor value);
    void SetBarColor2(TColor value);
    void SetBarColor3(TColor value);
    void SetBackgroundColor(TColor value);
    void SetBorderColor1(TColor value);
    void SetBorderColor2(TColor value);
    void SetShowBorder(bool value);
    void SetShowPosText(bool value);
    void SetPosTextPrefix(const QString& value);
    void SetPosTextSuffix(const QString& value);
    // Copies the picture; one of zero width or height counts as none.
    void SetBarBitmap(const QImage& value);

    // Colour number index of count on the line from a to b, system colours
    // taken from the bar's palette. Throws ERangeError for an index outside
    // 1..count.
    TColor GradientColor(TColor a, TColor b, int count, int index) const;

    // The picture the last paint composed, in device pixels.
    const QImage& OffscreenBitmap() const { return offscreen_; }
    // How many times the full-size bar picture has been built.
    int GradientBuilds() const { return gradientBuilds_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    template <typename T> void Assign(T& field, const T& value) {
        field = value;
        repaint();
    }
    void Compose(bool rebuild);
    void DrawBar(QPainter& painter, bool rebuild);
    void BuildGradient();
    void TileBitmap();
    void DrawBorder(QPainter& painter) const;
    void DrawPosText(QPainter& painter) const;
    bool HasBitmap() const;
    QColor Color(TColor value) const;
    QImage DeviceImage() const;

    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    TProgressDirection direction_ = TProgressDirection::pdLeftToRight;
    TBarColorStyle barColorStyle_ = TBarColorStyle::cs3Colors;
    TColor barColor1_ = RgbColor(0, 128, 0);
    TColor barColor2_ = RgbColor(255, 255, 0);
    TColor barColor3_ = RgbColor(255, 0, 0);
    TColor backgroundColor_ = clBtnFace;
    TColor borderColor1_ = clBtnShadow;
    TColor borderColor2_ = clBtnHighlight;
    bool showBorder_ = true;
    bool showPosText_ = true;
    QString posTextPrefix_;
    QString posTextSuffix_ = QStringLiteral("%");
    QImage barBitmap_;

    QImage offscreen_;
    QImage gradient_;
    bool rebuildGradient_ = true;
    int gradientBuilds_ = 0;
};

} // namespace tabula
