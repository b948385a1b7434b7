// The tools' widget tests need a QApplication: a global test environment creates it before any
// test runs, so helpers that ask for a core application find it there.

#include <gtest/gtest.h>

#include <QApplication>

namespace {

class GuiAppEnvironment : public ::testing::Environment {
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
    ::testing::AddGlobalTestEnvironment(new GuiAppEnvironment);

}  // namespace
