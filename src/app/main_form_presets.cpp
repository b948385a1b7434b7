// The "Profile" and "Parameters" panels: what the preset and parameter logic shows, and the
// forwarding of their controls.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>

#include "app/edit_box.h"
#include "app/main_form.h"
#include "app/param_panel.h"
#include "app/preset_bar.h"
#include "app/preset_panel.h"
#include "app/set_panel.h"
#include "app/side_bar.h"
#include "controls/indicator.h"
#include "maintenance/advanced_form.h"
#include "session/parameters.h"
#include "session/presets.h"
#include "session/value_format.h"
#include "tools/test_logging_page.h"

namespace {

void SetChecked(QCheckBox* ABox, bool AChecked) {
    const QSignalBlocker block(ABox);
    ABox->setChecked(AChecked);
}

}  // namespace

void TMainForm::ShowPresetEditors(const TPresetEditors& AEditors) {
    for (int tag = 0; tag < TPresetPanel::etCount; ++tag) {
        TIndicator& ind = *fEdits[static_cast<size_t>(tag)];
        ind.MinValue = AEditors.Min[tag];
        ind.MaxValue = AEditors.Max[tag];
        // The timer keeps its hours:minutes layout (point after the hours).
        if (tag != TPresetPanel::etTimer) ind.PointPos = AEditors.PointPos[tag];
        const uint32_t value = AEditors.Values[tag];
        const QString text = tag == TPresetPanel::etTimer ? FormatHoursMinutes(value)
                                                          : FormatFixedPoint(value, ind.PointPos);
        fPresetPanel->Edit(tag)->setText(text + QStringLiteral(" ") + ind.ValueName);
    }
    fPresetPanel->SetProtectionTriggersShown(AEditors.ProtectionTriggersShown);
}

void TMainForm::ShowPresetChecks(const TPresetChecks& AChecks) {
    SetChecked(fPresetPanel->DefaultOnStart(), AChecks.DefaultOnStart);
    SetChecked(fPresetPanel->PowerOnStart(), AChecks.PowerOnStart);
    SetChecked(fPresetPanel->OvpTrigger(), AChecks.OvpTrigger);
    SetChecked(fPresetPanel->OcpTrigger(), AChecks.OcpTrigger);
}

void TMainForm::ShowPresetCaption(const QString& ACaption) {
    fPresetCategory->SetCaption(ACaption);
}

void TMainForm::ShowPresetStatus(const TPresetStatus& AStatus) {
    fSetPanel->ShowPresetStatus(AStatus.SF, AStatus.OVP, AStatus.OCP);
}

void TMainForm::ShowPresetControls(const TPresetControls& c) {
    TPresetPanel& p = *fPresetPanel;
    p.Edit(TPresetPanel::etUset)->setEnabled(c.UsetEdit);
    p.Edit(TPresetPanel::etIset)->setEnabled(c.IsetEdit);
    p.Edit(TPresetPanel::etOvp)->setEnabled(c.OvpEdit);
    p.Edit(TPresetPanel::etOcp)->setEnabled(c.OcpEdit);
    p.Edit(TPresetPanel::etOpp)->setEnabled(c.OppEdit);
    p.Edit(TPresetPanel::etTimer)->setEnabled(c.TimerEdit);
    p.SaveBtn()->setEnabled(c.PresetSave);
    p.RefreshBtn()->setEnabled(c.Refresh);
    p.DefaultOnStart()->setEnabled(c.DefaultOnStart);
    p.PowerOnStart()->setEnabled(c.PowerOnStart);
    p.OvpTrigger()->setEnabled(c.OvpTrigger);
    p.OcpTrigger()->setEnabled(c.OcpTrigger);
    TParamPanel& q = *fParamPanel;
    q.SaveBtn()->setEnabled(c.ParamSave);
    q.AdvancedBtn()->setEnabled(c.Advanced);
    q.ResetCounters()->setEnabled(c.AutoReset);
    q.Backlight()->setEnabled(c.Backlight);
    q.OhpEdit()->setEnabled(c.OverHeatEdit);
    q.MaxMemEdit()->setEnabled(c.MaxMemoryEdit);
    fSetPanel->SetVoltageKnobVisible(c.VoltageKnobVisible);
    fSetPanel->SetArrowsVisible(c.VoltageArrowsVisible, c.CurrentArrowsVisible);
    fVoltageArrows = c.VoltageArrowsVisible;
}

