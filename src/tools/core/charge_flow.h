#pragma once
// A charge ends as charged only once its current has flowed: with no cell or an open contact the
// current is 0 from the start, which the taper condition would take for a full cell. Until the
// current has risen above the termination current the readings do not count towards the plan;
// without it for kNoCurrentMs after the output came on, the charge fails. The command line and
// the Plans window both watch a charge with it.

#include <QString>
#include <cstdint>

struct TCurrentSet;

class TChargeFlowGuard {
public:
    enum class TVerdict {
        Counts,     // the reading goes to the plan
        Held,       // not yet: the current has not flowed
        NoCurrent,  // it never flowed: the charge fails with Failure()
    };
    static constexpr uint32_t kNoCurrentMs = 10000;

    // ATerminationMa in mA, ACurrentDiv the model's current unit (1: 0.01 A, 10: 0.001 A).
    TChargeFlowGuard(uint32_t ATerminationMa, uint32_t ACurrentDiv);

    // AOutputSeen: the plan's output is confirmed on; ANowMs a tick count.
    TVerdict Reading(const TCurrentSet& AData, bool AOutputSeen, uint32_t ANowMs);
    // "no charge current: it stayed at 0.000 A, not above the termination current of ..."
    QString Failure() const;

private:
    QString Amperes(uint32_t AMilliamps) const;

    uint32_t fTerminationMa;
    uint32_t fCurrentDiv;
    bool fFlowing = false;  // the charge current has risen above the termination
    bool fWaiting = false;  // the output is on and no current has flowed yet
    uint32_t fOnAt = 0;
    uint32_t fLastMa = 0;
};
