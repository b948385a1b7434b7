#pragma once
// A value panel of the advanced window: a sunken box showing a value's text on a chosen
// background; a click on an enabled panel is forwarded (the owner opens an entry pop-up).

#include <QLabel>
#include <functional>

#include "session/color_helpers.h"

class TValuePanel : public QLabel {
public:
    explicit TValuePanel(QWidget* AParent);

    // Background colour (0x00BBGGRR); repaints only when it changes.
    void SetColor(TColor AColor);
    TColor Color() const { return fColor; }

    std::function<void(TValuePanel*)> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* AEvent) override;
    void changeEvent(QEvent* AEvent) override;

private:
    void ApplyStyle();
    TColor fColor = 0xFFFFFF;
};
