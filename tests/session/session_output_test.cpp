// Set points, switching, regulation mode, protection and the readings of a running session.

#include <gtest/gtest.h>

#include "sim/sim_device.h"
#include "tests/session/session_harness.h"

using sessiontest::TSessionHarness;

namespace {

bool HasWriteTo(VirtualSupply& ASupply, uint16_t AReg) {
    for (const SimWrite& w : ASupply.Writes())
        if (w.start <= AReg && AReg < w.start + w.values.size()) return true;
    return false;
}

class SessionOutput : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(h.StartSupply(options));
        ASSERT_TRUE(h.ConnectTcp());
        ASSERT_TRUE(h.WaitPolls(5));
    }
    VirtualSupplyOptions options;
    TSessionHarness h;
};

TEST_F(SessionOutput, KnobsWriteTheLatestPairToTheSupply) {
    h.core->U_KnobChange(1234);
    h.core->U_KnobChange(1250);
    h.core->I_KnobChange(250);
    EXPECT_EQ(h.view.uset, 1250u);
    EXPECT_EQ(h.view.iset, 250u);
    EXPECT_EQ(h.view.setPower, "Power 31.25 W");  // 12.50 V x 2.50 A
    ASSERT_TRUE(h.WaitFor([&] {
        return h.supply->Register(simreg::USET) == 1250 && h.supply->Register(simreg::ISET) == 250;
    }));
    // Out-of-range positions are refused.
    h.core->U_KnobChange(9);
    h.core->U_KnobChange(5101);
    EXPECT_EQ(h.core->Data().USET, 1250u);
}

TEST_F(SessionOutput, KnobTurnedAwayAndBackWritesNothing) {
    const uint32_t uset = h.core->Data().USET;
    h.supply->ClearWrites();
    h.core->U_KnobChange(uset + 50);
    h.core->U_KnobChange(uset);
    ASSERT_TRUE(h.WaitPolls(10));
    EXPECT_FALSE(HasWriteTo(*h.supply, simreg::USET));
    // The unchanged pair completed at once: no time-out was flagged.
    EXPECT_FALSE(h.view.traffic.Red);
}

TEST_F(SessionOutput, SwitchOnShowsConstantVoltageThenConstantCurrent) {
    h.core->U_KnobChange(500);  // 5.00 V
    h.core->I_KnobChange(100);  // 1.00 A; 10 ohm draws 0.5 A
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::USET) == 500; }));
    h.core->OnOffBtnClick();
    EXPECT_TRUE(h.core->PowerOn());
    EXPECT_TRUE(h.view.panel.OnOffShowsOn);
    EXPECT_FALSE(h.view.panel.KnobsEnabled);
    EXPECT_EQ(h.view.panel.SetLockCaption, "Unlock SET");
    EXPECT_TRUE(h.view.panel.SetLockEnabled);
    ASSERT_TRUE(h.WaitFor([&] { return h.view.cv; }));
    EXPECT_TRUE(h.core->WriteOnOffAccepted());
    EXPECT_FALSE(h.view.cc);
    EXPECT_EQ(h.view.outColor, h.core->SetColorCLR(2));
    EXPECT_EQ(h.view.uout, 500u);
    EXPECT_EQ(h.view.iout, 50u);
    EXPECT_EQ(h.view.power, 250u);  // 2.50 W

    h.supply->SetLoad(1.0);  // would draw 5 A: limited to 1 A
    ASSERT_TRUE(h.WaitFor([&] { return h.view.cc; }));
    EXPECT_FALSE(h.view.cv);
    EXPECT_EQ(h.view.outColor, h.core->SetColorCLR(3));
    EXPECT_EQ(h.view.iout, 100u);

    // Knobs can be unlocked while the output is on.
    h.core->UnlockSetBtnClick();
    EXPECT_TRUE(h.view.panel.KnobsEnabled);
    EXPECT_EQ(h.view.panel.SetLockCaption, "Lock SET");

    h.core->OnOffBtnClick();
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::ONOFF) == 0; }));
    ASSERT_TRUE(h.WaitFor([&] { return !h.view.cv && !h.view.cc; }));
    EXPECT_EQ(h.view.outColor, h.core->SetColorCLR(1));
    EXPECT_TRUE(h.view.panel.KnobsEnabled);
    EXPECT_FALSE(h.view.panel.SetLockEnabled);
}

