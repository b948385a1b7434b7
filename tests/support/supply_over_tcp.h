#pragma once
// Starts a virtual supply and connects a session to it over TCP on loopback, as the connect
// button does; true once the session is connected.

#include <memory>

#include "link/tcp_connector.h"
#include "session/session_core.h"
#include "sim/virtual_supply.h"
#include "tests/support/event_loop.h"

namespace testsupport {

inline bool ConnectToNewSupply(TSessionCore& ACore, std::unique_ptr<VirtualSupply>& ASupply) {
    ASupply = VirtualSupply::Start({});
    if (!ASupply) return false;
    ACore.LoadSettings();
    ACore.TCPConnector().SetPort(ASupply->TcpPort());
    ACore.ComPortComboBoxSelect(0);
    ACore.IpMaskEditChange("127.000.000.001");
    ACore.ConnectBtnClick();
    return ProcessUntil([&] { return ACore.Connected(); }, 3000);
}

}  // namespace testsupport
