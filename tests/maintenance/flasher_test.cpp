// The boot loader client against the virtual supply's boot ROM over a pseudo-terminal: the
// message sequences of a clean run and of every failing step, and the refusals that keep a bad
// file from touching the flash.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <string>
#include <vector>

#include "link/com_port.h"
#include "maintenance/core/stm32_flasher.h"
#include "tests/support/virtual_supply_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

Bytes Pattern(size_t n, uint8_t seed = 0) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t((i * 7 + seed) ^ (i >> 8));
    return b;
}

// Waits that end on an answer are long enough for a loaded machine (stalls of a third of a
// second were seen); the short windows are the ones some tests must see expire.
TFlasherTimeouts Fast() {
    TFlasherTimeouts t;
    t.Activation = 500;  // silence in activation costs this
    t.Command = 1000;
    t.ReadAck = 1000;
    t.ReadData = 1000;
    t.ReplyGap = 20;
    t.ResyncGap = 20;
    t.ReadPause = 0;
    return t;
}

// The boot ROM of a virtual supply already in its boot loader, the client on its pty.
class FlasherRig {
public:
    explicit FlasherRig(const std::function<void(SimBootOptions&)>& AFaults = nullptr)
        : sup({.tcp = false, .pty = true, .tweak = [AFaults](VirtualSupplyOptions& o) {
                   if (AFaults) AFaults(o.boot);
               }}) {}

    bool Open() {
        if (!sup.Started() || !dir.isValid()) return false;
        sup->LoadFlashImage(kOld);
        sup->EnterBootloader();
        port.SetPort(sup.PtyPath());
        port.SetBaudRate(38400);
        port.SetParity(2);
        if (!port.Open()) return false;
        flasher = std::make_unique<TSTM32_Flasher>(port, Fast());
        flasher->SetOnWriteln(
            [this](TSTM32_Flasher*, const std::string& s) { lines.push_back(s); });
        flasher->SetOnProgress([this](TSTM32_Flasher*, int32_t c, int32_t m) {
            progress.push_back(std::to_string(c) + "/" + std::to_string(m));
        });
        return true;
    }
    std::string File(const Bytes& AData, const char* AName = "fw.bin") {
        const std::string path = dir.filePath(AName).toStdString();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(AData.data()), std::streamsize(AData.size()));
        return path;
    }
    bool FlashUnchanged() {
        const Bytes flash = sup->FlashImage();
        return std::equal(kOld.begin(), kOld.end(), flash.begin());
    }

    const Bytes kOld = Pattern(4096, 99);  // the firmware in the chip before the update
    QTemporaryDir dir;
    testsupport::TVirtualSupplyFixture sup;
    TKRCOMPort port;
    std::unique_ptr<TSTM32_Flasher> flasher;
    Lines lines;
    std::vector<std::string> progress;
};

TEST(FlasherTest, ThreeHundredBytesWrittenAsTwoBlocksVerifiedUpToTheirSizeAndStarted) {
    FlasherRig rig;
    ASSERT_TRUE(rig.Open());
    const Bytes image = Pattern(300);
    const std::string file = rig.File(image);

    ASSERT_TRUE(rig.flasher->FlashFile(file, true));

    EXPECT_EQ(rig.lines, (Lines{"Activating device: OK", "File fw.bin", "File size is 300",
                                "Bootloader version : 2.2", "Device : STM32F10x ",
                                "Erase complete OK", "Writting ...", "File is written OK",
                                "Verification ...", "Verify OK", "Started OK"}));
    // Write: blocks finished before each one, then the end; read-back: 256 / 256 and 300 / 256.
    EXPECT_EQ(rig.progress,
              (std::vector<std::string>{"0/2", "1/2", "2/2", "0/100", "1/2", "1/2", "2/2"}));
    const Bytes flash = rig.sup->FlashImage();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_EQ(flash[300], 0xFF) << "the rest of the last block stays erased";
    EXPECT_EQ(flash[511], 0xFF);
    EXPECT_EQ(flash[600], 0xFF) << "the old firmware was erased";
    EXPECT_EQ(rig.flasher->PID(), 0x420);
    EXPECT_EQ(rig.flasher->ExtErase(), 1);
    EXPECT_EQ(rig.flasher->FlashSize(), 65536);
    EXPECT_FALSE(rig.sup->InBootloader()) << "Go started the new firmware";
}

