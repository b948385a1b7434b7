#include "link/com_port.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <string>

#include "tests/link/pty_device.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fDevice.Ok());
        fPort.SetPort(fDevice.SlavePath());
        fPort.SetBaudRate(9600);
    }
    // Waits (bounded) until the port reports `count` waiting bytes.
    bool WaitForCount(TKRCOMPort& port, int32_t count) {
        const auto start = Clock::now();
        while (port.InputCount() < count) {
            if (MsSince(start) > 1000) return false;
            port.WaitForInput(50);
        }
        return true;
    }
    PtyDevice fDevice;
    TKRCOMPort fPort;
};

TEST_F(ComPortTest, StartsWithTheDocumentedSettings) {
    TKRCOMPort p;
    EXPECT_EQ(p.Port(), "COM1");
    EXPECT_FALSE(p.Connected());
    EXPECT_EQ(p.Handle(), -1);
    EXPECT_EQ(p.BaudRate(), 4800);
    EXPECT_EQ(p.DataBits(), 8);
    EXPECT_EQ(p.Parity(), 0);
    EXPECT_EQ(p.StopBits(), 0);
    EXPECT_EQ(p.InputBuffer(), 1024);
    EXPECT_EQ(p.OutputBuffer(), 1024);
    EXPECT_EQ(p.XonChar(), 17);
    EXPECT_EQ(p.XoffChar(), 19);
    EXPECT_EQ(p.ReadIntervalTimeout(), TKRCOMPort::kMaxDword);
    EXPECT_EQ(p.ReadTotalTimeoutConstant(), 0u);
    EXPECT_EQ(p.WriteTotalTimeoutMultiplier(), 100u);
    EXPECT_EQ(p.WriteTotalTimeoutConstant(), 1000u);
    EXPECT_EQ(p.FlowControl(), 0);
}

TEST_F(ComPortTest, OpensConfiguresAndExchangesBytes) {
    int connected = 0;
    fPort.SetOnConnected([&](TKRCOMPort* sender) {
        EXPECT_EQ(sender, &fPort);
        ++connected;
    });
    fPort.SetParity(3);  // mark: the pty drops it, the port's own record keeps it
    ASSERT_TRUE(fPort.Open());
    EXPECT_TRUE(fPort.Connected());
    EXPECT_GE(fPort.Handle(), 0);
    EXPECT_EQ(fPort.LastError(), 0);
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(fPort.Applied().BaudRate, 9600);
    EXPECT_EQ(fPort.Applied().Parity, 3);

    EXPECT_EQ(fPort.Write("\x01\x03\x00", 3), 3);
    EXPECT_EQ(fDevice.Receive(3), (std::vector<uint8_t>{1, 3, 0}));

    ASSERT_TRUE(fDevice.Send(std::vector<uint8_t>{0x01, 0x83, 0x02, 0xC0, 0xF1}));
    ASSERT_TRUE(WaitForCount(fPort, 5));
    uint8_t buf[16] = {};
    EXPECT_EQ(fPort.Read(buf, 3), 3);  // never more than asked
    EXPECT_EQ(fPort.InputCount(), 2);
    EXPECT_EQ(fPort.Read(buf + 3, 16), 2);
    EXPECT_EQ(buf[4], 0xF1);
    EXPECT_EQ(fPort.Read(buf, 16), 0);  // returns at once when nothing waits

    fPort.Close();
    EXPECT_FALSE(fPort.Connected());
    EXPECT_EQ(fPort.Read(buf, 16), 0);
    EXPECT_EQ(fPort.Write(buf, 1), 0);
    // Opened again with the same parity: the pty kept none, and the C library reports that as
    // an error when nothing else changed. The port opens all the same.
    ASSERT_TRUE(fPort.Open()) << fPort.LastError();
    fPort.Close();
    EXPECT_EQ(fPort.InputCount(), 0);
}

TEST_F(ComPortTest, OpeningDropsStaleInputButNotWhatTheOtherEndHasStillToRead) {
    // A frame written just before the port was closed (the jump into the boot loader) must
    // still reach the device when the port is opened again before the device read it.
    ASSERT_TRUE(fPort.Open());
    ASSERT_EQ(fPort.Write("\x01\x06\x00\x20\x04\xD2", 6), 6);
    fPort.Close();
    ASSERT_TRUE(fDevice.Send(std::vector<uint8_t>{0x55, 0xAA}));  // a reply nobody read
    ASSERT_TRUE(fPort.Open());
    EXPECT_EQ(fPort.InputCount(), 0);
    EXPECT_EQ(fDevice.Receive(6), (std::vector<uint8_t>{1, 6, 0, 0x20, 4, 0xD2}));
}

