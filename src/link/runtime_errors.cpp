#include "link/runtime_errors.h"

std::recursive_mutex& KRRuntimeErrorLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::string KRRuntimeDescription(std::string_view APrefix, std::string_view AName,
                                 std::string_view ASuffix) {
    std::string s;
    s.reserve(APrefix.size() + AName.size() + ASuffix.size() + 2);
    s.append(APrefix).append(1, '"').append(AName).append(1, '"').append(ASuffix);
    return s;
}

void TKRRuntimeErrorSlot::Set(TKRRuntimeErrorEv AHandler) {
    std::lock_guard lock(KRRuntimeErrorLock());
    FHandler = std::move(AHandler);
}

TKRRuntimeErrorEv TKRRuntimeErrorSlot::Get() const {
    std::lock_guard lock(KRRuntimeErrorLock());
    return FHandler;
}

void TKRRuntimeErrorSlot::Report(QObject* ASender, const std::string& ADescription,
                                 const std::exception& AException) const {
    std::lock_guard lock(KRRuntimeErrorLock());
    if (!FHandler) return;
    try {
        FHandler(ASender, ADescription, AException);
    } catch (...) {
        // A failing error handler has nowhere left to report to.
    }
}
