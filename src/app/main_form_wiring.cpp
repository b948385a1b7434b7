// Forwarding of the window's controls to the session, the preset and parameter editors and the
// value-entry pop-up.

#include "app/connection_panel.h"
#include "app/edit_box.h"
#include "app/main_form.h"
#include "app/output_panel.h"
#include "app/preset_bar.h"
#include "app/preset_panel.h"
#include "app/set_panel.h"
#include "app/side_bar.h"
#include "controls/enter_form.h"
#include "controls/indicator.h"
#include "maintenance/firmware_dialog.h"
#include "session/parameters.h"

void TMainForm::WireSetAndOutput() {
    TSessionCore& s = *fSession;
    fSetPanel->OnUKnobChange = [&s](uint32_t APos) { s.U_KnobChange(APos); };
    fSetPanel->OnIKnobChange = [&s](uint32_t APos) { s.I_KnobChange(APos); };
    fSetPanel->OnUsetChange = [&s](uint32_t AValue) { s.UsetIndChange(AValue); };
    fSetPanel->OnIsetChange = [&s](uint32_t AValue) { s.IsetIndChange(AValue); };
    fSetPanel->OnSetLockClick = [&s] { s.UnlockSetBtnClick(); };
    fOutputPanel->OnOnOffClick = [&s] { s.OnOffBtnClick(); };
    fOutputPanel->OnResetCountersClick = [&s] { s.ResetCountersButtonClick(); };
    fPresetBar->OnClick = [this](int ATag) { ToolButtonClick(ATag); };
}

void TMainForm::WireConnection() {
    TSessionCore& s = *fSession;
    TConnectionPanel& c = *fConnectionPanel;
    c.OnPortSelect = [&s](int AIndex) { s.ComPortComboBoxSelect(AIndex); };
    c.OnBaudSelect = [&s](int AIndex) { s.BaudComboBoxSelect(AIndex); };
    c.OnAddressSelect = [&s](int AIndex) { s.SlaveAddrComboBoxSelect(AIndex); };
    c.OnIpChange = [&s](const QString& AText) { s.IpMaskEditChange(AText); };
    c.OnIpExit = [&s] { s.IpMaskEditExit(); };
    c.OnConnect = [&s] { s.ConnectBtnClick(); };
    c.OnDisconnect = [this, &s] {
        // A plan or sweep does not leave the output on behind a disconnect.
        if (fPlanWindow) fPlanWindow->BeforeDisconnect();
        s.DisconnectBtnClick();
    };
    c.OnAutoConnect = [&s](bool AOn) { s.AutoConnectSwitchClick(AOn); };
    c.OnFirmware = [this, &s] {
        TFirmwareDialog dialog(s, this);
        dialog.exec();
    };
    c.LinkFigures = [&s] { return s.LinkFigures(); };
}

void TMainForm::BuildEditIndicators() {
    TMemorySet& m = fSession->Memory();
    auto make = [](uint32_t AMin, uint32_t AMax, uint32_t ALen, uint32_t APoint, uint32_t* ACell,
                   const char* AUnit) {
        return std::make_unique<TIndicator>(AMin, AMax, ALen, APoint, ACell,
                                            QString::fromLatin1(AUnit));
    };
    fEdits[0] = make(10, 5100, 4, 3, &m.USET, "V");
    fEdits[1] = make(1, 2010, 4, 3, &m.ISET, "A");
    fEdits[2] = make(10, 5100, 4, 3, &m.SOVP, "V");
    fEdits[3] = make(1, 2020, 4, 3, &m.SOCP, "A");
    fEdits[4] = make(1, 9999, 4, 2, &m.SOPP, "W");
    fEdits[5] = make(1, 5999, 4, 3, &m.OTIM, "h");
    fEdits[5]->SetHoursMinutes(true);
    fEdits[6] = make(32, 300, 3, 1, fParams->OverHeatCell(), "C");
    fEdits[7] = make(1, 20, 2, 1, fParams->MaxMemoryCell(), "");
}

TIndicator* TMainForm::EditIndicator(int ATag) const {
    if (ATag < 0 || ATag >= static_cast<int>(fEdits.size())) return nullptr;
    return fEdits[static_cast<size_t>(ATag)].get();
}

void TMainForm::EditClick(TEditBox* ABox) {
    // Only while a supply is connected and its output is off.
    if (!ABox || !fEnterForm || !fSession->Connected() || fSession->PowerOn()) return;
    TIndicator* ind = EditIndicator(ABox->Tag());
    if (!ind) return;
    // The pop-up covers the edit box.
    fEnterForm->move(ABox->mapToGlobal(QPoint(1, 1)));
    fEnterForm->SetHint(ABox->Hint());
    fEnterForm->SetIndicator(ind);
    fEnterForm->Popup();
}
