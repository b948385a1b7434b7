#include "app/window_metrics.h"

#include "bridges/metrics_server.h"
#include "bridges/session_metrics.h"
#include "link/tcp_connector.h"
#include "session/range_checks.h"
#include "session/session_core.h"

TWindowMetrics::TWindowMetrics(TSessionCore& ASession) : fSession(ASession) {}

TWindowMetrics::~TWindowMetrics() = default;

QString TWindowMetrics::Start(const QString& AAddress, QString* AWarning) {
    Stop();
    QHostAddress address;
    quint16 port = 0;
    if (!ParseListenAddress(AAddress.trimmed(), address, port))
        return "\"" + AAddress + "\" is not an address and port such as " + kDefaultMetricsAddress;
    auto server = std::make_unique<TMetricsServer>([this] { return Text(); });
    QString error;
    if (!server->Listen(address, port, error)) return "cannot listen on " + AAddress + ": " + error;
    fServer = std::move(server);
    if (AWarning)
        *AWarning = address.isLoopback()
                        ? QString()
                        : "anyone who can reach " + Where() + " can read the metrics";
    return {};
}

void TWindowMetrics::Stop() {
    if (fServer) fServer->Close();
    fServer.reset();
}

QString TWindowMetrics::Where() const {
    if (!fServer) return {};
    return fServer->Address().toString() + ":" + QString::number(fServer->Port());
}

QByteArray TWindowMetrics::Text() const {
    const bool up = fSession.Connected();
    const QString model = up && fSession.Data().MODEL != 0 ? ModelName(fSession) : QString();
    if (const QString link = WindowLinkLabel(fSession); !link.isEmpty()) fLink = link;
    // The link names the supply: the window has no name of its own for it.
    const TMetricLabels labels = SupplyLabels(model, fLink, fLink.section(':', 1));
    TMetricsText m;
    AddSessionMetrics(m, fSession, up, labels);
    return m.Text();
}

QString WindowLinkLabel(TSessionCore& ASession) {
    if (!ASession.Connected()) return {};
    if (ASession.MBType() == mbtTCP)
        return "tcp:" + QString::fromStdString(ASession.TCPConnector().IP()) + ":" +
               QString::number(ASession.TCPConnector().Port());
    const auto& ports = ASession.SerialPortList();
    const int k = ASession.PortIndex();
    return "serial:" +
           (k >= 0 && k < static_cast<int>(ports.size()) ? ports[k].ShortName : QString());
}
