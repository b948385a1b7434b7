// serve-scpi end to end: a scripted SCPI client on loopback drives the virtual supply through the
// bridge, one table per command family (common commands and status byte, error numbers, the
// operation and questionable registers, the power-supply commands with the protection levels as
// the supply holds them), the freshness of readings, link loss, clients that go away, the end of
// the run.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <memory>
#include <sstream>

#include "scpi/scpi_bridge.h"
#include "sim/sim_device.h"
#include "tests/cli/child_process.h"
#include "tests/cli/cli_harness.h"
#include "tests/support/event_loop.h"

// Replies show as text in failure messages.
inline void PrintTo(const QString& AText, std::ostream* AOut) {
    *AOut << '"' << AText.toStdString() << '"';
}

using clitest::TCliHarness;
using testsupport::ProcessUntil;

namespace {

quint16 ListeningPort(const std::string& AOut) {
    static const QRegularExpression serving(R"(serving SCPI on 127\.0\.0\.1:(\d+))");
    const auto m = serving.match(QString::fromStdString(AOut));
    return m.hasMatch() ? static_cast<quint16>(m.captured(1).toUInt()) : 0;
}

// serve-scpi in this process, on a free loopback port.
class TBridge {
public:
    explicit TBridge(TCliHarness& AHarness, const QStringList& AOptions = {}) {
        AHarness.config.Timings.AutoconnectFirst = 20;
        AHarness.config.Timings.AutoconnectRetry = 60;
        const TParseResult parsed = ParseArguments(AHarness.Tcp() << "serve-scpi"
                                                                  << "--listen"
                                                                  << "127.0.0.1:0" << AOptions);
        EXPECT_TRUE(parsed.Error.isEmpty()) << parsed.Error.toStdString();
        fRunner = std::make_unique<TCliRunner>(parsed.Request, fOut, fErr, AHarness.config);
        fRunner->Start();
        ProcessUntil([this] { return Port() != 0 || fRunner->Finished(); }, 4000);
    }

    quint16 Port() const { return ListeningPort(fOut.str()); }
    bool Printed(const std::string& AText) {
        return ProcessUntil([&] { return fOut.str().find(AText) != std::string::npos; }, 4000);
    }
    // Ends the run as Ctrl-C does; its exit code.
    int Interrupt() {
        fRunner->Interrupt();
        ProcessUntil([this] { return fRunner->Finished(); }, 4000);
        return fRunner->Finished() ? fRunner->ExitCode() : -1;
    }

    std::string Err() const { return fErr.str(); }

private:
    std::ostringstream fOut;
    std::ostringstream fErr;
    std::unique_ptr<TCliRunner> fRunner;
};

class TClient {
public:
    explicit TClient(quint16 APort) {
        fSocket.connectToHost("127.0.0.1", APort);
        // A refused client may be connected and closed again before the loop looks.
        ProcessUntil(
            [this] {
                return fSocket.state() == QAbstractSocket::ConnectedState ||
                       fSocket.bytesAvailable() > 0 ||
                       fSocket.state() == QAbstractSocket::UnconnectedState;
            },
            2000);
    }
    void Send(const QString& ALine) { fSocket.write((ALine + "\n").toUtf8()); }
    // The next reply line, or "<none>".
    QString Line() {
        ProcessUntil([this] { return fSocket.canReadLine(); }, 4000);
        return fSocket.canReadLine() ? QString::fromUtf8(fSocket.readLine()).trimmed() : "<none>";
    }
    QString Ask(const QString& ALine) {
        Send(ALine);
        return Line();
    }
    bool ClosedByServer() {
        return ProcessUntil([this] { return fSocket.state() == QAbstractSocket::UnconnectedState; },
                            2000);
    }

private:
    QTcpSocket fSocket;
};

// One exchange of a table: a line and its reply; no reply is awaited for nullptr.
struct TStep {
    const char* Send;
    const char* Reply;
};

void RunSteps(TClient& AClient, std::initializer_list<TStep> ASteps) {
    for (const TStep& s : ASteps) {
        SCOPED_TRACE(s.Send);
        if (s.Reply == nullptr)
            AClient.Send(s.Send);
        else
            EXPECT_EQ(AClient.Ask(s.Send), s.Reply);
    }
}

uint16_t PresetReg(TCliHarness& AHarness, uint16_t AOffset) {
    return AHarness.supply.Reg(static_cast<uint16_t>(
        simreg::kPresetBase + AHarness.supply.Reg(simreg::MEM) * simreg::kPresetSize + AOffset));
}

TEST(CliScpi, ScriptedClientDrivesTheSupplyEndToEnd) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    TBridge bridge(h);
    ASSERT_NE(bridge.Port(), 0);
    TClient c(bridge.Port());

