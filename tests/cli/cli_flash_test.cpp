// benchlordctl flash against the virtual supply's pty: a whole update from the running firmware
// back to the running firmware, and the exit code of every way it can fail.

#include <gtest/gtest.h>

#include <QTemporaryDir>
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
    TCliHarness h(PtySupply());
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
    TCliHarness h(PtySupply(c.faults));
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
    EXPECT_TRUE(QString::fromStdString(run.Err).trimmed().endsWith(c.errEnd)) << run.Err;
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
    ::testing::Values(
        FlashFailure{"EmptyFile", nullptr, 0, false, 2, "is empty"},
        FlashFailure{"LargerThanTheChip", nullptr, 65537, false, 2, "waits in its boot loader."},
        FlashFailure{"VerifyMismatch", [](SimBootOptions& b) { b.corruptReadAt = 300; }, 1000, true,
                     5, "step: verify"},
        FlashFailure{"EraseRefused", [](SimBootOptions& b) { b.listedEraseCode = 0x45; }, 1000,
                     true, 5, "step: erase"}),
    [](const ::testing::TestParamInfo<FlashFailure>& info) {
        return std::string(info.param.name);
    });

TEST_F(CliFlashTest, RefusedOverTcpAndFailsOnAPortTakenByAnotherProgram) {
    TCliHarness h(PtySupply());
    const QString file = File(Pattern(10));
    clitest::TCliRun run = h.Run(h.Tcp() << "flash" << file);
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Err.find("not over TCP"), std::string::npos) << run.Err;

    TKRCOMPort holder;
    holder.SetPort(h.supply.PtyPath());
    ASSERT_TRUE(holder.Open());
    run = h.Run(h.Pty() << "--no-jump"
                        << "flash" << file);
    EXPECT_EQ(run.Code, 3);
    EXPECT_NE(run.Err.find("could not be opened for the boot loader"), std::string::npos);
}

}  // namespace
