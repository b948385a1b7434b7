#include "tools/core/step_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStandardPaths>

#include "link/kr_crc.h"
#include "session/settings_store.h"
#include "tools/core/csv_values.h"
#include "tools/core/save_file.h"

TStepTable TStepTable::Initial() {
    TStepTable table;
    table.Steps[0] = {500, 200, 60, true, {}};
    table.Count = 1;
    return table;
}

namespace {
uint32_t Le32(const uint8_t* AData) {
    return uint32_t{AData[0]} | uint32_t{AData[1]} << 8 | uint32_t{AData[2]} << 16 |
           uint32_t{AData[3]} << 24;
}
void PutLe32(QByteArray& ABytes, uint32_t AValue) {
    for (int i = 0; i < 4; ++i)
        ABytes.append(static_cast<char>((AValue >> (8 * i)) & 0xFF));
}
}  // namespace

TStepTable ParseTableFile(QByteArrayView ABytes) {
    const qsizetype records = ABytes.size() / kStepRecordSize;
    if (records < 1) return TStepTable::Initial();
    TStepTable table;
    table.Count = static_cast<int>(records < kMaxSteps ? records : kMaxSteps);
    const auto* data = reinterpret_cast<const uint8_t*>(ABytes.data());
    for (int i = 0; i < table.Count; ++i) {
        const uint8_t* r = data + i * kStepRecordSize;
        TStepRecord& step = table.Steps[i];
        step.Uset = Le32(r);
        step.Iset = Le32(r + 4);
        step.Time = Le32(r + 8);
        step.Enabled = r[12] != 0;
        step.Pad = {r[13], r[14], r[15]};
    }
    return table;
}

QByteArray TableFileBytes(const TStepTable& ATable) {
    QByteArray bytes;
    for (int i = 0; i < ATable.Count && i < kMaxSteps; ++i) {
        const TStepRecord& step = ATable.Steps[i];
        PutLe32(bytes, step.Uset);
        PutLe32(bytes, step.Iset);
        PutLe32(bytes, step.Time);
        bytes.append(static_cast<char>(step.Enabled ? 1 : 0));
        for (uint8_t pad : step.Pad)
            bytes.append(static_cast<char>(pad));
    }
    return bytes;
}

QString ToolsDataFolder() {
    // The window's own data folder (organisation "tarnwell", application "DPS"), named here so
    // that benchlordctl finds the same table.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/tarnwell/DPS";
}

QString TableFilePath() {
    return ToolsDataFolder() + "/" + kTableFileName;
}

TSavedTable ReadSavedTable(const TSettingsStore& AStore, const QString& APath) {
    TSavedTable saved;
    QFile file(APath);
    if (!file.exists()) return saved;  // nothing saved yet
    if (!file.open(QIODevice::ReadOnly)) {
        saved.Problem = file.errorString();
        return saved;
    }
    const QByteArray bytes = file.readAll();
    if (!AStore.ValueExists(settings::kCRC)) {
        saved.Problem = "its check value (CRC) is missing from " + AStore.FilePath();
        return saved;
    }
    const uint32_t crc = CRC32Update(0, reinterpret_cast<const uint8_t*>(bytes.constData()),
                                     static_cast<size_t>(bytes.size()));
    if (static_cast<uint32_t>(AStore.ReadInteger(settings::kCRC)) != crc) {
        saved.Problem = "its check value (CRC) does not match";
        return saved;
    }
    saved.Table = ParseTableFile(bytes);
    return saved;
}

TStepTable LoadTable(const TSettingsStore& AStore, const QString& APath) {
    return ReadSavedTable(AStore, APath).Table;
}

QString SetTableAside(const QString& APath, QString& AError) {
    QString aside = APath + ".bad";
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = APath + ".bad." + QString::number(n);
    QFile file(APath);
    if (file.rename(aside)) return aside;
    AError = file.errorString();
    return {};
}

QString SaveTable(const TStepTable& ATable, const TSettingsStore& AStore, const QString& APath) {
    QDir().mkpath(QFileInfo(APath).absolutePath());
    const QString error = SaveFile(APath, TableFileBytes(ATable));
    if (!error.isEmpty()) return CannotWrite(APath, error);
    const std::optional<uint32_t> crc = FileCRC32(QFile::encodeName(APath).toStdString());
    if (!crc || !AStore.WriteIntegerChecked(settings::kCRC, static_cast<int32_t>(*crc)))
        return CannotWrite(AStore.FilePath(), "the check value (CRC) of " + APath +
                                                  " cannot be stored, so the table will not be "
                                                  "used at the next start");
    return {};
}

