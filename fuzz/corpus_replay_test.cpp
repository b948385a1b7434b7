// Every file of each target's seed corpus (fuzz/corpus/<target>/) through the target's entry
// point: inputs that once crashed stay regression tests, and the targets keep building and
// running in the normal build and under the sanitizer builds.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/replay_targets.h"

namespace {

namespace fs = std::filesystem;

class FuzzCorpus : public ::testing::TestWithParam<TFuzzReplayTarget> {};

TEST_P(FuzzCorpus, EverySeedRunsThroughItsTarget) {
    const fs::path dir = fs::path(BENCHLORD_FUZZ_CORPUS) / GetParam().Name;
    ASSERT_TRUE(fs::is_directory(dir)) << dir << ": every target keeps a seed corpus";
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(GetParam().Run(bytes.data(), bytes.size()), 0);
        ++files;
    }
    EXPECT_GT(files, 0u) << dir;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpus, ::testing::ValuesIn(FuzzReplayTargets()),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
