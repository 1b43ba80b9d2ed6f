#include "gui/widgets/GradientBar.h"

#include <QtTest>

#include <cmath>
#include <memory>
#include <vector>

using namespace tabula;
using enum TProgressDirection;
using enum TBarColorStyle;

namespace {

QRgb Rgb(TColor c) {
    return qRgb(RedOf(c), GreenOf(c), BlueOf(c));
}

// The colours along the bar as the formulas give them, computed here apart
// from the program's own arithmetic: halves of a channel step away from zero.
std::vector<QRgb> ExpectedRuns(TBarColorStyle style, TProgressDirection direction, TColor c1,
                               TColor c2, TColor c3, int extent) {
    const auto line = [](TColor a, TColor b, int count, int i) {
        const auto channel = [&](int from, int to) {
            return count == 1 ? from
                              : from + static_cast<int>(std::lround(double((i - 1) * (to - from)) /
                                                                    (count - 1)));
        };
        return qRgb(channel(RedOf(a), RedOf(b)), channel(GreenOf(a), GreenOf(b)),
                    channel(BlueOf(a), BlueOf(b)));
    };
    const bool mirrored = direction == pdRightToLeft || direction == pdBottomToTop;
    const int n = style == cs3Colors ? extent / 2 : extent;
    std::vector<QRgb> colors;
    for (int i = 1; i <= n; ++i) {
        colors.push_back(
            mirrored ? line(style == cs3Colors ? c3 : c2, style == cs3Colors ? c2 : c1, n, i)
                     : line(c1, c2, n, i));
    }
    for (int j = 1; style == cs3Colors && j <= extent - n; ++j) {
        colors.push_back(line(c2, mirrored ? c1 : c3, extent - n, j));
    }
    return colors;
}

// The colour the bar should show at logical pixel (x, y), position text off.
QRgb ExpectedPixel(const TGradientBar& bar, int x, int y) {
    const int w = bar.width(), h = bar.height();
    const QPalette& pal = bar.palette();
    const bool border = bar.ShowBorder();
    if (border && (y == 0 || x == 0)) {
        return pal.color(QPalette::Dark).rgb();
    }
    if (border && (y == h - 1 || x == w - 1)) {
        return pal.color(QPalette::Light).rgb();
    }
    const bool horizontal = bar.Direction() == pdLeftToRight || bar.Direction() == pdRightToLeft;
    const int track = (horizontal ? w : h) - (border ? 2 : 0);
    int filled = 0;
    if (bar.Position() > bar.Min()) {
        const int range = std::abs(bar.Max() - bar.Min());
        filled = range == 0
                     ? track
                     : int(std::nearbyint(double(bar.Position() - bar.Min()) / range * track));
    }
    const int offset = border ? 1 : 0;
    const int along = horizontal ? x - offset : y - offset;
    const bool fromFarEnd = bar.Direction() == pdRightToLeft || bar.Direction() == pdBottomToTop;
    const int fromStart = fromFarEnd ? track - 1 - along : along;
    if (fromStart >= filled) {
        return pal.color(QPalette::Button).rgb();
    }
    if (bar.BarColorStyle() == cs1Color) {
        return Rgb(bar.BarColor1());
    }
    const auto colors = ExpectedRuns(bar.BarColorStyle(), bar.Direction(), bar.BarColor1(),
                                     bar.BarColor2(), bar.BarColor3(), horizontal ? w : h);
    return colors[std::size_t(horizontal ? x : y)];
}

// Every device pixel of the last paint against the expected colour of the
// logical pixel it lies in: exact colours, and no blending at any scale.
void CompareWithFormulas(const TGradientBar& bar) {
    const QImage& image = bar.OffscreenBitmap();
    const qreal ratio = image.devicePixelRatio();
    QCOMPARE(image.size(), (QSizeF(bar.size()) * ratio).toSize());
    for (int dy = 0; dy < image.height(); ++dy) {
        for (int dx = 0; dx < image.width(); ++dx) {
            const int x = int(dx / ratio), y = int(dy / ratio);
            const QRgb expected = ExpectedPixel(bar, x, y);
            if ((image.pixel(dx, dy) & 0xFFFFFF) != (expected & 0xFFFFFF)) {
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2): %3, expected %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(image.pixel(dx, dy) & 0xFFFFFF, 6, 16)
                                     .arg(expected & 0xFFFFFF, 6, 16)));
            }
        }
    }
}

std::unique_ptr<TGradientBar> ShownBar(int w, int h) {
    auto bar = std::make_unique<TGradientBar>();
    bar->resize(w, h);
    bar->SetShowPosText(false);
    bar->show();
    if (!QTest::qWaitForWindowExposed(bar.get())) {
        return nullptr;
    }
    return bar;
}

QColor Pixel(const TGradientBar& bar, int x, int y) {
    const QImage& image = bar.OffscreenBitmap();
    const qreal ratio = image.devicePixelRatio();
    return image.pixelColor(int((x + 0.5) * ratio), int((y + 0.5) * ratio));
}

} // namespace

