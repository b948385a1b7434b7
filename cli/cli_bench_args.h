#pragma once
// The arguments of 'bench FILE read|watch|on NAME|off NAME|all-on|all-off'; its options are
// those of watch (--interval, --count, --csv), for 'bench FILE watch' only.

#include <QString>
#include <QStringList>

struct TCliRequest;

// The positional arguments after "bench".
QString ParseBench(const QStringList& AArgs, TCliRequest& AReq);
// What only the whole request can tell: watch's options elsewhere, a link option given.
QString CheckBenchRequest(const TCliRequest& AReq);
