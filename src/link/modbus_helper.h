#pragma once
// The request helper: turns one request record into a frame, queues it on the master's
// connector and, when the connector hands the exchange back, checks and decodes the reply and
// calls the request's completion handler exactly once.
//
// Result codes reaching completion handlers: 0 success; 1..255 device exception code; -1..-99
// processing errors (see modbus_errors.h); connector failure c as -100 - c (-102 not connected,
// -104 no answer, -106 receive time-out, -107 dropped on deactivation, ...). Transport failures
// are shifted so that they never read as a device exception.
//
// Everything here runs on the user-interface thread.

#include <cstdint>
#include <memory>
#include <string_view>

#include "link/kr_types.h"

class TKRModbusMaster;

class TKRMB_Helper {
public:
    explicit TKRMB_Helper(TKRModbusMaster* AModbus);
    ~TKRMB_Helper();
    TKRMB_Helper(const TKRMB_Helper&) = delete;
    TKRMB_Helper& operator=(const TKRMB_Helper&) = delete;

    // Sends an accepted request with the routine of its frame type. A record of an unknown
    // frame type cannot be framed and completes at once with -6.
    void Dispatch(std::unique_ptr<TMBPack> APack);
    void DoRTU(std::unique_ptr<TMBPack> APack);
    void DoTCP(std::unique_ptr<TMBPack> APack);
    void DoASCII(std::unique_ptr<TMBPack> APack);

    // The connector's completion of one exchange. Takes ownership of APack (a `new TKRBuffer`)
    // and AData (the request's `new TMBPack`) and releases both, even when the request's
    // handler throws.
    void _CallBack(int32_t AError, PKRBuffer APack, int32_t ALength, void* AData);

    bool CheckID() const { return FCheckID; }
    void SetCheckID(bool Value) { FCheckID = Value; }
    // The transaction counter that the next TCP request will carry (while CheckID is on).
    uint8_t TransactionID() const { return F_ID; }

private:
    void Send(TMBType AType, std::unique_ptr<TMBPack> APack, std::string_view ARoutine);
    // Checks and decodes one reply to ARequest and calls its handler.
    void Finish(int32_t AError, const TKRBuffer* ABuf, int32_t ALength, TMBPack& ARequest);
    // Calls the record's handler (when set) with no data; a throwing handler is reported under
    // ARoutine.
    void Complete(TMBPack& APack, int32_t AError, std::string_view ARoutine);
    void ReportRuntimeError(std::string_view ARoutine, const std::exception& AException);

    uint8_t F_ID = 0;  // TCP transaction counter, wraps from 255 to 0
    bool FCheckID = true;
    TKRModbusMaster* const FModbus;
    // Expires with the helper; completions arriving later only release their buffers.
    std::shared_ptr<char> FAlive;
};
