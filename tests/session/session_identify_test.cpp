// Identification of each firmware class, the version notice, and the device-side counters and
// readings that depend on the class.

#include <gtest/gtest.h>

#include "link/modbus_master.h"
#include "sim/sim_device.h"
#include "tests/session/session_harness.h"

using sessiontest::TSessionHarness;

namespace {

const QString kOutdated =
    "The power supply firmware is outdated. To take advantage of all the features\rof the "
    "program, update the firmware of the power supply.";
const QString kProgramOutdated =
    "This version of Benchlord is outdated.\rIt is advisable to install the latest version.";

struct TClassCase {
    const char* name;
    TVersion version;
    bool counters;      // device counters read (and ReadMemNumAndCounters at start)
    const char* title;  // for a 5015 with the temperature suffix
    int notice;         // 0 none, 1 firmware outdated, 2 program outdated
};

class SessionClasses : public ::testing::TestWithParam<TClassCase> {};

TEST_P(SessionClasses, IdentifiesClassifiesAndNotifiesOnce) {
    const TClassCase& c = GetParam();
    TSessionHarness h;
    VirtualSupplyOptions opt;
    ASSERT_TRUE(SimApplyClassName(c.name, opt.identity));
    ASSERT_TRUE(h.StartSupply(opt));
    ASSERT_TRUE(h.ConnectTcp());
    ASSERT_TRUE(h.WaitPolls(6));
    testsupport::ProcessFor(20);  // the notice is a queued event
    EXPECT_EQ(h.core->Model().Version, c.version);
    EXPECT_EQ(h.core->Model().Counters, c.counters);
    EXPECT_EQ(h.view.title, c.title);
    EXPECT_EQ(h.view.panel.CounterResetEnabled, c.version >= ver_46);
    QStringList expected;
    if (c.notice == 1) expected << kOutdated;
    if (c.notice == 2) expected << kProgramOutdated;
    EXPECT_EQ(h.view.infos, expected);

    // The notice comes once per run, not again after reconnecting.
    h.core->DisconnectBtnClick();
    h.core->ConnectBtnClick();
    ASSERT_TRUE(h.WaitFor([&] { return h.core->Connected(); }));
    ASSERT_TRUE(h.WaitPolls(6));
    testsupport::ProcessFor(20);
    EXPECT_EQ(h.view.infos, expected);
}

INSTANTIATE_TEST_SUITE_P(
    EachFirmwareClass, SessionClasses,
    ::testing::Values(TClassCase{"ver_18", ver_18, false, "DPS5015 ver. 1.8", 0},
                      TClassCase{"ver_36", ver_36, false, "DPS5015 ver. 3.6", 1},
                      TClassCase{"ver_40", ver_40, false, "DPS5015 ver. 4.0", 1},
                      TClassCase{"ver_4Z", ver_4Z, true, "DPS5015 ver. 4.1", 0},
                      TClassCase{"ver_42", ver_42, false, "DPS5015 ver. 4.2T", 1},
                      TClassCase{"ver_43", ver_43, true, "DPS5015 ver. 4.3T", 0},
                      TClassCase{"ver_45", ver_45, true, "DPS5015 ver. 4.5T", 0},
                      TClassCase{"ver_46", ver_46, true, "DPS5015 ver. 4.6T", 0},
                      TClassCase{"ver_New", ver_New, true, "DPS5015 ver. 4.7T", 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SessionIdentify, UnsupportedModelShowsTitleButStartsNoSession) {
    TSessionHarness h;
    VirtualSupplyOptions opt;
    opt.identity.model = 3010;
    ASSERT_TRUE(h.StartSupply(opt));
    EXPECT_FALSE(h.ConnectTcp(300));
    EXPECT_EQ(h.view.title, "DPS3010 ver. 4.6");
    EXPECT_EQ(h.view.maxIset, 9999u);
    EXPECT_EQ(h.view.currentPointPos, 4u);  // three decimals at current scale 10
    EXPECT_TRUE(h.view.panel.DisconnectEnabled);
    EXPECT_EQ(h.supply->Register(simreg::LOCK), 0);
}

TEST(SessionIdentify, ExceptionToIdentificationShowsTheMastersMessage) {
    TSessionHarness h;
    VirtualSupplyOptions opt;
    opt.faults.exceptionCode = 2;
    ASSERT_TRUE(h.StartSupply(opt));
    EXPECT_FALSE(h.ConnectTcp(300));
    ASSERT_EQ(h.view.errors.size(), 1);
    std::string level;
    EXPECT_EQ(h.view.errors[0].toStdString(), "The supply did not answer the identification: " +
                                                  h.core->ModbusMaster().ErrorMsg(2, level));
    // No session started: plainly disconnected, Connect offered again.
    EXPECT_FALSE(h.view.panel.BusyRunning);
    EXPECT_FALSE(h.view.panel.DisconnectEnabled);
    EXPECT_TRUE(h.view.panel.ConnectEnabled);
}

TEST(SessionIdentify, DeviceCountersAreTakenOverAndLargeOnesShowInThousands) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    // 1234.56 Ah and 5 Wh and 100 s stored in the unit.
    h.supply->SetRegister(simreg::AHCNT_L, 123456 & 0xFFFF);
    h.supply->SetRegister(simreg::AHCNT_H, 123456 >> 16);
    h.supply->SetRegister(simreg::WHCNT_L, 500);
    h.supply->SetRegister(simreg::TIME_L, 100);
    h.supply->SetRegister(simreg::MEM, 25);  // out of range: taken as 0
    ASSERT_TRUE(h.ConnectTcp());
    ASSERT_TRUE(h.WaitFor([&] { return h.core->AHCounter() == 123456; }));
    EXPECT_EQ(h.view.charge, (TCounterDisplay{12, 2, "kAh"}));
    EXPECT_EQ(h.view.energy, (TCounterDisplay{500, 3, " Wh"}));
    EXPECT_EQ(h.view.timeSeconds, 100u);
    EXPECT_EQ(h.view.timeUnit, "S");
    EXPECT_EQ(h.core->AHCounter64(), uint64_t{123456} << 32);
    EXPECT_EQ(h.view.panel.MemoryButtonDown, 0);
}

TEST(SessionIdentify, ChargeProfileShowsTheBatteryBar) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    h.supply->SetRegister(simreg::MEM, 12);  // C2: three cells
    ASSERT_TRUE(h.ConnectTcp());
    ASSERT_TRUE(h.WaitFor([&] { return h.view.chargeBarVisible; }));
    EXPECT_EQ(h.view.chargeBarLabel, "Charge Lithium Battery 3 Cell(s)");
    EXPECT_FALSE(h.view.panel.UsetIndEnabled);
}

TEST(SessionIdentify, TemperatureIsReadAtItsOwnRate) {
    auto timings = sessiontest::FastTimings();
    timings.TemperatureTicks = 8;
    TSessionHarness h(false, timings);
    ASSERT_TRUE(h.StartSupply());
    h.supply->SetTemperature(31);
    ASSERT_TRUE(h.ConnectTcp());
    ASSERT_TRUE(h.WaitFor([&] { return h.view.temperature == "T 31C"; }, 1000));
    EXPECT_TRUE(h.view.panel.TemperatureVisible);
    h.supply->SetTemperature(40);
    ASSERT_TRUE(h.WaitFor([&] { return h.view.temperature == "T 40C"; }, 1000));
}

}  // namespace
