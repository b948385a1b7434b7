#include "session/link_choice.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <QRegularExpression>

#include "session/session_core.h"

QString ResolveIPv4(const QString& AHost, QString* AError) {
    static const QRegularExpression dotted(R"(^\d{1,3}(\.\d{1,3}){3}$)");
    if (dotted.match(AHost).hasMatch()) return AHost;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(AHost.toUtf8().constData(), nullptr, &hints, &found);
    if (rc != 0 || found == nullptr) {
        if (AError)
            *AError = "Cannot resolve " + AHost + ": " + QString::fromUtf8(gai_strerror(rc));
        return {};
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    freeaddrinfo(found);
    return QString::fromLatin1(text);
}

int FindPortIndex(const TSerialPortList& AList, const QString& AName) {
    for (size_t i = 0; i < AList.size(); ++i) {
        const QString& shortName = AList[i].ShortName;
        if (shortName == "TCP") continue;
        if (shortName == AName || PortDevicePath(shortName) == PortDevicePath(AName))
            return static_cast<int>(i);
    }
    return -1;
}

QString SerialPath(const QString& APort) {
    return APort.contains('/') ? APort : PortDevicePath(APort);
}

int BaudIndexOf(int32_t ABaud) {
    for (int i = 0; i < kBaudCount; ++i)
        if (kBaudRates[i] == ABaud) return i;
    return -1;
}
