#pragma once
// The files benchlordctl is given, opened one way for every option and every command:
//  - a regular file, or a symbolic link to one, is read or written through the link; a link to
//    a file not made yet makes that file;
//  - pipes, sockets, devices (/dev/null among them) and folders are refused before anything is
//    sent to the supply, without opening them, so a command never blocks on one;
//  - an output file is only checked when the command starts and is created or emptied when the
//    run really starts (a streamed log, TLogStream::Begin) or written whole once it has ended
//    (SaveFile), so a refused run leaves it as it was.
// An input file that cannot be read is a usage error (exit 2), an output file that cannot be
// written a local I/O error (exit 6).

#include <QByteArray>
#include <QString>

class TLogStream;

// The content of the input file APath (a plan or step file), or why it cannot be read.
struct TInputFile {
    QByteArray Content;
    QString Error;  // "cannot read PATH: REASON"
};
TInputFile ReadInputFile(const QString& APath);

// A file written row by row while the run goes on: opened without being changed. A reason,
// empty on success.
QString OpenOutputStream(TLogStream& AStream, const QString& APath);
// A file written whole once the run has ended: only checked. A reason, empty on success.
QString CheckOutputFile(const QString& APath);

// "cannot write PATH: REASON"
QString CannotWriteText(const QString& APath, const QString& AReason);