class TestGradientBar : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (qEnvironmentVariableIntValue("QT_SCALE_FACTOR") == 2) {
            TGradientBar probe;
            probe.show();
            QVERIFY(QTest::qWaitForWindowExposed(&probe));
            QCOMPARE(probe.devicePixelRatioF(), 2.0);
        }
    }

    void picturesMatchTheFormulas() {
        const QSize wide(60, 14), tall(14, 60), window(217, 12);
        const struct {
            QSize size;
            TBarColorStyle style;
            TProgressDirection direction;
            bool border;
            int position;
            bool windowColours; // the progress window's three colours
        } cases[] = {
            {{200, 20}, cs3Colors, pdLeftToRight, true, 40, false}, // the defaults
            {window, cs3Colors, pdLeftToRight, true, 50, true},
            {window, cs3Colors, pdLeftToRight, true, 30, true}, // fills 64 of 215, not 65
            {window, cs3Colors, pdLeftToRight, true, 70, true}, // 150, not 151
            {wide, cs3Colors, pdRightToLeft, true, 70, false},
            {tall, cs3Colors, pdTopToBottom, true, 30, false},
            {tall, cs3Colors, pdBottomToTop, true, 55, true},
            {wide, cs2Colors, pdLeftToRight, true, 60, false},
            {wide, cs2Colors, pdRightToLeft, true, 60, false},
            {tall, cs2Colors, pdTopToBottom, true, 60, true},
            {tall, cs2Colors, pdBottomToTop, false, 60, false},
            {wide, cs1Color, pdLeftToRight, true, 25, false},
            {wide, cs3Colors, pdLeftToRight, false, 45, false},
            {wide, cs3Colors, pdLeftToRight, true, 0, false},
            {{3, 4}, cs3Colors, pdLeftToRight, false, 100, false}, // runs of one pixel
            {{4, 2}, cs3Colors, pdTopToBottom, false, 100, false},
            {{1, 1}, cs3Colors, pdLeftToRight, true, 50, false}, // too small for the bevel
        };
        for (const auto& c : cases) {
            auto bar = ShownBar(c.size.width(), c.size.height());
            QVERIFY(bar);
            bar->SetBarColorStyle(c.style);
            bar->SetDirection(c.direction);
            bar->SetShowBorder(c.border);
            if (c.windowColours) {
                bar->SetBarColor1(RgbColor(128, 255, 128));
                bar->SetBarColor2(RgbColor(255, 255, 128));
                bar->SetBarColor3(RgbColor(255, 128, 64));
            }
            bar->SetPosition(c.position);
            CompareWithFormulas(*bar);
        }
    }

    void positionChangesReuseThePictureAndIgnoredOnesPaintNothing() {
        auto bar = ShownBar(100, 10);
        QVERIFY(bar);
        const int builds = bar->GradientBuilds();
        QVERIFY(builds >= 1);
        qint64 painted = bar->OffscreenBitmap().cacheKey();
        bar->SetPosition(20); // painted at once, from the cached picture
        QVERIFY(bar->OffscreenBitmap().cacheKey() != painted);
        QCOMPARE(bar->GradientBuilds(), builds);
        CompareWithFormulas(*bar);

        painted = bar->OffscreenBitmap().cacheKey();
        for (const int ignored : {20, 101, -1}) {
            bar->SetPosition(ignored);
            QCOMPARE(bar->Position(), 20);
            QCOMPARE(bar->OffscreenBitmap().cacheKey(), painted);
        }
        bar->SetBarColor2(RgbColor(0, 0, 255)); // any other setter rebuilds
        QCOMPARE(bar->GradientBuilds(), builds + 1);
        bar->resize(120, 10); // so does a paint the system asks for
        QTRY_COMPARE(bar->OffscreenBitmap().deviceIndependentSize().width(), 120.0);
        QVERIFY(bar->GradientBuilds() > builds + 1);
        CompareWithFormulas(*bar);
    }

    void rangeChangesLeaveThePositionAlone() {
        auto bar = ShownBar(50, 8);
        QVERIFY(bar);
        bar->SetPosition(40);
        // Below Min: empty; above Max: whole; zero width at Min: empty, above: whole.
        for (const auto& [min, max] : {std::pair{60, 100}, {0, 20}, {40, 40}, {30, 30}}) {
            bar->SetMin(min);
            bar->SetMax(max);
            QCOMPARE(bar->Position(), 40);
            CompareWithFormulas(*bar);
        }
        bar->SetMin(50); // Max below Min: every assignment ignored
        bar->SetMax(10);
        for (const int position : {10, 30, 50}) {
            bar->SetPosition(position);
            QCOMPARE(bar->Position(), 40);
        }
    }

    void bitmapIsTiledFromTheTopLeftCorner() {
        auto bar = ShownBar(10, 7);
        QVERIFY(bar);
        QImage tile(3, 2, QImage::Format_RGB32);
        for (int i = 0; i < 6; ++i) {
            tile.setPixel(i % 3, i / 3, qRgb(40 * i, 255 - 40 * i, 7 * i));
        }
        bar->SetBarColorStyle(cs1Color); // the bitmap takes precedence
        bar->SetBarBitmap(tile);
        bar->SetShowBorder(false);
        bar->SetPosition(100);
        for (int y = 0; y < 7; ++y) {
            for (int x = 0; x < 10; ++x) {
                QCOMPARE(Pixel(*bar, x, y), tile.pixelColor(x % 3, y % 2));
            }
        }
        bar->SetBarBitmap(QImage()); // an empty one counts as none
        CompareWithFormulas(*bar);
        bar->SetBarBitmap(QImage(0, 5, QImage::Format_RGB32));
        CompareWithFormulas(*bar);
    }
};

QTEST_MAIN(TestGradientBar)
#include "tst_GradientBar.moc"
