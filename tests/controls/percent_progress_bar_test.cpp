#include "controls/percent_progress_bar.h"

#include <gtest/gtest.h>

#include <tuple>

#include "controls/render.h"

namespace b6409 {
namespace {

using test::ColorAt;
using test::CountOf;
using test::Render;
using test::Text;

// A background unlike the button face, so that "rest of the bar" and "idle bar" differ.
constexpr Rgb kRest = MakeRgb(10, 20, 30);

class PercentProgressBarTest : public ::testing::Test {
  protected:
    PercentProgressBarTest() {
        bar.resize(400, 24);
        bar.backgroundColor = kRest;
    }

    QImage At(int32_t lower, int32_t upper, int32_t position) {
        bar.SetRange(lower, upper);
        bar.SetPos(position);
        return Render(bar);
    }

    // True when every pixel is the palette's button face.
    bool IsPlainFace(const QImage& image) const {
        return CountOf(image, ToRgb(bar.palette().color(QPalette::Button))) ==
               image.width() * image.height();
    }

    // Columns [from, to) hold `color` over the whole height.
    static void ExpectColumns(const QImage& image, int from, int to, Rgb color) {
        for (int x = from; x < to; ++x) {
            for (int y = 0; y < image.height(); ++y) {
                ASSERT_EQ(ColorAt(image, x, y), Text(color)) << "at " << x << "," << y;
            }
        }
    }

    // Pixels that are clearly the blue percentage text rather than gradient or background.
    static QRect TextBox(const QImage& image) {
        return test::BoundingBox(image, image.rect(), [](const QColor& c) {
            return c.blue() > 150 && c.red() < 100 && c.green() < 100;
        });
    }

