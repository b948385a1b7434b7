// The SCPI bridge's reading of a client's line: headers, paths, parameters, numbers and register
// masks, the error-queue entry made from what the client sent, and the status registers fed with
// the errors found.

#include "fuzz/fuzz_input.h"
#include "scpi/scpi_error_queue.h"
#include "scpi/scpi_parser.h"
#include "scpi/scpi_status.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    TFuzzInput in(AData, ASize);
    const QString line = QString::fromUtf8(in.RestText());
    TScpiStatus status;
    for (const TScpiUnit& u : ParseScpiLine(line)) {
        FUZZ_CHECK(u.Arg == u.Arg.trimmed());
        if (u.Error == seNone) {
            // Parameters are the argument's comma-separated parts, none of them empty.
            FUZZ_CHECK(u.Params.isEmpty() == u.Arg.isEmpty());
            for (const QString& p : u.Params)
                FUZZ_CHECK(!p.isEmpty() && p == p.trimmed());
        }
        status.ErrorQueued(u.Error);
        // An entry is one SCPI string of ASCII: every quote inside it is doubled.
        const QString entry = TScpiErrorQueue::Entry(u.Error, u.Header + " " + u.Arg);
        QString inner = entry.mid(entry.indexOf('"') + 1).chopped(1);
        FUZZ_CHECK(entry.endsWith('"') && !inner.replace("\"\"", "").contains('"'));
        for (QChar c : entry)
            FUZZ_CHECK(c.unicode() >= 32 && c.unicode() < 127);
        int error = seNone;
        if (const auto n = ParseScpiNumber(u.Arg, "V", error)) {
            FUZZ_CHECK(error == seNone);
            FUZZ_CHECK(n->Decimal.Whole < 1000000000u);
            for (QChar c : n->Decimal.Fraction)
                FUZZ_CHECK(c.isDigit());
            (void)ToUnits(n->Decimal, 3);
        } else {
            FUZZ_CHECK(error == seDataType || error == seNumericData || error == seInvalidSuffix ||
                       error == seDataOutOfRange);
        }
        error = seNone;
        if (const auto mask = ParseScpiMask(u.Arg, 255, error)) FUZZ_CHECK(*mask <= 255);
    }
    // Only the standard event bits of the errors can be set.
    FUZZ_CHECK((status.TakeEsr() & ~(kEsrQye | kEsrDde | kEsrExe | kEsrCme)) == 0);
    return 0;
}
