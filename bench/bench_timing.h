#pragma once
// Timing helpers shared by the benchmarks.

#include <chrono>
#include <functional>

namespace benchtiming {

// Microseconds per call of `body`, best of five runs of `n` calls.
inline double MicrosPerCall(int n, const std::function<void(int)>& body) {
    double best = 1e18;
    for (int run = 0; run < 5; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < n; ++i)
            body(i);
        const double us =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                .count() /
            n;
        if (us < best) best = us;
    }
    return best;
}

}  // namespace benchtiming
