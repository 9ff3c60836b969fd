#include "app/message_box_sink.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace b6409 {

void MessageBoxSink::Show(const std::string& text, MessageIcon icon) {
    const QMessageBox::Icon shown = icon == MessageIcon::Stop          ? QMessageBox::Critical
                                    : icon == MessageIcon::Information ? QMessageBox::Information
                                                                       : QMessageBox::NoIcon;
    QMessageBox box(shown, QCoreApplication::applicationName(), QString::fromStdString(text),
                    QMessageBox::Ok, owner_);
    box.exec();
}

}  // namespace b6409
