#pragma once
// The arguments of 'plan run FILE' and 'charge' (chemistry, cells, capacity, current,
// termination) and the option they share (--readings N).

#include <QString>
#include <QStringList>

struct TCliRequest;

// The positional arguments after "plan".
QString ParsePlan(const QStringList& AArgs, TCliRequest& AReq);
// --readings, --chemistry, --cells, --capacity, --termination.
QString ApplyPlanOption(const QString& AName, const QString& AValue, TCliRequest& AReq);
// What only the whole request of charge can tell: a termination below the charge current.
QString CheckPlanRequest(const TCliRequest& AReq);
