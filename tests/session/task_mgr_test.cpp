#include "session/task_mgr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/event_loop.h"

using testsupport::ProcessFor;
using testsupport::ProcessUntil;

namespace {

// Binds a recording handler to every job; handlers do not answer unless told to.
struct TTaskHarness {
    TLN_TaskMgr mgr{1};
    std::vector<std::string> served;
    int timeouts = 0;
    int errors = 0;
    bool answer = false;  // call Callback from inside each handler (a reply at once)

    TTaskHarness() {
        mgr.SetTimeout(40);
        auto bind = [this](TTaskNotifyEvent& slot, const char* name) {
            slot = [this, name](TLN_TaskMgr* sender) {
                EXPECT_EQ(sender, &mgr);
                served.emplace_back(name);
                if (answer) mgr.Callback();
            };
        };
        bind(mgr.fOnReadMemNum, "ReadMemNum");
        bind(mgr.fOnReadMemNumAndCounters, "ReadMemNumAndCounters");
        bind(mgr.fOnWriteOnOff, "WriteOnOff");
        bind(mgr.fOnReadGlobalData, "ReadGlobalData");
        bind(mgr.fOnWriteGlobalData, "WriteGlobalData");
        bind(mgr.fOnReadCalibData, "ReadCalibData");
        bind(mgr.fOnWriteCalibCmd, "WriteCalibCmd");
        bind(mgr.fOnWriteMemNum, "WriteMemNum");
        bind(mgr.fOnWriteMemory, "WriteMemory");
        bind(mgr.fOnWriteCommand, "WriteCommand");
        bind(mgr.fOnReadSetData, "ReadSetData");
        bind(mgr.fOnReadMemory, "ReadMemory");
        bind(mgr.fOnWriteSetData, "WriteSetData");
        bind(mgr.fOnWriteBled, "WriteBled");
        bind(mgr.fOnReadTemperature, "ReadTemperature");
        bind(mgr.fOnReadDebugData, "ReadDebugData");
        bind(mgr.fOnReadData, "ReadData");
        bind(mgr.fOnWriteJumpBoot, "WriteJumpBoot");
        mgr.fOnTimeout = [this](TLN_TaskMgr*) { ++timeouts; };
        mgr.fOnError = [this](TLN_TaskMgr*) { ++errors; };
    }

    // Processes events until n jobs have been served.
    bool Serve(size_t n, int ms = 1000) {
        return ProcessUntil([&] { return served.size() >= n; }, ms);
    }
};

class TaskMgrTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::EnsureCoreApp(); }
};

TEST_F(TaskMgrTest, AllJobsRequestedInReverseAreServedInFixedOrderThenPolling) {
    TTaskHarness h;
    h.answer = true;
    h.mgr.Start();
    // Requested in reverse order of priority, some twice: each is served once, in priority order.
    h.mgr.ReadDebugData();
    h.mgr.ReadTemperature();
    h.mgr.WriteBled();
    h.mgr.WriteSetData();
    h.mgr.WriteSetData();
    h.mgr.ReadMemory();
    h.mgr.ReadMemory();
    h.mgr.ReadMemory();
    h.mgr.ReadSetData();
    h.mgr.WriteCommand();
    h.mgr.WriteMemory();
    h.mgr.WriteMemNum();
    h.mgr.WriteCalibCmd();
    h.mgr.ReadCalibData();
    h.mgr.WriteGlobalData();
    h.mgr.ReadGlobalData();
    h.mgr.WriteOnOff();
    h.mgr.ReadMemNumAndCounters();
    h.mgr.ReadMemNum();
    ASSERT_TRUE(h.Serve(19));
    const std::vector<std::string> expected = {"ReadMemNum",      "ReadMemNumAndCounters",
                                               "WriteOnOff",      "ReadGlobalData",
                                               "WriteGlobalData", "ReadCalibData",
                                               "WriteCalibCmd",   "WriteMemNum",
                                               "WriteMemory",     "WriteCommand",
                                               "ReadSetData",     "ReadMemory",
                                               "WriteSetData",    "WriteBled",
                                               "ReadTemperature", "ReadDebugData",
                                               "ReadData",        "ReadData",
                                               "ReadData"};
    h.served.resize(expected.size());
    EXPECT_EQ(h.served, expected);
    EXPECT_EQ(h.timeouts, 0);
    EXPECT_EQ(h.errors, 0);
}

