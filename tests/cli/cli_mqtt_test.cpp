// serve-mqtt end to end with a real broker on loopback: what a subscriber sees (availability,
// retained state, readings that match the supply), control allowed within the caps and refused
// beyond them or without --allow-control, /metrics as promtool and the supply see it, a broker
// restarted mid-run, and the last will when the bridge is killed.

#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <memory>
#include <sstream>

#include "bridges/mqtt_client.h"
#include "sim/sim_device.h"
#include "tests/cli/child_process.h"
#include "tests/cli/cli_harness.h"
#include "tests/support/event_loop.h"
#include "tests/support/http_exchange.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/promtool.h"

using clitest::TCliHarness;
using testsupport::ProcessUntil;

namespace {

// Subscribes to everything under benchlord/bench and keeps the last payload of each topic.
class TSubscriber {
public:
    explicit TSubscriber(const testsupport::TMqttBroker& ABroker,
                         const std::function<void(TMqttOptions&)>& AMore = nullptr)
        : fClient(Options(ABroker, AMore)) {
        fClient.fOnConnected = [this] { fClient.Subscribe("benchlord/bench/#"); };
        fClient.fOnMessage = [this](const QString& ATopic, const QByteArray& APayload) {
            const QString base = "benchlord/bench/";
            const QString topic = ATopic.startsWith(base) ? ATopic.mid(base.size()) : ATopic;
            fLast[topic] = APayload;
            ++fCount[topic];
        };
        fClient.Start();
    }
    // Waits until ATopic's last payload satisfies APredicate.
    bool Await(const QString& ATopic, const std::function<bool(const QByteArray&)>& APredicate) {
        return ProcessUntil([&] { return fLast.contains(ATopic) && APredicate(fLast[ATopic]); },
                            5000);
    }
    bool AwaitText(const QString& ATopic, const QByteArray& AText) {
        return Await(ATopic, [&](const QByteArray& P) { return P == AText; });
    }
    QJsonObject Json(const QString& ATopic) {
        return QJsonDocument::fromJson(fLast.value(ATopic)).object();
    }
    int Count(const QString& ATopic) const { return fCount.value(ATopic); }
    // Sends a command and waits for its answer.
    QJsonObject Command(const QString& AWhat, const QByteArray& AValue) {
        fLast.remove("result");
        fClient.Publish("benchlord/bench/set/" + AWhat, AValue, false, 1);
        Await("result", [](const QByteArray&) { return true; });
        return Json("result");
    }
    TMqttClient& Client() { return fClient; }

private:
    static TMqttOptions Options(const testsupport::TMqttBroker& ABroker,
                                const std::function<void(TMqttOptions&)>& AMore) {
        TMqttOptions o;
        o.Port = ABroker.Port();
        o.ClientId = "test-subscriber";
        o.RetryFirstMs = 50;
        o.RetryMaxMs = 200;
        if (AMore) AMore(o);
        return o;
    }
    TMqttClient fClient;
    QMap<QString, QByteArray> fLast;
    QMap<QString, int> fCount;
};

QJsonValue Field(const QByteArray& APayload, const QString& AKey) {
    return QJsonDocument::fromJson(APayload).object().value(AKey);
}

QStringList BrokerArgs(const testsupport::TMqttBroker& ABroker) {
    return {"serve-mqtt", "--broker", "127.0.0.1:" + QString::number(ABroker.Port()), "--name",
            "bench"};
}

// The value of the first sample of AName in a scrape, or -1.
double Sample(const QByteArray& AText, const QString& AName) {
    const QRegularExpression line("^" + AName + R"((\{[^}]*\})? (\S+)$)",
                                  QRegularExpression::MultilineOption);
    const auto m = line.match(QString::fromUtf8(AText));
    return m.hasMatch() ? m.captured(2).toDouble() : -1;
}

}  // namespace

