#pragma once
// Runs benchlordctl requests in this process against a virtual supply, with the session's
// intervals shortened, and captures what they print.

#include <QJsonObject>
#include <QStringList>
#include <functional>
#include <string>

#include "cli/cli_runner.h"
#include "tests/support/virtual_supply_fixture.h"

namespace clitest {

struct TCliRun {
    int Code = -1;
    std::string Out;
    std::string Err;
    bool Finished = false;
};

TCliConfig FastConfig();

class TCliHarness {
public:
    explicit TCliHarness(testsupport::TSupplyConfig AConfig = DefaultSupply());

    static testsupport::TSupplyConfig DefaultSupply();

    // "--tcp 127.0.0.1:PORT" and "--port /dev/pts/N".
    QStringList Tcp() const;
    QStringList Pty() const;

    // Parses AArgs (a parse error fails the test) and runs the request to its end (the bound is
    // generous: the run ends as soon as the request does).
    TCliRun Run(const QStringList& AArgs, const std::function<void(TCliRunner&)>& ASetup = nullptr,
                int ATimeoutMs = 15000);

    testsupport::TVirtualSupplyFixture supply;
    // What Run gives the runner, and the standard output it writes to (null: captured).
    TCliConfig config = FastConfig();
    std::ostream* output = nullptr;
};

// The single JSON object of a --json run's output (empty when it is not one).
QJsonObject JsonOf(const std::string& AOut);

}  // namespace clitest
