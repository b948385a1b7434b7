// Requests of the session and the binding of the scheduler's jobs to them. Every request switches
// the traffic lamp on first; every reply sets the lamp from its result code and acts only on
// success. A successful reply is reported to the scheduler by the handler that owns it.

#include <algorithm>

#include "device/register_codec.h"
#include "link/connector.h"
#include "link/modbus_errors.h"
#include "link/modbus_master.h"
#include "session/calib_command.h"
#include "session/session_core.h"

namespace {
// Packets that the link cancels (disconnect, queue cleared) come back with this code; they are
// dropped as if they had never been sent.
constexpr int32_t kCancelled = MBTransportError(7);
}  // namespace

void TSessionCore::SetTraffic(bool ALit, bool ARed) {
    TTrafficLamp lamp{ALit, ARed};
    if (lamp == fTraffic) return;
    fTraffic = lamp;
    fView.ShowTraffic(fTraffic);
}

void TSessionCore::TrafficFromCode(int32_t ACode) {
    if (ACode == 0)
        SetTraffic(false, false);
    else
        SetTraffic(true, true);
    if (fOnRequestResult) fOnRequestResult(ACode);
}

void TSessionCore::CountRequest(int32_t ACode) {
    // The round trip is the exchange as the link timed it: neither the wait in the queue nor
    // the pause between exchanges is part of it.
    const TKRConnector* link = fModbusMaster->Connector();
    const int64_t sentUs = link ? link->CompletingSentUs() : 0;
    const int64_t doneUs = link ? link->CompletingDoneUs() : 0;
    const int64_t roundTrip = sentUs > 0 && doneUs >= sentUs ? doneUs - sentUs : -1;
    // Dated when the link received the reply (a round of a repetition may wait for its batch).
    const int64_t age = doneUs > 0 ? std::max<int64_t>(0, KRSteadyMicros() - doneUs) : 0;
    fLinkStats.RequestDone(ACode, roundTrip, fLinkStats.Now() - age);
}

void TSessionCore::RequestCompleted(int32_t ACode) {
    CountRequest(ACode);
    TrafficFromCode(ACode);
}

void TSessionCore::ReadRegisters(uint16_t AStart, uint16_t ACount, TRegsHandler AOnRegs,
                                 TFailHandler AOnFail, bool ARepeat) {
    SetTraffic(true, fTraffic.Red);
    fModbusMaster->ReadHoldingRegisters(
        fmbType, fMBaddr, AStart, ACount,
        [this, ACount, ARepeat, AOnRegs = std::move(AOnRegs), AOnFail = std::move(AOnFail)](
            int32_t AError, const void* AData) {
            if (fDestroying || AError == kCancelled) return;
            fReplyAgeUs = 0;
            if (ARepeat) {
                // A round's reply may have waited for its batch: it is dated by when the link
                // received it.
                const TKRConnector* link = fModbusMaster->Connector();
                const int64_t doneUs = link ? link->CompletingDoneUs() : 0;
                if (doneUs > 0) fReplyAgeUs = std::max<int64_t>(0, KRSteadyMicros() - doneUs);
                SetTraffic(true, fTraffic.Red);
            }
            const auto* regs = static_cast<const TKRRegisters*>(AData);
            // A reply shorter than asked for is treated as a failed one: the handlers index
            // every register they asked for.
            if (AError == 0 && (regs == nullptr || regs->size() < ACount)) AError = mbeDataLength;
            RequestCompleted(AError);
            if (AError != 0) {
                if (AOnFail) AOnFail(AError);
                return;
            }
            if (AOnRegs) AOnRegs(*regs);
        },
        ARepeat);
}

