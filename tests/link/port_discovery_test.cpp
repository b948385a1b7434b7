#include "link/port_discovery.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

class FakeTtySource final : public TTtyDeviceSource {
public:
    std::vector<TTtyDevice> fDevices;
    std::vector<TTtyDevice> TtyDevices() override { return fDevices; }
};

TTtyDevice UsbSerial(const QString& name, const QString& vendor = {}, const QString& model = {}) {
    return {
        name,         "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/" + name + "/tty/" + name,
        "usb-serial", "ftdi_sio",
        {},           vendor,
        model};
}
TTtyDevice Acm(const QString& name) {
    return {name,  "/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/tty/" + name,
            "usb", "cdc_acm",
            {},    {},
            {}};
}
TTtyDevice Legacy8250(const QString& name, const QString& type) {
    return {name, "/devices/platform/serial8250/tty/" + name, "platform", "serial8250", type, {},
            {}};
}
TTtyDevice Virtual(const QString& name) {
    return {name, "/devices/virtual/tty/" + name, {}, {}, {}, {}, {}};
}

QStringList ShortNames(const TSerialPortList& list) {
    QStringList out;
    for (const TSerialPort& p : list)
        out << p.ShortName;
    return out;
}

class PortDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearExtraPorts();
        fOldEnv = qgetenv("BENCHLORD_EXTRA_PORTS");
        qunsetenv("BENCHLORD_EXTRA_PORTS");
    }
    void TearDown() override {
        ClearExtraPorts();
        if (fOldEnv.isEmpty())
            qunsetenv("BENCHLORD_EXTRA_PORTS");
        else
            qputenv("BENCHLORD_EXTRA_PORTS", fOldEnv);
    }
    FakeTtySource fSource;
    TSerialPortList fList;
    QByteArray fOldEnv;
};

TEST_F(PortDiscoveryTest, WithoutSerialPortsOnlyTcpIsListed) {
    fSource.fDevices = {Virtual("tty0"), Virtual("ptmx"), Legacy8250("ttyS3", "0")};
    fList.push_back({"stale", "ttyUSB9"});
    SetupEnumAvailableComPorts(fList, fSource);
    ASSERT_EQ(fList.size(), 1u);
    EXPECT_EQ(fList[0].FriendlyName, "TCP");
    EXPECT_EQ(fList[0].ShortName, "TCP");
}

TEST_F(PortDiscoveryTest, PortsFollowTcpInNaturalOrder) {
    fSource.fDevices = {UsbSerial("ttyUSB10"), Acm("ttyACM0"), UsbSerial("ttyUSB2"),
                        Legacy8250("ttyS0", "4"), UsbSerial("ttyUSB1")};
    SetupEnumAvailableComPorts(fList, fSource);
    EXPECT_EQ(ShortNames(fList),
              QStringList({"TCP", "ttyACM0", "ttyS0", "ttyUSB1", "ttyUSB2", "ttyUSB10"}));
}

struct HardwareCase {
    const char* label;
    TTtyDevice dev;
    bool listed;
};

class HardwareFilter : public ::testing::TestWithParam<HardwareCase> {};

TEST_P(HardwareFilter, ListsOnlyPortsWithHardwareBehindThem) {
    EXPECT_EQ(HasHardware(GetParam().dev), GetParam().listed);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, HardwareFilter,
    ::testing::Values(
        HardwareCase{"UsbSerialAdapter", UsbSerial("ttyUSB0"), true},
        HardwareCase{"CdcAcm", Acm("ttyACM0"), true},
        HardwareCase{"BluetoothRfcomm", Virtual("rfcomm0"), true},
        HardwareCase{"OnBoardUart", Legacy8250("ttyS0", "4"), true},
        HardwareCase{"LegacyAddressWithoutUart", Legacy8250("ttyS1", "0"), false},
        // Since Linux 6.5 serial-core ports hang off a "serial-base" port device.
        HardwareCase{"SerialBaseUart",
                     {"ttyS0",
                      "/devices/pnp0/00:00/00:00:0/00:00:0.0/tty/ttyS0",
                      "serial-base",
                      "port",
                      "4",
                      {},
                      {}},
                     true},
        HardwareCase{"SerialBaseWithoutUart",
                     {"ttyS2",
                      "/devices/platform/serial8250/serial8250:0/serial8250:0.2/tty/ttyS2",
                      "serial-base",
                      "port",
                      "0",
                      {},
                      {}},
                     false},
        HardwareCase{"LegacyAddressTypeUnknown", Legacy8250("ttyS2", ""), false},
        HardwareCase{"PnpUart",
                     {"ttyS4", "/devices/pnp0/00:05/tty/ttyS4", "pnp", "serial", "4", {}, {}},
                     true},
        HardwareCase{"SocUart",
                     {"ttyAMA0",
                      "/devices/platform/soc/fe201000.serial/tty/ttyAMA0",
                      "amba",
                      "uart-pl011",
                      "91",
                      {},
                      {}},
                     true},
        HardwareCase{"VirtualConsole", Virtual("tty1"), false},
        HardwareCase{"PtyMaster", Virtual("ptmx"), false},
        HardwareCase{"ParentWithoutDriver",
                     {"ttyUSB3",
                      "/devices/pci0000:00/usb1/1-4/1-4:1.0/ttyUSB3/tty/ttyUSB3",
                      "usb-serial",
                      "",
                      {},
                      {},
                      {}},
                     false}),
    [](const ::testing::TestParamInfo<HardwareCase>& info) { return info.param.label; });

