#include <gtest/gtest.h>

#include "device/firmware_version.h"

namespace {

TCurrentSet Unit(uint32_t version, uint32_t pver = 0, uint32_t mgic = 0) {
    TCurrentSet s;
    s.MODEL = 5015;
    s.DVID = 5015;
    s.VERSION = version;
    s.PVER = pver;
    s.MGIC = mgic;
    return s;
}

struct TClassCase {
    const char* name;
    uint32_t version;
    uint32_t pver;
    uint32_t mgic;
    TVersion expected;
};

class FirmwareClasses : public ::testing::TestWithParam<TClassCase> {};

TEST_P(FirmwareClasses, FromVersionMarkAndProtocolVersion) {
    const TClassCase& c = GetParam();
    TModel model;
    ClassifyFirmware(Unit(c.version, c.pver, c.mgic), model);
    EXPECT_EQ(model.Version, c.expected);
    EXPECT_EQ(FirmwareClass(Unit(c.version, c.pver, c.mgic)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, FirmwareClasses,
    ::testing::Values(
        TClassCase{"Stock35", 35, 0, 0, ver_18}, TClassCase{"V36", 36, 0, 0, ver_36},
        TClassCase{"V39", 39, 0, 0, ver_36}, TClassCase{"V40", 40, 0, 19082, ver_40},
        TClassCase{"V41Marked", 41, 0, 19082, ver_4Z},
        TClassCase{"V41OtherMark", 41, 0, 19083, ver_40},
        TClassCase{"V42Marked", 42, 0, 19082, ver_42}, TClassCase{"V43Pver44", 43, 44, 0, ver_43},
        TClassCase{"V50Pver0", 50, 0, 0, ver_43}, TClassCase{"Pver45", 45, 45, 0, ver_45},
        TClassCase{"Pver46", 45, 46, 0, ver_46}, TClassCase{"Pver47", 45, 47, 0, ver_New},
        TClassCase{"UpperNibbleIgnored", 0x102D, 45, 0, ver_45},
        TClassCase{"UpperNibbleNotAVersion", 0xF020, 45, 0, ver_18}),
    [](const ::testing::TestParamInfo<TClassCase>& info) { return std::string(info.param.name); });

TEST(FirmwareClassification, ForeignDeviceIdentityStaysStockAndChangesNothingElse) {
    TCurrentSet s = Unit(45, 45);
    s.DVID = 5020;
    s.PARAM = 0x0F;
    s.STATE = 0x27;
    TModel model;
    model.Version = ver_46;
    model.BacklightMax = 5;
    model.TempSensorEnable = true;
    const TClassification r = ClassifyFirmware(s, model);
    EXPECT_FALSE(r.Extended);
    EXPECT_EQ(model.Version, ver_18);
    EXPECT_FALSE(model.Temp);
    EXPECT_FALSE(model.BSRC);
    EXPECT_FALSE(model.Counters);
    EXPECT_FALSE(model.Korad);
    EXPECT_EQ(model.BacklightMax, 5);
}

TEST(FirmwareClassification, OptionBitsFromPARAMFromClass42On) {
    TCurrentSet s = Unit(42);
    s.PARAM = 0x0A;  // battery source, auto reset
    s.BCKL = 1;      // would be Fahrenheit below ver_42
    s.d25 = 1;
    TModel model;
    ClassifyFirmware(s, model);
    EXPECT_TRUE(model.BSRC);
    EXPECT_TRUE(model.RCNT);
    EXPECT_FALSE(model.CF);
    EXPECT_FALSE(model.SMART);

    s.PARAM = 0x05;
    ClassifyFirmware(s, model);
    EXPECT_FALSE(model.BSRC);
    EXPECT_FALSE(model.RCNT);
    EXPECT_TRUE(model.CF);
    EXPECT_TRUE(model.SMART);
}

TEST(FirmwareClassification, OptionFlagsSpreadOverRegistersBelowClass42) {
    TCurrentSet s = Unit(40);
    s.PARAM = 0x8001;  // battery source flag, written as 0x8000 + flag
    s.PVER = 0x8001;   // auto reset
    s.BCKL = 0x8000;   // Celsius
    s.d25 = 0x8001;    // smart tracking
    TModel model;
    ClassifyFirmware(s, model);
    EXPECT_EQ(model.Version, ver_40);
    EXPECT_TRUE(model.BSRC);
    EXPECT_TRUE(model.RCNT);
    EXPECT_FALSE(model.CF);
    EXPECT_TRUE(model.SMART);
}

TEST(FirmwareClassification, TemperatureFromModelTableBelow42AndFromStateAfter) {
    TModel model;
    model.TempSensorEnable = true;
    TCurrentSet s = Unit(40);
    s.STATE = 0;
    TClassification r = ClassifyFirmware(s, model);
    EXPECT_TRUE(model.Temp);
    EXPECT_TRUE(r.Tmp2CalibEnabled);

    s = Unit(45, 45);
    s.STATE = 0x04;  // measurement present, no second calibration point
    r = ClassifyFirmware(s, model);
    EXPECT_TRUE(model.Temp);
    EXPECT_FALSE(r.Tmp2CalibEnabled);
    s.STATE = 0x01;
    r = ClassifyFirmware(s, model);
    EXPECT_TRUE(r.Tmp2CalibEnabled);
    s.STATE = 0x08;
    ClassifyFirmware(s, model);
    EXPECT_FALSE(model.Temp);
}

TEST(FirmwareClassification, CountersBacklightAndBatteryByClass) {
    struct TCase {
        TCurrentSet set;
        TVersion cls;
        bool counters;
        int backlight;
        bool battery;
    };
    const TCase cases[] = {
        {Unit(36), ver_36, false, 5, true},    {Unit(41, 0, 19082), ver_4Z, true, 5, false},
        {Unit(40), ver_40, false, 5, true},    {Unit(42), ver_42, false, 6, true},
        {Unit(43, 44), ver_43, true, 6, true}, {Unit(45, 46), ver_46, true, 6, true},
    };
    for (const TCase& c : cases) {
        TModel model;
        ClassifyFirmware(c.set, model);
        EXPECT_EQ(model.Version, c.cls);
        EXPECT_EQ(model.Counters, c.counters) << int(c.cls);
        EXPECT_EQ(model.BacklightMax, c.backlight) << int(c.cls);
        EXPECT_EQ(model.BatterySourceEnable, c.battery) << int(c.cls);
    }
}

TEST(FirmwareClassification, KoradNeedsClassAbove45AndStateBit5) {
    TModel model;
    TCurrentSet s = Unit(46, 46);
    s.STATE = 0x20;
    TClassification r = ClassifyFirmware(s, model);
    EXPECT_TRUE(model.Korad);
    EXPECT_FALSE(model.BatterySourceEnable);
    EXPECT_FALSE(r.InputVoltageShown);
    EXPECT_TRUE(r.CounterResetEnabled);

    s.PVER = 45;
    r = ClassifyFirmware(s, model);
    EXPECT_FALSE(model.Korad);
    EXPECT_TRUE(model.BatterySourceEnable);
    EXPECT_TRUE(r.InputVoltageShown);
    EXPECT_FALSE(r.CounterResetEnabled);
    EXPECT_TRUE(r.PresetTriggers);
}

TEST(FirmwareClassification, VersionNoticeBelow43AndForUnknownNewClasses) {
    EXPECT_TRUE(VersionNoticeDue(ver_18));
    EXPECT_TRUE(VersionNoticeDue(ver_42));
    EXPECT_FALSE(VersionNoticeDue(ver_43));
    EXPECT_FALSE(VersionNoticeDue(ver_46));
    EXPECT_TRUE(VersionNoticeDue(ver_New));
}

}  // namespace
