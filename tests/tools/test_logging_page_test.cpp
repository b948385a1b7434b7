// The "Test Logging" page: stored values shown, defaults, and changes written at once.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include "tools/core/log_xlsx.h"
#include "tools/test_logging_page.h"

namespace {

QRadioButton* Radio(QWidget& APage, const QString& AText) {
    for (QRadioButton* radio : APage.findChildren<QRadioButton*>())
        if (radio->text() == AText) return radio;
    return nullptr;
}

TEST(TestLoggingPage, ShowsStoredValuesAndWritesEveryChangeAtOnce) {
    QTemporaryDir dir;
    TSettingsStore store(dir.filePath("DPS.ini"));
    store.WriteInteger("LUEV", 5);
    TTestLoggingPage page;
    page.Load(store);
    const QList<QComboBox*> boxes = page.findChildren<QComboBox*>();
    ASSERT_EQ(boxes.size(), 3);
    EXPECT_EQ(boxes[0]->count(), 14);
    EXPECT_EQ(boxes[0]->currentText(), "Save every 3 sec.");
    EXPECT_EQ(boxes[1]->currentText(), "Output voltage change >5%");
    EXPECT_EQ(boxes[2]->currentText(), "Output current change >2%");
    EXPECT_TRUE(Radio(page, "Log by time")->isChecked());
    EXPECT_TRUE(Radio(page, "Save log in text format")->isChecked());
    EXPECT_FALSE(boxes[1]->isEnabled());
    EXPECT_FALSE(store.ValueExists("LOG"));  // loading writes nothing

    Radio(page, "Log by event")->click();
    EXPECT_EQ(store.ReadInteger("LOG"), 1);
    EXPECT_FALSE(boxes[0]->isEnabled());
    EXPECT_TRUE(boxes[1]->isEnabled());
    boxes[2]->setCurrentIndex(6);
    EXPECT_EQ(store.ReadInteger("LIEV"), 6);
    Radio(page, "Save log in Excel format")->click();
    EXPECT_EQ(store.ReadInteger("EXCEL"), SpreadsheetOffered() ? 1 : 0);

    int applied = 0;
    page.OnApply = [&] { ++applied; };
    page.ApplyButton()->click();
    EXPECT_EQ(applied, 1);
}

}  // namespace
