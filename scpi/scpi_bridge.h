#pragma once
// serve-scpi: a SCPI server in front of the session. Commands run one at a time, in the order
// they came, each to its end (a setting is written, read back and confirmed before the next
// command starts), so a query after a setting sees it, and a query about the supply's state is
// answered from a reading requested after the query (or the last setting) arrived. An error drops
// the rest of its line, so "VOLT 99;OUTP ON" never switches on with the old voltage. Values are
// checked against the model before anything is written. A query line is answered within
// kReplyBoundMs of its arrival: a value that cannot be had then (link lost, supply silent) is
// SCPI's not-a-number and the cause is queued, and settings are refused; the session's
// autoconnect brings the link back, and the output state is only ever what the supply last
// reported. Keys released at the supply leave the bridge observing until SYST:REM.
// The program that runs it (benchlordctl serve-scpi) owns the session and hands its events over.

#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "scpi/scpi_error_queue.h"
#include "scpi/scpi_parser.h"
#include "scpi/scpi_server.h"
#include "scpi/scpi_status.h"
#include "session/preset_view.h"
#include "tools/core/setting_confirm.h"

class QHostAddress;
class TPresetLogic;
class TSessionCore;
struct TCurrentSet;
struct TMemorySet;

// What the bridge needs of the program that runs it.
class TScpiHost {
public:
    virtual ~TScpiHost() = default;
    virtual TSessionCore& Core() = 0;
    // Standard output (flushed at once) and standard error.
    virtual void Print(const QString& AText) = 0;
    virtual void Warn(const QString& AText) = 0;
    // Unanswered requests since the session started.
    virtual int Timeouts() const = 0;
};

// Scheduler jobs whose service the bridge follows (ReadData: a live reading was requested).
enum class TScpiJob { WriteSetData, ReadSetData, WriteOnOff, ReadData };

class TScpiBridge {
public:
    // A query line is answered within this time of its arrival, readings or not.
    static constexpr int kReplyBoundMs = 1000;
    static constexpr int kAnswerWithinMs = 750;

    explicit TScpiBridge(TScpiHost& AHost);
    ~TScpiBridge();

    // Before the supply is touched; false with AError set when the address cannot be bound.
    bool Listen(const QHostAddress& AAddress, quint16 APort, int AIdleTimeout, QString& AError);
    // The session's events (see TCliCommand): created, running, lost, ending.
    void SessionCreated();
    void Started();
    void SessionLost();
    // The keys were released at the supply: the bridge observes until a client takes control.
    void KeysReleased();
    void Stopping();
    // A message of the session; a request the supply refused, in words.
    void Note(const QString& AText);
    void Refused(const QString& AText);
    void LiveReading();
    void JobServed(TScpiJob AJob);
    void SetValuesShown();

private:
    enum TWait {
        wNone,
        wSetting,  // a set point or the output switch, confirmed through fConfirm
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
    void KeepIdentity();
    void StartLine();
    void Continue();
    void Error(int ACode, const QString& ADetail);
    void Queue(int ACode, const QString& ADetail);
    void Unavailable(const TScpiUnit& AUnit);
    QString LinkReason() const;
    static QString KeysReleasedText();
    void DeadlinePassed();
    QString NotANumber(TScpiCmd ACmd);
    QString StatusAnswer(TScpiCmd ACmd);
    // The last reading's request went out after the query arrived (or the last setting ended).
    bool Fresh() const { return fReadingSentUs >= fFreshSinceUs; }
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
    std::optional<uint32_t> PresetNumber(const TScpiUnit& AUnit);
    void Recall(const TScpiUnit& AUnit);
    void Save(const TScpiUnit& AUnit);
    void Lock(const TScpiUnit& AUnit, bool AOn);
    void Reset();
    // A set point of AUnit's parameter AIndex in units, checked against [AMin, AMax]; nullopt
    // after the error was queued.
    std::optional<uint32_t> Value(const TScpiUnit& AUnit, int AIndex, bool AVolt, uint32_t AMin,
                                  uint32_t AMax);
    std::optional<uint32_t> Mask(const TScpiUnit& AUnit, uint32_t AMax);
    void StartSet(std::optional<uint32_t> AU, std::optional<uint32_t> AI);
    void StartSwitch(bool AOn);
    void SettingEnded(TSettingConfirm::TOutcome AOutcome, const QString& ANotTaken);
    // Reads the live preset's block and hands it to AThen (a failure ends the wait).
    void ReadLiveBlock(std::function<void(const TMemorySet&)> AThen);
    QString MeasuredValue(TScpiCmd ACmd);

    TScpiHost& fHost;
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
    bool fObserving = false;       // the keys were released at the supply: queries only
    bool fAnnounced = false;
    QString fLastNote;  // the session's last message, shown once
    // The unit the client connected to: its *IDN? reply, model and firmware version.
    QString fIdentity;
    uint32_t fIdModel = 0;
    uint32_t fIdVersion = 0;

    // Readings (steady microseconds): when the last reading's request went out, when the
    // scheduler last asked for one, and the time a reading must have been requested at or after
    // to count as fresh for a query.
    int64_t fReadingSentUs = 0;
    int64_t fPollRequestedUs = 0;
    int64_t fFreshSinceUs = 0;
    // A line with a query is answered within kReplyBoundMs of its arrival: its wait is given up
    // after kAnswerWithinMs, and the rest of the line then answers at once with the cause.
    QTimer fDeadline;
    int fLineFailCode = 0;
    QString fLineFailDetail;

    TWait fWait = wNone;
    uint64_t fWaitId = 0;         // tells a late completion of an ended wait from the current
    std::function<void()> fThen;  // the next step of a command of several steps
    TScpiUnit fPending;           // the query waiting in wReading
    bool fQueryWait = false;      // the wait belongs to a query (a failure answers it)
    bool fTstWanted = false;
    std::optional<TSettingConfirm> fConfirm;
};
