// Link figures on the command line: stats counts injected faults and keeps going, its round trip
// is the exchange alone, watch --stats adds the figures to each JSON row.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "tests/cli/cli_harness.h"

using clitest::JsonOf;
using clitest::TCliHarness;

namespace {

TEST(CliStats, StatsCountsFaultsWithoutEndingAndWatchRowsCarryTheFigures) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    // Short replies from the start of the session on: counted, and the command goes on.
    auto run = h.Run(h.Tcp() << "--json"
                             << "stats"
                             << "--seconds"
                             << "1",
                     [&](TCliRunner& ARunner) {
                         ARunner.fOnSessionStarted = [&] {
                             SimFaults f;
                             f.shortEvery = 3;
                             h.supply->SetFaults(f);
                         };
                     });
    ASSERT_EQ(run.Code, 0) << run.Err;
    h.supply->SetFaults({});
    const QJsonObject o = JsonOf(run.Out);
    ASSERT_FALSE(o.isEmpty()) << run.Out;
    EXPECT_GT(o["requests_per_s"].toDouble(), 5);
    EXPECT_GT(o["length_errors"].toInt(), 0);
    EXPECT_EQ(o["timeouts"].toInt() + o["crc_errors"].toInt() + o["exceptions"].toInt() +
                  o["other_errors"].toInt(),
              0);
    EXPECT_EQ(o["requests"].toInt(), o["good_replies"].toInt() + o["length_errors"].toInt());
    EXPECT_TRUE(o["rtt_median_ms"].isDouble());
    EXPECT_GE(o["rtt_p99_ms"].toDouble(), o["rtt_median_ms"].toDouble());
    EXPECT_GE(o["since_good_ms"].toDouble(), 0);

    run = h.Run(h.Tcp() << "--json"
                        << "watch"
                        << "--stats"
                        << "--interval"
                        << "0.01"
                        << "--count"
                        << "3");
    ASSERT_EQ(run.Code, 0) << run.Err;
    const QStringList rows = QString::fromStdString(run.Out).trimmed().split('\n');
    ASSERT_EQ(rows.size(), 3) << run.Out;
    for (const QString& row : rows) {
        const QJsonObject r = QJsonDocument::fromJson(row.toUtf8()).object();
        EXPECT_TRUE(r.contains("uout")) << row.toStdString();
        EXPECT_GT(r["good_replies"].toInt(), 0) << row.toStdString();
        EXPECT_TRUE(r.contains("reconnects")) << row.toStdString();
    }
}

TEST(CliStats, TheRoundTripIsTheExchangeWithoutThePauseBetweenExchanges) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    // A long pause of the session's own: were it counted, the median would be above it. The
    // virtual supply answers at once on loopback, so half the pause leaves room for a loaded
    // machine (the bench under bench/ measures the figure itself).
    h.config.Timings.TaskInterval = 40;
    const auto run = h.Run(h.Tcp() << "--json"
                                   << "stats"
                                   << "--seconds"
                                   << "1");
    ASSERT_EQ(run.Code, 0) << run.Err;
    const QJsonObject o = JsonOf(run.Out);
    EXPECT_LT(o["rtt_median_ms"].toDouble(), 20.0) << run.Out;
    // The pause still paces the requests.
    EXPECT_LT(o["requests_per_s"].toDouble(), 1000.0 / 40 + 5) << run.Out;
}

}  // namespace
