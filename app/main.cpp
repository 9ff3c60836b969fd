// The desktop utility. Its application name, and with it the single-instance lock, comes from
// this program's file name: B6409_Utility.
#include <iostream>
#include <memory>

#include "app/information_options.h"
#include "app/main_dialog.h"
#include "app/startup_probe.h"
#include "app/utility_app.h"

int main(int argc, char** argv) {
    if (const auto status = b6409::AnswerInformationOptions(argc, argv, std::cout)) return *status;
    b6409::UtilityApp app;
    return app.Run(argc, argv, [] {
        auto dialog = std::make_unique<b6409::MainDialog>();
        b6409::StartupProbe::WatchIfAsked(dialog.get());
        return dialog;
    });
}
