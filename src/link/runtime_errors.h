#pragma once
// Runtime-error reporting shared by every component of the link. Handlers are read, written and
// called under one process-wide lock; a report runs on the thread where the error was caught.

#include <QObject>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

// Sender is the reporting component (connector or master), ADescription names the component and
// the routine, AException is the caught exception.
using TKRRuntimeErrorEv = std::function<void(QObject* Sender, const std::string& ADescription,
                                             const std::exception& AException)>;

// The process-wide lock. Recursive, so a handler may read or replace handlers itself.
std::recursive_mutex& KRRuntimeErrorLock();

// "<prefix>" + '"' + name + '"' + "<suffix>", the layout of every runtime-error description.
std::string KRRuntimeDescription(std::string_view APrefix, std::string_view AName,
                                 std::string_view ASuffix);

// Places and routines named in descriptions.
namespace krre {
inline constexpr std::string_view kMasterPrefix = "TKRMBThread[FModbus.Name=";
inline constexpr std::string_view kMasterDoRTU = "] procedure DoRTU;";
inline constexpr std::string_view kMasterDoTCP = "] procedure DoTCP;";
inline constexpr std::string_view kMasterDoASCII = "] procedure DoASCII;";
inline constexpr std::string_view kMasterCallBack = "] procedure _CallBack; ";

inline constexpr std::string_view kConnectorPrefix = "TKRConnector[FConnector.Name=";
inline constexpr std::string_view kConnectorWndProc = "] procedure WndProc;";

inline constexpr std::string_view kWorkerPrefix = "TKRConnectorThreadOut[FConnector.Name=";
inline constexpr std::string_view kWorkerExecute = "] procedure Execute;";

inline constexpr std::string_view kCOMPortPrefix = "TKRCOMPortThread[FConnector.Name=";
inline constexpr std::string_view kCOMPortOpen = "; procedure _exec; FComPort.Open;";
inline constexpr std::string_view kCOMPortWrite =
    "; procedure _exec; n:=FComPort.Write(FPk^.Pack^,FPk^.Length);";
inline constexpr std::string_view kCOMPortReceive =
    "; procedure _exec; n:=FComPort.ReceiveBuf(FPack.Pack^,255);";

inline constexpr std::string_view kTCPPrefix = "TKRTCPThread[FConnector.Name=";
inline constexpr std::string_view kTCPOpen = "; procedure _exec; FTcpClient.Open;";
inline constexpr std::string_view kTCPSend =
    "; procedure _exec; n:=FTCPClient.SendBuf(FPack.Pack^,FPack.Length);";
inline constexpr std::string_view kTCPReceive =
    "; procedure _exec; n:=FTCPClient.ReceiveBuf(FPack.Pack^,255);";
}  // namespace krre

// One component's OnRuntimeError event. Every access takes the process-wide lock.
class TKRRuntimeErrorSlot {
public:
    void Set(TKRRuntimeErrorEv AHandler);
    TKRRuntimeErrorEv Get() const;
    // Calls the handler (when set) under the lock. Exceptions thrown by the handler are swallowed:
    // the reporting path must never fail.
    void Report(QObject* ASender, const std::string& ADescription,
                const std::exception& AException) const;

private:
    TKRRuntimeErrorEv FHandler;
};

// Wraps a non-standard exception caught with catch (...) so it can be reported.
class EKRUnknownError : public std::exception {
public:
    const char* what() const noexcept override { return "unknown exception"; }
};
