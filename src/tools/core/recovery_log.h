#pragma once
// Crash safety of a running autotest: every log record is also appended to a CSV file in the
// data folder and pushed to the disk at once, so a crash or a power cut during a long run loses
// nothing. A normal end or a saved log removes the file; a file found at the next start is
// offered for saving.

#include <QFile>
#include <QString>
#include <cstdint>

#include "tools/core/log_files.h"
#include "tools/core/log_stream.h"

class TRecoveryLog {
public:
    // The file "autotest-recovery.csv" in the data folder (or APath).
    explicit TRecoveryLog(QString APath = DefaultPath());
    ~TRecoveryLog();

    static QString DefaultPath();
    const QString& Path() const { return fPath; }

    // Starts a new file with the heading (replacing a left-over one). An error text, empty on
    // success; the run goes on without the file when it cannot be written.
    QString Begin(uint32_t ACurrentDiv);
    // Appends one record and syncs it to the disk. A reason when it could not be written (the
    // copy then stops; the log in memory goes on).
    QString Append(const TLogRecord& ARecord);
    // Closes the file and keeps it (the run ended, the log is not saved yet).
    void Close();
    // Closes and deletes the file.
    void Remove();

    // A file left by an earlier run, with at least the heading.
    bool Exists() const { return QFile::exists(fPath); }
    TParsedLog Read() const;

private:
    QString fPath;
    TLogStream fFile;
    uint32_t fCurrentDiv = 1;
};
