// The advanced window's rules that bite: calibration and battery panel texts at their edges,
// the charge gauge (including equal full and empty voltages), the current ranges of a model the
// table does not know, the wait window's fall test, a colour box keeping a custom entry, and the
// About tab naming this build's version and licence.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QStringList>

#include "benchlord_version.h"
#include "maintenance/about_page.h"

#include "maintenance/advanced_rules.h"
#include "maintenance/color_box.h"

namespace {

struct TTextCase {
    const char* Name;
    int Index;
    uint32_t Value;
    uint32_t CurrentPointPos;
    const char* Text;
};

class CalibPanelTexts : public ::testing::TestWithParam<TTextCase> {};

TEST_P(CalibPanelTexts, ShowsTheValueAsThePanelDoes) {
    const TTextCase c = GetParam();
    EXPECT_EQ(CalibPanelText(c.Index, c.Value, c.CurrentPointPos), QString::fromLatin1(c.Text));
}

INSTANTIATE_TEST_SUITE_P(
    Values, CalibPanelTexts,
    ::testing::Values(TTextCase{"VoltsLeadingBlank", cpUin1, 5000, 4, " 5.000 V "},
                      TTextCase{"VoltsFiveDigits", cpUout2, 25012, 4, "25.012 V "},
                      TTextCase{"VoltsTooLarge", cpUout1, 100000, 4, "----- V "},
                      TTextCase{"AmpsFourDecimals", cpIout1, 500, 5, "0.0500 A "},
                      TTextCase{"AmpsThreeDecimals", cpIout2, 2000, 4, " 2.000 A "},
                      TTextCase{"AmpsLargest", cpIout2, 99999, 5, "9.9999 A "},
                      TTextCase{"Temperature", cpTmp2, 60, 4, "60 C "}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(BatteryRules, PanelTextAndCellPresets) {
    EXPECT_EQ(BatteryValueText(4200), "42.00 V ");
    EXPECT_EQ(BatteryValueText(420), " 4.20 V ");
    EXPECT_EQ(BatteryValueText(10000), "-----");
    EXPECT_EQ(CellPresetIndex(4200), 2);  // "10 cells"
    EXPECT_EQ(CellPresetIndex(4100), -1);
}

TEST(BatteryRules, ChargeGaugeIsIntegerAndNeverDividesByZero) {
    EXPECT_EQ(BatteryCharge(2999, 3000, 4200), 0);
    EXPECT_EQ(BatteryCharge(4201, 3000, 4200), 100);
    EXPECT_EQ(BatteryCharge(3599, 3000, 4200), 49);  // 599 * 100 / 1200 truncated
    EXPECT_EQ(BatteryCharge(3000, 3000, 3000), 100);
    // Full below empty: every input is either below the one or above the other.
    EXPECT_EQ(BatteryCharge(3500, 4000, 3000), 0);
    EXPECT_EQ(BatteryCharge(4500, 4000, 3000), 100);
}

TEST(CalibrationRules, CurrentRangesOfUnknownModelNeverStartAtZero) {
    const auto known = CurrentRanges(3003, 3100, 10);
    ASSERT_EQ(known.size(), 2u);
    EXPECT_EQ(known.back().Caption, "2A");
    EXPECT_EQ(known.back().Current, 200u);
    // 6012 is not in the range table: never its 12 A through a meter's 10 A fuse; the usual
    // points up to 10 A, the lowest last (the one selected).
    QStringList captions;
    for (const auto& r : CurrentRanges(6012, 1210, 1))
        captions << r.Caption;
    EXPECT_EQ(captions, (QStringList{"10A", "8A", "5A", "3A", "2A"}));
    EXPECT_EQ(CurrentRanges(6012, 1210, 1).back().Current, 200u);
    // Capped at the model's maximum (4.5 A, 0.001 A units); a 1.5 A model gets 1 A.
    ASSERT_EQ(CurrentRanges(6004, 4500, 10).size(), 2u);
    EXPECT_EQ(CurrentRanges(6004, 4500, 10).front().Caption, "3A");
    ASSERT_EQ(CurrentRanges(6001, 1500, 10).size(), 1u);
    EXPECT_EQ(CurrentRanges(6001, 1500, 10).front().Caption, "1A");
    EXPECT_TRUE(CurrentRanges(9999, 50, 1).empty());
}

TEST(CalibrationRules, WaitEndsOnlyOnAFallOfMoreThanOneVolt) {
    EXPECT_FALSE(OutputFellForWait(4590, 4490));  // exactly 1.00 V
    EXPECT_TRUE(OutputFellForWait(4590, 4489));
    EXPECT_FALSE(OutputFellForWait(500, 4590));  // a rise
}

TEST(ColorBox, CustomColourGetsOneRgbEntryThatStays) {
    if (QApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "tests_maintenance";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    TColorBox box(nullptr);
    const int named = box.count();
    box.UpdateColorBox(0x00FFFF);  // yellow is named
    EXPECT_EQ(box.currentText(), "Yellow");
    box.UpdateColorBox(0x0A0B0C);
    EXPECT_EQ(box.currentText(), "RGB 0A0B0C");
    EXPECT_EQ(box.SelectedColor(), 0x0A0B0Cu);
    box.UpdateColorBox(0xFFFFFF);
    box.UpdateColorBox(0x0A0B0C);  // found again, not added twice
    EXPECT_EQ(box.count(), named + 1);
}

}  // namespace

TEST(AboutTab, ShowsTheProgramsVersionAndLicenceAndAGivenHomePage) {
    QWidget parent;
    const TAboutPage page(&parent);
    QStringList shown;
    for (const QLabel* label : page.findChildren<QLabel*>())
        shown << label->text();
    EXPECT_TRUE(shown.contains(QStringLiteral("version:  " BENCHLORD_VERSION)))
        << shown.join('|').toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("Licence: GPL-3.0-or-later")));
    EXPECT_FALSE(shown.join('|').contains(QStringLiteral("2024")));
    // A build without a home page names none; one with it shows it last.
    EXPECT_FALSE(AboutTexts(QString()).join('|').contains(QStringLiteral("Home page")));
    EXPECT_EQ(AboutTexts(QStringLiteral("https://benchlord.test")).constLast(),
              QStringLiteral("Home page: https://benchlord.test"));
}
