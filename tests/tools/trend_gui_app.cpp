// The trend picture renders its labels with fonts and the panel is a widget: both need a
// QApplication, created once before any test runs.

#include <gtest/gtest.h>

#include <QApplication>

namespace {

class TrendGuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance() != nullptr) return;
        static int argc = 1;
        static char name[] = "tests_tools";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
};

[[maybe_unused]] ::testing::Environment* const kEnv =
    ::testing::AddGlobalTestEnvironment(new TrendGuiEnvironment);

}  // namespace
