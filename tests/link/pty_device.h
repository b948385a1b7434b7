#pragma once
// A pseudo-terminal pair standing in for a serial device: the code under test opens the slave
// (SlavePath), the test plays the device on the master side.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

class PtyDevice {
public:
    PtyDevice() {
        fMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fMaster >= 0 && grantpt(fMaster) == 0 && unlockpt(fMaster) == 0)
            fSlave = ptsname(fMaster);
    }
    ~PtyDevice() { HangUp(); }
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    bool Ok() const { return fMaster >= 0 && !fSlave.empty(); }
    const std::string& SlavePath() const { return fSlave; }
    int MasterFd() const { return fMaster; }

    // Closing the master hangs the line up, like a USB adapter pulled out.
    void HangUp() {
        if (fMaster >= 0) close(fMaster);
        fMaster = -1;
    }

    bool Send(const std::vector<uint8_t>& bytes) {
        return write(fMaster, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    bool Send(const std::string& text) {
        return Send(std::vector<uint8_t>(text.begin(), text.end()));
    }

    // Waits up to ATimeout ms for `count` bytes written by the code under test.
    std::vector<uint8_t> Receive(size_t count, int ATimeout = 1000) {
        std::vector<uint8_t> out;
        while (out.size() < count) {
            pollfd p{fMaster, POLLIN, 0};
            if (poll(&p, 1, ATimeout) <= 0) break;
            uint8_t buf[256];
            const ssize_t n = read(fMaster, buf, std::min(sizeof buf, count - out.size()));
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

private:
    int fMaster = -1;
    std::string fSlave;
};
