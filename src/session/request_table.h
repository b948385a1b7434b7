#pragma once
// The requests a session issues: which function, which registers, and which values go out.
// Reads use function 3, single writes function 6, block writes function 16.

#include <cstdint>
#include <string_view>

#include "device/device_records.h"
#include "link/kr_types.h"

enum TSessionRequest : uint8_t {
    srIdentify,    // first read at connect
    srKeyLock,     // key lock at connect
    srKeyRelease,  // key release at disconnect
    srReadData,
    srReadSetData,
    srReadTemperature,
    srReadDebugData,
    srReadMemNum,
    srReadMemNumAndCounters,
    srReadGlobalData,
    srReadMemory,
    srReadCalibData,
    srWriteSetData,
    srWriteOnOff,
    srWriteBled,
    srWriteCommand,
    srWriteJumpBoot,
    srWriteMemNum,
    srWriteMemory,
    srWriteGlobalData,
    srWriteCalibCmd,
    srCount
};

struct TRequestDecl {
    TSessionRequest Request;
    std::string_view Job;  // scheduler job name, or the connect/disconnect step
    uint8_t Func;          // Modbus function: 3, 6 or 16
    uint16_t Start;        // first register; for AtMemoryBlock the start of preset MEM instead
    uint16_t Count;        // registers read or written
    bool AtMemoryBlock;
};

// The table row of a request (srCount and beyond give the srIdentify row).
const TRequestDecl& RequestDecl(TSessionRequest ARequest);

// First register of the request: the table's start, or MEM * 16 + 80 for the preset requests
// (MEM as stored, so always a preset 0 to 19 when it came from a read).
uint16_t RequestStart(TSessionRequest ARequest, const TCurrentSet& ASet);

// Values written by a write request (empty for reads): USET/ISET, 1 or 0 for the output as
// APowerOn says, BLED, CMD, 1234 for the boot jump, MEM, the 9 preset values, the 11 global
// registers 20-30, the 4 calibration command registers, 1 for the key lock, 0 for its release.
TKRRegisters RequestValues(TSessionRequest ARequest, const TCurrentSet& ASet,
                           const TMemorySet& AMem, bool APowerOn = false);
