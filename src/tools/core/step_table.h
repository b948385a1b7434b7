#pragma once
// The autotest's step table: up to 17 steps of set voltage, set current, duration and an enabled
// flag; its binary file "Persistent.ini" (16-byte little-endian records, guarded by the CRC-32
// kept as the settings value "CRC"); and the CSV step files benchlordctl runs.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

class TSettingsStore;

inline constexpr int kMaxSteps = 17;
inline constexpr int kStepRecordSize = 16;
inline constexpr char kTableFileName[] = "Persistent.ini";

struct TStepRecord {
    uint32_t Uset = 0;  // 0.01 V
    uint32_t Iset = 0;  // the model's current unit
    uint32_t Time = 0;  // seconds
    bool Enabled = false;
    std::array<uint8_t, 3> Pad{};  // bytes 13-15 of the record, written back as read
    bool operator==(const TStepRecord&) const = default;
};

struct TStepTable {
    std::array<TStepRecord, kMaxSteps> Steps{};
    int Count = 1;  // steps in use, 1..17
    bool operator==(const TStepTable&) const = default;

    // One enabled step: Uset 500 (5.00 V), Iset 200 in the current unit, 60 s.
    static TStepTable Initial();
};

// The table held in a table file's bytes: as many 16-byte records as the bytes hold, at most 17
// (a trailing partial record is ignored). Fewer than 16 bytes give the initial table, since a
// table without a step cannot be run or edited.
TStepTable ParseTableFile(QByteArrayView ABytes);
// The file form of the table's Count steps.
QByteArray TableFileBytes(const TStepTable& ATable);

// The program's data folder: <XDG data home>/tarnwell/DPS (the window's AppDataLocation).
QString ToolsDataFolder();
// "Persistent.ini" in the data folder.
QString TableFilePath();
// The saved table when the file exists and its CRC-32 equals the stored "CRC". Otherwise the
// initial table, and when a file exists, the reason it fails its check (a missing or different
// "CRC", an unreadable file): such a table is neither run nor overwritten.
struct TSavedTable {
    TStepTable Table = TStepTable::Initial();
    QString Problem;
};
TSavedTable ReadSavedTable(const TSettingsStore& AStore, const QString& APath = TableFilePath());
TStepTable LoadTable(const TSettingsStore& AStore, const QString& APath = TableFilePath());
// Moves a table file that failed its check out of the way, to APath + ".bad" (or ".bad.2", ...
// when taken), so that it is kept for the user. The new path, or empty with AError set.
QString SetTableAside(const QString& APath, QString& AError);
// Writes the table (temporary file renamed over the old one, so a crash never leaves half a
// table) and stores its CRC-32 as "CRC". Returns an error text, empty on success; a CRC that
// cannot be stored is an error too (the table would fail its check at the next start).
QString SaveTable(const TStepTable& ATable, const TSettingsStore& AStore,
                  const QString& APath = TableFilePath());

// A CSV step file: "voltage,current,seconds[,enabled]" per line, a heading line optional, blank
// lines and lines starting with '#' skipped. Values stay in volts and milliamperes until the
// model is known (ToTable).
struct TStepLine {
    int Line = 0;  // line number in the file
    uint32_t Centivolts = 0;
    uint32_t Milliamps = 0;
    uint32_t Seconds = 0;
    bool Enabled = true;
};
struct TStepFile {
    std::vector<TStepLine> Steps;
    QString Error;  // "line 3: ..." when the file was refused
};
inline constexpr uint32_t kMaxStepSeconds = 86400;
TStepFile ParseStepCsv(const QByteArray& ABytes);
// The table for a model's limits and current unit, or an error naming the line of the first
// value outside them.
QString StepFileToTable(const TStepFile& AFile, uint32_t AMaxUset, uint32_t AMaxIset,
                        uint32_t ACurrentDiv, TStepTable& ATable);
// Checks a saved table against a model's limits (before anything is written).
QString CheckTableLimits(const TStepTable& ATable, uint32_t AMaxUset, uint32_t AMaxIset);
