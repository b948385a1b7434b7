#pragma once
// The tool bar of the twenty preset buttons: M0 to M9 (memory presets) and C0 to C9 (battery-charge
// profiles), one of them down. Only the buttons below the supply's preset count are shown. A click
// selects a preset; holding the mouse for a second on the button that is already down asks to
// store the live set values into it.

#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

class QButtonGroup;
class QToolButton;

class TPresetBar : public QWidget {
public:
    static constexpr int kButtons = 20;
    static constexpr int kLongPressMs = 1000;

    explicit TPresetBar(QWidget* AParent);

    // Visible below AVisible, enabled as AEnabled, ADown pressed (-1: none).
    void ShowButtons(int AVisible, bool AEnabled, int ADown);
    QToolButton* Button(int ATag) const { return fButtons[static_cast<size_t>(ATag)]; }
    int Down() const;

    // Preset button click (tag 0..19) and long press on the button that was already down.
    std::function<void(int)> OnClick;
    std::function<void(int)> OnLongPress;

    // Fires the pending long press at once (tests).
    bool LongPressPending() const { return fLongPress.isActive(); }
    void FireLongPress();

protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
    void SetDown(int ADown);

    std::array<QToolButton*, kButtons> fButtons{};
    QButtonGroup* fGroup = nullptr;
    QTimer fLongPress;
    int fLongPressTag = -1;
};

// Caption of a preset button: " M0 ", "M1" .. "M9", " C0 ", "C1" .. "C9".
QString PresetCaption(int ATag);
