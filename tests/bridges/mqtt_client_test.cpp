// The MQTT client against a real broker on loopback: retained messages, a broker that restarts
// under it, and the last will when a client dies.

#include <gtest/gtest.h>

#include <QStringList>
#include <memory>

#include "bridges/mqtt_client.h"
#include "tests/support/event_loop.h"
#include "tests/support/mqtt_broker.h"

using testsupport::ProcessUntil;

namespace {

// A client that records what it receives as "topic=payload".
struct TRecorder {
    explicit TRecorder(const TMqttOptions& AOptions) : Client(AOptions) {
        Client.fOnConnected = [this] { Client.Subscribe("t/#"); };
        Client.fOnMessage = [this](const QString& ATopic, const QByteArray& APayload) {
            Seen << ATopic + "=" + QString::fromUtf8(APayload);
        };
    }
    bool Saw(const QString& AEntry) {
        return ProcessUntil([&] { return Seen.contains(AEntry); }, 4000);
    }
    TMqttClient Client;
    QStringList Seen;
};

TMqttOptions Options(const testsupport::TMqttBroker& ABroker, const QString& AId) {
    TMqttOptions o;
    o.Port = ABroker.Port();
    o.ClientId = AId;
    o.RetryFirstMs = 50;
    o.RetryMaxMs = 200;
    return o;
}

}  // namespace

TEST(MqttClient, RetainedStateBrokerRestartAndLastWill) {
    testsupport::TMqttBroker broker;
    ASSERT_TRUE(broker.Running()) << broker.Error();

    TMqttOptions po = Options(broker, "publisher");
    po.Will = {"t/availability", "offline", true};
    auto publisher = std::make_unique<TMqttClient>(po);
    QStringList losses;
    publisher->fOnDisconnected = [&](const QString& AReason) { losses << AReason; };
    ASSERT_EQ(publisher->Start(), "");
    ASSERT_TRUE(ProcessUntil([&] { return publisher->Connected(); }, 4000));
    EXPECT_EQ(publisher->Publish("t/state", "on", true, 1), TMqttClient::msSent);

    // A subscriber that comes later still gets the retained state.
    TRecorder sub(Options(broker, "subscriber"));
    ASSERT_EQ(sub.Client.Start(), "");
    EXPECT_TRUE(sub.Saw("t/state=on"));

    // The broker goes away: nothing can be sent, and the loss is told once.
    broker.Stop();
    ASSERT_TRUE(ProcessUntil([&] { return !publisher->Connected(); }, 4000));
    EXPECT_EQ(publisher->Publish("t/reading", "lost"), TMqttClient::msNotConnected);
    EXPECT_EQ(losses.size(), 1);

    // Back on the same port: both clients reconnect by themselves.
    ASSERT_TRUE(broker.Start()) << broker.Error();
    ASSERT_TRUE(ProcessUntil(
        [&] { return publisher->Connects() == 2 && sub.Client.Connects() == 2; }, 5000));
    EXPECT_EQ(publisher->Publish("t/reading", "1.00"), TMqttClient::msSent);
    EXPECT_TRUE(sub.Saw("t/reading=1.00"));
    EXPECT_FALSE(sub.Seen.contains("t/reading=lost"));

    // A client that dies without a clean disconnect leaves its will.
    publisher.reset();
    EXPECT_TRUE(sub.Saw("t/availability=offline"));
}
