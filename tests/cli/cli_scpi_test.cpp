// serve-scpi end to end: a scripted SCPI client on loopback drives the virtual supply through the
// bridge (settings, output, measurements with a load, a protection trip, refusals, chaining, a
// second client, link loss and recovery, the end of the run), plus the header and number rules.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTcpSocket>
#include <memory>
#include <sstream>

#include "cli/scpi_parser.h"
#include "sim/sim_device.h"
#include "tests/cli/child_process.h"
#include "tests/cli/cli_harness.h"
#include "tests/support/event_loop.h"

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
    explicit TBridge(TCliHarness& AHarness) {
        AHarness.config.Timings.AutoconnectFirst = 20;
        AHarness.config.Timings.AutoconnectRetry = 60;
        const TParseResult parsed = ParseArguments(AHarness.Tcp() << "serve-scpi"
                                                                  << "--listen"
                                                                  << "127.0.0.1:0");
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
    EXPECT_EQ(c.Ask("SYST:ERR?"), "-100,\"Command error;undefined header: VOLTS 5\"");
    // Ten errors fill the queue; the last place then tells that more were lost.
    for (int i = 0; i < 12; ++i)
        c.Send("FOO");
    for (int i = 0; i < 9; ++i)
        EXPECT_TRUE(c.Ask("SYST:ERR?").startsWith("-100,"));
    EXPECT_EQ(c.Ask("SYST:ERR?;SYST:ERR?"), "-350,\"Queue overflow\";0,\"No error\"");
    // A line beyond any command's length is dropped whole, the next one is served.
    c.Send("VOLT 1" + QString(20000, '0'));
    EXPECT_EQ(c.Ask("SYST:ERR?;VOLT?"), "-100,\"Command error;line too long\";5.00");

    // An over-voltage trip shows in the questionable status of a fresh reading.
    h.supply->TripProtection(1);
    EXPECT_EQ(c.Ask("MEAS:VOLT?;:STAT:QUES:COND?;:OUTP?"), "0.00;1;0");

    TClient second(bridge.Port());
    EXPECT_EQ(second.Line(),
              "-300,\"Device-specific error;another client is connected, try again later\"");
    EXPECT_TRUE(second.ClosedByServer());

    EXPECT_EQ(c.Ask("*RST;OUTP?;VOLT?;CURR?"), "0;0.10;0.01");
    EXPECT_EQ(c.Ask("MEM:RCL 1;VOLT?;CURR?"), "3.30;1.00");  // the virtual M1
    EXPECT_EQ(c.Ask("VOLT 12;OUTP 1;*OPC?"), "1");
    // The end releases the keys and leaves the output as it is.
    EXPECT_EQ(bridge.Interrupt(), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);
    EXPECT_TRUE(c.ClosedByServer());
}

TEST(CliScpi, LinkLossAnswersTheLinkErrorUntilTheSessionIsBack) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    TBridge bridge(h);
    ASSERT_NE(bridge.Port(), 0);
    TClient c(bridge.Port());
    EXPECT_EQ(c.Ask("OUTP ON;*OPC?"), "1");

    SimFaults silent;
    silent.dropEvery = 1;
    h.supply->SetFaults(silent);
    ASSERT_TRUE(bridge.Printed("connection to the supply lost"));
    const QString linkError = "-300,\"Device-specific error;no connection to the supply\"";
    EXPECT_EQ(c.Ask("MEAS:VOLT?"), linkError);
    c.Send("VOLT 3");
    // Switched off at the front panel meanwhile: the bridge must not assume it is still on.
    h.supply->SetOutput(false);

    h.supply->SetFaults({});
    ASSERT_TRUE(bridge.Printed("connection to the supply is back"));
    EXPECT_EQ(c.Ask("OUTP?;VOLT?"), "0;5.00");
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 1);
    EXPECT_EQ(c.Ask("SYST:ERR?"), linkError);
    EXPECT_EQ(c.Ask("SYST:ERR?"), linkError);
    EXPECT_EQ(c.Ask("SYST:ERR?"), "0,\"No error\"");
}

