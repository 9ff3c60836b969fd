#pragma once

#include <QDialog>
#include <QPalette>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QApplication;

namespace b6409 {

// The application object: lets one copy of the program run at a time, gives every dialog and
// message box the utility's look, and runs the main dialog modally. The main dialog's own
// modal loop is the program's only event loop.
class UtilityApp {
  public:
    using MainDialogFactory = std::function<std::unique_ptr<QDialog>()>;

    // The exit status of a copy that found another one running. A normal end, and a refused
    // copy, are both ordinary outcomes for the user, but a launcher or script can tell them
    // apart by this.
    static constexpr int kRefusedExitStatus = 1;
    // The exit status after the main dialog's modal run returns.
    static constexpr int kNormalExitStatus = 0;

    // Runs the program: the application object, the single-instance check, the dialog look,
    // then the dialog that `makeMainDialog` constructs (with no parent), modally. Returns the
    // process's exit status.
    int Run(int argc, char** argv, const MainDialogFactory& makeMainDialog);

    // The program's name as the running file names it: argv[0] without its directory and
    // without its last extension ("/opt/b/B6409_Utility" and "B6409_Utility.exe" both give
    // "B6409_Utility"). Copies started under different file names are different programs.
    static std::string ApplicationNameFromPath(std::string_view path);

    // "<name> is Running !!", the refusal a second copy shows.
    static QString RunningText(const QString& applicationName);
    // The refusal when no private place for the one-copy lock was found; `why` says why.
    static QString UnguardedText(const QString& applicationName, const std::string& why);

    // The dialogs' palette built on `base`: a warm beige background with black text. Only the
    // background and its text change; edit fields, lists and push buttons keep their colours.
    static QPalette DialogPalette(const QPalette& base);

    // Gives every dialog and message box created from now on the dialog palette and font,
    // and every window the application icon.
    static void ApplyDialogLook();
};

}  // namespace b6409
