// Writes the application icon as PNG files for installation: OUTDIR/b6409-utility-<size>.png
// for every drawn size. Run by the build; needs no display.
#include <QString>
#include <cstdio>

#include "app/application_icon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: b6409-icon-writer OUTDIR\n");
        return 2;
    }
    for (int size : b6409::kApplicationIconSizes) {
        const QString file =
            QString::fromLocal8Bit(argv[1]) + QStringLiteral("/b6409-utility-%1.png").arg(size);
        if (!b6409::ApplicationIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "b6409-icon-writer: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
