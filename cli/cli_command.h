#pragma once
// A command of benchlordctl runs on a started session: the runner connects (identify, key lock,
// scheduler), tells the command what happens, and closes the session (key release) when the
// command calls Done or Fail, on a lost link, a refused request or a signal.

#include <QString>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_output.h"
#include "tools/core/setting_confirm.h"

class TSessionCore;
class TCliView;
struct TCliConfig;

// Scheduler jobs whose service a command follows.
// cjReadData: a live reading was requested (its reply comes as LiveReading).
enum TCliJob { cjWriteSetData, cjReadSetData, cjWriteOnOff, cjReadData };

// A job in the words of the settings' confirmation (none for cjReadData).
inline std::optional<TSettingJob> SettingJobOf(TCliJob AJob) {
    switch (AJob) {
        case cjWriteSetData:
            return TSettingJob::WriteSetData;
        case cjReadSetData:
            return TSettingJob::ReadSetData;
        case cjWriteOnOff:
            return TSettingJob::WriteOnOff;
        default:
            return std::nullopt;
    }
}

// A register write a command owes at its end: what it changed and must put back.
struct TFinalWrite {
    uint16_t Start = 0;
    std::vector<uint16_t> Values;
    // The message when it fails, "%1" standing for the reason ("no reply from the supply").
    QString Failure;
};

// What the runner offers a command.
class TCliContext {
public:
    virtual ~TCliContext() = default;
    virtual const TCliRequest& Request() const = 0;
    virtual TSessionCore& Core() = 0;
    virtual TCliView& View() = 0;
    virtual const TCliConfig& Config() const = 0;
    // Standard output, flushed at once.
    virtual void Print(const QString& AText) = 0;
    // The streams the runner writes to (the runners of a bench's supplies write there too).
    virtual std::ostream& OutStream() = 0;
    virtual std::ostream& ErrStream() = 0;
    // Standard error, after "benchlordctl: ".
    virtual void Warn(const QString& AText) = 0;
    // Text lines, or one JSON object with --json.
    virtual void PrintFields(const TFields& AFields) = 0;
    // Ends the command: success, or AMessage on standard error and exit code ACode.
    virtual void Done() = 0;
    virtual void Fail(int ACode, const QString& AMessage) = 0;
    // Unanswered requests since the session started.
    virtual int Timeouts() const = 0;
    // The supply has left its application (firmware update): the session ends here, without
    // the key release and without counting as a lost link; the serial port is free afterwards.
    virtual void ReleaseLink() = 0;
};

class TCliCommand {
public:
    explicit TCliCommand(TCliContext& AContext) : fCtx(AContext) {}
    virtual ~TCliCommand() = default;

    // Before connecting (files, checks that need no supply); an error text ends with exit 2 (a
    // command may Fail with another code instead).
    virtual QString Prepare() { return {}; }
    // The session core exists and is not connected yet (bind to its events here).
    virtual void SessionCreated() {}
    // The model limits are known; nothing has been written yet (the key lock comes next). An
    // error text ends with exit 2 and the supply is left untouched.
    virtual QString CheckLimits() { return {}; }
    // The session runs (keys locked, scheduler started, start-up reads pending).
    virtual void Started() {}
    // A live reading arrived (the start-up reads are done by the first one).
    virtual void LiveReading() {}
    virtual void JobServed(TCliJob) {}
    virtual void SetValuesShown() {}
    // The command ends (flush files); the session is still open. A Fail from here is reported
    // and replaces a successful exit code.
    virtual void Stopping() {}
    // Whether an interrupt is the command's normal end (watch).
    virtual bool InterruptIsSuccess() const { return false; }
    // False for a command that works without a session: Started comes at once, without one.
    virtual bool NeedsSession() const { return true; }
    // A command without a session whose end takes time (a bench closing its supplies' runs):
    // true when it calls AEnded, with an exit code that replaces a success, once it has ended.
    virtual bool EndsLater(std::function<void(int AExitCode)> /*AEnded*/) { return false; }
    // False for a command that changes nothing at the supply: its session neither locks nor
    // releases the keys, and keys released at the supply do not end it.
    virtual bool TakesKeyLock() const { return true; }

    // A command that serves clients (serve-scpi) outlives its session: a lost link, a refusal
    // and the session's messages are handed to it instead of ending the run, and the session's
    // autoconnect brings the link back (Started comes again).
    virtual bool KeepsServing() const { return false; }
    virtual void SessionLost() {}
    // The keys were released at the supply while serving: the session now only observes (it
    // reads on, changes nothing and never locks the keys again by itself).
    virtual void KeysReleased() {}
    virtual void Refused(int32_t /*ACode*/) {}
    virtual void Note(const QString& /*AText*/) {}
    // Whether an exception reply of the device ends the command (exit 4).
    virtual bool RefusalEnds() const { return true; }
    // Whether the output is switched off before the keys are released at the end.
    virtual bool SwitchOffAtEnd() const { return false; }
    // Writes sent at the end after the switch-off and before the key release, also after a lost
    // link (the port is opened again for them); each one that fails is reported (exit 3).
    virtual std::vector<TFinalWrite> FinalWrites() const { return {}; }

protected:
    TCliContext& fCtx;
};

// The command of the request (not "ports", which needs no session).
std::unique_ptr<TCliCommand> MakeCommand(TCliContext& AContext);

// "sequence show": the saved table as text or JSON (no session), or AError.
QString SequenceTableText(const TCliRequest& ARequest, const TCliConfig& AConfig, QString& AError);
