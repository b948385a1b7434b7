// info, read and watch end to end against the virtual supply, over TCP and the pseudo-terminal.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <string>

#include "sim/sim_device.h"
#include "tests/cli/cli_harness.h"

using clitest::JsonOf;
using clitest::TCliHarness;

namespace {

testsupport::TSupplyConfig Unit(uint16_t AModel, const char* AClass, bool APty = false) {
    testsupport::TSupplyConfig c = TCliHarness::DefaultSupply();
    c.model = AModel;
    c.fwClass = AClass;
    c.pty = APty;
    return c;
}

class CliOverLink : public ::testing::TestWithParam<bool> {
protected:
    QStringList Link(TCliHarness& AHarness) { return GetParam() ? AHarness.Pty() : AHarness.Tcp(); }
};

TEST_P(CliOverLink, InfoIdentifiesWithoutTouchingTheKeysOrTheUserSettings) {
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    TCliHarness h(Unit(5015, "ver_46", true));
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();

    const auto run = h.Run(Link(h) << "--json"
                                   << "info");
    qputenv("XDG_CONFIG_HOME", savedHome);
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out,
              "{\"model\": 5015, \"version\": \"4.6\", \"class\": \"ver_46\", \"prefix\": \"DPS\", "
              "\"title\": \"DPS5015 ver. 4.6T\", \"max_voltage\": 51.00, \"max_current\": 15.10, "
              "\"max_power\": 775.0}\n");
    EXPECT_TRUE(run.Err.empty()) << run.Err;
    // Only read: the keys were neither locked nor released.
    EXPECT_TRUE(h.supply->Writes().empty());
    // The window's settings file was not created.
    EXPECT_TRUE(QDir(home.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot));
}

