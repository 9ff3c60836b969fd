// A stand-in for the desktop program in process-level tests: it runs the real start-up with a
// plain dialog as its main window and reports on stdout what a user would see. The main dialog
// stays up until stdin reaches its end, and any message box is answered with OK as soon as it
// shows, so that a test can drive several copies without a display or a user.
//
// Lines written, one per event:
//   main title=<window title> window=<r,g,b> text=<r,g,b> edit=<r,g,b> font=<family>
//   box title=<window title> text=<box text> window=<r,g,b> buttons=<count>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/utility_app.h"

namespace {

QString Rgb(const QColor& color) {
    return QStringLiteral("%1,%2,%3").arg(color.red()).arg(color.green()).arg(color.blue());
}

void Report(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

class MessageBoxAnswerer : public QObject {
  public:
    explicit MessageBoxAnswerer(QObject* parent) : QObject(parent) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box && event->type() == QEvent::Show) {
            Report(QStringLiteral("box title=%1 text=%2 window=%3 buttons=%4")
                       .arg(box->windowTitle(), box->text(),
                            Rgb(box->palette().color(QPalette::Window)))
                       .arg(box->buttons().size()));
            QPushButton* ok = qobject_cast<QPushButton*>(box->button(QMessageBox::Ok));
            if (ok) QTimer::singleShot(0, ok, &QPushButton::click);
        }
        return false;
    }
};

// Runs as soon as the application object exists, before the program's own start-up steps.
// The application object owns the answerer, so it goes when the program ends.
void WatchForMessageBoxes() {
    qApp->installEventFilter(new MessageBoxAnswerer(qApp));
}
Q_COREAPP_STARTUP_FUNCTION(WatchForMessageBoxes)

class ProbeDialog : public QDialog {
  public:
    ProbeDialog() : edit_(new QLineEdit(this)), input_(STDIN_FILENO, QSocketNotifier::Read) {
        setWindowTitle(QStringLiteral("probe main"));
        connect(&input_, &QSocketNotifier::activated, this, [this] {
            char buffer[64];
            if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
                input_.setEnabled(false);
                reject();
            }
        });
    }

  protected:
    void showEvent(QShowEvent* event) override {
        QDialog::showEvent(event);
        Report(QStringLiteral("main title=%1 window=%2 text=%3 edit=%4 font=%5")
                   .arg(windowTitle(), Rgb(palette().color(QPalette::Window)),
                        Rgb(palette().color(QPalette::WindowText)),
                        Rgb(edit_->palette().color(QPalette::Base)), QFontInfo(font()).family()));
    }

  private:
    QLineEdit* edit_;
    QSocketNotifier input_;
};

}  // namespace

int main(int argc, char** argv) {
    b6409::UtilityApp app;
    return app.Run(argc, argv, [] { return std::make_unique<ProbeDialog>(); });
}
