// The sweep runner on a headless session, started as a window's button starts it: between two
// readings, here while a poll is on its way. That poll shows the old set values; the output must
// not go on before the supply shows the first point's.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "link/tcp_connector.h"
#include "session/session_core.h"
#include "session/settings_store.h"
#include "sim/sim_device.h"
#include "tests/support/event_loop.h"
#include "tests/support/fast_timings.h"
#include "tests/support/recording_view.h"
#include "tests/support/supply_writes.h"
#include "tests/support/virtual_supply_fixture.h"
#include "tools/core/sweep.h"

namespace {

using testsupport::ProcessUntil;

TEST(Sweep, StartedBetweenReadingsSwitchesOnOnlyAtTheFirstSetPoint) {
    testsupport::EnsureCoreApp();
    testsupport::TSupplyConfig config;
    config.manualClock = false;
    testsupport::TVirtualSupplyFixture supply(config);
    ASSERT_TRUE(supply.Started()) << supply.Error();
    QTemporaryDir dir;
    TSettingsStore settings(TSettingsStore::PathUnder(dir.path()));
    testsupport::TRecordingView view;
    TSessionCore core(view, settings, SystemTickClock(), testsupport::FastTimings());
    core.TCPConnector().SetReadTimeout(300);
    core.LoadSettings();
    core.TCPConnector().SetPort(supply.TcpPort());
    core.ComPortComboBoxSelect(0);
    core.IpMaskEditChange("127.000.000.001");
    core.ConnectBtnClick();
    ASSERT_TRUE(ProcessUntil([&] { return core.Connected(); }, 2000));
    // The supply stands at 12 V: a switch-on before the first point's write would put that out.
    core.U_KnobChange(1200);
    ASSERT_TRUE(ProcessUntil([&] { return supply.Reg(simreg::USET) == 1200; }, 2000));
    supply->ClearWrites();

    TSweepPlan plan;
    plan.From = 100;
    plan.To = 300;
    plan.Step = 100;
    plan.Limit = 50;
    plan.DwellMs = 30;
    TSweep sweep(core, plan);
    std::vector<int> recorded;
    TSweepEnd end = seNone;
    QObject::connect(&sweep, &TSweep::PointRecorded, [&](int AIndex) {
        recorded.push_back(AIndex);
        // What a window plots while the curve grows.
        EXPECT_EQ(sweep.Points().size(), static_cast<size_t>(AIndex) + 1);
    });
    QObject::connect(&sweep, &TSweep::Finished, [&](TSweepEnd AEnd) { end = AEnd; });
    // Started right after a poll went out, as a click can come at any time.
    bool started = false;
    TTaskNotifyEvent poll = core.TaskMgr().fOnReadData;
    core.TaskMgr().fOnReadData = [&, poll](TLN_TaskMgr* ASender) {
        poll(ASender);
        if (!started) sweep.Start();
        started = true;
    };
    ASSERT_TRUE(ProcessUntil([&] { return end != seNone; }, 5000));
    EXPECT_EQ(end, seCompleted);
    EXPECT_EQ(recorded, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(testsupport::SupplyWrites(supply.Supply()).join(", ").toStdString(),
              "set 100 50, onoff 1, set 200 50, set 300 50, onoff 0");
    EXPECT_NEAR(sweep.Points()[2].Iout, 0.3, 1e-9);  // 3.00 V across 10 ohm
    EXPECT_EQ(supply.Reg(simreg::ONOFF), 0);
    core.CloseSession();
}

}  // namespace
