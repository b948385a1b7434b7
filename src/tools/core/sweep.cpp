#include "tools/core/sweep.h"

#include <algorithm>

#include "session/session_core.h"

namespace {

QString Volts(uint32_t AUnits) {
    return QString::number(AUnits / 100.0, 'f', 2) + " V";
}

QString Amperes(uint32_t AUnits, uint32_t ACurrentDiv) {
    return QString::number(AUnits / (100.0 * ACurrentDiv), 'f', ACurrentDiv == 10 ? 3 : 2) + " A";
}

}  // namespace

std::vector<uint32_t> TSweepPlan::SetPoints() const {
    std::vector<uint32_t> points;
    if (Step == 0) return points;
    const uint32_t span = From <= To ? To - From : From - To;
    const uint32_t count = span / Step + 1;
    points.reserve(count);
    for (uint32_t k = 0; k < count; ++k)
        points.push_back(From <= To ? From + k * Step : From - k * Step);
    return points;
}

QString CheckSweepPlan(const TSweepPlan& APlan, const TSweepRange& ARange) {
    const bool voltage = APlan.Quantity == sqVoltage;
    const uint32_t max = voltage ? ARange.MaxUset : ARange.MaxIset;
    const uint32_t otherMax = voltage ? ARange.MaxIset : ARange.MaxUset;
    const auto text = [&](uint32_t AUnits, bool AVoltage) {
        return AVoltage ? Volts(AUnits) : Amperes(AUnits, ARange.CurrentDiv);
    };
    const QString quantity = voltage ? "voltage" : "current";
    const QString other = voltage ? "current" : "voltage";
    for (const uint32_t value : {APlan.From, APlan.To})
        if (value > max)
            return text(value, voltage) + " is above the highest set " + quantity + ", " +
                   text(max, voltage);
    if (APlan.Step == 0) return "the step must be at least " + text(1, voltage);
    if (APlan.Limit == 0 || APlan.Limit > otherMax)
        return "the " + other + " limit " + text(APlan.Limit, !voltage) + " is outside " +
               text(1, !voltage) + " to " + text(otherMax, !voltage);
    if (APlan.DwellMs == 0) return "the dwell must be longer than 0 s";
    // The regulator needs about a tenth of the output as headroom on its input. (A current
    // sweep's voltage limit is only a ceiling: one the input cannot reach does no harm.)
    const uint32_t highest = std::max(APlan.From, APlan.To);
    if (voltage && ARange.Uin != 0 && highest * 11 > ARange.Uin * 10)
        return "the input voltage " + Volts(ARange.Uin) + " gives at most " +
               Volts(ARange.Uin * 10 / 11) + " at the output, not " + Volts(highest);
    return {};
}

TSweep::TSweep(TSessionCore& ACore, const TSweepPlan& APlan, const TTickClock& AClock,
               QObject* AParent)
    : QObject(AParent),
      fCore(ACore),
      fPlan(APlan),
      fClock(AClock),
      fCurrentDiv(ACore.Limits().CurrentDiv),
      fSetPoints(APlan.SetPoints()) {}

TSweep::~TSweep() {
    disconnect(fReadings);
}

void TSweep::Start() {
    if (fState != stIdle) return;
    fReadings = connect(&fCore, &TSessionCore::LiveReading, this, &TSweep::Reading);
    if (fSetPoints.empty()) {
        Finish(seCompleted);
        return;
    }
    if (OutputShowsOn()) {
        SwitchOutput(false);
        Wait(stOutputOff);
    } else {
        SendPoint();
        Wait(stSetting);
    }
}

void TSweep::Stop(TSweepEnd AWhy) {
    if (!Running()) return;
    fEnd = AWhy;
    if (fBegan && OutputShowsOn()) SwitchOutput(false);
    Done();
}

QString TSweep::EndText() const {
    const QString at = "point " + QString::number(PointIndex() + 1);
    switch (fEnd) {
        case seCompleted:
            return "all " + QString::number(fPoints.size()) + " points recorded";
        case seCompliance: {
            const TSweepPoint& p = fPoints.back();
            const int decimals = fCurrentDiv == 10 ? 4 : 3;
            if (fPlan.Quantity == sqVoltage)
                return "compliance at " + Volts(p.Uset) + ": " +
                       QString::number(p.Iout, 'f', decimals) + " A reached the current limit of " +
                       Amperes(p.Iset, fCurrentDiv) + (p.Cc ? " (CC)" : "");
            return "compliance at " + Amperes(p.Iset, fCurrentDiv) + ": " +
                   QString::number(p.Uout, 'f', 3) + " V reached the voltage limit of " +
                   Volts(p.Uset) + (p.Cc ? "" : " (CV)");
        }
        case seOutputOff:
            return "the output went off during " + at;
        case seNotTaken:
            return "the supply did not take the set values of " + at;
        case seStopped:
            return "stopped during " + at;
        case seNone:
            break;
    }
    return {};
}

