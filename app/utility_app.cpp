#include "app/utility_app.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QMessageBox>
#include <cstdio>

#include "app/application_icon.h"
#include "app/dialog_font.h"
#include "app/single_instance.h"
#include "controls/dialog_colors.h"
#include "controls/rgb_color.h"

namespace b6409 {

namespace {

const QColor kDialogText(0, 0, 0);

// The refused copy's box comes before the dialog look is set, so it shows in the system's
// colours. The text also goes to stderr, where a copy started from a terminal or a launcher
// that keeps a log leaves a trace of why it ended.
void ShowRefusal(const QString& applicationName, const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
    QMessageBox box(QMessageBox::NoIcon, applicationName, text, QMessageBox::Ok);
    box.exec();
}

}  // namespace

std::string UtilityApp::ApplicationNameFromPath(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    const size_t dot = path.find_last_of('.');
    // A leading dot starts a hidden file's name, not an extension.
    if (dot != std::string_view::npos && dot > 0) path = path.substr(0, dot);
    return std::string(path);
}

QString UtilityApp::RunningText(const QString& applicationName) {
    return applicationName + QStringLiteral(" is Running !!");
}

QString UtilityApp::UnguardedText(const QString& applicationName, const std::string& why) {
    return applicationName +
           QStringLiteral(
               " cannot make sure that only one copy runs (%1). Set XDG_RUNTIME_DIR "
               "to a folder of your own with mode 0700.")
               .arg(QString::fromStdString(why));
}

QPalette UtilityApp::DialogPalette(const QPalette& base) {
    QPalette palette = base;
    palette.setColor(QPalette::Window, ToQColor(kDialogBackground));
    // A disabled label keeps the style's greyed text, so it still reads as disabled.
    palette.setColor(QPalette::Active, QPalette::WindowText, kDialogText);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, kDialogText);
    return palette;
}

void UtilityApp::ApplyDialogLook() {
    // By class, so that the dialogs and message boxes (and the controls on them, which take
    // their background from their dialog) change, while menus and drop-down lists, which use
    // the same roles, keep the system's look.
    QApplication::setPalette(DialogPalette(QApplication::palette()), "QDialog");
    QApplication::setFont(DialogFont());
    QApplication::setWindowIcon(ApplicationIcon());
}

int UtilityApp::Run(int argc, char** argv, const MainDialogFactory& makeMainDialog) {
    QApplication application(argc, argv);
    std::string name = ApplicationNameFromPath(argc > 0 && argv[0] ? argv[0] : "");
    if (name.empty()) {
        name = ApplicationNameFromPath(
            QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString());
    }
    const QString applicationName = QFile::decodeName(QByteArray::fromStdString(name));
    QApplication::setApplicationName(applicationName);
    // Lets a desktop shell match the windows to the installed launcher and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("b6409-utility"));

    // Held until the process ends. Without a lock no copy could tell that another runs, and two
    // copies could send one module two lists at once: the program does not start unguarded.
    const SingleInstanceLock instance = SingleInstanceLock::Acquire(name);
    if (instance.AnotherCopyRuns()) {
        ShowRefusal(applicationName, RunningText(applicationName));
        return kRefusedExitStatus;
    }
    if (instance.status() == SingleInstanceLock::Status::Unavailable) {
        ShowRefusal(applicationName, UnguardedText(applicationName, instance.error()));
        return kRefusedExitStatus;
    }

    ApplyDialogLook();
    std::unique_ptr<QDialog> mainDialog = makeMainDialog();
    // What the modal run returns makes no difference: every way out of it ends the program.
    mainDialog->exec();
    mainDialog.reset();
    return kNormalExitStatus;
}

}  // namespace b6409
