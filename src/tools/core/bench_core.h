#pragma once
// The bench without a window: several supplies, each served by a session core of its own (its
// own link worker, lost-link handling and reconnection), used together. A front end (the bench
// window, benchlordctl) creates and connects one TSessionCore per supply, attaches each here,
// and shows what the signals tell:
//
//     TBenchCore bench(file);
//     for (int i = 0; i < bench.Count(); ++i) bench.Attach(i, sessionOf(i));  // before connecting
//     connect(&bench, &TBenchCore::SupplyChanged, ...);   // a row to repaint
//     connect(&bench, &TBenchCore::Message, ...);         // a line for the user
//     bench.AllOn();
//
// Switching: AllOn switches the outputs on in the switching order, waiting each supply's delay
// before it and then for a reading that shows its output on (or a trip) within the bench's
// confirmation time; a step that trips, is lost or does not confirm stops the sequence, its own
// supply is switched off (it may come on late) and, with off-on-failed-step, so is every supply
// the sequence had switched on. AllOff runs backwards with the same delays (the delay of a supply
// is waited after it, before the one before it in the order) and goes on past a supply that
// fails, so every other output still goes off. Switch is a sequence of one step.
//
// Protection: with off-on-loss, a supply that is lost or trips (a protection seen on a reading
// after one without) stops any sequence and starts AllOff over the others; a lost one is switched
// off too as soon as its session is back.
//
// Tracking: while a pair is active, every reading of the leader sets the follower to the
// leader's set voltage (and with Current its set current, in the follower's own unit) times the
// factor. A value beyond the follower's limits is never clipped: SetPoints on the leader refuses
// it with a message and writes nothing, and a leader changed elsewhere (its own panel, its front
// panel) leaves the follower where it was, with the message. A pair starts when both of its
// supplies are first connected and ends, with a message, when either link is lost; StartTracking
// starts it again. A follower's own set voltage is refused while it follows.
//
// Everything runs on the user-interface thread, timed by the event loop. The sessions are owned
// by the front end; a session that goes away is simply no longer there.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "session/event_chain.h"
#include "tools/core/bench_file.h"

class TSessionCore;

// Why a sequence ended early (the command line turns them into its exit codes).
enum class TBenchFault {
    None,
    NotConnected,  // a supply of the sequence had no session
    Lost,          // a supply's link was lost during the sequence
    Tripped,       // a protection switched a supply off
    NotConfirmed,  // no reading showed the switch within the confirmation time
    NotAllowed,    // the session may not switch (it only observes, or the keys are not its own)
    Stopped,       // Stop ended it
};

class TBenchCore : public QObject {
    Q_OBJECT
public:
    explicit TBenchCore(TBenchFile ABench, QObject* AParent = nullptr);
    ~TBenchCore() override;

    const TBenchFile& Bench() const { return fBench; }
    int Count() const { return static_cast<int>(fBench.Supplies.size()); }
    const TBenchSupply& Supply(int AIndex) const { return fBench.Supplies[AIndex]; }
    // The session of supply AIndex (null until attached, or once it is gone).
    TSessionCore* Session(int AIndex) const;

    // Serves supply AIndex by ASession from now on; attach before the session connects (its
    // events are joined, the ones already bound keep running first).
    void Attach(int AIndex, TSessionCore& ASession);

    // Whether supply AIndex has a running session; whether its last session ended by a loss
    // (and none has started since).
    bool Connected(int AIndex) const;
    bool Lost(int AIndex) const { return fUnits[AIndex].Lost; }

    // --- switching ---
    // Each returns an empty text when the sequence started, else why not (one already runs).
    // Its end comes as SequenceEnded.
    QString AllOn();
    QString AllOff();
    QString Switch(int AIndex, bool AOn);
    bool Sequencing() const { return fSeq.Running; }
    // Ends a running sequence where it stands: nothing more is switched (a front end that is
    // closing, the user's Stop). SequenceEnded tells it with TBenchFault::Stopped.
    void Stop();

    // --- set points and tracking ---
    // Writes the set points of supply AIndex (0.01 V and its current unit) and at once those of
    // its followers; refused, nothing written, with the reason returned and told as Message,
    // when a follower would go beyond its limits, the supply follows another, or it has no
    // session.
    QString SetPoints(int AIndex, uint32_t AUset, uint32_t AIset);
    bool Tracking(int APair) const { return fPairs[APair].Active; }
    // The pair in which supply AIndex follows, or -1.
    int PairOfFollower(int AIndex) const;
    // Starts pair APair again (both supplies connected); a reason when it cannot.
    QString StartTracking(int APair);

signals:
    // Supply AIndex connected, was lost, disconnected or gave a reading.
    void SupplyChanged(int AIndex);
    // A sequence switches supply AIndex now (after its delay), and a reading confirmed it.
    void StepStarted(int AIndex, bool AOn);
    void StepConfirmed(int AIndex, bool AOn);
    // The sequence ended: AOn for AllOn (or Switch on), AFault None when every step confirmed;
    // AMessage says what failed ("+12 V tripped (OCP)").
    void SequenceEnded(bool AOn, TBenchFault AFault, const QString& AMessage);
    // Pair APair started or ended.
    void TrackingChanged(int APair, bool AActive);
    // Something for the user: a refused set point, an ended pair, a protective all off.
    void Message(const QString& AText);

private:
    struct TUnit {
        QPointer<TSessionCore> Session;
        bool Lost = false;
        bool OffWhenBack = false;  // switched off once its session starts again
        bool WriteServed = false;  // the switch of the running step has been sent
        uint32_t LastProtect = 0;  // of the previous reading (a trip is its rise)
        uint64_t LastNumber = 0;
    };
    struct TPair {
        int Follower = -1;
        int Leader = -1;
        bool Active = false;
        bool Started = false;  // started once (the first start is automatic)
        uint64_t Refused = 0;  // the leader's value last refused (told once), 0: none
    };
    struct TSequence {
        bool Running = false;
        bool On = false;
        std::vector<int> Steps;
        size_t At = 0;
        bool Confirming = false;
        std::vector<int> SwitchedOn;
        TBenchFault Fault = TBenchFault::None;
        QString Message;
    };

    void SessionStarted(int AIndex);
    void SessionEnded(int AIndex);
    void Reading(int AIndex);
    QString StartSequence(bool AOn, std::vector<int> ASteps);
    void NextStep();
    void SwitchStep();
    void StepDone();
    void StepFailed(TBenchFault AFault, const QString& AMessage);
    void EndSequence();
    // A supply was lost or tripped: any sequence stops, and with off-on-loss all go off.
    void Protect(int AIndex, TBenchFault AFault, const QString& AWhat);
    // Sends the switch (the session's own on/off handling); false when it may not.
    bool SendSwitch(int AIndex, bool AOn);
    void Follow(int APair, bool AFromReading);
    // The follower's set points for the leader's; a refusal text when beyond its limits.
    struct TTrackChange {
        uint32_t Uset = 0;
        uint32_t Iset = 0;
    };
    QString FollowerTarget(int APair, uint32_t ALeaderUset, uint32_t ALeaderIset,
                           TTrackChange& AChange) const;
    void StartPairsOf(int AIndex);
    void EndPairsOf(int AIndex, const QString& AWhy);
    const QString& NameOf(int AIndex) const { return fBench.Supplies[AIndex].Name; }

    TBenchFile fBench;
    std::vector<TUnit> fUnits;
    std::vector<TPair> fPairs;
    TSequence fSeq;
    QTimer fDelay;
    QTimer fConfirm;
    TAliveToken fAlive = MakeAliveToken();
};
