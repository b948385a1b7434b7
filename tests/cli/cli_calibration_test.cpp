// calibration: the seven values read from the supply's calibration block, in text and JSON with
// each model's resolution, nothing written, and a stock-firmware unit refused.

#include <gtest/gtest.h>

#include "sim/sim_device.h"
#include "tests/cli/cli_harness.h"

using clitest::TCliHarness;

namespace {

testsupport::TSupplyConfig Unit(uint16_t AModel, const char* AClass) {
    testsupport::TSupplyConfig c = TCliHarness::DefaultSupply();
    c.model = AModel;
    c.fwClass = AClass;
    return c;
}

TEST(CliCalibration, PrintsTheSevenPointsWithoutWritingThem) {
    TCliHarness h(Unit(5005, "ver_46"));  // current unit 0.001 A: four decimals
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    h.supply.SetReg(simreg::kCalibBase + 4 * 4, 1234);    // Iout1 0.1234 A
    h.supply.SetReg(simreg::kCalibBase + 4 * 3, 0x86A0);  // Uout2 100000 mV: low word
    h.supply.SetReg(simreg::kCalibBase + 4 * 3 + 1, 1);   // and high word
    const auto json = h.Run(h.Tcp() << "--json"
                                    << "calibration");
    ASSERT_TRUE(json.Finished);
    EXPECT_EQ(json.Code, 0) << json.Err;
    EXPECT_EQ(json.Out,
              "{\"uin_low\": 6.000, \"uin_high\": 25.000, \"uout_low\": 1.000, \"uout_high\": "
              "100.000, \"iout_low\": 0.1234, \"iout_high\": 0.2000, \"temp_high\": 60}\n");
    const auto text = h.Run(h.Tcp() << "calibration");
    EXPECT_EQ(text.Code, 0) << text.Err;
    EXPECT_NE(text.Out.find("iout_low   0.1234 A\n"), std::string::npos) << text.Out;
    EXPECT_TRUE(h.supply->Writes().empty());  // not even the key lock
}

TEST(CliCalibration, StockFirmwareHasNone) {
    TCliHarness h(Unit(5015, "ver_18"));
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const auto run = h.Run(h.Tcp() << "calibration");
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Err.find("This unit offers no calibration values"), std::string::npos) << run.Err;
}

}  // namespace
