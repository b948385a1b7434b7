#pragma once
// The serial connector: plugs a TKRCOMPort into the connector framework. Its worker writes each
// frame and collects the reply until the expected length has arrived, a delimiter ends it, the
// packet's ReplyComplete test recognises a whole shorter reply (an exception), the line stays
// silent for WaitRespTime ms, or the window of WriteTimeout + ReadTimeout ms after the start of
// the write closes. Waiting uses poll on the port, so an idle link costs no CPU.
//
//   TKRCOMPortConnector com;          // on the user-interface thread
//   com.SetPort("ttyUSB0");           // or a path such as "/dev/pts/5"
//   com.SetBaudRate(9600);
//   com.SetActive(true);              // opens the port; com.Connected() tells whether it did
//   com.Send(buf, len, callback, data, true, expectedReplyLength);

#include <memory>
#include <string>

#include "link/com_port.h"
#include "link/connector.h"

class TKRCOMPortConnector : public TKRConnector {
public:
    explicit TKRCOMPortConnector(QObject* AOwner = nullptr);
    ~TKRCOMPortConnector() override;

    bool Connected() const override { return FComPort->Connected(); }
    // Activation opens the port on the calling thread and activates the queue whether or not
    // the port opened. Deactivation stops the worker, closes the port and prepares a fresh
    // worker with fresh counters.
    void SetActive(bool Value) override;

    // The port object, for direct use while the connector is inactive (firmware update).
    TKRCOMPort& ComPort() const { return *FComPort; }

    std::string Port() const { return FComPort->Port(); }
    void SetPort(const std::string& Value) { FComPort->SetPort(Value); }
    int32_t Parity() const { return FComPort->Parity(); }
    void SetParity(int32_t Value) { FComPort->SetParity(Value); }
    int32_t StopBits() const { return FComPort->StopBits(); }
    void SetStopBits(int32_t Value) { FComPort->SetStopBits(Value); }
    int32_t BaudRate() const { return FComPort->BaudRate(); }
    void SetBaudRate(int32_t Value) { FComPort->SetBaudRate(Value); }
    int32_t DataBits() const { return FComPort->DataBits(); }
    void SetDataBits(int32_t Value) { FComPort->SetDataBits(Value); }
    int32_t FlowControl() const { return FComPort->FlowControl(); }
    void SetFlowControl(int32_t Value) { FComPort->SetFlowControl(Value); }

protected:
    std::unique_ptr<TKRConnectorThread> CreateThread() override;

private:
    std::unique_ptr<TKRCOMPort> FComPort;
};

// Worker of the serial connector.
class TKRCOMPortThread : public TKRConnectorThread {
public:
    TKRCOMPortThread(TKRCOMPortConnector* AConnector, TKRCOMPort* AComPort);
    ~TKRCOMPortThread() override;

    // Consecutive send failures after which the port is closed.
    static constexpr int32_t kSendFailuresForClose = 7;

protected:
    void Exchange() override;
    bool TransportConnected() override { return FComPort->Connected(); }
    void TransportOpen() override;
    void TransportClose() override { FComPort->Close(); }

private:
    bool SendFrame();
    void SendFailed();
    // Collects the reply into FPK; returns 0 or the receive failure code.
    int32_t CollectReply(uint32_t ASendTime);

    // Sleeps from the write to where the reply (or its short form) may be whole; returns the
    // point it aimed at, in bytes of the reply (0: did not sleep).
    int32_t SleepToReply(const TKRCOMLineSettings& ALine, int64_t AWrittenUs);
    // Learns the device's answer time from a first look that found AWaiting reply bytes.
    void LearnAnswerTime(const TKRCOMLineSettings& ALine, int64_t AWrittenUs, int32_t AWaiting,
                         int32_t AAimed);

    int32_t FErrCntr2 = 0;  // send failures, reset only when they close the port
    // The device's time from the end of a request to the first byte of its reply, in
    // microseconds, as last seen; -1 while unknown.
    int64_t FAnswerUs = -1;
    int64_t FWrittenUs = 0;  // when the frame of the exchange under way was written
    TKRCOMPort* const FComPort;
};
