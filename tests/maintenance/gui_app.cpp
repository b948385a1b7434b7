// The page tests need a QApplication; a global test environment creates it before any test.

#include <gtest/gtest.h>

#include <QApplication>

namespace {

class GuiAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance() != nullptr) return;
        static int argc = 1;
        static char name[] = "tests_maintenance";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
};

[[maybe_unused]] ::testing::Environment* const kEnv =
    ::testing::AddGlobalTestEnvironment(new GuiAppEnvironment);

}  // namespace
