#pragma once
// The "Parameters" panel: temperature unit, over-heat limit and maximum preset number (edited
// through the value-entry pop-up), backlight, "Auto Reset Counters", "Show Cursor Buttons" and
// Save.

#include <QWidget>
#include <functional>

class QCheckBox;
class QPushButton;
class QRadioButton;
class QSlider;
class TEditBox;

class TParamPanel : public QWidget {
public:
    // Edit-box tags continue the preset panel's.
    static constexpr int kOhpTag = 6;
    static constexpr int kMaxMemTag = 7;

    explicit TParamPanel(QWidget* AParent);

    TEditBox* OhpEdit() const { return fOhp; }
    TEditBox* MaxMemEdit() const { return fMaxMem; }
    QRadioButton* Celsius() const { return fCelsius; }
    QRadioButton* Fahrenheit() const { return fFahrenheit; }
    QSlider* Backlight() const { return fBacklight; }
    QCheckBox* ResetCounters() const { return fResetCounters; }
    QCheckBox* ShowCursorButtons() const { return fShowCursor; }
    QPushButton* SaveBtn() const { return fSave; }
    QPushButton* AdvancedBtn() const { return fAdvanced; }

    // Temperature choice as the session shows it (no notification).
    void ShowFahrenheit(bool AFahrenheit);

    std::function<void(TEditBox*)> OnEditClick;
    std::function<void(bool)> OnResetCountersClick;
    std::function<void(bool)> OnShowCursorClick;
    std::function<void(bool)> OnUnitClick;  // true: "F"
    std::function<void()> OnSave;
    std::function<void()> OnAdvanced;

private:
    TEditBox* fOhp;
    TEditBox* fMaxMem;
    QRadioButton* fCelsius;
    QRadioButton* fFahrenheit;
    QSlider* fBacklight;
    QCheckBox* fResetCounters;
    QCheckBox* fShowCursor;
    QPushButton* fSave;
    QPushButton* fAdvanced;
};
