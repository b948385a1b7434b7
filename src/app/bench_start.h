#pragma once
// How the program opens a bench: the bench file named on the command line, or the demo's bench
// of virtual supplies of different models.

#include <QString>
#include <cstdint>
#include <vector>

#include "tools/core/bench_file.h"

// Reads the bench file APath (a regular file, or a link to one); the error names the file and
// the line at fault.
TBenchParse LoadBenchFile(const QString& APath);

// The models of the demo's supplies, in the bench's order, and their names.
inline constexpr uint16_t kDemoBenchModels[] = {5015, 3005, 5005, 3012};

// A bench of the demo's supplies served on 127.0.0.1 at APorts: "+12 V" (a DPS5015), "logic"
// (a DPS3005), then "motor" and "heater"; logic is switched first, the others each half a
// second after the one before.
TBenchFile DemoBench(const std::vector<uint16_t>& APorts);