TEST_F(SessionOutput, ProtectionTripIsFollowedBySwitchOff) {
    h.core->OnOffBtnClick();
    ASSERT_TRUE(h.WaitFor([&] { return h.core->WriteOnOffAccepted() && h.view.cv; }));
    h.supply->TripProtection(simProtOVP);
    ASSERT_TRUE(h.WaitFor([&] { return !h.core->PowerOn(); }));
    EXPECT_TRUE(h.view.protectionLit);
    EXPECT_EQ(h.view.protectionLabel, "OVP");
    EXPECT_FALSE(h.view.panel.OnOffShowsOn);
    EXPECT_TRUE(h.view.panel.KnobsEnabled);
    EXPECT_FALSE(h.view.cv);
    EXPECT_TRUE(h.core->Connected());

    // Switched on again while a poll sent before the click is on its way: its reading (output
    // still off) must not undo the click.
    TLN_TaskMgr& tasks = h.core->TaskMgr();
    const TTaskNotifyEvent poll = tasks.fOnReadData;
    bool armed = true;
    tasks.fOnReadData = [&](TLN_TaskMgr* ASender) {
        poll(ASender);
        if (!armed) return;
        armed = false;
        h.core->OnOffBtnClick();
    };
    ASSERT_TRUE(h.WaitFor([&] { return !armed; }));
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::ONOFF) == 1 && h.view.cv; }));
    EXPECT_TRUE(h.core->PowerOn());
    tasks.fOnReadData = poll;
}

TEST_F(SessionOutput, MismatchLampsShowSetValuesChangedAtTheDevice) {
    ASSERT_TRUE(h.WaitPolls(2));
    EXPECT_FALSE(h.view.mismatchU);
    h.supply->SetRegister(simreg::ISET, static_cast<uint16_t>(h.core->Data().ISET + 1));
    ASSERT_TRUE(h.WaitFor([&] { return h.view.mismatchI; }));
    EXPECT_FALSE(h.view.mismatchU);
}

TEST_F(SessionOutput, CounterResetSendsTheDeviceCommand) {
    h.supply->ClearWrites();
    h.core->ResetCountersButtonClick();
    ASSERT_TRUE(h.WaitFor([&] { return HasWriteTo(*h.supply, simreg::CMD); }));
    bool sawReset = false;
    for (const SimWrite& w : h.supply->Writes())
        if (w.start == simreg::CMD && w.values == std::vector<uint16_t>{4}) sawReset = true;
    EXPECT_TRUE(sawReset);
    EXPECT_EQ(h.view.timeSeconds, 0u);
    EXPECT_EQ(h.view.charge, (TCounterDisplay{0, 3, " Ah"}));
}

TEST_F(SessionOutput, OnOffIgnoredWithoutSession) {
    h.core->DisconnectBtnClick();
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::LOCK) == 0; }, 500));
    h.supply->ClearWrites();
    h.core->OnOffBtnClick();
    EXPECT_FALSE(h.core->PowerOn());
    testsupport::ProcessFor(30);
    EXPECT_TRUE(h.supply->Writes().empty());
}

TEST_F(SessionOutput, LowInputVoltageBlinksTheWarningLamp) {
    h.core->U_KnobChange(1200);
    h.supply->SetInputVoltage(12.5);  // less than 1 V above the set voltage
    // Lamp on for five ticks, off for five (plus the re-arming tick).
    ASSERT_TRUE(h.WaitFor([&] { return h.view.vinWarningChanges >= 3; }, 2000));
    h.supply->SetInputVoltage(24.0);
    testsupport::ProcessFor(300);
    EXPECT_FALSE(h.view.vinWarning);
}

TEST_F(SessionOutput, AllPanelsCollapsedExpandsTheConnectionPanel) {
    h.view.allCollapsed = true;
    ASSERT_TRUE(h.WaitFor([&] { return h.view.expandRequests > 0; }, 1000));
    EXPECT_GT(h.view.oscilloscopeSamples, 4);
}

}  // namespace

TEST(SessionSmartTracking, BelowVer43ADifferenceOfUpToNineLightsNothing) {
    // Smart tracking on a ver_42 unit: the device's set voltage may run up to 9 units from the
    // program's without the mismatch lamp; ver_43 and later flag any difference.
    for (const char* cls : {"ver_42", "ver_43"}) {
        SCOPED_TRACE(cls);
        TSessionHarness h;
        VirtualSupplyOptions opt;
        ASSERT_TRUE(SimApplyClassName(cls, opt.identity));
        ASSERT_TRUE(h.StartSupply(opt));
        h.supply->SetRegister(simreg::PARAM, 4);  // smart tracking
        ASSERT_TRUE(h.ConnectTcp());
        ASSERT_TRUE(h.WaitFor([&] { return h.core->Model().SMART; }));
        const uint16_t uset = static_cast<uint16_t>(h.core->Data().USET);
        h.supply->SetRegister(simreg::USET, uset + 1);
        if (std::string(cls) == "ver_42") {
            ASSERT_TRUE(h.WaitPolls(8));
            EXPECT_FALSE(h.view.mismatchU);
            h.supply->SetRegister(simreg::USET, uset + 10);
        }
        EXPECT_TRUE(h.WaitFor([&] { return h.view.mismatchU; }));
    }
}
