#include "tools/core/recovery_log.h"

#include <unistd.h>
#include <QDir>
#include <QFileInfo>

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
    fFile.setFileName(fPath);
    if (!fFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return "Cannot write " + fPath + ": " + fFile.errorString();
    fFile.write(QByteArray(kCsvLogHeading) + "\n");
    fFile.flush();
    return {};
}

void TRecoveryLog::Append(const TLogRecord& ARecord) {
    if (!fFile.isOpen()) return;
    fFile.write(CsvLogLine(ARecord, fCurrentDiv).toUtf8() + "\n");
    fFile.flush();
    ::fsync(fFile.handle());
}

void TRecoveryLog::Close() {
    if (fFile.isOpen()) fFile.close();
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