    EXPECT_EQ(c.Ask("*IDN?"), "Benchlord,DPS5015,0,4.6");
    // Short and long forms, a unit suffix, the path of the previous command, a reset to root.
    EXPECT_EQ(c.Ask("SOUR:VOLT 5;CURR 800mA;:OUTPut:STATe ON;*OPC?"), "1");
    EXPECT_EQ(h.supply.Reg(simreg::USET), 500);
    EXPECT_EQ(h.supply.Reg(simreg::ISET), 80);
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);
    EXPECT_EQ(c.Ask("volt?;:curr?;outp?"), "5.00;0.80;1");
    // 10 ohms: 5 V drives 0.5 A.
    EXPECT_EQ(c.Ask("MEAS:VOLT?;CURR?;POW?"), "5.00;0.50;2.50");

    // Outside the model's limits: queued, nothing written, the rest of the line dropped.
    h.supply->ClearWrites();
    c.Send("VOLT 60;OUTP OFF");
    EXPECT_EQ(c.Ask("SYST:ERR?"),
              "-222,\"Data out of range;VOLT 60: out of range, 0.10 to 51.00 V on the DPS5015\"");
    EXPECT_EQ(c.Ask("SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(c.Ask("OUTP?;VOLT?"), "1;5.00");
    EXPECT_TRUE(h.supply->Writes().empty());
    c.Send("VOLTS 5");
    EXPECT_EQ(c.Ask("SYST:ERR?"), "-113,\"Undefined header;VOLTS 5\"");
    // Ten errors fill the queue; the last place then tells that more were lost.
    for (int i = 0; i < 12; ++i)
        c.Send("FOO");
    for (int i = 0; i < 9; ++i)
        EXPECT_TRUE(c.Ask("SYST:ERR?").startsWith("-113,"));
    EXPECT_EQ(c.Ask("SYST:ERR?;SYST:ERR?"), "-350,\"Queue overflow\";0,\"No error\"");
    // A line beyond any command's length is dropped whole, the next one is served.
    c.Send("VOLT 1" + QString(20000, '0'));
    EXPECT_EQ(c.Ask("SYST:ERR?;VOLT?"), "-363,\"Input buffer overrun;line too long\";5.00");

    // An over-voltage trip shows in the questionable status of a fresh reading.
    h.supply->TripProtection(1);
    EXPECT_EQ(c.Ask("MEAS:VOLT?;:STAT:QUES:COND?;:OUTP?"), "0.00;1;0");

    EXPECT_EQ(c.Ask("*RST;OUTP?;VOLT?;CURR?"), "0;0.10;0.01");
    EXPECT_EQ(c.Ask("MEM:RCL 1;VOLT?;CURR?"), "3.30;1.00");  // the virtual M1
    // Presets M0 to M9 by number; *SAV stores the live set values. Channel 1 is the only one.
    c.Send("*RCL -1");
    c.Send("*SAV 10");
    c.Send("SOUR2:VOLT 1");
    EXPECT_EQ(c.Ask("SYST:ERR?;SYST:ERR?;SYST:ERR?"),
              "-222,\"Data out of range;*RCL -1: presets M0 to M9\";-222,\"Data out of range;*SAV "
              "10: presets M0 to M9\";-114,\"Header suffix out of range;SOUR2:VOLT 1\"");
    EXPECT_EQ(c.Ask("SOUR1:VOLT 4.2;*SAV 2;*OPC?"), "1");
    EXPECT_EQ(h.supply.Reg(simreg::kPresetBase + 2 * simreg::kPresetSize + simreg::P_USET), 420);
    // M1's 1 A into 10 ohms.
    EXPECT_EQ(c.Ask("SOUR1:VOLT 12;:OUTP1 1;:MEAS1:VOLT?"), "10.00");
    // The end releases the keys and leaves the output as it is.
    EXPECT_EQ(bridge.Interrupt(), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);
    EXPECT_TRUE(c.ClosedByServer());
}

// IEEE 488.2 common commands and the status byte: the event bits each kind of error sets, the
// summaries through the enable masks, what *CLS clears and *RST leaves.
TEST(CliScpi, CommonCommandsSetAndClearTheStatusBits) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    TBridge bridge(h);
    ASSERT_NE(bridge.Port(), 0);
    TClient c(bridge.Port());
    RunSteps(c, {
                    {"*ESR?", "128"},  // power on: the first client after the start
                    {"*ESR?", "0"},
                    {"*TST?;SYST:VERS?", "0;1999.0"},
                    {"*OPC;*ESR?", "1"},
                    {"*WAI;*OPC?", "1"},
                    {"*ESE 60;*ESE?", "60"},
                    {"*SRE 255;*SRE?", "191"},  // bit 6 has no meaning
                    {"*STB?", "0"},
                    {"FOO", nullptr},
                    {"*STB?", "100"},  // error queued 4, event summary 32, master summary 64
                    {"*ESR?", "32"},   // command error
                    {"*STB?", "68"},   // the entry is still queued
                    {"*CLS;*STB?", "0"},
                    {"VOLT 60", nullptr},
                    {"*ESR?", "16"},  // execution error
                    {"*SRE 4;*RST;*SRE?;OUTP?;VOLT?", "4;0;0.10"},
                    {"*STB?", "68"},
                    {"SYST:ERR?;*STB?",
                     "-222,\"Data out of range;VOLT 60: out of range, 0.10 to 51.00 V on the "
                     "DPS5015\";0"},
                });
    // A unit that no longer identifies as the one the session started with fails the self-test.
    h.supply.SetReg(simreg::MODEL, 5005);
    EXPECT_EQ(c.Ask("*TST?"), "1");
    h.supply.SetReg(simreg::MODEL, 5015);
    EXPECT_EQ(c.Ask("*TST?"), "0");
}

