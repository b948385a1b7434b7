#include "tools/core/sweep_csv.h"

#include "tools/core/save_file.h"

QString SweepCsvRow(int AIndex, const TSweepPoint& APoint, uint32_t ACurrentDiv) {
    const bool milli = ACurrentDiv == 10;
    return QString::number(AIndex + 1) + "," + QString::number(APoint.Uset / 100.0, 'f', 2) + "," +
           QString::number(APoint.Iset / (100.0 * ACurrentDiv), 'f', milli ? 3 : 2) + "," +
           QString::number(APoint.Uout, 'f', 3) + "," +
           QString::number(APoint.Iout, 'f', milli ? 4 : 3) + "," +
           QString::number(APoint.Power, 'f', 3) + "," + (APoint.Cc ? "CC" : "CV") + "," +
           QString::number(APoint.Readings);
}

QByteArray SweepCsv(const std::vector<TSweepPoint>& APoints, uint32_t ACurrentDiv) {
    QByteArray text = QByteArray(kSweepCsvHeading) + "\n";
    for (size_t i = 0; i < APoints.size(); ++i)
        text += SweepCsvRow(static_cast<int>(i), APoints[i], ACurrentDiv).toUtf8() + "\n";
    return text;
}

QString SaveSweepCsv(const QString& APath, const std::vector<TSweepPoint>& APoints,
                     uint32_t ACurrentDiv) {
    return SaveFile(APath, SweepCsv(APoints, ACurrentDiv));
}
