// A bench of two virtual supplies of different models (a DPS5015 and a DPS3005), each on a
// session core of its own in this process: the bench file, sequenced switching, the protective
// switch-off and tracking.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

#include "device/register_map.h"
#include "link/tcp_connector.h"
#include "session/session_core.h"
#include "session/settings_store.h"
#include "sim/sim_device.h"
#include "sim/sim_model.h"
#include "sim/virtual_supply.h"
#include "tests/support/event_loop.h"
#include "tests/support/fast_timings.h"
#include "tests/support/recording_view.h"
#include "tools/core/bench_core.h"
#include "tools/core/bench_file.h"

using testsupport::ProcessUntil;

namespace {

// One supply of the bench: a virtual supply and a session core connected to it over TCP.
struct TUnit {
    explicit TUnit(uint16_t AModel) : settings(TSettingsStore::PathUnder(dir.path())) {
        testsupport::EnsureCoreApp();
        VirtualSupplyOptions opt;
        opt.identity.model = AModel;
        SimApplyClassName("ver_45", opt.identity);
        supply = VirtualSupply::Start(opt);
        core = std::make_unique<TSessionCore>(view, settings, SystemTickClock(),
                                              testsupport::FastTimings());
        core->TCPConnector().SetReadTimeout(300);
        core->TCPConnector().SetConnectTimeout(500);
    }
    bool Connect() {
        core->LoadSettings();
        core->TCPConnector().SetPort(supply->TcpPort());
        core->ComPortComboBoxSelect(0);
        core->IpMaskEditChange("127.000.000.001");
        core->ConnectBtnClick();
        return ProcessUntil([&] { return core->Connected() && core->LastReading().Number > 0; },
                            3000);
    }
    uint16_t Reg(uint16_t AReg) { return supply->Register(AReg); }