// Every kind of fault with its standard number, in the order the queue took them.
TEST(CliScpi, FaultsAreQueuedWithTheirStandardNumbers) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    TBridge bridge(h);
    ASSERT_NE(bridge.Port(), 0);
    TClient c(bridge.Port());
    // Two rounds: the queue holds ten entries.
    const struct {
        std::vector<QString> Lines;
        std::vector<const char*> Entries;
    } rounds[] = {
        {{"VOLT::LEV 5", "VOLT,5", "APPL 5 1", "OUTP MAYBE", "*IDN? 1", "VOLT"},
         {"-102,\"Syntax error;VOLT::LEV 5\"", "-103,\"Invalid separator;VOLT,5\"",
          "-103,\"Invalid separator;APPL 5 1\"", "-104,\"Data type error;OUTP MAYBE\"",
          "-108,\"Parameter not allowed;*IDN? 1\"", "-109,\"Missing parameter;VOLT\"",
          "0,\"No error\""}},
        {{"VOLTS 5", "VOLT 5.3.2", "VOLT 5 kV", "VOLT 60", "VOLT 1" + QString(5000, '0')},
         {"-113,\"Undefined header;VOLTS 5\"", "-120,\"Numeric data error;VOLT 5.3.2\"",
          "-131,\"Invalid suffix;VOLT 5 kV\"",
          "-222,\"Data out of range;VOLT 60: out of range, 0.10 to 51.00 V on the DPS5015\"",
          "-363,\"Input buffer overrun;line too long\"", "0,\"No error\""}},
    };
    for (const auto& round : rounds) {
        for (const QString& line : round.Lines)
            c.Send(line);
        for (const char* e : round.Entries)
            EXPECT_EQ(c.Ask("SYST:ERR?"), e);
    }
}

