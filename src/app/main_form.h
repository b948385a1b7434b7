#pragma once
// The main window: a fixed 880 x 512 front panel with the preset tool bar, the set panel, the
// output panel on its gradient and the side bar of collapsible panels ("Parameters", "Profile",
// "Connection"). It implements the session's view and the preset view with these widgets and
// forwards every user action to the session (TSessionCore, which owns the link and the
// scheduler) or to the preset and parameter logic bound to it.
// The fourth side panel, "Oscilloscope", and the trend picture below the panels:
// main_form_trend.cpp.

#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "link/port_notifier.h"
#include "link/tick_clock.h"
#include "session/preset_view.h"
#include "session/session_core.h"
#include "session/session_view.h"
#include "session/settings_store.h"
#include "tools/plan_window.h"
#include "tools/test_form.h"

class QLabel;
class QPushButton;
class TAdvancedForm;
class TCategoryPanel;
class TConnectionPanel;
class TWindowMetrics;
class TEditBox;
class TFocusFrame;
class TEnterForm;
class TEnterFormBase;
class TFramedView;
class TIndicator;
class TMessagePresenter;
class TOscilloscopePanel;
class TOutputPanel;
class TPanelScaler;
class TParameterLogic;
class TPresetLogic;
class TParamPanel;
class TPresetBar;
class TPresetPanel;
class TSetPanel;
class TSideBar;
class TTrendView;
class THistoryWindow;
class TWheelPause;

struct TMainFormOptions {
    // Settings store; null: the user's own ("tarnwell/DPS.ini" under the XDG config home).
    TSettingsStore* Settings = nullptr;
    // The window takes the live readings in batches, once per frame.
    TSessionTimings Timings{.RepeatPoll = true};
    const TTickClock* Clock = nullptr;  // null: the system clock
    // Message boxes; null: the application's presenter (modal boxes).
    TMessagePresenter* Presenter = nullptr;
    // Register for serial-port arrival and removal notices when first shown.
    bool PortNotices = true;
    // Source of those notices; null: the udev monitor.
    std::function<std::unique_ptr<TPortEventSource>()> PortEvents;
    // The supply is the virtual one started inside the program.
    bool VirtualSupply = false;
    // The "Auto Test" window; its files default to the data folder, or beside the INI file of a
    // settings store given above.
    TTestFormOptions Autotest{};
    // The "Plans" window's dialogs (message boxes and file dialogs when empty).
    TPlanWindowOptions Plans{};
    // The full panel of one supply of a bench: its close button only hides it and the session
    // goes on; Shutdown() ends it.
    bool HideOnClose = false;
};

class TMainForm : public QWidget, public TSessionView, public TPresetView {
public:
    static constexpr int kClientWidth = 880;
    static constexpr int kClientHeight = 512;
    // The panel scales with the window from 70 % to 300 % of its drawn size.
    static constexpr double kMinScale = 0.7;
    static constexpr double kMaxScale = 3.0;
    static QSize MinimumClientSize();

    explicit TMainForm(const TMainFormOptions& AOptions = {}, QWidget* AParent = nullptr);
    ~TMainForm() override;

    TSessionCore& Session() { return *fSession; }
    TPresetLogic& Presets() { return *fPresets; }
    TParameterLogic& Parameters() { return *fParams; }
    TSettingsStore& Settings() { return *fSettings; }

    // The value-entry pop-ups, created after the window (creation order of the program).
    void SetEntryPopups(TEnterForm* AForm1, TEnterFormBase* AForm2);
    TEnterForm* EntryPopup() const { return fEnterForm; }

    // Connects over TCP to 127.0.0.1:APort (the demo's virtual supply).
    void ConnectLoopback(uint16_t APort);
    // Connects as if the link had been chosen in the Connection panel: over TCP to AAddress
    // (dotted) and APort, or over entry APortIndex of the port list at ABaudIndex; the supply
    // at Modbus address AAddr.
    void ConnectTcp(const QString& AAddress, uint16_t APort, uint8_t AAddr);
    void ConnectSerial(int APortIndex, int ABaudIndex, uint8_t AAddr);
    // Closes the window as its close button does without HideOnClose (the session ends).
    void Shutdown();

    // --- handlers named after the window's controls ---
    void FormCloseQuery();
    void EditClick(TEditBox* ABox);
    void CategoryPanelExpand(TCategoryPanel* APanel);
    void ToolButtonClick(int ATag);
    void UpDownCheckBoxClick(bool AChecked);
    // "Advanced": the advanced settings window, modal.
    void P_AdvancedBtnClick();
    // The advanced settings window, created on first use (the program creates it at start).
    TAdvancedForm* AdvancedForm();