// The built tool and a raw socket, as a lab script would use it: the client sends its lines
// and shuts down its sending half; the replies still come, then the connection closes.
TEST(CliScpi, ProcessServesARawSocketAndSwitchesOffOnExit) {
    testsupport::EnsureCoreApp();
    const std::string tool = QCoreApplication::applicationDirPath().toStdString() + "/benchlordctl";
    if (access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "benchlordctl is not built";
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    clitest::TChildProcess p(tool, {"--tcp", "127.0.0.1:" + std::to_string(h.supply.TcpPort()),
                                    "serve-scpi", "--listen", "127.0.0.1:0", "--off-on-exit"});
    ASSERT_TRUE(ProcessUntil([&] { return ListeningPort(p.Out()) != 0 || !p.Running(); }, 5000))
        << p.Err();

    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(ListeningPort(p.Out()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string script = "VOLT 12.5;CURR 2;OUTP ON;*OPC?\r\nMEAS:VOLT?\n";
    ASSERT_EQ(::send(fd, script.data(), script.size(), 0), static_cast<ssize_t>(script.size()));
    ::shutdown(fd, SHUT_WR);
    const std::vector<uint8_t> reply = testsupport::ReadUntilQuiet(fd, 1000, 5000);
    ::close(fd);
    EXPECT_EQ(std::string(reply.begin(), reply.end()), "1\n12.50\n");
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);

    p.Signal(SIGTERM);
    EXPECT_EQ(p.Wait(), 0) << p.Err();
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

TEST(ScpiParser, HeadersFormsAndPaths) {
    const struct {
        const char* Line;
        size_t Unit;
        TScpiCmd Cmd;
        bool Query;
        int Error;
    } cases[] = {
        {"*idn?", 0, TScpiCmd::Idn, true, seNone},
        {"SOURce:VOLTage:LEVel:IMMediate:AMPLitude 5", 0, TScpiCmd::Voltage, false, seNone},
        {"curr:lev?", 0, TScpiCmd::Current, true, seNone},
        {"MEASure:SCALar:CURRent:DC?", 0, TScpiCmd::MeasCurr, true, seNone},
        {"SYST:ERR:NEXT?", 0, TScpiCmd::Error, true, seNone},
        {"MEAS:VOLT?;POW?", 1, TScpiCmd::MeasPow, true, seNone},
        {"SOUR:VOLT 5;OUTP ON", 1, TScpiCmd::Output, false, seNone},
        {"SYST:LOCK ON;*CLS;ERR?", 2, TScpiCmd::Error, true, seNone},
        {"MEM:RCL 3", 0, TScpiCmd::Recall, false, seNone},
        {"*RST?", 0, TScpiCmd::Idn, true, seUndefinedHeader},
        {"SOUR:MEAS:VOLT?", 0, TScpiCmd::Idn, true, seUndefinedHeader},
        {"VOLT::LEV 5", 0, TScpiCmd::Idn, false, seCommand},
        {"OUTP", 0, TScpiCmd::Output, false, seMissingParam},
        {"MEAS:VOLT? 1", 0, TScpiCmd::MeasVolt, true, seParamNotAllowed},
        {"VOLT 1,2", 0, TScpiCmd::Voltage, false, seParamNotAllowed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Line);
        const auto units = ParseScpiLine(c.Line);
        ASSERT_GT(units.size(), c.Unit);
        const TScpiUnit& u = units[c.Unit];
        EXPECT_EQ(u.Error, c.Error);
        EXPECT_EQ(u.Query, c.Query);
        if (c.Error == seNone || c.Error == seMissingParam || c.Error == seParamNotAllowed) {
            EXPECT_EQ(u.Cmd, c.Cmd);
        }
    }
}

TEST(ScpiParser, NumbersAreExactAndRangeChecked) {
    const struct {
        const char* Text;
        const char* Unit;
        int64_t Centi;  // hundredths, or -1 with Error set
        int Error;
    } cases[] = {
        {"5", "V", 500, seNone},           {"+5.00E+00", "V", 500, seNone},
        {"1234E-2 V", "V", 1234, seNone},  {"800mA", "A", 80, seNone},
        {"0.015", "A", 2, seNone},  // rounded once, half up
        {"1e-30", "V", 0, seNone},         {"-0", "V", 0, seNone},
        {"-1", "V", -1, seDataOutOfRange}, {"1E10", "V", -1, seDataOutOfRange},
        {"5 X", "V", -1, seDataType},      {"abc", "V", -1, seDataType},
        {".", "V", -1, seDataType},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        int error = seNone;
        const auto n = ParseScpiNumber(c.Text, c.Unit, error);
        EXPECT_EQ(error, c.Error);
        ASSERT_EQ(n.has_value(), c.Error == seNone);
        if (n) {
            EXPECT_EQ(static_cast<int64_t>(ToUnits(n->Decimal, 2)), c.Centi);
        }
    }
    int error = seNone;
    EXPECT_EQ(ParseScpiNumber("max", "V", error)->Kind, TScpiNumber::Max);
}

}  // namespace
