// The advanced settings window against the virtual supply: opening it from the parameter panel,
// colours and battery source written per firmware class on "Save" and nothing on "Cancel", and a
// calibration run (start, value typed in the entry pop-up, fix, save; exit when closed with a
// point armed; the wait window ending when the supply lowers its output).

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include "app/param_panel.h"
#include "controls/enter_form2.h"
#include "controls/indicator.h"
#include "controls/seven_segment_display.h"
#include "maintenance/advanced_form.h"
#include "maintenance/advanced_rules.h"
#include "maintenance/battery_page.h"
#include "maintenance/calibration_page.h"
#include "maintenance/color_box.h"
#include "maintenance/colors_page.h"
#include "maintenance/firmware_update_page.h"
#include "maintenance/value_panel.h"
#include "maintenance/wait_form.h"
#include "session/color_helpers.h"
#include "sim/sim_device.h"
#include "tests/app/window_harness.h"

using apptest::TWindowHarness;

namespace {

struct TCalibCmd {
    uint16_t Cmd, Idx, Low, High;
    bool operator==(const TCalibCmd&) const = default;
};

std::ostream& operator<<(std::ostream& AOut, const TCalibCmd& A) {
    return AOut << "{" << A.Cmd << "," << A.Idx << "," << A.Low << "," << A.High << "}";
}

class AdvancedWindow : public ::testing::Test {
protected:
    bool Start(const char* AClass, SimVariant AVariant = SimVariant::dps) {
        VirtualSupplyOptions o;
        SimApplyClassName(AClass, o.identity);
        o.identity.variant = AVariant;
        if (!h.StartSupply(o) || !h.Connect()) return false;
        if (!h.WaitFor([&] { return h.form->ParamPanel()->AdvancedBtn()->isEnabled(); }))
            return false;
        // Stock firmware has no global block; others are classified once it has been read.
        if (std::string(AClass) == "ver_18") return h.WaitPolls(5);
        return h.WaitFor([&] { return h.form->Session().Model().Version != ver_18; });
    }

    // Opens the window as the "Advanced" button does, without its modal loop.
    TAdvancedForm& Open() {
        TAdvancedForm& f = *h.form->AdvancedForm();
        f.Prepare();
        f.show();
        return f;
    }

    // Closes it with AButton and runs what follows the modal loop.
    void Close(TAdvancedForm& AForm, QPushButton* AButton) {
        AButton->click();
        EXPECT_FALSE(AForm.isVisible());
        AForm.Finish(AForm.result());
    }

    std::vector<TCalibCmd> CalibCommands() {
        std::vector<TCalibCmd> cmds;
        for (const SimWrite& w : h.supply->Writes()) {
            if (w.start == simreg::CLB_CMD && w.values.size() == 4)
                cmds.push_back({w.values[0], w.values[1], w.values[2], w.values[3]});
        }
        return cmds;
    }

    bool WaitCommands(size_t ACount) {
        return h.WaitFor([&] { return CalibCommands().size() >= ACount; });
    }

