#include "link/modbus_master.h"

#include "link/connector.h"
#include "link/modbus_errors.h"
#include "link/modbus_frames.h"
#include "link/modbus_helper.h"

TKRModbusMaster::TKRModbusMaster(QObject* AOwner)
    : QObject(AOwner), FHelper(std::make_unique<TKRMB_Helper>(this)) {}

TKRModbusMaster::~TKRModbusMaster() {
    QObject::disconnect(FConnectorDestroyed);
}

bool TKRModbusMaster::Accept(const TMBMCallBack& ACallBack) {
    int32_t refusal = 0;
    if (FConnector == nullptr) {
        refusal = mbeNoConnector;
    } else if (!FConnector->Active()) {
        refusal = mbeNotActive;
    } else if (FConnector->QueueCount() >= kMaxQueued) {
        refusal = mbeQueueFull;
    }
    if (refusal == 0) return true;
    if (ACallBack) ACallBack(refusal, nullptr);
    return false;
}

std::unique_ptr<TMBPack> TKRModbusMaster::NewPack(TMBType AMBType, uint8_t AAddres, uint8_t AFunc,
                                                  TMBMCallBack ACallBack) const {
    auto pack = std::make_unique<TMBPack>();
    pack->Addres = AAddres;
    pack->MBType = AMBType;
    pack->MBFunc = AFunc;
    pack->CallBack = std::move(ACallBack);
    return pack;
}

// The four read functions differ only in their function code.
void TKRModbusMaster::ReadRange(TMBType AMBType, uint8_t AAddres, uint8_t AFunc, uint16_t AStart,
                                uint16_t ACount, TMBMCallBack ACallBack, bool ARepeat) {
    if (!Accept(ACallBack)) return;
    auto pack = NewPack(AMBType, AAddres, AFunc, std::move(ACallBack));
    pack->Start = AStart;
    pack->Count = ACount;
    pack->Repeat = ARepeat;
    FHelper->Dispatch(std::move(pack));
}

void TKRModbusMaster::ReadReadCoils(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil,
                                    uint16_t ACount, TMBMCallBack ACallBack) {
    ReadRange(AMBType, AAddres, 1, AStartCoil, ACount, std::move(ACallBack));
}

void TKRModbusMaster::ReadDiscretInputs(TMBType AMBType, uint8_t AAddres, uint16_t AStartInput,
                                        uint16_t ACount, TMBMCallBack ACallBack) {
    ReadRange(AMBType, AAddres, 2, AStartInput, ACount, std::move(ACallBack));
}

void TKRModbusMaster::ReadHoldingRegisters(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                           uint16_t ACount, TMBMCallBack ACallBack, bool ARepeat) {
    ReadRange(AMBType, AAddres, 3, AStartReg, ACount, std::move(ACallBack), ARepeat);
}

void TKRModbusMaster::ReadInputRegisters(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                         uint16_t ACount, TMBMCallBack ACallBack) {
    ReadRange(AMBType, AAddres, 4, AStartReg, ACount, std::move(ACallBack));
}

void TKRModbusMaster::ReadStatus(TMBType AMBType, uint8_t AAddres, TMBMCallBack ACallBack) {
    if (!Accept(ACallBack)) return;
    FHelper->Dispatch(NewPack(AMBType, AAddres, 7, std::move(ACallBack)));
}

void TKRModbusMaster::WriteCoil(TMBType AMBType, uint8_t AAddres, uint16_t ACoilNum, bool AData,
                                TMBMCallBack ACallBack) {
    if (!Accept(ACallBack)) return;
    auto pack = NewPack(AMBType, AAddres, 5, std::move(ACallBack));
    pack->Start = ACoilNum;
    pack->DataBt.assign(1, AData ? 1 : 0);
    FHelper->Dispatch(std::move(pack));
}

void TKRModbusMaster::WriteCoils(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil,
                                 uint16_t ACount, const TKRBytes& AData, TMBMCallBack ACallBack) {
    if (!Accept(ACallBack)) return;
    auto pack = NewPack(AMBType, AAddres, 15, std::move(ACallBack));
    pack->Start = AStartCoil;
    pack->Count = ACount;
    pack->DataBt = AData;
    FHelper->Dispatch(std::move(pack));
}

void TKRModbusMaster::WriteHoldingRegister(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                           uint16_t AData, TMBMCallBack ACallBack) {
    if (!Accept(ACallBack)) return;
    auto pack = NewPack(AMBType, AAddres, 6, std::move(ACallBack));
    pack->Start = AStartReg;
    pack->Count = 1;
    pack->Data.assign(1, AData);
    FHelper->Dispatch(std::move(pack));
}

void TKRModbusMaster::WriteHoldingRegisters(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                            const TKRRegisters& AData, TMBMCallBack ACallBack) {
    if (!Accept(ACallBack)) return;
    auto pack = NewPack(AMBType, AAddres, 16, std::move(ACallBack));
    pack->Start = AStartReg;
    pack->Count = static_cast<uint16_t>(AData.size());
    pack->Data = AData;
    FHelper->Dispatch(std::move(pack));
}

void TKRModbusMaster::UserFunction(TMBType AMBType, uint8_t AAddres, uint8_t AFunc, PKRBuffer AData,
                                   int32_t ADataLen, TMBMCallBack ACallBack) {
    if (!Accept(ACallBack)) return;
    auto pack = NewPack(AMBType, AAddres, AFunc, std::move(ACallBack));
    pack->Count = static_cast<uint16_t>(ADataLen);
    pack->uData = AData != nullptr ? AData->data() : nullptr;
    FHelper->Dispatch(std::move(pack));
}

