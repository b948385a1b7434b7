// benchlordctl flash against the virtual supply's pty: a whole update from the running firmware
// back to the running firmware, and the exit code of every way it can fail.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>

#include "link/com_port.h"
#include "sim/sim_device.h"
#include "tests/cli/cli_harness.h"

namespace {

using clitest::TCliHarness;
using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(i * 29 + (i >> 8));
    return b;
}

// The harness of these runs waits for Modbus replies and the boot loader's answers far longer
// than they take: on a loaded machine a slow answer must not become a lost link or a failed
// step (answers were seen to stall for a third of a second with two test programs and two
// busy loops on two cores). A silent step costs up to two seconds.
class TFlashHarness : public TCliHarness {
public:
    explicit TFlashHarness(testsupport::TSupplyConfig AConfig) : TCliHarness(AConfig) {
        config.Timings.ResponseTimeout = 2000;
        config.SerialWaitResp = 2000;
        config.Flasher.Activation = 1000;
        config.Flasher.Command = 2000;  // also the time an interrupt has to come in
        config.Flasher.ReadAck = 2000;
        config.Flasher.ReadData = 2000;
    }
};

testsupport::TSupplyConfig PtySupply(std::function<void(SimBootOptions&)> AFaults = nullptr) {
    testsupport::TSupplyConfig c = TCliHarness::DefaultSupply();
    c.pty = true;
    c.tweak = [AFaults](VirtualSupplyOptions& o) {
        if (AFaults) AFaults(o.boot);
    };
    return c;
}

class CliFlashTest : public ::testing::Test {
protected:
    QString File(const Bytes& AData, const char* AName = "fw.bin") {
        const QString path = dir.filePath(AName);
        std::ofstream(path.toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(AData.data()), std::streamsize(AData.size()));
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(CliFlashTest, UpdatesTheRunningSupplyAndPrintsEveryStep) {
    TFlashHarness h(PtySupply());
    const Bytes image = Pattern(1000);
    const clitest::TCliRun run = h.Run(h.Pty() << "flash" << File(image), nullptr, 8000);
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out,
              "Activating device: OK\nFile fw.bin\nFile size is 1000\nBootloader version : 2.2\n"
              "Device : STM32F10x \nErase complete OK\nWritting ...\nFile is written OK\n"
              "Verification ...\nVerify OK\nStarted OK\n");
    const Bytes flash = h.supply->FlashImage();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_FALSE(h.supply->InBootloader()) << "the new firmware runs";
    // The jump was the last Modbus write: no key release went to the boot loader.
    const auto writes = h.supply->Writes();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().start, simreg::CMD);
    EXPECT_EQ(writes.back().values, std::vector<uint16_t>{1234});
}

// One failing update: the supply's boot faults, the arguments after the link, the exit code and
// the end of the error text.
struct FlashFailure {
    const char* name;
    std::function<void(SimBootOptions&)> faults;
    size_t fileSize;
    bool inBootLoader;  // the supply waits in its boot loader already (--no-jump)
    int code;
    const char* errEnd;
};

class CliFlashFailureTest : public CliFlashTest,
                            public ::testing::WithParamInterface<FlashFailure> {};

TEST_P(CliFlashFailureTest, ExitsWithItsCodeAndLeavesTheFlashAsTheCaseAllows) {
    const FlashFailure& c = GetParam();
    TFlashHarness h(PtySupply(c.faults));
    const Bytes old = Pattern(2048);
    h.supply->LoadFlashImage(old);
    QStringList args = h.Pty();
    if (c.inBootLoader) {
        h.supply->EnterBootloader();
        args << "--no-jump";
    }
    const clitest::TCliRun run = h.Run(args << "flash" << File(Bytes(c.fileSize, 0x5A)));
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, c.code) << run.Out << run.Err;
    EXPECT_NE(run.Err.find(c.errEnd), std::string::npos) << run.Err;
    if (c.code == 2) {
        const Bytes flash = h.supply->FlashImage();
        EXPECT_TRUE(std::equal(old.begin(), old.end(), flash.begin())) << "nothing written";
    }
    if (c.fileSize == 0) {
        EXPECT_EQ(h.supply->Requests(), 0u) << "refused before connecting";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliFlashFailureTest,
    ::testing::Values(FlashFailure{"EmptyFile", nullptr, 0, false, 2, "is empty"},
                      FlashFailure{"LargerThanTheChip", nullptr, 65537, false, 2,
                                   "this update did not erase it."},
                      FlashFailure{"VerifyMismatch",
                                   [](SimBootOptions& b) { b.corruptReadAt = 300; }, 1000, true, 5,
                                   "step: verify"},
                      FlashFailure{"EraseRefused",
                                   [](SimBootOptions& b) { b.listedEraseCode = 0x45; }, 1000, true,
                                   5, "step: erase"}),
    [](const ::testing::TestParamInfo<FlashFailure>& info) {
        return std::string(info.param.name);
    });

