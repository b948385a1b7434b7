#pragma once
// Shared body of the three reply targets: a request record built from the first bytes, the rest
// taken as the reply received for it, checked and decoded as the master does.

#include <algorithm>

#include "fuzz/fuzz_input.h"
#include "link/kr_crc.h"
#include "link/modbus_decode.h"
#include "link/modbus_errors.h"
#include "link/modbus_frames.h"
#include "link/modbus_reply_end.h"

inline int FuzzModbusReply(TMBType AType, const uint8_t* AData, size_t ASize) {
    TFuzzInput in(AData, ASize);
    static constexpr uint8_t kFunctions[] = {1, 2, 3, 4, 5, 6, 7, 15, 16};
    const uint8_t pick = in.Byte();
    TMBPack request;
    request.MBType = AType;
    request.MBFunc = pick < 9 * 16 ? kFunctions[pick % 9] : static_cast<uint8_t>(pick & 0x7F);
    request.Addres = in.Byte();
    request.Start = in.Word();
    request.Count = in.Word();
    request.id = in.Byte();
    const bool checkId = in.Bool();
    const std::vector<uint8_t> reply = in.Rest();

    // The same reply in buffers that differ only past its end: the results must agree, since
    // nothing may read beyond the bytes received.
    TKRBuffer clean{}, noisy;
    noisy.fill(0xA5);
    const size_t n = std::min(reply.size(), clean.size());
    std::copy_n(reply.begin(), n, clean.begin());
    std::copy_n(reply.begin(), n, noisy.begin());
    const auto length = static_cast<int32_t>(n);

    TMBReplyData a, b;
    const int32_t ra = CheckAndDecodeReply(request, checkId, clean, length, a);
    const int32_t rb = CheckAndDecodeReply(request, checkId, noisy, length, b);
    FUZZ_CHECK(ra == rb);
    FUZZ_CHECK(a.Kind == b.Kind && a.Registers == b.Registers && a.Bytes == b.Bytes &&
               a.Status == b.Status);
    FUZZ_CHECK(ra == 0 || (ra >= -12 && ra < 0) || (ra > 0 && ra <= 255));
    if (ra != 0) FUZZ_CHECK(a.Ptr() == nullptr);
    if (ra == 0) {  // success only for a reply that is no exception
        TMBReplyBody body;
        if (ExtractReplyBody(AType, clean.data(), length, body) == 0)
            FUZZ_CHECK((body.Bytes[1] & 0x80) == 0);
    }
    // Decoded data never exceeds what the reply could carry.
    FUZZ_CHECK(a.Bytes.size() <= n && a.Registers.size() <= n / 2 + 1);

    // The end-of-reply test agrees with the check for exceptions it recognises.
    if (const TKRReplyComplete complete = ModbusReplyComplete(AType)) {
        const bool whole = complete(clean.data(), length);
        FUZZ_CHECK(whole == complete(noisy.data(), length));
        if (AType == mbtRTU && whole && length == 5 && (clean[1] & 0x7F) == request.MBFunc)
            FUZZ_CHECK(ra == (clean[2] != 0 ? clean[2] : int32_t(mbeFunction)));
    }

    // A request framed for this record, and the reply check on the request's own bytes.
    TKRBuffer frame{};
    uint8_t recvLen = 0;
    const std::vector<uint8_t> values = in.Run();
    request.Data.assign(values.begin(), values.end());
    request.DataBt = values;
    request.Count = std::min<uint16_t>(request.Count, 300);
    request.uData = values.empty() ? nullptr : values.data();
    if (request.MBFunc > 16 || request.MBFunc == 0) request.Count = values.size();
    const uint8_t frameLen = BuildPackFrame(request, frame, recvLen);
    if (frameLen != 0) {
        TMBReplyData c;
        CheckAndDecodeReply(request, checkId, frame, frameLen, c);
    }
    return 0;
}
