#pragma once
// The Modbus master: the component through which the program talks Modbus. Each request names
// the frame type, the slave address, its data and a completion handler; the master checks that
// the request can be accepted, builds its record and hands it to the request helper, which
// frames it and queues it on the connector. Nothing here blocks: the handler runs later on the
// user-interface thread, or at once when the request is refused (-1 no connector, -11 connector
// inactive, -8 connector queue full).
//
//   master.SetConnector(&tcpConnector);   // leaves it inactive
//   tcpConnector.SetActive(true);
//   master.ReadHoldingRegisters(mbtTCP, 1, 0, 10, [](int32_t err, const void* data) {
//       if (err == 0) auto& regs = *static_cast<const TKRRegisters*>(data);  // regs[i] = reg 0 + i
//   });

#include <QMetaObject>
#include <QObject>
#include <cstdint>
#include <memory>
#include <string>

#include "link/kr_types.h"
#include "link/runtime_errors.h"

class TKRConnector;
class TKRMB_Helper;

class TKRModbusMaster : public QObject {
public:
    // Refusals share the connector's queue limit.
    static constexpr int32_t kMaxQueued = 255;

    explicit TKRModbusMaster(QObject* AOwner = nullptr);
    ~TKRModbusMaster() override;

    // Request operations (function codes 1, 2, 3, 4, 7, 5, 15, 6, 16, user, raw frame).
    void ReadReadCoils(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil, uint16_t ACount,
                       TMBMCallBack ACallBack);
    void ReadDiscretInputs(TMBType AMBType, uint8_t AAddres, uint16_t AStartInput, uint16_t ACount,
                           TMBMCallBack ACallBack);
    // ARepeat: the link reads the same registers again after each good reply until another
    // request goes out or the connector's EndRepeat; the handler runs once per reply and a
    // last time with the code that ended the reading (-107 when ended on purpose).
    void ReadHoldingRegisters(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg, uint16_t ACount,
                              TMBMCallBack ACallBack, bool ARepeat = false);
    void ReadInputRegisters(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg, uint16_t ACount,
                            TMBMCallBack ACallBack);
    void ReadStatus(TMBType AMBType, uint8_t AAddres, TMBMCallBack ACallBack);
    void WriteCoil(TMBType AMBType, uint8_t AAddres, uint16_t ACoilNum, bool AData,
                   TMBMCallBack ACallBack);
    void WriteCoils(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil, uint16_t ACount,
                    const TKRBytes& AData, TMBMCallBack ACallBack);
    void WriteHoldingRegister(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg, uint16_t AData,
                              TMBMCallBack ACallBack);
    // The quantity sent is the array's length.
    void WriteHoldingRegisters(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                               const TKRRegisters& AData, TMBMCallBack ACallBack);
    // Body = address, AFunc, ADataLen bytes at AData. The reply's bytes after the function
    // code are delivered as a TKRBytes.
    void UserFunction(TMBType AMBType, uint8_t AAddres, uint8_t AFunc, PKRBuffer AData,
                      int32_t ADataLen, TMBMCallBack ACallBack);
    // Sends the caller-built frame of APkLen bytes in APPack (copied at once) and expects ARecvLen
    // reply bytes; the reply is checked against AFunc.
    void SendPack(TMBType AMBType, uint8_t AFunc, PKRBuffer APPack, uint8_t APkLen,
                  TMBMCallBack ACallBack, uint8_t ARecvLen);

    // Stand-alone frame builders: fill APPack from position 0, return the frame length and the
    // expected reply length in ARecvLen; 0 for an unknown frame type or lengths beyond 8 bits.
    uint8_t ReadReadCoilsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil,
                              uint16_t ACount, TKRBuffer& APPack, uint8_t& ARecvLen) const;
    uint8_t ReadDiscretInputsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartInput,
                                  uint16_t ACount, TKRBuffer& APPack, uint8_t& ARecvLen) const;
    uint8_t ReadHoldingRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                     uint16_t ACount, TKRBuffer& APPack, uint8_t& ARecvLen) const;
    uint8_t ReadInputRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                   uint16_t ACount, TKRBuffer& APPack, uint8_t& ARecvLen) const;
    uint8_t ReadStatusPack(TMBType AMBType, uint8_t AAddres, TKRBuffer& APPack,
                           uint8_t& ARecvLen) const;
    uint8_t WriteCoilPack(TMBType AMBType, uint8_t AAddres, uint16_t ACoilNum, bool AData,
                          TKRBuffer& APPack, uint8_t& ARecvLen) const;
    uint8_t WriteCoilsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil, uint16_t ACount,
                           const TKRBytes& AData, TKRBuffer& APPack, uint8_t& ARecvLen) const;
    uint8_t WriteHoldingRegisterPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                     uint16_t AData, TKRBuffer& APPack, uint8_t& ARecvLen) const;
    uint8_t WriteHoldingRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                      const TKRRegisters& AData, TKRBuffer& APPack,
                                      uint8_t& ARecvLen) const;
    uint8_t UserFunctionPack(TMBType AMBType, uint8_t AAddres, uint8_t AFunc, PKRBuffer AData,
                             int32_t ADataLen, TKRBuffer& APPack) const;

    // The message of a completion code, and its category in ALevel.
    std::string ErrorMsg(int32_t AError, std::string& ALevel) const;

    // The transport. Switching deactivates the old connector and leaves the new one inactive;
    // a destroyed connector is forgotten.
    TKRConnector* Connector() const { return FConnector; }
    void SetConnector(TKRConnector* Value);

    bool Active() const;
    void SetActive(bool Value);
    bool CheckID() const;
    void SetCheckID(bool Value);
    // Kept for the stored settings; always 0.
    uint32_t WaitTime() const { return 0; }
    void SetWaitTime(uint32_t) {}
    uint32_t WaitPauseTime() const { return 0; }
    void SetWaitPauseTime(uint32_t) {}
    int32_t QueueCount() const { return 0; }

    std::string Name() const { return objectName().toStdString(); }
    void SetName(const std::string& AName) { setObjectName(QString::fromStdString(AName)); }
    void SetOnRuntimeError(TKRRuntimeErrorEv AEv) { FRuntimeErrorEv.Set(std::move(AEv)); }
    TKRRuntimeErrorEv OnRuntimeError() const { return FRuntimeErrorEv.Get(); }
    void DoRuntimeError(const std::string& ADesc, const std::exception& AException);

    TKRMB_Helper& Helper() const { return *FHelper; }

private:
    // Refusal check; on refusal calls ACallBack at once and returns false.
    bool Accept(const TMBMCallBack& ACallBack);
    void ReadRange(TMBType AMBType, uint8_t AAddres, uint8_t AFunc, uint16_t AStart,
                   uint16_t ACount, TMBMCallBack ACallBack, bool ARepeat = false);
    std::unique_ptr<TMBPack> NewPack(TMBType AMBType, uint8_t AAddres, uint8_t AFunc,
                                     TMBMCallBack ACallBack) const;

    TKRConnector* FConnector = nullptr;
    std::unique_ptr<TKRMB_Helper> FHelper;
    TKRRuntimeErrorSlot FRuntimeErrorEv;
    QMetaObject::Connection FConnectorDestroyed;
};
