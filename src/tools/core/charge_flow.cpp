#include "tools/core/charge_flow.h"

#include "device/device_records.h"

TChargeFlowGuard::TChargeFlowGuard(uint32_t ATerminationMa, uint32_t ACurrentDiv)
    : fTerminationMa(ATerminationMa), fCurrentDiv(ACurrentDiv) {}

TChargeFlowGuard::TVerdict TChargeFlowGuard::Reading(const TCurrentSet& AData, bool AOutputSeen,
                                                     uint32_t ANowMs) {
    if (fFlowing || AData.ONOFF == 0 || !AOutputSeen) return TVerdict::Counts;
    fLastMa = fCurrentDiv == 10 ? AData.IOUT : AData.IOUT * 10;
    if (fLastMa > fTerminationMa) {
        fFlowing = true;
        return TVerdict::Counts;
    }
    if (!fWaiting) {
        fWaiting = true;
        fOnAt = ANowMs;
    }
    return ANowMs - fOnAt >= kNoCurrentMs ? TVerdict::NoCurrent : TVerdict::Held;
}

QString TChargeFlowGuard::Failure() const {
    return "no charge current: it stayed at " + Amperes(fLastMa) +
           " A, not above the termination current of " + Amperes(fTerminationMa) + " A, for " +
           QString::number(kNoCurrentMs / 1000) +
           " s; is a cell connected, are the contacts closed?";
}

QString TChargeFlowGuard::Amperes(uint32_t AMilliamps) const {
    return QString::number(AMilliamps / 1000.0, 'f', fCurrentDiv == 10 ? 3 : 2);
}