    QTemporaryDir dir;
    TSettingsStore settings;
    testsupport::TRecordingView view;
    std::unique_ptr<VirtualSupply> supply;
    std::unique_ptr<TSessionCore> core;
};

TBenchFile TwoSupplies(const QString& ATrack = {}) {
    QByteArray text =
        "[bench]\nconfirm = 0.3\n"
        "[supply]\nname = +12 V\ntcp = 127.0.0.1:1\norder = 2\ndelay = 0.25\n"
        "[supply]\nname = logic\ntcp = 127.0.0.1:2\norder = 1\n";
    text += ATrack.toUtf8();
    const TBenchParse parsed = ParseBenchFile(text);
    EXPECT_EQ(parsed.Error, "");
    return parsed.Bench;
}

// What the bench said, in order.
struct TEvents {
    explicit TEvents(TBenchCore& ABench) {
        QObject::connect(&ABench, &TBenchCore::StepStarted, [this](int AIndex, bool AOn) {
            steps << QString::number(AIndex) + (AOn ? "+" : "-");
            times.push_back(clock.elapsed());
        });
        QObject::connect(&ABench, &TBenchCore::SequenceEnded,
                         [this](bool, TBenchFault AFault, const QString& AMessage) {
                             ends.push_back({AFault, AMessage});
                         });
        QObject::connect(&ABench, &TBenchCore::Message,
                         [this](const QString& AText) { messages << AText; });
        clock.start();
    }
    QStringList steps;
    std::vector<qint64> times;
    std::vector<std::pair<TBenchFault, QString>> ends;
    QStringList messages;
    QElapsedTimer clock;
};

TEST(BenchFile, ReadsBackExactlyWhatWasWrittenAndRefusesAMalformedFileByLine) {
    const auto supply = [](const QString& AName, int AOrder, uint32_t ADelayMs) {
        TBenchSupply s;
        s.Name = AName;
        s.Order = AOrder;
        s.DelayMs = ADelayMs;
        return s;
    };
    TBenchFile bench;
    bench.Options.OffOnLoss = false;
    bench.Options.OffOnFailedStep = false;
    bench.Options.ConfirmMs = 1500;
    bench.Supplies = {supply("+12 V", 2, 250), supply("Heater #2", 1, 0), supply("-12 V", 3, 1000)};
    bench.Supplies[0].Link.TcpHost = "192.168.1.20";
    bench.Supplies[0].Link.TcpPort = 5020;
    bench.Supplies[0].Link.Addr = 3;
    bench.Supplies[1].Link.Port = "/dev/ttyUSB0";
    bench.Supplies[1].Link.Baud = 19200;
    bench.Supplies[2].Link.TcpHost = "psu3.lab";
    TBenchTrack track;
    track.Follower = "-12 V";
    track.Leader = "+12 V";
    track.FactorMicros = 125;
    track.Current = true;
    bench.Tracks = {track};
    const QByteArray text = BenchFileText(bench);
    const TBenchParse back = ParseBenchFile(text);
    ASSERT_EQ(back.Error, "") << text.toStdString();
    EXPECT_EQ(back.Bench, bench);
    EXPECT_EQ(BenchFileText(back.Bench), text);
    EXPECT_EQ((back.Bench.SwitchingOrder()), (std::vector<int>{1, 0, 2}));
    EXPECT_TRUE(text.contains("factor = 0.000125\n"));
    EXPECT_TRUE(text.contains("delay = 0.25\n"));

    // Saved through links like every other file, and refused on a special file.
    QTemporaryDir dir;
    const QString target = dir.filePath("bench.ini");
    QFile::link(target, dir.filePath("link.ini"));
    EXPECT_EQ(SaveBenchFile(dir.filePath("link.ini"), bench), "");
    QFile saved(target);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), text);
    EXPECT_TRUE(QFileInfo(dir.filePath("link.ini")).isSymLink());
    EXPECT_NE(SaveBenchFile("/dev/null", bench), "");

    // The defaults of what a hand-written file leaves out.
    const TBenchParse small = ParseBenchFile("# bench\n[supply]\nname=a\nport = ttyUSB1\n");
    ASSERT_EQ(small.Error, "");
    EXPECT_EQ(small.Bench.Options, TBenchOptions{});
    EXPECT_EQ(small.Bench.Supplies[0].Link.Baud, 9600);
    EXPECT_EQ(small.Bench.Supplies[0].Order, 1);

    const std::vector<std::pair<QByteArray, QString>> faults = {
        {"[supply]\nname = a\ntcp = h\nvolts = 5\n",
         "line 4: unknown key volts in [supply] (name, tcp, port, baud, addr, order, delay)"},
        {"[supply]\nname = a\nport = x\n\n[supply]\ntcp = 127.0.0.1\n",
         "line 5: this supply has no name"},
        {"[supply]\nname = a\ntcp = h\n[supply]\nname = a\n", "line 5: a second supply named a"},
        {"[supply]\nname = +12 V\ntcp = h\n[supply]\nname = +12V\n",
         "line 5: +12V and +12 V differ only in blanks (their log columns would be the same)"},
        {"[supply]\nname = a\ntcp = 300.1.1.1\n",
         "line 3: 300.1.1.1 is not a host name or an IPv4 address"},
        {"[supply]\nname = a\nport = x\nbaud = 1234\n",
         "line 4: baud: one of 2400, 4800, 9600, 19200, 38400, 57600, 115200"},
        {"[supply]\nname = a\ntcp = h\norder = 1\n[supply]\nname = b\ntcp = h\norder = 1\n",
         "line 5: b has the same order as a (1)"},
        {"[supply]\nname = a\ntcp = h\n[track]\nfollower = a\nleader = b\n",
         "line 4: no supply is named b"},
        {"[bench]\nconfirm = 0\n[supply]\nname = a\ntcp = h\n",
         "line 2: confirm: seconds from 0.1 to 600"},
        {"name = a\n", "line 1: name stands before any section"},
        {"[supply]\nname = a\ntcp h\n", "line 3: KEY = VALUE expected"},
        {"[supply]\nname = a\ndelay = 1\n",
         "line 1: a has no link (tcp = HOST[:PORT] or port = NAME)"},
        {"", "line 1: a bench needs at least one [supply]"},
    };
    for (const auto& [file, message] : faults)
        EXPECT_EQ(ParseBenchFile(file).Error.toStdString(), message.toStdString())
            << file.toStdString();
}

