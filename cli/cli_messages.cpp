#include "cli/cli_messages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QStringList>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "link/connector_texts.h"
#include "link/modbus_errors.h"
#include "link/serial_access.h"

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
    if (ACode > 0) {
        QString english = "device exception " + QString::number(ACode);
        if (ACode < static_cast<int32_t>(kExceptions.size()))
            english += QString(": ") + kExceptions[ACode];
        return english;
    }
    if (ACode > kMBTransportBase) {
        const int32_t index = -ACode - 1;
        QString english = "link error " + QString::number(ACode);
        if (index < static_cast<int32_t>(kProcessing.size()))
            english += QString(": ") + kProcessing[index];
        return english;
    }
    return "link error: " + TransportText(kMBTransportBase - ACode);
}

QString ResultEnglish(int32_t ACode) {
    return ResultText(ACode);
}

QString LostText(int32_t ALastFailure, int ARepeats, const TLossFacts& AFacts) {
    const QString lost = "connection lost: ";
    const QString times = QString::number(std::max(ARepeats, 1));
    // Exception replies prove that the supply answers: it refused what was asked.
    if (ALastFailure > 0) {
        QString name;
        if (ALastFailure < static_cast<int32_t>(kExceptions.size()))
            name = QString(" (") + kExceptions[ALastFailure] + ")";
        return lost + "the supply answered exception " + QString::number(ALastFailure) + name +
               ", " + times + " in a row";
    }
    if (AFacts.Tcp && ALastFailure == MBTransportError(cerNotConnected) && AFacts.ConnectErrno)
        return lost +
               (AFacts.PeerClosed ? "the bridge closed the connection and refused to reconnect ("
                                  : "the bridge could not be reached again (") +
               ConnectErrnoText(AFacts.ConnectErrno) + ")";
    if (AFacts.Tcp && AFacts.PeerClosed) return lost + "the bridge closed the connection";
    // The supply answered, but with replies the link could not take.
    const bool garbled = ALastFailure <= mbeBadID && ALastFailure >= mbeDataLength &&
                         ALastFailure != mbeModbusLength;
    if (!garbled || ARepeats <= 0) return lost + "the supply stopped answering";
    return lost + kProcessing[-ALastFailure - 1] + " (" + times + " in a row)";
}

QString EscapeControls(const QString& AText) {
    QString out;
    out.reserve(AText.size());
    for (const QChar c : AText) {
        const char16_t u = c.unicode();
        if (u == '\n' || (u >= 0x20 && u != 0x7f && (u < 0x80 || u > 0x9f)))
            out += c;
        else
            out += QString("\\x%1").arg(uint(u), 2, 16, QChar('0'));
    }
    return out;
}

QString KeysHeldText(const QString& ACommand) {
    return ACommand +
           ": the keys are locked by another program: a run may be going on (the window, "
           "serve-scpi, another benchlordctl); nothing was changed. Wait for it to end, or take "
           "the keys over with --take-over (keys left locked by --keep-lock)";
}

QString ConnectErrnoText(int AErrno) {
    switch (AErrno) {
        case ECONNREFUSED:
            return "connection refused";
        case EHOSTUNREACH:
        case ENETUNREACH:
            return "no route to host";
        case ETIMEDOUT:
            return "timed out";
        default:
            return QString::fromLocal8Bit(std::strerror(AErrno)).toLower();
    }
}

QString SerialPathProblem(const QString& APath) {
    struct stat st {};
    if (stat(APath.toLocal8Bit().constData(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return APath + ": no such serial port";
    if (ExistsButIsNoTerminal(APath)) return APath + ": not a serial port";
    return {};
}

QString SerialOpenFailure(const QString& APath, int AErrno) {
    if (AErrno == ENOENT || AErrno == ENODEV || AErrno == ENXIO)
        return APath + ": no such serial port";
    if (ExistsButIsNoTerminal(APath)) return APath + ": not a serial port";
    // The busy text on one line, as it always was; the permission advice keeps its commands on
    // lines of their own.
    const std::string advice =
        SerialAccessAdvice(APath.toStdString(), AErrno, AErrno == EBUSY ? " " : "\n");
    if (!advice.empty()) return QString::fromStdString(advice);
    return "cannot open " + APath + ": " +
           (AErrno != 0 ? QString::fromLocal8Bit(std::strerror(AErrno)).toLower()
                        : QString("the port could not be opened"));
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
