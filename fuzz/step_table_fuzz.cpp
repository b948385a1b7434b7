// The autotest's step table file and CSV step files as read from disk: any bytes give a table of
// 1..17 steps, a table written back reads as itself, and a CSV file either yields steps within
// their ranges or a line-numbered error.

#include "fuzz/fuzz_input.h"
#include "tools/core/step_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    TFuzzInput in(AData, ASize);
    const uint8_t mode = in.Byte();
    const std::vector<uint8_t> rest = in.Rest();
    const QByteArray bytes(reinterpret_cast<const char*>(rest.data()),
                           static_cast<qsizetype>(rest.size()));
    if ((mode & 1) == 0) {
        const TStepTable table = ParseTableFile(bytes);
        FUZZ_CHECK(table.Count >= 1 && table.Count <= kMaxSteps);
        FUZZ_CHECK(ParseTableFile(TableFileBytes(table)) == table);
        (void)CheckTableLimits(table, 5100, 1510);
        return 0;
    }
    const TStepFile file = ParseStepCsv(bytes);
    FUZZ_CHECK(file.Steps.size() <= size_t(kMaxSteps));
    for (const TStepLine& s : file.Steps)
        FUZZ_CHECK(s.Seconds <= kMaxStepSeconds && s.Line >= 1);
    if (!file.Error.isEmpty()) return 0;  // refused files never reach a table
    FUZZ_CHECK(!file.Steps.empty());
    TStepTable table;
    const QString error = StepFileToTable(file, 5100, 1510, (mode & 2) ? 10 : 1, table);
    if (error.isEmpty()) {
        FUZZ_CHECK(table.Count == int(file.Steps.size()));
        FUZZ_CHECK(CheckTableLimits(table, 5100, 1510).isEmpty());
    }
    return 0;
}
