#include "tools/core/bench_core.h"

#include <algorithm>

#include "session/session_core.h"
#include "session/typed_values.h"
#include "tools/core/readings_csv.h"

namespace {

QString OnOff(bool AOn) {
    return AOn ? "on" : "off";
}

}  // namespace

TBenchCore::TBenchCore(TBenchFile ABench, QObject* AParent)
    : QObject(AParent), fBench(std::move(ABench)), fUnits(fBench.Supplies.size()) {
    for (const TBenchTrack& t : fBench.Tracks) {
        TPair pair;
        pair.Follower = fBench.IndexOf(t.Follower);
        pair.Leader = fBench.IndexOf(t.Leader);
        fPairs.push_back(pair);
    }
    fDelay.setSingleShot(true);
    fDelay.setTimerType(Qt::PreciseTimer);  // a coarse timer may end a delay early
    fConfirm.setSingleShot(true);
    connect(&fDelay, &QTimer::timeout, this, [this] { SwitchStep(); });
    connect(&fConfirm, &QTimer::timeout, this, [this] {
        if (!fSeq.Running || !fSeq.Confirming) return;
        const int unit = fSeq.Steps[fSeq.At];
        StepFailed(TBenchFault::NotConfirmed, NameOf(unit) + " did not confirm its output " +
                                                  OnOff(fSeq.On) + " within " +
                                                  TrimmedUnits(fBench.Options.ConfirmMs, 3) + " s");
    });
}

TBenchCore::~TBenchCore() = default;

void TBenchCore::Attach(int AIndex, TSessionCore& ASession) {
    fUnits[AIndex].Session = &ASession;
    ChainEvent<>(ASession.fOnSessionStarted, fAlive, [this, AIndex] { SessionStarted(AIndex); });
    ChainEvent<>(ASession.fOnSessionEnded, fAlive, [this, AIndex] { SessionEnded(AIndex); });
    // The switch of a step is sent when this job is served; readings after it show its effect.
    ChainEvent<TLN_TaskMgr*>(
        ASession.TaskMgr().fOnWriteOnOff, fAlive, [this, AIndex](TLN_TaskMgr*) {
            if (fSeq.Running && fSeq.Confirming && fSeq.Steps[fSeq.At] == AIndex)
                fUnits[AIndex].WriteServed = true;
        });
    connect(&ASession, &TSessionCore::LiveReading, this, [this, AIndex] { Reading(AIndex); });
}

TSessionCore* TBenchCore::Session(int AIndex) const {
    return fUnits[AIndex].Session.data();
}

bool TBenchCore::Connected(int AIndex) const {
    const TSessionCore* session = Session(AIndex);
    return session != nullptr && session->Connected();
}

// --- session events ---------------------------------------------------------------------------

void TBenchCore::SessionStarted(int AIndex) {
    TUnit& unit = fUnits[AIndex];
    unit.Lost = false;
    unit.LastNumber = 0;
    unit.LastProtect = 0;
    StartPairsOf(AIndex);
    emit SupplyChanged(AIndex);
}

void TBenchCore::SessionEnded(int AIndex) {
    TSessionCore* session = Session(AIndex);
    const bool lost = session != nullptr && session->Losing();
    fUnits[AIndex].Lost = lost;
    EndPairsOf(AIndex, lost ? "the link to " + NameOf(AIndex) + " was lost"
                            : NameOf(AIndex) + " was disconnected");
    emit SupplyChanged(AIndex);
    if (lost) {
        Protect(AIndex, TBenchFault::Lost, "the link to " + NameOf(AIndex) + " was lost");
    } else if (fSeq.Running && fSeq.Confirming && fSeq.Steps[fSeq.At] == AIndex) {
        StepFailed(TBenchFault::NotConnected, NameOf(AIndex) + " was disconnected");
    }
}

