#include "cli/cli_messages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QStringList>
#include <array>

#include "link/connector_texts.h"
#include "link/modbus_errors.h"

namespace {

// Standard Modbus exception codes 1..8.
const std::array<const char*, 9> kExceptions = {
    "",
    "illegal function",
    "illegal data address",
    "illegal data value",
    "slave device failure",
    "acknowledge",
    "slave device busy",
    "negative acknowledge",
    "memory parity error",
};

// Processing errors -1..-12.
const std::array<const char*, 12> kProcessing = {
    "no link to send on",
    "reply with a wrong transaction id",
    "reply too short for its frame",
    "reply with a bad checksum",
    "reply for another function",
    "request too long to frame",
    "reply shorter than its data",
    "request queue full",
    "time-out",
    "request could not be sent",
    "link not active",
    "client off",
};

QString TransportText(int32_t AConnectorError) {
    switch (AConnectorError) {
        case cerQueueOverflow:
            return "request queue full";
        case cerNotConnected:
            return "not connected";
        case cerSendFailed:
            return "the request could not be sent";
        case cerNoAnswer:
            return "no answer";
        case cerSendTimeout:
            return "time-out while sending";
        case cerReceiveTimeout:
            return "no reply within the read time-out";
        case cerNotActive:
            return "link closed";
        default:
            return "transport failure " + QString::number(AConnectorError);
    }
}

}  // namespace

QString ResultText(int32_t ACode) {
    std::string level;
    const QString system = QString::fromStdString(ModbusErrorMsg(ACode, level));
    return WithSystemText(ResultEnglish(ACode), system);
}

QString ResultEnglish(int32_t ACode) {
    QString english;
    if (ACode > 0) {
        english = "device exception " + QString::number(ACode);
        if (ACode < static_cast<int32_t>(kExceptions.size()))
            english += QString(": ") + kExceptions[ACode];
    } else if (ACode > kMBTransportBase) {
        const int32_t index = -ACode - 1;
        english = "link error " + QString::number(ACode);
        if (index < static_cast<int32_t>(kProcessing.size()))
            english += QString(": ") + kProcessing[index];
    } else {
        english = "link error: " + TransportText(kMBTransportBase - ACode);
    }
    return english;
}

QString WithSystemText(const QString& AEnglish, const QString& ASystem) {
    const QString system =
        ASystem.split(QRegularExpression("[\r\n]+"), Qt::SkipEmptyParts).join(' ').trimmed();
    return system.isEmpty() ? AEnglish : AEnglish + " (" + system + ")";
}

bool ExistsButIsNoTerminal(const QString& APath) {
    const QByteArray path = APath.toLocal8Bit();
    struct stat st {};
    if (stat(path.constData(), &st) != 0) return false;
    if (!S_ISCHR(st.st_mode)) return true;
    // A character device: only a terminal answers isatty. Opening without blocking and without
    // becoming its controlling terminal changes nothing on the line.
    const int fd = open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool terminal = isatty(fd) == 1;
    close(fd);
    return !terminal;
}
