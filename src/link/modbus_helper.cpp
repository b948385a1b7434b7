#include "link/modbus_helper.h"

#include <exception>
#include <utility>

#include "link/connector.h"
#include "link/modbus_decode.h"
#include "link/modbus_errors.h"
#include "link/modbus_frames.h"
#include "link/modbus_master.h"
#include "link/modbus_reply_end.h"
#include "link/runtime_errors.h"

namespace {
// End of an ASCII reply: CR LF, the last received byte in the lowest 8 bits.
constexpr uint32_t kASCIIDelimiter = 0x0D0A;
constexpr int32_t kASCIIDelimiterLen = 2;
}  // namespace

TKRMB_Helper::TKRMB_Helper(TKRModbusMaster* AModbus)
    : FModbus(AModbus), FAlive(std::make_shared<char>(0)) {}

TKRMB_Helper::~TKRMB_Helper() = default;

void TKRMB_Helper::Dispatch(std::unique_ptr<TMBPack> APack) {
    switch (APack->MBType) {
        case mbtRTU:
            DoRTU(std::move(APack));
            break;
        case mbtTCP:
            DoTCP(std::move(APack));
            break;
        case mbtASCII:
            DoASCII(std::move(APack));
            break;
        default:
            // No framing exists for this type; the handler still hears of the request once.
            Complete(*APack, mbeModbusLength, krre::kMasterCallBack);
            break;
    }
}

void TKRMB_Helper::DoRTU(std::unique_ptr<TMBPack> APack) {
    Send(mbtRTU, std::move(APack), krre::kMasterDoRTU);
}

void TKRMB_Helper::DoTCP(std::unique_ptr<TMBPack> APack) {
    Send(mbtTCP, std::move(APack), krre::kMasterDoTCP);
}

void TKRMB_Helper::DoASCII(std::unique_ptr<TMBPack> APack) {
    Send(mbtASCII, std::move(APack), krre::kMasterDoASCII);
}

void TKRMB_Helper::Send(TMBType AType, std::unique_ptr<TMBPack> APack, std::string_view ARoutine) {
    try {
        APack->MBType = AType;
        auto buf = std::make_unique<TKRBuffer>();
        uint8_t recvLen = 0;
        const uint8_t frameLen = BuildPackFrame(*APack, *buf, recvLen);
        if (frameLen == 0) {
            // Frame or expected reply beyond 8 bits, or a raw frame without its buffer.
            Complete(*APack, mbeModbusLength, ARoutine);
            return;
        }
        if (AType == mbtTCP && FCheckID) {
            APack->id = F_ID;
            (*buf)[0] = F_ID;
            ++F_ID;
        }
        TKRConnector* connector = FModbus->Connector();
        if (connector == nullptr) {
            Complete(*APack, mbeNoConnector, ARoutine);
            return;
        }
        const bool ascii = AType == mbtASCII;
        const bool repeat = APack->Repeat;
        TKRConnectorCallBack done;
        void* data = nullptr;
        if (repeat) {
            // Every round of a repetition decodes against the same request, shared by the
            // rounds' copies of this handler and released with the last of them.
            std::shared_ptr<TMBPack> request(APack.release());
            done = [this, alive = std::weak_ptr<char>(FAlive), request](
                       int32_t AError, PKRBuffer ABuf, int32_t ALength, void*) {
                std::unique_ptr<TKRBuffer> buf(ABuf);
                if (!alive.expired()) Finish(AError, buf.get(), ALength, *request);
            };
        } else {
            done = [this, alive = std::weak_ptr<char>(FAlive)](int32_t AError, PKRBuffer ABuf,
                                                               int32_t ALength, void* AData) {
                if (alive.expired()) {  // the master is gone: only release
                    delete ABuf;
                    delete static_cast<TMBPack*>(AData);
                    return;
                }
                _CallBack(AError, ABuf, ALength, AData);
            };
            data = APack.release();
        }
        // From here on the connector owns the exchange and hands buffer and record back to
        // the completion above (once, or once per round of a repetition), possibly from
        // inside Send.
        connector->Send(buf.release(), frameLen, std::move(done), data, true, recvLen,
                        ascii ? kASCIIDelimiter : 0, ascii ? kASCIIDelimiterLen : 0,
                        ModbusReplyComplete(AType), ModbusShortestReply(AType), repeat);
    } catch (const std::exception& e) {
        ReportRuntimeError(ARoutine, e);
        if (APack) Complete(*APack, mbeRuntime, ARoutine);
    } catch (...) {
        ReportRuntimeError(ARoutine, EKRUnknownError());
        if (APack) Complete(*APack, mbeRuntime, ARoutine);
    }
}

void TKRMB_Helper::_CallBack(int32_t AError, PKRBuffer APack, int32_t ALength, void* AData) {
    // Both are released when this returns, whatever the handler does.
    std::unique_ptr<TKRBuffer> buf(APack);
    std::unique_ptr<TMBPack> request(static_cast<TMBPack*>(AData));
    if (request) Finish(AError, buf.get(), ALength, *request);
}

void TKRMB_Helper::Finish(int32_t AError, const TKRBuffer* ABuf, int32_t ALength,
                          TMBPack& ARequest) {
    // A handler may destroy the master; then there is nobody left to report to.
    const std::weak_ptr<char> alive = FAlive;
    try {
        TMBReplyData data;
        int32_t result;
        if (AError != 0) {
            result = MBTransportError(AError);
        } else if (!ABuf) {
            result = mbePacketLength;
        } else {
            result = CheckAndDecodeReply(ARequest, FCheckID, *ABuf, ALength, data);
        }
        if (ARequest.CallBack) ARequest.CallBack(result, result == 0 ? data.Ptr() : nullptr);
    } catch (const std::exception& e) {
        if (!alive.expired()) ReportRuntimeError(krre::kMasterCallBack, e);
    } catch (...) {
        if (!alive.expired()) ReportRuntimeError(krre::kMasterCallBack, EKRUnknownError());
    }
}

void TKRMB_Helper::Complete(TMBPack& APack, int32_t AError, std::string_view ARoutine) {
    if (!APack.CallBack) return;
    const std::weak_ptr<char> alive = FAlive;
    try {
        APack.CallBack(AError, nullptr);
    } catch (const std::exception& e) {
        if (!alive.expired()) ReportRuntimeError(ARoutine, e);
    } catch (...) {
        if (!alive.expired()) ReportRuntimeError(ARoutine, EKRUnknownError());
    }
}

void TKRMB_Helper::ReportRuntimeError(std::string_view ARoutine, const std::exception& AException) {
    FModbus->DoRuntimeError(KRRuntimeDescription(krre::kMasterPrefix, FModbus->Name(), ARoutine),
                            AException);
}
