// set, on and off end to end: values checked against the model before anything is written,
// writes through the scheduler, read-back and confirmation from the device.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sim/sim_device.h"
#include "tests/cli/cli_harness.h"

using clitest::JsonOf;
using clitest::TCliHarness;

namespace {

bool WroteRegister(VirtualSupply& ASupply, uint16_t AReg) {
    for (const SimWrite& w : ASupply.Writes())
        if (AReg >= w.start && AReg < w.start + w.values.size()) return true;
    return false;
}

TEST(CliSet, WritesReadsBackAndPrintsTheSetValues) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const auto run = h.Run(h.Tcp() << "set"
                                   << "--voltage"
                                   << "12.345"
                                   << "--current"
                                   << "0.5");
    ASSERT_EQ(run.Code, 0) << run.Err;
    // Rounded to the model's 0.01 V and 0.01 A.
    EXPECT_EQ(run.Out, "uset  12.35 V\niset  0.50 A\n");
    EXPECT_EQ(h.supply.Reg(simreg::USET), 1235);
    EXPECT_EQ(h.supply.Reg(simreg::ISET), 50);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

TEST(CliSet, OverThePtyWithMilliampereResolution) {
    testsupport::TSupplyConfig unit = TCliHarness::DefaultSupply();
    unit.model = 3005;
    unit.pty = true;
    TCliHarness h(unit);
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const auto run = h.Run(h.Pty() << "--json"
                                   << "set"
                                   << "--current"
                                   << "1.234");
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out, "{\"uset\": 5.00, \"iset\": 1.234}\n");
    EXPECT_EQ(h.supply.Reg(simreg::ISET), 1234);
    EXPECT_EQ(h.supply.Reg(simreg::USET), 500);  // untouched
}

struct TOutOfRange {
    const char* Option;
    const char* Value;
    const char* Message;
};

class CliSetRefused : public ::testing::TestWithParam<TOutOfRange> {};

TEST_P(CliSetRefused, BeforeAnythingIsWritten) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const auto run = h.Run(h.Tcp() << "set" << GetParam().Option << GetParam().Value);
    EXPECT_EQ(run.Code, 2);
    EXPECT_EQ(run.Err, "benchlordctl: " + std::string(GetParam().Message) + "\n");
    EXPECT_TRUE(run.Out.empty());
    // Not even the key lock: the supply is left exactly as it was.
    EXPECT_TRUE(h.supply->Writes().empty());
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
    EXPECT_EQ(h.supply.Reg(simreg::USET), 500);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliSetRefused,
    ::testing::Values(TOutOfRange{"--voltage", "51.01",
                                  "--voltage 51.01: out of range, 0.10 to 51.00 V on the DPS5015"},
                      TOutOfRange{"--voltage", "0.09",
                                  "--voltage 0.09: out of range, 0.10 to 51.00 V on the DPS5015"},
                      TOutOfRange{"--current", "15.2",
                                  "--current 15.2: out of range, 0.01 to 15.10 A on the DPS5015"},
                      TOutOfRange{"--current", "0.004",
                                  "--current 0.004: out of range, 0.01 to 15.10 A on the DPS5015"}),
    [](const auto& AInfo) {
        // "voltage_51_01": the option without its dashes, the value with "_" for the point.
        std::string name = std::string(AInfo.param.Option).substr(2) + "_" + AInfo.param.Value;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

TEST(CliSet, VoltageOfAChargeProfileIsRefused) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    h.supply.SetReg(simreg::MEM, 12);
    const auto run = h.Run(h.Tcp() << "set"
                                   << "--voltage"
                                   << "4.2");
    EXPECT_EQ(run.Code, 2);
    EXPECT_EQ(run.Err,
              "benchlordctl: The set voltage comes from the selected charge profile C2.\n");
    EXPECT_FALSE(WroteRegister(h.supply.Supply(), simreg::USET));
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

TEST(CliSwitch, OnAndOffAreConfirmedByTheDevice) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    auto run = h.Run(h.Tcp() << "on");
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out, "output  on\n");
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);
    // Switching to the state it already has writes nothing.
    h.supply->ClearWrites();
    run = h.Run(h.Tcp() << "--json"
                        << "on");
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out, "{\"output\": true}\n");
    EXPECT_FALSE(WroteRegister(h.supply.Supply(), simreg::ONOFF));

    run = h.Run(h.Tcp() << "--json"
                        << "off");
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out, "{\"output\": false}\n");
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

// Keys left locked belong to no running program, but nothing tells them from a run's: the next
// changing command is refused until it is told to take them over.
TEST(CliSwitch, KeepLockLeavesTheKeysLockedUntilTakenOver) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    auto run = h.Run(h.Tcp() << "--keep-lock"
                             << "on");
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 1);
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);

    h.supply->ClearWrites();
    run = h.Run(h.Tcp() << "off");
    EXPECT_EQ(run.Code, 7);
    EXPECT_EQ(run.Err,
              "benchlordctl: off: the keys are locked by another program: a run may be going on "
              "(the window, serve-scpi, another benchlordctl); nothing was changed. Wait for it to "
              "end, or take the keys over with --take-over (keys left locked by --keep-lock)\n");
    EXPECT_TRUE(h.supply->Writes().empty());
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);

    run = h.Run(h.Tcp() << "--take-over"
                        << "off");
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0) << "keys taken over are released at the end";
}

}  // namespace