// OPERation (256 constant voltage, 1024 constant current) and QUEStionable (1 OVP, 2 OCP, 16
// constant current): conditions, events latched on a rising bit and cleared by reading, the
// summaries in the status byte, STAT:PRES.
TEST(CliScpi, OperationAndQuestionableRegistersFollowTheSupply) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    TBridge bridge(h);
    ASSERT_NE(bridge.Port(), 0);
    TClient c(bridge.Port());
    RunSteps(c, {
                    {"CURR 2;VOLT 5;OUTP ON;*OPC?", "1"},  // 10 ohms: 0.5 A, constant voltage
                    {"STAT:OPER:COND?;:STAT:QUES:COND?", "256;0"},
                    {"STAT:OPER?", "256"},
                    {"STAT:OPER?", "0"},
                    {"CURR 0.2;*OPC?", "1"},  // constant current
                    {"STAT:OPER:COND?;:STAT:QUES:COND?", "1024;16"},
                    {"STAT:OPER:EVEN?;:STAT:QUES?", "1024;16"},
                    {"STAT:OPER:ENAB 1024;:STAT:QUES:ENAB 3;*STB?", "0"},
                });
    h.supply->TripProtection(1);
    RunSteps(c, {
                    {"STAT:QUES:COND?;:STAT:OPER:COND?", "1;0"},
                    {"*STB?", "8"},  // the questionable summary
                    {"STAT:QUES?;*STB?", "1;0"},
                    {"*SRE 128;STAT:OPER:ENAB 256;*SRE?", "128"},
                    {"OUTP:PROT:CLE;STAT:OPER?;*STB?", "1024;0"},
                    {"STAT:OPER:ENAB 1024;*CLS;STAT:OPER?", "0"},
                    {"STAT:PRES;:STAT:OPER:ENAB?;:STAT:QUES:ENAB?", "0;0"},
                });
}

// The usual power-supply commands; the protection levels are those of the selected preset as the
// supply holds them in its registers, read from there and written there.
TEST(CliScpi, PowerSupplyCommandsAndProtectionLevels) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    TBridge bridge(h);
    ASSERT_NE(bridge.Port(), 0);
    TClient c(bridge.Port());
    RunSteps(c, {
                    {"APPL 12,1.5;APPL?", "12.00,1.50"},
                    {"APPL 6;APPL?", "6.00,1.50"},
                    {"OUTP ON;*OPC?", "1"},
                    {"MEAS:ALL?;MEAS:POW?", "6.00,0.60,3.60;3.60"},
                    {"VOLT? MIN;VOLT? MAX;CURR? MIN;CURR? MAX", "0.10;51.00;0.01;15.10"},
                    {"VOLT:PROT? MIN;VOLT:PROT? MAX;CURR:PROT? MAX", "0.10;51.00;15.20"},
                    {"SOUR:VOLT:PROT:LEV 20;:VOLT:PROT?", "20.00"},
                });
    EXPECT_EQ(PresetReg(h, simreg::P_SOVP), 2000);
    EXPECT_EQ(h.supply.Reg(simreg::USET), 600);  // the live set values stay
    EXPECT_EQ(h.supply.Reg(simreg::ISET), 150);
    h.supply.SetReg(
        static_cast<uint16_t>(simreg::kPresetBase +
                              h.supply.Reg(simreg::MEM) * simreg::kPresetSize + simreg::P_SOVP),
        1500);  // changed at the unit
    EXPECT_EQ(c.Ask("VOLT:PROT?"), "15.00");
    // 0.6 A through the load is above the new over-current level: the supply trips.
    EXPECT_EQ(c.Ask("CURR:PROT 0.5;*OPC?"), "1");
    EXPECT_EQ(PresetReg(h, simreg::P_SOCP), 50);
    RunSteps(c, {
                    {"CURR:PROT:TRIP?;VOLT:PROT:TRIP?;OUTP?", "1;0;0"},
                    {"OUTP:PROT:CLE", nullptr},
                    {"SYST:ERR?",
                     "-200,\"Execution error;the set current 1.50 A is above the OCP level 0.50 "
                     "A\""},
                    {"CURR 0.4;OUTP:PROT:CLE;OUTP?;CURR:PROT:TRIP?;MEAS:CURR?", "1;0;0.40"},
                    {"VOLT:PROT 70", nullptr},
                    {"SYST:ERR?",
                     "-222,\"Data out of range;VOLT:PROT 70: out of range, 0.10 to 51.00 V on the "
                     "DPS5015\""},
                    {"SYST:LOC;SYST:LOCK?", "0"},
                });
    // The release is applied on the supply's thread, late on a loaded machine.
    EXPECT_TRUE(ProcessUntil([&] { return h.supply.Reg(simreg::LOCK) == 0; }, 5000));
    EXPECT_EQ(c.Ask("SYST:REM;SYST:LOCK?;MEAS:CURR?"), "1;0.40");
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 1);
}

