#pragma once
// /metrics for Prometheus from the window: the window's session as `benchlordctl watch
// --metrics` serves it, switched on and off in the Connection panel and remembered in the
// settings ("Metrics" the address, "MetricsOn" whether it serves). A scrape while no supply
// answers says so (benchlord_up 0) with the link's counters.

#include <QString>
#include <memory>

class TMetricsServer;
class TSessionCore;

inline constexpr char kDefaultMetricsAddress[] = "127.0.0.1:9464";

class TWindowMetrics {
public:
    explicit TWindowMetrics(TSessionCore& ASession);
    ~TWindowMetrics();

    // Serves on AAddress ("127.0.0.1:9464", ":9464" or "9464"); an empty text when it does, else
    // why not. A non-loopback address serves with AWarning set.
    QString Start(const QString& AAddress, QString* AWarning = nullptr);
    void Stop();
    bool Serving() const { return fServer != nullptr; }
    // "127.0.0.1:9464" while serving, the port the system chose when 0 was asked for.
    QString Where() const;

private:
    QByteArray Text() const;

    TSessionCore& fSession;
    std::unique_ptr<TMetricsServer> fServer;
    // The link of the last session: the samples keep their labels while the supply is away.
    mutable QString fLink;
};

// The link the window's session uses, as the metrics label it: "tcp:127.0.0.1:502" or
// "serial:ttyUSB0"; empty while no session runs.
QString WindowLinkLabel(TSessionCore& ASession);
