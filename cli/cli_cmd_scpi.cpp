// serve-scpi: the bridge of scpi/ on the command line's session. Its options (--listen,
// --idle-timeout, --off-on-exit) come from the request; the session's events are handed over.

#include <QHostAddress>

#include "cli/cli_commands.h"
#include "cli/cli_messages.h"
#include "cli/cli_metrics.h"
#include "scpi/scpi_bridge.h"

namespace {

class TScpiCommand : public TCliCommand, public TScpiHost {
public:
    explicit TScpiCommand(TCliContext& AContext)
        : TCliCommand(AContext), fBridge(*this), fMetrics(AContext) {}

    // --- TScpiHost ---
    TSessionCore& Core() override { return fCtx.Core(); }
    void Print(const QString& AText) override { fCtx.Print(AText); }
    void Warn(const QString& AText) override { fCtx.Warn(AText); }
    int Timeouts() const override { return fCtx.Timeouts(); }

    // --- TCliCommand ---
    bool KeepsServing() const override { return true; }
    bool InterruptIsSuccess() const override { return true; }
    bool SwitchOffAtEnd() const override {
        return fCtx.Request().Of<TServeScpiOptions>().OffOnExit;
    }
    QString Prepare() override {
        const TServeScpiOptions& r = fCtx.Request().Of<TServeScpiOptions>();
        QString error;
        if (!fBridge.Listen(QHostAddress(r.ListenHost), r.ListenPort, r.IdleTimeout, error))
            fCtx.Fail(ceLocalIO, "cannot listen on " + r.ListenHost + ":" +
                                     QString::number(r.ListenPort) + ": " + error);
        else
            fMetrics.Open();
        return {};
    }
    void SessionCreated() override { fBridge.SessionCreated(); }
    void Started() override { fBridge.Started(); }
    void SessionLost() override {
        fMetrics.SetUp(false);
        fBridge.SessionLost();
    }
    void KeysReleased() override { fBridge.KeysReleased(); }
    void Stopping() override {
        fMetrics.Close();
        fBridge.Stopping();
    }
    void Note(const QString& AText) override { fBridge.Note(AText); }
    void Refused(int32_t ACode) override { fBridge.Refused(ResultEnglish(ACode)); }
    void LiveReading() override {
        fMetrics.SetUp(true);
        fBridge.LiveReading();
    }
    void SetValuesShown() override { fBridge.SetValuesShown(); }
    void JobServed(TCliJob AJob) override {
        switch (AJob) {
            case cjWriteSetData:
                fBridge.JobServed(TScpiJob::WriteSetData);
                break;
            case cjReadSetData:
                fBridge.JobServed(TScpiJob::ReadSetData);
                break;
            case cjWriteOnOff:
                fBridge.JobServed(TScpiJob::WriteOnOff);
                break;
            case cjReadData:
                fBridge.JobServed(TScpiJob::ReadData);
                break;
        }
    }

private:
    TScpiBridge fBridge;
    TCliMetrics fMetrics;
};

}  // namespace

std::unique_ptr<TCliCommand> MakeScpiCommand(TCliContext& AContext) {
    return std::make_unique<TScpiCommand>(AContext);
}