namespace {}  // namespace

TStepFile ParseStepCsv(const QByteArray& ABytes) {
    TStepFile file;
    const QList<QByteArray> lines = ABytes.split('\n');
    bool first = true;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const QString where = "line " + QString::number(i + 1) + ": ";
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (first && !StartsWithNumber(line)) {  // heading
            first = false;
            continue;
        }
        first = false;
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() < 3 || fields.size() > 4) {
            file.Error = where + "expected voltage,current,seconds[,enabled]";
            return file;
        }
        TStepLine step;
        step.Line = i + 1;
        if (!ParseFixed(fields[0], 2, step.Centivolts)) {
            file.Error = where + FixedCellProblem("voltage", fields[0],
                                                  "a number of volts with at most two decimals");
            return file;
        }
        if (!ParseFixed(fields[1], 3, step.Milliamps)) {
            file.Error =
                where + FixedCellProblem("current", fields[1],
                                         "a number of amperes with at most three decimals");
            return file;
        }
        if (!ParseFixed(fields[2], 0, step.Seconds) || step.Seconds < 1 ||
            step.Seconds > kMaxStepSeconds) {
            file.Error = where + "seconds must be a whole number from 1 to " +
                         QString::number(kMaxStepSeconds);
            return file;
        }
        if (fields.size() == 4 && !ParseEnabled(fields[3], step.Enabled)) {
            file.Error = where + "enabled must be 1 or 0";
            return file;
        }
        if (static_cast<int>(file.Steps.size()) == kMaxSteps) {
            file.Error = where + "a table holds at most " + QString::number(kMaxSteps) + " steps";
            return file;
        }
        file.Steps.push_back(step);
    }
    if (file.Steps.empty()) file.Error = "the file holds no step";
    return file;
}

namespace {
QString VoltageRange(uint32_t AMaxUset) {
    return "0.10 to " + QString::number(AMaxUset / 100.0, 'f', 2) + " V";
}
QString CurrentRange(uint32_t AMaxIset, uint32_t ACurrentDiv) {
    const double scale = ACurrentDiv == 10 ? 1000.0 : 100.0;
    const int decimals = ACurrentDiv == 10 ? 3 : 2;
    return QString::number(1 / scale, 'f', decimals) + " to " +
           QString::number(AMaxIset / scale, 'f', decimals) + " A";
}
}  // namespace

QString StepFileToTable(const TStepFile& AFile, uint32_t AMaxUset, uint32_t AMaxIset,
                        uint32_t ACurrentDiv, TStepTable& ATable) {
    ATable = TStepTable{};
    ATable.Count = static_cast<int>(AFile.Steps.size());
    for (size_t i = 0; i < AFile.Steps.size(); ++i) {
        const TStepLine& line = AFile.Steps[i];
        const QString where = "line " + QString::number(line.Line) + ": ";
        if (line.Centivolts < 10 || line.Centivolts > AMaxUset)
            return where + "voltage outside " + VoltageRange(AMaxUset);
        if (ACurrentDiv != 10 && line.Milliamps % 10 != 0)
            return where + "this model sets the current in steps of 0.01 A";
        const uint32_t iset = ACurrentDiv == 10 ? line.Milliamps : line.Milliamps / 10;
        if (iset < 1 || iset > AMaxIset)
            return where + "current outside " + CurrentRange(AMaxIset, ACurrentDiv);
        ATable.Steps[i] = {line.Centivolts, iset, line.Seconds, line.Enabled, {}};
    }
    return {};
}

QString CheckTableLimits(const TStepTable& ATable, uint32_t AMaxUset, uint32_t AMaxIset) {
    for (int i = 0; i < ATable.Count; ++i) {
        const TStepRecord& step = ATable.Steps[i];
        if (!step.Enabled) continue;
        const QString where = "step " + QString::number(i + 1) + ": ";
        if (step.Uset < 10 || step.Uset > AMaxUset)
            return where + "voltage outside this model's range";
        if (step.Iset < 1 || step.Iset > AMaxIset)
            return where + "current outside this model's range";
    }
    return {};
}
