#pragma once
// The advanced settings window "Advanced Parameters": a modal dialog of 609 x 429 with the tabs
// "Colors and Update", "Test Logging", "Calibration", "Calibration help" (shown by the
// calibration's "Help"), "Battery Source", "Help" (the overview and help pages) and "About".
// Created once and reused; its controls keep their state between openings; the window cannot be
// closed while a firmware update runs. The main window's "Advanced" button calls Execute: the
// opening steps, the modal loop, and on "Save" the colours and the battery source go to the supply
// through the parameter logic (edits of the battery voltages are in the session's record at once).
//
//     TAdvancedForm form(core, params, settings, mainWindow);
//     form.ShowModelFeatures(features);   // at identification and classification
//     form.Execute();

#include <QDialog>
#include <QUrl>
#include <memory>

#include "session/event_chain.h"

class QLabel;
class QPushButton;
class QTabWidget;
class TAboutPage;
class TBatteryPage;
class TCalibrationPage;
class TColorsPage;
class TEnterForm;
class TEnterForm2;
class TFirmwareUpdatePage;
class TPageView;
class TParameterLogic;
class TSessionCore;
class TSettingsStore;
struct TModelFeatures;

struct TAdvancedOptions {
    int WaitTickMs = 1000;  // countdown step of the calibration's wait window
};

// Settings values (strings) holding the web addresses the page views offer.
namespace settings {
inline constexpr char kHelpAddress[] = "HelpAddress";                // presentation, help page
inline constexpr char kUpdateAddress[] = "UpdateAddress";            // presentation, update page
inline constexpr char kCalibrationAddress[] = "CalibrationAddress";  // calibration guide
}  // namespace settings

class TAdvancedForm : public QDialog {
public:
    static constexpr int kClientWidth = 609;
    static constexpr int kClientHeight = 429;
    enum TTab {
        tabColors,
        tabLogging,
        tabCalibration,
        tabHelp,
        tabBattery,
        tabPresentation,
        tabAbout
    };

    TAdvancedForm(TSessionCore& ACore, TParameterLogic& AParams, TSettingsStore& ASettings,
                  QWidget* AParent, TAdvancedOptions AOptions = {});
    ~TAdvancedForm() override;

    // The whole opening: Prepare, the modal loop, Finish. Returns the dialog's result.
    int Execute();
    // Opening steps before the window is shown (colour boxes, buttons, tabs, battery tab,
    // calibration data request, current range, presentation page on the first opening).
    void Prepare();
    // After the window closed: with Accepted the program's colours take the chosen ones and,
    // on an extended firmware, the colours and battery settings are written to the supply.
    void Finish(int AResult);

    // What identification and classification tell the window: tab visibility, the current
    // ranges of the model, the temperature point.
    void ShowModelFeatures(const TModelFeatures& AFeatures);

    // The "Test Logging" page (from the tools), put in place of its placeholder; AApply is its
    // "Apply" button, which the window enables at each opening and disables during an update.
    void HostLoggingPage(QWidget* APage, QPushButton* AApply);

    // Calibration "Help": the calibration guide on the "Calibration help" tab, brought to the
    // front.
    void HelpFileBtnClick();

    QTabWidget* Tabs() const { return fTabs; }
    bool TabShown(TTab ATab) const;
    TColorsPage* ColorsPage() const { return fColors; }
    TCalibrationPage* CalibrationPage() const { return fCalibration; }
    TBatteryPage* BatteryPage() const { return fBattery; }
    TPageView* HelpView() const { return fHelp; }
    TPageView* PresentationView() const { return fPresentation; }
    TFirmwareUpdatePage* UpdatePage() const { return fUpdate; }
    QWidget* LoggingArea() const { return fLoggingArea; }
    TEnterForm* Popup4() const { return fPopup4; }
    TEnterForm2* Popup5() const { return fPopup5; }

protected:
    void done(int AResult) override;
    void showEvent(QShowEvent* AEvent) override;
    void changeEvent(QEvent* AEvent) override;

private:
    void BuildTabs();
    void HidePopups();
    void CenterOverOwner();
    void UpdateStarted();
    QUrl AddressSetting(const char* AName) const;

    TSessionCore& fCore;
    TParameterLogic& fParams;
    TSettingsStore& fSettings;
    TAdvancedOptions fOptions;
    TAliveToken fAlive = MakeAliveToken();

    QTabWidget* fTabs = nullptr;
    TColorsPage* fColors = nullptr;
    QWidget* fLoggingArea = nullptr;
    TCalibrationPage* fCalibration = nullptr;
    TPageView* fHelp = nullptr;
    TBatteryPage* fBattery = nullptr;
    TPageView* fPresentation = nullptr;
    TAboutPage* fAbout = nullptr;
    TFirmwareUpdatePage* fUpdate = nullptr;
    QPushButton* fLoggingApply = nullptr;
    TEnterForm* fPopup4 = nullptr;
    TEnterForm2* fPopup5 = nullptr;
    bool fPresentationLoaded = false;
};