void TBenchCore::Reading(int AIndex) {
    TSessionCore* session = Session(AIndex);
    if (session == nullptr) return;
    TUnit& unit = fUnits[AIndex];
    const TReading& r = session->LastReading();
    const bool tripped = unit.LastNumber != 0 && unit.LastProtect == 0 && r.Protect != 0;
    const bool first = unit.LastNumber == 0;
    unit.LastNumber = r.Number;
    unit.LastProtect = r.Protect;
    emit SupplyChanged(AIndex);

    // A supply that was lost while the bench switched everything off goes off too, now that it
    // can be reached again.
    if (first && unit.OffWhenBack) {
        unit.OffWhenBack = false;
        if (r.OnOff != 0 && SendSwitch(AIndex, false))
            emit Message(NameOf(AIndex) + " is back and is switched off");
    }

    const QString tripText = NameOf(AIndex) + " tripped (" + ProtectionName(r.Protect) + ")";
    const bool stepOfThis =
        fSeq.Running && fSeq.Confirming && fSeq.Steps[fSeq.At] == AIndex && unit.WriteServed;
    if (tripped && fBench.Options.OffOnLoss) {
        Protect(AIndex, TBenchFault::Tripped, tripText);
    } else if (stepOfThis) {
        if (r.Protect != 0 && fSeq.On)
            StepFailed(TBenchFault::Tripped, tripText);
        else if ((r.OnOff != 0) == fSeq.On)
            StepDone();
    } else if (tripped) {
        Protect(AIndex, TBenchFault::Tripped, tripText);
    }

    for (size_t p = 0; p < fPairs.size(); ++p)
        if (fPairs[p].Active && fPairs[p].Leader == AIndex) Follow(static_cast<int>(p), true);
}

// --- sequences --------------------------------------------------------------------------------

QString TBenchCore::AllOn() {
    return StartSequence(true, fBench.SwitchingOrder());
}

QString TBenchCore::AllOff() {
    std::vector<int> steps = fBench.SwitchingOrder();
    std::reverse(steps.begin(), steps.end());
    return StartSequence(false, steps);
}

QString TBenchCore::Switch(int AIndex, bool AOn) {
    return StartSequence(AOn, {AIndex});
}

QString TBenchCore::StartSequence(bool AOn, std::vector<int> ASteps) {
    if (fSeq.Running) return "the bench is switching already";
    fSeq = {};
    fSeq.Running = true;
    fSeq.On = AOn;
    fSeq.Steps = std::move(ASteps);
    NextStep();
    return {};
}

void TBenchCore::NextStep() {
    if (fSeq.At >= fSeq.Steps.size()) {
        EndSequence();
        return;
    }
    // A supply's delay stands between it and the one before it in the switching order: waited
    // before it on the way on, after it on the way off. A single switch waits for nothing.
    uint32_t delay = 0;
    if (fSeq.Steps.size() > 1) {
        if (fSeq.On)
            delay = fBench.Supplies[fSeq.Steps[fSeq.At]].DelayMs;
        else if (fSeq.At > 0)
            delay = fBench.Supplies[fSeq.Steps[fSeq.At - 1]].DelayMs;
    }
    // Always through the event loop, so that a step never runs inside the handler that ended
    // the one before.
    fDelay.start(static_cast<int>(delay));
}

void TBenchCore::SwitchStep() {
    if (!fSeq.Running || fSeq.Confirming || fSeq.At >= fSeq.Steps.size()) return;
    const int unit = fSeq.Steps[fSeq.At];
    TSessionCore* session = Session(unit);
    if (session == nullptr || !session->Connected()) {
        StepFailed(fUnits[unit].Lost ? TBenchFault::Lost : TBenchFault::NotConnected,
                   NameOf(unit) + " is not connected");
        return;
    }
    emit StepStarted(unit, fSeq.On);
    const TReading& r = session->LastReading();
    if (r.Number != 0 && (r.OnOff != 0) == fSeq.On && (!fSeq.On || r.Protect == 0) &&
        session->PowerOn() == fSeq.On) {
        StepDone();  // already so
        return;
    }
    fUnits[unit].WriteServed = false;
    fSeq.Confirming = true;
    if (!SendSwitch(unit, fSeq.On)) {
        StepFailed(TBenchFault::NotAllowed,
                   NameOf(unit) + " cannot be switched: this program does not hold its keys");
        return;
    }
    fConfirm.start(static_cast<int>(fBench.Options.ConfirmMs));
}

void TBenchCore::StepDone() {
    fConfirm.stop();
    fSeq.Confirming = false;
    const int unit = fSeq.Steps[fSeq.At];
    if (fSeq.On) fSeq.SwitchedOn.push_back(unit);
    ++fSeq.At;
    emit StepConfirmed(unit, fSeq.On);
    NextStep();
}

