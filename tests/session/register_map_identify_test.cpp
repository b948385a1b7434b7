#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "device/firmware_version.h"
#include "device/identification.h"
#include "link/kr_types.h"

namespace {

// Registers 0 to 14 of a unit: only MODEL, VERSION and STATE matter here.
TKRRegisters IdentRegs(uint16_t model, uint16_t version, uint16_t state) {
    TKRRegisters regs = {500, 100, 499, 98, 489, 2400, 0, 0, 0, 1, 4, 0, 0, 31, 0};
    regs[11] = model;
    regs[12] = version;
    regs[14] = state;
    return regs;
}

class Identification : public ::testing::Test {
protected:
    TIdentification Run(uint16_t model, uint16_t version, uint16_t state, bool autoReset = false) {
        return Identify(IdentRegs(model, version, state), autoReset, set_, model_, limits_);
    }

    TCurrentSet set_;
    TModel model_;
    TModelLimits limits_;
};

TEST_F(Identification, StartValuesBeforeAnyIdentification) {
    EXPECT_EQ(limits_.MaxUset, 5100u);
    EXPECT_EQ(limits_.MaxIset, 2010u);
    EXPECT_EQ(limits_.MaxPower, 9999u);
    EXPECT_EQ(limits_.CurrentDiv, 1u);
    EXPECT_EQ(limits_.ModelName, "DPS");
    EXPECT_EQ(TCurrentSet{}.USET, 10u);
}

TEST_F(Identification, DPS5015Version45WithTitleSuffixT) {
    const TIdentification id = Run(5015, 45, 0x02);
    EXPECT_EQ(id.Title, "DPS5015 ver. 4.5T");
    EXPECT_TRUE(id.Accepted);
    EXPECT_EQ(id.CurrentDecimals, 2u);
    EXPECT_EQ(limits_.MaxUset, 5100u);
    EXPECT_EQ(limits_.MaxIset, 1510u);
    EXPECT_EQ(limits_.MaxPower, 7750u);
    EXPECT_EQ(limits_.CurrentDiv, 1u);
    EXPECT_TRUE(model_.TempSensorEnable);
    // Registers 0 to 14 land in USET .. STATE.
    EXPECT_EQ(set_.USET, 500u);
    EXPECT_EQ(set_.UIN, 2400u);
    EXPECT_EQ(set_.POWER, 489u);
    EXPECT_EQ(set_.TMP, 31u);
    EXPECT_EQ(set_.STATE, 2u);
}

TEST_F(Identification, UpperNibbleOfVersionIsIgnored) {
    EXPECT_EQ(Run(5015, 0x102D, 0x02).Title, "DPS5015 ver. 4.5T");
    EXPECT_EQ(set_.VERSION, 0x102Du);  // the raw value is kept
}

TEST_F(Identification, ModelWithCurrentScale10ShowsThreeDecimals) {
    const TIdentification id = Run(5005, 40, 0);
    EXPECT_EQ(id.CurrentDecimals, 3u);
    EXPECT_EQ(limits_.CurrentDiv, 10u);
    EXPECT_EQ(limits_.MaxIset, 5100u);
    EXPECT_FALSE(model_.TempSensorEnable);
}

TEST_F(Identification, Model3010GetsLimitsAndTitleButNoSession) {
    const TIdentification id = Run(3010, 45, 0);
    EXPECT_FALSE(id.Accepted);
    EXPECT_EQ(id.Title, "DPS3010 ver. 4.5");
    EXPECT_EQ(limits_.MaxIset, 9999u);
    EXPECT_EQ(limits_.MaxPower, 3000u);
    EXPECT_EQ(limits_.CurrentDiv, 10u);
}

TEST_F(Identification, UnknownModelKeepsLimitsAndHasNoSensor) {
    Run(8005, 45, 0);
    model_.TempSensorEnable = true;
    const TIdentification id = Run(1234, 45, 0);
    EXPECT_FALSE(id.Accepted);
    EXPECT_FALSE(model_.TempSensorEnable);
    EXPECT_EQ(limits_.MaxUset, 8100u);
    EXPECT_EQ(limits_.MaxIset, 5100u);
    EXPECT_EQ(limits_.MaxPower, 4500u);
    EXPECT_EQ(limits_.CurrentDiv, 10u);
}

TEST_F(Identification, ResetsTheModelRecord) {
    model_.Version = ver_46;
    model_.Temp = model_.Counters = model_.BSRC = model_.BatterySourceEnable = true;
    model_.BacklightMax = 6;
    Run(5020, 46, 0x07, true);
    EXPECT_EQ(model_.Version, ver_18);
    EXPECT_FALSE(model_.Temp);
    EXPECT_FALSE(model_.Counters);
    EXPECT_FALSE(model_.BSRC);
    EXPECT_FALSE(model_.BatterySourceEnable);
    EXPECT_EQ(model_.BacklightMax, 5);
    EXPECT_TRUE(model_.RCNT);  // from the auto-reset check box
}

TEST_F(Identification, ShortReplyStoresOnlyWhatArrived) {
    TKRRegisters regs = {1234, 567};
    set_.MODEL = 5015;
    const TIdentification id = Identify(regs, false, set_, model_, limits_);
    EXPECT_EQ(set_.USET, 1234u);
    EXPECT_EQ(set_.ISET, 567u);
    EXPECT_EQ(set_.MODEL, 5015u);
    EXPECT_TRUE(id.Accepted);
}

TEST_F(Identification, WorksOnTheGivenLimitsSetOnly) {
    TModelLimits local;
    Identify(IdentRegs(3003, 45, 0), false, set_, model_, local);
    EXPECT_EQ(local.MaxIset, 3100u);
    EXPECT_EQ(limits_.MaxIset, 2010u);
}

struct TAcceptCase {
    uint16_t model;
    bool accepted;
};
class AcceptedModels : public ::testing::TestWithParam<TAcceptCase> {};

TEST_P(AcceptedModels, OnlyTheListedModelsStartASession) {
    EXPECT_EQ(IsAcceptedModel(GetParam().model), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Models, AcceptedModels,
    ::testing::Values(TAcceptCase{3003, true}, TAcceptCase{3005, true}, TAcceptCase{3010, false},
                      TAcceptCase{3012, true}, TAcceptCase{5005, true}, TAcceptCase{5015, true},
                      TAcceptCase{5020, true}, TAcceptCase{6012, true}, TAcceptCase{8005, true},
                      TAcceptCase{0, false}, TAcceptCase{5016, false}),
    [](const auto& AInfo) { return "Model" + std::to_string(AInfo.param.model); });

struct TTitleCase {
    uint16_t version;
    uint16_t state;
    const char* title;
};
class Titles : public ::testing::TestWithParam<TTitleCase> {};

TEST_P(Titles, PrefixVersionAndSuffixes) {
    EXPECT_EQ(ModelTitle(ModelPrefix(GetParam().version, GetParam().state), 5020,
                         GetParam().version, GetParam().state),
              GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, Titles,
    ::testing::Values(
        TTitleCase{42, 0x06, "DPS5020 ver. 4.2GT"}, TTitleCase{42, 0x04, "DPS5020 ver. 4.2G"},
        TTitleCase{41, 0x06, "DPS5020 ver. 4.1"},  // suffixes from 42 on
        TTitleCase{43, 0x10, "WZ5020 ver. 4.3"}, TTitleCase{42, 0x10, "DPS5020 ver. 4.2"},
        TTitleCase{45, 0x20, "KORAD5020 ver. 4.5"}, TTitleCase{44, 0x20, "DPS5020 ver. 4.4"},
        TTitleCase{46, 0x30, "WZ5020 ver. 4.6"},  // WZ wins over KORAD
        TTitleCase{123, 0x02, "DPS5020 ver. 1.23T"}, TTitleCase{0, 0x00, "DPS5020 ver. 0.0"},
        TTitleCase{0xF000, 0x06, "DPS5020 ver. 0.0"}),
    [](const auto& AInfo) {
        char name[32];
        std::snprintf(name, sizeof(name), "Ver%u_State0x%02X", unsigned{AInfo.param.version},
                      unsigned{AInfo.param.state});
        return std::string(name);
    });

struct TVersionCase {
    uint32_t version;
    uint32_t major;
    uint32_t minor;
};
class VersionDisplay : public ::testing::TestWithParam<TVersionCase> {};

TEST_P(VersionDisplay, LeadingDigitIsMajorTheRestMinor) {
    const TVersionNumber n = SplitVersion(GetParam().version);
    EXPECT_EQ(n.Major, GetParam().major);
    EXPECT_EQ(n.Minor, GetParam().minor);
}

INSTANTIATE_TEST_SUITE_P(
    Values, VersionDisplay,
    ::testing::Values(TVersionCase{45, 4, 5}, TVersionCase{0x102D, 4, 5}, TVersionCase{123, 1, 23},
                      TVersionCase{100, 1, 0}, TVersionCase{7, 7, 0}, TVersionCase{10, 1, 0},
                      TVersionCase{4095, 4, 95}, TVersionCase{0, 0, 0}, TVersionCase{0x5000, 0, 0}),
    [](const auto& AInfo) { return "Ver" + std::to_string(AInfo.param.version); });

}  // namespace
