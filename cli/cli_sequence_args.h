#pragma once
// The arguments of "benchlordctl sequence": "show", or "run [FILE]" with the log options
// --log FILE, --format txt|csv|xlsx, --log-every S and --log-on-change VPCT,IPCT.

#include <QString>
#include <QStringList>

struct TCliRequest;

// The positional arguments after "sequence"; an error text or empty.
QString ParseSequence(const QStringList& AArgs, TCliRequest& AReq);
// One of the sequence's options; an error text or empty.
QString ApplySequenceOption(const QString& AName, const QString& AValue, TCliRequest& AReq);
// After all options: the combinations that do not go together; an error text or empty.
QString CheckSequenceRequest(const TCliRequest& AReq);
