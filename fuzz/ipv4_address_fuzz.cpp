// The strict dotted IPv4 reader shared by the window and the command-line tool, and the socket
// layer's reader of the address it dials. Both callers hand the connector the canonical form of
// what the strict reader accepted: that form must read back the same and dial exactly those
// octets.

#include "fuzz/fuzz_input.h"
#include "link/ipv4_address.h"
#include "link/sockets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    const std::string text(reinterpret_cast<const char*>(AData), ASize);
    uint32_t dialled = 0;
    (void)KRParseIPv4(text, dialled);
    const auto octets = ParseIPv4(text);
    if (!octets) return 0;
    const std::string canonical = FormatIPv4(*octets);
    FUZZ_CHECK(canonical.size() >= 7 && canonical.size() <= 15);
    FUZZ_CHECK(ParseIPv4(canonical) == octets);
    FUZZ_CHECK(KRParseIPv4(canonical, dialled));
    const auto* b = reinterpret_cast<const uint8_t*>(&dialled);  // network byte order
    FUZZ_CHECK(b[0] == (*octets)[0] && b[1] == (*octets)[1] && b[2] == (*octets)[2] &&
               b[3] == (*octets)[3]);
    return 0;
}