TEST(BenchCore, SwitchesInOrderWithDelaysStopsOnAStepThatNeverConfirmsAndATripSwitchesAllOff) {
    TUnit a(5015);  // "+12 V", switched second, 0.25 s after the first
    TUnit b(3005);  // "logic", switched first
    ASSERT_TRUE(a.supply && b.supply);
    TBenchCore bench(TwoSupplies());
    bench.Attach(0, *a.core);
    bench.Attach(1, *b.core);
    TEvents ev(bench);
    ASSERT_TRUE(a.Connect());
    ASSERT_TRUE(b.Connect());

    // All on: logic first; +12 V only once logic showed its output on, after its delay.
    bool aOnWhenLogicConfirmed = true;
    QObject::connect(&bench, &TBenchCore::StepConfirmed, [&](int AIndex, bool) {
        if (AIndex == 1) aOnWhenLogicConfirmed = a.Reg(hreg::ONOFF) != 0;
    });
    qint64 logicConfirmedAt = 0;
    QObject::connect(&bench, &TBenchCore::StepConfirmed, [&](int AIndex, bool AOn) {
        if (AIndex == 1 && AOn) logicConfirmedAt = ev.clock.elapsed();
    });
    EXPECT_EQ(bench.AllOn(), "");
    EXPECT_NE(bench.AllOn(), "");  // one sequence at a time
    ASSERT_TRUE(ProcessUntil([&] { return !ev.ends.empty(); }, 5000));
    EXPECT_EQ(ev.steps, (QStringList{"1+", "0+"}));
    EXPECT_FALSE(aOnWhenLogicConfirmed);
    EXPECT_GE(ev.times[1] - logicConfirmedAt, 240);
    EXPECT_EQ(ev.ends[0].first, TBenchFault::None);
    EXPECT_EQ(a.Reg(hreg::ONOFF), 1);
    EXPECT_EQ(b.Reg(hreg::ONOFF), 1);

    // All off backwards, the delay of +12 V after it.
    ev.steps.clear();
    ev.times.clear();
    ev.ends.clear();
    EXPECT_EQ(bench.AllOff(), "");
    ASSERT_TRUE(ProcessUntil([&] { return !ev.ends.empty(); }, 5000));
    EXPECT_EQ(ev.steps, (QStringList{"0-", "1-"}));
    EXPECT_GE(ev.times[1] - ev.times[0], 240);
    EXPECT_EQ(ev.ends[0].first, TBenchFault::None);
    EXPECT_EQ(a.Reg(hreg::ONOFF), 0);
    EXPECT_EQ(b.Reg(hreg::ONOFF), 0);

    // +12 V answers too slowly for its switch to be confirmed in time: the sequence stops, and
    // both the late +12 V and logic, which the sequence had switched on, go off again.
    ev.steps.clear();
    ev.ends.clear();
    SimFaults slow;
    slow.replyDelayMs = 200;
    a.supply->SetFaults(slow);
    EXPECT_EQ(bench.AllOn(), "");
    ASSERT_TRUE(ProcessUntil([&] { return ev.ends.size() >= 2 && !bench.Sequencing(); }, 8000));
    EXPECT_EQ(ev.ends[0].first, TBenchFault::NotConfirmed);
    EXPECT_EQ(ev.ends[0].second, "+12 V did not confirm its output on within 0.3 s");
    EXPECT_EQ(ev.steps, (QStringList{"1+", "0+", "0-", "1-"}));
    a.supply->SetFaults({});
    ASSERT_TRUE(ProcessUntil([&] { return a.Reg(hreg::ONOFF) == 0; }, 3000));
    EXPECT_EQ(b.Reg(hreg::ONOFF), 0);
    EXPECT_TRUE(a.core->Connected());

    // A trip on one switches the other off.
    ev.ends.clear();
    EXPECT_EQ(bench.AllOn(), "");
    ASSERT_TRUE(ProcessUntil([&] { return !ev.ends.empty(); }, 5000));
    ASSERT_EQ(ev.ends[0].first, TBenchFault::None);
    ev.ends.clear();
    ev.messages.clear();
    b.supply->TripProtection(simProtOCP);
    ASSERT_TRUE(ProcessUntil([&] { return !ev.ends.empty(); }, 5000));
    EXPECT_EQ(ev.messages, QStringList{"logic tripped (OCP): every supply is switched off"});
    EXPECT_EQ(a.Reg(hreg::ONOFF), 0);
    EXPECT_EQ(b.Reg(hreg::ONOFF), 0);
}

