// Reply validation and decoding of ASCII frames, as the master applies them to a received reply.

#include "fuzz/modbus_reply_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    return FuzzModbusReply(mbtASCII, AData, ASize);
}
