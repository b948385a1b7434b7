#include "bridges/metrics_text.h"

#include <QStringList>
#include <cmath>

namespace {

QString Escaped(QString AText, bool AHelp) {
    AText.replace('\\', "\\\\").replace('\n', "\\n");
    if (!AHelp) AText.replace('"', "\\\"");
    return AText;
}

}  // namespace

QString TMetricsText::Number(double AValue) {
    if (std::isnan(AValue)) return "NaN";
    if (std::isinf(AValue)) return AValue > 0 ? "+Inf" : "-Inf";
    if (AValue == std::floor(AValue) && std::fabs(AValue) < 1e15)
        return QString::number(static_cast<long long>(AValue));
    return QString::number(AValue, 'g', 12);
}

QString TMetricsText::Labels(const TMetricLabels& ALabels) {
    if (ALabels.empty()) return {};
    QStringList parts;
    for (const auto& [name, value] : ALabels)
        parts << name + "=\"" + Escaped(value, false) + "\"";
    return "{" + parts.join(',') + "}";
}

TMetricsText::TFamily& TMetricsText::Family(const QString& AName, const QString& AHelp,
                                            const QString& AType) {
    for (TFamily& f : fFamilies)
        if (f.Name == AName) return f;
    fFamilies.push_back({AName, AHelp, AType, {}});
    return fFamilies.back();
}

void TMetricsText::Gauge(const QString& AName, const QString& AHelp, const TMetricLabels& ALabels,
                         double AValue) {
    Family(AName, AHelp, "gauge").Lines << AName + Labels(ALabels) + " " + Number(AValue);
}

void TMetricsText::Counter(const QString& AName, const QString& AHelp, const TMetricLabels& ALabels,
                           double AValue) {
    Family(AName, AHelp, "counter").Lines << AName + Labels(ALabels) + " " + Number(AValue);
}

void TMetricsText::Histogram(const QString& AName, const QString& AHelp,
                             const TMetricLabels& ALabels, const std::vector<double>& ABounds,
                             const std::vector<uint64_t>& ACounts, double ASum) {
    TFamily& f = Family(AName, AHelp, "histogram");
    uint64_t cumulative = 0;
    for (size_t i = 0; i <= ABounds.size(); ++i) {
        cumulative += i < ACounts.size() ? ACounts[i] : 0;
        TMetricLabels labels = ALabels;
        labels.emplace_back("le", i < ABounds.size() ? Number(ABounds[i]) : QString("+Inf"));
        f.Lines << AName + "_bucket" + Labels(labels) + " " +
                       Number(static_cast<double>(cumulative));
    }
    f.Lines << AName + "_sum" + Labels(ALabels) + " " + Number(ASum);
    f.Lines << AName + "_count" + Labels(ALabels) + " " + Number(static_cast<double>(cumulative));
}

QByteArray TMetricsText::Text() const {
    QString out;
    for (const TFamily& f : fFamilies) {
        out += "# HELP " + f.Name + " " + Escaped(f.Help, true) + "\n";
        out += "# TYPE " + f.Name + " " + f.Type + "\n";
        for (const QString& line : f.Lines)
            out += line + "\n";
    }
    return out.toUtf8();
}
