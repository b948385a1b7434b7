// Memory presets against the virtual supply: visibility by MMAX, selection of M presets and
// charge profiles, Save per firmware class, the long press, a failed selection, and the block
// operations by number that the command line uses.

#include <gtest/gtest.h>

#include "tests/session/preset_harness.h"

using presettest::PresetReg;
using presettest::TPresetSession;

namespace {

void AllPresets(VirtualSupply& ASup) {
    ASup.SetRegister(simreg::MMAX, 20);
}

TEST(PresetVisibility, TwelvePresetsShowMZeroToNineAndCZeroAndOne) {
    TPresetSession s("ver_46", 5015,
                     [](VirtualSupply& ASup) { ASup.SetRegister(simreg::MMAX, 12); });
    ASSERT_TRUE(s.Connect());
    EXPECT_EQ(s.h.view.panel.MemoryButtonsVisible, 12);
    EXPECT_EQ(s.presets->PresetCount(), 12u);
    EXPECT_EQ(s.pv.maxMemory, 12u);
}

TEST(PresetVisibility, StockFirmwareKeepsTenButtonsWhateverTheRegisterHolds) {
    // The global block of a ver_18 unit is never read.
    TPresetSession s("ver_18", 5015,
                     [](VirtualSupply& ASup) { ASup.SetRegister(simreg::MMAX, 12); });
    ASSERT_TRUE(s.Connect());
    EXPECT_EQ(s.h.view.panel.MemoryButtonsVisible, 10);
    EXPECT_EQ(s.pv.caption, "M0 Settings");
}

TEST(PresetSelect, ChargeProfileShowsTheBarAndLocksTheVoltage) {
    TPresetSession s("ver_46", 5015, AllPresets);
    ASSERT_TRUE(s.Connect());
    EXPECT_TRUE(s.pv.controls.VoltageKnobVisible);
    s.presets->ToolButtonClick(12);  // C2
    // At once: the row and the controls wait, the voltage belongs to the profile.
    EXPECT_FALSE(s.h.view.panel.MemoryButtonsEnabled);
    EXPECT_EQ(s.h.view.panel.MemoryButtonDown, 12);
    EXPECT_FALSE(s.h.view.panel.PresetControlsEnabled);
    EXPECT_FALSE(s.h.view.panel.UsetIndEnabled);
    EXPECT_FALSE(s.pv.controls.VoltageKnobVisible);
    EXPECT_TRUE(s.presets->Pending());

    ASSERT_TRUE(s.h.WaitFor([&] { return s.pv.caption == "C2 Profile"; }));
    EXPECT_EQ(s.h.supply->Register(simreg::MEM), 12);
    EXPECT_TRUE(s.h.view.panel.MemoryButtonsEnabled);
    EXPECT_TRUE(s.h.view.panel.PresetControlsEnabled);
    EXPECT_FALSE(s.h.view.panel.UsetIndEnabled);
    EXPECT_TRUE(s.h.view.panel.IsetIndEnabled);
    EXPECT_EQ(s.pv.editors.Values[0], 1260u);  // three cells of 4.20 V
    ASSERT_TRUE(s.h.WaitFor([&] { return s.h.view.chargeBarVisible; }));
    EXPECT_EQ(s.h.view.chargeBarLabel, "Charge Lithium Battery 3 Cell(s)");
    // ver_46 may edit charge profiles.
    EXPECT_TRUE(s.pv.controls.UsetEdit);
    EXPECT_TRUE(s.pv.controls.PresetSave);

    s.params->UpDownCheckBoxClick(true);
    EXPECT_FALSE(s.pv.controls.VoltageArrowsVisible);
    EXPECT_TRUE(s.pv.controls.CurrentArrowsVisible);
}

TEST(PresetSelect, ChargeProfileOfOldFirmwareCannotBeEdited) {
    TPresetSession s("ver_40", 5015, AllPresets);
    ASSERT_TRUE(s.Connect());
    ASSERT_TRUE(s.Select(10));
    EXPECT_EQ(s.pv.caption, "C0 Settings");
    EXPECT_FALSE(s.pv.controls.UsetEdit);
    EXPECT_FALSE(s.pv.controls.PresetSave);
    EXPECT_FALSE(s.pv.controls.TimerEdit);
    EXPECT_FALSE(s.pv.controls.DefaultOnStart);  // ver_36 to ver_4Z
    EXPECT_TRUE(s.pv.controls.Refresh);
    EXPECT_FALSE(s.pv.controls.VoltageKnobVisible);
    EXPECT_NE(s.presets->SaveBlock(10, {.Iset = 100}, {}), QString());
}

TEST(PresetSelect, FailedMemoryNumberWriteGivesTheRowBack) {
    TPresetSession s("ver_46");
    ASSERT_TRUE(s.Connect());
    bool done = false, ok = true;
    SimFaults refuse;
    refuse.exceptionCode = 4;
    s.h.supply->SetFaults(refuse);
    ASSERT_EQ(s.presets->SelectPreset(2, [&](bool AOk) { done = true, ok = AOk; }), QString());
    ASSERT_TRUE(s.h.WaitFor([&] { return !s.presets->Pending(); }));
    s.h.supply->SetFaults({});
    EXPECT_TRUE(done);
    EXPECT_FALSE(ok);
    // The user can choose again; the button stays as pressed.
    EXPECT_TRUE(s.h.view.panel.MemoryButtonsEnabled);
    EXPECT_EQ(s.h.view.panel.MemoryButtonDown, 2);
    EXPECT_EQ(s.h.supply->Register(simreg::MEM), 0);
    // The session goes on and a new choice works.
    ASSERT_TRUE(s.Select(3));
    EXPECT_EQ(s.h.supply->Register(simreg::MEM), 3);
    EXPECT_TRUE(s.h.core->Connected());

    // A new session starts with the row usable.
    s.h.core->DisconnectBtnClick();
    EXPECT_FALSE(s.h.view.panel.MemoryButtonsEnabled);
    ASSERT_TRUE(s.Connect());
    EXPECT_TRUE(s.h.view.panel.MemoryButtonsEnabled);
}

TEST(PresetSelect, ClicksWithoutSessionDoNothing) {
    TPresetSession s("ver_46");
    s.presets->ToolButtonClick(3);
    s.presets->M_SaveBtnClick();
    s.presets->LongPress(0);
    EXPECT_EQ(s.h.core->Data().MEM, 0);
    EXPECT_TRUE(s.pv.confirms.isEmpty());
    EXPECT_EQ(s.presets->SelectPreset(3), "Not connected");
    EXPECT_EQ(s.presets->ReadBlock(3, {}), "Not connected");
}

// --- Save per class -------------------------------------------------------------------------

struct SaveCase {
    const char* cls;
    uint16_t prfs;        // flag word written
    bool command;         // preset-saved command sent
    const char* caption;  // panel caption of M3
};

class PresetSave : public ::testing::TestWithParam<SaveCase> {};

TEST_P(PresetSave, WritesFlagsPerClassThenTheCommand) {
    const SaveCase c = GetParam();
    TPresetSession s(c.cls);
    ASSERT_TRUE(s.Connect());
    ASSERT_TRUE(s.Select(3));
    EXPECT_EQ(s.pv.caption, c.caption);
    // An edited voltage equal to the live one is still written as the live setting.
    s.h.core->U_KnobChange(750);
    ASSERT_TRUE(s.h.WaitFor([&] { return s.h.supply->Register(simreg::USET) == 750; }));
    s.h.core->Memory().USET = 750;
    s.presets->EditorClosed();
    s.presets->DefaultOnStartClick(true);
    s.presets->OvpTriggerClick(true);
    s.presets->OcpTriggerClick(true);
    const uint32_t saves = s.h.supply->PresetSaves();
    s.h.supply->ClearWrites();
    s.presets->M_SaveBtnClick();

    // The set values are written last of the three jobs.
    ASSERT_TRUE(s.h.WaitFor([&] { return s.WriteIndex(simreg::USET) >= 0; }));
    const int block = s.WriteIndex(PresetReg(3, simreg::P_PRFS));
    ASSERT_GE(block, 0);
    EXPECT_EQ(s.WrittenValue(block, PresetReg(3, simreg::P_PRFS)), c.prfs);
    EXPECT_EQ(s.WrittenValue(block, PresetReg(3, simreg::P_USET)), 750);
    EXPECT_EQ(s.WrittenValue(s.WriteIndex(simreg::USET), simreg::USET), 750);
    const int command = s.WriteIndex(simreg::CMD);
    if (c.command) {
        ASSERT_GT(command, block);
        EXPECT_EQ(s.WrittenValue(command, simreg::CMD), 2);
        EXPECT_EQ(s.h.supply->PresetSaves(), saves + 1);
    } else {
        EXPECT_EQ(command, -1);
    }
    const bool triggers = std::string(c.cls) >= "ver_45";
    EXPECT_EQ(s.presets->Status(), (TPresetStatus{triggers, triggers, triggers}));
}

INSTANTIATE_TEST_SUITE_P(Classes, PresetSave,
                         ::testing::Values(SaveCase{"ver_45", 7, true, "M3 Profile"},
                                           SaveCase{"ver_40", 0x8001, false, "M3 Settings"},
                                           SaveCase{"ver_43", 1, true, "M3 Profile"},
                                           SaveCase{"ver_18", 1, false, "M3 Settings"}),
                         [](const auto& AInfo) { return std::string(AInfo.param.cls); });

TEST(PresetPanel, TickedBoxesSurviveAnEditAndReachTheSupply) {
    TPresetSession s("ver_18");
    ASSERT_TRUE(s.Connect());
    ASSERT_TRUE(s.pv.controls.PowerOnStart);
    s.presets->PowerOnStartClick(true);
    s.h.core->Memory().OTIM = 90;
    s.presets->EditorClosed();
    EXPECT_TRUE(s.presets->Checks().PowerOnStart);
    EXPECT_EQ(s.pv.editors.Values[5], 90u);
    s.presets->M_SaveBtnClick();
    ASSERT_TRUE(
        s.h.WaitFor([&] { return s.h.supply->Register(PresetReg(0, simreg::P_SINI)) == 1; }));
    EXPECT_EQ(s.h.supply->Register(PresetReg(0, simreg::P_OTIM)), 90);
}

TEST(PresetPanel, ChoosingAnotherPresetWithUnsavedEditsAsksFirst) {
    TPresetSession s("ver_46");
    ASSERT_TRUE(s.Connect());
    ASSERT_TRUE(s.Select(3));
    EXPECT_TRUE(s.pv.editors.ProtectionTriggersShown) << "levels and their On boxes";
    // Nothing edited: no question.
    ASSERT_TRUE(s.Select(4));
    EXPECT_TRUE(s.pv.confirms.isEmpty());

    // An edited level, answered No: the preset stays, the row shows it again.
    s.h.core->Memory().SOVP = 1234;
    s.presets->EditorClosed();
    s.pv.confirmAnswer = false;
    s.presets->ToolButtonClick(7);
    EXPECT_EQ(s.pv.confirms,
              QStringList{"M4 has changes that are not saved.\rSwitch to M7 and drop them?"});
    EXPECT_EQ(s.h.core->Data().MEM, 4u);
    EXPECT_EQ(s.h.core->Panel().MemoryButtonDown, 4);
    EXPECT_EQ(s.h.core->Memory().SOVP, 1234u);
    // A ticked box counts too; after Save nothing is asked.
    s.presets->OvpTriggerClick(!s.presets->Checks().OvpTrigger);
    s.presets->M_SaveBtnClick();
    ASSERT_TRUE(
        s.h.WaitFor([&] { return s.h.supply->Register(PresetReg(4, simreg::P_SOVP)) == 1234; }));
    s.pv.confirms.clear();
    ASSERT_TRUE(s.Select(5));
    EXPECT_TRUE(s.pv.confirms.isEmpty());

    // Answered Yes: the edits are dropped with the switch.
    s.h.core->Memory().ISET = 77;
    s.presets->EditorClosed();
    s.pv.confirmAnswer = true;
    ASSERT_TRUE(s.Select(6));
    EXPECT_EQ(s.pv.confirms.size(), 1);
    EXPECT_NE(s.h.supply->Register(PresetReg(5, simreg::P_ISET)), 77);
}

// --- long press -----------------------------------------------------------------------------

TEST(PresetLongPress, StoresTheLiveSetValuesAfterYes) {
    TPresetSession s("ver_46");
    ASSERT_TRUE(s.Connect());
    s.h.core->U_KnobChange(500);
    s.h.core->I_KnobChange(150);
    s.pv.confirmAnswer = false;
    s.presets->LongPress(0);
    ASSERT_EQ(s.pv.confirms.size(), 1);
    EXPECT_EQ(s.pv.confirms[0], "Save M0 profile ?\rU set =  5.00 V\rI set =  1.50 A");
    s.pv.confirmAnswer = true;
    s.presets->LongPress(0);
    ASSERT_TRUE(s.h.WaitFor([&] {
        return s.h.supply->Register(PresetReg(0, simreg::P_USET)) == 500 &&
               s.pv.editors.Values[0] == 500 && s.pv.editors.Values[1] == 150;
    }));
    EXPECT_EQ(s.h.supply->Register(PresetReg(0, simreg::P_ISET)), 150);
}

TEST(PresetLongPress, ChargeAndUnselectedButtonsDoNothing) {
    TPresetSession s("ver_46", 5015, AllPresets);
    ASSERT_TRUE(s.Connect());
    ASSERT_TRUE(s.Select(11));
    s.h.supply->ClearWrites();
    s.presets->LongPress(11);
    s.presets->LongPress(4);  // not the selected one
    ASSERT_TRUE(s.h.WaitPolls(5));
    EXPECT_TRUE(s.pv.confirms.isEmpty());
    EXPECT_TRUE(s.h.supply->Writes().empty());
}

// --- command line -----------------------------------------------------------------------------

TEST(PresetBlocks, ReadAndSaveByNumberLeaveTheSelectionAlone) {
    TPresetSession s("ver_46");
    ASSERT_TRUE(s.Connect());
    const TMemorySet selected = s.h.core->Memory();
    bool readDone = false;
    TMemorySet read{};
    ASSERT_EQ(s.presets->ReadBlock(15,
                                   [&](bool AOk, const TMemorySet& AB) {
                                       readDone = AOk;
                                       read = AB;
                                   }),
              QString());
    const uint32_t saves = s.h.supply->PresetSaves();
    bool saveDone = false;
    TPresetValues values;
    values.Uset = 1234;
    values.Timer = 90;
    values.OvpTrigger = true;
    ASSERT_EQ(s.presets->SaveBlock(4, values, [&](bool AOk, const TMemorySet&) { saveDone = AOk; }),
              QString());
    ASSERT_TRUE(s.h.WaitFor([&] { return readDone && saveDone; }));
    EXPECT_EQ(read.USET, 420u * 6);  // C5: six cells
    EXPECT_EQ(s.h.supply->Register(PresetReg(4, simreg::P_USET)), 1234);
    EXPECT_EQ(s.h.supply->Register(PresetReg(4, simreg::P_OTIM)), 90);
    EXPECT_EQ(s.h.supply->Register(PresetReg(4, simreg::P_PRFS)), 2);
    // Fields not given keep their value.
    EXPECT_EQ(s.h.supply->Register(PresetReg(4, simreg::P_ISET)), 100);
    ASSERT_TRUE(s.h.WaitFor([&] { return s.h.supply->PresetSaves() == saves + 1; }));
    EXPECT_EQ(s.h.supply->Register(simreg::MEM), 0);
    EXPECT_EQ(s.h.core->Memory().USET, selected.USET);
}

TEST(PresetBlocks, SavingTheSelectedPresetMakesItLive) {
    TPresetSession s("ver_46");
    ASSERT_TRUE(s.Connect());
    bool done = false;
    ASSERT_EQ(s.presets->SaveBlock(0, {.Uset = 900, .Iset = 200},
                                   [&](bool, const TMemorySet&) { done = true; }),
              QString());
    ASSERT_TRUE(s.h.WaitFor([&] {
        return done && s.h.supply->Register(simreg::USET) == 900 &&
               s.h.supply->Register(simreg::ISET) == 200;
    }));
    EXPECT_EQ(s.pv.editors.Values[0], 900u);
    EXPECT_EQ(s.h.view.uset, 900u);
}

TEST(PresetBlocks, ValuesAreCheckedAgainstModelAndFirmware) {
    TPresetSession s("ver_43");
    ASSERT_TRUE(s.Connect());
    EXPECT_EQ(s.presets->CheckValues(1, {.Uset = 5101}), "Set voltage must be 0.10 to 51.00 V");
    EXPECT_EQ(s.presets->CheckValues(1, {.Ocp = 1521}), "OCP must be 0.01 to 15.20 A");
    EXPECT_EQ(s.presets->CheckValues(1, {.Timer = 6000}), "Timer must be 0:00 to 99:59");
    EXPECT_EQ(s.presets->CheckValues(1, {.Ocp = 1520, .Timer = 0}), QString());
    EXPECT_EQ(s.presets->CheckValues(1, {.OvpTrigger = true}),
              "Protection triggers need firmware 4.5 or later");
    EXPECT_EQ(s.presets->CheckValues(12, {.Iset = 100}), "There is no preset 12");  // MMAX 10
    EXPECT_EQ(s.presets->SelectPreset(10), "There is no preset 10");
}

TEST(PresetBlocks, RefusedReadFailsTheOperationAndTheSessionGoesOn) {
    TPresetSession s("ver_46");
    ASSERT_TRUE(s.Connect());
    bool done = false, ok = true;
    SimFaults refuse;
    refuse.exceptionCode = 4;
    s.h.supply->SetFaults(refuse);
    ASSERT_EQ(s.presets->ReadBlock(5, [&](bool AOk, const TMemorySet&) { done = true, ok = AOk; }),
              QString());
    ASSERT_TRUE(s.h.WaitFor([&] { return done; }));
    s.h.supply->SetFaults({});
    EXPECT_FALSE(ok);
    bool again = false;
    ASSERT_EQ(s.presets->ReadBlock(5, [&](bool AOk, const TMemorySet&) { again = AOk; }),
              QString());
    ASSERT_TRUE(s.h.WaitFor([&] { return again; }));
    EXPECT_TRUE(s.h.core->Connected());
}

}  // namespace
