#pragma once
// The arguments of "benchlordctl sweep": voltage|current FROM TO STEP, with the options
// --dwell S, --limit A|V and --png FILE (--csv FILE is shared with watch).

#include <QString>
#include <QStringList>

struct TCliRequest;

// The positional arguments after "sweep"; an error text or empty.
QString ParseSweep(const QStringList& AArgs, TCliRequest& AReq);
// One of the sweep's own options; an error text or empty.
QString ApplySweepOption(const QString& AName, const QString& AValue, TCliRequest& AReq);