TEST_F(PortDiscoveryTest, FriendlyNamesShowVendorModelAndKernelName) {
    EXPECT_EQ(
        FriendlyPortName(UsbSerial("ttyUSB0", "QinHeng Electronics", "CH340 serial converter")),
        "QinHeng Electronics CH340 serial converter (ttyUSB0)");
    // Descriptor strings use '_' for blanks; a model that repeats the vendor is not doubled.
    EXPECT_EQ(FriendlyPortName(UsbSerial("ttyUSB1", "FTDI", "FTDI_FT232R_USB_UART")),
              "FTDI FT232R USB UART (ttyUSB1)");
    EXPECT_EQ(FriendlyPortName(UsbSerial("ttyUSB2")), "USB serial port (ttyUSB2)");
    EXPECT_EQ(FriendlyPortName(Acm("ttyACM0")), "USB communications port (ttyACM0)");
    EXPECT_EQ(FriendlyPortName(Virtual("rfcomm0")), "Bluetooth serial port (rfcomm0)");
    EXPECT_EQ(FriendlyPortName(Legacy8250("ttyS0", "4")), "Serial port (ttyS0)");
}

TEST(NaturalOrder, DigitRunsCompareAsNumbers) {
    EXPECT_TRUE(NaturalLess("ttyUSB2", "ttyUSB10"));
    EXPECT_FALSE(NaturalLess("ttyUSB10", "ttyUSB2"));
    EXPECT_TRUE(NaturalLess("ttyACM0", "ttyUSB0"));
    EXPECT_TRUE(NaturalLess("ttyUSB9", "ttyUSB10"));
    EXPECT_TRUE(NaturalLess("ttyUSB", "ttyUSB0"));
    EXPECT_TRUE(NaturalLess("ttyUSB99999999999999999999", "ttyUSB100000000000000000000"));
    // Names equal as numbers still have a fixed order, so sorting is deterministic.
    EXPECT_NE(NaturalLess("ttyS01", "ttyS1"), NaturalLess("ttyS1", "ttyS01"));
    EXPECT_FALSE(NaturalLess("ttyS1", "ttyS1"));
}

TEST_F(PortDiscoveryTest, ExtraPortsAreListedAfterHardwareOnlyWhileTheyAreCharacterDevices) {
    QTemporaryDir dir;
    // Links to character devices stand for a supply's pseudo-terminal.
    const QString a = dir.path() + "/dps", b = dir.path() + "/other", gone = dir.path() + "/gone";
    ASSERT_TRUE(QFile::link("/dev/null", a));
    ASSERT_TRUE(QFile::link("/dev/zero", b));
    const QString file = dir.path() + "/passwd";
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    fSource.fDevices = {UsbSerial("ttyUSB0")};
    AddExtraPort(b);
    AddExtraPort(b);
    qputenv("BENCHLORD_EXTRA_PORTS",
            (gone + ":" + a + "::" + b + ":" + file + ":" + dir.path()).toUtf8());
    testing::internal::CaptureStderr();
    SetupEnumAvailableComPorts(fList, fSource);
    SetupEnumAvailableComPorts(fList, fSource);  // each skipped entry is named once
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ShortNames(fList), QStringList({"TCP", "ttyUSB0", b, a}));
    EXPECT_EQ(fList.back().FriendlyName, "Extra port (" + a + ")");
    const auto lines = QString::fromStdString(said).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << said;
    EXPECT_TRUE(lines[0].endsWith("extra port " + gone + " skipped: it does not exist"));
    EXPECT_TRUE(lines[1].endsWith("extra port " + file + " skipped: it is not a character device"));
    EXPECT_TRUE(lines[2].endsWith("extra port " + dir.path() + " skipped: it is a directory"));

    RemoveExtraPort(b);
    qunsetenv("BENCHLORD_EXTRA_PORTS");
    SetupEnumAvailableComPorts(fList, fSource);
    EXPECT_EQ(ShortNames(fList), QStringList({"TCP", "ttyUSB0"}));
}

TEST(PortDevicePath, KernelNamesLiveInDevAndPathsStayAsGiven) {
    EXPECT_EQ(PortDevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(PortDevicePath("/dev/pts/5"), "/dev/pts/5");
}

}  // namespace
