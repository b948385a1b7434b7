#include "tests/controls/paint_gui_app.h"

#include <gtest/gtest.h>

#include <QApplication>

namespace {

class GuiAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance() != nullptr) return;
        static int argc = 1;
        static char name[] = "tests_controls";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }

private:
    QApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const kEnv =
    ::testing::AddGlobalTestEnvironment(new GuiAppEnvironment);

}  // namespace

namespace painttest {

QImage Render(QWidget& w, QColor back) {
    QImage img(w.size(), QImage::Format_ARGB32);
    img.fill(back);
    w.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

}  // namespace painttest
