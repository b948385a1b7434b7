#pragma once
// Per-user settings of the program: one INI file ("tarnwell/DPS.ini" under the XDG config home)
// with the main values and two groups keyed by serial port name, "BAUDES" (baud list index last
// used on the port) and "DEVICES" (device last seen on the port).
//
// Every access opens the file, does one read or write and closes it again; nothing is cached, so
// several stores (or several program instances) always see the same values. A file that cannot be
// read makes reads answer their absence values; a file that cannot be written is left as it is.
// Nothing is reported in either case.

#include <QString>
#include <cstdint>
#include <optional>

namespace settings {
// Value names of the main group.
inline constexpr char kRCNT[] = "RCNT";                // auto reset counters, 1 checked
inline constexpr char kUnDown[] = "UnDown";            // step/cursor arrows shown when above 0
inline constexpr char kCLR1[] = "CLR1";                // set-value colour, 0x00BBGGRR
inline constexpr char kCLR2[] = "CLR2";                // constant-voltage output colour
inline constexpr char kCLR3[] = "CLR3";                // constant-current output colour
inline constexpr char kBAUDRATE[] = "BAUDRATE";        // baud list index
inline constexpr char kMBADDR[] = "MBADDR";            // slave address list index (address - 1)
inline constexpr char kTCP[] = "TCP";                  // bridge IPv4 address, first octet lowest
inline constexpr char kPORT[] = "PORT";                // ShortName of the last link, "TCP" for TCP
inline constexpr char kAutoconnect[] = "Autoconnect";  // automatic reconnection, non-zero on
inline constexpr char kLOG[] = "LOG";                  // log by event (above 0) or by time
inline constexpr char kEXCEL[] = "EXCEL";              // log as spreadsheet (above 0) or text
inline constexpr char kLTIM[] = "LTIM";                // log interval list index
inline constexpr char kLUEV[] = "LUEV";                // voltage-change event list index
inline constexpr char kLIEV[] = "LIEV";                // current-change event list index
inline constexpr char kCRC[] = "CRC";                  // CRC-32 of the autotest step file
inline constexpr char kWindowWidth[] = "WindowWidth";  // main window's client size, pixels
inline constexpr char kWindowHeight[] = "WindowHeight";
inline constexpr char kMetrics[] = "Metrics";      // address of the window's /metrics
inline constexpr char kMetricsOn[] = "MetricsOn";  // 1 while the window serves /metrics

// Values used when the named value is absent.
inline constexpr int32_t kDefaultCLR1 = 0xFFFFFF;  // white
inline constexpr int32_t kDefaultCLR2 = 0x00FF00;  // green
inline constexpr int32_t kDefaultCLR3 = 0x00FFFF;  // yellow
inline constexpr int32_t kDefaultBAUDRATE = 2;     // 9600 baud
inline constexpr int32_t kDefaultMBADDR = 0;       // address 1
inline constexpr int32_t kDefaultLTIM = 2;
inline constexpr int32_t kDefaultLUEV = 1;
inline constexpr int32_t kDefaultLIEV = 2;
inline constexpr char kDefaultTCPAddress[] = "192.168.001.001";

// Marker returned by ReadBaud when a port has no stored baud index.
inline constexpr int32_t kNoBaud = -1;
}  // namespace settings

class TSettingsStore {
public:
    // The file "tarnwell/DPS.ini" under the XDG config home, looked up at every access so that a
    // changed XDG_CONFIG_HOME takes effect at once.
    TSettingsStore() = default;
    // A store on the given INI file (tests, portable installs).
    explicit TSettingsStore(QString iniPath) : fPath(std::move(iniPath)) {}

    // Full path of the INI file used by the next access.
    QString FilePath() const;

    // Main group.
    bool ValueExists(const QString& name) const;
    int32_t ReadInteger(const QString& name) const;  // 0 when missing or not an integer
    void WriteInteger(const QString& name, int32_t value) const;
    // As WriteInteger; false when the value did not reach the file.
    bool WriteIntegerChecked(const QString& name, int32_t value) const;
    QString ReadString(const QString& name) const;  // empty when missing
    void WriteString(const QString& name, const QString& text) const;

    // Reads an integer, or answers `absent` when the value does not exist (one file access).
    int32_t ReadIntegerOr(const QString& name, int32_t absent) const;

    // "BAUDES": baud list index per port. Missing reads as settings::kNoBaud; negative indexes
    // are not written, so the marker never ends up in the file.
    int32_t ReadBaud(const QString& port) const;
    void WriteBaud(const QString& port, int32_t index) const;
    // The stored index for the port when it may be applied to a baud list of `count` entries:
    // above 0 and below `count`.
    std::optional<int32_t> ApplicableBaud(const QString& port, int32_t count) const;

    // "DEVICES": device last seen on a port, such as "DPS5015"; empty when missing.
    QString ReadDevice(const QString& port) const;
    void WriteDevice(const QString& port, const QString& text) const;

    // The INI file under a given config home: <home>/tarnwell/DPS.ini.
    static QString PathUnder(const QString& configHome);

private:
    QString fPath;  // empty: resolve from the environment at each access
};
