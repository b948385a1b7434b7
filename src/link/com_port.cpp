#include "link/com_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "link/port_discovery.h"

struct TKRCOMPort::TSnapshot {
    std::string Port;
    int32_t InputBuffer, OutputBuffer;
    bool DiscardNull;
    char XonChar, XoffChar;
    bool XonXoffOut, XonXoffIn, OutCTSFlow;
    uint32_t ControlDTR, ControlRTS;
    int32_t Parity;
    bool ParityCheck;
    int32_t StopBits, BaudRate, DataBits;
    uint32_t ReadInterval, ReadMult, ReadConst, WriteMult, WriteConst;
    TKRCOMNotifyEvent OnConnected;
};

namespace {
using Clock = std::chrono::steady_clock;

speed_t SpeedOf(int32_t baud) {
    switch (baud) {
        case 50:
            return B50;
        case 75:
            return B75;
        case 110:
            return B110;
        case 134:
            return B134;
        case 150:
            return B150;
        case 200:
            return B200;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 1800:
            return B1800;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 500000:
            return B500000;
        case 576000:
            return B576000;
        case 921600:
            return B921600;
        case 1000000:
            return B1000000;
        case 1152000:
            return B1152000;
        case 1500000:
            return B1500000;
        case 2000000:
            return B2000000;
        case 2500000:
            return B2500000;
        case 3000000:
            return B3000000;
        case 3500000:
            return B3500000;
        case 4000000:
            return B4000000;
        default:
            return 0;
    }
}

// Builds the termios line settings; false when a value has no termios equivalent.
bool BuildLine(termios& t, const TKRCOMPort::TSnapshot& s);

// Milliseconds to the deadline, rounded up so that a wait never ends before it.
int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

// Waits until fd is ready for `events` or the time runs out (ATimeout < 0: no limit).
// 1 ready, 0 time-out, -1 the line is hung up or failed.
int WaitFd(int fd, short events, int ATimeout) {
    pollfd p{fd, events, 0};
    int r;
    do
        r = poll(&p, 1, ATimeout);
    while (r < 0 && errno == EINTR);
    if (r < 0) return -1;
    if (r == 0) return 0;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return -1;
    return (p.revents & events) ? 1 : 0;
}
}  // namespace

