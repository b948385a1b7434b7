// The session's view, implemented with the window's widgets.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>

#include "app/connection_panel.h"
#include "app/main_form.h"
#include "app/message_presenter.h"
#include "app/output_panel.h"
#include "app/param_panel.h"
#include "app/preset_bar.h"
#include "app/preset_panel.h"
#include "app/set_panel.h"
#include "app/side_bar.h"
#include "controls/indicator.h"
#include "maintenance/advanced_form.h"
#include "session/framed_view.h"
#include "session/presets.h"

bool TMainForm::DisplayUpdatesPending() const {
    return fFramedView->Pending();
}

void TMainForm::ShowPanelState(const TPanelState& AState) {
    const TPanelState previous = fPanel;
    fPanel = AState;
    fConnectionPanel->ApplyPanel(AState);
    fSetPanel->ApplyPanel(AState);
    fOutputPanel->ApplyPanel(AState);
    fPresetBar->ShowButtons(AState.MemoryButtonsVisible, AState.MemoryButtonsEnabled,
                            AState.MemoryButtonDown);
    fPresetCategory->setEnabled(AState.PresetPanelEnabled);
    fParamCategory->setEnabled(AState.ParamPanelEnabled);
    fAutoTestButton->setEnabled(AState.AutotestEnabled);
    fPlansButton->setEnabled(AState.AutotestEnabled);
    UpdateRunsAllowed();
    fParamPanel->Celsius()->setEnabled(AState.TemperatureUnitEnabled);
    fParamPanel->Fahrenheit()->setEnabled(AState.TemperatureUnitEnabled);
    // The unit choice follows the device only when the device's unit changes, so that a choice
    // not yet saved stays on screen.
    if (!fPanelShown || AState.TemperatureFahrenheit != previous.TemperatureFahrenheit)
        fParamPanel->ShowFahrenheit(AState.TemperatureFahrenheit);
    fPanelShown = true;
    if (fPresets) fPresets->PanelStateChanged();
    if (fFocusFrame) ShowHints(AState);
}

void TMainForm::ShowTraffic(const TTrafficLamp& ALamp) {
    fConnectionPanel->ShowTraffic(ALamp);
}

void TMainForm::ShowTitle(const QString& ATitle) {
    setWindowTitle(fOptions.VirtualSupply ? ATitle + QStringLiteral(" - virtual supply") : ATitle);
}

void TMainForm::ShowPortList(const QStringList& AItems, int ASelected) {
    fConnectionPanel->ShowPortList(AItems, ASelected);
}

void TMainForm::ShowBaudIndex(int AIndex) {
    fConnectionPanel->ShowBaudIndex(AIndex);
}

void TMainForm::ShowAddressIndex(int AIndex) {
    fConnectionPanel->ShowAddressIndex(AIndex);
}

void TMainForm::ShowIpText(const QString& AText) {
    fConnectionPanel->ShowIpText(AText);
}

void TMainForm::ShowLimits(uint32_t AMaxUset, uint32_t AMaxIset, uint32_t AMaxPower,
                           uint32_t ACurrentDiv, uint32_t ACurrentPointPos) {
    fSetPanel->ShowLimits(AMaxUset, AMaxIset, ACurrentPointPos);
    fOutputPanel->ShowLimits(ACurrentPointPos);
    // The preset editors' ranges come with the preset panel's update.
    (void)AMaxPower;
    (void)ACurrentDiv;
}

void TMainForm::ShowSetValues(uint32_t AUset, uint32_t AIset) {
    fSetPanel->ShowSetValues(AUset, AIset);
}

void TMainForm::ShowSetPower(const QString& AText) {
    fSetPanel->ShowSetPower(AText);
}

void TMainForm::ShowMismatch(bool AVoltage, bool ACurrent) {
    fSetPanel->ShowMismatch(AVoltage, ACurrent);
}

void TMainForm::EndSetEditing() {
    fSetPanel->EndSetEditing();
}

void TMainForm::ShowOutput(uint32_t AUout, uint32_t AIout, uint32_t APower) {
    fOutputPanel->ShowOutput(AUout, AIout, APower);
}

void TMainForm::ShowInputVoltage(const QString& AText) {
    fSetPanel->ShowInputVoltage(AText);
}

void TMainForm::ShowRegulation(bool ACV, bool ACC) {
    fOutputPanel->ShowRegulation(ACV, ACC);
}

void TMainForm::ShowProtection(bool ALit, const QString& ALabel) {
    fOutputPanel->ShowProtection(ALit, ALabel);
}

void TMainForm::ShowVinWarning(bool ALit) {
    fOutputPanel->ShowVinWarning(ALit);
    fSetPanel->ShowVinWarning(ALit);
}

void TMainForm::ShowSetColor(TColor AColor) {
    fSetPanel->ShowSetColor(AColor);
}

void TMainForm::ShowOutColor(TColor AColor) {
    fOutputPanel->ShowOutColor(AColor);
}

void TMainForm::ShowTime(uint32_t ASeconds, const QString& AUnit) {
    fOutputPanel->ShowTime(ASeconds, AUnit);
}

void TMainForm::ShowCharge(const TCounterDisplay& ACharge) {
    fOutputPanel->ShowCharge(ACharge);
}

void TMainForm::ShowEnergy(const TCounterDisplay& AEnergy) {
    fOutputPanel->ShowEnergy(AEnergy);
}

void TMainForm::ShowTemperature(const QString& AText) {
    fSetPanel->ShowTemperature(AText);
}

void TMainForm::ShowDebugData(const QString& AText) {
    fSetPanel->ShowDebugData(AText);
}

void TMainForm::ShowChargeBar(bool AVisible, int APercent, const QString& ALabel) {
    fSetPanel->ShowChargeBar(AVisible, APercent, ALabel);
}

void TMainForm::ShowError(const QString& AText) {
    Presenter().Error(this, AText);
}

void TMainForm::RetextError(const QString& AText) {
    Presenter().RetextError(AText);
}

void TMainForm::ShowInformation(const QString& AText) {
    Presenter().Information(this, AText);
}

bool TMainForm::Confirm(const QString& AText) {
    return Presenter().Confirm(this, AText);
}

void TMainForm::ShowModelFeatures(const TModelFeatures& AFeatures) {
    {
        // The preset logic keeps the backlight position; only the range comes from here.
        const QSignalBlocker block(fParamPanel->Backlight());
        fParamPanel->Backlight()->setMaximum(AFeatures.BacklightMax);
    }
    fParamPanel->ResetCounters()->setChecked(AFeatures.AutoResetCounters);
    fPresetPanel->DefaultOnStart()->setText(AFeatures.PresetCheckCaption);
    fFeatures = AFeatures;
    if (fAdvancedForm) fAdvancedForm->ShowModelFeatures(AFeatures);
}

bool TMainForm::AllSidePanelsCollapsed() {
    return fSideBar->AllCollapsed();
}

void TMainForm::ExpandConnectionPanel() {
    fSideBar->Expand(fConnectionCategory);
}

void TMainForm::CollapsePresetAndParamPanels() {
    fPresetCategory->SetExpanded(false);
    fParamCategory->SetExpanded(false);
}
