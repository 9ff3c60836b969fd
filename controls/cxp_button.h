#pragma once

#include <QPushButton>
#include <QTimer>

namespace b6409 {

// A push button drawn as a rounded outline around a vertical white-to-grey-blue gradient with
// the label centred on it. Resting the mouse over it lightens the gradient and adds an orange
// frame; focus shows as a different gradient and a dotted frame; pressing moves the label by
// (1, 1); a disabled button embosses its label.
//
// The object name defaults to "CXPButton", so style sheets and object lookups can find these
// buttons by that name; the owner may give a button its own.
class CXPButton : public QPushButton {
    Q_OBJECT

  public:
    // Invokable so that the button can be created from its meta-object alone.
    Q_INVOKABLE explicit CXPButton(QWidget* parent = nullptr);
    explicit CXPButton(const QString& text, QWidget* parent = nullptr);

    // The mouse has rested over the button for the hover time and not left since.
    bool IsHovering() const { return hovering_; }
    // A hover and a leave are awaited: armed by the first movement, disarmed by the leave.
    bool IsTracking() const { return tracking_; }

    // How long the mouse must rest before the hover look appears.
    static constexpr int kHoverMilliseconds = 1;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void MouseMoved();
    void MouseRested();

    QTimer hoverTimer_;
    bool hovering_ = false;
    bool tracking_ = false;
};

}  // namespace b6409