TEST(FlasherTest, ExtendedEraseChipAndNoVerifyGoStraightToGo) {
    FlasherRig rig([](SimBootOptions& b) { b.productId = 0x438; });
    ASSERT_TRUE(rig.Open());
    ASSERT_TRUE(rig.flasher->FlashFile(rig.File(Pattern(1024)), false));
    EXPECT_EQ(rig.lines,
              (Lines{"Activating device: OK", "File fw.bin", "File size is 1024",
                     "Bootloader version : 3.1", "Device : STM32F303x4(6/8)/F334xx/F328xx ",
                     "Erase complete OK", "Writting ...", "File is written OK", "Started OK"}));
    EXPECT_EQ(rig.flasher->ExtErase(), 2);
    EXPECT_FALSE(rig.sup->InBootloader());
}

// A boot ROM fault and the lines the client must end with.
struct FailureCase {
    const char* name;
    std::function<void(SimBootOptions&)> fault;
    Lines lines;
    const char* step;
};

class FlasherFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FlasherFailureTest, EndsWithTheStepsOwnMessagesAndLeavesTheChipInItsBootLoader) {
    FlasherRig rig(GetParam().fault);
    ASSERT_TRUE(rig.Open());
    EXPECT_FALSE(rig.flasher->FlashFile(rig.File(Pattern(700)), true));
    EXPECT_EQ(rig.lines, GetParam().lines);
    EXPECT_EQ(rig.flasher->Failure(), ffStep);
    EXPECT_EQ(rig.flasher->FailedStep(), GetParam().step);
    EXPECT_TRUE(rig.sup->InBootloader()) << "Go is never sent after a failure";
}

const Lines kUpToDevice{"Activating device: OK", "File fw.bin", "File size is 700",
                        "Bootloader version : 2.2", "Device : STM32F10x "};