TMBMCallBack TSessionCore::WriteReply(TAckHandler AOnAck, TFailHandler AOnFail) {
    return [this, AOnAck = std::move(AOnAck), AOnFail = std::move(AOnFail)](int32_t AError,
                                                                            const void*) {
        if (fDestroying || AError == kCancelled) return;
        RequestCompleted(AError);
        if (AError != 0) {
            if (AOnFail) AOnFail(AError);
            return;
        }
        if (AOnAck)
            AOnAck();
        else
            fTaskMgr->Callback();
    };
}

void TSessionCore::WriteRegister(uint16_t AReg, uint16_t AValue, TAckHandler AOnAck,
                                 TFailHandler AOnFail) {
    SetTraffic(true, fTraffic.Red);
    fModbusMaster->WriteHoldingRegister(fmbType, fMBaddr, AReg, AValue,
                                        WriteReply(std::move(AOnAck), std::move(AOnFail)));
}

void TSessionCore::WriteRegisters(uint16_t AStart, const TKRRegisters& AValues, TAckHandler AOnAck,
                                  TFailHandler AOnFail) {
    SetTraffic(true, fTraffic.Red);
    fModbusMaster->WriteHoldingRegisters(fmbType, fMBaddr, AStart, AValues,
                                         WriteReply(std::move(AOnAck), std::move(AOnFail)));
}

