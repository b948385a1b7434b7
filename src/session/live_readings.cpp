// Live readings: turning the replies of the polling and the slower reads into what the panel
// shows, and following the device when it switches its output off or releases its keys.

#include <algorithm>
#include <cstdlib>

#include "device/register_codec.h"
#include "session/session_core.h"
#include "session/value_format.h"

namespace {

QString ProtectionLabel(uint32_t ACode) {
    static const char* const kLabels[] = {"Error", "OVP", "OCP", "OPP", "TIM", "OHP",
                                          "BAT",   "END", "EVP", "ECP", "VIN", "EPR"};
    if (ACode < sizeof(kLabels) / sizeof(kLabels[0])) return kLabels[ACode];
    return "E" + QString::number(ACode);
}

}  // namespace

void TSessionCore::ReadDataReply(const TKRRegisters& r, uint32_t ARepetition) {
    // 1. Mismatch lamps: the reply's set values are compared, not stored. Below ver_43 smart
    //    tracking tolerates a difference of up to 9 units.
    const int64_t tolerance = (fModel.Version < ver_43 && fModel.SMART) ? 9 : 0;
    const bool uDiff = std::llabs(int64_t{r[0]} - int64_t{gData.USET}) > tolerance;
    const bool iDiff = std::llabs(int64_t{r[1]} - int64_t{gData.ISET}) > tolerance;
    fView.ShowMismatch(uDiff, iDiff);
    fReadUset = r[0];
    fReadIset = r[1];
    fReadTolerance = tolerance;

    // 2. Readings.
    gData.UOUT = r[2];
    gData.IOUT = r[3];
    gData.POWER = OutputPower(gData.UOUT, gData.IOUT, CurrentDiv());
    gData.UIN = r[5];
    gData.LOCK = r[6];
    gData.PROTECT = r[7];
    gData.CVCC = r[8];
    gData.ONOFF = r[9];

    // 3.-6.
    fPanel.KeysLockedVisible = gData.LOCK != 0;
    PushPanel();
    RefreshOutputs();
    RefreshInputVoltage();
    ApplyColors();
    RefreshProtection();

    // 7. Follow a switch-off at the device (protection trip, key press) once our own switch-on
    //    has been acknowledged, so a reading taken before the device applied it cannot undo it.
    if (fPowerOn && gData.ONOFF == 0 && fWriteOnOffAccepted) {
        fPowerOn = false;
        ApplyOutputState(false);
    }

    const int64_t takenAt = fWallClock() - fReplyAgeUs / 1000;
    fLastReading = {++fReadingCount, takenAt,   r[0],       r[1],          gData.UOUT, gData.IOUT,
                    gData.POWER,     gData.UIN, gData.LOCK, gData.PROTECT, gData.CVCC, gData.ONOFF};
    fHistory.Append({takenAt, static_cast<uint16_t>(gData.UOUT), static_cast<uint16_t>(gData.IOUT),
                     gData.POWER, static_cast<uint8_t>(std::min<uint32_t>(gData.PROTECT, 255)),
                     gData.ONOFF != 0, gData.CVCC == 1});
    emit LiveReading();

    // 8.
    fTaskMgr->PollCallback(ARepetition);

    // 9. Keys released at the device: remote control has ended (nothing is left to release).
    //    An observer never depended on the lock and reads on.
    if (gData.LOCK == 0) fOwnsKeyLock = false;
    if (gData.LOCK == 0 && !fObserver) {
        fTaskMgr->Stop();
        PostConnectionLost();
    }
}

bool TSessionCore::ReadingShowsSetValues(uint32_t AUset, uint32_t AIset) const {
    return std::llabs(int64_t{fReadUset} - int64_t{AUset}) <= fReadTolerance &&
           std::llabs(int64_t{fReadIset} - int64_t{AIset}) <= fReadTolerance;
}

void TSessionCore::ReadSetDataReply(const TKRRegisters& r) {
    gData.USET = r[0];
    gData.ISET = r[1];
    SetValueRefresh();
    fTaskMgr->Callback();
}

void TSessionCore::TemperatureReply(const TKRRegisters& r) {
    gData.TMP = r[0];
    RefreshTemperature();
    fTaskMgr->Callback();
}