TEST(CliMqtt, SubscriberSeesTheSupplyAndDrivesItWithinTheCapsAcrossABrokerRestart) {
    testsupport::TMqttBroker broker;
    ASSERT_TRUE(broker.Running()) << broker.Error();
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    h.config.Timings.AutoconnectFirst = 20;
    h.config.Timings.AutoconnectRetry = 60;
    h.config.MqttRetryFirstMs = 50;
    h.config.MqttRetryMaxMs = 200;
    const TParseResult parsed = ParseArguments(h.Tcp() << BrokerArgs(broker) << "--allow-control"
                                                       << "--max-voltage"
                                                       << "12"
                                                       << "--metrics"
                                                       << "127.0.0.1:0");
    ASSERT_EQ(parsed.Error, "");
    std::ostringstream out, err;
    TCliRunner runner(parsed.Request, out, err, h.config);
    runner.Start();
    TSubscriber sub(broker);

    ASSERT_TRUE(sub.AwaitText("availability", "online")) << err.str();
    ASSERT_TRUE(sub.Await("state", [](const QByteArray& P) { return P.contains("DPS5015"); }));
    QJsonObject state = sub.Json("state");
    EXPECT_EQ(state["max_voltage"].toDouble(), 51.0);
    EXPECT_EQ(state["limit_voltage"].toDouble(), 12.0);
    EXPECT_TRUE(state["control"].toBool());
    EXPECT_TRUE(
        sub.Await("reading", [](const QByteArray& P) { return Field(P, "time").isString(); }));
    // Home Assistant finds a switch and the set points (up to the cap), since control is allowed.
    sub.Client().Subscribe("homeassistant/#");
    const QString node = "homeassistant/%1/benchlord_bench/%2/config";
    ASSERT_TRUE(sub.Await(node.arg("switch", "output"), [](const QByteArray& P) {
        return P.contains(R"("command_topic":"benchlord/bench/set/output")");
    }));
    EXPECT_EQ(sub.Json(node.arg("number", "uset"))["max"].toDouble(), 12.0);
    EXPECT_EQ(sub.Json(node.arg("sensor", "uout"))["state_topic"].toString(),
              "benchlord/bench/reading");

    // Within the caps: written, read back, answered, and seen in the readings.
    QJsonObject r = sub.Command("voltage", "5");
    EXPECT_TRUE(r["ok"].toBool()) << QJsonDocument(r).toJson().toStdString();
    EXPECT_EQ(r["result"].toString(), "5.00");
    EXPECT_EQ(h.supply.Reg(simreg::USET), 500);
    r = sub.Command("output", "ON");
    EXPECT_TRUE(r["ok"].toBool()) << QJsonDocument(r).toJson().toStdString();
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);
    // 10 ohms: 5 V drives 0.5 A.
    EXPECT_TRUE(sub.Await("reading", [](const QByteArray& P) {
        return Field(P, "uout").toDouble() == 5.0 && Field(P, "iout").toDouble() == 0.5;
    }));
    EXPECT_TRUE(sub.Await("state", [](const QByteArray& P) {
        return Field(P, "uset").toDouble() == 5.0 && Field(P, "output").toBool();
    }));

    // Beyond the bridge's cap or the model's limits: refused with nothing written.
    h.supply->ClearWrites();
    r = sub.Command("voltage", "12.01");
    EXPECT_FALSE(r["ok"].toBool());
    EXPECT_EQ(r["error"].toString(),
              "voltage 12.01: above the bridge's limit of 12.00 V (--max-voltage)");
    r = sub.Command("voltage", "60");
    EXPECT_EQ(r["error"].toString(), "voltage 60: out of range, 0.10 to 51.00 V on the DPS5015");
    r = sub.Command("output", "maybe");
    EXPECT_FALSE(r["ok"].toBool());
    EXPECT_TRUE(h.supply->Writes().empty());
    EXPECT_EQ(h.supply.Reg(simreg::USET), 500);

    // /metrics: valid for promtool, the values the supply holds.
    static const QRegularExpression served(R"(127\.0\.0\.1:(\d+)/metrics)");
    const auto port =
        static_cast<quint16>(served.match(QString::fromStdString(out.str())).captured(1).toUInt());
    ASSERT_NE(port, 0) << out.str();
    const QByteArray metrics = testsupport::ScrapeMetrics(port);
    EXPECT_EQ(testsupport::PromtoolProblems(metrics), "");
    EXPECT_EQ(Sample(metrics, "benchlord_up"), 1);
    EXPECT_EQ(Sample(metrics, "benchlord_set_voltage_volts"), 5.0);
    EXPECT_EQ(Sample(metrics, "benchlord_output_voltage_volts"), 5.0);
    EXPECT_EQ(Sample(metrics, "benchlord_output_current_amps"), 0.5);
    EXPECT_EQ(Sample(metrics, "benchlord_output_on"), 1);
    EXPECT_GT(Sample(metrics, "benchlord_round_trip_seconds_count"), 0);
    EXPECT_TRUE(metrics.contains(R"(benchlord_up{model="DPS5015",link="tcp:127.0.0.1:)" +
                                 QByteArray::number(h.supply.TcpPort()) + R"(",name="bench"} 1)"));
    EXPECT_EQ(Sample(metrics, "benchlord_mqtt_commands_refused_total"), 3);

    // The broker goes away: readings are dropped and counted while the supply is still read.
    broker.Stop();
    ASSERT_TRUE(ProcessUntil(
        [&] {
            return Sample(testsupport::ScrapeMetrics(port),
                          "benchlord_mqtt_readings_dropped_total") >= 3;
        },
        5000))
        << err.str();
    EXPECT_NE(err.str().find("connection to the broker lost"), std::string::npos) << err.str();
    ASSERT_TRUE(broker.Start()) << broker.Error();
    // Back: the retained topics are there again (the new broker kept nothing) and readings flow.
    ASSERT_TRUE(ProcessUntil(
        [&] { return out.str().find("connection to the broker is back") != std::string::npos; },
        5000));
    EXPECT_TRUE(sub.AwaitText("availability", "online"));
    const int before = sub.Count("reading");
    EXPECT_TRUE(ProcessUntil([&] { return sub.Count("reading") > before + 2; }, 5000));
    EXPECT_TRUE(
        sub.Await("state", [](const QByteArray& P) { return Field(P, "uset").toDouble() == 5.0; }));

    // The end says offline, releases the keys and leaves the output as it is.
    runner.Interrupt();
    ASSERT_TRUE(ProcessUntil([&] { return runner.Finished(); }, 5000));
    EXPECT_EQ(runner.ExitCode(), 0) << err.str();
    EXPECT_TRUE(sub.AwaitText("availability", "offline"));
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);
}

