#pragma once
// serve-scpi: a SCPI server in front of the session. Commands run one at a time, in the order
// they came, each to its end (a setting is written, read back and confirmed before the next
// command starts), so a query after a setting sees it, and a query about the supply's state is
// answered from a reading requested after the query (or the last setting) arrived. An error drops
// the rest of its line, so "VOLT 99;OUTP ON" never switches on with the old voltage. Values are
// checked against the model before anything is written. While the link is lost every query about
// the supply answers with the link error and settings are refused; the session's autoconnect
// brings the link back, and the output state is only ever what the supply last reported.
//
// cli_cmd_scpi.cpp: the session's events, the waits and the client's lines;
// scpi_commands.cpp: what each command does.

#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "cli/cli_command.h"
#include "cli/scpi_error_queue.h"
#include "cli/scpi_parser.h"
#include "cli/scpi_server.h"
#include "cli/scpi_status.h"
#include "session/preset_view.h"

class TPresetLogic;
struct TCurrentSet;
struct TMemorySet;

class TScpiBridge : public TCliCommand {
public:
    explicit TScpiBridge(TCliContext& AContext);
    ~TScpiBridge() override;

    bool KeepsServing() const override { return true; }
    bool InterruptIsSuccess() const override { return true; }
    bool SwitchOffAtEnd() const override;
    QString Prepare() override;
    void SessionCreated() override;
    void Started() override;
    void SessionLost() override;
    void Stopping() override;
    void Note(const QString& AText) override;
    void Refused(int32_t ACode) override;
    void LiveReading() override;
    void JobServed(TCliJob AJob) override;
    void SetValuesShown() override;

private:
    enum TWait {
        wNone,
        wSetWrite,
        wSetReadRequested,
        wSetRead,
        wSwitch,
        wSwitchConfirm,
        wReading,  // a query waits for a reading requested after it arrived
        wRecall,
        wSettle,  // the next reading, after a preset became the live setting
        wConnect,
        wBlock,  // a preset block read or write (protection levels)
        wTst,    // the identification read of *TST?
    };

    // --- cli_cmd_scpi.cpp ---
    QString Where() const;
    bool Up();
    void ClientLine(const QString& ALine, uint64_t AClient);
    void NewClient();
    void StartLine();
    void Continue();
    void Error(int ACode, const QString& ADetail);
    void Queue(int ACode, const QString& ADetail);
    void LinkError(const TScpiUnit& AUnit);
    void StartWait(TWait AWait);
    void EndWait();
    void FailWait(int ACode, const QString& ADetail);
    void PostContinue();
    void ServeTst();
    uint32_t OperCondition() const;
    uint32_t QuesCondition() const;
    QString ProtectNote();

    // --- scpi_commands.cpp ---
    void Execute(const TScpiUnit& AUnit);
    bool ExecuteLocal(const TScpiUnit& AUnit);
    bool ExecuteStatus(const TScpiUnit& AUnit);
    bool NeedsFreshReading(const TScpiUnit& AUnit) const;
    void Answer(const TScpiUnit& AUnit);
    void SetPoint(const TScpiUnit& AUnit);
    void Apply(const TScpiUnit& AUnit);
    void Protection(const TScpiUnit& AUnit);
    void ClearProtection();
    void Recall(const TScpiUnit& AUnit);
    void Lock(const TScpiUnit& AUnit, bool AOn);
    void Reset();
    // A set point of AUnit's parameter AIndex in units, checked against [AMin, AMax]; nullopt
    // after the error was queued.
    std::optional<uint32_t> Value(const TScpiUnit& AUnit, int AIndex, bool AVolt, uint32_t AMin,
                                  uint32_t AMax);
    std::optional<uint32_t> Mask(const TScpiUnit& AUnit, uint32_t AMax);
    void StartSet(std::optional<uint32_t> AU, std::optional<uint32_t> AI);
    void StartSwitch(bool AOn);
    // Reads the live preset's block and hands it to AThen (a failure ends the wait).
    void ReadLiveBlock(std::function<void(const TMemorySet&)> AThen);
    QString MeasuredValue(TScpiCmd ACmd);

    TScpiServer fServer;
    TScpiErrorQueue fErrors;
    TScpiStatus fStatus;
    TNullPresetView fPresetView;
    std::unique_ptr<TPresetLogic> fPresets;
    QTimer fBound;

    uint64_t fClient = 0;          // the client whose lines are being served
    bool fPowerOnSeen = false;     // the first client has been told of the start
    std::deque<TScpiUnit> fUnits;  // the rest of the line being carried out
    QStringList fReplies;
    bool fLineOpen = false;
    bool fLineLinkFailed = false;  // the link failed in this line: the rest is refused too
    bool fHeldLine = false;        // a line waits for the first reading of the session
    bool fReady = false;           // the session's first reading has come
    bool fLocal = false;           // SYST:LOCK OFF: the front panel has control
    bool fAnnounced = false;
    QString fLastNote;  // the session's last message, shown once

    // Readings: polls requested, the poll whose reply is the last reading, and the poll a
    // reading must come after to count as fresh for a query.
    uint64_t fPollSeq = 0;
    uint64_t fReadingSeq = 0;
    uint64_t fFreshMark = 0;

    TWait fWait = wNone;
    uint64_t fWaitId = 0;         // tells a late completion of an ended wait from the current
    std::function<void()> fThen;  // the next step of a command of several steps
    TScpiUnit fPending;           // the query waiting in wReading
    bool fQueryWait = false;      // the wait belongs to a query (a failure answers it)
    bool fTstWanted = false;
    std::optional<uint32_t> fWantU;
    std::optional<uint32_t> fWantI;
    bool fWantOn = false;
    int fTimeoutsBefore = 0;
};