void TSweep::Reading() {
    if (!Running()) return;
    const uint32_t now = fClock.TickCount();
    const bool on = fCore.Data().ONOFF != 0;
    // Whether this reading shows the set values of the point under way.
    const auto shown = [this] {
        const uint32_t point = fSetPoints[std::min(fPoints.size(), fSetPoints.size() - 1)];
        return fCore.ReadingShowsSetValues(fPlan.Uset(point), fPlan.Iset(point));
    };
    switch (fState) {
        case stOutputOff:
            if (!on) {
                SendPoint();
                Wait(stSetting);
                return;
            }
            break;
        case stSetting:
            // The output goes on only once the supply holds the first point's set values.
            if (!on && shown()) {
                SwitchOutput(true);
                Wait(stSwitchingOn);
                return;
            }
            break;
        case stSwitchingOn:
            if (on && shown()) {
                BeginPoint(now);
                return;
            }
            // Off after the switch-on was answered: a protection tripped at once.
            if (!on && fCore.WriteOnOffAccepted()) {
                Finish(seOutputOff);
                return;
            }
            break;
        case stNext:
            if (on && shown()) {
                BeginPoint(now);
                return;
            }
            if (!on) {
                Finish(seOutputOff);
                return;
            }
            break;
        case stSettling:
            if (!on) {
                Finish(seOutputOff);
                return;
            }
            Settle(now);
            return;
        case stEnding:
            if (!on) {
                Done();
                return;
            }
            break;
        case stIdle:
        case stDone:
            return;
    }
    if (now - fWaitStart > fPlan.TakeTimeoutMs) {
        if (fState == stEnding)
            Done();
        else
            Finish(seNotTaken);
    }
}

void TSweep::Wait(TState AState) {
    fState = AState;
    fWaitStart = fClock.TickCount();
}

void TSweep::SendPoint() {
    fBegan = true;
    const uint32_t point = fSetPoints[fPoints.size()];
    fSumU = fSumI = fSumP = 0;
    fCount = 0;
    fCore.SetPoints(fPlan.Uset(point), fPlan.Iset(point));
}

void TSweep::BeginPoint(uint32_t ANow) {
    // The dwell counts from the first reading that shows the point's set values.
    fPointStart = ANow;
    fState = stSettling;
    Settle(ANow);
}

void TSweep::Settle(uint32_t ANow) {
    const uint32_t elapsed = ANow - fPointStart;
    // The last half of the dwell: what the output settled to after the step.
    if (2 * uint64_t{elapsed} >= fPlan.DwellMs) {
        const TCurrentSet& d = fCore.Data();
        fSumU += d.UOUT;
        fSumI += d.IOUT;
        // Power from the two readings, finer than the supply's 0.01 W.
        fSumP += uint64_t{d.UOUT} * d.IOUT;
        ++fCount;
        fLastCc = d.CVCC == 1;
    }
    if (elapsed >= fPlan.DwellMs) RecordPoint();
}

void TSweep::RecordPoint() {
    const uint32_t setPoint = fSetPoints[fPoints.size()];
    TSweepPoint p;
    p.Uset = fPlan.Uset(setPoint);
    p.Iset = fPlan.Iset(setPoint);
    p.Readings = fCount;
    p.Uout = static_cast<double>(fSumU) / fCount / 100.0;
    p.Iout = static_cast<double>(fSumI) / fCount / (100.0 * fCurrentDiv);
    p.Power = static_cast<double>(fSumP) / fCount / (10000.0 * fCurrentDiv);
    p.Cc = fLastCc;
    fPoints.push_back(p);
    const int index = static_cast<int>(fPoints.size()) - 1;
    emit PointRecorded(index);
    if (fState != stSettling) return;  // stopped by a receiver
    // Compliance: the supply regulates the other quantity, or its reading reached the limit.
    const bool compliance =
        fPlan.Quantity == sqVoltage
            ? fLastCc || fSumI >= uint64_t{fPlan.Limit} * static_cast<uint64_t>(fCount)
            : !fLastCc || fSumU >= uint64_t{fPlan.Limit} * static_cast<uint64_t>(fCount);
    if (compliance) {
        Finish(seCompliance);
    } else if (fPoints.size() == fSetPoints.size()) {
        Finish(seCompleted);
    } else {
        SendPoint();
        Wait(stNext);
    }
}

void TSweep::Finish(TSweepEnd AEnd) {
    fEnd = AEnd;
    if (fBegan && OutputShowsOn()) {
        SwitchOutput(false);
        Wait(stEnding);
        return;
    }
    Done();
}

void TSweep::Done() {
    fState = stDone;
    disconnect(fReadings);
    emit Finished(fEnd);
}

void TSweep::SwitchOutput(bool AOn) {
    fBegan = true;
    // The session's button toggles its own view of the output; when that view already shows
    // the wanted state, toggling twice makes the job write it all the same.
    if (fCore.PowerOn() == AOn) fCore.OnOffBtnClick();
    fCore.OnOffBtnClick();
}

bool TSweep::OutputShowsOn() const {
    return fCore.PowerOn() || fCore.Data().ONOFF != 0;
}
