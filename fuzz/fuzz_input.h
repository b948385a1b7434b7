#pragma once
// Reads typed values off the front of a fuzzer's input; past the end every value is 0 and every
// byte run empty, so a target never needs to check the size itself.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

class TFuzzInput {
public:
    TFuzzInput(const uint8_t* AData, size_t ASize) : fData(AData), fSize(ASize) {}

    uint8_t Byte() { return fPos < fSize ? fData[fPos++] : 0; }
    uint16_t Word() { return static_cast<uint16_t>(Byte() << 8 | Byte()); }
    bool Bool() { return (Byte() & 1) != 0; }
    // At most AMax bytes (fewer at the end of the input).
    std::vector<uint8_t> Bytes(size_t AMax) {
        const size_t n = std::min(AMax, fSize - fPos);
        std::vector<uint8_t> out(fData + fPos, fData + fPos + n);
        fPos += n;
        return out;
    }
    // A length-prefixed run: one byte of length, then that many bytes.
    std::vector<uint8_t> Run() { return Bytes(Byte()); }
    std::vector<uint8_t> Rest() { return Bytes(fSize - fPos); }
    std::string RestText() {
        const std::vector<uint8_t> b = Rest();
        return std::string(b.begin(), b.end());
    }
    bool Empty() const { return fPos >= fSize; }

private:
    const uint8_t* fData;
    size_t fSize;
    size_t fPos = 0;
};

// Stops the run with a message when an invariant of the code under test does not hold (a
// crash is what the fuzzer and the corpus replay both report).
#define FUZZ_CHECK(cond)                                                                        \
    do {                                                                                        \
        if (!(cond)) {                                                                          \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)
