#include "session/request_table.h"

#include <array>

#include "device/register_codec.h"

namespace {

constexpr uint8_t kRead = 3;
constexpr uint8_t kWriteOne = 6;
constexpr uint8_t kWriteMany = 16;

using namespace hreg;

constexpr std::array<TRequestDecl, srCount> kRequests = {{
    {srIdentify, "identification", kRead, USET, kIdentCount, false},
    {srKeyLock, "key lock", kWriteOne, LOCK, 1, false},
    {srKeyRelease, "key release", kWriteOne, LOCK, 1, false},
    {srReadData, "ReadData", kRead, USET, kDataCount, false},
    {srReadSetData, "ReadSetData", kRead, USET, kSetCount, false},
    {srReadTemperature, "ReadTemperature", kRead, TMP, 1, false},
    {srReadDebugData, "ReadDebugData", kRead, DEBUG_DATA, 1, false},
    {srReadMemNum, "ReadMemNum", kRead, MEM, 1, false},
    {srReadMemNumAndCounters, "ReadMemNumAndCounters", kRead, TIME_L, kCountersCount, false},
    {srReadGlobalData, "ReadGlobalData", kRead, MGIC, kGlobalCount, false},
    {srReadMemory, "ReadMemory", kRead, kPresetBase, kPresetUsed, true},
    {srReadCalibData, "ReadCalibData", kRead, kCalibBase, kCalibCount, false},
    {srWriteSetData, "WriteSetData", kWriteMany, USET, kSetCount, false},
    {srWriteOnOff, "WriteOnOff", kWriteOne, ONOFF, 1, false},
    {srWriteBled, "WriteBled", kWriteOne, BLED, 1, false},
    {srWriteCommand, "WriteCommand", kWriteOne, CMD, 1, false},
    {srWriteJumpBoot, "WriteJumpBoot", kWriteOne, CMD, 1, false},
    {srWriteMemNum, "WriteMemNum", kWriteOne, MEM, 1, false},
    {srWriteMemory, "WriteMemory", kWriteMany, kPresetBase, kPresetUsed, true},
    {srWriteGlobalData, "WriteGlobalData", kWriteMany, MMAX, kSettingsCount, false},
    {srWriteCalibCmd, "WriteCalibCmd", kWriteMany, CLB_CMD, kCalibCmdCount, false},
}};

// Every row sits at the index of its request.
constexpr bool RowsInOrder() {
    for (size_t i = 0; i < kRequests.size(); ++i)
        if (kRequests[i].Request != i) return false;
    return true;
}
static_assert(RowsInOrder());

}  // namespace

const TRequestDecl& RequestDecl(TSessionRequest ARequest) {
    return ARequest < srCount ? kRequests[ARequest] : kRequests[srIdentify];
}

uint16_t RequestStart(TSessionRequest ARequest, const TCurrentSet& ASet) {
    const TRequestDecl& entry = RequestDecl(ARequest);
    return entry.AtMemoryBlock ? MemoryBlockStart(ASet.MEM) : entry.Start;
}

TKRRegisters RequestValues(TSessionRequest ARequest, const TCurrentSet& ASet,
                           const TMemorySet& AMem, bool APowerOn) {
    const TRequestDecl& entry = RequestDecl(ARequest);
    switch (ARequest) {
        case srKeyLock:
            return {1};
        case srKeyRelease:
            return {0};
        case srWriteOnOff:
            return {static_cast<uint16_t>(APowerOn ? 1 : 0)};
        case srWriteJumpBoot:
            return {kCmdJumpBoot};
        case srWriteMemory:
            return MemoryRegisters(AMem);
        case srWriteSetData:
        case srWriteBled:
        case srWriteCommand:
        case srWriteMemNum:
        case srWriteGlobalData:
        case srWriteCalibCmd:
            return RegistersOf(ASet, entry.Start, entry.Count);
        default:
            return {};
    }
}
