#include "tools/core/charge_plan.h"

#include <algorithm>
#include <array>

namespace {

// The usual values of each chemistry: charge voltage per cell, charge current and termination
// current as shares of the capacity C (per mille).
struct TChemistry {
    const char* Name;
    uint32_t CellCentivolts;
    uint32_t CurrentPerMille;
    uint32_t TerminationPerMille;
};
constexpr std::array<TChemistry, 4> kChemistries{{
    {"li-ion", 420, 500, 100},    // 4.20 V, C/2, C/10
    {"lifepo4", 365, 500, 50},    // 3.65 V, C/2, C/20
    {"lead-acid", 240, 100, 20},  // 2.40 V absorption, C/10, C/50
    {"nimh", 150, 100, 20},       // 1.50 V ceiling, C/10 (standard charge), C/50
}};

// mA rounded to the model's current unit (at least one unit).
uint32_t ToUnit(uint32_t AMilliamps, uint32_t ACurrentDiv) {
    if (ACurrentDiv == 10) return std::max<uint32_t>(AMilliamps, 1);
    return std::max<uint32_t>((AMilliamps + 5) / 10 * 10, 10);
}

QString Fixed(uint32_t AValue, int ADecimals) {
    double scale = 1;
    for (int i = 0; i < ADecimals; ++i)
        scale *= 10;
    return QString::number(AValue / scale, 'f', ADecimals);
}

QString Amps(uint32_t AMilliamps, uint32_t ACurrentDiv) {
    return ACurrentDiv == 10 ? Fixed(AMilliamps, 3) : Fixed(AMilliamps / 10, 2);
}

QString Hours(uint32_t ASeconds) {
    return QString("%1:%2:%3")
        .arg(ASeconds / 3600)
        .arg(ASeconds / 60 % 60, 2, 10, QChar('0'))
        .arg(ASeconds % 60, 2, 10, QChar('0'));
}

}  // namespace

const QStringList& ChargeChemistries() {
    static const QStringList names = [] {
        QStringList n;
        for (const TChemistry& c : kChemistries)
            n << c.Name;
        return n;
    }();
    return names;
}

TChargePlan MakeChargePlan(const TChargeSettings& ASettings, uint32_t ACurrentDiv) {
    TChargePlan plan;
    const auto chem =
        std::find_if(kChemistries.begin(), kChemistries.end(),
                     [&](const TChemistry& c) { return ASettings.Chemistry == c.Name; });
    if (chem == kChemistries.end()) {
        plan.Error = "unknown chemistry " + ASettings.Chemistry;
        return plan;
    }
    if (ASettings.Cells == 0 || ASettings.CapacityMah == 0) {
        plan.Error = "no cells or no capacity";
        return plan;
    }
    const uint64_t capacity = ASettings.CapacityMah;
    plan.Centivolts = chem->CellCentivolts * ASettings.Cells;
    plan.Milliamps =
        ToUnit(ASettings.Milliamps ? ASettings.Milliamps
                                   : static_cast<uint32_t>(capacity * chem->CurrentPerMille / 1000),
               ACurrentDiv);
    plan.TerminationMa =
        ToUnit(ASettings.TerminationMa
                   ? ASettings.TerminationMa
                   : static_cast<uint32_t>(capacity * chem->TerminationPerMille / 1000),
               ACurrentDiv);
    if (plan.TerminationMa >= plan.Milliamps) {
        plan.Error = "the termination current (" + Amps(plan.TerminationMa, ACurrentDiv) +
                     " A) must be below the charge current (" + Amps(plan.Milliamps, ACurrentDiv) +
                     " A)";
        return plan;
    }
    // Half as long again as the capacity takes at the charge current, plus an hour for the
    // constant-voltage part.
    const uint64_t seconds = capacity * 3600 * 3 / 2 / plan.Milliamps + 3600;
    plan.MaxSeconds = static_cast<uint32_t>(std::min<uint64_t>(seconds, kMaxPlanStepSeconds));

    TPlanStep step;
    step.Centivolts = plan.Centivolts;
    step.Milliamps = plan.Milliamps;
    step.MaxSeconds = plan.MaxSeconds;
    step.Until.push_back({TPlanCondKind::CurrentAtMost, plan.TerminationMa, false});
    if (QString(chem->Name) == "nimh")
        step.Until.push_back(
            {TPlanCondKind::ChargeAtLeast, static_cast<uint32_t>(capacity * 16 / 10), false});
    plan.Plan.Steps.push_back(step);

    // 5 % above the voltage and 10 % above the current, each rounded up to the supply's step
    // (so always at least one step above).
    const uint32_t unit = ACurrentDiv == 10 ? 1 : 10;
    plan.OvpCentivolts = plan.Centivolts + std::max<uint32_t>((plan.Centivolts + 19) / 20, 1);
    plan.OcpMilliamps =
        plan.Milliamps +
        std::max<uint32_t>((plan.Milliamps + 10 * unit - 1) / (10 * unit), 1) * unit;
    return plan;
}

QString ChargePlanText(const TChargeSettings& ASettings, const TChargePlan& APlan,
                       uint32_t ACurrentDiv) {
    const QString volts = Fixed(APlan.Centivolts, 2) + " V";
    return ASettings.Chemistry + ", " + QString::number(ASettings.Cells) +
           (ASettings.Cells == 1 ? " cell, " : " cells, ") + Fixed(ASettings.CapacityMah, 3) +
           " Ah: " + Amps(APlan.Milliamps, ACurrentDiv) + " A up to " + volts + ", then " + volts +
           " until the current falls to " + Amps(APlan.TerminationMa, ACurrentDiv) + " A" +
           (APlan.Plan.Steps[0].Until.size() > 1
                ? " or " + Fixed(APlan.Plan.Steps[0].Until[1].Value, 3) + " Ah went in"
                : QString()) +
           "; at most " + Hours(APlan.MaxSeconds);
}
