#include "sim/sim_endpoints.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
struct BaudRow {
    uint32_t baud;
    speed_t speed;
};
constexpr std::array<BaudRow, 12> kBauds{{{1200, B1200},
                                          {2400, B2400},
                                          {4800, B4800},
                                          {9600, B9600},
                                          {19200, B19200},
                                          {38400, B38400},
                                          {57600, B57600},
                                          {115200, B115200},
                                          {230400, B230400},
                                          {460800, B460800},
                                          {500000, B500000},
                                          {921600, B921600}}};

speed_t SpeedOf(uint32_t baud) {
    for (const auto& row : kBauds)
        if (row.baud == baud) return row.speed;
    return B9600;
}

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}
}  // namespace

bool SimKnownBaud(uint32_t baud) {
    for (const auto& row : kBauds)
        if (row.baud == baud) return true;
    return false;
}

int SimOpenListener(const std::string& host, uint16_t port, uint16_t& boundPort,
                    std::string& error) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    const std::string ip = host == "localhost" ? "127.0.0.1" : host;
    if (inet_pton(AF_INET, ip.c_str(), &addr.sin_addr) != 1) {
        error = "not an IPv4 address: " + host;
        return -1;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = Errno("socket");
        return -1;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0) {
        error = Errno("TCP " + host + ":" + std::to_string(port));
        close(fd);
        return -1;
    }
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    boundPort = ntohs(addr.sin_port);
    return fd;
}

bool SimSetLine(int fd, uint32_t baud, char parity) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSTOPB | PARODD | CRTSCTS);
    t.c_cflag &= ~PARENB;
    if (parity == 'E' || parity == 'O') t.c_cflag |= PARENB;
    if (parity == 'O') t.c_cflag |= PARODD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetspeed(&t, SpeedOf(baud));
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool SimOpenPty(uint32_t baud, int& master, int& slave, std::string& path, std::string& error) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) {
        error = Errno("posix_openpt");
        return false;
    }
    std::array<char, 128> name{};
    if (grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name.data(), name.size()) != 0) {
        error = Errno("pseudo-terminal");
        close(master);
        master = -1;
        return false;
    }
    path = name.data();
    slave = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0 || !SimSetLine(slave, baud, 'N')) {
        error = Errno(path);
        if (slave >= 0) close(slave);
        close(master);
        master = slave = -1;
        return false;
    }
    return true;
}

int SimOpenTty(const std::string& device, uint32_t baud, char parity, std::string& error) {
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = Errno(device);
        return -1;
    }
    if (ioctl(fd, TIOCEXCL) != 0 || !SimSetLine(fd, baud, parity)) {
        error = Errno(device);
        close(fd);
        return -1;
    }
    return fd;
}

bool SimMakeLink(const std::string& link, const std::string& target, std::string& error) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link + " exists and is not a symbolic link";
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        error = Errno("symlink " + link);
        return false;
    }
    return true;
}
