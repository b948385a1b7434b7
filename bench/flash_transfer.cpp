// Firmware write + verify of a 64 KiB image at 38400 baud over a pty against the virtual
// supply's boot ROM with wire time (11 bits per byte) and flash timings, next to the line's
// lower bound computed here and to stm32flash on the same pty in the same run.
//
//     bench_flash_transfer [--size BYTES] [--skip-stm32flash]

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/com_port.h"
#include "maintenance/core/stm32_flasher.h"
#include "sim/virtual_supply.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kBaud = 38400;
constexpr double kBitsPerByte = 11;  // start, 8 data, even parity, stop

// Bytes on the line for activation, Get, Get ID, a classic global erase, write and read-back of
// every 256-byte block, and Go: both directions, as the exchange never overlaps them.
uint64_t LineBytes(uint64_t AImageSize) {
    const uint64_t blocks = (AImageSize + 255) / 256;
    const uint64_t activation = 1 + 1;
    const uint64_t get = 2 + 1 + 14;  // command, ACK, length + version + 11 codes + ACK
    const uint64_t getId = 2 + 1 + 4;
    const uint64_t erase = 2 + 1 + 2 + 1;
    const uint64_t write = 2 + 1 + 5 + 1 + 258 + 1;
    uint64_t read = 0;
    for (uint64_t at = 0; at < AImageSize; at += 256)
        read += 2 + 1 + 5 + 1 + 2 + 1 + std::min<uint64_t>(256, AImageSize - at);
    const uint64_t go = 2 + 1 + 5 + 1;
    return activation + get + getId + erase + blocks * write + read + go;
}

double Seconds(Clock::time_point AFrom) {
    return std::chrono::duration<double>(Clock::now() - AFrom).count();
}

bool SameStart(const std::vector<uint8_t>& AImage, const std::vector<uint8_t>& AFlash) {
    return AFlash.size() >= AImage.size() &&
           std::equal(AImage.begin(), AImage.end(), AFlash.begin());
}

// Exchanges (a host write answered by the chip) of the transfer LineBytes counts: activation, Get,
// Get ID, two for the erase, three per written and three per read block, two for Go.
uint64_t Exchanges(uint64_t AImageSize) {
    const uint64_t blocks = (AImageSize + 255) / 256;
    return 1 + 1 + 1 + 2 + 6 * blocks + 2;
}

// Mean time the pty and the scheduler add to one exchange beyond its wire time: Get Version
// (2 bytes out, 5 back) repeated against the boot ROM. The mean, not the median: the stalls of
// a loaded machine are what a long transfer pays.
double TurnaroundSeconds(TKRCOMPort& APort) {
    const uint8_t activate = 0x7F, getVersion[2] = {0x01, 0xFE};
    uint8_t in[8];
    APort.Write(&activate, 1);
    APort.WaitForInput(1000);
    APort.Read(in, 1);
    std::vector<double> samples;
    for (int i = 0; i < 200; ++i) {
        const auto t0 = Clock::now();
        APort.Write(getVersion, 2);
        int got = 0;
        while (got < 5 && APort.WaitForInput(1000))
            got += APort.Read(in + got, 5 - got);
        samples.push_back(Seconds(t0));
    }
    double sum = 0;
    for (double s : samples)
        sum += s;
    return sum / double(samples.size()) - 7 * kBitsPerByte / kBaud;
}

