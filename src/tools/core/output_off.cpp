#include "tools/core/output_off.h"

#include <QEventLoop>
#include <QTimer>
#include <memory>

#include "device/register_map.h"
#include "link/connector.h"
#include "link/modbus_master.h"
#include "session/session_core.h"

bool SwitchOutputOffNow(TSessionCore& ACore, int ATimeoutMs) {
    TKRModbusMaster& master = ACore.ModbusMaster();
    TKRConnector* connector = master.Connector();
    if (connector == nullptr) return false;
    const bool connected = ACore.Connected();
    if (connected) {
        ACore.TaskMgr().Stop();
    } else {
        master.SetActive(true);
        if (!connector->Connected()) {
            master.SetActive(false);
            return false;
        }
    }
    // The handler runs exactly once, possibly after the wait gave up: it shares its state.
    struct TState {
        bool Done = false;
        bool Answered = false;
        QEventLoop* Loop = nullptr;
    };
    auto state = std::make_shared<TState>();
    QEventLoop loop;
    state->Loop = &loop;
    master.WriteHoldingRegister(ACore.MBType(), ACore.MBAddr(), hreg::ONOFF, 0,
                                [state](int32_t AError, const void*) {
                                    state->Done = true;
                                    state->Answered = AError == 0;
                                    if (state->Loop) state->Loop->quit();
                                });
    if (!state->Done) {
        QTimer::singleShot(ATimeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    state->Loop = nullptr;
    const bool answered = state->Answered;
    if (!connected) master.SetActive(false);
    return answered;
}
