#include "link/kr_event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

TKREvent::TKREvent(bool AInitialState) {
    FFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (FFd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    if (AInitialState) Set();
}

TKREvent::~TKREvent() {
    ::close(FFd);
}

void TKREvent::Set() {
    // The counter only grows; any non-zero value means "set".
    uint64_t one = 1;
    while (::write(FFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void TKREvent::Reset() {
    uint64_t value;
    while (::read(FFd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

bool TKREvent::IsSet() const {
    return Wait(0);
}

bool TKREvent::Wait(int32_t ATimeout) const {
    return KRWaitForAny({this}, ATimeout) == 0;
}

int KRWaitForAny(std::initializer_list<const TKREvent*> AEvents, int32_t ATimeout) {
    std::vector<pollfd> fds;
    fds.reserve(AEvents.size());
    for (const TKREvent* e : AEvents)
        fds.push_back({e->Fd(), POLLIN, 0});
    for (;;) {
        int n = ::poll(fds.data(), fds.size(), ATimeout < 0 ? -1 : ATimeout);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -2;
        if (n == 0) return -1;
        for (size_t i = 0; i < fds.size(); ++i)
            if (fds[i].revents & POLLIN) return static_cast<int>(i);
        return -2;
    }
}
