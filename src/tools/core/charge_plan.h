#pragma once
// The plan that charges a battery: constant current up to the chemistry's charge voltage, then
// constant voltage until the current tapers to the termination value (NiMH, which has no taper
// of its own, also ends once 160 % of its capacity went in); the maximum time follows from the
// capacity and the current. Also the protection levels a charge runs under: 5 % above the plan's
// voltage and 10 % above its current, rounded up to the supply's step.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "tools/core/plan.h"

// The chemistries, in the order of the help: li-ion, lifepo4, lead-acid, nimh.
const QStringList& ChargeChemistries();

struct TChargeSettings {
    QString Chemistry;
    uint32_t Cells = 1;
    uint32_t CapacityMah = 0;    // mAh
    uint32_t Milliamps = 0;      // charge current; 0: the chemistry's usual share of C
    uint32_t TerminationMa = 0;  // 0: the chemistry's usual share of C
};

struct TChargePlan {
    TPlan Plan;                  // one step
    uint32_t Centivolts = 0;     // charge voltage of the battery
    uint32_t Milliamps = 0;      // in the model's unit, rounded
    uint32_t TerminationMa = 0;  // in the model's unit, rounded
    uint32_t MaxSeconds = 0;
    uint32_t OvpCentivolts = 0;  // protections for the run (uncapped; the caller caps them)
    uint32_t OcpMilliamps = 0;
    QString Error;  // why no plan can be made (an unknown chemistry, termination not below)
};

// The plan for a model with current unit ACurrentDiv (1: 0.01 A, 10: 0.001 A).
TChargePlan MakeChargePlan(const TChargeSettings& ASettings, uint32_t ACurrentDiv);
// "li-ion, 1 cell, 2.000 Ah: 1.000 A up to 4.20 V, then 4.20 V until the current falls to
// 0.200 A; at most 4:00:00" (currents with the model's decimals).
QString ChargePlanText(const TChargeSettings& ASettings, const TChargePlan& APlan,
                       uint32_t ACurrentDiv);