void TBenchCore::StepFailed(TBenchFault AFault, const QString& AMessage) {
    fConfirm.stop();
    fSeq.Confirming = false;
    if (fSeq.Fault == TBenchFault::None) {
        fSeq.Fault = AFault;
        fSeq.Message = AMessage;
    } else {
        fSeq.Message += "; " + AMessage;
    }
    if (!fSeq.On) {
        // Switching off goes on past a supply that fails: every other output still goes off.
        ++fSeq.At;
        NextStep();
        return;
    }
    // The failed step's supply may come on late: it goes off, and with off-on-failed-step so
    // does what the sequence switched on, backwards.
    std::vector<int> off = fBench.Options.OffOnFailedStep ? fSeq.SwitchedOn : std::vector<int>{};
    off.push_back(fSeq.Steps[fSeq.At]);
    std::reverse(off.begin(), off.end());
    const TSequence failed = fSeq;
    fDelay.stop();
    fSeq = {};
    fSeq.Running = true;
    fSeq.Steps = off;
    NextStep();
    emit SequenceEnded(true, failed.Fault, failed.Message);
}

void TBenchCore::Stop() {
    if (!fSeq.Running) return;
    if (fSeq.Fault == TBenchFault::None) {
        fSeq.Fault = TBenchFault::Stopped;
        fSeq.Message = "stopped";
    }
    EndSequence();
}

void TBenchCore::EndSequence() {
    fDelay.stop();
    fConfirm.stop();
    const TSequence ended = fSeq;
    fSeq = {};
    emit SequenceEnded(ended.On, ended.Fault, ended.Message);
}

void TBenchCore::Protect(int AIndex, TBenchFault AFault, const QString& AWhat) {
    if (!fBench.Options.OffOnLoss) {
        // The bench goes on without it; only a sequence that needed it ends.
        const bool stepOfThis = fSeq.Running && fSeq.Confirming && fSeq.Steps[fSeq.At] == AIndex;
        if (fSeq.Running && (fSeq.On || stepOfThis))
            StepFailed(AFault, AWhat);
        else
            emit Message(AWhat);
        return;
    }
    emit Message(AWhat + ": every supply is switched off");
    if (AFault == TBenchFault::Lost) fUnits[AIndex].OffWhenBack = true;
    std::vector<int> off;
    for (int unit : fBench.SwitchingOrder())
        if (unit != AIndex || AFault != TBenchFault::Lost) off.push_back(unit);
    std::reverse(off.begin(), off.end());
    const TSequence stopped = fSeq;
    fDelay.stop();
    fConfirm.stop();
    fSeq = {};
    fSeq.Running = true;
    fSeq.Steps = off;
    NextStep();
    if (stopped.Running) {
        const bool first = stopped.Fault == TBenchFault::None;
        emit SequenceEnded(stopped.On, first ? AFault : stopped.Fault,
                           first ? AWhat : stopped.Message + "; " + AWhat);
    }
}

bool TBenchCore::SendSwitch(int AIndex, bool AOn) {
    TSessionCore* session = Session(AIndex);
    if (session == nullptr || !session->Connected() || session->Observer() ||
        session->Data().LOCK != 1)
        return false;
    // The on/off handler toggles the program's view of the output; should that view already be
    // the wanted state, it toggles twice so that the job writes the wanted state.
    if (session->PowerOn() == AOn) session->OnOffBtnClick();
    session->OnOffBtnClick();
    return true;
}

// --- set points and tracking ------------------------------------------------------------------

int TBenchCore::PairOfFollower(int AIndex) const {
    for (size_t p = 0; p < fPairs.size(); ++p)
        if (fPairs[p].Follower == AIndex) return static_cast<int>(p);
    return -1;
}

QString TBenchCore::FollowerTarget(int APair, uint32_t ALeaderUset, uint32_t ALeaderIset,
                                   TTrackChange& AChange) const {
    const TBenchTrack& track = fBench.Tracks[APair];
    const TPair& pair = fPairs[APair];
    TSessionCore& follower = *Session(pair.Follower);
    const TSessionCore& leader = *Session(pair.Leader);
    const TModelLimits& limits = follower.Limits();
    const QString head = NameOf(pair.Follower) + " cannot follow " + NameOf(pair.Leader) + " to ";
    const uint64_t uset = (uint64_t{ALeaderUset} * track.FactorMicros + 500000) / 1000000;
    if (uset > limits.MaxUset)
        return head + FormatUnits(uset, 2) + " V: its highest set voltage is " +
               FormatUnits(limits.MaxUset, 2) + " V";
    AChange.Uset = static_cast<uint32_t>(uset);
    if (!track.Current) {
        AChange.Iset = follower.Data().ISET;
        return {};
    }
    // In amperes the follower's current is the leader's times the factor; each counts in its
    // own unit (0.01 A or 0.001 A).
    const uint64_t den = uint64_t{leader.Limits().CurrentDiv} * 1000000;
    const uint64_t iset =
        (uint64_t{ALeaderIset} * limits.CurrentDiv * track.FactorMicros + den / 2) / den;
    const int decimals = limits.CurrentDecimals();
    if (iset > limits.MaxIset)
        return head + FormatUnits(iset, decimals) + " A: its highest set current is " +
               FormatUnits(limits.MaxIset, decimals) + " A";
    AChange.Iset = static_cast<uint32_t>(iset);
    return {};
}

