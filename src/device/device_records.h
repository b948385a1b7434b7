#pragma once
// The supply's register mirror and the records derived from it. Units: voltages 0.01 V, currents
// in the model's current unit (0.001 A when the model's current divisor is 10, 0.01 A when it is
// 1), powers 0.01 W (preset over-power limits 0.1 W), temperatures whole degrees Celsius.

#include <cstdint>

#include "device/register_map.h"

// Holding registers 0 to 47, one field per register in register order. Registers 0 to 31 are kept
// zero-extended in 32-bit fields; only their low 16 bits are ever written back.
struct TCurrentSet {
    uint32_t USET = 10;       // 0 set voltage; lowest settable value 0.10 V
    uint32_t ISET = 0;        // 1 set current
    uint32_t UOUT = 0;        // 2 measured output voltage
    uint32_t IOUT = 0;        // 3 measured output current
    uint32_t POWER = 0;       // 4 output power: the device's value at identification, else computed
    uint32_t UIN = 0;         // 5 input voltage
    uint32_t LOCK = 0;        // 6 front-panel key lock, 1 locked
    uint32_t PROTECT = 0;     // 7 protection / status code
    uint32_t CVCC = 0;        // 8 0 constant voltage, 1 constant current
    uint32_t ONOFF = 0;       // 9 output on when non-zero
    uint32_t BLED = 0;        // 10 backlight level
    uint32_t MODEL = 0;       // 11 model number, e.g. 5015
    uint32_t VERSION = 0;     // 12 firmware version; low 12 bits are the number (45 = 4.5)
    uint32_t TMP = 0;         // 13 internal temperature
    uint32_t STATE = 0;       // 14 hardware status bits
    uint32_t DEBUG_DATA = 0;  // 15 firmware debug value
    uint32_t MGIC = 0;        // 16 firmware variant mark
    uint32_t DVID = 0;        // 17 device identity; must equal MODEL for registers 16-31 to count
    uint32_t COMM = 0;        // 18 kept, not interpreted
    uint32_t GYRO = 0;        // 19 kept, not interpreted
    uint32_t MMAX = 0;        // 20 number of memory presets offered
    uint32_t PVER = 0;        // 21 protocol version (ver_43+) / auto-reset flag (ver_36..ver_4Z)
    uint32_t BCKL = 0;        // 22 temperature unit flag (ver_36..ver_4Z)
    uint32_t OHP = 0;         // 23 over-heat threshold
    uint32_t d25 = 0;         // 24 smart tracking flag (ver_36..ver_4Z)
    uint32_t PARAM = 0;       // 25 option bits (ver_42+) / battery-source flag (ver_36..ver_4Z)
    uint32_t MINS = 0;        // 26 battery source empty voltage
    uint32_t MAXS = 0;        // 27 battery source full voltage
    uint32_t CLR1 = 0;        // 28 set / idle output display colour, RGB565
    uint32_t CLR2 = 0;        // 29 constant-voltage output colour, RGB565
    uint32_t CLR3 = 0;        // 30 constant-current output colour, RGB565
    uint32_t BEEP = 0;        // 31 kept, no request touches it
    uint16_t CMD = 0;         // 32 command register
    uint16_t TIME_L = 0;      // 33 output-on time, seconds, low word
    uint16_t TIME_H = 0;      // 34 high word
    uint16_t MEM = 0;         // 35 selected preset 0-19 (10-19 charge profiles)
    uint16_t AHCNT_L = 0;     // 36 charge, 0.01 Ah, low word
    uint16_t AHCNT_H = 0;     // 37 high word
    uint16_t WHCNT_L = 0;     // 38 energy, 0.01 Wh, low word
    uint16_t WHCNT_H = 0;     // 39 high word
    uint16_t CLB_CMD = 0;     // 40 calibration command (TCalib_Mode)
    uint16_t CLB_IDX = 0;     // 41 calibration point 1-7, 0 when not needed
    uint16_t CLB_DATA_L = 0;  // 42 calibration value, low word
    uint16_t CLB_DATA_H = 0;  // 43 high word
    uint16_t d45 = 0;         // 44-47 reserved
    uint16_t d46 = 0;
    uint16_t d47 = 0;
    uint16_t d48 = 0;
};

// One memory preset: the first 9 of its 16 registers are read and written.
struct TMemorySet {
    uint32_t USET = 0;   // 0 set voltage
    uint32_t ISET = 0;   // 1 set current
    uint32_t SOVP = 0;   // 2 over-voltage limit, 0.01 V
    uint32_t SOCP = 0;   // 3 over-current limit
    uint32_t SOPP = 0;   // 4 over-power limit, 0.1 W
    uint32_t BLED_ = 0;  // 5 backlight level
    uint32_t PRFS = 0;   // 6 preset flags
    uint32_t SINI = 0;   // 7 output on at power-up, 0 or 1
    uint32_t OTIM = 0;   // 8 output timer, minutes (at most 5999)
    uint32_t d09 = 0;    // 9-15 not read or written
    uint32_t d10 = 0;
    uint32_t d11 = 0;
    uint32_t d12 = 0;
    uint32_t d13 = 0;
    uint32_t d14 = 0;
    uint32_t d15 = 0;
};

// One calibration point: registers Value low, Value high, RowADC, RowDAC.
struct TCalibRecord {
    uint32_t Value = 0;   // reference value measured by the user
    uint16_t RowADC = 0;  // raw converter reading
    uint16_t RowDAC = 0;  // raw converter setting
};

// Registers 400-427, points in this order (point index 1 to 7).
struct TCalibData {
    TCalibRecord Uin1;
    TCalibRecord Uin2;
    TCalibRecord Uout1;
    TCalibRecord Uout2;
    TCalibRecord Iout1;
    TCalibRecord Iout2;
    TCalibRecord Tmp2;
};

enum TCalib_Mode : uint16_t {
    calib_mode_none = 0,
    calib_mode_start = 1,
    calib_mode_fix = 2,
    calib_mode_save = 3,
    calib_mode_exit = 4,
};

// Firmware classes in ascending order; later rules compare classes by this order.
enum TVersion : uint8_t {
    ver_18 = 0,  // stock firmware or no extended data
    ver_36,
    ver_40,
    ver_4Z,
    ver_42,
    ver_43,
    ver_45,
    ver_46,
    ver_New,
};

// What the program knows of the connected unit, from identification and the global block.
struct TModel {
    TVersion Version = ver_18;
    bool RCNT = false;                 // counters reset when the output is switched on
    bool BSRC = false;                 // runs from a battery source
    bool CF = false;                   // temperatures in Fahrenheit
    bool SMART = false;                // smart set-value tracking
    bool Temp = false;                 // a temperature reading exists and is shown
    bool TempSensorEnable = false;     // model table: the model has a temperature sensor
    bool BatterySourceEnable = false;  // battery-source settings offered
    int32_t BacklightMax = 5;          // 5, or 6 from ver_42 on
    bool Counters = false;             // the device keeps time and energy counters
    bool Korad = false;                // a KORAD unit
};
