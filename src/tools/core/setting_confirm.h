#pragma once
// A setting asked for from outside the window (benchlordctl set/on/off, the SCPI and MQTT
// bridges), carried out through the session's own handlers and confirmed by what the supply
// reports: set points are written, read back once the write was answered and compared with what
// was asked; an output switch is confirmed by the next reading after the write's reply. The
// program hands over the session's events; the end is told once.

#include <QString>
#include <functional>
#include <optional>

class TSessionCore;

// The scheduler jobs whose service the confirmation follows.
enum class TSettingJob { WriteSetData, ReadSetData, WriteOnOff };

class TSettingConfirm {
public:
    enum class TOutcome {
        Done,
        NoReply,   // the supply stopped answering meanwhile
        NotTaken,  // it answered, but reports something else than was asked
    };
    using TEnd = std::function<void(TOutcome AOutcome)>;

    // ATimeouts: the session's unanswered requests so far; one more during the setting makes a
    // mismatch a silent supply rather than a refusal.
    TSettingConfirm(TSessionCore& ACore, std::function<int()> ATimeouts);

    // Writes the set points given (in the model's units).
    void SetPoints(std::optional<uint32_t> AU, std::optional<uint32_t> AI, TEnd AEnd);
    // Switches the output to AOn; the caller has seen that the supply is not so already.
    void Switch(bool AOn, TEnd AEnd);
    bool Busy() const { return fStep != sNone; }
    // Gives the setting up; its end is not told.
    void Cancel();

    void JobServed(TSettingJob AJob);
    void SetValuesShown();
    void LiveReading();

private:
    enum TStep { sNone, sWrite, sReadRequested, sRead, sSwitch, sSwitchConfirm };
    void Start(TStep AStep, TEnd AEnd);
    void End(bool ATook);

    TSessionCore& fCore;
    std::function<int()> fTimeouts;
    TStep fStep = sNone;
    TEnd fEnd;
    std::optional<uint32_t> fWantU;
    std::optional<uint32_t> fWantI;
    bool fWantOn = false;
    int fTimeoutsBefore = 0;
};
