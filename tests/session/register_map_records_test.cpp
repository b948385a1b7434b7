#include <gtest/gtest.h>

#include <string>

#include "device/register_codec.h"
#include "link/kr_types.h"
#include "session/calib_command.h"
#include "session/color_helpers.h"
#include "session/request_table.h"

namespace {

TEST(RegisterMirror, ReplyEntriesLandInRegisterOrder) {
    TCurrentSet s;
    StoreRegisters(s, 33, {1, 2, 25, 4, 5, 6, 7});
    EXPECT_EQ(s.TIME_L, 1);
    EXPECT_EQ(s.TIME_H, 2);
    EXPECT_EQ(s.MEM, 25);  // stored raw; StoredMemNum is the session's filter
    EXPECT_EQ(s.AHCNT_L, 4);
    EXPECT_EQ(s.WHCNT_H, 7);
    EXPECT_EQ(TimeCounter(s), 0x00020001u);
    EXPECT_EQ(ChargeCounter(s), 0x00050004u);
    EXPECT_EQ(EnergyCounter(s), 0x00070006u);

    StoreRegisters(s, 16, TKRRegisters(15, 0xFFFF));
    EXPECT_EQ(s.MGIC, 0xFFFFu);
    EXPECT_EQ(s.CLR3, 0xFFFFu);
    EXPECT_EQ(s.BEEP, 0u);  // register 31 is outside the read
}

TEST(RegisterMirror, EntriesPastRegister47AreIgnored) {
    TCurrentSet s;
    StoreRegisters(s, 46, {9, 8, 7, 6});
    EXPECT_EQ(s.d47, 9);
    EXPECT_EQ(s.d48, 8);
    EXPECT_EQ(GetRegister(s, 48), 0u);
    StoreRegisters(s, 400, {1});  // nothing of the mirror
    EXPECT_EQ(GetRegister(s, 0), 10u);
}

TEST(RegisterMirror, WritesCarryTheLow16BitsOfWideFields) {
    TCurrentSet s;
    s.USET = 0x12345;
    s.ISET = 1510;
    EXPECT_EQ(RegistersOf(s, 0, 2), (TKRRegisters{0x2345, 1510}));
}

TEST(MemoryPresets, BlockAddressesAndStoredNumber) {
    EXPECT_EQ(MemoryBlockStart(0), 80);
    EXPECT_EQ(MemoryBlockStart(19), 384);
    EXPECT_EQ(StoredMemNum(19), 19);
    EXPECT_EQ(StoredMemNum(20), 0);
    EXPECT_EQ(StoredMemNum(25), 0);
    EXPECT_EQ(MemoryBlockStart(StoredMemNum(25)), 80);
}

TEST(MemoryPresets, NineRegistersRoundTrip) {
    TMemorySet m;
    const TKRRegisters regs = {500, 1000, 5100, 1510, 7750, 4, 0x8001, 1, 5999};
    StoreMemoryRegisters(m, regs);
    EXPECT_EQ(m.SOPP, 7750u);
    EXPECT_EQ(m.OTIM, 5999u);
    EXPECT_EQ(MemoryRegisters(m), regs);
}

TEST(Calibration, PointsAreValueLowHighThenADCAndDAC) {
    TKRRegisters regs(kCalibRegisters);
    for (size_t i = 0; i < regs.size(); ++i)
        regs[i] = static_cast<uint16_t>(0x100 + i);
    TCalibData d;
    StoreCalibRegisters(d, regs);
    EXPECT_EQ(d.Uin1.Value, 0x01010100u);
    EXPECT_EQ(d.Uin1.RowADC, 0x102);
    EXPECT_EQ(d.Uin1.RowDAC, 0x103);
    EXPECT_EQ(d.Tmp2.Value, 0x01190118u);
    EXPECT_EQ(d.Tmp2.RowDAC, 0x11B);
    EXPECT_EQ(CalibRegisters(d), regs);
}

TEST(Calibration, ShortReplyFillsOnlyWhatArrived) {
    TCalibData d;
    d.Uin2.Value = 0xAAAABBBB;
    StoreCalibRegisters(d, {1, 2, 3, 4, 5});
    EXPECT_EQ(d.Uin1.Value, 0x00020001u);
    EXPECT_EQ(d.Uin2.Value, 0xAAAA0005u);
}

TEST(CalibrationCommand, FixSendsTheValueOfTheChosenPoint) {
    TCalibData d;
    d.Uout2.Value = 0x00012345;
    TCurrentSet s;
    PrepareCalibCmd(s, d, calib_mode_fix, 4, 0xFFFF);
    EXPECT_EQ(s.CLB_CMD, 2);
    EXPECT_EQ(s.CLB_IDX, 4);
    EXPECT_EQ(s.CLB_DATA_L, 0x2345);
    EXPECT_EQ(s.CLB_DATA_H, 0x0001);
    EXPECT_EQ(RequestValues(srWriteCalibCmd, s, {}), (TKRRegisters{2, 4, 0x2345, 1}));

    PrepareCalibCmd(s, d, calib_mode_fix, 8, 0xFFFF);  // no such point
    EXPECT_EQ(s.CLB_DATA_L, 0);
    EXPECT_EQ(s.CLB_DATA_H, 0);
}

TEST(CalibrationCommand, OtherModesSendTheLowWordOfTheData) {
    TCurrentSet s;
    s.CLB_DATA_H = 7;
    PrepareCalibCmd(s, {}, calib_mode_start, 6, 0x00031500);
    EXPECT_EQ(s.CLB_CMD, 1);
    EXPECT_EQ(s.CLB_IDX, 6);
    EXPECT_EQ(s.CLB_DATA_L, 0x1500);
    EXPECT_EQ(s.CLB_DATA_H, 0);
    PrepareCalibCmd(s, {}, calib_mode_exit, 0, 0);
    EXPECT_EQ(s.CLB_CMD, 4);
}

TEST(RequestTable, PresetRequestsFollowTheSelectedPreset) {
    TCurrentSet s;
    s.MEM = 19;
    EXPECT_EQ(RequestStart(srReadMemory, s), 384);
    EXPECT_EQ(RequestStart(srWriteMemory, s), 384);
    EXPECT_EQ(RequestStart(srReadGlobalData, s), 16);
    EXPECT_EQ(RequestDecl(srReadMemory).Count, 9);
}

TEST(RequestTable, EveryRequestFitsOneFrame) {
    // Reads stay within what an 8-bit reply length can carry in every framing (28 registers
    // is the largest the session asks for).
    for (int r = 0; r < srCount; ++r) {
        const TRequestDecl& entry = RequestDecl(static_cast<TSessionRequest>(r));
        EXPECT_LE(entry.Count, 28) << entry.Job;
        EXPECT_TRUE(entry.Func == 3 || entry.Func == 6 || entry.Func == 16) << entry.Job;
        if (entry.Func == 6) {
            EXPECT_EQ(entry.Count, 1) << entry.Job;
        }
    }
}

TEST(RequestTable, WriteValuesComeFromTheRecords) {
    TCurrentSet s;
    s.USET = 1200;
    s.ISET = 1500;
    s.BLED = 4;
    s.CMD = 4;
    s.MEM = 3;
    for (uint16_t r = 20; r <= 30; ++r)
        SetRegister(s, r, r);
    TMemorySet m;
    m.USET = 330;
    EXPECT_EQ(RequestValues(srWriteSetData, s, m), (TKRRegisters{1200, 1500}));
    EXPECT_EQ(RequestValues(srWriteBled, s, m), (TKRRegisters{4}));
    EXPECT_EQ(RequestValues(srWriteCommand, s, m), (TKRRegisters{4}));
    EXPECT_EQ(RequestValues(srWriteJumpBoot, s, m), (TKRRegisters{1234}));
    EXPECT_EQ(RequestValues(srWriteMemNum, s, m), (TKRRegisters{3}));
    EXPECT_EQ(RequestValues(srWriteMemory, s, m).front(), 330);
    EXPECT_EQ(RequestValues(srWriteMemory, s, m).size(), 9u);
    EXPECT_EQ(RequestValues(srWriteGlobalData, s, m),
              (TKRRegisters{20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30}));
    EXPECT_EQ(RequestValues(srWriteOnOff, s, m, true), (TKRRegisters{1}));
    EXPECT_EQ(RequestValues(srWriteOnOff, s, m, false), (TKRRegisters{0}));
    EXPECT_EQ(RequestValues(srKeyLock, s, m), (TKRRegisters{1}));
    EXPECT_EQ(RequestValues(srKeyRelease, s, m), (TKRRegisters{0}));
    EXPECT_TRUE(RequestValues(srReadData, s, m).empty());
}

struct TPowerCase {
    uint32_t uout;
    uint32_t iout;
    uint32_t div;
    uint32_t power;
};
class OutputPowerCases : public ::testing::TestWithParam<TPowerCase> {};

TEST_P(OutputPowerCases, HundredthsOfAWattRoundedToNearest) {
    const TPowerCase& c = GetParam();
    EXPECT_EQ(OutputPower(c.uout, c.iout, c.div), c.power);
}

INSTANTIATE_TEST_SUITE_P(Scales, OutputPowerCases,
                         ::testing::Values(TPowerCase{1200, 1500, 10, 1800},  // 12 V x 1.500 A
                                           TPowerCase{1200, 150, 1, 1800},    // 12 V x 1.50 A
                                           TPowerCase{1, 50, 1, 1}, TPowerCase{1, 49, 1, 0},
                                           TPowerCase{1, 500, 10, 1}, TPowerCase{1, 499, 10, 0},
                                           TPowerCase{65535, 65535, 1,
                                                      42948362},  // no 32-bit overflow
                                           TPowerCase{65535, 65535, 10, 4294836}),
                         [](const auto& AInfo) {
                             const TPowerCase& c = AInfo.param;
                             return std::to_string(c.uout) + "_" + std::to_string(c.iout) + "_Div" +
                                    std::to_string(c.div);
                         });

TEST(DisplayColours, SevenPureColoursSnapToFullIntensity) {
    EXPECT_EQ(RGB565ToColor(0xF800), 0x0000FFu);
    EXPECT_EQ(RGB565ToColor(0x07E0), 0x00FF00u);
    EXPECT_EQ(RGB565ToColor(0x001F), 0xFF0000u);
    EXPECT_EQ(RGB565ToColor(0xFFE0), 0x00FFFFu);
    EXPECT_EQ(RGB565ToColor(0x07FF), 0xFFFF00u);
    EXPECT_EQ(RGB565ToColor(0xF81F), 0xFF00FFu);
    EXPECT_EQ(RGB565ToColor(0xFFFF), 0xFFFFFFu);
    EXPECT_EQ(RGB565ToColor(0x0000), 0x000000u);
}

TEST(DisplayColours, OtherColoursKeepTheirUnscaledChannels) {
    EXPECT_EQ(RGB565ToColor(0x8410), 0x808080u);
    EXPECT_EQ(RGB565ToColor(0xF810), 0x8000F8u);  // full red with half blue is not pure
    EXPECT_EQ(RGB565ToColor(0x07E1), 0x08FC00u);
}

TEST(DisplayColours, ScreenToDeviceTakesTheTopBits) {
    EXPECT_EQ(ColorToRGB565(0x0000FF), 0xF800);
    EXPECT_EQ(ColorToRGB565(0x00FF00), 0x07E0);
    EXPECT_EQ(ColorToRGB565(0xFF0000), 0x001F);
    EXPECT_EQ(ColorToRGB565(0x070307), 0x0000);
    // Every device colour survives the trip to the screen and back.
    for (uint32_t w = 0; w <= 0xFFFF; ++w)
        ASSERT_EQ(ColorToRGB565(RGB565ToColor(static_cast<uint16_t>(w))), w);
}

TEST(DisplayColours, HalfColourTruncatesEachChannel) {
    EXPECT_EQ(HalfColor(0xFFFFFF), 0x7F7F7Fu);
    EXPECT_EQ(HalfColor(0x030201), 0x010100u);
    EXPECT_EQ(HalfColor(0xFF000000u | 0x020202), 0x010101u);  // no byte above blue
}

TEST(FlagWords, SetAndClearOnlyTheMask) {
    EXPECT_EQ(SetFlagBit(0x8000, 0x0001, true), 0x8001u);
    EXPECT_EQ(SetFlagBit(0x800F, 0x0006, false), 0x8009u);
    EXPECT_EQ(SetFlagBit(0x0004, 0x0004, true), 0x0004u);
}

}  // namespace
