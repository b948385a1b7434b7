#include "tools/core/recovery_log.h"

#include <QDir>
#include <QFileInfo>

#include "tools/core/save_file.h"
#include "tools/core/step_table.h"

TRecoveryLog::TRecoveryLog(QString APath) : fPath(std::move(APath)) {}

TRecoveryLog::~TRecoveryLog() {
    Close();
}

QString TRecoveryLog::DefaultPath() {
    return ToolsDataFolder() + "/autotest-recovery.csv";
}

QString TRecoveryLog::Begin(uint32_t ACurrentDiv) {
    Close();
    fCurrentDiv = ACurrentDiv;
    QDir().mkpath(QFileInfo(fPath).absolutePath());
    fFile.SetSync(true);
    QString error = fFile.Open(fPath);
    if (error.isEmpty()) error = fFile.Begin(QByteArray(kReadingsCsvHeader) + "\n");
    if (error.isEmpty()) return {};
    fFile.Close();
    return CannotWrite(fPath, error);
}

QString TRecoveryLog::Append(const TLogRecord& ARecord) {
    if (!fFile.IsOpen()) return {};
    const QString error = fFile.Write(CsvLogLine(ARecord, fCurrentDiv).toUtf8() + "\n");
    if (error.isEmpty()) return {};
    fFile.Close();
    return CannotWrite(fPath, error);
}

void TRecoveryLog::Close() {
    fFile.Close();
}

void TRecoveryLog::Remove() {
    Close();
    QFile::remove(fPath);
}

TParsedLog TRecoveryLog::Read() const {
    QFile file(fPath);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return ParseCsvLog(file.readAll());
}
