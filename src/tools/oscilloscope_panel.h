#pragma once
// The side bar's "Oscilloscope" panel and the trend behind it: volts and amperes per division with
// their "Auto" boxes, the two offsets, the trace choice, the "Run" / "Hold" switch and
// "Reset Shift". It owns the ring and the picture and redraws the picture after every sample; the
// picture is shown by a TTrendView.
//
// Lifecycle: the ring is empty at creation and cleared on Connect (ResetRun) and when the switch
// turns to "Run". The session's 100 ms tick calls Tick, which samples only on "Run"; on "Hold" and
// after the link is closed or lost the picture stays, and control changes redraw it from the
// frozen ring through a queued call (while sampling, the next tick redraws anyway).

#include <QWidget>
#include <array>
#include <functional>

#include "tools/trend_model.h"
#include "tools/trend_picture.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TTrendView;
class TUpDownButtons;

class TOscilloscopePanel : public QWidget {
public:
    explicit TOscilloscopePanel(QWidget* AParent = nullptr);

    // The panel that shows the picture (may be null).
    void SetView(TTrendView* AView);

    // Whether a session runs and whether the main window is visible; unset: not connected,
    // visible.
    std::function<bool()> IsConnected;
    std::function<bool()> IsWindowVisible;
    // The "History" button: the window with the whole session's readings.
    std::function<void()> OnHistory;

    // Connect: an empty ring with the switch on "Run".
    void ResetRun();
    // One session tick: on "Run" a sample (UOUT low 16 bits, IOUT / current scale), then a redraw.
    void Tick(uint32_t AUout, uint32_t AIout, uint32_t ACurrentDiv);
    // Empties the ring (OscClear).
    void Clear();
    // Redraws the picture: automatic ranging, then the picture from the ring (OscDraw).
    void Draw();
    // A control changed: redraw now-ish when nothing else will (OscUpdateClick).
    void UpdateClick();

    const TTrendModel& Model() const { return fModel; }
    const TOscSettings& Settings() const { return fSettings; }
    const QImage& Picture() const { return fPicture.Image(); }
    // Redraws and session ticks so far (sampled or not).
    int DrawCount() const { return fDrawCount; }
    int TickCount() const { return fTickCount; }

    // Controls (tests click them).
    TUpDownButtons* VUpDown() const { return fVUpDown; }
    TUpDownButtons* AUpDown() const { return fAUpDown; }
    TUpDownButtons* VshiftUpDown() const { return fVshiftUpDown; }
    TUpDownButtons* AshiftUpDown() const { return fAshiftUpDown; }
    QCheckBox* VoltAuto() const { return fVoltAuto; }
    QCheckBox* AmperAuto() const { return fAmperAuto; }
    QRadioButton* TraceButton(int ATraces) const {
        return fTraceButtons[static_cast<size_t>(ATraces)];
    }
    QPushButton* RunSwitch() const { return fRunSwitch; }
    QPushButton* ResetShift() const { return fResetShift; }
    QPushButton* HistoryButton() const { return fHistory; }

private:
    void VoltAutoClick(bool AChecked);
    void AmperAutoClick(bool AChecked);
    void RunSwitchClick(bool ARun);
    void ResetShiftClick();
    // Shows the settings on the controls (each control only where it differs).
    void ShowSettings();

    TTrendModel fModel;
    TTrendPicture fPicture;
    TOscSettings fSettings;
    TTrendView* fView = nullptr;
    bool fRedrawPosted = false;
    int fDrawCount = 0;
    int fTickCount = 0;

    TUpDownButtons* fVUpDown;
    TUpDownButtons* fAUpDown;
    TUpDownButtons* fVshiftUpDown;
    TUpDownButtons* fAshiftUpDown;
    QLabel* fVDivText;
    QLabel* fADivText;
    QLabel* fVshiftText;
    QLabel* fAshiftText;
    QCheckBox* fVoltAuto;
    QCheckBox* fAmperAuto;
    std::array<QRadioButton*, 4> fTraceButtons{};
    QPushButton* fRunSwitch;
    QPushButton* fResetShift;
    QPushButton* fHistory;
};
