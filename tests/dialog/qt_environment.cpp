#include "support/qt_environment.h"

#include "app/utility_app.h"

// The dialog as the program shows it: its colours, font and icon.
B6409_QT_TEST_ENVIRONMENT([] { b6409::UtilityApp::ApplyDialogLook(); })
