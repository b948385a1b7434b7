// Device parameters against the virtual supply: the over-heat limit in Celsius and Fahrenheit,
// Save with the encodings of each firmware class, the backlight-only save of stock firmware, the
// maximum preset number and the advanced window's colours and battery source.

#include <gtest/gtest.h>

#include <string>

#include "session/preset_rules.h"
#include "tests/session/preset_harness.h"

using presettest::TPresetSession;

namespace {

void Fahrenheit80(VirtualSupply& ASup) {
    ASup.SetRegister(simreg::PARAM, 1);  // ver_42 on: bit 0 Fahrenheit
    ASup.SetRegister(simreg::OHP, 80);
}

TEST(ParamOverHeat, FahrenheitShownAndEnteredValueCommittedInCelsius) {
    TPresetSession s("ver_45", 5015, Fahrenheit80);
    ASSERT_TRUE(s.Connect());
    EXPECT_EQ(s.pv.overHeat, 176u);
    EXPECT_EQ(s.pv.overHeatUnit, "F");
    EXPECT_TRUE(s.pv.controls.OverHeatEdit);
    *s.params->OverHeatCell() = 212;
    s.presets->EditorClosed();
    EXPECT_EQ(s.h.core->Data().OHP, 100u);
    EXPECT_EQ(s.pv.overHeat, 212u);
    s.params->P_SaveBtnClick();
    ASSERT_TRUE(s.h.WaitFor([&] { return s.h.supply->Register(simreg::OHP) == 100; }));
}

TEST(ParamOverHeat, UntouchedFahrenheitValueDoesNotDrift) {
    // 81 C shows as 177 F, which converts back to 80 C.
    TPresetSession s("ver_45", 5015, [](VirtualSupply& ASup) {
        ASup.SetRegister(simreg::PARAM, 1);
        ASup.SetRegister(simreg::OHP, 81);
    });
    ASSERT_TRUE(s.Connect());
    EXPECT_EQ(s.pv.overHeat, 177u);
    s.presets->M_RefreshBtnClick();
    s.presets->EditorClosed();
    ASSERT_TRUE(s.h.WaitPolls(5));
    EXPECT_EQ(s.h.core->Data().OHP, 81u);
}

TEST(ParamSave, FahrenheitOnVer45SetsParamBitAndWritesTheBlock) {
    TPresetSession s("ver_45");
    ASSERT_TRUE(s.Connect());
    ASSERT_TRUE(s.h.WaitFor([&] { return s.h.view.temperature == "T 25C"; }));
    EXPECT_EQ(s.pv.overHeatUnit, "C");
    s.h.supply->ClearWrites();
    s.params->CF_RadioGroupClick(true);
    s.params->P_ResetCountersCheckBoxClick(true);
    s.params->P_SaveBtnClick();
    ASSERT_TRUE(s.h.WaitFor([&] { return s.h.view.temperature == "T 77F"; }));
    EXPECT_EQ(s.h.supply->Register(simreg::PARAM) & 3, 3);
    const int block = s.WriteIndex(simreg::MMAX);
    ASSERT_GE(block, 0);
    EXPECT_EQ(s.h.supply->Writes()[static_cast<size_t>(block)].values.size(), 11u);
    EXPECT_EQ(s.pv.overHeat, 176u);  // 80 C
    EXPECT_EQ(s.pv.overHeatUnit, "F");
    EXPECT_TRUE(s.h.core->Model().CF);
    EXPECT_TRUE(s.h.core->Model().RCNT);
}

struct OldFlags {
    bool rcnt;
    bool cf;
    uint16_t pver;
    uint16_t bckl;
};

class ParamSaveVer40 : public ::testing::TestWithParam<OldFlags> {};

TEST_P(ParamSaveVer40, WritesPverAndBcklWithTheWriteMark) {
    const OldFlags f = GetParam();
    TPresetSession s("ver_40");
    ASSERT_TRUE(s.Connect());
    s.h.supply->ClearWrites();
    s.params->CF_RadioGroupClick(f.cf);
    s.params->P_ResetCountersCheckBoxClick(f.rcnt);
    s.params->P_SaveBtnClick();
    ASSERT_TRUE(s.h.WaitFor([&] { return s.WriteIndex(simreg::PVER) >= 0; }));
    const int block = s.WriteIndex(simreg::PVER);
    EXPECT_EQ(s.WrittenValue(block, simreg::PVER), f.pver);
    EXPECT_EQ(s.WrittenValue(block, simreg::BCKL), f.bckl);
    EXPECT_EQ(s.WrittenValue(block, simreg::PARAM) & 0x8000, 0x8000);
    // The supply keeps the bare flags.
    EXPECT_EQ(s.h.supply->Register(simreg::PVER), f.rcnt ? 1 : 0);
    EXPECT_EQ(s.h.supply->Register(simreg::BCKL), f.cf ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Flags, ParamSaveVer40,
                         ::testing::Values(OldFlags{false, false, 0x8000, 0x8000},
                                           OldFlags{true, true, 0x8001, 0x8001},
                                           OldFlags{true, false, 0x8001, 0x8000}),
                         [](const auto& AInfo) {
                             return std::string(AInfo.param.rcnt ? "Rcnt" : "NoRcnt") +
                                    (AInfo.param.cf ? "_Cf" : "_NoCf");
                         });

TEST(ParamSave, StockFirmwareGetsOnlyTheBacklight) {
    TPresetSession s("ver_18", 5015, [](VirtualSupply& ASup) {
        ASup.SetRegister(simreg::OHP, 95);
        ASup.SetRegister(simreg::MMAX, 7);
    });
    ASSERT_TRUE(s.Connect());
    EXPECT_FALSE(s.pv.controls.OverHeatEdit);
    EXPECT_FALSE(s.pv.controls.MaxMemoryEdit);
    s.h.supply->ClearWrites();
    s.params->P_BacklightTrackBarChange(2);
    s.params->P_SaveBtnClick();
    ASSERT_TRUE(s.h.WaitFor([&] { return s.h.supply->Register(simreg::BLED) == 2; }));
    ASSERT_TRUE(s.h.WaitPolls(5));
    EXPECT_EQ(s.WriteIndex(simreg::MMAX), -1);
    EXPECT_EQ(s.WriteIndex(simreg::OHP), -1);
    EXPECT_EQ(s.h.supply->Register(simreg::OHP), 95);
    EXPECT_EQ(s.h.supply->Register(simreg::MMAX), 7);
}

TEST(ParamMaxMemory, LoweringToFiveHidesMFiveToNineAfterThePanelUpdate) {
    TPresetSession s("ver_46");
    ASSERT_TRUE(s.Connect());
    EXPECT_EQ(s.h.view.panel.MemoryButtonsVisible, 10);
    *s.params->MaxMemoryCell() = 5;
    EXPECT_EQ(s.h.view.panel.MemoryButtonsVisible, 10);
    s.presets->EditorClosed();
    EXPECT_EQ(s.h.view.panel.MemoryButtonsVisible, 5);
    EXPECT_EQ(s.pv.maxMemory, 5u);
    s.params->P_SaveBtnClick();
    ASSERT_TRUE(s.h.WaitFor([&] { return s.h.supply->Register(simreg::MMAX) == 5; }));
}

TEST(ParamAdvanced, ColoursAndBatterySourceGoToTheSupply) {
    TPresetSession s("ver_45");
    ASSERT_TRUE(s.Connect());
    ASSERT_TRUE(s.h.core->Model().BatterySourceEnable);
    s.params->AdvancedSaved(0x0000FF, 0x00FF00, 0xFF0000, true);  // red, green, blue
    EXPECT_EQ(s.h.core->SetColorCLR(1), 0x0000FFu);
    EXPECT_EQ(s.h.view.setColor, 0x0000FFu);
    ASSERT_TRUE(s.h.WaitFor([&] { return s.h.supply->Register(simreg::CLR1) == 0xF800; }));
    EXPECT_EQ(s.h.supply->Register(simreg::CLR2), 0x07E0);
    EXPECT_EQ(s.h.supply->Register(simreg::CLR3), 0x001F);
    EXPECT_EQ(s.h.supply->Register(simreg::PARAM) & 8, 8);
}

TEST(ParamAdvanced, StockFirmwareKeepsColoursInTheProgram) {
    TPresetSession s("ver_18");
    ASSERT_TRUE(s.Connect());
    const uint16_t clr1 = s.h.supply->Register(simreg::CLR1);
    s.h.supply->ClearWrites();
    s.params->AdvancedSaved(0x0000FF, 0x00FF00, 0xFF0000, true);
    EXPECT_EQ(s.h.view.setColor, 0x0000FFu);
    ASSERT_TRUE(s.h.WaitPolls(5));
    EXPECT_TRUE(s.h.supply->Writes().empty());
    EXPECT_EQ(s.h.supply->Register(simreg::CLR1), clr1);
}

TEST(ParamCommandLine, ValuesCheckedThenSavedLikeTheButton) {
    TPresetSession s("ver_46");
    ASSERT_TRUE(s.Connect());
    EXPECT_EQ(s.params->CheckValues({.Backlight = 7}), "Backlight must be 1 to 6");
    EXPECT_EQ(s.params->CheckValues({.MaxMemory = 21}), "Number of presets must be 1 to 20");
    EXPECT_EQ(s.params->CheckValues({.Fahrenheit = true, .OverHeatCelsius = 150}),
              "Over-heat limit must be 0 to 149 C");
    EXPECT_EQ(s.params->CheckValues({.OverHeatCelsius = 31}),
              "Over-heat limit must be 32 to 300 C");
    EXPECT_EQ(s.params->SaveParameters({.OverHeatCelsius = 70, .MaxMemory = 12, .Backlight = 6}),
              QString());
    EXPECT_EQ(s.h.view.panel.MemoryButtonsVisible, 12);
    ASSERT_TRUE(s.h.WaitFor([&] {
        return s.h.supply->Register(simreg::OHP) == 70 &&
               s.h.supply->Register(simreg::MMAX) == 12 && s.h.supply->Register(simreg::BLED) == 6;
    }));
}

// --- pure rules ---------------------------------------------------------------------------

struct ControlCase {
    TVersion version;
    uint32_t mem;
    bool korad;
    bool values;      // value editors and preset save
    bool timer;       // timer editor
    bool defaultBox;  // "Default on start"
    bool powerOnBox;  // "Power on start"
    bool overHeat;    // over-heat editor
    bool triggers;    // OVP/OCP trigger boxes
};

class PresetControlRules : public ::testing::TestWithParam<ControlCase> {};

// "ver_46_Mem15_Korad": the firmware class, the preset number and the Korad flag.
std::string ControlCaseName(const ::testing::TestParamInfo<ControlCase>& AInfo) {
    static const char* const kVersions[] = {"ver_18", "ver_36", "ver_40", "ver_4Z", "ver_42",
                                            "ver_43", "ver_45", "ver_46", "ver_New"};
    const ControlCase& c = AInfo.param;
    return std::string(kVersions[c.version]) + "_Mem" + std::to_string(c.mem) +
           (c.korad ? "_Korad" : "");
}

TEST_P(PresetControlRules, EnabledStatesFollowClassAndPreset) {
    const ControlCase c = GetParam();
    const TPresetControls on = PresetControlStates({true, c.version, c.korad, c.mem, true});
    EXPECT_EQ(on.UsetEdit, c.values);
    EXPECT_EQ(on.PresetSave, c.values);
    EXPECT_EQ(on.TimerEdit, c.timer);
    EXPECT_EQ(on.DefaultOnStart, c.defaultBox);
    EXPECT_EQ(on.PowerOnStart, c.powerOnBox);
    EXPECT_EQ(on.OverHeatEdit, c.overHeat);
    EXPECT_EQ(on.OvpTrigger, c.triggers);
    EXPECT_EQ(on.Backlight, !c.korad);
    EXPECT_EQ(on.VoltageArrowsVisible, c.mem < 10);
    // Disabled as a whole, only visibility remains.
    const TPresetControls off = PresetControlStates({false, c.version, c.korad, c.mem, true});
    EXPECT_EQ(off, (TPresetControls{.VoltageKnobVisible = c.mem < 10,
                                    .VoltageArrowsVisible = c.mem < 10,
                                    .CurrentArrowsVisible = true}));
}

INSTANTIATE_TEST_SUITE_P(
    Classes, PresetControlRules,
    ::testing::Values(ControlCase{ver_18, 3, false, true, false, true, true, false, false},
                      ControlCase{ver_40, 3, false, true, true, true, false, true, false},
                      ControlCase{ver_40, 12, false, false, false, false, false, true, false},
                      ControlCase{ver_4Z, 12, false, false, false, false, false, true, false},
                      ControlCase{ver_42, 12, false, true, true, true, false, true, false},
                      ControlCase{ver_45, 3, false, true, true, true, false, true, true},
                      ControlCase{ver_46, 15, true, true, true, true, false, false, true}),
    ControlCaseName);

TEST(PresetFormatRules, ConfirmValuesCaptionsAndFlagWords) {
    EXPECT_EQ(FormatConfirmValue(500, 2), " 5.00");
    EXPECT_EQ(FormatConfirmValue(5, 2), " 0.05");
    EXPECT_EQ(FormatConfirmValue(1234, 2), "12.34");
    EXPECT_EQ(FormatConfirmValue(1500, 3), "1.500");
    EXPECT_EQ(FormatConfirmValue(10000, 2), "-----");
    EXPECT_EQ(LongPressConfirmText(7, 1200, 2500, 10),
              "Save M7 profile ?\rU set = 12.00 V\rI set = 2.500 A");
    EXPECT_EQ(PresetPanelCaption(ver_4Z, 19), "C9 Profile");
    EXPECT_EQ(PresetPanelCaption(ver_42, 0), "M0 Settings");
    EXPECT_EQ(EncodePRFS(ver_36, false, true, true), 0x8000u);
    EXPECT_EQ(EncodePRFS(ver_46, false, false, true), 4u);
    EXPECT_EQ(OverHeatCelsius(32, true), 0u);
    EXPECT_EQ(OverHeatCelsius(0, true), 0u);  // never below zero
}

}  // namespace