namespace {
// glibc reports EINVAL when a pseudo-terminal drops the parity bits it was asked for and nothing
// else changed (a second open with the same settings). A pty carries no parity anyway: the
// settings hold when all but the parity bits read back as set.
bool ParityDroppedByPty(int fd, const termios& AWanted) {
    struct stat st {};
    if (errno != EINVAL || fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned major = ::major(st.st_rdev);
    if (major < 136 || major > 143) return false;  // the kernel's pty slaves
    termios now{};
    if (tcgetattr(fd, &now) != 0) return false;
    const tcflag_t parity = PARENB | PARODD | CMSPAR;
    return (now.c_cflag & ~parity) == (AWanted.c_cflag & ~parity) &&
           cfgetospeed(&now) == cfgetospeed(&AWanted);
}

bool BuildLine(termios& t, const TKRCOMPort::TSnapshot& s) {
    const speed_t speed = SpeedOf(s.BaudRate);
    if (speed == 0 || cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return false;
    cfmakeraw(&t);  // binary mode: no echo, no canonical input, no character translation
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (s.DataBits) {
        case 5:
            t.c_cflag |= CS5;
            break;
        case 6:
            t.c_cflag |= CS6;
            break;
        case 7:
            t.c_cflag |= CS7;
            break;
        case 8:
            t.c_cflag |= CS8;
            break;
        default:
            return false;
    }
    switch (s.Parity) {
        case 0:
            break;  // none
        case 1:
            t.c_cflag |= PARENB | PARODD;
            break;  // odd
        case 2:
            t.c_cflag |= PARENB;
            break;  // even
        case 3:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;  // mark: parity bit always 1
        case 4:
            t.c_cflag |= PARENB | CMSPAR;
            break;  // space: parity bit always 0
        default:
            return false;
    }
    switch (s.StopBits) {
        case 0:
            break;  // one
        case 1:     // one and a half: what CSTOPB gives with 5 data bits
        case 2:
            t.c_cflag |= CSTOPB;
            break;  // two
        default:
            return false;
    }
    if (s.OutCTSFlow || s.ControlRTS == 2) t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~(INPCK | IGNPAR | PARMRK | IXON | IXOFF | IXANY);
    if (s.ParityCheck) t.c_iflag |= INPCK;
    if (s.XonXoffOut) t.c_iflag |= IXON;
    if (s.XonXoffIn) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(s.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(s.XoffChar);
    // Reads return at once with what has arrived; waiting is done with poll.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return true;
}
}  // namespace

TKRCOMPort::TKRCOMPort() = default;

TKRCOMPort::~TKRCOMPort() {
    Close();
}

TKRCOMPort::TSnapshot TKRCOMPort::Snapshot() const {
    std::lock_guard<std::mutex> lock(FLock);
    return TSnapshot{FPort,
                     FInputBuffer,
                     FOutputBuffer,
                     FDiscardNull,
                     FXonChar,
                     FXoffChar,
                     FXonXoffOut,
                     FXonXoffIn,
                     FOutCTSFlow,
                     FControlDTR,
                     FControlRTS,
                     FParity,
                     FParityCheck,
                     FStopBits,
                     FBaudRate,
                     FDataBits,
                     FReadIntervalTimeout,
                     FReadTotalTimeoutMultiplier,
                     FReadTotalTimeoutConstant,
                     FWriteTotalTimeoutMultiplier,
                     FWriteTotalTimeoutConstant,
                     FOnConnected};
}

void TKRCOMPort::Fail(int fd, int32_t AStep) {
    ::close(fd);  // also drops the flock
    FLastError.store(AStep);
}

bool TKRCOMPort::Open() {
    FLastError.store(leNone);
    if (FConnected.load()) return true;
    FOpenErrno.store(0);
    const TSnapshot s = Snapshot();

    // 1. Open for reading and writing, for this process only. O_NONBLOCK keeps open() from
    // waiting for carrier; TIOCEXCL turns away later opens, flock also those with root rights.
    const std::string path = PortDevicePath(QString::fromStdString(s.Port)).toStdString();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        FOpenErrno.store(errno);
        FLastError.store(leOpen);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        FOpenErrno.store(errno == EWOULDBLOCK ? EBUSY : errno);
        Fail(fd, leOpen);
        return false;
    }

    // 2. Buffers: the kernel's queue sizes are fixed; discard stale input (replies to an earlier
    // program). Output is kept: on a pseudo-terminal, flushing it would discard what the port's
    // previous user wrote and the other end has not read yet (a jump into the boot loader).
    if (s.InputBuffer <= 0 || s.OutputBuffer <= 0 || tcflush(fd, TCIFLUSH) != 0) {
        Fail(fd, leBuffers);
        return false;
    }

    // 3. Line settings.
    termios t{};
    if (tcgetattr(fd, &t) != 0 || !BuildLine(t, s) ||
        (tcsetattr(fd, TCSANOW, &t) != 0 && !ParityDroppedByPty(fd, t))) {
        Fail(fd, leSettings);
        return false;
    }
    // Modem lines; ttys without them (ptys) refuse the ioctl, which is not an error here.
    const int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    (void)ioctl(fd, s.ControlDTR == 0 ? TIOCMBIC : TIOCMBIS, &dtr);
    if (s.ControlRTS != 2) (void)ioctl(fd, s.ControlRTS == 0 ? TIOCMBIC : TIOCMBIS, &rts);

    // 4. Time-outs. All-ones in all three read fields is refused, as Windows does; the
    // descriptor stays non-blocking because every wait is bounded with poll.
    if ((s.ReadInterval == kMaxDword && s.ReadMult == kMaxDword && s.ReadConst == kMaxDword) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        Fail(fd, leTimeouts);
        return false;
    }

    {
        std::lock_guard<std::mutex> lock(FLock);
        FApplied = TKRCOMLineSettings{
            s.BaudRate,   s.DataBits,  s.Parity,     s.StopBits, (t.c_cflag & CRTSCTS) != 0,
            s.XonXoffOut, s.XonXoffIn, s.ParityCheck};
        FOpenReadInterval = s.ReadInterval;
        FOpenReadMult = s.ReadMult;
        FOpenReadConst = s.ReadConst;
        FOpenWriteMult = s.WriteMult;
        FOpenWriteConst = s.WriteConst;
        FOpenDiscardNull = s.DiscardNull;
    }
    FHandle.store(fd);
    FConnected.store(true);
    if (s.OnConnected) s.OnConnected(this);
    return true;
}

void TKRCOMPort::Close() {
    const int fd = FHandle.exchange(-1);
    FConnected.store(false);
    if (fd >= 0) ::close(fd);
}

void TKRCOMPort::PurgeInput() {
    const int fd = FHandle.load();
    if (fd >= 0) tcflush(fd, TCIFLUSH);
}

TKRCOMLineSettings TKRCOMPort::Applied() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FApplied;
}

int32_t TKRCOMPort::InputCount() const {
    const int fd = FHandle.load();
    int n = 0;
    if (fd < 0 || ioctl(fd, FIONREAD, &n) != 0 || n < 0) return 0;
    return n;
}

bool TKRCOMPort::WaitForInput(int32_t ATimeout, int AWakeFd) const {
    const int fd = FHandle.load();
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, ATimeout));
    pollfd p[2] = {{fd, POLLIN, 0}, {AWakeFd, POLLIN, 0}};
    const nfds_t n = AWakeFd >= 0 ? 2 : 1;
    if (fd >= 0) {
        int r;
        do
            r = poll(p, n, MsLeft(deadline));
        while (r < 0 && errno == EINTR);
        if (r <= 0) return false;
        if (n == 2 && (p[1].revents & POLLIN)) return false;
        if ((p[0].revents & POLLIN) && InputCount() > 0) return true;
    }
    // Hang-up, error or a closed port: nothing will arrive; wait out the time (or the wake fd).
    if (AWakeFd >= 0)
        WaitFd(AWakeFd, POLLIN, MsLeft(deadline));
    else if (MsLeft(deadline) > 0)
        poll(nullptr, 0, MsLeft(deadline));
    return false;
}

