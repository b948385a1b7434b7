// The Prometheus exposition as promtool reads it, served over loopback HTTP as a scraper asks.

#include <gtest/gtest.h>

#include <QTcpSocket>

#include "bridges/metrics_server.h"
#include "bridges/metrics_text.h"
#include "tests/support/event_loop.h"
#include "tests/support/http_exchange.h"
#include "tests/support/promtool.h"

using testsupport::HttpExchange;
using testsupport::ProcessUntil;
using testsupport::PromtoolProblems;

TEST(Metrics, ExpositionPassesPromtoolAndIsServedToScrapers) {
    testsupport::EnsureCoreApp();
    const TMetricLabels labels{
        {"model", "DPS5015"}, {"link", "tcp:127.0.0.1:502"}, {"name", "bench \"3\" \\ east"}};
    TMetricsText m;
    m.Gauge("benchlord_output_voltage_volts", "Measured output voltage.", labels, 5.01);
    m.Counter("benchlord_timeouts_total", "Requests without a reply.", labels, 3);
    m.Histogram("benchlord_round_trip_seconds", "Round trip.", labels, {0.001, 0.01}, {4, 1, 2},
                0.125);
    // A second sample of a family joins it instead of repeating its HELP and TYPE.
    TMetricLabels other = labels;
    other.back().second = "bench-4";
    m.Gauge("benchlord_output_voltage_volts", "Measured output voltage.", other, 12);
    const QByteArray text = m.Text();

    EXPECT_EQ(PromtoolProblems(text), "");
    EXPECT_EQ(text.count("# TYPE benchlord_output_voltage_volts gauge"), 1);
    EXPECT_TRUE(text.contains(R"(name="bench \"3\" \\ east"} 5.01)")) << text.toStdString();
    EXPECT_TRUE(text.contains(R"(name="bench-4"} 12)"));
    // Buckets are cumulative; the count is that of +Inf.
    EXPECT_TRUE(text.contains(R"(le="0.01"} 5)"));
    EXPECT_TRUE(text.contains(R"(le="+Inf"} 7)"));
    EXPECT_TRUE(text.contains(R"(benchlord_round_trip_seconds_count{model="DPS5015")"));

    int scrapes = 0;
    TMetricsServer server([&] {
        ++scrapes;
        return text;
    });
    QString error;
    ASSERT_TRUE(server.Listen(QHostAddress::LocalHost, 0, error)) << error.toStdString();
    // A request that comes in pieces is answered once whole.
    QTcpSocket slow;
    slow.connectToHost(QHostAddress::LocalHost, server.Port());
    slow.write("GET /metrics HT");
    ProcessUntil(
        [&] { return slow.bytesToWrite() == 0 && slow.state() == QAbstractSocket::ConnectedState; },
        2000);
    slow.write("TP/1.1\r\nHost: x\r\n\r\n");
    QByteArray slowReply;
    ProcessUntil(
        [&] {
            slowReply += slow.readAll();
            return slow.state() == QAbstractSocket::UnconnectedState;
        },
        3000);
    slowReply += slow.readAll();
    EXPECT_TRUE(slowReply.startsWith("HTTP/1.1 200 OK\r\n")) << slowReply.toStdString();
    EXPECT_TRUE(slowReply.contains("Content-Type: text/plain; version=0.0.4"));
    EXPECT_TRUE(slowReply.endsWith("\r\n\r\n" + text));

    EXPECT_TRUE(
        HttpExchange(server.Port(), "GET /other HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 404"));
    EXPECT_TRUE(
        HttpExchange(server.Port(), "POST /metrics HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 405"));
    // A head that never ends is cut off instead of growing.
    EXPECT_EQ(HttpExchange(server.Port(), QByteArray(20000, 'x')), "");
    EXPECT_EQ(scrapes, 1);
}
