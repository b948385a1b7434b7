#include "tests/session/session_harness.h"

#include "link/com_port_connector.h"
#include "link/tcp_connector.h"

namespace sessiontest {

TSessionHarness::TSessionHarness(bool AManualClock, TSessionTimings ATimings)
    : settings(TSettingsStore::PathUnder(dir.path())) {
    testsupport::EnsureCoreApp();
    const TTickClock& tick =
        AManualClock ? static_cast<const TTickClock&>(clock) : SystemTickClock();
    core = std::make_unique<TSessionCore>(view, settings, tick, ATimings);
    core->TCPConnector().SetReadTimeout(300);
    core->TCPConnector().SetConnectTimeout(500);
}

TSessionHarness::~TSessionHarness() {
    core.reset();
    if (supply) {
        RemoveExtraPort(QString::fromStdString(supply->PtyPath()));
        supply.reset();
    }
}

bool TSessionHarness::StartSupply(VirtualSupplyOptions AOptions) {
    std::string error;
    supply = VirtualSupply::Start(AOptions, &error);
    return supply != nullptr;
}

bool TSessionHarness::ConnectTcp(int ATimeoutMs) {
    core->LoadSettings();
    core->TCPConnector().SetPort(supply->TcpPort());
    core->ComPortComboBoxSelect(0);
    core->IpMaskEditChange("127.000.000.001");
    core->ConnectBtnClick();
    return WaitFor([&] { return core->Connected(); }, ATimeoutMs);
}

int TSessionHarness::SelectPty() {
    AddExtraPort(QString::fromStdString(supply->PtyPath()));
    core->LoadSettings();
    const QString path = QString::fromStdString(supply->PtyPath());
    const auto& list = core->SerialPortList();
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].ShortName == path) {
            core->ComPortComboBoxSelect(static_cast<int>(i));
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool TSessionHarness::ConnectPty(int ATimeoutMs) {
    if (SelectPty() < 0) return false;
    core->BaudComboBoxSelect(2);
    core->ConnectBtnClick();
    return WaitFor([&] { return core->Connected(); }, ATimeoutMs);
}

bool TSessionHarness::WaitPolls(uint64_t ACount, int ATimeoutMs) {
    const uint64_t target = supply->Requests() + ACount;
    return WaitFor([&] { return supply->Requests() >= target; }, ATimeoutMs);
}

}  // namespace sessiontest
