#include "sim/sim_model.h"

#include <array>

#include "device/model_table.h"

namespace {
struct ClassRow {
    const char* name;
    SimFwClass cls;
    uint16_t version;
    uint16_t pver;
    uint16_t mgic;
};

constexpr std::array<ClassRow, 9> kClasses{{
    {"ver_18", SimFwClass::v18, 18, 0, 0},
    {"ver_36", SimFwClass::v36, 36, 0, 0},
    {"ver_40", SimFwClass::v40, 40, 0, 0},
    {"ver_4Z", SimFwClass::v4Z, 41, 0, kSimMagic4Z},
    {"ver_42", SimFwClass::v42, 42, 0, 0},
    {"ver_43", SimFwClass::v43, 43, 43, 0},
    {"ver_45", SimFwClass::v45, 45, 45, 0},
    {"ver_46", SimFwClass::v46, 46, 46, 0},
    {"ver_New", SimFwClass::vNew, 47, 47, 0},
}};
}  // namespace

std::optional<SimModelLimits> SimLookupModel(uint16_t model) {
    // The device library's model table, so that the supply and the program never disagree.
    const TModelRow* row = FindModelRow(model);
    if (!row) return std::nullopt;
    return SimModelLimits{static_cast<uint16_t>(row->MaxUset), static_cast<uint16_t>(row->MaxIset),
                          static_cast<uint16_t>(row->MaxPower),
                          static_cast<uint16_t>(row->CurrentDiv), row->TempSensor};
}

SimFwClass SimClassOf(const SimIdentity& id) {
    const uint16_t v = id.version & 0x0FFF;
    if (v < 36 || id.dvid.value_or(id.model) != id.model) return SimFwClass::v18;
    if (v < 40) return SimFwClass::v36;
    if (v == 41 && id.mgic == kSimMagic4Z) return SimFwClass::v4Z;
    if (v < 42) return SimFwClass::v40;
    if (v == 42) return SimFwClass::v42;
    if (id.pver < 45) return SimFwClass::v43;
    if (id.pver == 45) return SimFwClass::v45;
    if (id.pver == 46) return SimFwClass::v46;
    return SimFwClass::vNew;
}

bool SimApplyClassName(const std::string& name, SimIdentity& id) {
    for (const auto& row : kClasses) {
        const std::string full = row.name;
        if (name == full || name == full.substr(4)) {
            id.version = row.version;
            id.pver = row.pver;
            id.mgic = row.mgic;
            return true;
        }
    }
    return false;
}

const char* SimClassName(SimFwClass c) {
    for (const auto& row : kClasses)
        if (row.cls == c) return row.name;
    return "?";
}

uint16_t SimDefaultState(const SimIdentity& id) {
    uint16_t state = 0;
    const auto limits = SimLookupModel(id.model);
    if (limits && limits->tempSensor) state |= 0x0003;  // second temperature point, "T"
    if (id.variant == SimVariant::wz) state |= 0x0010;
    if (id.variant == SimVariant::korad) state |= 0x0020;
    return state;
}
