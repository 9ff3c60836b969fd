// The About box: what it says, where things are, and the three ways to close it.
#include "app/about_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <utility>

#include "app/dialog_font.h"
#include "app/dialog_units.h"

namespace b6409 {
namespace {

TEST(AboutDialog, ShowsNameVersionAndExitInTheDialogFontsLayout) {
    // A parent with a very different font: the box is laid out in its own font regardless.
    QWidget owner;
    QFont large = owner.font();
    large.setPointSize(30);
    owner.setFont(large);
    AboutDialog about(&owner);
    const QFont font = DialogFont();

    EXPECT_EQ(about.windowTitle(), "About B-6409_Utility");
    EXPECT_EQ(about.font().pointSize(), 9);
    EXPECT_EQ(about.size(), DialogUnitsToPixels(font, 235, 55));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMaximizeButtonHint);

    EXPECT_EQ(about.iconLabel()->geometry(), DialogRect(font, 18, 17, 20, 20));
    EXPECT_FALSE(about.iconLabel()->pixmap().isNull());

    EXPECT_EQ(about.versionLabel()->text(), "B-6409_Utility Version 1.03");
    EXPECT_EQ(about.versionLabel()->textFormat(), Qt::PlainText);
    EXPECT_FALSE(about.descriptionLabel()->text().isEmpty());
    // Each line sits in its box and shows whole: no end cut off, no ink below the box (the
    // underscore of "6409_Utility" is drawn under the font's declared descent in some fonts).
    const QFontMetrics metrics(font);
    const QRect versionBox = DialogRect(font, 57, 17, 119, 8);
    const QRect descriptionBox = DialogRect(font, 57, 29, 119, 8);
    for (auto [line, box] : {std::pair{about.versionLabel(), versionBox},
                             std::pair{about.descriptionLabel(), descriptionBox}}) {
        SCOPED_TRACE(line->text().toStdString());
        EXPECT_EQ(line->pos(), box.topLeft());
        EXPECT_EQ(line->width(), box.width());
        EXPECT_GE(line->height(), box.height());
        EXPECT_TRUE(line->alignment() & Qt::AlignTop);
        EXPECT_LE(metrics.horizontalAdvance(line->text()), line->width());
        EXPECT_LT(metrics.ascent() + metrics.tightBoundingRect(line->text()).bottom(),
                  line->height());
    }
    // Tall enough lines still keep clear of each other.
    EXPECT_LE(about.versionLabel()->geometry().bottom(), descriptionBox.top());

    EXPECT_EQ(about.exitButton()->text(), "Exit");
    EXPECT_TRUE(about.exitButton()->isDefault());
    EXPECT_EQ(about.exitButton()->geometry(), DialogRect(font, 178, 7, 50, 14));
}

// Runs the box modally and does `close` to it once it is up; returns what the modal run
// returned, or -1 when the box did not close (it is then closed, so that the test goes on).
int RunAndClose(AboutDialog& about, const std::function<void()>& close) {
    bool wasVisible = false;
    QTimer::singleShot(0, &about, [&] {
        wasVisible = about.isVisible();
        close();
    });
    // A safety net only; when the box closes itself this never fires.
    QTimer rescue;
    rescue.setSingleShot(true);
    bool rescued = false;
    QObject::connect(&rescue, &QTimer::timeout, &about, [&] {
        rescued = true;
        about.done(-1);
    });
    rescue.start(10000);
    const int result = about.exec();
    EXPECT_TRUE(wasVisible);
    EXPECT_FALSE(about.isVisible());
    return rescued ? -1 : result;
}

TEST(AboutDialog, ExitEscapeAndTheCloseBoxEachEndTheModalRun) {
    QWidget owner;
    {
        AboutDialog about(&owner);
        EXPECT_EQ(RunAndClose(about, [&] { about.exitButton()->click(); }), QDialog::Accepted);
    }
    {
        // Enter presses the default button, Exit, wherever the focus is in the box.
        AboutDialog about(&owner);
        EXPECT_EQ(RunAndClose(about,
                              [&] {
                                  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                                  QApplication::sendEvent(&about, &enter);
                              }),
                  QDialog::Accepted);
    }
    {
        AboutDialog about(&owner);
        EXPECT_EQ(RunAndClose(about,
                              [&] {
                                  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape,
                                                   Qt::NoModifier);
                                  QApplication::sendEvent(&about, &escape);
                              }),
                  QDialog::Rejected);
    }
    {
        AboutDialog about(&owner);
        EXPECT_EQ(RunAndClose(about, [&] { about.close(); }), QDialog::Rejected);
    }
}

}  // namespace
}  // namespace b6409
