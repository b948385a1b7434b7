// The command-line tool's value readers: decimals, durations, whole numbers, preset names.

#include "fuzz/fuzz_input.h"
#include "session/typed_values.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    TFuzzInput in(AData, ASize);
    const int decimals = in.Byte() % 4;
    const QString text = QString::fromUtf8(in.RestText());
    if (const auto value = ParseDecimal(text)) {
        const uint64_t units = ToUnits(*value, decimals);
        // The printed form of the rounded value reads back as the same number of units (unless
        // rounding carried it past the nine integer digits a value may have).
        uint64_t limit = 1000000000;
        for (int i = 0; i < decimals; ++i)
            limit *= 10;
        const auto again = ParseDecimal(FormatUnits(units, decimals));
        if (units < limit) FUZZ_CHECK(again && ToUnits(*again, decimals) == units);
    }
    if (const auto minutes = ParseHoursMinutes(text)) FUZZ_CHECK(*minutes <= 999999u);
    if (const auto whole = ParseWhole(text, 1, 1000)) FUZZ_CHECK(*whole >= 1 && *whole <= 1000);
    if (const auto preset = ParsePresetNumber(text)) FUZZ_CHECK(*preset < 20);
    return 0;
}
