#include "app/message_box_sink.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>
#include <algorithm>

namespace b6409 {

namespace {

// How far a text's ink reaches below the lines its font declares. The Ming dialog font draws
// its underscore a pixel under its declared descent, and a label only as tall as its lines
// cuts that pixel off: "FW_Ver" would read "FW Ver".
int InkBelowLines(const QFont& font, QString text) {
    const QFontMetrics metrics(font);
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const int inkBottom = metrics.ascent() + metrics.tightBoundingRect(text).bottom() + 1;
    return std::max(0, inkBottom - metrics.height());
}

// Gives every text label of the box room for its ink. A margin would not do: a selectable
// label clips its text to the rectangle inside its margins. The label centres its lines, so the
// room is added above as well as below.
void MakeRoomForInk(QMessageBox& box) {
    for (QLabel* label : box.findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;
        if (const int below = InkBelowLines(label->font(), label->text()))
            label->setMinimumHeight(label->sizeHint().height() + 2 * below);
    }
}

// The detail is one short line, which the box would otherwise wrap at the message's width. A
// long one still wraps, at half the screen's width.
void KeepDetailOnOneLine(QMessageBox& box) {
    const QString detail = box.informativeText();
    if (detail.isEmpty()) return;
    for (QLabel* label : box.findChildren<QLabel*>()) {
        if (label->text() != detail) continue;
        const int oneLine = QFontMetrics(label->font()).boundingRect(detail).width() + 1;
        label->setMinimumWidth(std::min(oneLine, box.screen()->availableGeometry().width() / 2));
    }
}

// The width a title bar needs to show the caption whole: the caption in the title font, which
// window managers draw bold and seldom smaller than 11 points (the platform may not know the
// window manager's font), room for three buttons of two lines' width and a line's margin on
// either side. The box's own estimate (the caption in the dialog font and 50 pixels) leaves
// 128 pixels for "B6409_Utility", which window managers shorten to "B640... tility".
int TitleBarWidth(const QString& caption, const QFont& dialogFont) {
    QFont titleFont = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    titleFont.setBold(true);
    if (titleFont.pointSizeF() > 0 && titleFont.pointSizeF() < 11) titleFont.setPointSizeF(11);
    const QFontMetrics title(titleFont);
    const int text = std::max(title.horizontalAdvance(caption),
                              QFontMetrics(dialogFont).horizontalAdvance(caption));
    return text + (3 * 2 + 2) * title.height();
}

// The box sizes itself when shown and fixes that size, so the width is asked of its contents:
// the button row is made as wide as the title bar needs.
void MakeRoomForCaption(QMessageBox& box) {
    auto* buttons = box.findChild<QDialogButtonBox*>();
    if (!buttons) return;
    const QMargins margins = box.layout() ? box.layout()->contentsMargins() : QMargins();
    buttons->setMinimumWidth(TitleBarWidth(box.windowTitle(), box.font()) - margins.left() -
                             margins.right());
}

// Sizes every box the program shows alike.
void MakeRoom(QMessageBox& box) {
    MakeRoomForInk(box);
    KeepDetailOnOneLine(box);
    MakeRoomForCaption(box);
}

}  // namespace

void MessageBoxSink::Show(const std::string& text, MessageIcon icon) {
    ShowWithDetail(text, icon, {});
}

void MessageBoxSink::ShowWithDetail(const std::string& text, MessageIcon icon,
                                    const std::string& detail) {
    const QMessageBox::Icon shown = icon == MessageIcon::Stop          ? QMessageBox::Critical
                                    : icon == MessageIcon::Information ? QMessageBox::Information
                                                                       : QMessageBox::NoIcon;
    QMessageBox box(shown, QCoreApplication::applicationName(), QString::fromStdString(text),
                    QMessageBox::Ok, owner_);
    if (!detail.empty()) box.setInformativeText(QString::fromStdString(detail));
    MakeRoom(box);
    box.exec();
}

std::optional<bool> AskYesNoCancel(QWidget* owner, const std::string& question,
                                   const std::string& detail) {
    QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(),
                    QString::fromStdString(question),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, owner);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::Cancel);
    if (!detail.empty()) box.setInformativeText(QString::fromStdString(detail));
    MakeRoom(box);
    const int answer = box.exec();
    if (answer == QMessageBox::Cancel) return std::nullopt;
    return answer == QMessageBox::Yes;
}

}  // namespace b6409
