// The bench window on two virtual supplies of different models (a DPS5015 and a DPS3005), each
// on its own session and link in this process, offscreen.

#include <gtest/gtest.h>

#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "app/bench_row.h"
#include "app/bench_window.h"
#include "device/register_map.h"
#include "session/session_core.h"
#include "sim/virtual_supply.h"
#include "tests/app/window_harness.h"
#include "tests/support/event_loop.h"

namespace {

std::unique_ptr<VirtualSupply> StartSupply(uint16_t AModel) {
    VirtualSupplyOptions opt;
    opt.identity.model = AModel;
    opt.loadOhms = 10.0;
    return VirtualSupply::Start(opt);
}

bool Wait(const std::function<bool()>& ACondition) {
    return testsupport::ProcessUntil(ACondition, 10000);
}

QStringList Lines(const QListWidget* AList) {
    QStringList lines;
    for (int i = 0; i < AList->count(); ++i)
        lines << AList->item(i)->text();
    return lines;
}

TEST(BenchWindow, ShowsBothSuppliesSwitchesThemOnInOrderAndALostLinkLeavesTheOtherLive) {
    QTemporaryDir dir;
    auto big = StartSupply(5015);
    auto logic = StartSupply(3005);
    ASSERT_TRUE(big && logic);
    big->SetRegister(hreg::USET, 1200);
    big->SetRegister(hreg::ISET, 150);
    const QByteArray file = QStringLiteral(
                                "[bench]\nconfirm = 1\n"
                                "[supply]\nname = +12 V\ntcp = 127.0.0.1:%1\norder = 2\n"
                                "delay = 0.25\n"
                                "[supply]\nname = logic\ntcp = 127.0.0.1:%2\norder = 1\n")
                                .arg(big->TcpPort())
                                .arg(logic->TcpPort())
                                .toUtf8();
    const TBenchParse parsed = ParseBenchFile(file);
    ASSERT_EQ(parsed.Error, "");
    apptest::TRecordingPresenter presenter;
    TBenchWindowOptions options;
    options.Form.Timings = apptest::FastTimings();
    options.Form.Timings.RepeatPoll = true;
    options.Form.PortNotices = false;
    options.Form.Autotest.TablePath = dir.filePath("Persistent.ini");
    options.Form.Autotest.RecoveryPath = dir.filePath("autotest-recovery.csv");
    options.SettingsBase = dir.filePath("DPS.ini");
    options.Presenter = &presenter;
    TBenchWindow window(parsed.Bench, options);
    window.show();
    window.ConnectAll();
    TBenchRow& a = window.Row(0);
    TBenchRow& b = window.Row(1);
    ASSERT_TRUE(Wait([&] {
        return a.LinkLabel()->text() == "connected" && b.LinkLabel()->text() == "connected" &&
               a.OutputButton()->isEnabled() && b.OutputButton()->isEnabled();
    }));

    // Each row shows its own supply, its editors within that supply's own limits.
    EXPECT_EQ(a.NameLabel()->text(), "+12 V");
    EXPECT_EQ(a.ModelLabel()->text(), "DPS5015");
    EXPECT_EQ(b.ModelLabel()->text(), "DPS3005");
    EXPECT_DOUBLE_EQ(a.UsetBox()->maximum(), 51.0);
    EXPECT_DOUBLE_EQ(b.UsetBox()->maximum(), 31.0);
    EXPECT_EQ(a.IsetBox()->decimals(), 2);
    EXPECT_EQ(b.IsetBox()->decimals(), 3);
    EXPECT_DOUBLE_EQ(b.IsetBox()->maximum(), 5.1);
    // A set point entered in a row reaches its supply only.
    b.UsetBox()->setValue(5.5);
    emit b.UsetBox()->editingFinished();
    ASSERT_TRUE(Wait([&] { return logic->Register(hreg::USET) == 550; }));
    EXPECT_TRUE(Wait([&] { return b.UsetBox()->value() == 5.5; }));
    EXPECT_NE(big->Register(hreg::USET), 550);

    // All on: logic first, +12 V only after logic's output is on and the delay has passed.
    QStringList steps;
    bool bigOffWhenLogicConfirmed = false;
    QObject::connect(&window.Bench(), &TBenchCore::StepStarted, [&](int AIndex, bool AOn) {
        steps << QString::number(AIndex) + (AOn ? "+" : "-");
    });
    QObject::connect(&window.Bench(), &TBenchCore::StepConfirmed, [&](int AIndex, bool) {
        if (AIndex == 1) bigOffWhenLogicConfirmed = big->Register(hreg::ONOFF) == 0;
    });
    apptest::Click(window.AllOnButton());
    ASSERT_TRUE(Wait([&] { return window.Status()->text() == "All on"; }));
    EXPECT_EQ(steps, (QStringList{"1+", "0+"}));
    EXPECT_TRUE(bigOffWhenLogicConfirmed);
    EXPECT_EQ(big->Register(hreg::ONOFF), 1);
    EXPECT_EQ(logic->Register(hreg::ONOFF), 1);
    ASSERT_TRUE(Wait([&] {
        return a.OutputButton()->text() == "ON" && b.OutputButton()->text() == "ON" &&
               a.UoutLabel()->text() == "12.00 V" && a.ModeLabel()->text() == "CV";
    }));

    // logic stops answering: its row shows the loss, the bench switches +12 V off, and +12 V's
    // row goes on showing live readings. No box holds the window.
    SimFaults deaf;
    deaf.dropEvery = 1;
    logic->SetFaults(deaf);
    ASSERT_TRUE(Wait([&] { return b.LinkLabel()->text() == "lost"; }));
    EXPECT_TRUE(Lines(window.Messages())
                    .contains("the link to logic was lost: every supply is switched off"))
        << Lines(window.Messages()).join('\n').toStdString();
    ASSERT_TRUE(Wait([&] { return big->Register(hreg::ONOFF) == 0; }));
    ASSERT_TRUE(Wait([&] { return a.OutputButton()->text() == "OFF"; }));
    EXPECT_FALSE(b.OutputButton()->isEnabled());
    EXPECT_EQ(b.UoutLabel()->text(), "-");
    EXPECT_EQ(a.LinkLabel()->text(), "connected");
    const uint64_t readings = window.Bench().Session(0)->LastReading().Number;
    big->SetRegister(hreg::USET, 900);
    EXPECT_TRUE(Wait([&] {
        return window.Bench().Session(0)->LastReading().Number > readings + 3 &&
               a.UsetBox()->value() == 9.0;
    }));
    EXPECT_TRUE(presenter.errors.isEmpty()) << presenter.errors.join('\n').toStdString();

    // The row's button opens that supply's full panel on the same session; closing the panel
    // leaves the session running.
    apptest::Click(a.PanelButton());
    EXPECT_TRUE(window.Panel(0).isVisible());
    EXPECT_FALSE(window.Panel(1).isVisible());
    EXPECT_EQ(&window.Panel(0).Session(), window.Bench().Session(0));
    window.Panel(0).close();
    EXPECT_FALSE(window.Panel(0).isVisible());
    EXPECT_TRUE(window.Bench().Session(0)->Connected());

    // Closing the bench ends every session at once and gives the keys back.
    ASSERT_EQ(big->Register(hreg::LOCK), 1);
    window.close();
    EXPECT_FALSE(window.Bench().Session(0)->Connected());
    EXPECT_FALSE(window.Bench().Session(1)->Connected());
    EXPECT_EQ(big->Register(hreg::LOCK), 0);
}

}  // namespace
