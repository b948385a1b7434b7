#pragma once
// Saving a whole file (a workbook, a text log, the step table, a picture) without ever leaving
// half of it or losing the old one: the content goes to a temporary file beside the target, is
// pushed to the disk, and is renamed over the target. A symbolic link is followed to the file it
// names, so the link stays a link and its target gets the content; a target that exists and is
// not a regular file (a device, a pipe, a folder) is refused with nothing touched.

#include <QByteArray>
#include <QString>
#include <functional>

// The file a save to APath replaces: APath with every symbolic link followed (a link to a file
// not made yet names that file). Error: a reason when it cannot be saved there.
struct TSaveTarget {
    QString Path;
    QString Error;
};
TSaveTarget ResolveSaveTarget(const QString& APath);

// Checks that APath could be saved (links followed, not a special file, its folder writable)
// without touching it. A reason, empty when it can.
QString CheckSaveTarget(const QString& APath);

// AWrite fills the temporary file whose path it is given and returns a reason, empty on success.
// The saved file keeps the permissions of the one it replaces. Returns a reason, empty on
// success; on a failure the target is as it was.
QString SaveFile(const QString& APath, const std::function<QString(const QString&)>& AWrite);
QString SaveFile(const QString& APath, const QByteArray& ABytes);

// "Cannot write PATH: REASON" (the window's boxes).
QString CannotWrite(const QString& APath, const QString& AReason);

// Reads a small input file (a plan, a bench) into AText: only a regular file (a link to one is
// followed; a pipe or a device would block or never end) of at most AMaxBytes, which AWhat names
// in the refusal ("larger than a plan file can be (1 MiB)"). The problem, or empty.
QString ReadInputFile(const QString& APath, qint64 AMaxBytes, const QString& AWhat,
                      QByteArray& AText);