void TSessionCore::BindJobs() {
    TLN_TaskMgr& t = *fTaskMgr;
    t.fOnReadData = [this](TLN_TaskMgr* AMgr) {
        const uint32_t repetition = AMgr->PollRepetition();
        ReadRegisters(
            hreg::USET, hreg::kDataCount,
            [this, repetition](const TKRRegisters& r) {
                // The rest of a batch that came after the scheduler stopped is not acted on.
                if (repetition == 0 || fTaskMgr->Running()) ReadDataReply(r, repetition);
            },
            {}, repetition != 0);
    };
    t.fOnEndRepeat = [this](TLN_TaskMgr*) { ActiveConnector()->EndRepeat(); };
    t.fOnReadSetData = [this](TLN_TaskMgr*) {
        ReadRegisters(hreg::USET, hreg::kSetCount,
                      [this](const TKRRegisters& r) { ReadSetDataReply(r); });
    };
    t.fOnReadTemperature = [this](TLN_TaskMgr*) {
        ReadRegisters(hreg::TMP, 1, [this](const TKRRegisters& r) { TemperatureReply(r); });
    };
    t.fOnReadDebugData = [this](TLN_TaskMgr*) {
        ReadRegisters(hreg::DEBUG_DATA, 1, [this](const TKRRegisters& r) {
            gData.DEBUG_DATA = r[0];
            fView.ShowDebugData(QString::number(gData.DEBUG_DATA));
            fTaskMgr->Callback();
        });
    };
    t.fOnReadMemNum = [this](TLN_TaskMgr*) {
        ReadRegisters(hreg::MEM, 1, [this](const TKRRegisters& r) {
            gData.MEM = StoredMemNum(r[0]);
            MemNumRead();
            fTaskMgr->Callback();
        });
    };
    t.fOnReadMemNumAndCounters = [this](TLN_TaskMgr*) {
        ReadRegisters(hreg::TIME_L, hreg::kCountersCount,
                      [this](const TKRRegisters& r) { CountersReply(r); });
    };
    t.fOnReadGlobalData = [this](TLN_TaskMgr*) {
        ReadRegisters(hreg::MGIC, hreg::kGlobalCount,
                      [this](const TKRRegisters& r) { GlobalDataReply(r); });
    };
    t.fOnReadMemory = [this](TLN_TaskMgr*) {
        ReadRegisters(MemoryBlockStart(gData.MEM), hreg::kPresetUsed,
                      [this](const TKRRegisters& r) {
                          StoreMemoryRegisters(gMemory, r);
                          if (fOnMemoryRead) fOnMemoryRead();
                          fTaskMgr->Callback();
                      });
    };
    t.fOnReadCalibData = [this](TLN_TaskMgr*) {
        ReadRegisters(hreg::kCalibBase, hreg::kCalibCount, [this](const TKRRegisters& r) {
            StoreCalibRegisters(CalibData, r);
            if (fOnCalibRead) fOnCalibRead();
            fTaskMgr->Callback();
        });
    };
    t.fOnWriteSetData = [this](TLN_TaskMgr*) { WriteSetDataJob(); };
    t.fOnWriteOnOff = [this](TLN_TaskMgr*) { WriteOnOffJob(); };
    t.fOnWriteMemNum = [this](TLN_TaskMgr*) {
        SetTraffic(true, fTraffic.Red);
        fModbusMaster->WriteHoldingRegister(fmbType, fMBaddr, hreg::MEM,
                                            static_cast<uint16_t>(gData.MEM),
                                            [this](int32_t AError, const void*) {
                                                if (fDestroying || AError == kCancelled) return;
                                                RequestCompleted(AError);
                                                if (fOnMemNumWritten) fOnMemNumWritten(AError == 0);
                                                if (AError == 0) fTaskMgr->Callback();
                                            });
    };
    t.fOnWriteMemory = [this](TLN_TaskMgr*) {
        WriteRegisters(MemoryBlockStart(gData.MEM), MemoryRegisters(gMemory));
    };
    t.fOnWriteBled = [this](TLN_TaskMgr*) {
        WriteRegister(hreg::BLED, static_cast<uint16_t>(gData.BLED));
    };
    t.fOnWriteGlobalData = [this](TLN_TaskMgr*) {
        WriteRegisters(hreg::MMAX, RegistersOf(gData, hreg::MMAX, hreg::kSettingsCount));
    };
    t.fOnWriteCalibCmd = [this](TLN_TaskMgr*) {
        if (!fCalibQueue.empty()) {
            const std::array<uint16_t, 4> cmd = fCalibQueue.front();
            fCalibQueue.pop_front();
            gData.CLB_CMD = cmd[0];
            gData.CLB_IDX = cmd[1];
            gData.CLB_DATA_L = cmd[2];
            gData.CLB_DATA_H = cmd[3];
            if (!fCalibQueue.empty()) fTaskMgr->WriteCalibCmd();
        }
        WriteRegisters(hreg::CLB_CMD, RegistersOf(gData, hreg::CLB_CMD, hreg::kCalibCmdCount));
    };
    t.fOnWriteCommand = [this](TLN_TaskMgr*) { WriteRegister(hreg::CMD, gData.CMD); };
    t.fOnWriteJumpBoot = [this](TLN_TaskMgr*) {
        // The device leaves its application on this command and does not answer.
        gData.CMD = kCmdJumpBoot;
        SetTraffic(true, fTraffic.Red);
        fModbusMaster->WriteHoldingRegister(fmbType, fMBaddr, hreg::CMD, kCmdJumpBoot,
                                            TMBMCallBack{});
    };
    t.fOnTimeout = [this](TLN_TaskMgr*) { SetTraffic(true, true); };
    t.fOnError = [this](TLN_TaskMgr* ASender) {
        ASender->Stop();
        PostConnectionLost();
    };
}

void TSessionCore::DoWriteCalibCmd(TCalib_Mode AMode, uint32_t AIndex, uint32_t AData) {
    // The fix value is taken now, as the user confirmed it.
    PrepareCalibCmd(gData, CalibData, AMode, static_cast<uint16_t>(AIndex), AData);
    fCalibQueue.push_back({gData.CLB_CMD, gData.CLB_IDX, gData.CLB_DATA_L, gData.CLB_DATA_H});
    fTaskMgr->WriteCalibCmd();
}

void TSessionCore::DoReadCalibData() {
    if (fConnected && fModel.Version > ver_18) fTaskMgr->ReadCalibData();
}

void TSessionCore::DoJumpBoot() {
    if (fConnected) fTaskMgr->WriteJumpBoot();
}
