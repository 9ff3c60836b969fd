#include "support/qt_environment.h"

B6409_QT_TEST_ENVIRONMENT()
