#include "cli/cli_metrics.h"

#include "bridges/metrics_server.h"
#include "bridges/session_metrics.h"
#include "cli/cli_command.h"
#include "cli/cli_mqtt_args.h"
#include "session/range_checks.h"
#include "session/session_core.h"

namespace {

QString LinkLabel(const TLinkOptions& ALink) {
    if (ALink.Tcp()) return "tcp:" + ALink.TcpHost + ":" + QString::number(ALink.TcpPort);
    return "serial:" + ALink.Port;
}

}  // namespace

TCliMetrics::TCliMetrics(TCliContext& AContext) : fCtx(AContext) {}

TCliMetrics::~TCliMetrics() = default;

bool TCliMetrics::Open() {
    const TMetricsAddress r = MetricsAddress(fCtx.Request());
    if (r.Host.isEmpty()) return true;
    fServer = std::make_unique<TMetricsServer>([this] { return Text(); });
    const QHostAddress address(r.Host);
    QString error;
    if (!fServer->Listen(address, r.Port, error)) {
        fServer.reset();
        fCtx.Fail(ceLocalIO,
                  "cannot listen on " + r.Host + ":" + QString::number(r.Port) + ": " + error);
        return false;
    }
    const QString where = r.Host + ":" + QString::number(fServer->Port());
    if (!address.isLoopback())
        fCtx.Warn("metrics on " + where + ": anyone who can reach this address can read them");
    fCtx.Print("metrics for Prometheus on http://" + where + "/metrics\n");
    return true;
}

void TCliMetrics::Close() {
    if (fServer) fServer->Close();
}

QByteArray TCliMetrics::Text() {
    TSessionCore& core = fCtx.Core();
    const QString model = core.Data().MODEL != 0 ? ModelName(core) : QString();
    const TMetricLabels labels =
        SupplyLabels(model, LinkLabel(fCtx.Request().Link), MqttName(fCtx.Request()));
    TMetricsText m;
    AddSessionMetrics(m, core, fUp && core.Connected(), labels);
    if (fExtra) fExtra(m, labels);
    return m.Text();
}
