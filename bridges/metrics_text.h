#pragma once
// The Prometheus text exposition format (version 0.0.4): families of samples, each with its HELP
// and TYPE lines once, label values escaped, histograms as cumulative buckets with _sum and
// _count. Units are in the names and in base units (volts, amps, watts, seconds).
//
//     TMetricsText m;
//     m.Gauge("benchlord_output_voltage_volts", "Measured output voltage.", labels, 5.01);
//     reply.write(m.Text());

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

using TMetricLabels = std::vector<std::pair<QString, QString>>;

class TMetricsText {
public:
    void Gauge(const QString& AName, const QString& AHelp, const TMetricLabels& ALabels,
               double AValue);
    // AName ends in "_total".
    void Counter(const QString& AName, const QString& AHelp, const TMetricLabels& ALabels,
                 double AValue);
    // ABounds ascending (the +Inf bucket is added); ACounts per bucket, not cumulative, one
    // more than the bounds.
    void Histogram(const QString& AName, const QString& AHelp, const TMetricLabels& ALabels,
                   const std::vector<double>& ABounds, const std::vector<uint64_t>& ACounts,
                   double ASum);

    QByteArray Text() const;

    // "5", "0.125", "+Inf", "NaN" as the format writes them.
    static QString Number(double AValue);
    // {a="x",b="y\"z"}; empty without labels.
    static QString Labels(const TMetricLabels& ALabels);

private:
    struct TFamily {
        QString Name;
        QString Help;
        QString Type;
        QStringList Lines;
    };
    TFamily& Family(const QString& AName, const QString& AHelp, const QString& AType);
    std::vector<TFamily> fFamilies;
};
