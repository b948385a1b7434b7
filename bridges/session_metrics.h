#pragma once
// A session's figures as Prometheus metrics: whether the supply answers, its last reading
// (output and input voltage, current, power, set points, output state, mode, protection,
// temperature) while it does, and the link's counters and round-trip histogram always. Each
// sample carries the labels that name the supply (model, link, the name given).

#include <QString>

#include "bridges/metrics_text.h"

class TSessionCore;

// model="DPS5015" (empty before identification), link="tcp:127.0.0.1:502", name="bench-3".
TMetricLabels SupplyLabels(const QString& AModel, const QString& ALink, const QString& AName);

// Appends the session's families to AOut; AUp: the session runs and its readings are live.
void AddSessionMetrics(TMetricsText& AOut, TSessionCore& ACore, bool AUp,
                       const TMetricLabels& ALabels);
