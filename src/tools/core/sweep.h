#pragma once
// An I–V sweep without widgets: steps one set point (voltage or current) from FROM to TO, holds
// each point for the dwell and records its settled reading, the mean of the live readings taken
// in the last half of the dwell. The other set point is the compliance limit: the sweep stops at
// the first point where the supply regulates that quantity instead (CC in a voltage sweep, CV in
// a current sweep) or its reading reaches the limit. Driven by the session's live readings and
// a tick clock; no timers, no waiting. The output is switched on for the first point only after
// the supply shows that point's set values, and off again at the end.
//
//     TSweep sweep(core, plan);
//     connect(&sweep, &TSweep::PointRecorded, ...);   // sweep.Points()[index]
//     connect(&sweep, &TSweep::Finished, ...);
//     sweep.Start();

#include <QObject>
#include <QString>
#include <cstdint>
#include <vector>

#include "link/tick_clock.h"

class TSessionCore;

enum TSweepQuantity { sqVoltage, sqCurrent };

struct TSweepPlan {
    TSweepQuantity Quantity = sqVoltage;
    // The stepped set point in register units (0.01 V, or the model's current unit). The last
    // point is the last step that does not pass To.
    uint32_t From = 0;
    uint32_t To = 0;
    uint32_t Step = 1;
    // The other set point during the sweep, in its register units: the compliance limit.
    uint32_t Limit = 0;
    uint32_t DwellMs = 1000;
    // Longest wait for the supply to show a set point or an output switch before the sweep
    // gives up (the supply did not take it).
    uint32_t TakeTimeoutMs = 3000;

    std::vector<uint32_t> SetPoints() const;
    // The set voltage and current of a point of the stepped quantity.
    uint32_t Uset(uint32_t APoint) const { return Quantity == sqVoltage ? APoint : Limit; }
    uint32_t Iset(uint32_t APoint) const { return Quantity == sqVoltage ? Limit : APoint; }
};

// What the connected supply offers, in register units.
struct TSweepRange {
    uint32_t MaxUset = 0;
    uint32_t MaxIset = 0;
    uint32_t CurrentDiv = 1;
    // Input voltage (0.01 V); 0 when not known. The output reaches about Uin / 1.1.
    uint32_t Uin = 0;
};

// Why a plan cannot run on the supply (values in volts and amperes), empty when it can.
QString CheckSweepPlan(const TSweepPlan& APlan, const TSweepRange& ARange);

struct TSweepPoint {
    uint32_t Uset = 0;  // set points, register units
    uint32_t Iset = 0;
    double Uout = 0;  // settled means: volts, amperes, watts
    double Iout = 0;
    double Power = 0;
    bool Cc = false;   // the supply regulated the current (last settled reading)
    int Readings = 0;  // readings averaged
};

enum TSweepEnd {
    seNone,
    seCompleted,   // every point recorded
    seCompliance,  // stopped at the limit
    seOutputOff,   // the output went off at the supply (a protection trip)
    seNotTaken,    // the supply did not show a set point or switch in time
    seStopped,     // stopped by the owner (Ctrl-C, a window's Stop, a lost link)
};

class TSweep : public QObject {
    Q_OBJECT
public:
    TSweep(TSessionCore& ACore, const TSweepPlan& APlan,
           const TTickClock& AClock = SystemTickClock(), QObject* AParent = nullptr);
    ~TSweep() override;

    // Begins on a running session with the keys locked: an output that is on goes off first.
    void Start();
    // Ends at once with AWhy; an output this sweep may have left on is switched off through the
    // session (nothing is sent once the session has ended). Finished follows.
    void Stop(TSweepEnd AWhy = seStopped);

    bool Running() const { return fState != stIdle && fState != stDone; }
    // Something was written to the supply (the output switched or a set point sent).
    bool Began() const { return fBegan; }
    TSweepEnd End() const { return fEnd; }
    const TSweepPlan& Plan() const { return fPlan; }
    const std::vector<TSweepPoint>& Points() const { return fPoints; }
    // The index of the point being measured (the number recorded so far).
    int PointIndex() const { return static_cast<int>(fPoints.size()); }
    int PointCount() const { return static_cast<int>(fSetPoints.size()); }
    // The end in words: "every point recorded", "compliance: 0.200 A reached at 2.00 V" ...
    QString EndText() const;

signals:
    void PointRecorded(int AIndex);
    void Finished(TSweepEnd AEnd);

private:
    // stOutputOff: an output found on goes off first; stSetting: the first point's set values,
    // output off; stSwitchingOn; stSettling: the dwell; stNext: the next point's set values,
    // output on; stEnding: the output goes off at the end.
    enum TState {
        stIdle,
        stOutputOff,
        stSetting,
        stSwitchingOn,
        stSettling,
        stNext,
        stEnding,
        stDone
    };

    void Reading();
    void Wait(TState AState);
    void SendPoint();
    void BeginPoint(uint32_t ANow);
    void Settle(uint32_t ANow);
    void RecordPoint();
    void Finish(TSweepEnd AEnd);
    void Done();
    void SwitchOutput(bool AOn);
    bool OutputShowsOn() const;

    TSessionCore& fCore;
    TSweepPlan fPlan;
    const TTickClock& fClock;
    uint32_t fCurrentDiv;  // the model's current scale when the sweep was made
    std::vector<uint32_t> fSetPoints;
    std::vector<TSweepPoint> fPoints;
    TState fState = stIdle;
    TSweepEnd fEnd = seNone;
    bool fBegan = false;
    uint32_t fWaitStart = 0;   // when the current wait for the supply began
    uint32_t fPointStart = 0;  // the first reading that showed the point's set values
    // Settled readings of the point: sums in register units (power: their products).
    uint64_t fSumU = 0;
    uint64_t fSumI = 0;
    uint64_t fSumP = 0;
    int fCount = 0;
    bool fLastCc = false;
    QMetaObject::Connection fReadings;
};
