// THoxelProgress drawn on real widgets (offscreen platform) and checked pixel by pixel.
#include "ui/HoxelProgress.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPaintEvent>
#include <functional>
#include <limits>
#include <vector>

namespace mirvo {
namespace {

const QColor kBack(255, 255, 255);
const QColor kBar(200, 0, 0);
const QColor kTop(0, 0, 200);
const QColor kBottom(0, 160, 0);

// Records which area every paint covered.
class Probe : public THoxelProgress {
  public:
    std::vector<QRect> painted;

  protected:
    void paintEvent(QPaintEvent* event) override {
        painted.push_back(event->rect());
        THoxelProgress::paintEvent(event);
    }
};

void Colour(THoxelProgress& bar) {
    bar.SetBackgroundColor(kBack);
    bar.SetBarColor(kBar);
    bar.SetFrameTopColor(kTop);
    bar.SetFrameBottomColor(kBottom);
}

QImage Render(THoxelProgress& bar) {
    return bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Compares every pixel inside the frame and border (inner coordinates) with `lit`.
void ExpectInner(const QImage& image, int border, const std::function<bool(int, int)>& lit) {
    const int inset = border + 1;
    int wrong = 0;
    for (int y = inset; y < image.height() - inset; ++y) {
        for (int x = inset; x < image.width() - inset; ++x) {
            const QColor want = lit(x - inset, y - inset) ? kBar : kBack;
            if (image.pixelColor(x, y) != want && ++wrong <= 5) {
                ADD_FAILURE() << "inner pixel " << x - inset << "," << y - inset << " should be "
                              << (want == kBar ? "bar" : "background");
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(HoxelProgress, DefaultsAndSetterRules) {
    THoxelProgress bar;
    EXPECT_EQ(bar.size(), QSize(150, 16));
    EXPECT_EQ(bar.Max(), 100);
    EXPECT_EQ(bar.BarType(), TBarType::brNormal);
    EXPECT_EQ(bar.CaptionType(), TCaptionType::ctNone);
    EXPECT_EQ(bar.Caption(), QStringLiteral("THoxelProgress"));
    EXPECT_EQ(bar.BorderWidth(), 1);

    std::vector<std::pair<std::int64_t, std::int64_t>> changes;
    bar.OnChange = [&](THoxelProgress* sender) {
        EXPECT_EQ(sender, &bar);
        changes.push_back({sender->Position(), sender->Position2()});
    };
    bar.SetPosition(150);
    EXPECT_EQ(bar.Position(), 100);
    bar.SetPosition(-3);
    EXPECT_EQ(bar.Position(), 0);
    bar.SetPosition(0);   // unchanged: no notice
    bar.SetPosition(-9);  // still 0 once clamped
    bar.SetPosition(80);
    bar.SetPosition2(60);
    EXPECT_EQ(changes.size(), 4u);

    // Lowering the maximum brings each position down first, each with its notice.
    changes.clear();
    bar.OnChange = [&](THoxelProgress* sender) {
        EXPECT_EQ(sender->Max(), 100);
        changes.push_back({sender->Position(), sender->Position2()});
    };
    bar.SetMax(50);
    EXPECT_EQ(changes, (std::vector<std::pair<std::int64_t, std::int64_t>>{{50, 60}, {50, 50}}));
    EXPECT_EQ(bar.Max(), 50);

    bar.SetBorderWidth(3);
    EXPECT_EQ(bar.BorderWidth(), 3);
    bar.SetBorderWidth(0);
    EXPECT_EQ(bar.BorderWidth(), 1);
    bar.SetBorderWidth(16);  // not smaller than the height
    EXPECT_EQ(bar.BorderWidth(), 1);
    bar.resize(10, 40);
    bar.SetBorderWidth(12);  // not smaller than the width
    EXPECT_EQ(bar.BorderWidth(), 1);
}

TEST(HoxelProgress, FrameBorderAndPlainBar) {
    THoxelProgress bar;
    Colour(bar);
    bar.SetBorderWidth(2);
    bar.SetPosition(50);
    const QImage image = Render(bar);
    const int w = 150;
    const int h = 16;
    for (int x = 0; x < w; ++x) {
        EXPECT_EQ(image.pixelColor(x, 0), x < w - 1 ? kTop : kBottom) << x;
        EXPECT_EQ(image.pixelColor(x, h - 1), kBottom) << x;
    }
    for (int y = 0; y < h; ++y) {
        EXPECT_EQ(image.pixelColor(0, y), y < h - 1 ? kTop : kBottom) << y;
        EXPECT_EQ(image.pixelColor(w - 1, y), kBottom) << y;
    }
    // The two-pixel border between frame and bar stays background.
    for (int x = 1; x < w - 1; ++x) {
        for (int y : {1, 2, h - 3, h - 2}) {
            EXPECT_EQ(image.pixelColor(x, y), kBack) << x << "," << y;
        }
    }
    // Inner area 144 wide: half of it filled from the left.
    ExpectInner(image, 2, [](int x, int) { return x < 72; });
}

TEST(HoxelProgress, VerticalBarFillsFromTheBottom) {
    THoxelProgress bar;
    bar.resize(16, 37);
    Colour(bar);
    bar.SetOrientation(TOrientationType::pbVertical);
    bar.SetMax(1000);
    bar.SetPosition(500);
    // Inner area 12 × 33: 33 × 500 div 1000 = 16 rows at the bottom.
    ExpectInner(Render(bar), 1, [](int, int y) { return y >= 33 - 16; });
    bar.SetPosition(1000);
    ExpectInner(Render(bar), 1, [](int, int) { return true; });
    bar.SetPosition(0);
    ExpectInner(Render(bar), 1, [](int, int) { return false; });
}

TEST(HoxelProgress, ClassicBlocksFollowTheControlHeight) {
    THoxelProgress bar;
    Colour(bar);
    bar.SetBarType(TBarType::brClassicWindows);
    bar.SetPosition(30);
    // Height 16: pitch 10, blocks 8 wide; 146 × 30 div 100 = 43 rounds up to 5 blocks.
    ExpectInner(Render(bar), 1, [](int x, int) { return x < 50 && x % 10 < 8; });
    bar.SetPosition(100);
    ExpectInner(Render(bar), 1, [](int x, int) { return x % 10 < 8; });
    // Vertical orientation changes nothing for this kind.
    bar.SetOrientation(TOrientationType::pbVertical);
    ExpectInner(Render(bar), 1, [](int x, int) { return x % 10 < 8; });

    bar.resize(100, 24);  // pitch trunc(24 / 1.55) = 15, blocks 13 wide
    bar.SetPosition(10);  // 96 × 10 div 100 = 9: one block
    ExpectInner(Render(bar), 1, [](int x, int) { return x < 13; });
    bar.SetPosition(20);  // 19: two blocks
    ExpectInner(Render(bar), 1, [](int x, int) { return x < 13 || (x >= 15 && x < 28); });
}

TEST(HoxelProgress, StereoBarsSplitTheThickness) {
    THoxelProgress bar;
    Colour(bar);
    bar.SetBarType(TBarType::brStereo);
    bar.SetStereoSeperation(2);
    bar.SetPosition(50);
    bar.SetPosition2(25);
    // Inner 146 × 12, half = 5: rows 0-4 left bar, rows 7-11 right bar.
    ExpectInner(Render(bar), 1, [](int x, int y) { return y < 5 ? x < 73 : y >= 7 && x < 36; });
    bar.SetPosition2(1);  // 1 pixel: the second bar is not drawn until longer than border + 1
    ExpectInner(Render(bar), 1, [](int x, int y) { return y < 5 && x < 73; });

    bar.resize(16, 37);
    bar.SetOrientation(TOrientationType::pbVertical);
    bar.SetPosition2(100);
    // Inner 12 × 33: columns 0-4 and 7-11 growing upwards.
    ExpectInner(Render(bar), 1, [](int x, int y) { return x < 5 ? y >= 17 : x >= 7; });
}

TEST(HoxelProgress, StereoLedsHorizontal) {
    THoxelProgress bar;
    bar.resize(143, 16);
    Colour(bar);
    bar.SetBarType(TBarType::brStereoLeds);
    bar.SetMax(14);
    bar.SetStereoSeperation(2);
    bar.SetLedWidth(9);
    bar.SetLedSeperation(1);
    bar.SetPosition(3);
    bar.SetPosition2(14);
    // Spans 0-9, 10-19, 20-29 of the first row; all 14 of the second fill 139 pixels exactly.
    ExpectInner(Render(bar), 1, [](int x, int y) {
        const bool inLed = x % 10 < 9;
        return y < 5 ? inLed && x < 30 : y >= 7 && inLed;
    });
    bar.SetPosition(0);
    bar.SetPosition2(0);
    ExpectInner(Render(bar), 1, [](int, int) { return false; });
}

TEST(HoxelProgress, StereoLedsVertical) {
    THoxelProgress bar;
    bar.resize(16, 37);
    Colour(bar);
    bar.SetBarType(TBarType::brStereoLeds);
    bar.SetOrientation(TOrientationType::pbVertical);
    bar.SetMax(7);
    bar.SetStereoSeperation(2);
    bar.SetLedWidth(3);
    bar.SetLedSeperation(2);
    bar.SetPosition(7);
    bar.SetPosition2(2);
    // Inner 12 × 33; LED k covers rows 33 - (5k + 3) to 33 - 5k: the seventh ends at the top.
    ExpectInner(Render(bar), 1, [](int x, int y) {
        const int fromBottom = 32 - y;
        const bool inLed = fromBottom % 5 < 3;
        return x < 5 ? inLed : x >= 7 && inLed && fromBottom < 10;
    });
}

TEST(HoxelProgress, HugeValuesNeitherOverflowNorHang) {
    THoxelProgress bar;
    Colour(bar);
    const std::int64_t most = std::numeric_limits<std::int64_t>::max();
    bar.SetMax(most);
    bar.SetPosition(most / 2);
    ExpectInner(Render(bar), 1, [](int x, int) { return x < 72; });  // just under half
    bar.SetBarType(TBarType::brStereoLeds);
    bar.SetPosition(most);
    bar.SetLedWidth(0);
    bar.SetLedSeperation(0);
    ExpectInner(Render(bar), 1, [](int, int) { return false; });
    bar.SetLedWidth(1);
    bar.SetLedSeperation(-1);  // every LED on the same spot
    ExpectInner(Render(bar), 1, [](int x, int y) { return y < 5 && x == 0; });
    bar.SetLedSeperation(0);
    ExpectInner(Render(bar), 1, [](int, int y) { return y < 5; });
    bar.SetLedSeperation(1);
    ExpectInner(Render(bar), 1, [](int x, int y) { return y < 5 && x % 2 == 0; });

    // Too small for a drawing area: only the frame, and no crash.
    bar.resize(4, 4);
    const QImage tiny = Render(bar);
    EXPECT_EQ(tiny.pixelColor(0, 0), kTop);
    EXPECT_EQ(tiny.pixelColor(3, 3), kBottom);
    EXPECT_EQ(tiny.pixelColor(1, 1), kBack);
}

TEST(HoxelProgress, CaptionsFormatValueAndPercent) {
    THoxelProgress bar;
    Colour(bar);
    bar.SetPosition(35);
    const QImage none = Render(bar);
    bar.SetCaptionType(TCaptionType::ctCustom);
    bar.SetCaption(QStringLiteral("35 / 100"));
    const QImage customValue = Render(bar);
    bar.SetCaption(QStringLiteral("35 %"));
    const QImage customPercent = Render(bar);
    ASSERT_NE(customValue, none);  // text is drawn at all
    ASSERT_NE(customValue, customPercent);

    bar.SetCaptionType(TCaptionType::ctValue);
    EXPECT_EQ(Render(bar), customValue);
    bar.SetCaptionType(TCaptionType::ctPercent);
    EXPECT_EQ(Render(bar), customPercent);
    bar.SetMax(200);
    bar.SetPosition(70);
    EXPECT_EQ(Render(bar), customPercent);

    // The text starts after a blank, one pixel into the drawing area.
    int leftmost = bar.width();
    const QImage image = Render(bar);
    for (int y = 2; y < 14; ++y) {
        for (int x = 2; x < bar.width() - 2; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c != kBack && c != kBar) {
                leftmost = std::min(leftmost, x);
            }
        }
    }
    EXPECT_GE(leftmost, 2 + 1 + QFontMetrics(bar.font()).horizontalAdvance(QLatin1Char(' ')) - 1);

    bar.SetMax(0);  // no percentage without a maximum, but no trouble either
    Render(bar);
}

TEST(HoxelProgress, PositionChangeRepaintsOnlyTheInnerArea) {
    Probe bar;
    Colour(bar);
    bar.show();
    QApplication::processEvents();
    bar.painted.clear();

    bar.SetPosition(40);
    QApplication::processEvents();
    ASSERT_EQ(bar.painted.size(), 1u);
    EXPECT_EQ(bar.painted[0], QRect(2, 2, 146, 12));
    bar.SetPosition(40);
    QApplication::processEvents();
    ASSERT_EQ(bar.painted.size(), 1u);  // an unchanged position paints nothing
    // Changes between two paints are drawn once, in the next paint.
    bar.SetPosition(140);
    bar.SetPosition2(1);
    QApplication::processEvents();
    ASSERT_EQ(bar.painted.size(), 2u);
    EXPECT_EQ(bar.painted[1], QRect(2, 2, 146, 12));

    bar.SetBarColor(kBar);  // any other property repaints the whole control
    ASSERT_EQ(bar.painted.size(), 3u);
    EXPECT_EQ(bar.painted[2], bar.rect());

    const QImage image = Render(bar);
    EXPECT_EQ(image.pixelColor(0, 5), kTop);
    EXPECT_EQ(image.pixelColor(149, 5), kBottom);
    ExpectInner(image, 1, [](int, int) { return true; });
}

TEST(HoxelProgress, RepaintsOnlyWhenTheDrawnBarChanges) {
    // 146 inner pixels for a track of 300000 ms: about 2 s per pixel.
    Probe bar;
    Colour(bar);
    bar.SetMax(300000);
    bar.show();
    QApplication::processEvents();
    bar.painted.clear();

    bar.SetPosition(1000);  // still no whole pixel
    bar.SetPosition(2000);
    QApplication::processEvents();
    EXPECT_TRUE(bar.painted.empty());
    EXPECT_EQ(bar.Position(), 2000);
    bar.SetPosition(2100);  // the first pixel
    QApplication::processEvents();
    EXPECT_EQ(bar.painted.size(), 1u);
    bar.SetPosition(0);  // back to empty, as after a stop
    QApplication::processEvents();
    EXPECT_EQ(bar.painted.size(), 2u);
    ExpectInner(Render(bar), 1, [](int, int) { return false; });

    // A caption that shows the value changes with every position.
    bar.SetCaptionType(TCaptionType::ctValue);
    QApplication::processEvents();
    bar.painted.clear();
    bar.SetPosition(1);
    QApplication::processEvents();
    EXPECT_EQ(bar.painted.size(), 1u);

    // A meter's LEDs are drawn at once on every change of count, down to dark
    // after a stop, and not again while the count stays.
    Probe leds;
    Colour(leds);
    leds.SetBarType(TBarType::brStereoLeds);
    leds.SetMax(7);
    leds.show();
    QApplication::processEvents();
    leds.painted.clear();
    leds.SetPositionsNow(4, 3);
    EXPECT_EQ(leds.painted.size(), 1u);
    leds.SetPositionsNow(4, 3);
    leds.SetPositionsNow(0, 0);
    EXPECT_EQ(leds.painted.size(), 2u);
    EXPECT_EQ(leds.Position() + leds.Position2(), 0);
    QApplication::processEvents();
    EXPECT_EQ(leds.painted.size(), 2u);
    ExpectInner(Render(leds), 1, [](int, int) { return false; });
}

}  // namespace
}  // namespace mirvo
