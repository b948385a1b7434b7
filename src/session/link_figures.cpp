#include "session/link_figures.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "link/connector_texts.h"
#include "link/modbus_errors.h"

namespace {

// Nearest-rank percentile of a sorted-on-demand copy, in milliseconds.
double Percentile(std::vector<int64_t>& AValues, double AFraction) {
    const size_t n = AValues.size();
    size_t rank = static_cast<size_t>(std::ceil(AFraction * static_cast<double>(n)));
    rank = std::clamp<size_t>(rank, 1, n);
    std::nth_element(AValues.begin(), AValues.begin() + static_cast<ptrdiff_t>(rank - 1),
                     AValues.end());
    return static_cast<double>(AValues[rank - 1]) / 1000.0;
}

QString Ms(double AMs) {
    return QString::number(AMs, 'f', AMs < 10 ? 1 : 0);
}

uint64_t Errors(const TLinkFigures& F) {
    return F.Timeouts + F.ChecksumErrors + F.LengthErrors + F.ExceptionReplies + F.OtherErrors;
}

}  // namespace

TMicroClock SteadyMicroClock() {
    return [] {
        using namespace std::chrono;
        return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    };
}

TLinkOutcome ClassifyResult(int32_t ACode) {
    if (ACode == 0) return loGood;
    if (ACode > 0) return loException;
    switch (ACode) {
        case mbeCRC:
            return loChecksum;
        case mbePacketLength:
        case mbeDataLength:
            return loLength;
        case mbeNoConnector:
        case mbeModbusLength:
        case mbeQueueFull:
        case mbeRuntime:
        case mbeNotActive:
        case MBTransportError(cerQueueOverflow):
        case MBTransportError(cerNotActive):
            return loNotSent;
        case MBTransportError(cerNoAnswer):
        case MBTransportError(cerReceiveTimeout):
        case mbeTimeout:
            return loTimeout;
        default:
            return loOther;
    }
}

TLinkStats::TLinkStats(TMicroClock AClock) : fClock(std::move(AClock)) {
    Reset();
}

void TLinkStats::Reset() {
    fFigures = {};
    fDone.clear();
    fRoundTrips.clear();
    fLastGood = -1;
    fEndedAt = -1;
    fStart = fClock();
}

void TLinkStats::RequestDone(int32_t ACode, int64_t ARoundTripUs, int64_t ADoneAt) {
    const TLinkOutcome outcome = ClassifyResult(ACode);
    if (outcome == loNotSent) return;
    const int64_t now = ADoneAt;
    ++fFigures.Requests;
    fDone.push_back(now);
    switch (outcome) {
        case loGood:
            ++fFigures.GoodReplies;
            fLastGood = now;
            if (ARoundTripUs >= 0) {
                fRoundTrips.emplace_back(now, ARoundTripUs);
                const auto& bounds = TLinkFigures::kRoundTripBoundsUs;
                const auto bucket =
                    std::lower_bound(bounds.begin(), bounds.end(), ARoundTripUs) - bounds.begin();
                ++fFigures.RoundTripBuckets[static_cast<size_t>(bucket)];
                ++fFigures.RoundTripCount;
                fFigures.RoundTripSumUs += ARoundTripUs;
            }
            break;
        case loTimeout:
            ++fFigures.Timeouts;
            break;
        case loChecksum:
            ++fFigures.ChecksumErrors;
            break;
        case loLength:
            ++fFigures.LengthErrors;
            break;
        case loException:
            ++fFigures.ExceptionReplies;
            break;
        default:
            ++fFigures.OtherErrors;
            break;
    }
    Trim(now);
}

void TLinkStats::Trim(int64_t ANow) const {
    while (!fDone.empty() && ANow - fDone.front() > kWindowUs)
        fDone.pop_front();
    while (!fRoundTrips.empty() && ANow - fRoundTrips.front().first > kWindowUs)
        fRoundTrips.pop_front();
}

TLinkFigures TLinkStats::Figures() const {
    const int64_t now = fEndedAt >= 0 ? fEndedAt : fClock();
    Trim(now);
    TLinkFigures f = fFigures;
    f.Ended = fEndedAt >= 0;
    // The rate over the last minute, or over the time since the start when that is shorter
    // (at least a tenth of a second, so the first replies do not read as thousands per second).
    const int64_t span = std::clamp<int64_t>(now - fStart, 100'000, kWindowUs);
    f.RequestsPerSecond = static_cast<double>(fDone.size()) * 1e6 / static_cast<double>(span);
    if (!fRoundTrips.empty()) {
        std::vector<int64_t> rtt;
        rtt.reserve(fRoundTrips.size());
        for (const auto& entry : fRoundTrips)
            rtt.push_back(entry.second);
        f.HaveRoundTrip = true;
        f.RoundTripMedianMs = Percentile(rtt, 0.5);
        f.RoundTripP99Ms = Percentile(rtt, 0.99);
    }
    f.SinceGoodMs = fLastGood < 0 ? -1 : (now - fLastGood) / 1000;
    return f;
}

QString LinkFiguresLine(const TLinkFigures& F) {
    QString line = (F.Ended ? QStringLiteral("ended: ") : QString()) +
                   QString::number(F.RequestsPerSecond, 'f', 0) + " req/s";
    if (F.HaveRoundTrip)
        line +=
            QStringLiteral(" · rtt %1/%2 ms").arg(Ms(F.RoundTripMedianMs), Ms(F.RoundTripP99Ms));
    const uint64_t errors = Errors(F);
    line += " · " + QString::number(errors) + (errors == 1 ? " error" : " errors");
    if (F.Reconnects > 0) line += " · " + QString::number(F.Reconnects) + " reconn.";
    return line;
}

QString LinkFiguresDetails(const TLinkFigures& F) {
    QStringList lines;
    if (F.Ended) lines << QStringLiteral("The session has ended: the figures are those of its end");
    lines << "Requests per second (last minute): " + QString::number(F.RequestsPerSecond, 'f', 1);
    if (F.HaveRoundTrip)
        lines << "Round trip median / 99th percentile: " + Ms(F.RoundTripMedianMs) + " / " +
                     Ms(F.RoundTripP99Ms) + " ms";
    else
        lines << "Round trip: no reply in the last minute";
    lines << "Requests: " + QString::number(F.Requests) + ", good replies " +
                 QString::number(F.GoodReplies);
    lines << "Time-outs: " + QString::number(F.Timeouts);
    lines << "Checksum errors: " + QString::number(F.ChecksumErrors);
    lines << "Length errors: " + QString::number(F.LengthErrors);
    lines << "Exception replies: " + QString::number(F.ExceptionReplies);
    lines << "Other failures: " + QString::number(F.OtherErrors);
    lines << "Reconnects: " + QString::number(F.Reconnects);
    lines << (F.SinceGoodMs < 0 ? QStringLiteral("Last good reply: none yet")
                                : "Last good reply: " + QString::number(F.SinceGoodMs) + " ms ago");
    return lines.join('\n');
}