TEST(BenchCore, TrackingFollowsTimesTheFactorIsRefusedBeyondTheFollowerAndEndsOnALostLink) {
    TUnit a(5015);  // leader
    TUnit b(3005);  // follower: 31 V, 5.1 A in 0.001 A
    ASSERT_TRUE(a.supply && b.supply);
    TBenchCore bench(
        TwoSupplies("[track]\nfollower = logic\nleader = +12 V\nfactor = 0.7\ncurrent = yes\n"));
    bench.Attach(0, *a.core);
    bench.Attach(1, *b.core);
    TEvents ev(bench);
    ASSERT_TRUE(a.Connect());
    EXPECT_FALSE(bench.Tracking(0));
    ASSERT_TRUE(b.Connect());
    EXPECT_TRUE(bench.Tracking(0));

    // 12.34 V and 2.00 A give 8.64 V and 1.400 A.
    EXPECT_EQ(bench.SetPoints(0, 1234, 200), "");
    ASSERT_TRUE(
        ProcessUntil([&] { return b.Reg(hreg::USET) == 864 && b.Reg(hreg::ISET) == 1400; }, 3000));
    ASSERT_TRUE(ProcessUntil([&] { return a.Reg(hreg::USET) == 1234; }, 3000));
    EXPECT_EQ(bench.SetPoints(1, 500, 100), "logic follows +12 V: its set points come from there");

    // 50.00 V would take the follower to 35.00 V: refused, nothing written on either.
    EXPECT_EQ(bench.SetPoints(0, 5000, 200),
              "logic cannot follow +12 V to 35.00 V: its highest set voltage is 31.00 V");
    EXPECT_EQ(bench.SetPoints(0, 1000, 800),
              "logic cannot follow +12 V to 5.600 A: its highest set current is 5.100 A");
    a.supply->ClearWrites();
    ProcessUntil([] { return false; }, 100);
    EXPECT_TRUE(a.supply->Writes().empty());
    EXPECT_EQ(a.Reg(hreg::USET), 1234);
    EXPECT_EQ(b.Reg(hreg::USET), 864);

    // A leader changed on its own panel is followed from its readings; beyond the follower's
    // limits the follower stays where it was, with one message.
    a.core->SetPoints(1500, 200);
    ASSERT_TRUE(ProcessUntil([&] { return b.Reg(hreg::USET) == 1050; }, 3000));
    ev.messages.clear();
    a.core->SetPoints(4800, 200);
    ASSERT_TRUE(ProcessUntil([&] { return a.core->LastReading().Uset == 4800; }, 3000));
    ProcessUntil([] { return false; }, 200);
    EXPECT_EQ(
        ev.messages,
        QStringList{"logic cannot follow +12 V to 33.60 V: its highest set voltage is 31.00 V"});
    EXPECT_EQ(b.Reg(hreg::USET), 1050);
    a.core->SetPoints(1500, 200);

    // Both on; the follower's link is lost: tracking ends, the leader is switched off and
    // goes on reading, and the follower is switched off as soon as it is back.
    b.core->AutoConnectSwitchClick(true);
    ev.ends.clear();
    EXPECT_EQ(bench.AllOn(), "");
    ASSERT_TRUE(ProcessUntil([&] { return !ev.ends.empty(); }, 5000));
    ASSERT_EQ(ev.ends[0].first, TBenchFault::None);
    ev.messages.clear();
    ev.ends.clear();
    SimFaults deaf;
    deaf.dropEvery = 1;
    b.supply->SetFaults(deaf);
    ASSERT_TRUE(ProcessUntil([&] { return bench.Lost(1) && !ev.ends.empty(); }, 5000));
    EXPECT_FALSE(bench.Tracking(0));
    EXPECT_EQ(ev.messages,
              (QStringList{"logic no longer follows +12 V: the link to logic was lost",
                           "the link to logic was lost: every supply is switched off"}));
    EXPECT_EQ(a.Reg(hreg::ONOFF), 0);
    EXPECT_EQ(b.Reg(hreg::ONOFF), 1);
    const uint64_t readings = a.core->LastReading().Number;
    ASSERT_TRUE(ProcessUntil([&] { return a.core->LastReading().Number > readings + 3; }, 3000));
    b.supply->SetFaults({});
    ASSERT_TRUE(ProcessUntil([&] { return b.Reg(hreg::ONOFF) == 0; }, 5000));
    EXPECT_TRUE(ev.messages.contains("logic is back and is switched off"));
    // Ended for good; asked for, it starts again and brings the follower back in step.
    b.core->SetPoints(500, 100);
    ASSERT_TRUE(ProcessUntil([&] { return b.Reg(hreg::USET) == 500; }, 3000));
    EXPECT_FALSE(bench.Tracking(0));
    EXPECT_EQ(bench.StartTracking(0), "");
    ASSERT_TRUE(ProcessUntil([&] { return b.Reg(hreg::USET) == 1050; }, 3000));
}

}  // namespace
