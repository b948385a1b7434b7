#include "tests/cli/cli_harness.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <sstream>

#include "tests/support/event_loop.h"

namespace clitest {

TCliConfig FastConfig() {
    TCliConfig c;
    c.Timings.TaskInterval = 2;
    c.Timings.ResponseTimeout = 400;  // a reply late by a loaded machine's stall still counts
    c.Timings.SessionTick = 20;
    c.Timings.DrainTimeout = 400;
    c.Timings.ReactivateWait = 0;
    c.TcpReadTimeout = 300;
    c.TcpConnectTimeout = 500;
    c.SerialWaitResp = 300;
    c.Flasher.Activation = 300;  // silence to the activation byte costs this
    c.Flasher.ResyncGap = 30;
    c.Flasher.Command = 500;
    return c;
}

testsupport::TSupplyConfig TCliHarness::DefaultSupply() {
    testsupport::TSupplyConfig c;
    c.manualClock = false;
    return c;
}

TCliHarness::TCliHarness(testsupport::TSupplyConfig AConfig) : supply(AConfig) {
    testsupport::EnsureCoreApp();
}

QStringList TCliHarness::Tcp() const {
    return {"--tcp", "127.0.0.1:" + QString::number(supply.TcpPort())};
}

QStringList TCliHarness::Pty() const {
    return {"--port", QString::fromStdString(supply.PtyPath())};
}

TCliRun TCliHarness::Run(const QStringList& AArgs, const std::function<void(TCliRunner&)>& ASetup,
                         int ATimeoutMs) {
    TCliRun run;
    const TParseResult parsed = ParseArguments(AArgs);
    EXPECT_TRUE(parsed.Error.isEmpty()) << parsed.Error.toStdString();
    if (!parsed.Error.isEmpty()) return run;
    std::ostringstream out;
    std::ostringstream err;
    {
        TCliRunner runner(parsed.Request, output ? *output : out, err, config);
        if (ASetup) ASetup(runner);
        runner.Start();
        run.Finished = testsupport::ProcessUntil([&] { return runner.Finished(); }, ATimeoutMs);
        run.Code = runner.ExitCode();
    }
    run.Out = out.str();
    run.Err = err.str();
    return run;
}

QJsonObject JsonOf(const std::string& AOut) {
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(AOut));
    return doc.isObject() ? doc.object() : QJsonObject();
}

}  // namespace clitest
