#pragma once
// Wake-ups of this process's threads of one name, read from /proc: the count of voluntary
// context switches (each a sleep that ended because the thread was woken). Tests and benchmarks
// use it to see how often the link's worker wakes per exchange.

#include <cstdint>
#include <map>
#include <string>

namespace testsupport {

class TThreadWakeups {
public:
    // Takes the starting counts of every thread named AName (as /proc/self/task/*/comm shows it).
    explicit TThreadWakeups(std::string AName);
    // Wake-ups since the start, summed over the threads that existed then and still do.
    uint64_t Since() const;

private:
    std::map<std::string, uint64_t> Counts() const;

    std::string fName;
    std::map<std::string, uint64_t> fStart;
};

}  // namespace testsupport
