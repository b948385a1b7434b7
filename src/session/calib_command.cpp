#include "session/calib_command.h"

#include "device/register_codec.h"

void PrepareCalibCmd(TCurrentSet& ASet, const TCalibData& ACalib, TCalib_Mode AMode,
                     uint16_t AIndex, uint32_t AData) {
    ASet.CLB_CMD = static_cast<uint16_t>(AMode);
    ASet.CLB_IDX = AIndex;
    if (AMode == calib_mode_fix) {
        const TCalibRecord* point = CalibPoint(ACalib, AIndex);
        const uint32_t value = point != nullptr ? point->Value : 0;
        ASet.CLB_DATA_L = static_cast<uint16_t>(value & 0xFFFF);
        ASet.CLB_DATA_H = static_cast<uint16_t>(value >> 16);
    } else {
        ASet.CLB_DATA_L = static_cast<uint16_t>(AData & 0xFFFF);
        ASet.CLB_DATA_H = 0;
    }
}
