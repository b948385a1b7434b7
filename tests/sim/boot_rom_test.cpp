// The STM32 boot loader of the virtual supply, driven byte by byte from the host side.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/sim/an3155_client.h"

using namespace simtest;

namespace {

constexpr uint32_t kBase = SimBootRom::kFlashBase;

Bytes Pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(seed + i * 7);
    return b;
}

struct ChipCase {
    uint16_t pid;
    uint32_t flash;
    uint8_t eraseCommand;
    uint8_t version;
};

class ChipTest : public ::testing::TestWithParam<ChipCase> {};

TEST_P(ChipTest, GetAndGetIdDescribeTheChip) {
    const ChipCase& c = GetParam();
    SimBootRom rom({.productId = c.pid});
    BootHost host(RomExchange(rom));
    ASSERT_TRUE(host.Activate());
    const Bytes get = host.Get();
    ASSERT_EQ(get.size(), 14u);
    EXPECT_EQ(get[0], 11) << "eleven commands follow the version";
    EXPECT_EQ(get[1], c.version);
    EXPECT_EQ(get[2], 0x00);
    EXPECT_EQ(get[8], c.eraseCommand) << "the erase command is the seventh";
    EXPECT_EQ(get[13], kAck);
    EXPECT_EQ(host.GetId(), c.pid);
    EXPECT_EQ(rom.Flash().size(), c.flash);
    EXPECT_EQ(SimChipFlashSize(c.pid), c.flash);
}

INSTANTIATE_TEST_SUITE_P(Chips, ChipTest,
                         ::testing::Values(ChipCase{0x420, 65536, 0x43, 0x22},
                                           ChipCase{0x414, 262144, 0x43, 0x22},
                                           ChipCase{0x438, 65536, 0x44, 0x31},
                                           ChipCase{0x468, 65536, 0x44, 0x31},
                                           ChipCase{0x999, 65536, 0x43, 0x22}),
                         [](const auto& AInfo) {
                             char name[16];
                             std::snprintf(name, sizeof(name), "Pid0x%X", AInfo.param.pid);
                             return std::string(name);
                         });

TEST(BootRom, IgnoresNoiseUntilActivatedAndNacksBadCommands) {
    SimBootRom rom({});
    BootHost host(RomExchange(rom));
    EXPECT_TRUE(host.Raw()({0x00, 0xFF, 0x55}, 0).empty());
    ASSERT_TRUE(host.Activate());
    EXPECT_EQ(host.Raw()({0x00, 0x00}, 1), Bytes{kNack}) << "complement missing";
    EXPECT_EQ(host.Raw()({0x55, 0xAA}, 1), Bytes{kNack}) << "unknown command";
    EXPECT_EQ(host.Raw()({0x01, 0xFE}, 5), (Bytes{kAck, 0x22, 0, 0, kAck})) << "Get Version";
}

TEST(BootRom, WriteReadBackAndBoundaries) {
    SimBootRom rom({});
    BootHost host(RomExchange(rom));
    ASSERT_TRUE(host.Activate());
    const Bytes block = Pattern(256, 3);
    ASSERT_TRUE(host.Write(kBase, block));
    EXPECT_EQ(host.Read(kBase, 256), block);
    const uint32_t last = kBase + 65536 - 256;
    ASSERT_TRUE(host.Write(last, block));
    EXPECT_EQ(host.Read(last, 256), block);
    EXPECT_EQ(host.Read(last + 1, 256), Bytes{}) << "a read past the end is refused";
    ASSERT_TRUE(host.Command(0x11));
    EXPECT_FALSE(host.Address(0x08100000)) << "no such memory";
    EXPECT_EQ(host.GetId(), 0x420) << "the loader is back at its command prompt";
}

TEST(BootRom, FlashNeedsEraseBeforeReprogramming) {
    SimBootRom rom({});
    BootHost host(RomExchange(rom));
    ASSERT_TRUE(host.Activate());
    ASSERT_TRUE(host.Write(kBase, Bytes(4, 0x0F)));
    EXPECT_FALSE(host.Write(kBase, Bytes(4, 0xF0))) << "cannot set cleared bits";
    EXPECT_EQ(host.Read(kBase, 4), Bytes(4, 0x0F));
    ASSERT_TRUE(host.Write(kBase + 1024, Bytes(4, 0x11)));
    ASSERT_TRUE(host.ErasePages(false, {0}));
    EXPECT_EQ(host.Read(kBase, 4), Bytes(4, 0xFF));
    EXPECT_EQ(host.Read(kBase + 1024, 4), Bytes(4, 0x11)) << "page 1 untouched";
    ASSERT_TRUE(host.MassErase(false));
    EXPECT_EQ(host.Read(kBase + 1024, 4), Bytes(4, 0xFF));
}

TEST(BootRom, ExtendedEraseOnNewerChips) {
    SimBootRom rom({.productId = 0x438});
    BootHost host(RomExchange(rom));
    ASSERT_TRUE(host.Activate());
    EXPECT_FALSE(host.Command(0x43)) << "classic erase is not offered";
    ASSERT_TRUE(host.Write(kBase + 2048, Bytes(8, 0)));
    ASSERT_TRUE(host.ErasePages(true, {1}));
    EXPECT_EQ(host.Read(kBase + 2048, 8), Bytes(8, 0xFF));
    ASSERT_TRUE(host.Write(kBase, Bytes(8, 0)));
    ASSERT_TRUE(host.MassErase(true));
    EXPECT_EQ(host.Read(kBase, 8), Bytes(8, 0xFF));
}

TEST(BootRom, BadDataChecksumIsRefusedAndWritesNothing) {
    SimBootRom rom({});
    BootHost host(RomExchange(rom));
    ASSERT_TRUE(host.Activate());
    EXPECT_FALSE(host.Write(kBase, Pattern(16, 1), /*badChecksum*/ true));
    EXPECT_EQ(host.Read(kBase, 16), Bytes(16, 0xFF));
}

TEST(BootRom, ReadoutProtectionAndUnprotectWipes) {
    SimBootRom rom({});
    BootHost host(RomExchange(rom));
    ASSERT_TRUE(host.Activate());
    ASSERT_TRUE(host.Write(kBase, Pattern(16, 9)));
    EXPECT_EQ(host.Raw()({0x82, 0x7D}, 2), (Bytes{kAck, kAck}));
    EXPECT_TRUE(rom.ReadProtected());
    ASSERT_TRUE(host.Activate()) << "the chip reset itself";
    EXPECT_FALSE(host.Command(0x11));
    EXPECT_EQ(host.Raw()({0x92, 0x6D}, 2), (Bytes{kAck, kAck}));
    ASSERT_TRUE(host.Activate());
    EXPECT_EQ(host.Read(kBase, 16), Bytes(16, 0xFF));
    EXPECT_EQ(host.Raw()({0x73, 0x8C}, 2), (Bytes{kAck, kAck})) << "write unprotect";
    EXPECT_FALSE(rom.Activated());
}

TEST(BootRom, GoReportsItsAddressOnce) {
    SimBootRom rom({});
    BootHost host(RomExchange(rom));
    ASSERT_TRUE(host.Activate());
    uint32_t address = 0;
    EXPECT_FALSE(rom.TakeGo(address));
    ASSERT_TRUE(host.Go(kBase));
    EXPECT_TRUE(rom.TakeGo(address));
    EXPECT_EQ(address, kBase);
    EXPECT_FALSE(rom.TakeGo(address));
    EXPECT_FALSE(rom.Activated());
}

}  // namespace