TEST_F(ComPortTest, OpenOnAnOpenPortReturnsTrueWithoutTouchingTheSettings) {
    int connected = 0;
    fPort.SetOnConnected([&](TKRCOMPort*) { ++connected; });
    ASSERT_TRUE(fPort.Open());
    const int handle = fPort.Handle();
    fPort.SetBaudRate(115200);
    fPort.SetDataBits(9);  // would fail a real open
    EXPECT_TRUE(fPort.Open());
    EXPECT_EQ(fPort.LastError(), 0);
    EXPECT_EQ(fPort.Handle(), handle);
    EXPECT_EQ(fPort.Applied().BaudRate, 9600);
    EXPECT_EQ(connected, 1);
}

TEST_F(ComPortTest, MissingPortFailsAtStepOne) {
    TKRCOMPort p;
    p.SetPort("ttyBENCHLORD_MISSING9");
    EXPECT_FALSE(p.Open());
    EXPECT_EQ(p.LastError(), 1);
    EXPECT_FALSE(p.Connected());
}

TEST_F(ComPortTest, PortHeldByAnotherOpenerFailsAtStepOne) {
    ASSERT_TRUE(fPort.Open());
    TKRCOMPort second;
    second.SetPort(fDevice.SlavePath());
    EXPECT_FALSE(second.Open());
    EXPECT_EQ(second.LastError(), 1);
    // Released by Close.
    fPort.Close();
    EXPECT_TRUE(second.Open());
}

struct BadSetting {
    const char* label;
    std::function<void(TKRCOMPort&)> apply;
    int32_t step;
};

class ComPortOpenSteps : public ComPortTest, public ::testing::WithParamInterface<BadSetting> {};

TEST_P(ComPortOpenSteps, FailedStepIsReportedAndThePortReleased) {
    GetParam().apply(fPort);
    EXPECT_FALSE(fPort.Open());
    EXPECT_EQ(fPort.LastError(), GetParam().step);
    EXPECT_FALSE(fPort.Connected());
    EXPECT_EQ(fPort.Handle(), -1);
    // Nothing stays locked: a correctly configured port opens the same line.
    TKRCOMPort other;
    other.SetPort(fDevice.SlavePath());
    EXPECT_TRUE(other.Open());
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ComPortOpenSteps,
    ::testing::Values(BadSetting{"ZeroInputBuffer", [](TKRCOMPort& p) { p.SetInputBuffer(0); }, 9},
                      BadSetting{"NegativeOutputBuffer",
                                 [](TKRCOMPort& p) { p.SetOutputBuffer(-5); }, 9},
                      BadSetting{"UnknownBaudRate", [](TKRCOMPort& p) { p.SetBaudRate(12345); }, 3},
                      BadSetting{"NineDataBits", [](TKRCOMPort& p) { p.SetDataBits(9); }, 3},
                      BadSetting{"ParityFive", [](TKRCOMPort& p) { p.SetParity(5); }, 3},
                      BadSetting{"StopBitsThree", [](TKRCOMPort& p) { p.SetStopBits(3); }, 3},
                      BadSetting{"AllOnesReadTimeouts",
                                 [](TKRCOMPort& p) {
                                     p.SetReadTotalTimeoutMultiplier(TKRCOMPort::kMaxDword);
                                     p.SetReadTotalTimeoutConstant(TKRCOMPort::kMaxDword);
                                 },
                                 4}),
    [](const ::testing::TestParamInfo<BadSetting>& info) { return info.param.label; });

TEST_F(ComPortTest, EveryBaudOfTheBaudListAndEveryParityOpens) {
    for (int baud : {2400, 4800, 9600, 19200, 38400, 57600, 115200}) {
        for (int parity = 0; parity <= 4; ++parity) {
            fPort.SetBaudRate(baud);
            fPort.SetParity(parity);
            fPort.SetStopBits(parity == 4 ? 2 : 0);
            ASSERT_TRUE(fPort.Open()) << baud << " " << parity << " " << fPort.LastError();
            EXPECT_EQ(fPort.Applied().BaudRate, baud);
            EXPECT_EQ(fPort.Applied().Parity, parity);
            fPort.Close();
        }
    }
}

struct FlowCase {
    int32_t set;
    uint32_t rts;
    bool cts, xonOut, xonIn;
    int32_t read;
};

class FlowControlMapping : public ::testing::TestWithParam<FlowCase> {};

std::string FlowCaseName(const ::testing::TestParamInfo<FlowCase>& AInfo) {
    static const char* const kNames[] = {"None", "Hardware", "Software", "Custom"};
    return kNames[AInfo.param.set];
}

TEST_P(FlowControlMapping, WritingAndReadingFollowTheFourSettings) {
    const FlowCase& c = GetParam();
    TKRCOMPort p;
    p.SetControlRTS(1);  // some prior state that any value but 3 clears
    p.SetXonXoffIn(true);
    p.SetFlowControl(c.set);
    if (c.set != 3) {
        EXPECT_EQ(p.ControlRTS(), c.rts);
        EXPECT_EQ(p.OutCTSFlow(), c.cts);
        EXPECT_EQ(p.XonXoffOut(), c.xonOut);
        EXPECT_EQ(p.XonXoffIn(), c.xonIn);
    } else {
        EXPECT_EQ(p.ControlRTS(), 1u);
        EXPECT_TRUE(p.XonXoffIn());
    }
    EXPECT_EQ(p.FlowControl(), c.read);
}