    // --- parts (tests reach the controls through them) ---
    TSetPanel* SetPanel() const { return fSetPanel; }
    TOutputPanel* OutputPanel() const { return fOutputPanel; }
    TPresetBar* PresetBar() const { return fPresetBar; }
    TSideBar* SideBar() const { return fSideBar; }
    TConnectionPanel* ConnectionPanel() const { return fConnectionPanel; }
    TPresetPanel* PresetPanel() const { return fPresetPanel; }
    TParamPanel* ParamPanel() const { return fParamPanel; }
    TTestForm* TestForm() const { return fTestForm; }
    QPushButton* AutoTestButton() const { return fAutoTestButton; }
    // The "Plans" window (created by the first ShowPlans).
    QPushButton* PlansButton() const { return fPlansButton; }
    TPlanWindow* PlanWindow() const { return fPlanWindow; }
    void ShowPlans();
    TCategoryPanel* ParamCategory() const { return fParamCategory; }
    TCategoryPanel* PresetCategory() const { return fPresetCategory; }
    TCategoryPanel* ConnectionCategory() const { return fConnectionCategory; }
    TCategoryPanel* OscCategory() const { return fOscCategory; }
    TOscilloscopePanel* OscPanel() const { return fOscPanel; }
    TTrendView* TrendView() const { return fTrendView; }
    TFocusFrame* FocusFrame() const { return fFocusFrame; }
    // The panel that holds every control, and its scale (1 at 880 x 512).
    QWidget* FrontPanel() const { return fFrontPanel; }
    double PanelScale() const;
    // Ctrl++ / Ctrl+- / Ctrl+0: the window to the next larger or smaller step, or to 100 %.
    void StepScale(int ADirection);
    // The "History" window (created by the first ShowHistory).
    THistoryWindow* HistoryWindow() const { return fHistoryWindow; }
    void ShowHistory();
    QLabel* DemoBadge() const { return fDemoBadge; }
    TIndicator* EditIndicator(int ATag) const;
    // Live readings waiting for their next frame to reach the controls.
    bool DisplayUpdatesPending() const;
    // What the session shows through (readings reach the controls once per frame).
    TFramedView& FramedView() const { return *fFramedView; }
    // "Show Cursor Buttons" as chosen (the arrows themselves also depend on the preset kind).
    bool CursorButtonsShown() const { return fCursorButtons; }

    // --- TSessionView ---
    void ShowPanelState(const TPanelState& AState) override;
    void ShowTraffic(const TTrafficLamp& ALamp) override;
    void ShowTitle(const QString& ATitle) override;
    void ShowPortList(const QStringList& AItems, int ASelected) override;
    void ShowBaudIndex(int AIndex) override;
    void ShowAddressIndex(int AIndex) override;
    void ShowIpText(const QString& AText) override;
    void ShowLimits(uint32_t AMaxUset, uint32_t AMaxIset, uint32_t AMaxPower, uint32_t ACurrentDiv,
                    uint32_t ACurrentPointPos) override;
    void ShowSetValues(uint32_t AUset, uint32_t AIset) override;
    void ShowSetPower(const QString& AText) override;
    void ShowMismatch(bool AVoltage, bool ACurrent) override;
    void EndSetEditing() override;
    void ShowOutput(uint32_t AUout, uint32_t AIout, uint32_t APower) override;
    void ShowInputVoltage(const QString& AText) override;
    void ShowRegulation(bool ACV, bool ACC) override;
    void ShowProtection(bool ALit, const QString& ALabel) override;
    void ShowVinWarning(bool ALit) override;
    void ShowSetColor(TColor AColor) override;
    void ShowOutColor(TColor AColor) override;
    void ShowTime(uint32_t ASeconds, const QString& AUnit) override;
    void ShowCharge(const TCounterDisplay& ACharge) override;
    void ShowEnergy(const TCounterDisplay& AEnergy) override;
    void ShowTemperature(const QString& AText) override;
    void ShowDebugData(const QString& AText) override;
    void ShowChargeBar(bool AVisible, int APercent, const QString& ALabel) override;
    void ShowError(const QString& AText) override;
    void RetextError(const QString& AText) override;
    void ShowInformation(const QString& AText) override;
    bool Confirm(const QString& AText) override;
    void ShowModelFeatures(const TModelFeatures& AFeatures) override;
    bool AllSidePanelsCollapsed() override;
    void ExpandConnectionPanel() override;
    void CollapsePresetAndParamPanels() override;
    void SampleLog() override;
    void EndAutotest() override;
    void AutotestLinkLost() override;
    void ResetOscilloscope() override;
    void SampleOscilloscope() override;

