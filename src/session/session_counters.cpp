// The program's own time, charge and energy counters and the 100 ms session tick.

#include "session/session_core.h"

namespace {

// Charge and energy show two decimals below 100000 and, from there, thousands with one decimal
// (123456, that is 1234.56 Ah, shows 1.2 kAh).
TCounterDisplay CounterDisplay(uint32_t AValue, const char* ASmall, const char* ALarge) {
    if (AValue < 100000) return {AValue, 3, ASmall};
    return {AValue / 10000, 2, ALarge};
}

}  // namespace

void TSessionCore::ResetCounters() {
    fTimePowerStart = fClock.TickCount();
    fTimePrevious = 0;
    fTime = 0;
    fAHCounter = 0;
    fWHCounter = 0;
    fAHCounter64 = 0;
    fWHCounter64 = 0;
}

void TSessionCore::RepaintTime() {
    fView.ShowTime(fTime, fTime < 360000 ? "S" : "h");
}

void TSessionCore::RepaintCounters() {
    RepaintTime();
    fView.ShowCharge(CounterDisplay(fAHCounter, " Ah", "kAh"));
    fView.ShowEnergy(CounterDisplay(fWHCounter, " Wh", "kWh"));
}

void TSessionCore::AdvanceCounters() {
    const uint32_t prev = fTime;
    fTime = (fClock.TickCount() - fTimePowerStart) / 1000 + fTimePrevious;
    RepaintTime();
    // Charge and energy grow only when exactly one more second has been completed: the
    // accumulators hold 32 fractional bits so sub-unit amounts add up over the seconds. A
    // second skipped by a late tick adds nothing.
    if (fTime != prev + 1) return;
    const uint64_t div = CurrentDiv() == 0 ? 1 : CurrentDiv();
    fAHCounter64 += (uint64_t{gData.IOUT} << 32) / (div * 3600);
    const uint32_t va = gData.UOUT * gData.IOUT;  // 32-bit product
    fWHCounter64 += (uint64_t{va} << 32) / (div * 360000);
    fAHCounter = static_cast<uint32_t>(fAHCounter64 >> 32);
    fWHCounter = static_cast<uint32_t>(fWHCounter64 >> 32);
    fView.ShowCharge(CounterDisplay(fAHCounter, " Ah", "kAh"));
    fView.ShowEnergy(CounterDisplay(fWHCounter, " Wh", "kWh"));
}

void TSessionCore::ChargeBar() {
    // Visible only while a charge profile C0 to C9 is selected.
    if (gData.MEM < 10) {
        if (fChargeBarVisible) fView.ShowChargeBar(false, 0, QString());
        fChargeBarVisible = false;
        return;
    }
    const uint32_t uset = gData.USET;
    const uint32_t uout = gData.UOUT;
    int percent = 0;
    if (uset < uout) {
        percent = 100;
    } else {
        const uint32_t c = uset * 300 / 420;  // a cell taken as empty at 3.0 of 4.2 V
        // USET = c only when USET is 0; the bar then stays empty instead of dividing by zero.
        if (uout >= c && uset > c) percent = static_cast<int>((uout - c) * 100 / (uset - c));
    }
    fChargeBarVisible = true;
    fView.ShowChargeBar(true, percent,
                        "Charge Lithium Battery " + QString::number(gData.MEM - 9) + " Cell(s)");
}

void TSessionCore::VinWarning() {
    // Blinks while the input leaves less than 1.00 V above the set voltage.
    bool lit = fVinLampLit;
    if (fVinErrorCount > 0) {
        --fVinErrorCount;
        lit = fVinErrorCount > 4;
    } else if (gData.UIN < gData.USET + 100) {
        fVinErrorCount = 10;
    }
    if (lit != fVinLampLit) {
        fVinLampLit = lit;
        fView.ShowVinWarning(lit);
    }
}

void TSessionCore::SessionTick() {
    if (fPowerOn) AdvanceCounters();
    ChargeBar();
    if (fPowerOn) fView.SampleLog();
    if (fModel.Temp && ++fTemperatureTimerCount >= fTimings.TemperatureTicks) {
        fTaskMgr->ReadTemperature();
        fTemperatureTimerCount = 0;
    }
    if (fModel.Counters && ++fCountersTimerCount >= fTimings.CountersTicks) {
        fTaskMgr->ReadMemNumAndCounters();
        fCountersTimerCount = 0;
    }
    if (fView.AllSidePanelsCollapsed()) {
        if (++fAutoexpandCounter >= 5) {
            PostAutoExpand();
            fAutoexpandCounter = 0;
        }
    } else {
        fAutoexpandCounter = 0;
    }
    VinWarning();
    fView.SampleOscilloscope();
}
