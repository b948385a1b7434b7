#pragma once
// --metrics ADDRESS:PORT of serve-mqtt, serve-scpi and watch: /metrics for Prometheus with the
// session's figures, labelled with the supply's model, link and name; a command adds its own
// families through fExtra. Loopback unless told otherwise, with a warning for other addresses.

#include <functional>
#include <memory>

#include "bridges/metrics_text.h"

class TCliContext;
class TMetricsServer;

class TCliMetrics {
public:
    explicit TCliMetrics(TCliContext& AContext);
    ~TCliMetrics();

    // Listens when --metrics was given (from Prepare); false after failing the run (exit 6).
    bool Open();
    void Close();
    // Whether the session's readings are live (the supply answers).
    void SetUp(bool AUp) { fUp = AUp; }
    std::function<void(TMetricsText&, const TMetricLabels&)> fExtra;

private:
    QByteArray Text();

    TCliContext& fCtx;
    std::unique_ptr<TMetricsServer> fServer;
    bool fUp = false;
};