TEST_F(TaskMgrTest, JobRequestedDuringServiceWaitsForItsTurn) {
    TTaskHarness h;
    h.mgr.Start();
    h.mgr.ReadMemory();
    h.mgr.WriteOnOff();
    ASSERT_TRUE(h.Serve(1));
    EXPECT_EQ(h.served.back(), "WriteOnOff");
    h.mgr.Callback();
    ASSERT_TRUE(h.Serve(2));
    EXPECT_EQ(h.served.back(), "ReadMemory");
}

TEST_F(TaskMgrTest, ImmediateCompletionInsideHandlerDoesNotWaitForTimeout) {
    TTaskHarness h;
    h.mgr.SetTimeout(5000);
    h.answer = true;
    h.mgr.Start();
    // With the 5 s response wait, 20 polls in a second are only possible if a Callback made
    // from inside the handler wins over the response wait.
    ASSERT_TRUE(h.Serve(20, 1000));
    EXPECT_EQ(h.timeouts, 0);
}

TEST_F(TaskMgrTest, SilentDeviceRaisesTimeoutsThenErrorAfterThreeRequests) {
    TTaskHarness h;
    h.mgr.Start();
    ASSERT_TRUE(ProcessUntil([&] { return h.errors > 0; }, 2000));
    // Three requests were sent; the tick that would send the fourth raises the error instead.
    EXPECT_EQ(h.served.size(), 3u);
    EXPECT_EQ(h.timeouts, 1);
    EXPECT_FALSE(h.mgr.Running());
    ProcessFor(150);
    EXPECT_EQ(h.served.size(), 3u);
    EXPECT_EQ(h.errors, 1);
    // A late reply does not bring the stopped scheduler back.
    h.mgr.Callback();
    ProcessFor(100);
    EXPECT_EQ(h.served.size(), 3u);
}

TEST_F(TaskMgrTest, ReplyResetsTheLostCount) {
    TTaskHarness h;
    h.mgr.Start();
    // Two lost, one answered, two lost: never three in a row.
    ASSERT_TRUE(h.Serve(3, 1000));
    EXPECT_EQ(h.mgr.ErrorCount(), 3u);
    h.mgr.Callback();
    EXPECT_EQ(h.mgr.ErrorCount(), 0u);
    ASSERT_TRUE(h.Serve(5, 1000));
    ProcessFor(20);
    EXPECT_EQ(h.errors, 0);
    ASSERT_TRUE(ProcessUntil([&] { return h.errors > 0; }, 1000));
    EXPECT_EQ(h.served.size(), 6u);
}

TEST_F(TaskMgrTest, JumpBootLeavesSchedulerSilent) {
    TTaskHarness h;
    h.mgr.Start();
    h.mgr.WriteOnOff();
    h.mgr.WriteJumpBoot();
    ASSERT_TRUE(h.Serve(1));
    // The jump to the boot loader goes before any other job and leaves the timer stopped.
    EXPECT_EQ(h.served.front(), "WriteJumpBoot");
    EXPECT_EQ(h.mgr.ErrorCount(), 1u);
    EXPECT_FALSE(h.mgr.Running());
    ProcessFor(150);
    EXPECT_EQ(h.served.size(), 1u);
    EXPECT_EQ(h.timeouts, 0);
    EXPECT_EQ(h.errors, 0);
}

TEST_F(TaskMgrTest, StopKeepsPendingAndStartDiscardsIt) {
    TTaskHarness h;
    h.mgr.ReadMemory();  // allowed while stopped
    h.mgr.Start();       // discards it
    h.mgr.Stop();
    h.mgr.WriteBled();
    ProcessFor(30);
    EXPECT_TRUE(h.served.empty());
    h.mgr.Start();
    ASSERT_TRUE(h.Serve(1));
    EXPECT_EQ(h.served.front(), "ReadData");
}

TEST_F(TaskMgrTest, StopInsideHandlerEndsTicking) {
    TTaskHarness h;
    h.mgr.fOnReadData = [&](TLN_TaskMgr* s) {
        h.served.emplace_back("ReadData");
        s->Stop();
    };
    h.mgr.Start();
    ASSERT_TRUE(h.Serve(1));
    ProcessFor(120);
    EXPECT_EQ(h.served.size(), 1u);
    EXPECT_EQ(h.timeouts, 0);
}

TEST_F(TaskMgrTest, JobWithoutHandlerIsConsumed) {
    TTaskHarness h;
    h.answer = true;
    h.mgr.fOnReadMemory = nullptr;
    h.mgr.Start();
    h.mgr.ReadMemory();
    h.mgr.WriteBled();
    // The unhandled job costs one response wait, then the next job follows.
    ASSERT_TRUE(h.Serve(1, 1000));
    EXPECT_EQ(h.served.front(), "WriteBled");
    EXPECT_EQ(h.timeouts, 1);
}

}  // namespace
