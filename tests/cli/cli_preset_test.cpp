// preset list, show, select and save end to end.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include "sim/sim_device.h"
#include "tests/cli/cli_harness.h"

using clitest::JsonOf;
using clitest::TCliHarness;

namespace {

uint16_t PresetReg(uint16_t ANum, uint16_t AOffset) {
    return simreg::kPresetBase + simreg::kPresetSize * ANum + AOffset;
}

TEST(CliPreset, ListShowsEveryOfferedPresetAndMarksTheSelectedOne) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    h.supply.SetReg(simreg::MMAX, 12);
    h.supply.SetReg(simreg::MEM, 4);
    h.supply.SetReg(PresetReg(11, simreg::P_USET), 840);
    const auto run = h.Run(h.Tcp() << "--json"
                                   << "preset"
                                   << "list");
    ASSERT_EQ(run.Code, 0) << run.Err;
    const QJsonArray list = QJsonDocument::fromJson(QByteArray::fromStdString(run.Out)).array();
    ASSERT_EQ(list.size(), 12);  // M0-M9, C0 and C1
    for (int i = 0; i < list.size(); ++i) {
        const QJsonObject o = list[i].toObject();
        EXPECT_EQ(o["number"].toInt(), i);
        EXPECT_EQ(o["selected"].toBool(), i == 4);
    }
    EXPECT_EQ(list[11].toObject()["name"].toString(), "C1");
    EXPECT_DOUBLE_EQ(list[11].toObject()["voltage"].toDouble(), 8.4);
    EXPECT_TRUE(h.supply->Writes().empty());  // only read: not even the key lock
}

TEST(CliPreset, ShowPrintsTheBlockWithTheModelsResolution) {
    testsupport::TSupplyConfig unit = TCliHarness::DefaultSupply();
    unit.model = 3005;
    unit.fwClass = "ver_45";
    TCliHarness h(unit);
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const uint16_t values[] = {1234, 2500, 1300, 2600, 455, 3, 7, 0, 95};
    for (uint16_t k = 0; k < 9; ++k)
        h.supply.SetReg(PresetReg(7, k), values[k]);
    const auto run = h.Run(h.Tcp() << "--json"
                                   << "preset"
                                   << "show"
                                   << "M7");
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out,
              "{\"number\": 7, \"name\": \"M7\", \"selected\": false, \"voltage\": 12.34, "
              "\"current\": 2.500, \"ovp\": 13.00, \"ocp\": 2.600, \"opp\": 45.5, \"timer\": "
              "\"1:35\", \"default_on_start\": true, \"power_on_start\": false, \"ovp_trigger\": "
              "true, \"ocp_trigger\": true}\n");
}

TEST(CliPreset, SelectMakesThePresetLive) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    h.supply.SetReg(PresetReg(3, simreg::P_USET), 1500);
    const auto run = h.Run(h.Tcp() << "preset"
                                   << "select"
                                   << "3");
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_NE(run.Out.find("selected          yes\nvoltage           15.00 V\n"), std::string::npos)
        << run.Out;
    EXPECT_EQ(h.supply.Reg(simreg::MEM), 3);
    EXPECT_EQ(h.supply.Reg(simreg::USET), 1500);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

TEST(CliPreset, SaveChangesOnlyTheGivenValuesAndStoresTheBlock) {
    TCliHarness h;  // ver_46: the preset-saved command follows the block
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const uint16_t ocpBefore = h.supply.Reg(PresetReg(2, simreg::P_SOCP));
    const uint32_t savesBefore = h.supply->PresetSaves();
    const auto run = h.Run(h.Tcp() << "preset"
                                   << "save"
                                   << "2"
                                   << "--voltage"
                                   << "7.5"
                                   << "--current"
                                   << "0.25"
                                   << "--opp"
                                   << "12.3"
                                   << "--timer"
                                   << "0:45");
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(h.supply.Reg(PresetReg(2, simreg::P_USET)), 750);
    EXPECT_EQ(h.supply.Reg(PresetReg(2, simreg::P_ISET)), 25);
    EXPECT_EQ(h.supply.Reg(PresetReg(2, simreg::P_SOPP)), 123);
    EXPECT_EQ(h.supply.Reg(PresetReg(2, simreg::P_OTIM)), 45);
    EXPECT_EQ(h.supply.Reg(PresetReg(2, simreg::P_SOCP)), ocpBefore);
    EXPECT_EQ(h.supply->PresetSaves(), savesBefore + 1);
    EXPECT_EQ(h.supply.Reg(simreg::MEM), 0);  // saving does not select
    EXPECT_NE(run.Out.find("timer             0:45\n"), std::string::npos) << run.Out;
}

TEST(CliPreset, OutOfRangeSaveWritesNothing) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const auto run = h.Run(h.Tcp() << "preset"
                                   << "save"
                                   << "2"
                                   << "--ocp"
                                   << "15.21");
    EXPECT_EQ(run.Code, 2);
    EXPECT_EQ(run.Err, "benchlordctl: --ocp 15.21: out of range, 0.01 to 15.20 A on the DPS5015\n");
    EXPECT_TRUE(h.supply->Writes().empty());
}

TEST(CliPreset, FirmwareRulesRefuseAChargeProfileOnOldFirmware) {
    testsupport::TSupplyConfig unit = TCliHarness::DefaultSupply();
    unit.fwClass = "ver_40";
    TCliHarness h(unit);
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    h.supply.SetReg(simreg::MMAX, 20);
    const auto run = h.Run(h.Tcp() << "preset"
                                   << "save"
                                   << "C2"
                                   << "--voltage"
                                   << "8.4");
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Err.find("C2 cannot be changed with this firmware"), std::string::npos)
        << run.Err;
    for (const SimWrite& w : h.supply->Writes())
        EXPECT_TRUE(w.start == simreg::LOCK) << w.start;
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

}  // namespace