INSTANTIATE_TEST_SUITE_P(Values, FlowControlMapping,
                         ::testing::Values(FlowCase{0, 0, false, false, false, 0},
                                           FlowCase{1, 2, true, false, false, 1},
                                           FlowCase{2, 0, false, true, true, 2},
                                           FlowCase{3, 0, false, false, false, 3}),
                         FlowCaseName);

TEST(FlowControlRead, OtherCombinationsReadAsCustom) {
    TKRCOMPort p;
    p.SetOutCTSFlow(true);
    EXPECT_EQ(p.FlowControl(), 3);
    p.SetFlowControl(1);
    p.SetXonXoffOut(true);
    EXPECT_EQ(p.FlowControl(), 3);
    p.SetFlowControl(2);
    p.SetXonXoffIn(false);
    EXPECT_EQ(p.FlowControl(), 3);
}

TEST_F(ComPortTest, HardwareFlowReachesTheLineSettings) {
    fPort.SetFlowControl(1);
    ASSERT_TRUE(fPort.Open());
    EXPECT_TRUE(fPort.Applied().HardwareFlow);
    EXPECT_FALSE(fPort.Applied().XonXoffOut);
    fPort.Close();
    fPort.SetFlowControl(2);
    ASSERT_TRUE(fPort.Open());
    EXPECT_FALSE(fPort.Applied().HardwareFlow);
    EXPECT_TRUE(fPort.Applied().XonXoffOut && fPort.Applied().XonXoffIn);
}

TEST_F(ComPortTest, DiscardNullDropsZeroBytes) {
    fPort.SetDiscardNull(true);
    ASSERT_TRUE(fPort.Open());
    ASSERT_TRUE(fDevice.Send(std::vector<uint8_t>{0, 'A', 0, 'B'}));
    ASSERT_TRUE(WaitForCount(fPort, 4));
    uint8_t buf[8] = {};
    EXPECT_EQ(fPort.Read(buf, 8), 2);
    EXPECT_EQ(buf[0], 'A');
    EXPECT_EQ(buf[1], 'B');
}

TEST_F(ComPortTest, ReadTimeoutsBoundAWaitingRead) {
    // Interval and multiplier all-ones: wait up to the constant for the first byte.
    fPort.SetReadTotalTimeoutMultiplier(TKRCOMPort::kMaxDword);
    fPort.SetReadTotalTimeoutConstant(40);
    ASSERT_TRUE(fPort.Open());
    uint8_t buf[8];
    auto start = Clock::now();
    EXPECT_EQ(fPort.Read(buf, 8), 0);
    EXPECT_GE(MsSince(start), 39);

    ASSERT_TRUE(fDevice.Send("xy"));
    start = Clock::now();
    EXPECT_EQ(fPort.Read(buf, 8), 2);
    EXPECT_LT(MsSince(start), 1000);
    fPort.Close();

    // Totals: Count bytes or the total time, whichever comes first.
    fPort.SetReadIntervalTimeout(0);
    fPort.SetReadTotalTimeoutMultiplier(0);
    fPort.SetReadTotalTimeoutConstant(30);
    ASSERT_TRUE(fPort.Open());
    ASSERT_TRUE(fDevice.Send("abc"));
    start = Clock::now();
    EXPECT_EQ(fPort.Read(buf, 8), 3);
    EXPECT_GE(MsSince(start), 29);
}

TEST_F(ComPortTest, HungUpLineFailsWritesAndDoesNotSpinTheInputWait) {
    ASSERT_TRUE(fPort.Open());
    fDevice.HangUp();
    EXPECT_EQ(fPort.Write("\x01", 1), 0);
    const auto start = Clock::now();
    EXPECT_FALSE(fPort.WaitForInput(30));
    EXPECT_GE(MsSince(start), 29);
}

TEST_F(ComPortTest, WriteIsBoundedByTheWriteTimeouts) {
    fPort.SetWriteTotalTimeoutMultiplier(0);
    fPort.SetWriteTotalTimeoutConstant(30);
    ASSERT_TRUE(fPort.Open());
    // Nobody reads the master: the line's queues fill and the write runs out of time.
    std::vector<uint8_t> block(1 << 20, 0x55);
    const auto start = Clock::now();
    const int32_t n = fPort.Write(block.data(), static_cast<int32_t>(block.size()));
    EXPECT_GT(n, 0);
    EXPECT_LT(n, static_cast<int32_t>(block.size()));
    EXPECT_GE(MsSince(start), 29);
    EXPECT_LT(MsSince(start), 1000);
}

}  // namespace
