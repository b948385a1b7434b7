// The SCPI bridge's reading of a client's line: headers, paths, parameters and numbers, and the
// error-queue entry made from what the client sent.

#include "cli/scpi_error_queue.h"
#include "cli/scpi_parser.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    TFuzzInput in(AData, ASize);
    const QString line = QString::fromUtf8(in.RestText());
    for (const TScpiUnit& u : ParseScpiLine(line)) {
        FUZZ_CHECK(u.Arg == u.Arg.trimmed());
        // An entry is one SCPI string: every quote inside it is doubled.
        const QString entry = TScpiErrorQueue::Entry(u.Error, u.Header + " " + u.Arg);
        QString inner = entry.mid(entry.indexOf('"') + 1).chopped(1);
        FUZZ_CHECK(entry.endsWith('"') && !inner.replace("\"\"", "").contains('"'));
        int error = seNone;
        if (const auto n = ParseScpiNumber(u.Arg, "V", error)) {
            FUZZ_CHECK(error == seNone);
            FUZZ_CHECK(n->Decimal.Whole < 1000000000u);
            for (QChar c : n->Decimal.Fraction)
                FUZZ_CHECK(c.isDigit());
            (void)ToUnits(n->Decimal, 3);
        } else {
            FUZZ_CHECK(error == seDataType || error == seDataOutOfRange);
        }
    }
    return 0;
}
