#include "link/port_notifier.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>

#include "tests/support/event_loop.h"

namespace {

// Events are queued in memory and announced by a byte on a pipe, as a udev monitor's socket
// becomes readable when events wait.
class PipeEventSource final : public TPortEventSource {
public:
    PipeEventSource() { EXPECT_EQ(pipe(fFds), 0); }
    ~PipeEventSource() override {
        close(fFds[0]);
        close(fFds[1]);
    }
    int Fd() const override { return fFds[0]; }
    std::vector<TPortEvent> Receive() override {
        char b[16];
        (void)!read(fFds[0], b, sizeof b);
        std::vector<TPortEvent> out;
        out.swap(fPending);
        return out;
    }
    void Announce(std::vector<TPortEvent> events) {
        fPending = std::move(events);
        ASSERT_EQ(write(fFds[1], "x", 1), 1);
    }

private:
    int fFds[2];
    std::vector<TPortEvent> fPending;
};

struct Seen {
    TPortChange change;
    QString name;
    bool onOwnerThread;
};

TEST(PortNotifier, DeliversArrivalAndRemovalWithTheNameOnTheOwnerThread) {
    testsupport::EnsureCoreApp();
    auto source = std::make_unique<PipeEventSource>();
    PipeEventSource* raw = source.get();
    std::vector<Seen> seen;
    QObject owner;
    TPortNotifier* sender = nullptr;
    auto* notifier = new TPortNotifier(
        std::move(source),
        [&](TPortNotifier* s, TPortChange change, const QString& name) {
            sender = s;
            seen.push_back({change, name, QThread::currentThread() == owner.thread()});
        },
        &owner);

    raw->Announce({{pcArrival, "ttyUSB0"}, {pcRemoval, "ttyACM1"}});
    ASSERT_TRUE(testsupport::ProcessUntil([&] { return seen.size() == 2; }, 1000));
    EXPECT_EQ(sender, notifier);
    EXPECT_EQ(seen[0].change, pcArrival);
    EXPECT_EQ(seen[0].name, "ttyUSB0");
    EXPECT_EQ(seen[1].change, pcRemoval);
    EXPECT_EQ(seen[1].name, "ttyACM1");
    EXPECT_TRUE(seen[0].onOwnerThread && seen[1].onOwnerThread);

    raw->Announce({{pcRemoval, "ttyUSB0"}});
    ASSERT_TRUE(testsupport::ProcessUntil([&] { return seen.size() == 3; }, 1000));
    EXPECT_EQ(seen[2].change, pcRemoval);
}

TEST(PortNotifier, OnlyPortsAreOfInterest) {
    EXPECT_TRUE(IsPortEvent("ttyUSB0", "/devices/pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0"));
    EXPECT_TRUE(IsPortEvent("rfcomm0", "/devices/virtual/tty/rfcomm0"));
    EXPECT_FALSE(IsPortEvent("tty5", "/devices/virtual/tty/tty5"));
    EXPECT_FALSE(IsPortEvent("", "/devices/pci0000:00/x"));
}

}  // namespace
