#pragma once
// The points of a sweep as CSV, one row per point:
//   point,uset,iset,uout,iout,power,mode,readings
// point counts from 1; uset and iset are the set points (volts, amperes at the model's
// resolution); uout, iout and power the settled means with one decimal more than the supply
// shows; mode CV or CC; readings the number averaged.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

#include "tools/core/sweep.h"

inline constexpr char kSweepCsvHeading[] = "point,uset,iset,uout,iout,power,mode,readings";

QString SweepCsvRow(int AIndex, const TSweepPoint& APoint, uint32_t ACurrentDiv);
QByteArray SweepCsv(const std::vector<TSweepPoint>& APoints, uint32_t ACurrentDiv);

// Writes the CSV through SaveFile (a whole new file renamed over the old one; symbolic links
// followed, special files refused). An error text, empty on success.
QString SaveSweepCsv(const QString& APath, const std::vector<TSweepPoint>& APoints,
                     uint32_t ACurrentDiv);
