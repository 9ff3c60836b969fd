#include "app/dialog_font.h"

#include <QFontDatabase>
#include <QStringList>

namespace b6409 {

QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("新細明體"), QStringLiteral("PMingLiU"),
                      QStringLiteral("AR PL UMing TW"), QStringLiteral("AR PL UMing CN"),
                      QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(9);
    return font;
}

}  // namespace b6409