// Runs a program with its output thrown away; its exit status, -1 when it cannot start.
int RunQuiet(const std::vector<std::string>& AArgs) {
    std::vector<char*> argv;
    for (const std::string& a : AArgs)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    size_t size = 65536;
    bool withStm32flash = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--size") && i + 1 < argc) size = std::stoul(argv[++i]);
        if (!std::strcmp(argv[i], "--skip-stm32flash")) withStm32flash = false;
    }

    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i)
        image[i] = static_cast<uint8_t>((i * 131 + 7) ^ (i >> 7));
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("bench-flash-" + std::to_string(getpid()) + ".bin"))
                                 .string();
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

    VirtualSupplyOptions o;
    o.tcp = false;
    o.pty = true;
    o.wireTime = true;
    std::string error;
    auto sup = VirtualSupply::Start(o, &error);
    if (!sup) {
        std::fprintf(stderr, "virtual supply: %s\n", error.c_str());
        return 1;
    }

    const uint64_t bytes = LineBytes(size);
    const double lineS = double(bytes) * kBitsPerByte / kBaud;
    const double flashS =
        (double(kSimEraseNs) + double((size + 1) / 2) * double(kSimHalfWordNs)) / 1e9;
    const double bound = lineS + flashS;
    std::printf("write + verify of %zu bytes at 38400 baud, 11 bits per byte\n", size);
    std::printf("line lower bound        %8.3f s  (%llu bytes %.3f s + flash %.3f s)\n", bound,
                static_cast<unsigned long long>(bytes), lineS, flashS);

    // Ours, after measuring what the pty adds to each exchange under the machine's load.
    sup->EnterBootloader();
    double ours = 0;
    {
        TKRCOMPort port;
        port.SetPort(sup->PtyPath());
        port.SetBaudRate(38400);
        port.SetParity(2);
        if (!port.Open()) {
            std::fprintf(stderr, "cannot open %s\n", sup->PtyPath().c_str());
            return 1;
        }
        const double turnaround = TurnaroundSeconds(port);
        const double withPty = bound + turnaround * double(Exchanges(size));
        double load = 0;
        if (FILE* f = std::fopen("/proc/loadavg", "r")) {
            if (std::fscanf(f, "%lf", &load) != 1) load = 0;
            std::fclose(f);
        }
        std::printf("pty turnaround          %8.3f ms per exchange (load average %.1f)\n",
                    turnaround * 1e3, load);
        std::printf("bound + pty turnarounds %8.3f s  (%llu exchanges)\n", withPty,
                    static_cast<unsigned long long>(Exchanges(size)));
        sup->EnterBootloader();  // back to waiting for the activation byte
        TSTM32_Flasher flasher(port);
        // The client's own lines, shown when it fails.
        std::string said;
        flasher.SetOnWriteln(
            [&](TSTM32_Flasher*, const std::string& ALine) { said += ALine + "\n"; });
        const auto t0 = Clock::now();
        const bool ok = flasher.FlashFile(file, true);
        ours = Seconds(t0);
        port.Close();
        if (!ok || !SameStart(image, sup->FlashImage()) || sup->InBootloader()) {
            std::fprintf(stderr, "%s", said.c_str());
            std::fprintf(stderr, "TSTM32_Flasher failed: %s%s%s\n",
                         !ok ? ("step " + flasher.FailedStep() + "; " + flasher.StateText()).c_str()
                         : !SameStart(image, sup->FlashImage()) ? "the flash differs from the file"
                                                                : "",
                         ok && sup->InBootloader() ? "still in the boot loader" : "", "");
            return 1;
        }
    }
    std::printf("TSTM32_Flasher          %8.3f s  ratio to the bound %.4f\n", ours, ours / bound);

    // stm32flash on the same pty.
    if (withStm32flash) {
        sup->LoadFlashImage({});
        sup->EnterBootloader();
        const auto t0 = Clock::now();
        const int rc = RunQuiet({"stm32flash", "-b", "38400", "-m", "8n1", "-w", file, "-v", "-g",
                                 "0x08000000", sup->PtyPath()});
        const double theirs = Seconds(t0);
        if (rc == -1) {
            std::printf("stm32flash              not installed\n");
        } else if (rc != 0 || !SameStart(image, sup->FlashImage())) {
            std::printf("stm32flash              failed (exit %d)\n", rc);
        } else {
            std::printf("stm32flash              %8.3f s  ratio to the bound %.4f\n", theirs,
                        theirs / bound);
            std::printf("TSTM32_Flasher / stm32flash  %.4f\n", ours / theirs);
        }
    }
    std::filesystem::remove(file);
    return 0;
}