// A query about the supply's state answers from a reading requested after the query arrived,
// never from one already on its way: here a poll is in flight (its reply held back by the
// supply) when the output trips and the query comes.
TEST(CliScpi, QueryAnswersFromAReadingRequestedAfterIt) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    TBridge bridge(h);
    ASSERT_NE(bridge.Port(), 0);
    TClient c(bridge.Port());
    EXPECT_EQ(c.Ask("VOLT 5;OUTP ON;*OPC?"), "1");
    SimFaults slow;
    slow.replyDelayMs = 60;
    h.supply->SetFaults(slow);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const uint64_t before = h.supply->Requests();
        ASSERT_TRUE(ProcessUntil([&] { return h.supply->Requests() > before; }, 2000));
        h.supply->TripProtection(1);
        EXPECT_EQ(c.Ask("MEAS:VOLT?;:STAT:QUES:COND?;:OUTP?"), "0.00;1;0");
        EXPECT_EQ(c.Ask("OUTP:PROT:CLE;MEAS:VOLT?;:OUTP?"), "5.00;1");
    }
}

// Sequential measurements cost one poll each: a query that comes in the pause after a reading
// is answered by the next poll, which goes out after it arrived.
TEST(CliScpi, SequentialMeasurementsTakeOnePollEach) {
    TCliHarness h;
    h.config.Timings.TaskInterval = 20;  // the next query comes well within the pause
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    TBridge bridge(h);
    ASSERT_NE(bridge.Port(), 0);
    TClient c(bridge.Port());
    EXPECT_EQ(c.Ask("VOLT 5;OUTP ON;*OPC?"), "1");
    const uint64_t before = h.supply->Requests();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(c.Ask("MEAS1:VOLT?"), "5.00");
    EXPECT_LE(h.supply->Requests() - before, 25u);
}