int32_t TKRCOMPort::Read(void* Buffer, int32_t Count) {
    const int fd = FHandle.load();
    if (fd < 0 || Count <= 0) return 0;
    uint32_t interval, mult, cnst;
    bool discardNull;
    {
        std::lock_guard<std::mutex> lock(FLock);
        interval = FOpenReadInterval;
        mult = FOpenReadMult;
        cnst = FOpenReadConst;
        discardNull = FOpenDiscardNull;
    }
    auto* out = static_cast<uint8_t*>(Buffer);
    int32_t got = 0;
    // With VMIN = VTIME = 0 a tty read returns 0 (not EAGAIN) when nothing waits.
    auto readSome = [&]() -> bool {  // false on a read error
        const ssize_t r = ::read(fd, out + got, static_cast<size_t>(Count - got));
        if (r < 0) return errno == EAGAIN || errno == EINTR;
        int32_t n = static_cast<int32_t>(r);
        if (discardNull)
            n = static_cast<int32_t>(std::remove(out + got, out + got + n, 0) - (out + got));
        got += n;
        return true;
    };

    const bool immediate = interval == kMaxDword && mult == 0 && cnst == 0;
    if (immediate) {
        readSome();
        return got;
    }
    // Interval all-ones with multiplier all-ones: return at once with what has arrived, or wait
    // up to the constant for the first byte.
    const bool firstByte = interval == kMaxDword && mult == kMaxDword;
    const uint64_t total = firstByte ? cnst : uint64_t(mult) * uint64_t(Count) + cnst;
    const bool limited = firstByte || total > 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(limited ? total : 0);
    while (got < Count) {
        const int32_t before = got;
        if (!readSome()) break;
        if (got > before && firstByte) break;
        if (got >= Count) break;
        int wait = limited ? MsLeft(deadline) : -1;
        if (got > 0 && interval != 0 && interval != kMaxDword)
            wait = wait < 0 ? int(interval) : std::min<int>(wait, int(interval));
        if (limited && wait == 0) break;
        const int ready = WaitFd(fd, POLLIN, wait);
        if (ready < 0) break;
        if (ready == 0) {
            if (got > 0 && interval != 0 && interval != kMaxDword) break;  // gap too long
            if (limited && MsLeft(deadline) == 0) break;
        }
    }
    return got;
}

int32_t TKRCOMPort::Write(const void* Buffer, int32_t Count) {
    const int fd = FHandle.load();
    if (fd < 0 || Count <= 0) return 0;
    uint32_t mult, cnst;
    {
        std::lock_guard<std::mutex> lock(FLock);
        mult = FOpenWriteMult;
        cnst = FOpenWriteConst;
    }
    const uint64_t total = uint64_t(mult) * uint64_t(Count) + cnst;
    const auto deadline = Clock::now() + std::chrono::milliseconds(total);
    const auto* in = static_cast<const uint8_t*>(Buffer);
    int32_t done = 0;
    while (done < Count) {
        const ssize_t w = ::write(fd, in + done, static_cast<size_t>(Count - done));
        if (w > 0) {
            done += static_cast<int32_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN) return 0;  // the line is gone (unplugged, hung up)
        const int wait = total > 0 ? MsLeft(deadline) : -1;
        if (wait == 0 || WaitFd(fd, POLLOUT, wait) != 1) break;
    }
    return done;
}

std::string TKRCOMPort::Port() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FPort;
}

void TKRCOMPort::SetPort(const std::string& Value) {
    std::lock_guard<std::mutex> lock(FLock);
    FPort = Value;
}

int32_t TKRCOMPort::FlowControl() const {
    std::lock_guard<std::mutex> lock(FLock);
    if (FControlRTS == 2 && FOutCTSFlow && !FXonXoffOut && !FXonXoffIn) return 1;
    if (FControlRTS == 0 && !FOutCTSFlow && FXonXoffOut && FXonXoffIn) return 2;
    if (FControlRTS != 0 || FOutCTSFlow || FXonXoffOut || FXonXoffIn) return 3;
    return 0;
}

void TKRCOMPort::SetFlowControl(int32_t Value) {
    if (Value == 3) return;
    std::lock_guard<std::mutex> lock(FLock);
    FControlRTS = 0;
    FOutCTSFlow = false;
    FXonXoffOut = false;
    FXonXoffIn = false;
    if (Value == 1) {
        FControlRTS = 2;
        FOutCTSFlow = true;
    } else if (Value == 2) {
        FXonXoffOut = true;
        FXonXoffIn = true;
    }
}
