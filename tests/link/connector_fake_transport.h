#pragma once
// A scriptable transport for connector-framework tests: the test decides whether connecting
// succeeds and how each exchange ends, and can hold an exchange at a gate.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "link/connector.h"

namespace connfake {

// A clock the test advances by hand.
class TFakeClock : public TTickClock {
public:
    uint32_t TickCount() const override { return FNow.load(); }
    void Advance(uint32_t AMs) { FNow.fetch_add(AMs); }

private:
    std::atomic<uint32_t> FNow{100000};
};

struct TFakeTransport {
    std::mutex Lock;
    std::condition_variable Changed;
    bool Connected = false;
    bool OpenSucceeds = true;
    int Opens = 0;
    int Closes = 0;
    // Per exchange: 0 = reply (echo of the frame), a failure code, or -1 = throw.
    std::deque<int32_t> Outcomes;
    std::vector<uint8_t> Served;  // first byte of every frame written, in order
    std::vector<std::chrono::steady_clock::time_point> ServedAt;  // when each was written
    bool Gate = false;                                            // hold exchanges until opened
    int Entered = 0;                                              // exchanges that reached the gate

    void OpenGate() {
        std::lock_guard lock(Lock);
        Gate = false;
        Changed.notify_all();
    }
    bool WaitEntered(int ACount) {
        std::unique_lock lock(Lock);
        return Changed.wait_for(lock, std::chrono::seconds(2), [&] { return Entered >= ACount; });
    }
};

class TFakeThread : public TKRConnectorThread {
public:
    TFakeThread(TKRConnector* AConnector, TFakeTransport* ATransport)
        : TKRConnectorThread(AConnector), FT(ATransport) {}

protected:
    bool TransportConnected() override {
        std::lock_guard lock(FT->Lock);
        return FT->Connected;
    }
    void TransportOpen() override {
        std::lock_guard lock(FT->Lock);
        ++FT->Opens;
        FT->Connected = FT->OpenSucceeds;
    }
    void TransportClose() override {
        std::lock_guard lock(FT->Lock);
        ++FT->Closes;
        FT->Connected = false;
    }
    void Exchange() override {
        if (!EnsureConnected()) return;
        FPK->Error = cerNoError;
        RaiseSendEvents();
        int32_t outcome = 0;
        {
            std::unique_lock lock(FT->Lock);
            ++FT->Entered;
            FT->Changed.notify_all();
            FT->Changed.wait(lock, [&] { return !FT->Gate || Terminated(); });
            FT->Served.push_back((*FPK->Pack)[0]);
            FT->ServedAt.push_back(std::chrono::steady_clock::now());
            if (!FT->Outcomes.empty()) {
                outcome = FT->Outcomes.front();
                FT->Outcomes.pop_front();
            }
        }
        if (outcome < 0) throw std::runtime_error("transport failure");
        if (outcome > 0)
            CountFailure(outcome);
        else if (FPK->WaitResult)
            ReceiveSucceeded(FPK->Length);
        Deliver();
    }

private:
    TFakeTransport* FT;
};

class TFakeConnector : public TKRConnector {
public:
    explicit TFakeConnector(TFakeTransport* ATransport, const TTickClock* AClock = nullptr)
        : TKRConnector(ctCOMPort), FT(ATransport) {
        if (AClock) SetTickClock(AClock);
        InstallThread();
    }
    ~TFakeConnector() override {
        {
            // Let a held exchange finish so the worker can end.
            std::lock_guard lock(FT->Lock);
            FT->Gate = false;
            FT->Changed.notify_all();
        }
        ShutdownThread();
    }
    bool Connected() const override {
        std::lock_guard lock(FT->Lock);
        return FT->Connected;
    }
    void SetActive(bool Value) override {
        if (!Thread() || Value == Thread()->Active()) return;
        TKRConnector::SetActive(Value);
        if (!Value) {
            {
                std::lock_guard lock(FT->Lock);
                FT->Gate = false;
                FT->Changed.notify_all();
            }
            ShutdownThread();
            {
                std::lock_guard lock(FT->Lock);
                FT->Connected = false;
            }
            InstallThread();
        }
    }

protected:
    std::unique_ptr<TKRConnectorThread> CreateThread() override {
        return std::make_unique<TFakeThread>(this, FT);
    }

private:
    TFakeTransport* FT;
};

}  // namespace connfake