    TWindowHarness h;
};

TEST_F(AdvancedWindow, AdvancedButtonOpensModalWindowWithCalibrationDataRead) {
    ASSERT_TRUE(Start("ver_45"));
    TAdvancedForm* form = h.form->AdvancedForm();
    bool seen = false;
    QTimer::singleShot(0, [&] {
        seen = form->isVisible() && form->isModal();
        EXPECT_EQ(form->windowTitle(), "Advanced Parameters");
        EXPECT_EQ(form->size(), QSize(609, 429));
        // The supply's own calibration values arrive while the window is open.
        EXPECT_TRUE(h.WaitFor(
            [&] { return form->CalibrationPage()->Panel(cpUin1)->text() == " 6.000 V "; }));
        EXPECT_EQ(form->CalibrationPage()->Panel(cpIout2)->text(), " 2.000 A ");
        EXPECT_TRUE(form->TabShown(TAdvancedForm::tabCalibration));
        EXPECT_TRUE(form->TabShown(TAdvancedForm::tabBattery));
        EXPECT_FALSE(form->TabShown(TAdvancedForm::tabHelp));
        form->CalibrationPage()->HelpBtn()->click();
        EXPECT_TRUE(form->TabShown(TAdvancedForm::tabHelp));
        EXPECT_EQ(form->Tabs()->currentIndex(), TAdvancedForm::tabHelp);
        form->ColorsPage()->CancelBtn()->click();
    });
    h.form->ParamPanel()->AdvancedBtn()->click();
    EXPECT_TRUE(seen);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(AdvancedWindow, HostedPagesUpdateNoticeAndLoggingApplyClosingWithoutWrites) {
    ASSERT_TRUE(Start("ver_46"));
    h.supply->ClearWrites();
    TAdvancedForm& f = Open();
    EXPECT_TRUE(f.UpdatePage()->Memo1->toPlainText().contains(
        "WARNING: You can't update the firmware via Bluetooth or Wi-Fi !!!"));
    EXPECT_FALSE(f.UpdatePage()->OpenFileBtn->isEnabled());  // not over TCP
    QPushButton* apply = nullptr;
    for (QPushButton* b : f.LoggingArea()->findChildren<QPushButton*>())
        if (b->text() == "Apply") apply = b;
    ASSERT_NE(apply, nullptr) << "logging page not hosted";
    f.ColorsPage()->ColorBox(1)->UpdateColorBox(0x0000FF);
    Close(f, apply);
    ASSERT_TRUE(h.WaitPolls(10));
    for (const SimWrite& w : h.supply->Writes())
        EXPECT_NE(w.start, simreg::MMAX) << "global block written";
}

TEST_F(AdvancedWindow, KoradUnitGetsNoCalibration) {
    ASSERT_TRUE(Start("ver_46", SimVariant::korad));
    ASSERT_TRUE(h.form->Session().Model().Korad);
    TAdvancedForm& f = Open();
    ASSERT_TRUE(h.WaitPolls(10));
    EXPECT_FALSE(f.TabShown(TAdvancedForm::tabCalibration));
    EXPECT_FALSE(f.TabShown(TAdvancedForm::tabBattery));
    EXPECT_EQ(h.form->Session().Calib().Uin1.Value, 0u);  // never read
    Close(f, f.ColorsPage()->CancelBtn());
}

// Colours and battery source per firmware class: what "Save" leaves in the supply's registers.
struct TClassCase {
    const char* Class;
    bool Written;        // colours and battery registers reach the supply
    uint16_t ParamMask;  // PARAM bits the written global block must carry
};

class AdvancedSave : public AdvancedWindow, public ::testing::WithParamInterface<TClassCase> {};

TEST_P(AdvancedSave, ColoursAndBatterySourceByClass) {
    const TClassCase c = GetParam();
    ASSERT_TRUE(Start(c.Class));
    const uint16_t clr1 = h.supply->Register(simreg::CLR1);
    h.supply->ClearWrites();
    TAdvancedForm& f = Open();
    f.ColorsPage()->ColorBox(1)->UpdateColorBox(0x0000FF);  // red
    f.ColorsPage()->ColorBox(2)->UpdateColorBox(0x123456);  // not a named colour
    EXPECT_EQ(f.ColorsPage()->ColorBox(2)->currentText(), "RGB 123456");
    TBatteryPage& b = *f.BatteryPage();
    if (c.Written) {
        b.UseBattery()->click();
        b.CellChosen(2);  // "10 cells"
        EXPECT_EQ(b.MaxsPanel()->text(), "42.00 V ");
        EXPECT_FALSE(b.Gauge()->isHidden());
    }
    Close(f, f.ColorsPage()->SaveBtn());
    // The program takes the colours in every case.
    EXPECT_EQ(h.form->Session().SetColorCLR(1), 0x0000FFu);
    if (!c.Written) {
        ASSERT_TRUE(h.WaitPolls(10));
        EXPECT_TRUE(h.supply->Writes().empty());
        EXPECT_EQ(h.supply->Register(simreg::CLR1), clr1);
        return;
    }
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::CLR1) == 0xF800; }));
    EXPECT_EQ(h.supply->Register(simreg::CLR2), ColorToRGB565(0x123456));
    EXPECT_EQ(h.supply->Register(simreg::MAXS), 4200);
    EXPECT_EQ(h.supply->Register(simreg::MINS), 3000);
    // PARAM as written (the supply keeps only the flag of the marked word of older classes).
    uint16_t param = 0;
    for (const SimWrite& w : h.supply->Writes())
        if (w.start == simreg::MMAX && w.values.size() == 11) param = w.values[5];
    EXPECT_EQ(param & c.ParamMask, c.ParamMask);
    // The custom entry stays for the next opening.
    TAdvancedForm& again = Open();
    EXPECT_GE(again.ColorsPage()->ColorBox(2)->findText("RGB 123456"), 0);
    Close(again, again.ColorsPage()->CancelBtn());
}