void TBenchCore::Follow(int APair, bool AFromReading) {
    TPair& pair = fPairs[APair];
    TSessionCore* leader = Session(pair.Leader);
    TSessionCore* follower = Session(pair.Follower);
    // A follower that only observes (keys not its own) is never written.
    if (leader == nullptr || follower == nullptr || !follower->Connected() || follower->Observer())
        return;
    const TReading& r = leader->LastReading();
    if (r.Number == 0) return;
    TTrackChange change;
    const QString refusal = FollowerTarget(APair, r.Uset, r.Iset, change);
    if (!refusal.isEmpty()) {
        // Changed beyond the follower elsewhere: the follower stays, told once per value.
        const uint64_t key = (uint64_t{r.Uset} << 32) | r.Iset | (uint64_t{1} << 63);
        if (pair.Refused != key || !AFromReading) emit Message(refusal);
        pair.Refused = key;
        return;
    }
    pair.Refused = 0;
    if (follower->Data().USET != change.Uset || follower->Data().ISET != change.Iset)
        follower->SetPoints(change.Uset, change.Iset);
}

QString TBenchCore::SetPoints(int AIndex, uint32_t AUset, uint32_t AIset) {
    const auto refuse = [this](const QString& AWhy) {
        emit Message(AWhy);
        return AWhy;
    };
    TSessionCore* session = Session(AIndex);
    if (session == nullptr || !session->Connected())
        return refuse(NameOf(AIndex) + " is not connected");
    const int own = PairOfFollower(AIndex);
    if (own >= 0 && fPairs[own].Active)
        return refuse(NameOf(AIndex) + " follows " + NameOf(fPairs[own].Leader) +
                      ": its set points come from there");
    const TModelLimits& limits = session->Limits();
    if (AUset > limits.MaxUset || AIset > limits.MaxIset)
        return refuse(NameOf(AIndex) + ": the set points lie beyond the supply's limits (" +
                      FormatUnits(limits.MaxUset, 2) + " V, " +
                      FormatUnits(limits.MaxIset, limits.CurrentDecimals()) + " A)");
    std::vector<std::pair<int, TTrackChange>> followers;
    for (size_t p = 0; p < fPairs.size(); ++p) {
        const TPair& pair = fPairs[p];
        if (!pair.Active || pair.Leader != AIndex || !Connected(pair.Follower)) continue;
        TTrackChange change;
        const QString refusal = FollowerTarget(static_cast<int>(p), AUset, AIset, change);
        if (!refusal.isEmpty()) return refuse(refusal);
        followers.push_back({pair.Follower, change});
    }
    session->SetPoints(AUset, AIset);
    for (const auto& [unit, change] : followers)
        Session(unit)->SetPoints(change.Uset, change.Iset);
    return {};
}

QString TBenchCore::StartTracking(int APair) {
    TPair& pair = fPairs[APair];
    for (int unit : {pair.Leader, pair.Follower})
        if (!Connected(unit)) return NameOf(unit) + " is not connected";
    pair.Started = true;
    pair.Refused = 0;
    if (!pair.Active) {
        pair.Active = true;
        emit TrackingChanged(APair, true);
    }
    Follow(APair, false);
    return {};
}

void TBenchCore::StartPairsOf(int AIndex) {
    for (size_t p = 0; p < fPairs.size(); ++p) {
        const TPair& pair = fPairs[p];
        if (pair.Started || (pair.Leader != AIndex && pair.Follower != AIndex)) continue;
        if (Connected(pair.Leader) && Connected(pair.Follower)) StartTracking(static_cast<int>(p));
    }
}

void TBenchCore::EndPairsOf(int AIndex, const QString& AWhy) {
    for (size_t p = 0; p < fPairs.size(); ++p) {
        TPair& pair = fPairs[p];
        if (!pair.Active || (pair.Leader != AIndex && pair.Follower != AIndex)) continue;
        pair.Active = false;
        emit TrackingChanged(static_cast<int>(p), false);
        emit Message(NameOf(pair.Follower) + " no longer follows " + NameOf(pair.Leader) + ": " +
                     AWhy);
    }
}