// The command that finishes the update, as the run printed it, without the program's name.
QStringList FinishCommand(const std::string& AErr) {
    const QString marker = "to finish the update, run: benchlordctl ";
    const QString err = QString::fromStdString(AErr);
    const qsizetype at = err.indexOf(marker);
    if (at < 0) return {};
    return QProcess::splitCommand(err.mid(at + marker.size()).section('\n', 0, 0));
}

// A boot ROM fault that ends the first update, and what the run prints about it.
struct RetryCase {
    const char* name;
    SimBootFault fault;
    const char* failedLine;
    const char* step;
};

class CliFlashRetryTest : public CliFlashTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(CliFlashRetryTest, TheCommandItPrintsFinishesTheUpdate) {
    const RetryCase& c = GetParam();
    TFlashHarness h(PtySupply([&c](SimBootOptions& b) { b.commandFaults = {c.fault}; }));
    h.supply->LoadFlashImage(Pattern(4096));
    const Bytes image(Bytes(1000, 0x3C));
    const QString file = File(image);
    const clitest::TCliRun failed = h.Run(h.Pty() << "flash" << file);
    ASSERT_TRUE(failed.Finished);
    EXPECT_EQ(failed.Code, 5) << failed.Out << failed.Err;
    EXPECT_NE(failed.Out.find(c.failedLine), std::string::npos) << failed.Out;
    EXPECT_NE(failed.Err.find(std::string("step: ") + c.step), std::string::npos) << failed.Err;
    ASSERT_TRUE(h.supply->InBootloader());

    const QStringList finish = FinishCommand(failed.Err);
    ASSERT_EQ(finish, h.Pty() << "flash" << file << "--no-jump") << failed.Err;
    const clitest::TCliRun retried = h.Run(finish);
    ASSERT_TRUE(retried.Finished);
    EXPECT_EQ(retried.Code, 0) << retried.Out << retried.Err;
    EXPECT_NE(retried.Out.find("Verify OK\nStarted OK\n"), std::string::npos) << retried.Out;
    const Bytes flash = h.supply->FlashImage();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_EQ(flash[1000], 0xFF);
    EXPECT_FALSE(h.supply->InBootloader()) << "the new firmware runs";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CliFlashRetryTest,
    ::testing::Values(
        RetryCase{"EraseNack", {0x43, 1, 1, false}, "Erase failed\n", "erase"},
        RetryCase{"WriteAddressNack", {0x31, 2, 1, false}, "NACK in Sending address\n", "write"},
        RetryCase{"WriteAckLost", {0x31, 3, 2, true}, "Received 0x00 in Write\n", "write"},
        RetryCase{"ReadBackSilent",
                  {0x11, 2, 2, true},
                  "Received 0x00 in Sending number of bytes to read command\nVerification failed.",
                  "read-back"},
        RetryCase{"GoNack", {0x21, 1, 0, false}, "NACK in Go command\n", "Go"}),
    [](const ::testing::TestParamInfo<RetryCase>& info) { return std::string(info.param.name); });

// Runs flash on the supply and interrupts it as soon as the boot ROM's fault has struck (the
// client then waits for an answer that does not come), as a user pressing Ctrl-C.
clitest::TCliRun InterruptAtTheFault(TFlashHarness& AHarness, const QString& AFile) {
    QTimer watch;
    const clitest::TCliRun cut =
        AHarness.Run(AHarness.Pty() << "flash" << AFile, [&](TCliRunner& ARunner) {
            QObject::connect(&watch, &QTimer::timeout, [&] {
                if (AHarness.supply->BootFaultsFired() > 0) ARunner.Interrupt();
            });
            watch.start(1);
        });
    watch.stop();
    return cut;
}

// A moment at which the update is interrupted, and what the interrupted run says about it.
struct InterruptCase {
    const char* name;
    SimBootFault fault;
    const char* state;
};

class CliFlashInterruptTest : public CliFlashTest,
                              public ::testing::WithParamInterface<InterruptCase> {};

TEST_P(CliFlashInterruptTest, TheRetryItPrintsFinishesWhenStartedAtOnce) {
    const InterruptCase& c = GetParam();
    TFlashHarness h(PtySupply([&c](SimBootOptions& b) { b.commandFaults = {c.fault}; }));
    h.supply->LoadFlashImage(Pattern(8192));
    const Bytes image = Pattern(4096);  // ACK and NACK bytes among the data read back
    const QString file = File(image);
    const clitest::TCliRun cut = InterruptAtTheFault(h, file);
    ASSERT_TRUE(cut.Finished);
    EXPECT_EQ(cut.Code, 130) << cut.Out << cut.Err;
    EXPECT_NE(cut.Err.find(std::string("interrupted. ") + c.state), std::string::npos) << cut.Err;
    ASSERT_TRUE(h.supply->InBootloader());

    const QStringList finish = FinishCommand(cut.Err);
    ASSERT_EQ(finish, h.Pty() << "flash" << file << "--no-jump") << cut.Err;
    const clitest::TCliRun retried = h.Run(finish);
    EXPECT_EQ(retried.Code, 0) << retried.Out << retried.Err;
    EXPECT_NE(retried.Out.find("Verify OK\nStarted OK\n"), std::string::npos) << retried.Out;
    const Bytes flash = h.supply->FlashImage();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_EQ(flash[4096], 0xFF) << "the old firmware's rest was erased";
    EXPECT_FALSE(h.supply->InBootloader());
}