INSTANTIATE_TEST_SUITE_P(Classes, AdvancedSave,
                         ::testing::Values(TClassCase{"ver_40", true, 0x8001},
                                           TClassCase{"ver_46", true, 0x0008},
                                           TClassCase{"ver_18", false, 0}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Class); });

TEST_F(AdvancedWindow, CancelKeepsEditedVoltagesInTheProgramOnly) {
    ASSERT_TRUE(Start("ver_46"));
    h.supply->ClearWrites();
    TAdvancedForm& f = Open();
    f.BatteryPage()->UseBattery()->click();
    f.BatteryPage()->CellChosen(4);  // "14 Cells"
    f.ColorsPage()->ColorBox(1)->UpdateColorBox(0x0000FF);
    Close(f, f.BatteryPage()->CancelBtn());
    EXPECT_EQ(h.form->Session().Data().MAXS, 5880u);
    ASSERT_TRUE(h.WaitPolls(10));
    for (const SimWrite& w : h.supply->Writes())
        EXPECT_NE(w.start, simreg::MMAX) << "global block written";
    EXPECT_NE(h.supply->Register(simreg::MAXS), 5880);
}

TEST_F(AdvancedWindow, CalibrationPointFixedAndSavedThenExitWhenClosedArmed) {
    ASSERT_TRUE(Start("ver_46"));
    TAdvancedForm& f = Open();
    TCalibrationPage& c = *f.CalibrationPage();
    ASSERT_TRUE(h.WaitFor([&] { return c.Panel(cpUin1)->text() == " 6.000 V "; }));
    h.supply->ClearWrites();
    c.StartBtn(cpUin1)->click();
    EXPECT_TRUE(c.Panel(cpUin1)->isEnabled());
    EXPECT_TRUE(c.ApplyBtn(cpUin1)->isEnabled());
    EXPECT_FALSE(c.ApplyBtn(cpUin2)->isEnabled());
    EXPECT_FALSE(c.SaveBtn()->isEnabled());
    // The reference meter reads 6.012 V: typed into the five-digit pop-up.
    apptest::Click(c.Panel(cpUin1));
    TEnterForm2& pop = *f.Popup5();
    ASSERT_TRUE(pop.isVisible());
    pop.FormActivate();
    for (QChar ch : QStringLiteral("06012"))
        pop.FormKeyPress(ch);
    pop.FormDeactivate();
    EXPECT_EQ(c.Panel(cpUin1)->text(), " 6.012 V ");
    c.ApplyBtn(cpUin1)->click();
    EXPECT_EQ(c.Panel(cpUin1)->Color(), 0x66FF66u);
    EXPECT_TRUE(c.SaveBtn()->isEnabled());
    EXPECT_FALSE(c.ApplyBtn(cpUin1)->isEnabled());
    c.SaveBtn()->click();  // closes the window
    EXPECT_FALSE(f.isVisible());
    ASSERT_TRUE(WaitCommands(3));
    const std::vector<TCalibCmd> saved{{1, 1, 0, 0}, {2, 1, 6012, 0}, {3, 0, 0, 0}};
    EXPECT_EQ(CalibCommands(), saved);
    EXPECT_EQ(h.supply->Register(simreg::kCalibBase), 6012);
    EXPECT_EQ(c.Panel(cpUin1)->Color(), 0xFFFFFFu);

    // Second opening: the high current point starts with the lowest range; closing the window
    // while it is armed ends the calibration on the supply.
    h.supply->ClearWrites();
    TAdvancedForm& g = Open();
    EXPECT_EQ(c.RangeCaptions(), QStringList({"15A", "10A", "8A", "5A", "3A"}));
    c.StartBtn(cpIout2)->click();
    EXPECT_FALSE(c.RangeGroup()->isEnabled());
    g.reject();
    ASSERT_TRUE(WaitCommands(2));
    const std::vector<TCalibCmd> exited{{1, 6, 300, 0}, {4, 0, 0, 0}};
    EXPECT_EQ(CalibCommands(), exited);
    EXPECT_FALSE(c.Logic().Calibrating());
    EXPECT_TRUE(c.RangeGroup()->isEnabled());
}

