// benchlord-sim's command line and its console commands.

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "sim/sim_console.h"
#include "tests/support/virtual_supply_fixture.h"

namespace {

SimCommandLine Parse(std::vector<std::string> args, bool ok = true) {
    SimCommandLine cl;
    std::string error;
    EXPECT_EQ(SimParseArgs(args, cl, error), ok) << error;
    return cl;
}

TEST(SimArgs, DefaultServesTcp1502AndAPty) {
    const auto cl = Parse({});
    EXPECT_TRUE(cl.options.tcp);
    EXPECT_EQ(cl.options.tcpPort, 1502);
    EXPECT_EQ(cl.options.tcpHost, "127.0.0.1");
    EXPECT_TRUE(cl.options.pty);
    EXPECT_FALSE(cl.exitOnEof);
}

TEST(SimArgs, EndpointsIdentityPhysicsAndFaults) {
    const auto cl = Parse({"--tcp",
                           "0.0.0.0:1600",
                           "--pty",
                           "/tmp/dps",
                           "--baud",
                           "19200",
                           "--addr",
                           "3",
                           "--parity",
                           "even",
                           "--model",
                           "5005",
                           "--version",
                           "0x102D",
                           "--load",
                           "4.7",
                           "--uin",
                           "24",
                           "--temp",
                           "30",
                           "--wire-time",
                           "--drop",
                           "5",
                           "--delay",
                           "20",
                           "--corrupt-crc",
                           "3",
                           "--exception",
                           "4",
                           "--close-after",
                           "9",
                           "--bad-tid",
                           "--korad",
                           "--pid",
                           "0x438",
                           "--exit-on-eof",
                           "--boot-fault",
                           "0x31:3:2:silent",
                           "--boot-fault",
                           "0x21:1",
                           "-v"});
    const auto& o = cl.options;
    EXPECT_EQ(o.tcpHost, "0.0.0.0");
    EXPECT_EQ(o.tcpPort, 1600);
    EXPECT_EQ(o.ptyLink, "/tmp/dps");
    EXPECT_EQ(o.baud, 19200u);
    EXPECT_EQ(o.address, 3);
    EXPECT_EQ(o.parity, 'E');
    EXPECT_EQ(o.identity.model, 5005);
    EXPECT_EQ(o.identity.version, 0x102D);
    EXPECT_EQ(o.identity.pver, 45) << "follows the version number";
    EXPECT_EQ(o.identity.variant, SimVariant::korad);
    EXPECT_DOUBLE_EQ(o.loadOhms, 4.7);
    EXPECT_DOUBLE_EQ(o.inputVolts, 24);
    EXPECT_EQ(o.temperature, 30);
    EXPECT_TRUE(o.wireTime);
    EXPECT_EQ(o.faults.dropEvery, 5u);
    EXPECT_EQ(o.faults.replyDelayMs, 20u);
    EXPECT_EQ(o.faults.corruptCrcEvery, 3u);
    EXPECT_EQ(o.faults.exceptionCode, 4);
    EXPECT_EQ(o.faults.closeAfter, 9u);
    EXPECT_TRUE(o.faults.badTransaction);
    EXPECT_EQ(o.boot.productId, 0x438);
    ASSERT_EQ(o.boot.commandFaults.size(), 2u);
    EXPECT_EQ(o.boot.commandFaults[0].command, 0x31);
    EXPECT_EQ(o.boot.commandFaults[0].occurrence, 3u);
    EXPECT_EQ(o.boot.commandFaults[0].frame, 2);
    EXPECT_TRUE(o.boot.commandFaults[0].silent);
    EXPECT_EQ(o.boot.commandFaults[1].frame, 0);
    EXPECT_FALSE(o.boot.commandFaults[1].silent);
    EXPECT_TRUE(cl.exitOnEof);
    EXPECT_TRUE(cl.verbose);
}

TEST(SimArgs, FirmwareClassAndTcpOnly) {
    const auto cl = Parse({"--tcp", "1502", "--fw", "ver_4Z"});
    EXPECT_FALSE(cl.options.pty);
    EXPECT_EQ(cl.options.identity.version, 41);
    EXPECT_EQ(cl.options.identity.mgic, kSimMagic4Z);
    EXPECT_EQ(SimClassOf(cl.options.identity), SimFwClass::v4Z);
    EXPECT_EQ(Parse({"--pty"}).options.ptyLink, "");
}

TEST(SimArgs, RefusesWhatItCannotUse) {
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--tcp", "70000"},
                                                {"--model"},
                                                {"--load", "x"},
                                                {"--fw", "ver_99"},
                                                {"--addr", "300"},
                                                {"--bogus"},
                                                {"--parity", "mark"},
                                                {"--erase", "sometimes"},
                                                {"--boot-fault", "0x31:0"},
                                                {"--boot-fault", "0x31:1:3"},
                                                {"--battery", "li-po"},
                                                {"--battery", "li-ion,cells=0"},
                                                {"--battery", "li-ion,volts=3.6,soc=50"},
                                                {"--diode", "zener"}}) {
        SimCommandLine cl;
        std::string error;
        EXPECT_FALSE(SimParseArgs(bad, cl, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(SimArgs, AMistypedOptionGetsTheClosestOneItsUsageLists) {
    SimCommandLine cl;
    std::string error;
    EXPECT_FALSE(SimParseArgs({"--tcp", "0", "--wire-tmie"}, cl, error));
    EXPECT_EQ(error, "unknown option: --wire-tmie\ndid you mean \"--wire-time\"?");
    EXPECT_FALSE(SimParseArgs({"--colour"}, cl, error));
    EXPECT_EQ(error, "unknown option: --colour");
}

TEST(SimArgs, StartFailsCleanlyOnAnUnsupportedBaudOrBusyPort) {
    std::string error;
    VirtualSupplyOptions o;
    o.baud = 12345;
    EXPECT_EQ(VirtualSupply::Start(o, &error), nullptr);
    EXPECT_NE(error.find("baud"), std::string::npos);
    auto first = VirtualSupply::Start({}, &error);
    ASSERT_NE(first, nullptr);
    VirtualSupplyOptions same;
    same.tcpPort = first->TcpPort();
    EXPECT_EQ(VirtualSupply::Start(same, &error), nullptr);
    EXPECT_FALSE(error.empty());
}

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sup.Started()) << sup.Error(); }
    std::string Run(const std::string& line) { return SimRunCommand(sup.Supply(), line).text; }
    testsupport::TVirtualSupplyFixture sup;
};