TEST_P(CliOverLink, ReadPrintsEveryValueWithTheModelsResolution) {
    TCliHarness h(Unit(3005, "ver_46", true));
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    h.supply.SetReg(simreg::USET, 1234);
    h.supply.SetReg(simreg::ISET, 1500);  // 1.500 A: the 3005 counts in mA
    h.supply.SetReg(simreg::TIME_L, 3);
    h.supply.SetReg(simreg::TIME_H, 1);
    h.supply.SetReg(simreg::AHCNT_L, 250);

    const auto run = h.Run(Link(h) << "read"
                                   << "--json");
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"uset\": 12.34, \"iset\": 1.500, \"uout\": 0.00, \"iout\": 0.000, "
                           "\"power\": 0.00, "),
              std::string::npos)
        << run.Out;
    const QJsonObject o = JsonOf(run.Out);
    const QStringList keys = {"uset",        "iset",   "uout",      "iout",     "power",
                              "uin",         "mode",   "protect",   "output",   "lock",
                              "temperature", "time_s", "charge_ah", "energy_wh"};
    EXPECT_EQ(o.keys().size(), keys.size());
    for (const QString& key : keys)
        EXPECT_TRUE(o.contains(key)) << key.toStdString();
    EXPECT_EQ(o["mode"].toString(), "CV");
    EXPECT_EQ(o["protect"].toString(), "none");  // as the text form says
    EXPECT_FALSE(o["output"].toBool());
    EXPECT_FALSE(o["lock"].toBool());  // read leaves the keys free
    EXPECT_EQ(o["time_s"].toInt(), 65539);
    EXPECT_DOUBLE_EQ(o["charge_ah"].toDouble(), 2.5);
    EXPECT_DOUBLE_EQ(o["uin"].toDouble(), h.supply.Reg(simreg::UIN) / 100.0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

INSTANTIATE_TEST_SUITE_P(Cli, CliOverLink, ::testing::Values(false, true),
                         [](const auto& AInfo) { return AInfo.param ? "Pty" : "Tcp"; });

struct TInfoCase {
    uint16_t Model;
    const char* Class;
    const char* Text;  // expected text output
};

class CliInfo : public ::testing::TestWithParam<TInfoCase> {};

TEST_P(CliInfo, TextShowsClassAndLimits) {
    TCliHarness h(Unit(GetParam().Model, GetParam().Class));
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const auto run = h.Run(h.Tcp() << "info");
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out, GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(Cli, CliInfo,
                         ::testing::Values(TInfoCase{8005, "ver_18",
                                                     "model        8005\n"
                                                     "version      1.8\n"
                                                     "class        ver_18\n"
                                                     "prefix       DPS\n"
                                                     "title        DPS8005 ver. 1.8\n"
                                                     "max_voltage  81.00 V\n"
                                                     "max_current  5.100 A\n"
                                                     "max_power    450.0 W\n"}),
                         [](const auto& AInfo) {
                             return std::to_string(AInfo.param.Model) + "_" + AInfo.param.Class;
                         });

TEST(CliRead, OldFirmwareHasNoCountersAndASensorlessModelNoTemperature) {
    TCliHarness h(Unit(3005, "ver_40"));
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const auto run = h.Run(h.Tcp() << "read");
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out.find("temperature"), std::string::npos) << run.Out;
    EXPECT_EQ(run.Out.find("time_s"), std::string::npos);
    // The firmware notice of the window goes to standard error.
    EXPECT_NE(run.Err.find("The power supply firmware is outdated."), std::string::npos);
    const auto json = h.Run(h.Tcp() << "read"
                                    << "--json");
    const QJsonObject o = JsonOf(json.Out);
    EXPECT_TRUE(o["temperature"].isNull());
    EXPECT_TRUE(o["time_s"].isNull());
    EXPECT_TRUE(o["energy_wh"].isNull());
}

TEST(CliWatch, CsvFileAndStandardOutputCarryTheSameRows) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    QTemporaryDir dir;
    const QString csv = dir.filePath("w.csv");
    const auto run = h.Run(h.Tcp() << "watch"
                                   << "--interval"
                                   << "0.05"
                                   << "--count"
                                   << "3"
                                   << "--csv" << csv);
    ASSERT_EQ(run.Code, 0) << run.Err;
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_EQ(text.toStdString(), run.Out);
    const QStringList lines = text.split('\n');
    ASSERT_EQ(lines.size(), 5);  // header, three rows, and the empty rest after the last '\n'
    EXPECT_EQ(lines[0], "time,uset,iset,uout,iout,power,uin,mode,protect,output");
    EXPECT_TRUE(lines[4].isEmpty());
    QDateTime previous;
    for (int i = 1; i <= 3; ++i) {
        const QStringList cells = lines[i].split(',');
        ASSERT_EQ(cells.size(), 10) << lines[i].toStdString();
        const QDateTime t = QDateTime::fromString(cells[0], Qt::ISODateWithMs);
        ASSERT_TRUE(t.isValid()) << cells[0].toStdString();
        if (previous.isValid()) {
            EXPECT_GE(previous.msecsTo(t), 40);
        }
        previous = t;
        EXPECT_EQ(cells[1], "5.00");
        EXPECT_EQ(cells[2], "1.00");
        EXPECT_EQ(cells[7], "CV");
        EXPECT_EQ(cells[8], "none");
        EXPECT_EQ(cells[9], "0");
    }
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

TEST(CliWatch, ReadsTheSupplyOncePerInterval) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const auto run = h.Run(h.Tcp() << "watch"
                                   << "--interval"
                                   << "0.15"
                                   << "--count"
                                   << "3");
    ASSERT_EQ(run.Code, 0) << run.Err;
    // Identification, three start-up reads and three polls; a continuous poll would have sent a
    // hundred in the same time.
    EXPECT_LE(h.supply->Requests(), 10u);
}

TEST(CliWatch, JsonLinesFollowTheCsvColumns) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const auto run = h.Run(h.Tcp() << "--json"
                                   << "watch"
                                   << "--interval"
                                   << "0.02"
                                   << "--count"
                                   << "2");
    ASSERT_EQ(run.Code, 0) << run.Err;
    const QStringList lines = QString::fromStdString(run.Out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    for (const QString& line : lines) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        EXPECT_EQ(o.keys().size(), 10);
        EXPECT_TRUE(o["time"].isString());
        EXPECT_TRUE(o["output"].isBool());
    }
}

TEST(CliWatch, UnwritableCsvIsALocalErrorAndAFileIsEmptiedOnlyOnceTheSessionRuns) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    auto run = h.Run(h.Tcp() << "watch"
                             << "--csv"
                             << "/nonexistent/dir/w.csv");
    EXPECT_EQ(run.Code, 6);
    EXPECT_NE(run.Err.find("benchlordctl: cannot write /nonexistent/dir/w.csv: No such file or "
                           "directory"),
              std::string::npos)
        << run.Err;
    EXPECT_EQ(h.supply->Requests(), 0u);

    QTemporaryDir dir;
    const QString csv = dir.filePath("yesterday.csv");
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("yesterday's rows\n");
    file.close();
    h.supply.Stop();
    run = h.Run(h.Tcp() << "watch"
                        << "--csv" << csv);
    EXPECT_EQ(run.Code, 3);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "yesterday's rows\n");
}

}  // namespace
