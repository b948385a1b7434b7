#pragma once
// The results of the commands as fields (text lines or JSON) and as CSV rows, from the session's
// records. Voltages have two decimals, currents the model's decimals, powers two (over-power
// limits one), counters two.

#include <QString>
#include <cstdint>

#include "cli/cli_output.h"
#include "device/device_records.h"

class TSessionCore;
struct TLinkFigures;
struct TReadingRow;

// "ver_18" ... "ver_New".
QString VersionClassName(TVersion AVersion);
// "" for 0, "OVP" ... "EPR", "E12" for unknown codes (messages).
QString ProtectLabel(uint32_t ACode);

TFields InfoFields(TSessionCore& ACore);
TFields ReadingFields(TSessionCore& ACore);
TFields SetValueFields(TSessionCore& ACore);
TFields OutputFields(TSessionCore& ACore);

// A watch row as fields for JSON lines: the columns of the readings CSV
// (tools/core/readings_csv.h), the time as CsvTimestamp.
TFields WatchFields(const TReadingRow& ARow, int ACurrentDecimals);

// The link figures (watch --stats, stats): rates, round trip (null without a reply in the last
// minute), counters and the age of the last good reply (null before the first).
TFields LinkFields(const TLinkFigures& AFigures);
// One line of them for standard error.
QString LinkSummary(const TLinkFigures& AFigures);

// One preset block.
TFields PresetFields(uint32_t ANum, const TMemorySet& ABlock, bool ASelected, TVersion AVersion,
                     int ACurrentDecimals);
