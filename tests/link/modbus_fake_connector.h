#pragma once
// A connector whose worker answers every frame from a scripted responder instead of a transport.
// The responder runs on the worker thread; the frames it saw are kept for the test. The worker can
// be held inside an exchange so that packets pile up in the queue.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "link/connector.h"

namespace mbtest {

class TFakeConnector : public TKRConnector {
public:
    struct TReply {
        int32_t Error = 0;           // connector error code instead of a reply
        std::vector<uint8_t> Bytes;  // reply bytes
    };
    // One exchange as the worker saw it.
    struct TExchange {
        std::vector<uint8_t> Frame;
        int32_t RLen = 0;
        uint32_t Delimiter = 0;
        int32_t DelimiterLen = 0;
    };
    using TResponder = std::function<TReply(const std::vector<uint8_t>& AFrame)>;

    TFakeConnector() : TKRConnector(ctTCPClient) { InstallThread(); }
    ~TFakeConnector() override {
        Release();
        ShutdownThread();
    }

    void SetResponder(TResponder AResponder) {
        std::lock_guard lock(FLock);
        FResponder = std::move(AResponder);
    }
    std::vector<TExchange> Exchanges() const {
        std::lock_guard lock(FLock);
        return FExchanges;
    }
    // Makes the worker wait inside its next exchange until Release.
    void Hold() {
        std::lock_guard lock(FLock);
        FHeld = true;
    }
    void Release() {
        {
            std::lock_guard lock(FLock);
            FHeld = false;
        }
        FHeldChanged.notify_all();
    }
    // True once the worker is waiting inside an exchange.
    bool WorkerHeld() const {
        std::lock_guard lock(FLock);
        return FWaiting;
    }

protected:
    class TThread : public TKRConnectorThread {
    public:
        explicit TThread(TFakeConnector* AOwner) : TKRConnectorThread(AOwner), FOwner(AOwner) {}

    protected:
        void Exchange() override {
            TExchange ex;
            ex.Frame.assign(FPK->Pack->begin(), FPK->Pack->begin() + FPK->Length);
            ex.RLen = FPK->RLen;
            ex.Delimiter = FPK->Delimiter;
            ex.DelimiterLen = FPK->DelimiterLen;
            TReply reply = FOwner->Serve(ex);
            FPK->Error = reply.Error;
            if (reply.Error != 0) {
                FPK->Length = 0;
            } else {
                std::copy(reply.Bytes.begin(), reply.Bytes.end(), FPK->Pack->begin());
                ReceiveSucceeded(static_cast<int32_t>(reply.Bytes.size()));
            }
            Deliver();
        }

    private:
        TFakeConnector* const FOwner;
    };

    std::unique_ptr<TKRConnectorThread> CreateThread() override {
        return std::make_unique<TThread>(this);
    }

private:
    TReply Serve(const TExchange& AExchange) {
        std::unique_lock lock(FLock);
        FExchanges.push_back(AExchange);
        FWaiting = FHeld;
        FHeldChanged.wait(lock, [this] { return !FHeld; });
        FWaiting = false;
        return FResponder ? FResponder(AExchange.Frame) : TReply{};
    }

    mutable std::mutex FLock;
    std::condition_variable FHeldChanged;
    TResponder FResponder;
    std::vector<TExchange> FExchanges;
    bool FHeld = false;
    bool FWaiting = false;
};

}  // namespace mbtest