// A query waiting for its reading when the link goes (the supply frozen, killed, or its
// connection closed), and the queries after it: each gets its own answer within the bound, a
// value that cannot be had is not-a-number and the cause is queued; the link comes back by
// itself where the supply is still there.
TEST(CliScpi, QueriesAreAnsweredInOrderWithinTheBoundWhenTheLinkGoes) {
    const QRegularExpression nan(R"(^9\.91E37$)");
    for (const std::string fault : {"frozen", "killed", "closed"}) {
        SCOPED_TRACE(fault);
        TCliHarness h;
        ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
        TBridge bridge(h);
        ASSERT_NE(bridge.Port(), 0);
        TClient c(bridge.Port());
        EXPECT_EQ(c.Ask("VOLT 5;OUTP ON;*OPC?"), "1");
        // The query waits for the next reading, which is held back until the fault comes.
        SimFaults slow;
        slow.replyDelayMs = 150;
        h.supply->SetFaults(slow);
        const uint64_t before = h.supply->Requests();
        ASSERT_TRUE(ProcessUntil([&] { return h.supply->Requests() > before; }, 2000));
        QElapsedTimer sent;
        sent.start();
        c.Send("MEAS:VOLT?");
        SimFaults broken;
        broken.dropEvery = fault == "frozen" ? 1 : 0;
        broken.closeAfter = fault == "closed" ? 1 : 0;
        if (fault == "killed")
            h.supply.Stop();
        else
            h.supply->SetFaults(broken);
        EXPECT_TRUE(nan.match(c.Line()).hasMatch());
        EXPECT_LT(sent.elapsed(), TScpiBridge::kReplyBoundMs);
        const struct {
            const char* Send;
            const char* Reply;  // a pattern
        } steps[] = {
            {"MEAS:CURR?", R"(^9\.91E37$)"},
            {"*IDN?", R"(^Benchlord,DPS5015,0,4\.6$)"},
            {"SYST:ERR?", R"(^-(230|300),"(Data corrupt or stale|Device-specific error);.+"$)"},
            {"MEAS:ALL?;:OUTP?", R"(^9\.91E37,9\.91E37,9\.91E37;9\.91E37$)"},
            {"*OPC?", R"(^1$)"},
            {"*TST?;*STB?", R"(^1;4$)"},
        };
        for (const auto& step : steps) {
            SCOPED_TRACE(step.Send);
            sent.restart();
            const QString reply = c.Ask(step.Send);
            EXPECT_TRUE(QRegularExpression(step.Reply).match(reply).hasMatch())
                << reply.toStdString();
            EXPECT_LT(sent.elapsed(), TScpiBridge::kReplyBoundMs);
        }
        if (fault == "killed") continue;
        h.supply->SetFaults({});
        ASSERT_TRUE(bridge.Printed("connection to the supply is back"));
        EXPECT_EQ(c.Ask("MEAS:VOLT?;:VOLT?"), "5.00;5.00");
        EXPECT_EQ(h.supply.Reg(simreg::LOCK), 1);
    }
}

// A unit replaced behind the link (a DPS5015 by a DPS3005 at the same address, found at the
// reconnect): *TST? fails from then on, while *IDN? names the unit the client connected to until
// *RST or the next client.
TEST(CliScpi, SelfTestFailsOnceAnotherUnitAnswers) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    TBridge bridge(h);
    ASSERT_NE(bridge.Port(), 0);
    auto c = std::make_unique<TClient>(bridge.Port());
    EXPECT_EQ(c->Ask("*TST?;*IDN?"), "0;Benchlord,DPS5015,0,4.6");
    SimFaults silent;
    silent.dropEvery = 1;
    h.supply->SetFaults(silent);
    ASSERT_TRUE(bridge.Printed("connection to the supply lost"));
    h.supply.SetReg(simreg::MODEL, 3005);
    h.supply->SetFaults({});
    ASSERT_TRUE(bridge.Printed("connection to the supply is back"));
    EXPECT_EQ(c->Ask("*TST?;*IDN?"), "1;Benchlord,DPS5015,0,4.6");
    EXPECT_EQ(c->Ask("*RST;*TST?;*IDN?"), "0;Benchlord,DPS3005,0,4.6");
    c.reset();
    h.supply.SetReg(simreg::MODEL, 5015);
    TClient next(bridge.Port());
    EXPECT_EQ(next.Ask("*TST?"), "1");
}

