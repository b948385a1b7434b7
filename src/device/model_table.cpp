#include "device/model_table.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<TModelRow, 9> kModels = {{
    {3003, 3100, 3100, 900, 10, false},
    {3005, 3100, 5100, 1500, 10, false},
    {3010, 3100, 9999, 3000, 10, false},
    {3012, 3100, 1210, 3600, 1, true},
    {5005, 5100, 5100, 2652, 10, false},
    {5015, 5100, 1510, 7750, 1, true},
    {5020, 5100, 2010, 9999, 1, true},
    {6012, 6100, 1210, 7200, 1, true},
    {8005, 8100, 5100, 4500, 10, true},
}};

constexpr std::array<uint32_t, 8> kAccepted = {3003, 3005, 3012, 5005, 5015, 5020, 6012, 8005};

}  // namespace

const TModelRow* FindModelRow(uint32_t AModel) {
    auto it = std::find_if(kModels.begin(), kModels.end(),
                           [AModel](const TModelRow& r) { return r.Model == AModel; });
    return it == kModels.end() ? nullptr : &*it;
}

bool ApplyModelRow(uint32_t AModel, TModelLimits& ALimits) {
    const TModelRow* row = FindModelRow(AModel);
    if (row == nullptr) return false;
    ALimits.MaxUset = row->MaxUset;
    ALimits.MaxIset = row->MaxIset;
    ALimits.MaxPower = row->MaxPower;
    ALimits.CurrentDiv = row->CurrentDiv;
    return row->TempSensor;
}

bool IsAcceptedModel(uint32_t AModel) {
    return std::find(kAccepted.begin(), kAccepted.end(), AModel) != kAccepted.end();
}
