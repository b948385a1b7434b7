#include "link/tcp_connector.h"

#include <algorithm>

TKRTCPConnector::TKRTCPConnector(QObject* AOwner)
    : TKRConnector(ctTCPClient, AOwner), FTCPClient(std::make_unique<TKRTCPSocketClient>()) {
    InstallThread();
}

TKRTCPConnector::~TKRTCPConnector() {
    ShutdownThread();
    FTCPClient.reset();
}

bool TKRTCPConnector::Connected() const {
    return FTCPClient->Connected();
}

std::string TKRTCPConnector::IP() const {
    std::lock_guard lock(FIPLock);
    return FIP;
}

void TKRTCPConnector::SetIP(const std::string& Value) {
    std::lock_guard lock(FIPLock);
    FIP = Value;
}

void TKRTCPConnector::SetActive(bool Value) {
    if (!Thread() || Value == Thread()->Active()) return;
    if (Value) {
        // Connects on the calling thread; the connector turns active either way.
        FTCPClient->SetAddr(IP());
        FTCPClient->SetPort(Port());
        FTCPClient->SetConnectTimeout(static_cast<int32_t>(ConnectTimeout()));
        try {
            FTCPClient->Open();
        } catch (const std::exception& e) {
            DoRuntimeError(KRRuntimeDescription(krre::kTCPPrefix, Name(), krre::kTCPOpen), e);
        }
        TKRConnector::SetActive(true);
        return;
    }
    TKRConnector::SetActive(false);
    // A fresh worker: fresh counters and an immediate connection attempt next time.
    ShutdownThread();
    FTCPClient->Close();
    InstallThread();
}

std::unique_ptr<TKRConnectorThread> TKRTCPConnector::CreateThread() {
    auto thread = std::make_unique<TKRTCPThread>(this, FTCPClient.get());
    FTCPClient->SetAbortFd(thread->StopFd());
    return thread;
}

TKRTCPThread::TKRTCPThread(TKRTCPConnector* AConnector, TKRTCPSocketClient* AClient)
    : TKRConnectorThread(AConnector), FTCPConnector(AConnector), FTCPClient(AClient) {}

bool TKRTCPThread::TransportConnected() {
    return FTCPClient->Connected();
}

void TKRTCPThread::TransportOpen() {
    FTCPClient->SetAddr(FTCPConnector->IP());
    FTCPClient->SetPort(FTCPConnector->Port());
    FTCPClient->SetConnectTimeout(static_cast<int32_t>(FTCPConnector->ConnectTimeout()));
    try {
        FTCPClient->Open();
    } catch (const std::exception& e) {
        ReportRuntimeError(krre::kTCPPrefix, krre::kTCPOpen, e);
    }
}

void TKRTCPThread::TransportClose() {
    FTCPClient->Close();
}

void TKRTCPThread::DiscardStaleInput() {
    // Bytes left from an earlier reply (a late segment, an over-long answer) must not be taken
    // for the reply to the next frame.
    try {
        TKRBuffer scratch;
        while (!Terminated() && !FTCPClient->IsReadBufferEmpty())
            if (FTCPClient->ReceiveBuf(scratch.data(), scratch.size()) <= 0) break;
    } catch (...) {
    }
}

void TKRTCPThread::Exchange() {
    if (!EnsureConnected()) return;
    FPK->Error = cerNoError;
    DiscardStaleInput();

    try {
        RaiseSendEvents();
        if (FTCPClient->WaitForWrite(static_cast<int32_t>(FTCPConnector->WriteTimeout()))) {
            long n = FTCPClient->SendBuf(FPK->Pack->data(), FPK->Length);
            if (n < FPK->Length) CountFailure(cerSendFailed);
        } else {
            CountFailure(cerSendTimeout);
        }
    } catch (const std::exception& e) {
        ReportRuntimeError(krre::kTCPPrefix, krre::kTCPSend, e);
        CountFailure(cerSendFailed);
    }

    if (FPK->Error == cerNoError && FPK->WaitResult) {
        try {
            if (FTCPClient->WaitForRead(static_cast<int32_t>(FTCPConnector->ReadTimeout()))) {
                // A single receive: bytes of a later segment are stale for the next exchange.
                const long limit = FPK->RLen > 0 ? std::min<long>(FPK->RLen, sizeof(TKRBuffer))
                                                 : static_cast<long>(sizeof(TKRBuffer));
                long n = FTCPClient->ReceiveBuf(FPK->Pack->data(), limit);
                if (n >= 1)
                    ReceiveSucceeded(static_cast<int32_t>(n));
                else
                    CountFailure(cerNoAnswer);
            } else {
                CountFailure(cerReceiveTimeout);
            }
        } catch (const std::exception& e) {
            ReportRuntimeError(krre::kTCPPrefix, krre::kTCPReceive, e);
            CountFailure(cerNoAnswer);
        }
    }
    Deliver();
}