Lines Plus(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    BootRomFaults, FlasherFailureTest,
    ::testing::Values(
        // A NACK to 0x7F is an awake boot loader's, but it counts only once the boot loader
        // answers a command (this one never does).
        FailureCase{"NackInActivation",
                    [](SimBootOptions& b) { b.activationReply = 0x1F; },
                    {"The boot loader was already active: going on",
                     "The answer was not confirmed: re-synchronising with the boot loader ...",
                     "Activating device: FAILED !!!", "Received 0x00 in Activating device"},
                    "activation"},
        FailureCase{
            "SilenceInActivation",
            [](SimBootOptions& b) { b.activationReply = -2; },
            {"ACK response timeout!", "No answer: re-synchronising with the boot loader ...",
             "Activating device: FAILED !!!", "Received 0x00 in Activating device"},
            "activation"},
        FailureCase{"ShortGetReply",
                    [](SimBootOptions& b) { b.getReplyLimit = 5; },
                    {"Activating device: OK", "File fw.bin", "File size is 700",
                     "Bootloader version : 2.2"},
                    "Get"},
        FailureCase{"NothingAfterTheGetAck",
                    [](SimBootOptions& b) { b.getReplyLimit = 0; },
                    {"Activating device: OK", "File fw.bin", "File size is 700"},
                    "Get"},
        FailureCase{"ReadProtected", [](SimBootOptions& b) { b.readProtected = true; },
                    Plus(kUpToDevice,
                         {"NACK in erase",
                          "The chip is read-protected: its boot loader refuses to erase, write "
                          "and read until the protection is removed, which erases the whole "
                          "chip."}),
                    "erase"},
        FailureCase{"UnknownEraseCode", [](SimBootOptions& b) { b.listedEraseCode = 0x45; },
                    kUpToDevice, "erase"},
        FailureCase{"VerifyMismatch", [](SimBootOptions& b) { b.corruptReadAt = 600; },
                    Plus(kUpToDevice, {"Erase complete OK", "Writting ...", "File is written OK",
                                       "Verification ...", "Verify error !!!"}),
                    "verify"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(FlasherTest, ResyncsWithABootLoaderLeftMidCommandWhoseAnswersComeLate) {
    // An earlier run left a Write waiting for its address; the line (a slow adapter) delivers
    // every answer well after the re-synchronisation's short window. The first probe's NACK
    // then comes while the second probe waits: it must not be taken for that probe's answer
    // with the second probe's byte still pending in front of the next command.
    FlasherRig rig;
    ASSERT_TRUE(rig.Open());
    const uint8_t started[] = {0x7F, 0x31, 0xCE};
    ASSERT_EQ(rig.port.Write(started, 3), 3);
    uint8_t acks[2] = {};
    int32_t got = 0;
    for (int waits = 0; got < 2 && waits < 50; ++waits)
        if (rig.port.WaitForInput(100)) got += rig.port.Read(acks + got, 2 - got);
    ASSERT_EQ(got, 2);
    ASSERT_EQ(acks[1], TSTM32_Flasher::kAck);
    SimFaults late;
    late.replyDelayMs = 60;  // three times the window of Fast()
    rig.sup->SetFaults(late);

    const Bytes image = Pattern(300);
    ASSERT_TRUE(rig.flasher->FlashFile(rig.File(image), false));
    EXPECT_EQ(
        Lines(rig.lines.begin(), rig.lines.begin() + 4),
        (Lines{"ACK response timeout!", "No answer: re-synchronising with the boot loader ...",
               "The boot loader was already active: going on", "Activating device: OK"}));
    EXPECT_EQ(rig.lines.back(), "Started OK");
    const Bytes flash = rig.sup->FlashImage();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
}

TEST(FlasherTest, AfterAFailureBeforeTheEraseSaysWhatTheFlashWasReadToHold) {
    // Every erase command is refused: the run changes nothing, so what it says of the chip comes
    // from its read of the flash's first words.
    FlasherRig rig([](SimBootOptions& b) {
        for (uint32_t n = 1; n <= 4; ++n)
            b.commandFaults.push_back({.command = 0x43, .occurrence = n, .frame = 0});
    });
    ASSERT_TRUE(rig.Open());
    const Bytes image = Pattern(1000);
    const std::string file = rig.File(image);
    const std::string waits = "The supply waits in its boot loader; ";
    const std::string keepOn = " Do not switch it off until an update has finished.";
    const auto stateAfterARun = [&](const Bytes& AFlash) {
        rig.sup->LoadFlashImage(AFlash);
        EXPECT_FALSE(rig.flasher->FlashFile(file, true));
        EXPECT_EQ(rig.flasher->FailedStep(), "erase");
        return rig.flasher->StateText();
    };
    EXPECT_EQ(stateAfterARun(rig.kOld),
              waits +
                  "this update did not change its flash, which does not start like the file "
                  "(it may hold the old firmware or what an unfinished update left)." +
                  keepOn);
    // An earlier run that wrote two blocks before it ended.
    EXPECT_EQ(stateAfterARun(Bytes(image.begin(), image.begin() + 512)),
              waits +
                  "this update did not change its flash, which starts like the file but may "
                  "not hold all of it." +
                  keepOn);
    EXPECT_EQ(stateAfterARun({}),
              waits + "its flash is erased: it has no working firmware now." + keepOn);

    FlasherRig locked([](SimBootOptions& b) { b.readProtected = true; });
    ASSERT_TRUE(locked.Open());
    EXPECT_FALSE(locked.flasher->FlashFile(locked.File(image), true));
    EXPECT_EQ(locked.flasher->StateText(),
              waits +
                  "this update did not change its flash, but what the flash holds is not "
                  "known." +
                  keepOn);
}

TEST(FlasherTest, RefusesFilesThatWouldBrickTheSupplyBeforeTheFlashIsTouched) {
    FlasherRig rig;
    ASSERT_TRUE(rig.Open());

    // Empty and unreadable files: an error before a single byte goes out.
    EXPECT_THROW(rig.flasher->FlashFile(rig.File({}, "empty.bin"), true), EFlasherFileError);
    EXPECT_THROW(rig.flasher->FlashFile(rig.dir.filePath("missing.bin").toStdString(), true),
                 EFlasherFileError);
    EXPECT_THROW(rig.flasher->FlashFile(rig.dir.path().toStdString(), true), EFlasherFileError);
    EXPECT_TRUE(rig.lines.empty());
    EXPECT_EQ(rig.port.InputCount(), 0) << "the boot ROM was never woken";

    // Larger than the identified chip's flash: refused after Get ID, before the erase.
    EXPECT_FALSE(rig.flasher->FlashFile(rig.File(Pattern(65537), "big.bin"), true));
    EXPECT_EQ(rig.flasher->Failure(), ffFileTooLarge);
    ASSERT_FALSE(rig.lines.empty());
    EXPECT_EQ(rig.lines.back(),
              "File is too large for the device: 65537 bytes, 65536 bytes of flash");
    EXPECT_TRUE(rig.FlashUnchanged());
    EXPECT_TRUE(rig.sup->InBootloader());
}

TEST(FlasherTest, UnknownDeviceIsMeasuredByItsFlashSizeWordBeforeTheErase) {
    // 0x410 (F103 medium density) has no row of its own; its family keeps the size in a word.
    FlasherRig rig([](SimBootOptions& b) {
        b.productId = 0x410;
        b.flashSize = 32768;
    });
    ASSERT_TRUE(rig.Open());
    EXPECT_FALSE(rig.flasher->FlashFile(rig.File(Pattern(40000)), true));
    EXPECT_EQ(rig.flasher->Failure(), ffFileTooLarge);
    EXPECT_EQ(Lines(rig.lines.begin() + 4, rig.lines.end()),
              (Lines{"Device : Unknowndevice ",
                     "Product ID 0x410 is not in the device table: reading its flash size",
                     "Flash size: 32 KiB",
                     "File is too large for the device: 40000 bytes, 32768 bytes of flash"}));
    EXPECT_TRUE(rig.FlashUnchanged());

    // An image that fits is written (the boot loader is still awake from the first run).
    rig.lines.clear();
    EXPECT_TRUE(rig.flasher->FlashFile(rig.File(Pattern(30000)), false));
    EXPECT_EQ(rig.flasher->FlashSize(), 32768);
    EXPECT_FALSE(rig.sup->InBootloader());
}

TEST(FlasherTest, UnknownDeviceKeepsGoingWithTheDefaultSize) {
    FlasherRig rig([](SimBootOptions& b) {
        b.productId = 0x999;
        b.flashSize = 131072;
    });
    ASSERT_TRUE(rig.Open());
    EXPECT_TRUE(rig.flasher->FlashFile(rig.File(Pattern(65537 + 255)), false));
    EXPECT_EQ(rig.lines[4], "Device : Unknowndevice ");
    EXPECT_EQ(rig.flasher->FlashSize(), 65536);
}

TEST(FlasherTest, CancelledClientFailsWithOneLine) {
    FlasherRig rig([](SimBootOptions& b) { b.activationReply = -2; });
    ASSERT_TRUE(rig.Open());
    rig.flasher->Cancel();
    EXPECT_FALSE(rig.flasher->FlashFile(rig.File(Pattern(10)), true));
    EXPECT_EQ(rig.lines, Lines{"Cancelled"});
    EXPECT_EQ(rig.flasher->Failure(), ffCancelled);
}

}  // namespace
