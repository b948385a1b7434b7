// A firmware update against the running supply: the jump command over Modbus RTU, a boot loader
// session on the same pseudo-terminal, Go back to Modbus; with our own host and with stm32flash.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/sim/an3155_client.h"

using namespace simtest;
using namespace std::chrono_literals;
using testsupport::ReadUntilQuiet;
using testsupport::TVirtualSupplyFixture;

namespace {

namespace fs = std::filesystem;
constexpr uint32_t kBase = SimBootRom::kFlashBase;

struct TempDir {
    TempDir() {
        std::string t = (fs::temp_directory_path() / "benchlord-sim-XXXXXX").string();
        path = mkdtemp(t.data()) ? t : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string File(const char* name) const { return (fs::path(path) / name).string(); }
    std::string path;
};

Bytes Image(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t((i * 131 + 17) ^ (i >> 8));
    return b;
}

Bytes ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

class SupplyBootTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path.empty());
        ASSERT_TRUE(sup.Started()) << sup.Error();
        pty = sup.OpenPty();
        ASSERT_GE(pty, 0);
    }
    void TearDown() override {
        if (pty >= 0) close(pty);
    }
    void JumpToBootLoader() {
        const uint64_t served = sup->Requests();
        testsupport::SendAll(pty, Rtu(1, Pdu6(simreg::CMD, kSimCmdJumpBoot)));
        ASSERT_TRUE(sup->WaitForRequests(served + 1, 2s));
        ASSERT_TRUE(ReadUntilQuiet(pty, 60).empty()) << "the firmware leaves without a reply";
        ASSERT_TRUE(sup->InBootloader());
    }
    void JumpToBootLoaderFromTcp() {
        const int tcp = sup.ConnectTcp();
        testsupport::SendAll(tcp, Mbap(1, 1, Pdu6(simreg::CMD, kSimCmdJumpBoot)));
        ASSERT_TRUE(sup->WaitForRequests(1, 2s));
        EXPECT_TRUE(ReadUntilQuiet(tcp, 60).empty());
        close(tcp);
        ASSERT_TRUE(sup->InBootloader()) << "one chip: the jump also holds for the serial side";
    }
    TempDir dir;
    TVirtualSupplyFixture sup{{.pty = true, .tweak = [this](VirtualSupplyOptions& o) {
                                   o.flashOut = dir.File("flash-out.bin");
                               }}};
    int pty = -1;
};

TEST_F(SupplyBootTest, WriteVerifyAndGoThroughTheLibrary) {
    ASSERT_EQ(RtuExchange(pty, 1, Pdu6(simreg::LOCK, 1)).size(), 8u);
    JumpToBootLoader();

    const int tcp = sup.ConnectTcp();
    EXPECT_TRUE(TcpExchange(tcp, 1, 1, Pdu3(0, 1), 100).empty()) << "Modbus is silent meanwhile";
    close(tcp);

    BootHost host(FdExchange(pty));
    ASSERT_TRUE(host.Activate());
    const Bytes get = host.Get();
    ASSERT_EQ(get.size(), 14u);
    ASSERT_EQ(host.GetId(), 0x420);
    ASSERT_TRUE(host.MassErase(get[8] == 0x44));

    const Bytes image = Image(1000);  // four blocks, the last one padded
    for (size_t at = 0; at < image.size(); at += 256) {
        Bytes block(256, 0xFF);
        std::copy(image.begin() + long(at), image.begin() + long(std::min(at + 256, image.size())),
                  block.begin());
        ASSERT_TRUE(host.Write(kBase + uint32_t(at), block)) << at;
    }
    Bytes back;
    for (size_t at = 0; at < image.size(); at += 256) {
        const Bytes part =
            host.Read(kBase + uint32_t(at), std::min<size_t>(256, image.size() - at));
        back.insert(back.end(), part.begin(), part.end());
    }
    EXPECT_EQ(back, image);
    ASSERT_TRUE(host.Go(kBase));

    EXPECT_FALSE(sup->InBootloader());
    const auto regs = Values(RtuExchange(pty, 1, Pdu3(simreg::LOCK, 4)), 1);
    EXPECT_EQ(regs, (std::vector<uint16_t>{0, 0, 0, 0})) << "restarted: unlocked, output off";
    const Bytes saved = ReadAll(dir.File("flash-out.bin"));
    ASSERT_EQ(saved.size(), 65536u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), saved.begin()));
    EXPECT_EQ(saved[1000], 0xFF);
    EXPECT_EQ(sup->FlashImage(), saved);
}

TEST_F(SupplyBootTest, ActivationRightBehindTheJumpReachesTheBootLoader) {
    // Read together with the jump command (a supply that reads late), 0x7F still activates.
    Bytes burst = Rtu(1, Pdu6(simreg::CMD, kSimCmdJumpBoot));
    burst.push_back(0x7F);
    ASSERT_TRUE(testsupport::SendAll(pty, burst));
    EXPECT_EQ(testsupport::ReadBytes(pty, 1, 5000), Bytes{SimBootRom::kAck});
    EXPECT_TRUE(sup->InBootloader());
}

TEST_F(SupplyBootTest, PowerCycleLeavesAnUnfinishedUpdate) {
    sup->EnterBootloader();
    BootHost host(FdExchange(pty));
    ASSERT_TRUE(host.Activate());
    sup->PowerCycle();
    EXPECT_FALSE(sup->InBootloader());
    EXPECT_EQ(RtuExchange(pty, 1, Pdu3(simreg::MODEL, 1)).size(), 7u);
}

TEST_F(SupplyBootTest, StandardToolStm32flashWritesVerifiesAndStarts) {
    if (access("/usr/bin/stm32flash", X_OK) != 0) GTEST_SKIP() << "stm32flash is not installed";
    close(pty);  // the tool owns the line
    pty = -1;
    JumpToBootLoaderFromTcp();
    const Bytes image = Image(3000);
    {
        std::ofstream f(dir.File("image.bin"), std::ios::binary);
        f.write(reinterpret_cast<const char*>(image.data()), long(image.size()));
    }
    const std::string cmd = "stm32flash -m 8n1 -b 38400 -w " + dir.File("image.bin") +
                            " -v -g 0x0 " + sup.PtyPath() + " > " + dir.File("log.txt") + " 2>&1";
    const int rc = std::system(cmd.c_str());
    const Bytes log = ReadAll(dir.File("log.txt"));
    ASSERT_EQ(rc, 0) << std::string(log.begin(), log.end());
    const Bytes flash = sup->FlashImage();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_FALSE(sup->InBootloader());
}

}  // namespace
