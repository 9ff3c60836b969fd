#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace b6409 {

// The About box: the application icon, the program's name and version, one line on what it is
// for, and "Exit". It has a fixed size of 235 x 55 dialog units in the dialog font, and every
// control sits where the layout in dialog units puts it. "Exit" (the default button) accepts;
// Escape and the close box reject; either way the modal run ends.
class AboutDialog : public QDialog {
    Q_OBJECT

  public:
    explicit AboutDialog(QWidget* parent);

    static QString VersionText();
    static QString DescriptionText();

    QLabel* iconLabel() const { return icon_; }
    QLabel* versionLabel() const { return version_; }
    QLabel* descriptionLabel() const { return description_; }
    QPushButton* exitButton() const { return exit_; }

  private:
    QLabel* icon_;
    QLabel* version_;
    QLabel* description_;
    QPushButton* exit_;
};

}  // namespace b6409
