#include "tests/app/window_harness.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/app_style.h"
#include "app/benchlord_application.h"
#include "app/connection_panel.h"
#include "controls/enter_form.h"
#include "controls/enter_form2.h"
#include "controls/indicator.h"
#include "link/port_discovery.h"
#include "link/tcp_connector.h"
#include "tests/support/event_loop.h"

namespace {

// The application object of the program (with its error report and style) for every test.
class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance() != nullptr) return;
        // Offscreen, the window gets a 1600 x 1000 screen (the toolkit's own is 800 x 600,
        // smaller than the window itself).
        static QTemporaryDir config;
        if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && config.isValid()) {
            QFile file(config.filePath(QStringLiteral("screens.json")));
            if (file.open(QIODevice::WriteOnly) &&
                file.write(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 1600, )"
                           R"("height": 1000, "logicalDpi": 96, "logicalBaseDpi": 96, )"
                           R"("dpr": 1}]})") > 0 &&
                file.flush())
                qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + file.fileName().toLocal8Bit());
        }
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

TWindowHarness::TWindowHarness(THarnessConfig AConfig)
    : settings(TSettingsStore::PathUnder(dir.path())) {
    TIndicator::ResetActive();
    options.Settings = AConfig.ownSettings ? nullptr : &settings;
    options.Timings = FastTimings();
    options.Timings.RepeatPoll = true;  // as the window polls
    options.Presenter = &presenter;
    options.PortNotices = static_cast<bool>(AConfig.portEvents);
    options.PortEvents = AConfig.portEvents;
    options.VirtualSupply = AConfig.virtualSupply;
    options.Autotest = AConfig.autotest;
    options.Plans = AConfig.plans;
    if (options.Autotest.TablePath.isEmpty())
        options.Autotest.TablePath = dir.filePath("Persistent.ini");
    if (options.Autotest.RecoveryPath.isEmpty())
        options.Autotest.RecoveryPath = dir.filePath("autotest-recovery.csv");
    OpenWindow();
}

void TWindowHarness::OpenWindow() {
    form = std::make_unique<TMainForm>(options);
    popup2 = new TEnterForm2(form.get());
    popup = new TEnterForm(form.get());
    form->SetEntryPopups(popup, popup2);
    form->Session().TCPConnector().SetReadTimeout(300);
    form->Session().TCPConnector().SetConnectTimeout(500);
}

void TWindowHarness::ReopenWindow() {
    form.reset();
    OpenWindow();
}

TWindowHarness::~TWindowHarness() {
    form.reset();
    if (supply) RemoveExtraPort(QString::fromStdString(supply->PtyPath()));
    supply.reset();
    TIndicator::ResetActive();
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

bool TWindowHarness::ConnectSerial(int ATimeoutMs) {
    if (!form->isVisible()) form->show();
    const QString path = QString::fromStdString(supply->PtyPath());
    AddExtraPort(path);
    form->Session().FillPortList();
    QComboBox* ports = form->ConnectionPanel()->ComPortComboBox();
    const int index = ports->findText(path, Qt::MatchContains);
    if (index < 0) return false;
    ports->setCurrentIndex(index);
    emit ports->activated(index);
    form->ConnectionPanel()->ConnectBtn()->click();
    return WaitFor([&] { return form->Session().Connected(); }, ATimeoutMs);
}

bool TWindowHarness::WaitPolls(uint64_t ACount, int ATimeoutMs) {
    const uint64_t target = supply->Requests() + ACount;
    return WaitFor([&] { return supply->Requests() >= target; }, ATimeoutMs);
}

bool TWindowHarness::WaitFor(const std::function<bool()>& APredicate, int ATimeoutMs) {
    return testsupport::ProcessUntil(APredicate, ATimeoutMs);
}

TPipePortEvents::TPipePortEvents() {
    EXPECT_EQ(pipe(fFds), 0);
}

TPipePortEvents::~TPipePortEvents() {
    close(fFds[0]);
    close(fFds[1]);
}

std::vector<TPortEvent> TPipePortEvents::Receive() {
    char buffer[16];
    (void)!read(fFds[0], buffer, sizeof buffer);
    std::vector<TPortEvent> events;
    events.swap(fPending);
    return events;
}

void TPipePortEvents::Announce(TPortChange AChange, const QString& AName) {
    fPending.push_back({AChange, AName});
    EXPECT_EQ(write(fFds[1], "x", 1), 1);
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