// The person at the bench comes first: keys released at the supply leave the bridge reading as
// an observer. Settings are refused with the reason, the questionable register shows the state,
// and the keys stay free, also across a lost link, until a client takes control with SYST:REM.
TEST(CliScpi, KeysReleasedAtTheSupplyLeaveTheBridgeObserving) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    TBridge bridge(h);
    ASSERT_NE(bridge.Port(), 0);
    TClient c(bridge.Port());
    EXPECT_EQ(c.Ask("VOLT 5;CURR 2;OUTP ON;:STAT:QUES:ENAB 512;*OPC?"), "1");
    h.supply.SetReg(simreg::LOCK, 0);  // the lock key at the supply
    ASSERT_TRUE(bridge.Printed("keys released at the supply"));
    h.supply.SetReg(simreg::USET, 700);  // and its knob
    const QString refused =
        "-203,\"Command protected;the keys were released at the supply; SYST:REM takes control "
        "back\"";
    RunSteps(c, {
                    {"MEAS:VOLT?;:SYST:LOCK?;:STAT:QUES:COND?;*STB?", "7.00;0;512;8"},
                    {"OUTP OFF", nullptr},
                    {"SYST:LOCK OFF;*RST", nullptr},
                });
    EXPECT_EQ(c.Ask("SYST:ERR?"), refused);
    EXPECT_EQ(c.Ask("SYST:ERR?"), refused);
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);
    EXPECT_EQ(h.supply.Reg(simreg::USET), 700);

    SimFaults silent;
    silent.dropEvery = 1;
    h.supply->SetFaults(silent);
    ASSERT_TRUE(bridge.Printed("connection to the supply lost"));
    h.supply->SetFaults({});
    ASSERT_TRUE(bridge.Printed("connection to the supply is back"));
    const uint64_t before = h.supply->Requests();
    ASSERT_TRUE(ProcessUntil([&] { return h.supply->Requests() > before + 20; }, 4000));
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
    EXPECT_EQ(c.Ask("MEAS:VOLT?;:SYST:LOCK?"), "7.00;0");

    EXPECT_EQ(c.Ask("SYST:REM;SYST:LOCK?;:STAT:QUES:COND?"), "1;0");
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 1);
    EXPECT_EQ(c.Ask("VOLT 3;VOLT?"), "3.00");
}

// --off-on-exit after the link was lost: the bridge tries the switch-off on a reopened port and,
// when the supply does not answer, says so and ends with exit 3 instead of a silent success.
TEST(CliScpi, SwitchOffThatCannotBeConfirmedFailsTheRun) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    TBridge bridge(h, {"--off-on-exit"});
    ASSERT_NE(bridge.Port(), 0);
    TClient c(bridge.Port());
    EXPECT_EQ(c.Ask("OUTP ON;*OPC?"), "1");
    SimFaults silent;
    silent.dropEvery = 1;
    h.supply->SetFaults(silent);
    ASSERT_TRUE(bridge.Printed("connection to the supply lost"));
    EXPECT_EQ(bridge.Interrupt(), 3);
    EXPECT_NE(bridge.Err().find("the output could not be switched off"), std::string::npos)
        << bridge.Err();
}

