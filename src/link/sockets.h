#pragma once
// Thin socket layer over BSD sockets. Every socket is non-blocking; every wait is a poll with a
// time-out that also watches an optional abort descriptor (the worker's stop event), so a
// stopping worker never sits out a long time-out.

#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

class TKRSocket;

class EKRSocketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Called with the platform error code (errno) whenever a socket call fails.
using TSocketErrorEvent = std::function<void(TKRSocket* Sender, int32_t SocketError)>;

class TKRSocket {
public:
    TKRSocket();
    virtual ~TKRSocket();
    TKRSocket(const TKRSocket&) = delete;
    TKRSocket& operator=(const TKRSocket&) = delete;

    // Creates the socket (when there is none) and makes it non-blocking.
    virtual void Open();
    virtual void Close();

    // Waits up to TimeOut ms (negative: no limit) for the conditions whose flags are given;
    // each given flag receives whether its condition holds. True when any holds.
    bool Select(int ASocket, bool* ReadReady, bool* WriteReady, bool* ExceptFlag, int32_t TimeOut);

    bool Active() const { return FActive.load(); }
    int Handle() const { return FSocket.load(); }
    uint32_t ID() const { return FID; }
    int AF() const { return FAF; }
    int PROTO() const { return FPROTO; }
    int SocketType() const { return FSType; }
    void SetOnError(TSocketErrorEvent AEv) { FOnError = std::move(AEv); }
    // A descriptor that ends every wait early once it becomes readable; -1 for none.
    void SetAbortFd(int AFd) { FAbortFd.store(AFd); }

protected:
    // Passes errno of a failed call (result -1) to OnError; returns the result unchanged.
    long CheckError(long AResult);

    std::atomic<bool> FActive{false};
    TSocketErrorEvent FOnError;
    uint32_t FID;
    int FAF = 2;  // AF_INET
    int FPROTO = 0;
    std::atomic<int> FSocket{-1};
    int FSType = 1;  // SOCK_STREAM
    std::atomic<int> FAbortFd{-1};
};

class TKRSocketClient : public TKRSocket {
public:
    // Shuts a connected socket down in both directions, then closes it.
    void Close() override;

    long SendBuf(const void* Buf, long BufSize, int Flags = 0);
    long ReceiveBuf(void* Buf, long BufSize, int Flags = 0);
    // As ReceiveBuf, and when the socket has receive time stamps on (SetReceiveStamps), when the
    // data reached this host, on the steady clock in microseconds; 0 when unknown.
    long ReceiveBufStamped(void* Buf, long BufSize, int64_t& AArrivalUs);
    // Asks the system to stamp received data with its arrival time.
    void SetReceiveStamps();
    long SendBufTo(const void* Buf, long BufSize, int Flags, const std::string& AAddr,
                   uint16_t APort);
    long ReceiveBufFrom(void* Buf, long BufSize, int Flags);

    bool WaitForRead(int32_t ATimeOut);
    bool WaitForWrite(int32_t ATimeOut);
    // Readable and at least one byte can be peeked.
    bool WaitForData(int32_t ATimeOut);
    bool WaitForDataFrom(int32_t ATimeOut);
    // No byte waits (or an error, or the peer closed).
    bool IsReadBufferEmpty();

    bool Connected() const { return FConnected.load(); }

protected:
    std::atomic<bool> FConnected{false};
};

// Parses a dotted IPv4 address of four decimal numbers 0..255 (leading zeros and surrounding
// blanks allowed, so "192.168.001.010" is 192.168.1.10) into network byte order.
bool KRParseIPv4(const std::string& AAddr, uint32_t& ANetAddr);
