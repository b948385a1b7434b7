#include "tools/core/setting_confirm.h"

#include "session/session_core.h"

TSettingConfirm::TSettingConfirm(TSessionCore& ACore, std::function<int()> ATimeouts)
    : fCore(ACore), fTimeouts(std::move(ATimeouts)) {}

void TSettingConfirm::Start(TStep AStep, TEnd AEnd) {
    fStep = AStep;
    fEnd = std::move(AEnd);
    fTimeoutsBefore = fTimeouts();
}

void TSettingConfirm::SetPoints(std::optional<uint32_t> AU, std::optional<uint32_t> AI, TEnd AEnd) {
    fWantU = AU;
    fWantI = AI;
    Start(sWrite, std::move(AEnd));
    if (AU) fCore.UsetIndChange(*AU);
    if (AI) fCore.IsetIndChange(*AI);
}

void TSettingConfirm::Switch(bool AOn, TEnd AEnd) {
    fWantOn = AOn;
    Start(sSwitch, std::move(AEnd));
    // The button toggles the program's view of the output; should that view already be the
    // wanted state, toggle twice so that the job writes the wanted state.
    if (fCore.PowerOn() == AOn) fCore.OnOffBtnClick();
    fCore.OnOffBtnClick();
}

void TSettingConfirm::Cancel() {
    fStep = sNone;
    fEnd = nullptr;
}

void TSettingConfirm::JobServed(TSettingJob AJob) {
    if (AJob == TSettingJob::WriteSetData && fStep == sWrite) {
        // Served after the write's reply, so it reads what the supply took.
        fStep = sReadRequested;
        fCore.TaskMgr().ReadSetData();
    } else if (AJob == TSettingJob::ReadSetData && fStep == sReadRequested) {
        fStep = sRead;
    } else if (AJob == TSettingJob::WriteOnOff && fStep == sSwitch) {
        // The next reading is taken after the write's reply.
        fStep = sSwitchConfirm;
    }
}

void TSettingConfirm::SetValuesShown() {
    if (fStep != sRead) return;
    const TCurrentSet& d = fCore.Data();
    End((!fWantU || d.USET == *fWantU) && (!fWantI || d.ISET == *fWantI));
}

void TSettingConfirm::LiveReading() {
    if (fStep == sSwitchConfirm) End((fCore.Data().ONOFF != 0) == fWantOn);
}

void TSettingConfirm::End(bool ATook) {
    const TOutcome outcome = ATook                           ? TOutcome::Done
                             : fTimeouts() > fTimeoutsBefore ? TOutcome::NoReply
                                                             : TOutcome::NotTaken;
    TEnd end = std::move(fEnd);
    Cancel();
    if (end) end(outcome);
}
