#include "tools/core/run_protections.h"

#include <algorithm>

#include "device/register_codec.h"
#include "device/register_map.h"
#include "session/preset_rules.h"
#include "session/presets.h"
#include "session/range_checks.h"
#include "session/session_core.h"
#include "tools/core/charge_plan.h"

TProtectionLevels ChargeProtections(const TChargePlan& APlan, const TModelLimits& ALimits) {
    return {
        std::min(APlan.OvpCentivolts, EditorRange(peOvp, ALimits).Max),
        std::min(IsetOf(APlan.OcpMilliamps, ALimits.CurrentDiv), EditorRange(peOcp, ALimits).Max)};
}

TRunProtections::TRunProtections(TSessionCore& ACore, TPresetLogic& APresets)
    : fCore(ACore), fPresets(APresets) {}

TRunProtections::~TRunProtections() {
    *fAlive = false;
}

QString TRunProtections::Raise(const TProtectionLevels& ALevels, TRaised ADone) {
    fMemory = fCore.Data().MEM;
    fRaised = ALevels;
    std::weak_ptr<bool> alive = fAlive;
    return fPresets.ReadBlock(fMemory, [this, alive, done = std::move(ADone)](
                                           bool AOk, const TMemorySet& ABlock) {
        if (alive.expired()) return;
        if (!AOk) {
            done(TRaiseResult::NotRead, "the preset " + PresetName(fMemory) + " could not be read");
            return;
        }
        fOld = {ABlock.SOVP, ABlock.SOCP};
        TPresetValues values;
        values.Ovp = fRaised.Ovp;
        values.Ocp = fRaised.Ocp;
        // From here on the old levels are owed back, whether or not the store gets through.
        fOwed = true;
        const QString why = fPresets.SaveBlock(
            fMemory, values, [this, alive, done](bool AOk, const TMemorySet& AB) {
                if (alive.expired()) return;
                if (AOk && AB.SOVP == fRaised.Ovp && AB.SOCP == fRaised.Ocp)
                    done(TRaiseResult::Raised, {});
                else
                    done(TRaiseResult::NotTaken,
                         QStringLiteral("the supply did not take the protections for the run"));
            });
        if (!why.isEmpty()) done(TRaiseResult::Invalid, why);
    });
}

std::vector<TRegisterWrite> TRunProtections::RestoreWrites() const {
    if (!fOwed) return {};
    const uint16_t base = MemoryBlockStart(static_cast<uint16_t>(fMemory));
    std::vector<TRegisterWrite> writes{
        {static_cast<uint16_t>(base + hreg::P_SOVP),
         {static_cast<uint16_t>(fOld.Ovp), static_cast<uint16_t>(fOld.Ocp)}}};
    if (fCore.Model().Version >= ver_43) writes.push_back({hreg::CMD, {kCmdPresetSaved}});
    return writes;
}

bool TRunProtections::Restore(std::function<void(const QString&)> ADone) {
    if (!fOwed) return false;
    TPresetValues values;
    values.Ovp = fOld.Ovp;
    values.Ocp = fOld.Ocp;
    std::weak_ptr<bool> alive = fAlive;
    const QString why = fPresets.SaveBlock(
        fMemory, values, [this, alive, done = std::move(ADone)](bool AOk, const TMemorySet& AB) {
            if (alive.expired()) return;
            const bool back = AOk && AB.SOVP == fOld.Ovp && AB.SOCP == fOld.Ocp;
            if (back) fOwed = false;
            if (done) done(back ? QString() : QStringLiteral("the supply did not confirm them"));
        });
    if (!why.isEmpty() && ADone) ADone(why);
    return true;
}
