// The simulated unit without any transport: output model (CV/CC, input headroom), protections,
// counters on the injected time, presets, global block per firmware class, commands and
// calibration.

#include <gtest/gtest.h>

#include "sim/sim_device.h"

using namespace simreg;

namespace {

constexpr uint32_t kT0 = 5000;

SimIdentity Identity(uint16_t model, const char* cls) {
    SimIdentity id;
    id.model = model;
    EXPECT_TRUE(SimApplyClassName(cls, id));
    return id;
}

struct Unit {
    explicit Unit(uint16_t model = 5015, const char* cls = "ver_46", double load = 10,
                  double uin = 60)
        : dev(Identity(model, cls), load, uin, kT0) {}
    uint8_t Write(uint16_t reg, std::vector<uint16_t> v) { return dev.Write(reg, v, t); }
    uint16_t Reg(uint16_t reg) { return dev.Peek(reg, t); }
    uint16_t Preset(uint16_t n, uint16_t offset) { return Reg(kPresetBase + n * 16 + offset); }
    void SetPreset(uint16_t n, uint16_t offset, uint16_t v) {
        ASSERT_EQ(Write(kPresetBase + n * 16 + offset, {v}), 0);
    }
    void Step(uint32_t ms) {
        t += ms;
        dev.Advance(t);
    }
    uint32_t Wide(uint16_t low) { return Reg(low) | uint32_t{Reg(low + 1)} << 16; }
    uint32_t t = kT0;
    SimDevice dev;
};

struct OutputCase {
    const char* name;
    uint16_t model;
    uint16_t uset, iset;
    double load, uin;
    uint16_t uout, iout, power, cvcc;
};

class OutputModelTest : public ::testing::TestWithParam<OutputCase> {};

TEST_P(OutputModelTest, RegulatesIntoTheLoad) {
    const OutputCase& c = GetParam();
    Unit u(c.model, "ver_46", c.load, c.uin);
    ASSERT_EQ(u.Write(USET, {c.uset, c.iset}), 0);
    EXPECT_EQ(u.Reg(UOUT), 0) << "nothing before the output is on";
    ASSERT_EQ(u.Write(ONOFF, {1}), 0);
    EXPECT_EQ(u.Reg(UOUT), c.uout);
    EXPECT_EQ(u.Reg(IOUT), c.iout);
    EXPECT_EQ(u.Reg(POWER), c.power);
    EXPECT_EQ(u.Reg(CVCC), c.cvcc);
    EXPECT_EQ(u.Reg(UIN), static_cast<uint16_t>(c.uin * 100 + 0.5));
    ASSERT_EQ(u.Write(ONOFF, {0}), 0);
    EXPECT_EQ(u.Reg(UOUT) + u.Reg(IOUT) + u.Reg(POWER) + u.Reg(CVCC), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Output, OutputModelTest,
    ::testing::Values(
        // 12 V into 24 ohm draws 0.5 A, below the 1 A limit: constant voltage.
        OutputCase{"ConstantVoltage", 5015, 1200, 100, 24, 60, 1200, 50, 600, 0},
        // 12 V into 6 ohm would draw 2 A: the current is held at 1 A and the voltage falls.
        OutputCase{"ConstantCurrent", 5015, 1200, 100, 6, 60, 600, 100, 600, 1},
        // Exactly at the limit the unit already regulates current.
        OutputCase{"AtTheLimitIsCC", 5015, 1000, 100, 10, 60, 1000, 100, 1000, 1},
        // Current unit 0.001 A on models with current scale 10.
        OutputCase{"MilliampModel", 5005, 500, 1000, 10, 60, 500, 500, 250, 0},
        OutputCase{"MilliampModelCC", 3005, 3000, 2000, 10, 40, 2000, 2000, 4000, 1},
        // The regulator needs headroom: 12 V in gives at most 10.91 V out.
        OutputCase{"InputHeadroom", 5015, 2400, 100, 0, 12, 1091, 0, 0, 0},
        OutputCase{"NothingConnected", 5015, 1200, 100, 0, 60, 1200, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct TripCase {
    const char* name;
    const char* cls;
    uint16_t presetOffset, presetValue;  // preset 0 field to change first
    uint16_t uset, iset;
    double load;
    uint16_t code;  // expected PROTECT, 0 none
};

class ProtectionTest : public ::testing::TestWithParam<TripCase> {};

TEST_P(ProtectionTest, TripsAndSwitchesOff) {
    const TripCase& c = GetParam();
    Unit u(5015, c.cls, c.load);
    u.SetPreset(0, c.presetOffset, c.presetValue);
    ASSERT_EQ(u.Write(USET, {c.uset, c.iset}), 0);
    ASSERT_EQ(u.Write(ONOFF, {1}), 0);
    EXPECT_EQ(u.Reg(PROTECT), c.code);
    EXPECT_EQ(u.Reg(ONOFF), c.code ? 0 : 1);
    if (c.code) {
        EXPECT_EQ(u.Reg(UOUT), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Protections, ProtectionTest,
    ::testing::Values(TripCase{"OverVoltage", "ver_46", P_SOVP, 1000, 1200, 100, 100, 1},
                      TripCase{"BelowOvp", "ver_46", P_SOVP, 1300, 1200, 100, 100, 0},
                      TripCase{"OverCurrent", "ver_46", P_SOCP, 50, 1200, 100, 6, 2},
                      TripCase{"OverPower", "ver_46", P_SOPP, 50, 1200, 100, 24, 3},
                      TripCase{"PowerAtLimit", "ver_46", P_SOPP, 60, 1200, 100, 24, 0},
                      // From ver_45 an OCP trigger switches off where the unit would enter CC.
                      TripCase{"OcpTrigger", "ver_45", P_PRFS, 4, 1200, 100, 6, 2},
                      TripCase{"OcpTriggerIgnoredBefore45", "ver_43", P_PRFS, 4, 1200, 100, 6, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Protection, OverheatAndTimerTripWhileOn) {
    Unit u;
    ASSERT_EQ(u.Write(ONOFF, {1}), 0);
    u.dev.SetTemperature(81, u.t);
    EXPECT_EQ(u.Reg(PROTECT), simProtOHP);
    EXPECT_EQ(u.Reg(ONOFF), 0);

    u.dev.SetTemperature(40, u.t);
    u.SetPreset(0, P_OTIM, 2);  // two minutes
    ASSERT_EQ(u.Write(ONOFF, {1}), 0);
    EXPECT_EQ(u.Reg(PROTECT), simProtNone) << "switching on clears the code";
    u.Step(119999);
    EXPECT_EQ(u.Reg(ONOFF), 1);
    u.Step(1);
    EXPECT_EQ(u.Reg(PROTECT), simProtTIM);
    EXPECT_EQ(u.Reg(ONOFF), 0);
}

TEST(Protection, TripFromOutsideKeepsTheCodeUntilSwitchedOn) {
    Unit u;
    ASSERT_EQ(u.Write(ONOFF, {1}), 0);
    u.dev.Trip(simProtVIN, u.t);
    EXPECT_EQ(u.Reg(PROTECT), simProtVIN);
    EXPECT_EQ(u.Reg(ONOFF), 0);
    u.Step(10000);
    EXPECT_EQ(u.Reg(PROTECT), simProtVIN);
}

TEST(Counters, AdvanceOnlyWhileTheOutputIsOn) {
    Unit u;  // M0: 5.00 V, 1 A into 10 ohm: 0.5 A, 2.5 W
    u.Step(60000);
    EXPECT_EQ(u.Wide(TIME_L), 0u);
    ASSERT_EQ(u.Write(ONOFF, {1}), 0);
    for (int i = 0; i < 36; ++i)
        u.Step(100000);  // one hour in steps
    EXPECT_EQ(u.Wide(TIME_L), 3600u);
    EXPECT_EQ(u.Wide(AHCNT_L), 50u);   // 0.50 Ah
    EXPECT_EQ(u.Wide(WHCNT_L), 250u);  // 2.50 Wh
    ASSERT_EQ(u.Write(ONOFF, {0}), 0);
    u.Step(3600000);
    EXPECT_EQ(u.Wide(TIME_L), 3600u);
    ASSERT_EQ(u.Write(ONOFF, {1}), 0);
    u.Step(70000000);  // the time counter needs its high word
    EXPECT_EQ(u.Wide(TIME_L), 73600u);
    EXPECT_EQ(u.Reg(TIME_H), 1);
}

TEST(Counters, ResetByCommandAndByAutoResetPerClass) {
    for (const char* cls : {"ver_46", "ver_40"}) {
        SCOPED_TRACE(cls);
        Unit u(5015, cls);
        ASSERT_EQ(u.Write(ONOFF, {1}), 0);
        u.Step(10000);
        ASSERT_EQ(u.Write(CMD, {kSimCmdResetCounters}), 0);
        EXPECT_EQ(u.Wide(TIME_L), 0u);
        u.Step(10000);
        ASSERT_EQ(u.Write(ONOFF, {0}), 0);
        ASSERT_EQ(u.Write(ONOFF, {1}), 0);
        EXPECT_EQ(u.Wide(TIME_L), 10u) << "without auto reset the time goes on";
        // Auto reset: PARAM bit 1 from ver_42 on, PVER bit 0 (written with bit 15) before.
        if (std::string(cls) == "ver_46")
            ASSERT_EQ(u.Write(PARAM, {2}), 0);
        else
            ASSERT_EQ(u.Write(PVER, {0x8001}), 0);
        ASSERT_EQ(u.Write(ONOFF, {0}), 0);
        ASSERT_EQ(u.Write(ONOFF, {1}), 0);
        EXPECT_EQ(u.Wide(TIME_L), 0u);
    }
}

TEST(Presets, FactoryBlocksAndPowerUpSelection) {
    Unit u(5015);
    EXPECT_EQ(u.Reg(MEM), 0);
    EXPECT_EQ(u.Reg(USET), u.Preset(0, P_USET));
    EXPECT_EQ(u.Reg(ISET), u.Preset(0, P_ISET));
    EXPECT_EQ(u.Preset(0, P_PRFS) & 1, 1) << "M0 is the power-up preset";
    for (uint16_t n = 0; n < 20; ++n) {
        EXPECT_LE(u.Preset(n, P_USET), 5100);
        EXPECT_GE(u.Preset(n, P_USET), 10);
        EXPECT_LE(u.Preset(n, P_ISET), 1510);
        EXPECT_EQ(u.Preset(n, P_SOVP), 5100);
        EXPECT_EQ(u.Preset(n, P_SOCP), 1520);
        EXPECT_EQ(u.Preset(n, P_SOPP), 7750);
    }
    EXPECT_EQ(u.Preset(12, P_USET), 1260) << "C2 charges three cells";
}

TEST(Presets, SelectingMemoryLoadsItsSetValues) {
    Unit u;
    u.SetPreset(7, P_USET, 1234);
    u.SetPreset(7, P_ISET, 321);
    ASSERT_EQ(u.Write(MEM, {7}), 0);
    EXPECT_EQ(u.Reg(USET), 1234);
    EXPECT_EQ(u.Reg(ISET), 321);
    EXPECT_EQ(u.dev.Write(MEM, {20}, u.t), kSimExIllegalValue);
    EXPECT_EQ(u.Reg(MEM), 7);
}

TEST(Presets, ProtectionLimitsComeFromTheSelectedPreset) {
    Unit u(5015, "ver_46", 100);
    u.SetPreset(3, P_SOVP, 500);
    ASSERT_EQ(u.Write(USET, {1200, 100}), 0);
    ASSERT_EQ(u.Write(ONOFF, {1}), 0);
    EXPECT_EQ(u.Reg(ONOFF), 1) << "preset 0 allows 12 V";
    ASSERT_EQ(u.Write(MEM, {3}), 0);  // loads 15.00 V, limited to 5.00 V by preset 3
    EXPECT_EQ(u.Reg(PROTECT), simProtOVP);
}

TEST(Presets, OldFirmwareStoresFlagWordsWithoutTheirMark) {
    Unit old(5015, "ver_40");
    old.SetPreset(2, P_PRFS, 0x8001);
    EXPECT_EQ(old.Preset(2, P_PRFS), 1);
    Unit current(5015, "ver_45");
    current.SetPreset(2, P_PRFS, 7);
    EXPECT_EQ(current.Preset(2, P_PRFS), 7);
}

struct IdentityCase {
    const char* cls;
    uint16_t version, pver, mgic;
    SimFwClass expected;
};

class IdentityTest : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(IdentityTest, RegistersSelectTheClass) {
    const IdentityCase& c = GetParam();
    Unit u(5015, c.cls);
    EXPECT_EQ(u.Reg(VERSION), c.version);
    EXPECT_EQ(u.Reg(PVER), c.pver);
    EXPECT_EQ(u.Reg(MGIC), c.mgic);
    EXPECT_EQ(u.Reg(DVID), 5015);
    EXPECT_EQ(u.Reg(MODEL), 5015);
    EXPECT_EQ(u.dev.Class(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Classes, IdentityTest,
                         ::testing::Values(IdentityCase{"ver_18", 18, 0, 0, SimFwClass::v18},
                                           IdentityCase{"ver_36", 36, 0, 0, SimFwClass::v36},
                                           IdentityCase{"ver_40", 40, 0, 0, SimFwClass::v40},
                                           IdentityCase{"ver_4Z", 41, 0, 19082, SimFwClass::v4Z},
                                           IdentityCase{"ver_42", 42, 0, 0, SimFwClass::v42},
                                           IdentityCase{"ver_43", 43, 43, 0, SimFwClass::v43},
                                           IdentityCase{"ver_45", 45, 45, 0, SimFwClass::v45},
                                           IdentityCase{"ver_46", 46, 46, 0, SimFwClass::v46},
                                           IdentityCase{"ver_New", 47, 47, 0, SimFwClass::vNew}),
                         [](const auto& info) { return std::string(info.param.cls); });

TEST(Identity, ForeignDeviceIdOrUpperVersionBits) {
    SimIdentity id;
    id.version = 0x102D;  // 45 with a flag in the upper nibble
    id.pver = 45;
    EXPECT_EQ(SimClassOf(id), SimFwClass::v45);
    id.dvid = 5005;
    EXPECT_EQ(SimClassOf(id), SimFwClass::v18);
    id.dvid.reset();
    id.variant = SimVariant::korad;
    EXPECT_EQ(SimDefaultState(id), 0x23);
    id.variant = SimVariant::wz;
    id.model = 5005;  // no temperature sensor
    EXPECT_EQ(SimDefaultState(id), 0x10);
}

TEST(GlobalBlock, WritesFollowTheFirmwareClass) {
    Unit old(5015, "ver_40");
    ASSERT_EQ(old.Write(MMAX, {12, 0x8001, 0x8001, 75, 0x8001, 0x8000}), 0);
    EXPECT_EQ(old.Reg(MMAX), 12);
    EXPECT_EQ(old.Reg(PVER), 1);
    EXPECT_EQ(old.Reg(BCKL), 1);
    EXPECT_EQ(old.Reg(OHP), 75);
    EXPECT_EQ(old.Reg(D25), 1);
    EXPECT_EQ(old.Reg(PARAM), 0);

    Unit current(5015, "ver_46");
    ASSERT_EQ(current.Write(MMAX, {20, 99, 3, 80, 0, 0x000B, 900, 1260, 1, 2, 3}), 0);
    EXPECT_EQ(current.Reg(PVER), 46) << "the protocol version is not writable";
    EXPECT_EQ(current.Reg(PARAM), 0x000B);
    EXPECT_EQ(current.Reg(CLR3), 3);
    EXPECT_EQ(current.dev.Write(MMAX, {21}, current.t), kSimExIllegalValue);
}

TEST(Commands, KeyLockPresetSavedAndBootJump) {
    Unit u;
    EXPECT_EQ(u.Reg(LOCK), 0);
    ASSERT_EQ(u.Write(LOCK, {1}), 0);
    EXPECT_EQ(u.Reg(LOCK), 1);
    u.dev.ReleaseKeyLock(u.t);
    EXPECT_EQ(u.Reg(LOCK), 0);

    ASSERT_EQ(u.Write(CMD, {kSimCmdPresetSaved}), 0);
    EXPECT_EQ(u.dev.PresetSaves(), 1u);
    EXPECT_FALSE(u.dev.TakeBootRequest());
    ASSERT_EQ(u.Write(CMD, {kSimCmdJumpBoot}), 0);
    EXPECT_TRUE(u.dev.TakeBootRequest());
    EXPECT_FALSE(u.dev.TakeBootRequest()) << "reported once";
}

TEST(Commands, RestartComesUpOffUnlockedWithThePowerUpPreset) {
    Unit u;
    ASSERT_EQ(u.Write(LOCK, {1}), 0);
    ASSERT_EQ(u.Write(MEM, {4}), 0);
    ASSERT_EQ(u.Write(ONOFF, {1}), 0);
    u.dev.Restart(u.t);
    EXPECT_EQ(u.Reg(LOCK), 0);
    EXPECT_EQ(u.Reg(ONOFF), 0);
    EXPECT_EQ(u.Reg(MEM), 0);
    EXPECT_EQ(u.Reg(USET), u.Preset(0, P_USET));
}

TEST(Calibration, StartFixSaveAndExit) {
    Unit u;
    const auto block = [&] {
        std::vector<uint16_t> v;
        for (uint16_t r = kCalibBase; r < kMapEnd; ++r)
            v.push_back(u.Reg(r));
        return v;
    };
    const auto before = block();
    // Fixing a point that was not started is ignored.
    ASSERT_EQ(u.Write(CLB_CMD, {2, 3, 1111, 0}), 0);
    EXPECT_EQ(block(), before);

    // High output voltage point: the supply drives its output, then lowers it by itself.
    ASSERT_EQ(u.Write(CLB_CMD, {1, 4, 0, 0}), 0);
    EXPECT_EQ(u.dev.ArmedCalibPoint(), 4);
    const uint16_t high = u.Reg(UOUT);
    EXPECT_GT(high, 2000);
    ASSERT_EQ(u.Write(CLB_CMD, {2, 4, 0x2345, 0x0001}), 0);  // 74.565 V as 0x12345
    EXPECT_EQ(u.Reg(kCalibBase + 12), 0x2345);
    EXPECT_EQ(u.Reg(kCalibBase + 13), 0x0001);
    EXPECT_LT(u.Reg(UOUT) + 100, high) << "drops by more than 1.00 V";
    ASSERT_EQ(u.Write(CLB_CMD, {4, 0, 0, 0}), 0);  // exit without saving
    EXPECT_EQ(block(), before);
    EXPECT_EQ(u.Reg(UOUT), 0);

    ASSERT_EQ(u.Write(CLB_CMD, {1, 7, 0, 0}), 0);
    ASSERT_EQ(u.Write(CLB_CMD, {2, 7, 65, 0}), 0);
    ASSERT_EQ(u.Write(CLB_CMD, {3, 0, 0, 0}), 0);  // save
    EXPECT_EQ(u.Reg(kCalibBase + 24), 65);
    EXPECT_FALSE(u.dev.Calibrating());
}

}  // namespace
