#include "tests/session/preset_harness.h"

#include "sim/sim_model.h"

namespace presettest {

TPresetSession::TPresetSession(const std::string& AClass, uint16_t AModel,
                               const std::function<void(VirtualSupply&)>& ASetup) {
    VirtualSupplyOptions opt;
    opt.identity.model = AModel;
    if (!SimApplyClassName(AClass, opt.identity)) return;
    if (!h.StartSupply(opt)) return;
    if (ASetup) ASetup(*h.supply);
    presets = std::make_unique<TPresetLogic>(*h.core, pv);
    params = std::make_unique<TParameterLogic>(*h.core, *presets, pv);
}

bool TPresetSession::Connect() {
    if (!presets || !h.ConnectTcp()) return false;
    // The first block read ends with the caption.
    return h.WaitFor([&] { return !pv.caption.isEmpty() && !presets->Pending(); });
}

bool TPresetSession::Select(int ATag) {
    bool done = false, ok = false;
    const QString error = presets->SelectPreset(static_cast<uint32_t>(ATag), [&](bool AOk) {
        done = true;
        ok = AOk;
    });
    if (!error.isEmpty()) return false;
    return h.WaitFor([&] { return done; }) && ok;
}

int TPresetSession::WriteIndex(uint16_t AReg, int AFrom) {
    const std::vector<SimWrite> writes = h.supply->Writes();
    for (int i = AFrom; i < static_cast<int>(writes.size()); ++i) {
        const SimWrite& w = writes[static_cast<size_t>(i)];
        if (w.start <= AReg && AReg < w.start + w.values.size()) return i;
    }
    return -1;
}

uint16_t TPresetSession::WrittenValue(int AIndex, uint16_t AReg) {
    const std::vector<SimWrite> writes = h.supply->Writes();
    const SimWrite& w = writes.at(static_cast<size_t>(AIndex));
    return w.values.at(AReg - w.start);
}

}  // namespace presettest
