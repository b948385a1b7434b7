#pragma once
// Text forms of the fixed-point value cells (set points, readings, counters) and the small
// scanner used to read an address typed by the operator.

#include <QString>
#include <cstdint>
#include <string_view>

// The unsigned value with pointPos - 1 decimals: 1234 with 3 gives "12.34", 5 with 3 "0.05",
// 5000 with 4 "5.000". Values of 1000000 and more widen the first group ("1234.56" with 3).
// A point position of 0 is read as 1 (integer) so a value never formats to an empty text.
QString FormatFixedPoint(uint32_t value, uint32_t pointPos);

// A minute count as hours, a colon and two minute digits: 0 gives "0:00", 90 "1:30",
// 5999 "99:59".
QString FormatHoursMinutes(uint32_t minutes);

// Reads up to `count` integers from `text` as `format` says and returns how many it converted.
// Format characters: "%d" skips spaces, then converts the longest run of '+', '-' and digits (an
// empty or malformed run, or one outside the 32-bit range, stops the scan); a space is skipped;
// any other character is searched for forward in the text and consumed, and the scan stops when
// it is missing or nothing follows it. The last character of the format is never matched as a
// literal. Used with "%d.%d.%d.%d" to read an IP address.
int ScanFormatted(std::string_view text, std::string_view format, int32_t* targets, int count);
int ScanFormatted(const QString& text, const QString& format, int32_t* targets, int count);
