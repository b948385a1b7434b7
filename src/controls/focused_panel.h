#pragma once
// A panel that takes the keyboard focus when it (or a child without focus of its own, such as a
// digit) is clicked, and claims the arrow keys so that they reach it instead of moving the focus
// or triggering shortcuts. The main window's set-voltage and set-current panels are such panels;
// their key handlers drive the set indicators (see indicator_input.h).

#include <QWidget>

#include "controls/control_events.h"
#include "controls/qcolor_convert.h"

class TLN_FocusedPanel : public QWidget {
public:
    using TKeyEvent = std::function<void(QObject* Sender, int Key, Qt::KeyboardModifiers Shift)>;
    using TKeyPressEvent = std::function<void(QObject* Sender, QChar Key)>;

    explicit TLN_FocusedPanel(QWidget* parent = nullptr);

    TColor Color() const { return fColor; }
    void SetColor(TColor color);

    TNotifyEvent OnClick;
    TKeyEvent OnKeyDown;
    // One call per character the key produces.
    TKeyPressEvent OnKeyPress;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TColor fColor = TColorFromRGB(0, 0, 0);
    bool fClickArmed = false;
};