TEST(CliMqtt, ObserverRefusesCommandsAndLeavesItsWillWhenKilled) {
    testsupport::TMqttBroker broker;  // makes the application object too
    ASSERT_TRUE(broker.Running()) << broker.Error();
    const std::string tool = QCoreApplication::applicationDirPath().toStdString() + "/benchlordctl";
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const QStringList line = h.Tcp() + BrokerArgs(broker);
    std::vector<std::string> args;
    for (const QString& a : line)
        args.push_back(a.toStdString());
    clitest::TChildProcess bridge(tool, args);
    ASSERT_TRUE(bridge.Started());
    TSubscriber sub(broker);
    ASSERT_TRUE(sub.AwaitText("availability", "online")) << bridge.Err();
    EXPECT_TRUE(sub.Await(
        "state", [](const QByteArray& P) { return Field(P, "control") == QJsonValue(false); }));

    h.supply->ClearWrites();
    const QJsonObject r = sub.Command("voltage", "5");
    EXPECT_FALSE(r["ok"].toBool());
    EXPECT_EQ(r["error"].toString(), "control is not allowed (serve-mqtt --allow-control)");
    EXPECT_TRUE(h.supply->Writes().empty());
    // It only reads: the keys stay free.
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);

    // Killed: the broker speaks for it.
    bridge.Signal(SIGKILL);
    EXPECT_EQ(bridge.Wait(), 128 + SIGKILL) << bridge.Err();
    EXPECT_TRUE(sub.AwaitText("availability", "offline"));
}

// A broker that asks for a password and speaks TLS only: the bridge gets in with the user's
// password file and the broker's certificate, and a wrong password is told as the broker's
// refusal while the bridge keeps trying.
TEST(CliMqtt, ConnectsOverTlsWithAPasswordFileAndTellsAWrongPassword) {
    testsupport::TMqttBroker broker({"bench-user", "two words", true});
    ASSERT_TRUE(broker.Running()) << broker.Error();
    const std::string tool = QCoreApplication::applicationDirPath().toStdString() + "/benchlordctl";
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    QTemporaryDir dir;
    auto passwordFile = [&](const char* AName, const QByteArray& AText) {
        QFile file(dir.filePath(AName));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(AText) == AText.size());
        return file.fileName();
    };
    auto bridgeArgs = [&](const QString& AName, const QString& APasswordFile) {
        std::vector<std::string> args;
        for (const QString& a :
             h.Tcp() + QStringList{"serve-mqtt", "--broker",
                                   "127.0.0.1:" + QString::number(broker.Port()), "--name", AName,
                                   "--user", "bench-user", "--password-file", APasswordFile,
                                   "--cafile", QString::fromStdString(broker.CaFile())})
            args.push_back(a.toStdString());
        return args;
    };

    clitest::TChildProcess bridge(tool, bridgeArgs("bench", passwordFile("right", "two words\n")));
    ASSERT_TRUE(bridge.Started());
    TSubscriber sub(broker, [&](TMqttOptions& O) {
        O.User = "bench-user";
        O.Password = "two words";
        O.CaFile = QString::fromStdString(broker.CaFile());
    });
    EXPECT_TRUE(sub.AwaitText("availability", "online")) << bridge.Err();
    EXPECT_TRUE(sub.Await("reading", [](const QByteArray&) { return true; })) << bridge.Err();

    clitest::TChildProcess refused(tool, bridgeArgs("other", passwordFile("wrong", "one word\n")));
    ASSERT_TRUE(refused.Started());
    EXPECT_TRUE(ProcessUntil(
        [&] {
            return refused.Err().find(
                       "refused the connection: Connection Refused: not authorised") !=
                   std::string::npos;
        },
        5000))
        << refused.Err();
    EXPECT_TRUE(refused.Running());
    bridge.Signal(SIGTERM);
    EXPECT_EQ(bridge.Wait(), 0) << bridge.Err();
}
