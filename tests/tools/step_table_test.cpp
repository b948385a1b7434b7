// The step table: its binary file with the CRC guard, and the CSV step files of benchlordctl.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "link/kr_crc.h"
#include "session/settings_store.h"
#include "tools/core/step_table.h"

namespace {

class StepTableFile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    TSettingsStore store{dir.filePath("DPS.ini")};
    QString path = dir.filePath("data/Persistent.ini");

    void WriteRaw(const QByteArray& ABytes, bool AWithCrc) {
        QDir().mkpath(dir.filePath("data"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(ABytes);
        file.close();
        if (AWithCrc)
            store.WriteInteger("CRC", static_cast<int32_t>(CRC32Update(
                                          0, reinterpret_cast<const uint8_t*>(ABytes.data()),
                                          static_cast<size_t>(ABytes.size()))));
    }
};

TEST_F(StepTableFile, TwentyByteFileLoadsOneStepAndPaddingIsWrittenBackAsRead) {
    // Uset 1234, Iset 567, Time 89, enabled, padding AA BB CC, then four bytes of a second record.
    const QByteArray bytes = QByteArray::fromHex("d2040000370200005900000001aabbcc11223344");
    WriteRaw(bytes, true);
    const TStepTable table = LoadTable(store, path);
    ASSERT_EQ(table.Count, 1);
    EXPECT_EQ(table.Steps[0], (TStepRecord{1234, 567, 89, true, {0xAA, 0xBB, 0xCC}}));
    ASSERT_EQ(SaveTable(table, store, path), "");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), bytes.left(16));
    EXPECT_EQ(LoadTable(store, path), table);
    // Nothing but the table itself is left in the folder (the write went through a rename).
    EXPECT_EQ(QDir(dir.filePath("data")).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(StepTableFile, MissingForeignOrOversizedFilesGiveSafeTables) {
    const TStepTable initial = TStepTable::Initial();
    EXPECT_EQ(LoadTable(store, path), initial);  // no CRC, no file
    TStepTable three = initial;
    three.Count = 3;
    ASSERT_EQ(SaveTable(three, store, path), "");
    EXPECT_EQ(LoadTable(store, path).Count, 3);
    // Altered (a CRC mismatch), or without its CRC (the settings lost): not used, with the
    // reason, and set aside under a free name.
    WriteRaw(TableFileBytes(three) + QByteArray(1, '\0'), false);
    TSavedTable saved = ReadSavedTable(store, path);
    EXPECT_EQ(saved.Table, initial);
    EXPECT_EQ(saved.Problem, "its check value (CRC) does not match");
    QString error;
    EXPECT_EQ(SetTableAside(path, error), path + ".bad");
    WriteRaw(TableFileBytes(three), false);
    const TSettingsStore lost(dir.filePath("lost/DPS.ini"));
    EXPECT_EQ(ReadSavedTable(lost, path).Problem,
              "its check value (CRC) is missing from " + lost.FilePath());
    EXPECT_EQ(SetTableAside(path, error), path + ".bad.2");
    QFile aside(path + ".bad.2");
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), TableFileBytes(three));
    // No file: nothing was saved yet, nothing to report.
    saved = ReadSavedTable(store, path);
    EXPECT_EQ(saved.Table, initial);
    EXPECT_TRUE(saved.Problem.isEmpty());

    // A CRC that cannot be stored is reported (the table would fail its check next time).
    const TSettingsStore blocked(dir.filePath("data/Persistent.ini.bad/DPS.ini"));
    EXPECT_TRUE(SaveTable(three, blocked, path).contains("(CRC) of " + path + " cannot be stored"));
    // Saved through a symbolic link, the link stays.
    const QString link = dir.filePath("link.ini");
    ASSERT_TRUE(QFile::link(path, link));
    ASSERT_EQ(SaveTable(initial, store, link), "");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(LoadTable(store, path), initial);
    // Bytes that hold no whole step, or more than 17, still make a usable table.
    EXPECT_EQ(ParseTableFile(QByteArray(15, '\1')), initial);
    EXPECT_EQ(ParseTableFile(QByteArray(40 * 16, '\1')).Count, kMaxSteps);
}

TEST(StepCsv, HeadingCommentsAndTheEnabledColumnAreRead) {
    const TStepFile file = ParseStepCsv(
        "voltage,current,seconds,enabled\n# warm-up\n\n5,0.2,60\n12.5, 1.25 ,3600,0\r\n");
    ASSERT_EQ(file.Error, "");
    ASSERT_EQ(file.Steps.size(), 2u);
    EXPECT_EQ(file.Steps[1].Line, 5);
    TStepTable table;
    ASSERT_EQ(StepFileToTable(file, 5100, 5100, 10, table), "");
    EXPECT_EQ(table.Count, 2);
    EXPECT_EQ(table.Steps[0], (TStepRecord{500, 200, 60, true, {}}));
    EXPECT_EQ(table.Steps[1], (TStepRecord{1250, 1250, 3600, false, {}}));
    ASSERT_EQ(StepFileToTable(file, 5100, 510, 1, table), "");
    EXPECT_EQ(table.Steps[1].Iset, 125u);
}

TEST(StepCsv, BadLinesAreRefusedWithTheirLineNumber) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"5,0.2,60\n5,0.2\n", "line 2: expected voltage,current,seconds[,enabled]"},
        {"5,0.2,60\n\n5.123,0.2,60\n", "line 3: voltage \"5.123\""},
        {"5,x,60\n", "line 1: current \"x\""},
        {"5,0.2,0\n", "line 1: seconds must be a whole number"},
        {"5,0.2,-1\n", "line 1: seconds must be a whole number"},
        {"5,0.2,60,maybe\n", "line 1: enabled must be 1 or 0"},
        {"# nothing\n", "the file holds no step"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_TRUE(ParseStepCsv(c.text).Error.startsWith(c.error))
            << ParseStepCsv(c.text).Error.toStdString();
    }
    QByteArray many;
    for (int i = 0; i < 18; ++i)
        many += "5,0.2,1\n";
    EXPECT_TRUE(ParseStepCsv(many).Error.startsWith("line 18: a table holds at most 17 steps"));

    // Model limits: 0.10 V up to the model's maximum; a 0.01 A model refuses milliamperes.
    TStepTable table;
    EXPECT_EQ(StepFileToTable(ParseStepCsv("5,0.2,1\n51.01,1,1\n"), 5100, 1510, 1, table),
              "line 2: voltage outside 0.10 to 51.00 V");
    EXPECT_EQ(StepFileToTable(ParseStepCsv("5,0.205,1\n"), 5100, 1510, 1, table),
              "line 1: this model sets the current in steps of 0.01 A");
    EXPECT_EQ(StepFileToTable(ParseStepCsv("5,0,1\n"), 5100, 1510, 1, table),
              "line 1: current outside 0.01 to 15.10 A");
}

}  // namespace
