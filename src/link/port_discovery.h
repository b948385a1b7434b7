#pragma once
// The list of serial ports offered in the port chooser. It always starts with the "TCP"
// pseudo-port, followed by the tty devices that have real hardware behind them (USB serial
// adapters, CDC-ACM devices, on-board UARTs that exist, Bluetooth rfcomm ports) in natural order,
// followed by extra ports named by the user or by BENCHLORD_EXTRA_PORTS (for example the
// pseudo-terminal of the virtual supply).

#include <QString>
#include <QStringList>
#include <vector>

// One entry of the port list.
struct TSerialPort {
    QString FriendlyName;  // what the user sees, e.g. "FTDI FT232R USB UART (ttyUSB0)"
    QString ShortName;     // what is opened and stored: "ttyUSB0", or a path for extra ports
};
using TSerialPortList = std::vector<TSerialPort>;

// What the enumeration needs to know of one tty device.
struct TTtyDevice {
    QString KernelName;       // "ttyUSB0"
    QString DevPath;          // sysfs path below /sys, e.g. "/devices/pci0000:00/.../ttyUSB0"
    QString ParentSubsystem;  // subsystem of the device the tty hangs off; empty if none
    QString ParentDriver;     // driver bound to that device ("ftdi_sio", "cdc_acm", "serial8250")
    QString UartType;         // sysfs "type" of a serial-core port, "0" when no UART answers
    QString Vendor;           // udev vendor name (database name preferred), may be empty
    QString Model;            // udev model name (database name preferred), may be empty
};

// Source of tty devices; the production one walks udev, tests provide their own.
class TTtyDeviceSource {
public:
    virtual ~TTtyDeviceSource() = default;
    virtual std::vector<TTtyDevice> TtyDevices() = 0;
};

// The udev source (tty subsystem). Answers an empty list when udev is not available.
TTtyDeviceSource& UdevTtySource();

// Replaces the list's contents: "TCP", hardware ports of the udev source, extra ports.
void SetupEnumAvailableComPorts(TSerialPortList& list);
void SetupEnumAvailableComPorts(TSerialPortList& list, TTtyDeviceSource& source);

// True when a real port stands behind the device (rules in port_discovery.cpp).
bool HasHardware(const TTtyDevice& dev);
// "<vendor> <model> (ttyUSB0)", or a generic name for the kind of port when udev knows no names.
QString FriendlyPortName(const TTtyDevice& dev);
// Natural order: text parts compare as text, digit runs as numbers (ttyUSB2 before ttyUSB10).
bool NaturalLess(const QString& a, const QString& b);

// Extra ports: paths to character devices (or links to them) that are listed although udev does
// not report them. Each is listed only while the path is a character device; its ShortName is the
// path itself. A path that is not (missing, a file, a directory) is skipped and named on stderr
// once per process.
// The environment variable BENCHLORD_EXTRA_PORTS holds more such paths separated by ':'.
void AddExtraPort(const QString& path);
void RemoveExtraPort(const QString& path);
void ClearExtraPorts();
QStringList ExtraPorts();  // added ones, then those of the environment, without duplicates

// Device path to open for a ShortName: names without '/' live in /dev.
QString PortDevicePath(const QString& shortName);
