// benchlord-sim as a process: endpoint lines on start, commands on standard input, and a clean
// exit at the end of input (when told to) and on SIGTERM.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "tests/sim/raw_client.h"

using namespace simtest;

namespace {

std::string SimBinary() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const auto bin = self.parent_path() / "benchlord-sim";
    return !ec && access(bin.c_str(), X_OK) == 0 ? bin.string() : std::string();
}

class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args) {
        // Everything the child needs is prepared before fork: it may only exec.
        std::string bin = SimBinary();
        std::vector<char*> argv{bin.data()};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~SimProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdin_ >= 0) close(stdin_);
        if (stdout_ >= 0) close(stdout_);
    }
    // One line of standard output, without its newline; empty after 2 s of nothing.
    std::string Line() {
        while (buffer_.find('\n') == std::string::npos) {
            const Bytes b = testsupport::ReadBytes(stdout_, 1, 2000);
            if (b.empty()) return {};
            buffer_.push_back(char(b[0]));
        }
        const auto nl = buffer_.find('\n');
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
    }
    void Send(const std::string& text) {
        testsupport::SendAll(stdin_, Bytes(text.begin(), text.end()));
    }
    void CloseInput() {
        close(stdin_);
        stdin_ = -1;
    }
    // Waits for the end of its output (the process closes it by exiting), then for the status.
    int ExitCode() {
        while (!testsupport::ReadBytes(stdout_, 4096, 3000).empty()) {
        }
        int status = 0;
        waitpid(pid_, &status, 0);
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    bool exited_ = false;
    std::string buffer_;
};

class SimExecutableTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (SimBinary().empty()) GTEST_SKIP() << "benchlord-sim is not built beside the tests";
    }
};

TEST_F(SimExecutableTest, PrintsEndpointsTakesCommandsAndEndsWithItsInput) {
    SimProcess sim({"--tcp", "0", "--pty", "--model", "3005", "--exit-on-eof"});
    const std::string tcp = sim.Line();
    const std::string pty = sim.Line();
    ASSERT_EQ(tcp.rfind("tcp 127.0.0.1:", 0), 0u) << tcp;
    ASSERT_EQ(pty.rfind("pty /dev/pts/", 0), 0u) << pty;

    const uint16_t port = uint16_t(std::stoi(tcp.substr(tcp.rfind(':') + 1)));
    const int fd = [&] {
        int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? s : -1;
    }();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Values(TcpExchange(fd, 1, 1, Pdu3(simreg::MODEL, 1)), 7),
              std::vector<uint16_t>{3005});
    sim.Send("lock\n");
    EXPECT_EQ(sim.Line(), "ok");
    sim.Send("unlock\n");
    EXPECT_EQ(sim.Line(), "ok");
    EXPECT_EQ(Values(TcpExchange(fd, 2, 1, Pdu3(simreg::LOCK, 1)), 7), std::vector<uint16_t>{0});
    close(fd);
    sim.CloseInput();
    EXPECT_EQ(sim.ExitCode(), 0);
}

TEST_F(SimExecutableTest, ExitsCleanlyOnSigtermAndRemovesItsLink) {
    const std::string link =
        (std::filesystem::temp_directory_path() / ("benchlord-sim-" + std::to_string(getpid())))
            .string();
    SimProcess sim({"--tcp", "0", "--pty", link});
    sim.Line();
    sim.Line();
    EXPECT_EQ(sim.Line(), "link " + link);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    sim.CloseInput();  // without --exit-on-eof it keeps serving
    kill(sim.Pid(), SIGTERM);
    EXPECT_EQ(sim.ExitCode(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST_F(SimExecutableTest, BadOptionsExitWithUsageHint) {
    SimProcess sim({"--frobnicate"});
    EXPECT_EQ(sim.ExitCode(), 2);
}

}  // namespace
