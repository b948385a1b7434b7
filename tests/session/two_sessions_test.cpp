// Two sessions in one process, each on a virtual supply of its own model: ranges, refusals and
// value formats follow each session's own supply, also after one of them reconnects as another
// model while the other keeps running.

#include <gtest/gtest.h>

#include "session/preset_rules.h"
#include "session/range_checks.h"
#include "sim/sim_device.h"
#include "sim/sim_model.h"
#include "tests/session/preset_harness.h"

using presettest::TPresetSession;

namespace {

// What a session of one model shows and refuses.
struct TModelFacts {
    uint32_t model;
    uint32_t maxUset, maxIset, maxPower, currentDiv;
    uint32_t pointPos;  // of the current displays and editors
    QString setPower;   // for 10.00 V and a set current of 100 units
    QString confirm;    // long press on the selected preset at 10.00 V and 100 units
    QString ocpRefusal;
};

const TModelFacts k5015{.model = 5015,
                        .maxUset = 5100,
                        .maxIset = 1510,
                        .maxPower = 7750,
                        .currentDiv = 1,
                        .pointPos = 3,
                        .setPower = "Power 10.00 W",
                        .confirm = "Save M0 profile ?\rU set = 10.00 V\rI set =  1.00 A",
                        .ocpRefusal = "OCP must be 0.01 to 15.20 A"};
const TModelFacts k3005{.model = 3005,
                        .maxUset = 3100,
                        .maxIset = 5100,
                        .maxPower = 1500,
                        .currentDiv = 10,
                        .pointPos = 4,
                        .setPower = "Power 1.00 W",
                        .confirm = "Save M0 profile ?\rU set = 10.00 V\rI set = 0.100 A",
                        .ocpRefusal = "OCP must be 0.001 to 5.200 A"};
const TModelFacts k5005{.model = 5005,
                        .maxUset = 5100,
                        .maxIset = 5100,
                        .maxPower = 2652,
                        .currentDiv = 10,
                        .pointPos = 4,
                        .setPower = "Power 1.00 W",
                        .confirm = "Save M0 profile ?\rU set = 10.00 V\rI set = 0.100 A",
                        .ocpRefusal = "OCP must be 0.001 to 5.200 A"};

// Checks limits, editors, formats and refusals of a connected session against its model.
void ExpectFollows(TPresetSession& S, const TModelFacts& F) {
    SCOPED_TRACE("model " + std::to_string(F.model));
    TSessionCore& core = *S.h.core;
    ASSERT_TRUE(core.Connected());
    EXPECT_EQ(ModelName(core), "DPS" + QString::number(F.model));
    EXPECT_EQ(core.Limits().MaxUset, F.maxUset);
    EXPECT_EQ(core.Limits().MaxIset, F.maxIset);
    EXPECT_EQ(core.Limits().MaxPower, F.maxPower);
    EXPECT_EQ(core.Limits().CurrentDiv, F.currentDiv);

    // Knob ranges and the current display's decimals.
    EXPECT_EQ(S.h.view.maxUset, F.maxUset);
    EXPECT_EQ(S.h.view.maxIset, F.maxIset);
    EXPECT_EQ(S.h.view.maxPower, F.maxPower);
    EXPECT_EQ(S.h.view.currentDiv, F.currentDiv);
    EXPECT_EQ(S.h.view.currentPointPos, F.pointPos);
    // Preset editors: current editors in the model's unit, OCP up to ten units past the maximum.
    EXPECT_EQ(S.pv.editors.Max[peUset], F.maxUset);
    EXPECT_EQ(S.pv.editors.Max[peIset], F.maxIset);
    EXPECT_EQ(S.pv.editors.Max[peOcp], F.maxIset + 10 * F.currentDiv);
    EXPECT_EQ(S.pv.editors.Max[peOpp], F.maxPower);
    EXPECT_EQ(S.pv.editors.PointPos[peIset], F.pointPos);
    EXPECT_EQ(S.pv.editors.PointPos[peOcp], F.pointPos);
    EXPECT_EQ(S.presets->CheckValues(0, {.Ocp = F.maxIset + 10 * F.currentDiv}), "");
    EXPECT_EQ(S.presets->CheckValues(0, {.Ocp = F.maxIset + 10 * F.currentDiv + 1}), F.ocpRefusal);

    // The same knob positions mean the model's own units.
    core.U_KnobChange(1000);
    core.I_KnobChange(100);
    EXPECT_EQ(S.h.view.setPower, F.setPower);
    S.pv.confirmAnswer = false;
    S.pv.confirms.clear();
    S.presets->LongPress(static_cast<int>(core.Data().MEM));
    EXPECT_EQ(S.pv.confirms, QStringList{F.confirm});

    // Set points up to the model's highest are taken, one past it is refused.
    core.U_KnobChange(F.maxUset);
    core.I_KnobChange(F.maxIset);
    ASSERT_TRUE(S.h.WaitFor([&] {
        return S.h.supply->Register(simreg::USET) == F.maxUset &&
               S.h.supply->Register(simreg::ISET) == F.maxIset;
    }));
    core.U_KnobChange(F.maxUset + 1);
    core.I_KnobChange(F.maxIset + 1);
    core.UsetIndChange(F.maxUset + 1);
    core.IsetIndChange(F.maxIset + 1);
    EXPECT_EQ(core.Data().USET, F.maxUset);
    EXPECT_EQ(core.Data().ISET, F.maxIset);
    // A run's set points are clamped to the model's highest.
    core.SetPoints(10, 1);
    core.SetPoints(9999, 9999);
    EXPECT_EQ(core.Data().USET, F.maxUset);
    EXPECT_EQ(core.Data().ISET, F.maxIset);
    core.SetPoints(1000, 100);
    ASSERT_TRUE(S.h.WaitFor([&] {
        return S.h.supply->Register(simreg::USET) == 1000 &&
               S.h.supply->Register(simreg::ISET) == 100;
    }));
}

TEST(TwoSessions, EachFollowsItsOwnModelAlsoAfterTheOtherReconnectsAsAnotherModel) {
    TPresetSession a("ver_45", 5015);
    TPresetSession b("ver_45", 3005);
    // Before identification both have the start values.
    for (TPresetSession* s : {&a, &b}) {
        EXPECT_EQ(s->h.core->Limits().MaxUset, 5100u);
        EXPECT_EQ(s->h.core->Limits().MaxIset, 2010u);
        EXPECT_EQ(s->h.core->Limits().MaxPower, 9999u);
        EXPECT_EQ(s->h.core->Limits().CurrentDiv, 1u);
        EXPECT_EQ(s->h.core->Limits().ModelName, "DPS");
    }
    ASSERT_TRUE(a.Connect());
    ASSERT_TRUE(b.Connect());
    ExpectFollows(a, k5015);
    ExpectFollows(b, k3005);

    // A is moved to a 5005 (the 0.001 A unit) while B stays on its 3005.
    a.h.core->DisconnectBtnClick();
    ASSERT_TRUE(a.h.WaitFor([&] { return !a.h.core->Connected(); }));
    a.h.supply.reset();
    VirtualSupplyOptions opt;
    opt.identity.model = 5005;
    ASSERT_TRUE(SimApplyClassName("ver_45", opt.identity));
    ASSERT_TRUE(a.h.StartSupply(opt));
    a.pv.caption.clear();
    ASSERT_TRUE(a.Connect());
    ExpectFollows(a, k5005);
    ExpectFollows(b, k3005);

    // And B to a 5015 while A runs on.
    b.h.core->DisconnectBtnClick();
    ASSERT_TRUE(b.h.WaitFor([&] { return !b.h.core->Connected(); }));
    b.h.supply.reset();
    opt.identity.model = 5015;
    ASSERT_TRUE(b.h.StartSupply(opt));
    b.pv.caption.clear();
    ASSERT_TRUE(b.Connect());
    ExpectFollows(b, k5015);
    ExpectFollows(a, k5005);
}

}  // namespace
