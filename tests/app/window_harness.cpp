#include "tests/app/window_harness.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>

#include "app/app_style.h"
#include "app/benchlord_application.h"
#include "controls/enter_form.h"
#include "controls/enter_form2.h"
#include "controls/indicator.h"
#include "link/tcp_connector.h"
#include "session/model_limits.h"
#include "tests/support/event_loop.h"

namespace {

// The application object of the program (with its error report and style) for every test.
class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance() != nullptr) return;
        static int argc = 1;
        static char name[] = "tests_app";
        static char* argv[] = {name, nullptr};
        auto* app = new TBenchlordApplication(argc, argv);
        ApplyAppStyle(*app);
    }
};

[[maybe_unused]] ::testing::Environment* const kEnv =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

namespace apptest {

TSessionTimings FastTimings() {
    TSessionTimings t;
    t.TaskInterval = 2;
    t.ResponseTimeout = 150;
    t.SessionTick = 20;
    t.AutoconnectFirst = 20;
    t.AutoconnectRetry = 60;
    t.DrainTimeout = 1000;
    t.ReactivateWait = 0;
    return t;
}

TWindowHarness::TWindowHarness(THarnessConfig AConfig)
    : settings(TSettingsStore::PathUnder(dir.path())) {
    ResetModelLimits();
    TIndicator::ResetActive();
    TMainFormOptions options;
    options.Settings = AConfig.ownSettings ? nullptr : &settings;
    options.Timings = FastTimings();
    options.Presenter = &presenter;
    options.PortNotices = false;
    options.VirtualSupply = AConfig.virtualSupply;
    form = std::make_unique<TMainForm>(options);
    popup2 = new TEnterForm2(form.get());
    popup = new TEnterForm(form.get());
    form->SetEntryPopups(popup, popup2);
    form->Session().TCPConnector().SetReadTimeout(300);
    form->Session().TCPConnector().SetConnectTimeout(500);
}

TWindowHarness::~TWindowHarness() {
    form.reset();
    supply.reset();
    TIndicator::ResetActive();
    ResetModelLimits();
}

bool TWindowHarness::StartSupply(VirtualSupplyOptions AOptions) {
    std::string error;
    supply = VirtualSupply::Start(AOptions, &error);
    return supply != nullptr;
}

bool TWindowHarness::Connect(int ATimeoutMs) {
    if (!form->isVisible()) form->show();
    form->ConnectLoopback(supply->TcpPort());
    return WaitFor([&] { return form->Session().Connected(); }, ATimeoutMs);
}

bool TWindowHarness::WaitPolls(uint64_t ACount, int ATimeoutMs) {
    const uint64_t target = supply->Requests() + ACount;
    return WaitFor([&] { return supply->Requests() >= target; }, ATimeoutMs);
}

bool TWindowHarness::WaitFor(const std::function<bool()>& APredicate, int ATimeoutMs) {
    return testsupport::ProcessUntil(APredicate, ATimeoutMs);
}

void Click(QWidget* AWidget, QPoint APos) {
    const QPoint pos = APos.x() < 0 ? AWidget->rect().center() : APos;
    const QPointF local(pos);
    const QPointF global(AWidget->mapToGlobal(pos));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(AWidget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(AWidget, &release);
}

}  // namespace apptest
