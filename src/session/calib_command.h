#pragma once
// Preparation of a calibration command in the register mirror (registers 40 to 43), before the
// WriteCalibCmd job sends them.

#include <cstdint>

#include "device/device_records.h"

// CLB_CMD := AMode, CLB_IDX := AIndex. For calib_mode_fix the data is the Value of calibration
// point AIndex (1 Uin1 ... 7 Tmp2; 0 for any other index) split into CLB_DATA_L/CLB_DATA_H;
// for every other mode CLB_DATA_L := low 16 bits of AData and CLB_DATA_H := 0.
void PrepareCalibCmd(TCurrentSet& ASet, const TCalibData& ACalib, TCalib_Mode AMode,
                     uint16_t AIndex, uint32_t AData);
