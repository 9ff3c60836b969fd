// The window's message boxes as the user sees them: shown modally by the sink, in the dialog's
// font and colours, grabbed while they wait for OK and then closed with a click on it.
#include "app/message_box_sink.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <optional>
#include <utility>
#include <vector>

namespace b6409 {
namespace {

// The first and last rows of an image that hold ink: pixels clearly darker than the corner's.
std::optional<std::pair<int, int>> InkRows(const QImage& image) {
    const int background = qGray(image.pixel(0, 0));
    std::optional<std::pair<int, int>> rows;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (background - qGray(image.pixel(x, y)) < 48) continue;
            if (!rows) rows.emplace(y, y);
            rows->second = y;
            break;
        }
    }
    return rows;
}

// The ink rows of a text drawn alone with room all round, counted from its baseline.
std::pair<int, int> InkRowsAlone(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    QImage image(metrics.horizontalAdvance(text) + 8, 3 * metrics.height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(4, metrics.height() + metrics.ascent(), text);
    painter.end();
    const auto rows = InkRows(image);
    if (!rows) return {0, -1};
    const int baseline = metrics.height() + metrics.ascent();
    return {rows->first - baseline, rows->second - baseline};
}

// What a box the sink showed looked like while it waited for OK.
struct ShownBox {
    QString caption;
    int width = 0;
    std::vector<std::pair<QString, QImage>> labels;  // the visible texts, grabbed
    QFont font;
};

ShownBox ShowAndClickOk(const std::string& text, const std::string& detail) {
    ShownBox shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        shown.caption = box->windowTitle();
        shown.width = box->width();
        shown.font = box->font();
        for (QLabel* label : box->findChildren<QLabel*>())
            if (label->isVisible() && !label->text().isEmpty())
                shown.labels.emplace_back(label->text(), label->grab().toImage());
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    MessageBoxSink(nullptr).ShowWithDetail(text, MessageIcon::None, detail);
    return shown;
}

TEST(MessageBoxSink, ShowsUnderscoresTheWholeCaptionAndTheDetailBelow) {
    const QString programName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("B6409_Utility"));
    const ShownBox version = ShowAndClickOk("FW_Ver = v1.05", "");
    const ShownBox failure =
        ShowAndClickOk("DEV_PortNotExist_Err", "SocketCAN interface can0: No such device");
    QCoreApplication::setApplicationName(programName);

    // The underscore is the text's lowest ink, and the label shows every row of the text's ink.
    ASSERT_EQ(version.labels.size(), 1u) << "no box with the message came up";
    const QString text = version.labels[0].first;
    EXPECT_EQ(text, "FW_Ver = v1.05");
    const std::pair<int, int> alone = InkRowsAlone(version.font, text);
    ASSERT_EQ(InkRowsAlone(version.font, QStringLiteral("_")).second, alone.second);
    const auto shown = InkRows(version.labels[0].second);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->second - shown->first, alone.second - alone.first);

    // Even this short message's box holds the caption in a bold title font and three title
    // buttons of 24 pixels.
    EXPECT_EQ(version.caption, "B6409_Utility");
    QFont titleFont = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    titleFont.setBold(true);
    const int captionWidth =
        std::max(QFontMetrics(titleFont).horizontalAdvance(version.caption),
                 QFontMetrics(version.font).horizontalAdvance(version.caption));
    EXPECT_GE(version.width, captionWidth + 3 * 24 + 16);

    // The detail comes under the message, on one line.
    ASSERT_EQ(failure.labels.size(), 2u);
    EXPECT_EQ(failure.labels[0].first, "DEV_PortNotExist_Err");
    EXPECT_EQ(failure.labels[1].first, "SocketCAN interface can0: No such device");
    const auto detailRows = InkRows(failure.labels[1].second);
    ASSERT_TRUE(detailRows);
    EXPECT_LT(detailRows->second - detailRows->first, QFontMetrics(failure.font).lineSpacing());
}

}  // namespace
}  // namespace b6409
