#include "support/qt_environment.h"

#include <stdlib.h>

#include <QDir>

#include "app/utility_app.h"

// The dialog as the program shows it: its colours, font and icon. What it remembers between
// runs goes to a folder of this test run, never to the user's own settings.
B6409_QT_TEST_ENVIRONMENT([] {
    char folder[] = "/tmp/b6409-dialog-config-XXXXXX";
    if (mkdtemp(folder)) qputenv("XDG_CONFIG_HOME", folder);
    b6409::UtilityApp::ApplyDialogLook();
})
