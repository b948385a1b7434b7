#include "app/bench_start.h"

#include <QFile>
#include <QFileInfo>

namespace {

// A bench of 32 supplies is a few kilobytes; anything far larger is not a bench file.
constexpr qint64 kMaxBenchFileBytes = 1 << 20;

}  // namespace

TBenchParse LoadBenchFile(const QString& APath) {
    TBenchParse result;
    const QFileInfo info(APath);
    // Only a regular file: a pipe or a device would block or never end.
    QString problem;
    if (!info.exists())
        problem = QStringLiteral("no such file");
    else if (!info.isFile())
        problem = QStringLiteral("not a regular file");
    else if (info.size() > kMaxBenchFileBytes)
        problem = QStringLiteral("larger than a bench file can be (1 MiB)");
    QByteArray text;
    if (problem.isEmpty()) {
        QFile file(APath);
        if (!file.open(QIODevice::ReadOnly))
            problem = file.errorString();
        else
            text = file.read(kMaxBenchFileBytes + 1);
        if (problem.isEmpty() && file.error() != QFileDevice::NoError) problem = file.errorString();
    }
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
