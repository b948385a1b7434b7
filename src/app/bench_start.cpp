#include "app/bench_start.h"

#include "tools/core/save_file.h"

namespace {

// A bench of 32 supplies is a few kilobytes; anything far larger is not a bench file.
constexpr qint64 kMaxBenchFileBytes = 1 << 20;

}  // namespace

TBenchParse LoadBenchFile(const QString& APath) {
    TBenchParse result;
    QByteArray text;
    const QString problem =
        ReadInputFile(APath, kMaxBenchFileBytes, QStringLiteral("a bench file"), text);
    if (!problem.isEmpty()) {
        result.Error = APath + ": " + problem;
        return result;
    }
    result = ParseBenchFile(text);
    if (!result.Error.isEmpty()) result.Error = APath + ": " + result.Error;
    return result;
}

TBenchFile DemoBench(const std::vector<uint16_t>& APorts) {
    static const char* const kNames[] = {"+12 V", "logic", "motor", "heater"};
    // logic first, then +12 V, motor and heater.
    static const int kOrders[] = {2, 1, 3, 4};
    TBenchFile bench;
    for (size_t i = 0; i < APorts.size() && i < std::size(kNames); ++i) {
        TBenchSupply s;
        s.Name = QString::fromLatin1(kNames[i]);
        s.Link.TcpHost = QStringLiteral("127.0.0.1");
        s.Link.TcpPort = APorts[i];
        s.Order = kOrders[i];
        s.DelayMs = s.Order == 1 ? 0 : 500;
        bench.Supplies.push_back(s);
    }
    return bench;
}
