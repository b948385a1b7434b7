#pragma once
// Health figures of a session's link: how many requests go out, how long their replies take and
// how often they fail, by kind. The session feeds every completed request into TLinkStats;
// window, command line and tests read TLinkFigures from it. Runs on the user-interface thread.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>

// A monotonic time in microseconds.
using TMicroClock = std::function<int64_t()>;
// The steady clock.
TMicroClock SteadyMicroClock();

// How a completed request ended.
enum TLinkOutcome {
    loGood,       // a valid reply
    loTimeout,    // no (whole) reply within the time-outs, or the peer closed the line
    loChecksum,   // CRC or LRC wrong
    loLength,     // reply shorter than its frame or its data says
    loException,  // the device answered with an exception code
    loOther,      // not sent (not connected, send failure), wrong transaction id or function
    loNotSent,    // cancelled or refused before reaching the line: not counted
};
// Outcome of a Modbus completion code.
TLinkOutcome ClassifyResult(int32_t ACode);

struct TLinkFigures {
    double RequestsPerSecond = 0;  // completed requests per second over the last minute
    bool HaveRoundTrip = false;    // a good reply came in the last minute
    double RoundTripMedianMs = 0;  // over the good replies of the last minute
    double RoundTripP99Ms = 0;
    uint64_t Requests = 0;  // completed since the figures started
    uint64_t GoodReplies = 0;
    uint64_t Timeouts = 0;
    uint64_t ChecksumErrors = 0;
    uint64_t LengthErrors = 0;
    uint64_t ExceptionReplies = 0;
    uint64_t OtherErrors = 0;
    uint64_t Reconnects = 0;  // the link was lost and came back
    // Every measured round trip since the start, by upper bound (the last bucket takes the
    // rest), and their sum: a histogram for scrapers.
    static constexpr std::array<int64_t, 10> kRoundTripBoundsUs{
        500, 1000, 2000, 5000, 10'000, 20'000, 50'000, 100'000, 200'000, 500'000};
    std::array<uint64_t, kRoundTripBoundsUs.size() + 1> RoundTripBuckets{};
    uint64_t RoundTripCount = 0;
    int64_t RoundTripSumUs = 0;
    int64_t SinceGoodMs = -1;  // since the last good reply; -1: none yet
    // The session has ended: every figure is as it was at its end (the rate too).
    bool Ended = false;
};

class TLinkStats {
public:
    explicit TLinkStats(TMicroClock AClock = SteadyMicroClock());

    // Starts the figures afresh (a new connection by the user).
    void Reset();
    // This clock's time.
    int64_t Now() const { return fClock(); }
    // A request completed with the Modbus result code ACode at ADoneAt (this clock). A good
    // reply's ARoundTripUs (from the request's last byte written to the reply's last byte read,
    // as the link measured it) goes into the round-trip figures; below 0: not known.
    void RequestDone(int32_t ACode, int64_t ARoundTripUs, int64_t ADoneAt);
    void Reconnected() { ++fFigures.Reconnects; }
    // The session ended: the figures stay those of its end until Reset, or Resume (the link
    // came back and the session goes on).
    void End() {
        if (fEndedAt < 0) fEndedAt = fClock();
    }
    void Resume() { fEndedAt = -1; }
    TLinkFigures Figures() const;

    // Window of the rate and the round-trip percentiles.
    static constexpr int64_t kWindowUs = 60'000'000;

private:
    void Trim(int64_t ANow) const;

    TMicroClock fClock;
    int64_t fStart = 0;
    int64_t fLastGood = -1;
    int64_t fEndedAt = -1;
    TLinkFigures fFigures;
    // Completion times of the last minute, and the round trips of its good replies.
    mutable std::deque<int64_t> fDone;
    mutable std::deque<std::pair<int64_t, int64_t>> fRoundTrips;  // (completed, microseconds)
};

// "175 req/s · rtt 0.4/1.2 ms · 0 errors": the compact line of the connection panel; "ended: "
// before it once the session has ended.
QString LinkFiguresLine(const TLinkFigures& AFigures);
// Every figure, one per line (the panel's tooltip, the command line's summary).
QString LinkFiguresDetails(const TLinkFigures& AFigures);