// Raw POSIX sockets, as a lab script uses them.
int Connect(quint16 APort) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(APort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SendText(int AFd, const std::string& AText) {
    return testsupport::SendAll(AFd, std::vector<uint8_t>(AText.begin(), AText.end()));
}

// The next line without its end; "<eof>" when the bridge closed, "<none>" after ATimeoutMs.
std::string ReadLine(int AFd, int ATimeoutMs = 5000) {
    std::string line;
    for (;;) {
        pollfd p{AFd, POLLIN, 0};
        if (::poll(&p, 1, ATimeoutMs) <= 0) return "<none>";
        char c = 0;
        const ssize_t n = ::recv(AFd, &c, 1, 0);
        if (n <= 0) return line.empty() ? "<eof>" : line;
        if (c == '\n') return line;
        line += c;
    }
}

// Closes with a reset, as a killed client or a crashed machine's stack does.
void Reset(int AFd) {
    const linger hard{1, 0};
    ::setsockopt(AFd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(AFd);
}

// The built tool against careless and hostile clients over raw sockets: a client that sends
// and half-closes gets every reply (a fragment without a line end is never carried out); one
// that floods and resets leaves nothing behind, and the next client starts with clean registers;
// clients that reconnect at once wait for the place instead of being refused; an idle client
// loses its place with --idle-timeout; and --off-on-exit switches the output off at the end even
// after the keys were handed to the front panel.
TEST(CliScpi, ProcessOutlivesCarelessClientsAndSwitchesOffOnExit) {
    testsupport::EnsureCoreApp();
    const std::string tool = QCoreApplication::applicationDirPath().toStdString() + "/benchlordctl";
    if (access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "benchlordctl is not built";
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    clitest::TChildProcess p(
        tool, {"--tcp", "127.0.0.1:" + std::to_string(h.supply.TcpPort()), "serve-scpi", "--listen",
               "127.0.0.1:0", "--off-on-exit", "--idle-timeout", "3"});
    ASSERT_TRUE(ProcessUntil([&] { return ListeningPort(p.Out()) != 0 || !p.Running(); }, 5000))
        << p.Err();
    const quint16 port = ListeningPort(p.Out());

    int fd = Connect(port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendText(fd, "VOLT 12.5;CURR 2;OUTP ON;*OPC?\r\nMEAS:VOLT?\nVOLT 1"));
    ::shutdown(fd, SHUT_WR);
    EXPECT_EQ(ReadLine(fd), "1");
    EXPECT_EQ(ReadLine(fd), "12.50");
    EXPECT_EQ(ReadLine(fd), "<eof>");
    ::close(fd);
    fd = Connect(port);
    ASSERT_TRUE(SendText(fd, "OUTP?;VOLT?\n*IDN?"));
    ::shutdown(fd, SHUT_WR);
    EXPECT_EQ(ReadLine(fd), "1;12.50");
    EXPECT_EQ(ReadLine(fd), "-420,\"Query UNTERMINATED;no line end: *IDN?\"");
    ::close(fd);

    // An error in the queue, then a flood of settings and the first half of one, then a reset.
    fd = Connect(port);
    ASSERT_TRUE(SendText(fd, "FOO\nVOLT 12;*OPC?\n"));
    EXPECT_EQ(ReadLine(fd), "1");
    h.supply->ClearWrites();
    std::string flood;
    for (int i = 0; i < 2000; ++i)
        flood += "VOLT 3\n";
    ASSERT_TRUE(SendText(fd, flood + "VOLT 1"));
    Reset(fd);
    fd = Connect(port);
    ASSERT_TRUE(SendText(fd, "SYST:ERR?;*ESR?\n"));
    EXPECT_EQ(ReadLine(fd), "0,\"No error\";0");
    ASSERT_TRUE(SendText(fd, "VOLT?\n"));
    const std::string volt = ReadLine(fd);
    EXPECT_TRUE(volt == "12.00" || volt == "3.00") << volt;
    size_t setWrites = 0;
    for (const SimWrite& w : h.supply->Writes())
        setWrites += w.start == simreg::USET ? 1 : 0;
    EXPECT_LE(setWrites, 3u);
    ::close(fd);

    // Clients that come back at once find the place free, or wait for it.
    for (int i = 0; i < 30; ++i) {
        SCOPED_TRACE(i);
        fd = Connect(port);
        ASSERT_TRUE(SendText(fd, "*OPC?\n"));
        EXPECT_EQ(ReadLine(fd), "1");
        ::close(fd);
    }

    // While a client holds the place, another waits a little and is then refused.
    fd = Connect(port);
    ASSERT_TRUE(SendText(fd, "*OPC?\n"));
    EXPECT_EQ(ReadLine(fd), "1");
    const int second = Connect(port);
    EXPECT_EQ(ReadLine(second, 6000),
              "-300,\"Device-specific error;another client is connected, try again later\"");
    ::close(second);

    // The keys handed back, then the client falls silent and is closed.
    ASSERT_TRUE(SendText(fd, "OUTP ON;*OPC?;:SYST:LOCK OFF;:SYST:LOCK?\n"));
    EXPECT_EQ(ReadLine(fd), "1;0");
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);
    EXPECT_EQ(ReadLine(fd, 8000), "<eof>");
    ::close(fd);
    EXPECT_NE(p.Out().find("sent nothing for 3 s: closed"), std::string::npos) << p.Out();

    p.Signal(SIGTERM);
    EXPECT_EQ(p.Wait(), 0) << p.Err();
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

}  // namespace