INSTANTIATE_TEST_SUITE_P(
    Moments, CliFlashInterruptTest,
    ::testing::Values(
        // The erase's ACK, the third block's ACK and the count ACK of the second block read
        // back (with its data) come only when the retry sends its first byte, the activation.
        InterruptCase{"DuringTheErase",
                      {.command = 0x43, .occurrence = 1, .frame = 1, .late = true},
                      "The erase of the chip was started: the supply has no working firmware"},
        InterruptCase{"BetweenAWriteAndItsAck",
                      {.command = 0x31, .occurrence = 3, .frame = 2, .late = true},
                      "The chip was erased and 512 of 4096 bytes were written"},
        InterruptCase{"WhileAWriteAckIsLost",
                      {.command = 0x31, .occurrence = 3, .frame = 2, .silent = true},
                      "The chip was erased and 512 of 4096 bytes were written"},
        // Only 100 bytes of the third block's data reach the chip, which waits for the rest.
        InterruptCase{"InTheMiddleOfAWritesData",
                      {.command = 0x31, .occurrence = 3, .frame = 2, .cutAfter = 100},
                      "The chip was erased and 512 of 4096 bytes were written"},
        InterruptCase{"DuringTheVerification",
                      {.command = 0x11, .occurrence = 3, .frame = 2, .late = true},
                      "The whole file (4096 bytes) was written but not started"}),
    [](const ::testing::TestParamInfo<InterruptCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(CliFlashTest, AFailedRetryOnAChipAnEarlierRunErasedSaysSoAndTheNextOneFinishes) {
    TFlashHarness h(PtySupply([](SimBootOptions& b) {
        b.commandFaults = {{.command = 0x43, .occurrence = 1, .frame = 1, .late = true}};
    }));
    h.supply->LoadFlashImage(Pattern(8192));
    const Bytes image = Pattern(1000);
    const QString file = File(image);
    const clitest::TCliRun cut = InterruptAtTheFault(h, file);
    ASSERT_EQ(cut.Code, 130) << cut.Err;
    const QStringList finish = FinishCommand(cut.Err);

    // The retry's erase command is refused: this run erased nothing, but the chip is empty.
    h.supply->SetBootFaults({{.command = 0x43, .occurrence = 2, .frame = 0}});
    const clitest::TCliRun failed = h.Run(finish);
    EXPECT_EQ(failed.Code, 5) << failed.Out << failed.Err;
    EXPECT_NE(failed.Err.find("The supply waits in its boot loader; its flash is erased: it has "
                              "no working firmware now. Do not switch it off until an update has "
                              "finished."),
              std::string::npos)
        << failed.Err;
    EXPECT_EQ(failed.Err.find("not changed"), std::string::npos) << failed.Err;
    EXPECT_EQ(FinishCommand(failed.Err), finish);

    const clitest::TCliRun retried = h.Run(finish);
    EXPECT_EQ(retried.Code, 0) << retried.Out << retried.Err;
    const Bytes flash = h.supply->FlashImage();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
}

TEST_F(CliFlashTest, RefusedOverTcpBluetoothAndKoradAndFailsOnAPortTakenByAnotherProgram) {
    TFlashHarness h(PtySupply());
    const QString file = File(Pattern(10));
    clitest::TCliRun run = h.Run(h.Tcp() << "flash" << file);
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Err.find("not over TCP"), std::string::npos) << run.Err;

    // A Bluetooth serial port is the kernel's rfcomm device, here behind a link.
    const QString rfcomm = dir.filePath("rfcomm7");
    ASSERT_TRUE(QFile::link(QString::fromStdString(h.supply.PtyPath()), rfcomm));
    run = h.Run({"--port", rfcomm, "flash", file});
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Err.find("is a Bluetooth serial port"), std::string::npos) << run.Err;
    EXPECT_EQ(h.supply->Requests(), 0u);

    {
        testsupport::TSupplyConfig korad = PtySupply();
        korad.tweak = [](VirtualSupplyOptions& o) { o.identity.variant = SimVariant::korad; };
        TFlashHarness k(korad);
        run = k.Run(k.Pty() << "flash" << file);
        EXPECT_EQ(run.Code, 2);
        EXPECT_NE(run.Err.find("this is a KORAD unit"), std::string::npos) << run.Err;
        for (const SimWrite& w : k.supply->Writes())
            EXPECT_NE(w.start, simreg::CMD) << "no jump";
        EXPECT_FALSE(k.supply->InBootloader());
    }

    TKRCOMPort holder;
    holder.SetPort(h.supply.PtyPath());
    ASSERT_TRUE(holder.Open());
    run = h.Run(h.Pty() << "--no-jump"
                        << "flash" << file);
    EXPECT_EQ(run.Code, 3);
    EXPECT_NE(run.Err.find("could not be opened for the boot loader"), std::string::npos);
}

}  // namespace
