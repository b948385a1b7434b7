#include "tools/core/output_off.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <memory>

#include "device/register_map.h"
#include "link/connector.h"
#include "link/modbus_master.h"
#include "session/session_core.h"

bool SwitchOutputOffNow(TSessionCore& ACore, int ATimeoutMs) {
    return WriteRegistersNow(ACore, {{hreg::ONOFF, {0}}}, ATimeoutMs).front();
}

std::vector<bool> WriteRegistersNow(TSessionCore& ACore, const std::vector<TRegisterWrite>& AWrites,
                                    int ATimeoutMs) {
    std::vector<bool> none(AWrites.size(), false);
    TKRModbusMaster& master = ACore.ModbusMaster();
    TKRConnector* connector = master.Connector();
    if (connector == nullptr || AWrites.empty()) return none;
    const bool connected = ACore.Connected();
    if (connected) {
        ACore.TaskMgr().Stop();
    } else {
        master.SetActive(true);
        if (!connector->Connected()) {
            master.SetActive(false);
            return none;
        }
    }
    // Each write goes out once the one before it has ended. A supply that stopped answering
    // may still take them, so a write without a reply must not close the port on the ones
    // behind it (as the connector does after a few failures in a row) until they are sent.
    // The handler of each runs exactly once, possibly after the wait gave up: it shares its
    // state.
    const int32_t closeAfter = connector->CountErrorsForReconnect();
    if (AWrites.size() > 1)
        connector->SetCountErrorsForReconnect(std::numeric_limits<int32_t>::max());
    struct TState {
        bool Done = false;
        bool Answered = false;
        QEventLoop* Loop = nullptr;
    };
    std::vector<bool> answered;
    for (size_t i = 0; i < AWrites.size(); ++i) {
        auto state = std::make_shared<TState>();
        QEventLoop loop;
        state->Loop = &loop;
        auto ended = [state](int32_t AError, const void*) {
            state->Done = true;
            state->Answered = AError == 0;
            if (state->Loop) state->Loop->quit();
        };
        const TRegisterWrite& w = AWrites[i];
        if (w.Values.size() == 1)
            master.WriteHoldingRegister(ACore.MBType(), ACore.MBAddr(), w.Start, w.Values[0],
                                        ended);
        else
            master.WriteHoldingRegisters(ACore.MBType(), ACore.MBAddr(), w.Start, w.Values, ended);
        if (!state->Done) {
            // After the first, a write may wait out the connector's own reply wait.
            const int bound =
                i == 0 ? ATimeoutMs
                       : std::max(ATimeoutMs, static_cast<int>(connector->ReadTimeout()));
            QTimer::singleShot(bound, &loop, &QEventLoop::quit);
            loop.exec();
        }
        state->Loop = nullptr;
        answered.push_back(state->Answered);
    }
    connector->SetCountErrorsForReconnect(closeAfter);
    if (!connected) master.SetActive(false);
    return answered;
}