    PercentProgressBar bar;
};

// Only a position strictly inside the range shows a bar; the text goes with it.
TEST_F(PercentProgressBarTest, PositionsAtOrBeyondTheEndsShowThePlainFace) {
    bar.showText = true;
    EXPECT_TRUE(IsPlainFace(Render(bar)));  // as made: position 0 of 0..100
    EXPECT_TRUE(IsPlainFace(At(0, 100, 0)));
    EXPECT_TRUE(IsPlainFace(At(0, 1000, 1000)));
    EXPECT_TRUE(IsPlainFace(At(0, 1000, 1001)));
    EXPECT_TRUE(IsPlainFace(At(0, 1000, -1)));
    EXPECT_TRUE(IsPlainFace(At(200, 1000, 100)));
    EXPECT_FALSE(IsPlainFace(At(200, 1000, 201)));
}

TEST_F(PercentProgressBarTest, RangesThatWouldDivideByZeroShowThePlainFace) {
    EXPECT_TRUE(IsPlainFace(At(0, 0, 0)));
    EXPECT_TRUE(IsPlainFace(At(-10, 0, -5)));
    EXPECT_TRUE(IsPlainFace(At(-10, -2, -5)));
    bar.startColor = bar.endColor = MakeRgb(40, 80, 120);
    bar.showText = true;
    EXPECT_TRUE(IsPlainFace(At(0, 1000, 500)));
}

// With a negative lower end the fraction still divides by the upper end alone; positions below
// zero show as the start of the bar rather than a negative width.
TEST_F(PercentProgressBarTest, NegativePositionsShowTheFirstBand) {
    const QImage image = At(-100, 100, -50);
    ExpectColumns(image, 0, 1, MakeRgb(255, 150, 100));
    ExpectColumns(image, 1, 400, kRest);
    EXPECT_EQ(PercentProgressBar::PercentText(-50, 100), "0%");
}

TEST_F(PercentProgressBarTest, FirstStepShowsOnlyTheFirstBand) {
    const QImage image = At(0, 1000, 1);
    ExpectColumns(image, 0, 1, MakeRgb(255, 150, 100));
    ExpectColumns(image, 1, 400, kRest);
}

// 400 / 255 columns per band: the band holding column 200 is band 128, x 200..201.
TEST_F(PercentProgressBarTest, HalfwayEndsOnTheFirstBandEdgePastTheMiddle) {
    const QImage half = At(0, 1000, 500);
    ExpectColumns(half, 0, 1, MakeRgb(255, 150, 100));
    ExpectColumns(half, 200, 202, MakeRgb(127, 202, 49));
    ExpectColumns(half, 202, 400, kRest);

    // The gradient is fixed to the width: a longer bar uncovers more of the same colours.
    const QImage later = At(0, 1000, 900);
    for (int x : {0, 57, 100, 201}) EXPECT_EQ(ColorAt(later, x, 5), ColorAt(half, x, 5)) << x;

    // Just short of the end the last band, x 398..399, is shown in its own colour.
    const QImage almost = At(0, 1000, 999);
    ExpectColumns(almost, 398, 400, MakeRgb(1, 254, 0));
}

TEST_F(PercentProgressBarTest, PercentageTextIsCentredOnlyWhenShown) {
    const QImage plain = At(0, 1000, 500);
    EXPECT_TRUE(TextBox(plain).isEmpty());

    bar.showText = true;
    const QRect box = TextBox(At(0, 1000, 500));
    ASSERT_FALSE(box.isEmpty());
    EXPECT_NEAR(box.center().x(), 200, 3);
    EXPECT_NEAR(box.center().y(), 12, 3);
    EXPECT_GT(box.width(), 10);  // more than one glyph: "50%"
}

TEST_F(PercentProgressBarTest, PercentTextRoundsToWholePercent) {
    EXPECT_EQ(PercentProgressBar::PercentText(1, 3), "33%");
    EXPECT_EQ(PercentProgressBar::PercentText(999, 1000), "100%");
    EXPECT_EQ(PercentProgressBar::PercentText(1, 1000), "0%");
    EXPECT_EQ(PercentProgressBar::PercentText(500, 1000), "50%");
    EXPECT_EQ(PercentProgressBar::PercentText(150, 200), "75%");  // the lower end plays no part
}

// 100 / 255 columns per band: most bands are empty, yet the bar reaches column 50 in band
// 130's colour and nothing is left unpainted.
TEST_F(PercentProgressBarTest, NarrowBarStillReachesTheFilledWidth) {
    bar.resize(100, 24);
    const QImage image = At(0, 1000, 500);
    ExpectColumns(image, 0, 1, MakeRgb(253, 150, 99));
    ExpectColumns(image, 50, 51, MakeRgb(125, 203, 49));
    ExpectColumns(image, 51, 100, kRest);
    EXPECT_EQ(CountOf(image, test::kUnpainted), 0);
}

// 100 bands on 53 columns: in single precision the last band ends at column 52, one short of
// the width, so at 99% no band reaches the last column; it takes the background.
TEST_F(PercentProgressBarTest, ColumnPastTheLastBandIsNeverLeftUnpainted) {
    bar.resize(53, 24);
    bar.startColor = MakeRgb(100, 0, 0);
    bar.endColor = MakeRgb(0, 0, 0);
    const QImage image = At(0, 1000, 990);
    EXPECT_EQ(CountOf(image, test::kUnpainted), 0);
    ExpectColumns(image, 51, 52, MakeRgb(2, 0, 0));
    ExpectColumns(image, 52, 53, kRest);
}

TEST_F(PercentProgressBarTest, RangesBeyondSixteenBitsStayWhole) {
    const QImage wide = At(0, 200000, 100000);
    EXPECT_EQ(bar.upper, 200000);
    EXPECT_EQ(bar.position, 100000);
    EXPECT_EQ(bar.maximum(), 200000);
    EXPECT_EQ(bar.value(), 100000);
    ExpectColumns(wide, 200, 202, MakeRgb(127, 202, 49));
    ExpectColumns(wide, 202, 400, kRest);

    bar.SetRange(0, 70000);
    EXPECT_EQ(bar.position, 0);  // a new range starts over at its lower end
    EXPECT_EQ(bar.value(), 0);
}

TEST(ProgressBarSink, ColoursGoToTheBarAndBack) {
    PercentProgressBar bar;
    ProgressBarSink sink(bar);
    const ProgressColors colors{MakeRgb(1, 2, 3), MakeRgb(4, 5, 6), MakeRgb(7, 8, 9),
                                MakeRgb(10, 11, 12)};
    sink.SetColors(colors);
    EXPECT_EQ(Text(bar.startColor), "1,2,3");
    EXPECT_EQ(Text(bar.textColor), "10,11,12");
    const ProgressColors back = sink.Colors();
    EXPECT_EQ(std::tie(back.start, back.end, back.background, back.text),
              std::tie(colors.start, colors.end, colors.background, colors.text));
}

// The download sets a position per row and then lets waiting events through; each of those
// turns must paint the new position.
TEST(ProgressBarSink, EachPositionIsPaintedWhenEventsAreLetThrough) {
    PercentProgressBar bar;
    bar.resize(400, 24);
    bar.show();
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return bar.isVisible(); }));
    QCoreApplication::processEvents();
    ProgressBarSink sink(bar);
    sink.SetRange(0, 2000);
    test::PaintCounter paints(bar);
    for (int32_t position : {1, 2, 3, 1000, 1001, 1999}) {
        const int before = paints.count;
        sink.SetPos(position);
        EXPECT_TRUE(test::ProcessEventsUntil([&] { return paints.count > before; })) << position;
    }
}

}  // namespace
}  // namespace b6409