void TSessionCore::CountersReply(const TKRRegisters& r) {
    gData.TIME_L = r[0];
    gData.TIME_H = r[1];
    gData.MEM = StoredMemNum(r[2]);
    gData.AHCNT_L = r[3];
    gData.AHCNT_H = r[4];
    gData.WHCNT_L = r[5];
    gData.WHCNT_H = r[6];
    MemNumRead();

    // A device value of 0 leaves the program's own counter as it is.
    const uint32_t time = TimeCounter(gData);
    if (time != 0) {
        fTimePowerStart = fClock.TickCount();
        fTime = time;
        fTimePrevious = time;
    }
    const uint32_t charge = ChargeCounter(gData);
    if (charge != 0) {
        fAHCounter = charge;
        fAHCounter64 = uint64_t{charge} << 32;
    }
    const uint32_t energy = EnergyCounter(gData);
    if (energy != 0) {
        fWHCounter = energy;
        fWHCounter64 = uint64_t{energy} << 32;
    }
    RepaintCounters();
    fTaskMgr->Callback();
}

void TSessionCore::MemNumRead() {
    fPanel.MemoryButtonDown = gData.MEM;
    // The voltage set indicator is editable only for M presets.
    fPanel.UsetIndEnabled = fConnected && !fPowerOn && gData.MEM < 10;
    PushPanel();
    if (fOnMemNumRead) fOnMemNumRead(gData.MEM);
}

void TSessionCore::SetValueRefresh() {
    fPrevUset = gData.USET;
    fPrevIset = gData.ISET;
    fView.ShowSetValues(gData.USET, gData.ISET);
    RefreshSetPower();
}

void TSessionCore::RefreshSetPower() {
    const uint32_t power = OutputPower(gData.USET, gData.ISET, CurrentDiv());
    fView.ShowSetPower("Power " + FormatFixedPoint(power, 3) + " W");
}

void TSessionCore::RefreshOutputs() {
    fView.ShowOutput(gData.UOUT, gData.IOUT, gData.POWER);
}

void TSessionCore::RefreshInputVoltage() {
    // Formatted again only when the value changed: this runs for every reading.
    if (gData.UIN != fInputVoltageText.Value || fInputVoltageText.Text.isEmpty())
        fInputVoltageText = {gData.UIN, "VIN " + FormatFixedPoint(gData.UIN, 3) + " V"};
    fView.ShowInputVoltage(fInputVoltageText.Text);
}

void TSessionCore::RefreshProtection() {
    if (gData.PROTECT != fProtectionText.Value || fProtectionText.Text.isEmpty())
        fProtectionText = {gData.PROTECT, ProtectionLabel(gData.PROTECT)};
    fView.ShowProtection(gData.PROTECT != 0, fProtectionText.Text);
}

void TSessionCore::RefreshTemperature() {
    fPanel.TemperatureFahrenheit = fModel.CF;
    PushPanel();
    if (fModel.CF)
        fView.ShowTemperature("T " + QString::number(gData.TMP * 9 / 5 + 32) + "F");
    else
        fView.ShowTemperature("T " + QString::number(gData.TMP) + "C");
}

void TSessionCore::ApplyColors() {
    if (gData.ONOFF != 0) {
        const bool cc = gData.CVCC == 1;
        ApplySetColor(fCLR1);
        ApplyOutColor(cc ? fCLR3 : fCLR2);
        fView.ShowRegulation(gData.CVCC == 0, cc);
    } else {
        ApplySetColor(fCLR1);
        ApplyOutColor(fCLR1);
        fView.ShowRegulation(false, false);
    }
}

void TSessionCore::ApplySetColor(TColor AColor) {
    if (AColor == fSetColor_) return;
    fSetColor_ = AColor;
    fView.ShowSetColor(AColor);
}

void TSessionCore::ApplyOutColor(TColor AColor) {
    if (AColor == fOutColor_) return;
    fOutColor_ = AColor;
    fView.ShowOutColor(AColor);
}

void TSessionCore::RepaintSetColors() {
    fSetColor_ = fCLR1;
    fOutColor_ = fCLR1;
    fView.ShowSetColor(fCLR1);
    fView.ShowOutColor(fCLR1);
}

void TSessionCore::SetDeviceColors(TColor AClr1, TColor AClr2, TColor AClr3) {
    fCLR1 = AClr1;
    fCLR2 = AClr2;
    fCLR3 = AClr3;
}

TColor TSessionCore::SetColorCLR(int AIndex) const {
    switch (AIndex) {
        case 0:
            return fCLR0;
        case 1:
            return fCLR1;
        case 2:
            return fCLR2;
        default:
            return fCLR3;
    }
}
