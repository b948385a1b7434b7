// Presets and parameters through the window: choosing a preset on the tool bar, editing a preset
// field in the entry pop-up and saving it, the long press, charge profiles, the parameter panel.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "app/edit_box.h"
#include "app/param_panel.h"
#include "app/preset_bar.h"
#include "app/preset_panel.h"
#include "app/set_panel.h"
#include "app/side_bar.h"
#include "controls/enter_form.h"
#include "controls/indicator.h"
#include "controls/knob.h"
#include "session/presets.h"
#include "sim/sim_device.h"
#include "tests/app/window_harness.h"

using apptest::TWindowHarness;

namespace {

uint16_t PresetReg(uint16_t APreset, uint16_t AOffset) {
    return static_cast<uint16_t>(simreg::kPresetBase + simreg::kPresetSize * APreset + AOffset);
}

// Opens the entry pop-up over ABox, types ADigits from the leftmost digit and clicks away.
void TypeInto(TWindowHarness& AHarness, TEditBox* ABox, const QString& ADigits) {
    AHarness.form->EditClick(ABox);
    ASSERT_TRUE(AHarness.popup->isVisible());
    AHarness.popup->FormActivate();
    for (QChar ch : ADigits)
        AHarness.popup->FormKeyPress(ch);
    AHarness.popup->FormDeactivate();
}

// A connected window whose supply offers all twenty presets.
class WindowPresets : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(h.StartSupply());
        h.supply->SetRegister(simreg::MMAX, 20);
        h.supply->SetRegister(PresetReg(3, simreg::P_USET), 330);
        h.supply->SetRegister(PresetReg(3, simreg::P_ISET), 120);
        ASSERT_TRUE(h.Connect());
        // The global block and the selected block have arrived.
        ASSERT_TRUE(
            h.WaitFor([&] { return h.form->PresetBar()->Button(19)->isVisibleTo(h.form.get()); }));
    }

    // Presses preset ATag and waits until the panel shows its block.
    void Select(int ATag) {
        h.form->PresetBar()->Button(ATag)->click();
        ASSERT_TRUE(h.WaitFor([&] {
            return h.supply->Register(simreg::MEM) == ATag && h.form->PresetBar()->isEnabled() &&
                   h.form->PresetBar()->Button(ATag)->isEnabled() &&
                   h.form->PresetCategory()->Caption().startsWith(PresetCaption(ATag).trimmed());
        }));
    }

    TWindowHarness h;
};

}  // namespace

TEST_F(WindowPresets, ChoosingAPresetShowsItsBlock) {
    Select(3);
    EXPECT_EQ(h.form->PresetCategory()->Caption(), "M3 Profile");
    EXPECT_TRUE(h.form->PresetBar()->Button(3)->isChecked());
    EXPECT_EQ(h.form->PresetPanel()->Edit(TPresetPanel::etUset)->text(), "3.30 V");
    EXPECT_EQ(h.form->PresetPanel()->Edit(TPresetPanel::etIset)->text(), "1.20 A");
    // Choosing a preset makes its set values live.
    EXPECT_TRUE(h.WaitFor([&] { return h.form->Session().Data().USET == 330; }));
}

TEST_F(WindowPresets, EditedPresetIsSavedAndBecomesLive) {
    Select(3);
    h.form->PresetCategory()->Header()->click();
    TEditBox* uset = h.form->PresetPanel()->Edit(TPresetPanel::etUset);
    TypeInto(h, uset, "0450");
    EXPECT_EQ(uset->text(), "4.50 V");
    const uint32_t savesBefore = h.supply->PresetSaves();
    h.form->PresetPanel()->SaveBtn()->click();
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(PresetReg(3, simreg::P_USET)) == 450; }));
    // ver_46: the preset-saved command follows, and the preset is the live setting.
    EXPECT_TRUE(h.WaitFor([&] { return h.supply->PresetSaves() == savesBefore + 1; }));
    EXPECT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::USET) == 450; }));
    EXPECT_EQ(h.form->SetPanel()->UKnob()->Position(), 450);
}

TEST_F(WindowPresets, LongPressStoresTheLiveSetValuesAfterConfirmation) {
    Select(3);
    h.form->SetPanel()->UKnob()->SetPosition(777);
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::USET) == 777; }));
    QToolButton* m3 = h.form->PresetBar()->Button(3);
    // The mouse is pressed on the button that is already down and held: the timer runs.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5),
                      QPointF(m3->mapToGlobal(QPoint(5, 5))), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(m3, &press);
    ASSERT_TRUE(h.form->PresetBar()->LongPressPending());
    h.form->PresetBar()->FireLongPress();
    ASSERT_EQ(h.presenter.confirms.size(), 1);
    EXPECT_EQ(h.presenter.confirms.front(), "Save M3 profile ?\rU set =  7.77 V\rI set =  1.20 A");
    EXPECT_TRUE(h.WaitFor([&] { return h.supply->Register(PresetReg(3, simreg::P_USET)) == 777; }));
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5),
                        QPointF(m3->mapToGlobal(QPoint(5, 5))), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(m3, &release);
}