void TKRModbusMaster::SendPack(TMBType AMBType, uint8_t AFunc, PKRBuffer APPack, uint8_t APkLen,
                               TMBMCallBack ACallBack, uint8_t ARecvLen) {
    if (!Accept(ACallBack)) return;
    auto pack = NewPack(AMBType, 0, AFunc, std::move(ACallBack));
    pack->pBuf = APPack;
    pack->bLen = APkLen;
    pack->bRLen = ARecvLen;
    FHelper->Dispatch(std::move(pack));
}

uint8_t TKRModbusMaster::ReadReadCoilsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil,
                                           uint16_t ACount, TKRBuffer& APPack,
                                           uint8_t& ARecvLen) const {
    return ::ReadReadCoilsPack(AMBType, AAddres, AStartCoil, ACount, APPack, ARecvLen);
}

uint8_t TKRModbusMaster::ReadDiscretInputsPack(TMBType AMBType, uint8_t AAddres,
                                               uint16_t AStartInput, uint16_t ACount,
                                               TKRBuffer& APPack, uint8_t& ARecvLen) const {
    return ::ReadDiscretInputsPack(AMBType, AAddres, AStartInput, ACount, APPack, ARecvLen);
}

uint8_t TKRModbusMaster::ReadHoldingRegistersPack(TMBType AMBType, uint8_t AAddres,
                                                  uint16_t AStartReg, uint16_t ACount,
                                                  TKRBuffer& APPack, uint8_t& ARecvLen) const {
    return ::ReadHoldingRegistersPack(AMBType, AAddres, AStartReg, ACount, APPack, ARecvLen);
}

uint8_t TKRModbusMaster::ReadInputRegistersPack(TMBType AMBType, uint8_t AAddres,
                                                uint16_t AStartReg, uint16_t ACount,
                                                TKRBuffer& APPack, uint8_t& ARecvLen) const {
    return ::ReadInputRegistersPack(AMBType, AAddres, AStartReg, ACount, APPack, ARecvLen);
}

uint8_t TKRModbusMaster::ReadStatusPack(TMBType AMBType, uint8_t AAddres, TKRBuffer& APPack,
                                        uint8_t& ARecvLen) const {
    return ::ReadStatusPack(AMBType, AAddres, APPack, ARecvLen);
}

uint8_t TKRModbusMaster::WriteCoilPack(TMBType AMBType, uint8_t AAddres, uint16_t ACoilNum,
                                       bool AData, TKRBuffer& APPack, uint8_t& ARecvLen) const {
    return ::WriteCoilPack(AMBType, AAddres, ACoilNum, AData, APPack, ARecvLen);
}

uint8_t TKRModbusMaster::WriteCoilsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil,
                                        uint16_t ACount, const TKRBytes& AData, TKRBuffer& APPack,
                                        uint8_t& ARecvLen) const {
    return ::WriteCoilsPack(AMBType, AAddres, AStartCoil, ACount, AData, APPack, ARecvLen);
}

uint8_t TKRModbusMaster::WriteHoldingRegisterPack(TMBType AMBType, uint8_t AAddres,
                                                  uint16_t AStartReg, uint16_t AData,
                                                  TKRBuffer& APPack, uint8_t& ARecvLen) const {
    return ::WriteHoldingRegisterPack(AMBType, AAddres, AStartReg, AData, APPack, ARecvLen);
}

uint8_t TKRModbusMaster::WriteHoldingRegistersPack(TMBType AMBType, uint8_t AAddres,
                                                   uint16_t AStartReg, const TKRRegisters& AData,
                                                   TKRBuffer& APPack, uint8_t& ARecvLen) const {
    return ::WriteHoldingRegistersPack(AMBType, AAddres, AStartReg, AData, APPack, ARecvLen);
}

uint8_t TKRModbusMaster::UserFunctionPack(TMBType AMBType, uint8_t AAddres, uint8_t AFunc,
                                          PKRBuffer AData, int32_t ADataLen,
                                          TKRBuffer& APPack) const {
    if (ADataLen < 0 || (AData == nullptr && ADataLen != 0)) return 0;
    if (ADataLen > static_cast<int32_t>(sizeof(TKRBuffer))) return 0;
    return ::UserFunctionPack(AMBType, AAddres, AFunc, AData != nullptr ? AData->data() : nullptr,
                              static_cast<size_t>(ADataLen), APPack);
}

std::string TKRModbusMaster::ErrorMsg(int32_t AError, std::string& ALevel) const {
    return ModbusErrorMsg(AError, ALevel);
}

void TKRModbusMaster::SetConnector(TKRConnector* Value) {
    if (Value == FConnector) return;
    if (FConnector != nullptr) {
        FConnector->SetActive(false);
        QObject::disconnect(FConnectorDestroyed);
    }
    FConnector = Value;
    if (FConnector != nullptr) {
        FConnector->SetActive(false);
        FConnectorDestroyed = QObject::connect(FConnector, &QObject::destroyed, this,
                                               [this] { FConnector = nullptr; });
    }
}

bool TKRModbusMaster::Active() const {
    return FConnector != nullptr && FConnector->Active();
}

void TKRModbusMaster::SetActive(bool Value) {
    if (FConnector != nullptr) FConnector->SetActive(Value);
}

bool TKRModbusMaster::CheckID() const {
    return FHelper->CheckID();
}

void TKRModbusMaster::SetCheckID(bool Value) {
    FHelper->SetCheckID(Value);
}

void TKRModbusMaster::DoRuntimeError(const std::string& ADesc, const std::exception& AException) {
    FRuntimeErrorEv.Report(this, ADesc, AException);
}
