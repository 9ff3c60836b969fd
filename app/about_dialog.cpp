#include "app/about_dialog.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>

#include "app/application_icon.h"
#include "app/dialog_font.h"
#include "app/dialog_units.h"
#include "common/version.h"

namespace b6409 {

QString AboutDialog::VersionText() {
    return QStringLiteral("B-6409_Utility Version " B6409_VERSION);
}

QString AboutDialog::DescriptionText() {
    return QStringLiteral("CAN bridge configuration");
}

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    // The layout is in units of this font, so it must be the dialog's own and not whatever the
    // parent happens to use.
    const QFont font = DialogFont();
    setFont(font);
    setWindowTitle(QStringLiteral("About B-6409_Utility"));
    setFixedSize(DialogUnitsToPixels(font, 235, 55));

    icon_ = new QLabel(this);
    icon_->setGeometry(DialogRect(font, 18, 17, 20, 20));
    // Drawn at exactly the size the layout gives it, not scaled from the nearest drawn size.
    const int iconSide = std::min(icon_->width(), icon_->height());
    icon_->setPixmap(QPixmap::fromImage(ApplicationIconImage(iconSide)));
    icon_->setAlignment(Qt::AlignCenter);

    // Plain text: the name and version are shown as written, with no '&' or markup taken as
    // formatting.
    version_ = new QLabel(this);
    version_->setTextFormat(Qt::PlainText);
    version_->setText(VersionText());
    version_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    version_->setGeometry(DialogTextRect(font, 57, 17, 119, 8, version_->text()));

    description_ = new QLabel(this);
    description_->setTextFormat(Qt::PlainText);
    description_->setText(DescriptionText());
    description_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    description_->setGeometry(DialogTextRect(font, 57, 29, 119, 8, description_->text()));

    exit_ = new QPushButton(QStringLiteral("Exit"), this);
    exit_->setGeometry(DialogRect(font, 178, 7, 50, 14));
    exit_->setDefault(true);
    exit_->setFocus();
    connect(exit_, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace b6409