TEST_F(WindowPresets, ChargeProfileShowsTheBarAndHidesTheVoltageKnob) {
    Select(12);  // C2: three cells
    TSetPanel* set = h.form->SetPanel();
    EXPECT_EQ(h.form->PresetCategory()->Caption(), "C2 Profile");
    EXPECT_FALSE(set->UKnob()->isVisibleTo(h.form.get()));
    EXPECT_FALSE(set->UsetInd().Enabled());
    ASSERT_TRUE(h.WaitFor([&] { return set->ChargeBar()->isVisibleTo(h.form.get()); }));
    EXPECT_EQ(set->ChargeLabel()->text(), "Charge Lithium Battery 3 Cell(s)");
    Select(1);
    EXPECT_TRUE(set->UKnob()->isVisibleTo(h.form.get()));
    EXPECT_TRUE(h.WaitFor([&] { return !set->ChargeBar()->isVisibleTo(h.form.get()); }));
}

TEST_F(WindowPresets, ParametersAreSavedInTheChosenUnit) {
    TParamPanel* params = h.form->ParamPanel();
    h.form->ParamCategory()->Header()->click();
    ASSERT_TRUE(params->Fahrenheit()->isEnabled());
    params->Fahrenheit()->click();
    // Maximum memory 5: after the panel update only M0 to M4 remain.
    // From 20, digit by digit within 1..20: tens down (10), units 5 (15), tens down (5).
    h.form->EditClick(params->MaxMemEdit());
    h.popup->FormActivate();
    h.popup->FormKeyDown(Qt::Key_Down);
    h.popup->FormKeyDown(Qt::Key_Right);
    h.popup->FormKeyPress(QChar('5'));
    h.popup->FormKeyDown(Qt::Key_Left);
    h.popup->FormKeyDown(Qt::Key_Down);
    h.popup->FormDeactivate();
    EXPECT_EQ(params->MaxMemEdit()->text(), "5");
    EXPECT_TRUE(h.form->PresetBar()->Button(4)->isVisibleTo(h.form.get()));
    EXPECT_FALSE(h.form->PresetBar()->Button(5)->isVisibleTo(h.form.get()));
    params->SaveBtn()->click();
    ASSERT_TRUE(h.WaitFor([&] { return (h.supply->Register(simreg::PARAM) & 1) != 0; }));
    EXPECT_EQ(h.supply->Register(simreg::MMAX), 5);
    EXPECT_TRUE(params->OhpEdit()->text().endsWith(" F"));
    EXPECT_TRUE(h.WaitFor([&] { return h.form->SetPanel()->TempLabel()->text().endsWith("F"); }))
        << h.form->SetPanel()->TempLabel()->text().toStdString();
}

TEST(WindowPresetLock, LivePresetIsSavedOnlyWhenTheSetValuesMayChange) {
    // Output on at 5.00 V, M0 selected and stored with 10.00 V: saving it would move the live
    // output while "Unlock SET" shows.
    TWindowHarness h;
    ASSERT_TRUE(h.StartSupply());
    h.supply->SetRegister(simreg::USET, 500);
    h.supply->SetRegister(simreg::ISET, 100);
    h.supply->SetRegister(PresetReg(0, simreg::P_USET), 1000);
    h.supply->SetRegister(PresetReg(0, simreg::P_ISET), 50);
    h.supply->SetOutput(true);
    ASSERT_TRUE(h.Connect());
    TEditBox* uset = h.form->PresetPanel()->Edit(TPresetPanel::etUset);
    ASSERT_TRUE(h.WaitFor([&] { return uset->text() == "10.00 V"; }));
    QPushButton* save = h.form->PresetPanel()->SaveBtn();
    QPushButton* lock = h.form->SetPanel()->SetLockBtn();
    EXPECT_EQ(lock->text(), "Unlock SET");
    EXPECT_FALSE(save->isEnabled());
    h.supply->ClearWrites();
    h.form->Presets().M_SaveBtnClick();  // even when asked directly
    ASSERT_TRUE(h.WaitPolls(6));
    EXPECT_TRUE(h.supply->Writes().empty());
    EXPECT_EQ(h.supply->Register(simreg::USET), 500);
    // After "Unlock SET" the set values may change, and so the live preset may be saved.
    lock->click();
    ASSERT_TRUE(save->isEnabled());
    save->click();
    EXPECT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::USET) == 1000; }));
    // Locked again, Save is refused again.
    lock->click();
    EXPECT_FALSE(save->isEnabled());
}
