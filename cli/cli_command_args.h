#pragma once
// The arguments of the smaller commands: the set values of set and preset save, the options of
// watch and stats, the actions of preset, the file of flash and the address of serve-scpi.

#include <QString>
#include <QStringList>

struct TCliRequest;

// --voltage, --current, --ovp, --ocp, --opp, --timer.
QString ApplySetValueOption(const QString& AName, const QString& AValue, TCliRequest& AReq);
// set: at least one value.
QString CheckSetRequest(const TCliRequest& AReq);
// watch: --stats-every only where it has summary lines to space (CSV mode).
QString CheckWatchRequest(const TCliRequest& AReq);
// --interval, --count, --csv, --stats-every (watch) and --seconds (stats).
QString ApplyWatchOption(const QString& AName, const QString& AValue, TCliRequest& AReq);
// --listen, --idle-timeout.
QString ApplyScpiOption(const QString& AName, const QString& AValue, TCliRequest& AReq);
// The positional arguments of "preset": list, show N, select N or save N.
QString ParsePreset(const QStringList& AArgs, TCliRequest& AReq);
// The positional argument of "flash": the firmware file.
QString ParseFlash(const QStringList& AArgs, TCliRequest& AReq);
