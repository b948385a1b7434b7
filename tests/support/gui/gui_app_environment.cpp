// Widget tests need a QApplication: a global test environment creates it before any test runs,
// so helpers that only ask for a core application find it already there. Linked as an object
// into each widget test program (a static library would drop the unreferenced registration).

#include <gtest/gtest.h>

#include <QApplication>

namespace {

class GuiAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance() != nullptr) return;
        static int argc = 1;
        static char name[] = "benchlord-tests";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
};

[[maybe_unused]] ::testing::Environment* const kEnv =
    ::testing::AddGlobalTestEnvironment(new GuiAppEnvironment);

}  // namespace