void TMainForm::ShowOverHeat(uint32_t AValue, const QString& AUnit) {
    fEdits[TParamPanel::kOhpTag]->ValueName = AUnit;
    fParamPanel->OhpEdit()->setText(QString::number(AValue) + QStringLiteral(" ") + AUnit);
}

void TMainForm::ShowMaxMemory(uint32_t AValue) {
    fParamPanel->MaxMemEdit()->setText(QString::number(AValue));
}

void TMainForm::ShowBacklight(uint32_t APosition) {
    const QSignalBlocker block(fParamPanel->Backlight());
    fParamPanel->Backlight()->setValue(static_cast<int>(APosition));
}

void TMainForm::ToolButtonClick(int ATag) {
    fPresets->ToolButtonClick(ATag);
}

void TMainForm::UpDownCheckBoxClick(bool AChecked) {
    fCursorButtons = AChecked;
    fParams->UpDownCheckBoxClick(AChecked);
    if (fParamPanel->ShowCursorButtons()->isChecked() != AChecked) {
        const QSignalBlocker block(fParamPanel->ShowCursorButtons());
        fParamPanel->ShowCursorButtons()->setChecked(AChecked);
    }
}

TAdvancedForm* TMainForm::AdvancedForm() {
    if (!fAdvancedForm) {
        fAdvancedForm = new TAdvancedForm(*fSession, *fParams, *fSettings, this);
        fAdvancedForm->ShowModelFeatures(fFeatures);
        // The logging options are read when the window is made; its "Apply" closes the window.
        auto* logging = new TTestLoggingPage();
        logging->Load(*fSettings);
        TAdvancedForm* form = fAdvancedForm;
        logging->OnApply = [form] { form->reject(); };
        fAdvancedForm->HostLoggingPage(logging, logging->ApplyButton());
    }
    return fAdvancedForm;
}

void TMainForm::P_AdvancedBtnClick() {
    HideEntryPopups();
    AdvancedForm()->Execute();
}

void TMainForm::EntryPopupClosed() {
    fPresets->EditorClosed();
}

void TMainForm::WirePresetsAndParameters() {
    TPresetLogic& p = *fPresets;
    TParameterLogic& q = *fParams;
    fPresetBar->OnLongPress = [&p](int ATag) { p.LongPress(ATag); };
    fPresetPanel->OnEditClick = [this](TEditBox* ABox) { EditClick(ABox); };
    fPresetPanel->OnSave = [&p] { p.M_SaveBtnClick(); };
    fPresetPanel->OnRefresh = [&p] { p.M_RefreshBtnClick(); };
    connect(fPresetPanel->DefaultOnStart(), &QCheckBox::clicked, this,
            [&p](bool AOn) { p.DefaultOnStartClick(AOn); });
    connect(fPresetPanel->PowerOnStart(), &QCheckBox::clicked, this,
            [&p](bool AOn) { p.PowerOnStartClick(AOn); });
    connect(fPresetPanel->OvpTrigger(), &QCheckBox::clicked, this,
            [&p](bool AOn) { p.OvpTriggerClick(AOn); });
    connect(fPresetPanel->OcpTrigger(), &QCheckBox::clicked, this,
            [&p](bool AOn) { p.OcpTriggerClick(AOn); });
    fParamPanel->OnEditClick = [this](TEditBox* ABox) { EditClick(ABox); };
    fParamPanel->OnShowCursorClick = [this](bool AOn) { UpDownCheckBoxClick(AOn); };
    fParamPanel->OnResetCountersClick = [&q](bool AOn) { q.P_ResetCountersCheckBoxClick(AOn); };
    fParamPanel->OnUnitClick = [&q](bool AFahrenheit) { q.CF_RadioGroupClick(AFahrenheit); };
    fParamPanel->OnSave = [&q] { q.P_SaveBtnClick(); };
    fParamPanel->OnAdvanced = [this] { P_AdvancedBtnClick(); };
    connect(fParamPanel->Backlight(), &QSlider::valueChanged, this,
            [&q](int AValue) { q.P_BacklightTrackBarChange(static_cast<uint32_t>(AValue)); });
}
