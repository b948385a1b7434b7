#pragma once
// A bright frame round the control that holds the keyboard focus, drawn just outside the control
// so that it shows on any face (knobs, digit windows, buttons). It appears when the focus came
// from the keyboard (Tab, Backtab, a shortcut, right after a key press) and goes when the mouse
// moved the focus, also indirectly, so a mouse user is not shown a frame on every click. The frame
// is a masked child of the panel: only its ring covers what lies beneath, so the controls under it
// repaint without it.

#include <QList>
#include <QPointer>
#include <QWidget>

class TFocusFrame : public QWidget {
public:
    explicit TFocusFrame(QWidget* ARoot);

    // Follows the focus of these controls (and the moves of their parents up to the root).
    void Track(const QList<QWidget*>& AControls);
    // The control framed now, or null when no frame is shown.
    QWidget* Framed() const;
    // Ring width and its distance from the control, in pixels (they follow the panel's scale).
    void SetMetrics(int AWidth, int AGap);

protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;
    void paintEvent(QPaintEvent* AEvent) override;

private:
    void Place();

    QWidget* fRoot;
    QList<QWidget*> fControls;
    QList<QWidget*> fWatched;  // the controls and their parents below the root
    QPointer<QWidget> fTarget;
    bool fKeyboard = false;      // the focus last came from the keyboard
    bool fLastInputKey = false;  // the last press was a key, not the mouse
    int fWidth = 2;
    int fGap = 2;
};
