#pragma once
// A log written row by row while a run goes on (benchlordctl's --log and --csv files, the
// autotest's recovery copy). Opening it only checks that it can be written: the file is left as
// it is until the run really starts (Begin), so a refused run never empties the user's file.
// Every row is written whole or not at all and reaches the file at once; a failure gives the
// system's reason ("No space left on device").

#include <QByteArray>
#include <QString>

class TLogStream {
public:
    TLogStream() = default;
    ~TLogStream();
    TLogStream(const TLogStream&) = delete;
    TLogStream& operator=(const TLogStream&) = delete;

    // Opens APath for writing without changing it (a missing file is made, empty; a symbolic
    // link is written through). Anything but a regular file (a pipe, a socket, a device) is
    // refused without blocking. A reason, empty on success.
    QString Open(const QString& APath);
    // The run starts: the file is emptied, then AHeading is written as the first row.
    QString Begin(const QByteArray& AHeading);
    // Appends one row (with its line end). On a failure the file ends with the last whole row.
    QString Write(const QByteArray& ARow);
    // Each row is also pushed to the disk (a crash or a power cut keeps it).
    void SetSync(bool ASync) { fSync = ASync; }

    bool IsOpen() const { return fFd >= 0; }
    bool Begun() const { return fBegun; }
    const QString& Path() const { return fPath; }
    // Closes the file. One that Open made and the run never began is removed again.
    void Close();

private:
    QString fPath;
    int fFd = -1;
    bool fCreated = false;
    bool fBegun = false;
    QByteArray fCreatedPath;  // the file Open made (the link's target when APath is a link)
    bool fSync = false;
};
