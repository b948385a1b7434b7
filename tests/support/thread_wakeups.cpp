#include "tests/support/thread_wakeups.h"

#include <dirent.h>

#include <fstream>

namespace testsupport {

TThreadWakeups::TThreadWakeups(std::string AName) : fName(std::move(AName)), fStart(Counts()) {}

uint64_t TThreadWakeups::Since() const {
    uint64_t sum = 0;
    for (const auto& [tid, count] : Counts())
        if (auto it = fStart.find(tid); it != fStart.end() && count >= it->second)
            sum += count - it->second;
    return sum;
}

std::map<std::string, uint64_t> TThreadWakeups::Counts() const {
    std::map<std::string, uint64_t> result;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return result;
    while (const dirent* entry = readdir(tasks)) {
        const std::string tid = entry->d_name;
        if (tid == "." || tid == "..") continue;
        const std::string dir = "/proc/self/task/" + tid;
        std::string comm;
        std::ifstream commFile(dir + "/comm");
        if (!std::getline(commFile, comm) || comm != fName) continue;
        std::ifstream status(dir + "/status");
        std::string line;
        const std::string key = "voluntary_ctxt_switches:";
        while (std::getline(status, line))
            if (line.rfind(key, 0) == 0) result[tid] = std::stoull(line.substr(key.size()));
    }
    closedir(tasks);
    return result;
}

}  // namespace testsupport