    // --- TPresetView (main_form_presets.cpp) ---
    void ShowPresetEditors(const TPresetEditors& AEditors) override;
    void ShowPresetChecks(const TPresetChecks& AChecks) override;
    void ShowPresetCaption(const QString& ACaption) override;
    void ShowPresetStatus(const TPresetStatus& AStatus) override;
    void ShowPresetControls(const TPresetControls& AControls) override;
    void ShowOverHeat(uint32_t AValue, const QString& AUnit) override;
    void ShowMaxMemory(uint32_t AValue) override;
    void ShowBacklight(uint32_t APosition) override;

protected:
    void showEvent(QShowEvent* AEvent) override;
    void closeEvent(QCloseEvent* AEvent) override;
    void changeEvent(QEvent* AEvent) override;
    void wheelEvent(QWheelEvent* AEvent) override;
    void resizeEvent(QResizeEvent* AEvent) override;

private:
    // main_form.cpp
    void BuildLayout();
    // What closing does: false when a running tool vetoes it (AAsked: the user closed it).
    bool EndWindow(bool AAsked);
    // main_form_scale.cpp
    void ApplyScale();
    // The client size (and its panel scale) of the largest window that fits the available area
    // of the window's screen.
    QSize LargestFittingClientSize() const;
    double LargestFittingScale() const;
    // main_form_keys.cpp
    void BuildKeyboard();
    QList<QWidget*> TabStops() const;
    // main_form_hints.cpp
    void ShowHints(const TPanelState& AState);
    void HideEntryPopups();
    void ReadWindowSettings();
    void WriteWindowSettings();
    // main_form_trend.cpp
    void BuildTrend();
    // main_form_wiring.cpp
    void WireSetAndOutput();
    void WireConnection();
    void BuildEditIndicators();
    TMessagePresenter& Presenter() const;
    // main_form_metrics.cpp
    void WireMetrics();
    void SwitchMetrics(bool AOn, const QString& AAddress);
    // main_form_presets.cpp
    void WirePresetsAndParameters();
    void CreateTestForm();
    void UpdateRunsAllowed();
    void EntryPopupClosed();

    TMainFormOptions fOptions;
    std::unique_ptr<TSettingsStore> fOwnSettings;
    TSettingsStore* fSettings = nullptr;
    std::unique_ptr<TWheelPause> fWheelPause;
    // The session's view state: readings reach the controls at most once per frame.
    std::unique_ptr<TFramedView> fFramedView;

    QWidget* fFrontPanel = nullptr;
    std::unique_ptr<TPanelScaler> fScaler;
    QWidget* fToolBar = nullptr;
    TPresetBar* fPresetBar = nullptr;
    QLabel* fDemoBadge = nullptr;
    TSetPanel* fSetPanel = nullptr;
    TOutputPanel* fOutputPanel = nullptr;
    TSideBar* fSideBar = nullptr;
    TParamPanel* fParamPanel = nullptr;
    TPresetPanel* fPresetPanel = nullptr;
    TConnectionPanel* fConnectionPanel = nullptr;
    TCategoryPanel* fParamCategory = nullptr;
    TCategoryPanel* fPresetCategory = nullptr;
    TCategoryPanel* fConnectionCategory = nullptr;
    QPushButton* fAutoTestButton = nullptr;
    TTestForm* fTestForm = nullptr;
    QPushButton* fPlansButton = nullptr;
    TPlanWindow* fPlanWindow = nullptr;
    TOscilloscopePanel* fOscPanel = nullptr;
    TCategoryPanel* fOscCategory = nullptr;
    TTrendView* fTrendView = nullptr;
    THistoryWindow* fHistoryWindow = nullptr;
    TEnterForm* fEnterForm = nullptr;
    TEnterFormBase* fEnterForm2 = nullptr;
    TAdvancedForm* fAdvancedForm = nullptr;
    TFocusFrame* fFocusFrame = nullptr;
    TModelFeatures fFeatures;

    // Editors of the preset and parameter panels (tags 0..7), bound to the preset record and
    // the parameter cells.
    std::array<std::unique_ptr<TIndicator>, 8> fEdits;

    TPanelState fPanel;
    bool fPanelShown = false;
    bool fCursorButtons = false;
    bool fVoltageArrows = false;
    bool fFirstShow = true;
    bool fClosed = false;
    bool fShuttingDown = false;

    // Last: they may call back into the view while they are being destroyed.
    std::unique_ptr<TSessionCore> fSession;
    std::unique_ptr<TPresetLogic> fPresets;
    std::unique_ptr<TParameterLogic> fParams;
    // Serves the session: ended before it.
    std::unique_ptr<TWindowMetrics> fMetrics;
};
