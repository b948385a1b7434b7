#include "session/model_limits.h"

TModelLimits& ModelLimits() {
    static TModelLimits limits;
    return limits;
}

void ResetModelLimits() {
    ModelLimits() = TModelLimits{};
}
