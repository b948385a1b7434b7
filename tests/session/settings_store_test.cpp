#include "session/settings_store.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace {

// Points XDG_CONFIG_HOME at a fresh temporary folder for the test's lifetime.
class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fDir.isValid());
        fOldHome = qgetenv("XDG_CONFIG_HOME");
        fHadHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", fDir.path().toUtf8());
    }
    void TearDown() override {
        if (fHadHome)
            qputenv("XDG_CONFIG_HOME", fOldHome);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    QString IniPath() const { return fDir.path() + "/tarnwell/DPS.ini"; }
    QString IniText() const {
        QFile f(IniPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    QTemporaryDir fDir;
    QByteArray fOldHome;
    bool fHadHome = false;
};

TEST_F(SettingsStoreTest, FirstRunReadsAbsenceValuesAndCreatesNothing) {
    TSettingsStore store;
    EXPECT_EQ(store.FilePath(), IniPath());
    for (const char* name : {settings::kRCNT, settings::kCLR1, settings::kBAUDRATE,
                             settings::kAutoconnect, settings::kPORT, settings::kCRC}) {
        EXPECT_FALSE(store.ValueExists(name)) << name;
        EXPECT_EQ(store.ReadInteger(name), 0) << name;
        EXPECT_EQ(store.ReadString(name), QString()) << name;
    }
    EXPECT_EQ(store.ReadIntegerOr(settings::kBAUDRATE, settings::kDefaultBAUDRATE), 2);
    EXPECT_EQ(store.ReadIntegerOr(settings::kCLR2, settings::kDefaultCLR2), 0x00FF00);
    EXPECT_EQ(store.ReadBaud("ttyUSB0"), settings::kNoBaud);
    EXPECT_EQ(store.ReadDevice("ttyUSB0"), QString());
    EXPECT_FALSE(QFile::exists(IniPath()));
}

TEST_F(SettingsStoreTest, WritesReachTheFileAtOnceAndEveryStoreSeesThem) {
    TSettingsStore writer;
    writer.WriteInteger(settings::kBAUDRATE, 4);
    writer.WriteString(settings::kPORT, "ttyUSB1");
    writer.WriteInteger(settings::kAutoconnect, 1);
    // Nothing is cached: a second store, and the file itself, already hold the values.
    TSettingsStore reader;
    EXPECT_TRUE(reader.ValueExists(settings::kBAUDRATE));
    EXPECT_EQ(reader.ReadInteger(settings::kBAUDRATE), 4);
    EXPECT_EQ(reader.ReadString(settings::kPORT), "ttyUSB1");
    EXPECT_EQ(reader.ReadIntegerOr(settings::kAutoconnect, 0), 1);
    EXPECT_TRUE(IniText().contains("BAUDRATE=4"));

    // A change made behind the store's back is seen by the next read.
    {
        QSettings direct(IniPath(), QSettings::IniFormat);
        direct.setValue("BAUDRATE", 7);
    }
    EXPECT_EQ(reader.ReadInteger(settings::kBAUDRATE), 7);
}

TEST_F(SettingsStoreTest, IntegersKeepAll32Bits) {
    TSettingsStore store;
    const int32_t crc = static_cast<int32_t>(0xDEADBEEFu);
    store.WriteInteger(settings::kCRC, crc);
    EXPECT_EQ(static_cast<uint32_t>(store.ReadInteger(settings::kCRC)), 0xDEADBEEFu);
    // A file edited by hand with the unsigned spelling reads as the same bits.
    {
        QSettings direct(IniPath(), QSettings::IniFormat);
        direct.setValue("CRC", QStringLiteral("4294967295"));
        direct.setValue("MBADDR", QStringLiteral("abc"));
    }
    EXPECT_EQ(store.ReadInteger(settings::kCRC), -1);
    // A value that is not an integer exists but reads as 0.
    EXPECT_TRUE(store.ValueExists(settings::kMBADDR));
    EXPECT_EQ(store.ReadIntegerOr(settings::kMBADDR, 5), 0);
}

TEST_F(SettingsStoreTest, StoredBaudOfZeroIsNotAppliedAndMinusOneIsNeverWritten) {
    TSettingsStore store;
    store.WriteBaud("ttyUSB0", 0);
    EXPECT_EQ(store.ReadBaud("ttyUSB0"), 0);
    EXPECT_EQ(store.ApplicableBaud("ttyUSB0", 8), std::nullopt);

    store.WriteBaud("ttyUSB1", 5);
    EXPECT_EQ(store.ApplicableBaud("ttyUSB1", 8), 5);
    EXPECT_EQ(store.ApplicableBaud("ttyUSB1", 5), std::nullopt);  // not a valid index

    store.WriteBaud("ttyACM0", settings::kNoBaud);
    EXPECT_EQ(store.ReadBaud("ttyACM0"), settings::kNoBaud);
    EXPECT_FALSE(IniText().contains("ttyACM0"));
    EXPECT_FALSE(IniText().contains("-1"));
    EXPECT_EQ(store.ApplicableBaud("ttyACM0", 8), std::nullopt);
}

TEST_F(SettingsStoreTest, PortGroupsAreSeparateFromEachOtherAndFromTheMainGroup) {
    TSettingsStore store;
    store.WriteBaud("TCP", 3);
    store.WriteDevice("ttyUSB0", "DPS5015");
    store.WriteInteger(settings::kTCP, 0x0101A8C0);
    EXPECT_EQ(store.ReadBaud("TCP"), 3);
    EXPECT_EQ(store.ReadInteger(settings::kTCP), 0x0101A8C0);
    EXPECT_EQ(store.ReadDevice("ttyUSB0"), "DPS5015");
    EXPECT_EQ(store.ReadBaud("ttyUSB0"), settings::kNoBaud);
    EXPECT_FALSE(store.ValueExists("ttyUSB0"));
    const QString ini = IniText();
    EXPECT_TRUE(ini.contains("[BAUDES]"));
    EXPECT_TRUE(ini.contains("[DEVICES]"));
}

TEST_F(SettingsStoreTest, PortNamesGivenAsPathsDoNotSplitIntoGroups) {
    TSettingsStore store;
    store.WriteBaud("/dev/pts/5", 4);
    store.WriteBaud("/tmp/dps", 6);
    store.WriteDevice("/dev/pts/5", "DPS3005");
    EXPECT_EQ(store.ReadBaud("/dev/pts/5"), 4);
    EXPECT_EQ(store.ReadBaud("/tmp/dps"), 6);
    EXPECT_EQ(store.ReadBaud("pts/5"), settings::kNoBaud);
    EXPECT_EQ(store.ReadDevice("/dev/pts/5"), "DPS3005");
    QSettings direct(IniPath(), QSettings::IniFormat);
    EXPECT_EQ(direct.childGroups(), QStringList({"BAUDES", "DEVICES"}));
}

TEST_F(SettingsStoreTest, UnwritableStoreFailsSilently) {
    // A plain file where the config folder should be: nothing can be created below it.
    const QString blocker = fDir.path() + "/blocked";
    {
        QFile f(blocker);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    qputenv("XDG_CONFIG_HOME", blocker.toUtf8());
    TSettingsStore store;
    store.WriteInteger(settings::kBAUDRATE, 4);
    store.WriteBaud("ttyUSB0", 2);
    store.WriteDevice("ttyUSB0", "DPS5005");
    EXPECT_FALSE(store.ValueExists(settings::kBAUDRATE));
    EXPECT_EQ(store.ReadIntegerOr(settings::kBAUDRATE, 2), 2);
    EXPECT_EQ(store.ReadBaud("ttyUSB0"), settings::kNoBaud);
    EXPECT_EQ(store.ReadDevice("ttyUSB0"), QString());
}

TEST_F(SettingsStoreTest, ExplicitPathIsUsedInsteadOfTheConfigHome) {
    const QString path = fDir.path() + "/portable.ini";
    TSettingsStore store(path);
    store.WriteString(settings::kPORT, "TCP");
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_FALSE(QFile::exists(IniPath()));
    EXPECT_EQ(TSettingsStore().ReadString(settings::kPORT), QString());
}

}  // namespace
