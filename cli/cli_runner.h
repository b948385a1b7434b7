#pragma once
// Runs one benchlordctl request on the event loop: builds a session core with a headless view and
// a private settings store (the window's settings are never written), connects as the window
// does (identify, key lock, scheduler), hands the session to the command, and closes it again,
// releasing the key lock it took unless asked not to, also after a lost link and on a signal.
// Commands that only read run as observers: they neither lock nor release the keys. A command
// that changes the supply is refused (exit 7, nothing written) when another program holds the
// keys, unless the request takes them over.
//
//     TCliRunner runner(request, std::cout, std::cerr);
//     runner.fOnFinished = [&](int code) { app.exit(code); };
//     runner.Start();
//     app.exec();

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <iosfwd>
#include <memory>

#include "cli/cli_args.h"
#include "cli/cli_command.h"
#include "cli/cli_view.h"
#include "maintenance/core/stm32_flasher.h"
#include "session/session_core.h"
#include "tools/core/sequencer.h"

class QTemporaryDir;
class TSettingsStore;

struct TCliConfig {
    TSessionTimings Timings;
    uint32_t TcpReadTimeout = 0;     // 0: the connector's own
    uint32_t TcpConnectTimeout = 0;  // 0: the connector's own
    uint32_t SerialWaitResp = 0;     // 0: the session's own
    // Store whose remembered device names 'ports' shows (read only); empty: the user's store.
    QString PortsSettingsPath;
    // sequence: the step timer and start pause; the saved table and the user's store it is
    // checked against (read only; empty: the user's own).
    TSequencerTimings Sequence{};
    QString TablePath;
    QString UserSettingsPath;
    // sweep: the clock of the dwell (null: the steady clock) and the longest wait for the supply
    // to show a set point or an output switch.
    const TTickClock* SweepClock = nullptr;
    uint32_t SweepTakeTimeoutMs = 3000;
    // plan and charge: the time of the plans (tests: the supply's manual clock); null for the
    // steady clock.
    const TTickClock* PlanClock = nullptr;
    // flash: the boot loader client's time-outs.
    TFlasherTimeouts Flasher;
    // serve-mqtt: the back-off of the broker reconnects, from the first wait to the longest.
    int MqttRetryFirstMs = 500;
    int MqttRetryMaxMs = 30000;
};

class TCliRunner : public QObject, private TCliContext {
    Q_OBJECT
public:
    TCliRunner(TCliRequest ARequest, std::ostream& AOut, std::ostream& AErr,
               TCliConfig AConfig = {}, QObject* AParent = nullptr);
    ~TCliRunner() override;

    // Starts the request from the event loop.
    void Start();
    // A signal arrived: a watch ends normally, any other command with exit 130.
    void Interrupt();

    bool Finished() const { return fPhase == phDone; }
    int ExitCode() const { return fExitCode; }
    // Called once, from the event loop, when the request is done and the link is closed.
    std::function<void(int AExitCode)> fOnFinished;
    // Called when the session has started (tests switch supply faults here).
    std::function<void()> fOnSessionStarted;
    TSessionCore* Session() { return fCore.get(); }
    // Makes the command instead of the request's own (the supplies of a bench each run one).
    std::function<std::unique_ptr<TCliCommand>(TCliContext&)> fMakeCommand;
    // Put before every message on standard error, after "benchlordctl: " (a supply's name).
    QString fMessagePrefix;
    // Tests adjust the configuration before Start.
    TCliConfig& EditConfig() { return fConfig; }

private:
    enum TPhase { phIdle, phConnecting, phIdentified, phRunning, phFinishing, phDone };

    void Run();
    void ListPorts();
    void CreateSession();
    void BindJobs();
    bool PrepareLink();
    void LimitsKnown();
    void CheckIdentified();
    void RequestResult(int32_t ACode);
    void SessionStarted();
    void KeysHeld();
    void SessionEnded();
    // The session ended by itself: a serving command goes on without it, any other run ends.
    void SessionGone();
    void Reading();
    void ErrorShown(const QString& AText);
    QString ConnectFailure(const QString& AWindowText) const;
    void Finish(int ACode);
    void Teardown();
    // The key release and/or the switch-off at the end; the port closes once they are answered.
    void ReleaseKeys(bool AUnlock, bool ASwitchOff, const std::vector<TFinalWrite>& AFinal);
    bool Serving() const;
    void ReleaseEnded(uint32_t ARelease);
    void SwitchOffEnded(int32_t ACode);
    void SwitchOffFailed(const QString& AWhy);
    void FinalWriteEnded(size_t AIndex, int32_t ACode);
    void FinalWriteFailed(const QString& AText);
    void CloseLink();
    void PrintError(const QString& AText);

    // TCliContext
    const TCliRequest& Request() const override { return fRequest; }
    TSessionCore& Core() override { return *fCore; }
    TCliView& View() override { return fView; }
    const TCliConfig& Config() const override { return fConfig; }
    void Print(const QString& AText) override;
    std::ostream& OutStream() override { return fOut; }
    std::ostream& ErrStream() override { return fErr; }
    void PrintFields(const TFields& AFields) override;
    void Warn(const QString& AText) override { PrintError(AText); }
    void Done() override { Finish(ceOk); }
    void Fail(int ACode, const QString& AMessage) override;
    int Timeouts() const override { return fTimeouts; }
    void ReleaseLink() override;

    TCliRequest fRequest;
    std::ostream& fOut;
    std::ostream& fErr;
    TCliConfig fConfig;

    TPhase fPhase = phIdle;
    int fExitCode = ceOk;
    bool fInConnect = false;         // inside the session's connect (it runs pending events)
    bool fInStopping = false;        // inside the command's Stopping
    bool fSessionStarted = false;    // a session started (the supply was reached)
    bool fKeysFreeAtDevice = false;  // the last reading found the keys released at the unit
    bool fAddedExtraPort = false;
    bool fLinkReleased = false;  // the command took the serial line over
    bool fOutFailed = false;     // standard output could not be written
    int fTimeouts = 0;
    // Result code of the last failed request, and how often it came in a row since the last
    // success.
    int32_t fLastFailure = 0;
    int fFailureRun = 0;
    bool fPeerClosed = false;
    // The key release on its way: its number (a late completion of an earlier one is ignored)
    // and the bound on the wait for its reply.
    uint32_t fRelease = 0;
    bool fReleasing = false;
    bool fSwitchOffPending = false;         // the switch-off at the end is not answered yet
    std::vector<TFinalWrite> fFinalWrites;  // the command's final writes not answered yet
    std::vector<bool> fFinalPending;
    QStringList fFinalReported;
    QTimer fReleaseBound;

    std::unique_ptr<QTemporaryDir> fSettingsDir;
    std::unique_ptr<TSettingsStore> fSettings;
    TCliView fView;
    std::unique_ptr<TSessionCore> fCore;
    std::unique_ptr<TCliCommand> fCommand;
};
