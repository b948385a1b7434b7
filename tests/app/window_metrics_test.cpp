// The window's /metrics for Prometheus: switched on in the Connection panel it serves the live
// session, a restart serves again from the settings, and an address that cannot be had is told,
// with the user's address and choice kept.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTcpServer>

#include "app/connection_panel.h"
#include "sim/sim_device.h"
#include "tests/app/window_harness.h"
#include "tests/support/event_loop.h"
#include "tests/support/http_exchange.h"

using apptest::TWindowHarness;
using testsupport::ScrapeMetrics;

namespace {

// The value of benchlord_up in a scrape.
QString Up(const QByteArray& AText) {
    static const QRegularExpression line(R"(^benchlord_up\{[^}]*\} (\S+)$)",
                                         QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(AText)).captured(1);
}

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

}  // namespace

TEST(WindowMetrics, ServesTheSessionAgainAfterARestartAndTellsWhenTheAddressIsTaken) {
    TWindowHarness h;
    ASSERT_TRUE(h.StartSupply());
    h.supply->SetRegister(simreg::USET, 734);
    ASSERT_TRUE(h.Connect()) << h.presenter.errors.join("|").toStdString();
    const quint16 port = FreePort();
    const QString address = "127.0.0.1:" + QString::number(port);
    TConnectionPanel* panel = h.form->ConnectionPanel();
    panel->MetricsAddressEdit()->setText(address);
    apptest::Click(panel->MetricsSwitch());
    ASSERT_TRUE(panel->MetricsSwitch()->isChecked()) << h.presenter.errors.join("|").toStdString();
    EXPECT_FALSE(panel->MetricsAddressEdit()->isEnabled());
    const QByteArray live = ScrapeMetrics(port);
    EXPECT_TRUE(
        live.contains("benchlord_set_voltage_volts{model=\"DPS5015\",link=\"tcp:127.0.0.1:" +
                      QByteArray::number(h.supply->TcpPort()) + "\""))
        << live.toStdString();
    EXPECT_TRUE(live.contains("} 7.34\n")) << live.toStdString();
    EXPECT_EQ(Up(live), "1");

    // The next start serves at once, before any connection, and says no supply answers.
    h.ReopenWindow();
    h.form->show();
    panel = h.form->ConnectionPanel();
    EXPECT_TRUE(panel->MetricsSwitch()->isChecked());
    EXPECT_EQ(Up(ScrapeMetrics(port)), "0");

    // Taken by another program at the start: told, the switch off, the address and the stored
    // wish kept for the next start.
    h.form.reset();
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, port));
    h.ReopenWindow();
    h.form->show();
    panel = h.form->ConnectionPanel();
    ASSERT_TRUE(h.WaitFor([&] { return !h.presenter.errors.isEmpty(); }));
    EXPECT_TRUE(
        h.presenter.errors.last().startsWith("Metrics for Prometheus: cannot listen on " + address))
        << h.presenter.errors.last().toStdString();
    EXPECT_FALSE(panel->MetricsSwitch()->isChecked());
    EXPECT_EQ(panel->MetricsAddressEdit()->text(), address);
    EXPECT_EQ(h.settings.ReadInteger(settings::kMetricsOn), 1);

    // Switched off by the user: remembered.
    other.close();
    apptest::Click(panel->MetricsSwitch());
    ASSERT_TRUE(panel->MetricsSwitch()->isChecked());
    apptest::Click(panel->MetricsSwitch());
    EXPECT_EQ(ScrapeMetrics(port), QByteArray());
    EXPECT_EQ(h.settings.ReadInteger(settings::kMetricsOn), 0);
    EXPECT_EQ(h.settings.ReadString(settings::kMetrics), address);
}
