// The gauge, rendered into an image and checked pixel by pixel.

#include "desktop/CorvaneGauge.h"

#include <gtest/gtest.h>

#include <QTest>

#include <set>

namespace corvane::desktop {
namespace {

const QColor Blue(0, 0, 255);
const QColor Face(240, 240, 240);

// The columns of Row whose colour is Colour.
std::vector<int> ColumnsOf(const QImage& picture, int row, const QColor& colour) {
    std::vector<int> columns;
    for (int x = 0; x < picture.width(); ++x) {
        if (picture.pixelColor(x, row) == colour) {
            columns.push_back(x);
        }
    }
    return columns;
}

std::vector<int> Range(int first, int last) {
    std::vector<int> values;
    for (int v = first; v <= last; ++v) {
        values.push_back(v);
    }
    return values;
}

class Gauge : public ::testing::Test {
protected:
    Gauge() {
        gauge.resize(96, 13);
        gauge.SetForeColor(Blue);
        gauge.SetBackColor(Face);
    }
    TCorvaneGauge gauge;
};

TEST_F(Gauge, SingleBorderAtHalfFillsColumnsOneTo46InsideABlackRing) {
    gauge.SetShowText(false);
    gauge.SetProgress(50);
    const QImage picture = gauge.Render();
    ASSERT_EQ(picture.size(), QSize(96, 13));
    for (int y = 1; y <= 11; ++y) {
        EXPECT_EQ(ColumnsOf(picture, y, Blue), Range(1, 46)) << "row " << y;
        EXPECT_EQ(ColumnsOf(picture, y, Face), Range(47, 94)) << "row " << y;
    }
    EXPECT_EQ(ColumnsOf(picture, 0, Qt::black), Range(0, 95));
    EXPECT_EQ(ColumnsOf(picture, 12, Qt::black), Range(0, 95));
    for (int y = 0; y < 13; ++y) {
        EXPECT_EQ(picture.pixelColor(0, y), QColor(Qt::black));
        EXPECT_EQ(picture.pixelColor(95, y), QColor(Qt::black));
    }
}

TEST_F(Gauge, NoBorderBarIsWidthPlusOneScaledAndEndsAreExact) {
    gauge.SetShowText(false);
    gauge.SetBorderStyle(bsNone);
    for (const int percent : {0, 1, 5, 33, 50, 99, 100}) {
        gauge.SetProgress(percent);
        const QImage picture = gauge.Render();
        const int expected = std::min(97 * percent / 100, 96);
        for (int y : {0, 6, 12}) {
            EXPECT_EQ(ColumnsOf(picture, y, Blue), Range(0, expected - 1)) << percent << "% row " << y;
            EXPECT_EQ(ColumnsOf(picture, y, Face), Range(expected, 95)) << percent << "% row " << y;
        }
    }
}

TEST_F(Gauge, EmptyAndFullWithBorder) {
    gauge.SetShowText(false);
    QImage picture = gauge.Render();
    EXPECT_TRUE(ColumnsOf(picture, 6, Blue).empty());
    EXPECT_EQ(ColumnsOf(picture, 6, Face), Range(1, 94));
    gauge.SetProgress(100);
    picture = gauge.Render();
    for (int y = 1; y <= 11; ++y) {
        EXPECT_EQ(ColumnsOf(picture, y, Blue), Range(1, 94));
    }
}

TEST_F(Gauge, PercentageShowsOnlyOnceTheFillIsWideEnoughInTheComplementaryColour) {
    const QColor yellow(255, 255, 0);  // the complement of blue
    gauge.resize(200, 20);
    gauge.SetProgress(2);  // 4 pixels of fill: narrower than "2%"
    QImage picture = gauge.Render();
    for (int y = 0; y < picture.height(); ++y) {
        EXPECT_TRUE(ColumnsOf(picture, y, yellow).empty());
    }
    gauge.SetProgress(60);
    picture = gauge.Render();
    std::set<QRgb> colours;
    int yellowPixels = 0;
    int rightmostText = 0;
    for (int y = 1; y < picture.height() - 1; ++y) {
        for (int x = 1; x < picture.width() - 1; ++x) {
            const QColor colour = picture.pixelColor(x, y);
            colours.insert(colour.rgb());
            if (colour == yellow) {
                ++yellowPixels;
                rightmostText = std::max(rightmostText, x);
            }
        }
    }
    EXPECT_GT(yellowPixels, 10);
    // Centred on the filled part (columns 1..118), so it ends well inside it.
    EXPECT_LT(rightmostText, 119);
    // Only the bar, the background and their complements: no blended pixels.
    const std::set<QRgb> allowed{Blue.rgb(), Face.rgb(), yellow.rgb(), QColor(15, 15, 15).rgb()};
    for (const QRgb colour : colours) {
        EXPECT_TRUE(allowed.count(colour)) << std::hex << colour;
    }
}

TEST_F(Gauge, RangeSettersRefuseTheWrongSideAndKeepTheirValues) {
    try {
        gauge.SetMinValue(101);
        FAIL() << "no exception";
    } catch (const EInvalidOperation& error) {
        EXPECT_STREQ(error.what(), "Value must be between -2147483647 and 99");
    }
    try {
        gauge.SetMaxValue(-1);
        FAIL() << "no exception";
    } catch (const EInvalidOperation& error) {
        EXPECT_STREQ(error.what(), "Value must be between 1 and 2147483647");
    }
    EXPECT_EQ(gauge.MinValue(), 0);
    EXPECT_EQ(gauge.MaxValue(), 100);

    gauge.SetProgress(10);
    gauge.SetMinValue(30);
    EXPECT_EQ(gauge.Progress(), 30);
    gauge.SetProgress(50);
    gauge.SetMaxValue(40);
    EXPECT_EQ(gauge.Progress(), 40);

    gauge.SetMaxValue(100);
    gauge.SetMinValue(100);  // a range with no width is accepted
    EXPECT_EQ(gauge.PercentFilled(), 0);

    TCorvaneGauge loading;
    loading.SetLoading(true);
    loading.SetMinValue(500);  // the stored ends may come in any order
    loading.SetMaxValue(1000);
    EXPECT_EQ(loading.MinValue(), 500);
    EXPECT_EQ(loading.MaxValue(), 1000);
}

TEST_F(Gauge, ProgressIsClampedAndScalingIsExact) {
    gauge.SetProgress(150);
    EXPECT_EQ(gauge.Progress(), 100);
    gauge.SetProgress(-5);
    EXPECT_EQ(gauge.Progress(), 0);
    EXPECT_EQ(TCorvaneGauge::ScaleByPercent(5, 100), 5);
    EXPECT_EQ(TCorvaneGauge::ScaleByPercent(50, 95), 47);
    EXPECT_EQ(TCorvaneGauge::RatioToPercent(2, 3), 66);
    EXPECT_EQ(TCorvaneGauge::RatioToPercent(5, 0), 0);
}

TEST_F(Gauge, RepaintsOnlyWhenTheWholePercentChanges) {
    gauge.SetMaxValue(1000);
    gauge.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&gauge));
    const int before = gauge.PaintCount();
    gauge.SetProgress(500);
    EXPECT_EQ(gauge.PaintCount(), before + 1);
    gauge.SetProgress(505);  // still 50 %
    gauge.SetProgress(509);
    EXPECT_EQ(gauge.PaintCount(), before + 1);
    EXPECT_EQ(gauge.Progress(), 509);
    gauge.SetProgress(510);
    EXPECT_EQ(gauge.PaintCount(), before + 2);
    gauge.SetShowText(true);  // unchanged: nothing
    EXPECT_EQ(gauge.PaintCount(), before + 2);
}

}  // namespace
}  // namespace corvane::desktop