TEST_F(AdvancedWindow, CalibrationSendsOnlyValuesThePointCanHave) {
    ASSERT_TRUE(Start("ver_46"));
    // The heat sink point holds a temperature no sensor reads.
    h.supply->SetRegister(simreg::kCalibBase + 24, 650);
    TAdvancedForm& f = Open();
    TCalibrationPage& c = *f.CalibrationPage();
    ASSERT_TRUE(h.WaitFor([&] { return c.Panel(cpTmp2)->text() == "650 C "; }));
    h.supply->ClearWrites();
    c.StartClick(cpTmp2);
    c.ApplyBtn(cpTmp2)->click();
    EXPECT_FALSE(c.Notice()->isHidden());
    EXPECT_EQ(c.Notice()->text(),
              "Nothing was sent: this point takes 10 C to 150 C. Click the "
              "value and type the reference reading.");
    EXPECT_TRUE(c.ApplyBtn(cpTmp2)->isEnabled()) << "still armed";

    // "65" from the hundreds digit: 6 hundreds are refused, the tens take the 5.
    apptest::Click(c.Panel(cpTmp2));
    TEnterForm2& pop = *f.Popup5();
    pop.FormActivate();
    for (QChar ch : QStringLiteral("045"))
        pop.FormKeyPress(ch);
    apptest::Click(pop.Seg(3));
    for (QChar ch : QStringLiteral("65"))
        pop.FormKeyPress(ch);
    pop.FormDeactivate();
    EXPECT_EQ(c.Panel(cpTmp2)->text(), "55 C ");
    c.ApplyBtn(cpTmp2)->click();
    EXPECT_TRUE(c.Notice()->isHidden());
    ASSERT_TRUE(WaitCommands(2));
    EXPECT_EQ(CalibCommands(), (std::vector<TCalibCmd>{{1, 7, 0, 0}, {2, 7, 55, 0}}));

    // Voltage points within the model's range: a DPS5015 output up to 56.100 V.
    const TCalibRange out = c.Logic().Range(cpUout2);
    EXPECT_EQ(out.Max, 56100u);
    EXPECT_EQ(c.Editor(cpUout2)->MaxValue, 56100u);
    EXPECT_EQ(c.Logic().Range(cpUin2).Max, 66200u);
    Close(f, c.CancelBtn());
}

TEST_F(AdvancedWindow, WaitWindowEndsWhenTheSupplyLowersItsOutput) {
    ASSERT_TRUE(Start("ver_46"));
    TAdvancedForm& f = Open();
    TCalibrationPage& c = *f.CalibrationPage();
    c.StartBtn(cpUout2)->click();
    // The supply drives its output high for this point.
    ASSERT_TRUE(h.WaitFor([&] { return h.form->Session().Data().UOUT > 2000; }));
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(h.WaitFor([&] { return f.findChild<QDialog*>("WaitForm") != nullptr; }));
        // Large enough to read from across the bench, also under the program's style.
        const auto* label = f.findChild<QLabel*>("WaitLabel");
        ASSERT_NE(label, nullptr);
        EXPECT_GE(label->fontInfo().pixelSize(), 40);
    });
    c.ApplyBtn(cpUout2)->click();  // returns when the wait window closes
    EXPECT_GE(c.LastWaitPosition(), TWaitForm::kSeconds - 2) << "closed only by its countdown";
    EXPECT_LT(h.form->Session().Data().UOUT, 1000u);
    EXPECT_TRUE(c.SaveBtn()->isEnabled());
    Close(f, c.CancelBtn());
}

}  // namespace