TEST_F(ConsoleTest, FrontPanelAndEnvironmentCommands) {
    sup.SetReg(simreg::LOCK, 1);
    EXPECT_EQ(Run("unlock"), "ok\n");
    EXPECT_EQ(sup.Reg(simreg::LOCK), 0);
    EXPECT_EQ(Run("load 4.7"), "ok\n");
    EXPECT_DOUBLE_EQ(sup->Load(), 4.7);
    EXPECT_EQ(Run("load open"), "ok\n");
    EXPECT_DOUBLE_EQ(sup->Load(), 0);
    EXPECT_EQ(Run("uin 24"), "ok\n");
    EXPECT_EQ(sup.Reg(simreg::UIN), 2400);
    EXPECT_EQ(Run("on"), "ok\n");
    EXPECT_EQ(Run("trip ovp"), "ok\n");
    EXPECT_EQ(sup.Reg(simreg::PROTECT), simProtOVP);
    EXPECT_EQ(sup.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(Run("trip 11"), "ok\n");
    EXPECT_EQ(sup.Reg(simreg::PROTECT), simProtEPR);
    EXPECT_EQ(Run("reg 23 70"), "23 = 70\n");
    EXPECT_EQ(Run("regs 11 1"), "11 = 5015\n");
    EXPECT_NE(Run("status").find("model 5015"), std::string::npos);
}

TEST(SimArgs, BatteryAndDiodeLoads) {
    auto cl = Parse({"--battery", "lifepo4,cells=4,ah=10,volts=13.0"});
    ASSERT_TRUE(cl.options.battery);
    EXPECT_EQ(cl.options.battery->chemistry, SimChemistry::lifepo4);
    EXPECT_EQ(cl.options.battery->cells, 4);
    EXPECT_DOUBLE_EQ(cl.options.battery->capacityAh, 10);
    EXPECT_NEAR(cl.options.battery->charge, 0.2, 1e-9) << "3.25 V a cell";
    EXPECT_DOUBLE_EQ(cl.options.battery->ohms, 0.4) << "the chemistry's resistance per cell";
    cl = Parse({"--battery", "li-ion", "--diode"});
    EXPECT_FALSE(cl.options.battery) << "the last load given counts";
    ASSERT_TRUE(cl.options.diode);
    EXPECT_DOUBLE_EQ(cl.options.diode->ohms, SimDiode::Led().ohms);
    cl = Parse({"--diode", "silicon,ohms=0", "--tcp", "0"});
    ASSERT_TRUE(cl.options.diode);
    EXPECT_DOUBLE_EQ(cl.options.diode->ohms, 0);
    EXPECT_DOUBLE_EQ(cl.options.diode->slopeVolts, SimDiode::Silicon().slopeVolts);
}

TEST_F(ConsoleTest, LoadsAreSwitchedAtRunTime) {
    EXPECT_EQ(Run("load"), "load 10 ohm\n");
    EXPECT_EQ(Run("battery li-ion,cells=2,volts=7.2,ah=2.5"),
              "battery li-ion 2 cells 2.500 Ah 0.300 ohm, 18.9 % charged, 7.200 V open\n");
    ASSERT_TRUE(sup->Battery());
    EXPECT_EQ(sup->Battery()->cells, 2);
    EXPECT_EQ(Run("diode").rfind("diode is=", 0), 0u);
    EXPECT_FALSE(sup->Battery());
    EXPECT_EQ(Run("battery lithium").rfind("bad argument", 0), 0u);
    EXPECT_EQ(Run("load 4.7"), "ok\n");
    EXPECT_EQ(Run("load"), "load 4.7 ohm\n");
}

TEST_F(ConsoleTest, FaultSwitchesAtRunTime) {
    Run("drop 5");
    Run("delay 30");
    Run("crc 2");
    Run("exception 6");
    Run("close-after 4");
    Run("bad-tid on");
    SimFaults f = sup->Faults();
    EXPECT_EQ(f.dropEvery, 5u);
    EXPECT_EQ(f.replyDelayMs, 30u);
    EXPECT_EQ(f.corruptCrcEvery, 2u);
    EXPECT_EQ(f.exceptionCode, 6);
    EXPECT_EQ(f.closeAfter, 4u);
    EXPECT_TRUE(f.badTransaction);
    Run("drop 0");
    EXPECT_EQ(sup->Faults().dropEvery, 0u);
    Run("clear-faults");
    f = sup->Faults();
    EXPECT_EQ(f.replyDelayMs + f.corruptCrcEvery + f.exceptionCode + f.closeAfter, 0u);
    EXPECT_FALSE(f.badTransaction);
}

TEST_F(ConsoleTest, BootQuitHelpAndMistakes) {
    EXPECT_EQ(Run("boot"), "ok\n");
    EXPECT_TRUE(sup->InBootloader());
    EXPECT_EQ(Run("reset"), "ok\n");
    EXPECT_FALSE(sup->InBootloader());
    EXPECT_TRUE(SimRunCommand(sup.Supply(), "quit").quit);
    EXPECT_NE(Run("help").find("trip NAME|CODE"), std::string::npos);
    EXPECT_EQ(Run(""), "");
    EXPECT_EQ(Run("frobnicate"), "unknown command: frobnicate (try help)\n");
    for (const char* bad : {"load -1", "trip xyz", "drop -3", "reg 999", "bad-tid maybe", "uin"})
        EXPECT_EQ(Run(bad).rfind("bad argument", 0), 0u) << bad;
}

// The help lists one option or command per item, and each is one the program takes.
TEST_F(ConsoleTest, EveryOptionAndCommandTheHelpListsIsTaken) {
    std::istringstream usage(SimUsage());
    int options = 0;
    for (std::string line; std::getline(usage, line);) {
        if (line.rfind("  -", 0) != 0) continue;
        std::istringstream words(line);
        std::string option, value;
        words >> option >> value;
        if (option.back() == ',') option = value, value.clear();  // "-v, --verbose"
        EXPECT_EQ(line.find("--", line.find(option) + option.size()), std::string::npos)
            << "two options in one item: " << line;
        std::vector<std::string> args{option};
        if (!value.empty() && value[0] != '[' && std::isupper(static_cast<unsigned char>(value[0])))
            args.push_back(value == "CLASS"              ? "ver_46"
                           : value == "MODE"             ? "even"
                           : value.rfind("CMD:", 0) == 0 ? "0x31:1"
                           : value.rfind("CHEM", 0) == 0 ? "nimh,cells=4"
                                                         : "1");
        else if (value == "classic|extended")
            args.push_back("classic");
        SimCommandLine cl;
        std::string error;
        EXPECT_TRUE(SimParseArgs(args, cl, error)) << line << ": " << error;
        ++options;
    }
    EXPECT_GT(options, 30);
    std::istringstream commands(SimCommandHelp());
    for (std::string line; std::getline(commands, line);) {
        std::istringstream words(line);
        std::string command;
        if (line.rfind("  ", 0) != 0 || line[2] == ' ' || !(words >> command)) continue;
        EXPECT_NE(Run(command).rfind("unknown command", 0), 0u) << command;
    }
}

}  // namespace
