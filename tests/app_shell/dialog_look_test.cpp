// The pieces of the dialogs' look: dialog units, the dialog font, the application icon and the
// icon files the build installs.
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QRawFont>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "app/application_icon.h"
#include "app/dialog_font.h"
#include "app/dialog_units.h"
#include "support/temp_dir.h"

namespace b6409 {
namespace {

TEST(DialogUnits, FourHorizontalAndEightVerticalUnitsAreTheFontsBaseUnits) {
    QFont large = DialogFont();
    large.setPointSize(20);
    for (const QFont& font : {DialogFont(), large}) {
        const QFontMetrics metrics(font);
        EXPECT_EQ(DialogUnitsToPixels(font, 4, 8),
                  QSize(metrics.averageCharWidth(), metrics.height()));
        EXPECT_EQ(DialogUnitsToPixels(font, 0, 0), QSize(0, 0));
        // Every size is the exact value rounded, halves upwards.
        const QSize base = DialogBaseUnits(font);
        for (int units = 0; units <= 64; ++units) {
            const QSize pixels = DialogUnitsToPixels(font, units, units);
            const int xError = 4 * pixels.width() - units * base.width();
            const int yError = 8 * pixels.height() - units * base.height();
            EXPECT_TRUE(xError > -2 && xError <= 2) << units << " units: " << pixels.width();
            EXPECT_TRUE(yError > -4 && yError <= 4) << units << " units: " << pixels.height();
        }
    }
}

TEST(DialogUnits, RectanglesThatTouchInUnitsTouchInPixels) {
    // Converting sizes instead of edges lets rounding open gaps or overlaps between neighbours.
    const QFont font = DialogFont();
    for (int x = 0; x < 120; ++x) {
        for (int w = 1; w <= 3; ++w) {
            const QRect left = DialogRect(font, x, x, w, w);
            const QRect right = DialogRect(font, x + w, x + w, 5, 5);
            EXPECT_EQ(left.right() + 1, right.left()) << x << "+" << w;
            EXPECT_EQ(left.bottom() + 1, right.top()) << x << "+" << w;
        }
    }
    EXPECT_EQ(DialogRect(font, 10, 20, 30, 40).topLeft(),
              QPoint(DialogUnitsToPixels(font, 10, 20).width(),
                     DialogUnitsToPixels(font, 10, 20).height()));
}

TEST(DialogUnits, TextBoxGrowsOnlyWhereTheInkReachesBelowIt) {
    const QFont font = DialogFont();
    const QFontMetrics metrics(font);
    const QRect box = DialogRect(font, 57, 17, 119, 8);
    for (const QString& text : {QStringLiteral("B-6409_Utility"), QStringLiteral("Dev_Port :"),
                                QStringLiteral("CAN1"), QStringLiteral("gjpqy")}) {
        SCOPED_TRACE(text.toStdString());
        const QRect textBox = DialogTextRect(font, 57, 17, 119, 8, text);
        EXPECT_EQ(textBox.topLeft(), box.topLeft());
        EXPECT_EQ(textBox.width(), box.width());
        const int inkBottom = metrics.ascent() + metrics.tightBoundingRect(text).bottom();
        EXPECT_LT(inkBottom, textBox.height());
        // No taller than it must be, so that the lines below keep their places.
        EXPECT_EQ(textBox.height(), std::max(box.height(), inkBottom + 1));
    }
}

TEST(DialogFont, NinePointMingFontThatRendersTheChineseMenuText) {
    const QFont font = DialogFont();
    EXPECT_EQ(font.pointSize(), 9);
    if (!QFontDatabase::families().contains("AR PL UMing TW")) {
        GTEST_SKIP() << "fonts-arphic-uming is not installed";
    }
    EXPECT_TRUE(QFontInfo(font).family().startsWith("AR PL UMing"))
        << QFontInfo(font).family().toStdString();
    const QRawFont raw = QRawFont::fromFont(font);
    for (QChar c : QStringLiteral("關於 B6409_Utility(&A)... 確定取消")) {
        EXPECT_TRUE(raw.supportsCharacter(c)) << int(c.unicode());
    }
}

// The colour classes the icon is drawn in.
bool IsBlue(const QColor& c) {
    return c.alpha() == 255 && c.blue() > c.red() + 60 && c.blue() > c.green() + 30;
}
bool IsBeige(const QColor& c) {
    return c.alpha() == 255 && std::abs(c.red() - 250) < 12 && std::abs(c.green() - 230) < 12 &&
           std::abs(c.blue() - 190) < 12;
}

TEST(ApplicationIcon, TwoSeparatePortsJoinedByABridgeAtEverySize) {
    const QIcon icon = ApplicationIcon();
    for (int size : kApplicationIconSizes) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        const QImage image = ApplicationIconImage(size);
        ASSERT_EQ(image.size(), QSize(size, size));
        const auto at = [&](double x, double y) {
            return image.pixelColor(int(x * size), int(y * size));
        };
        // The corners stay clear for the desktop behind; the tile is beige.
        EXPECT_EQ(at(0, 0).alpha(), 0);
        EXPECT_TRUE(IsBeige(at(0.5, 0.15)));
        // Above the bridge the two ports are apart, with the tile between them ...
        EXPECT_TRUE(IsBlue(at(0.25, 0.33)));
        EXPECT_TRUE(IsBlue(at(0.75, 0.33)));
        EXPECT_TRUE(IsBeige(at(0.5, 0.33)));
        // ... and at mid height the bridge joins them.
        EXPECT_FALSE(IsBeige(at(0.5, 0.5)));
        EXPECT_GT(at(0.5, 0.5).blue(), at(0.5, 0.5).red());
    }
}

TEST(ApplicationIcon, WriterProgramWritesEverySizeAsPng) {
    test::TempDir dir;
    const std::string writer = std::string(B6409_BIN_DIR) + "/b6409-icon-writer";
    ASSERT_EQ(std::system((writer + " " + dir.path()).c_str()), 0);
    for (int size : kApplicationIconSizes) {
        SCOPED_TRACE(size);
        const QImage written(
            QString::fromStdString(dir / ("b6409-utility-" + std::to_string(size) + ".png")));
        ASSERT_EQ(written.size(), QSize(size, size));
        EXPECT_EQ(written.convertToFormat(QImage::Format_ARGB32),
                  ApplicationIconImage(size).convertToFormat(QImage::Format_ARGB32));
    }
    // A place it cannot write to is an error the build sees.
    EXPECT_NE(std::system((writer + " " + dir.path() + "/missing 2>/dev/null").c_str()), 0);
}

}  // namespace
}  // namespace b6409
