#include "session/request_table.h"

#include <array>

#include "session/register_codec.h"

namespace {

constexpr uint8_t kRead = 3;
constexpr uint8_t kWriteOne = 6;
constexpr uint8_t kWriteMany = 16;

constexpr std::array<TRequestSpec, srCount> kRequests = {{
    {srIdentify, "identification", kRead, 0, 15, false},
    {srKeyLock, "key lock", kWriteOne, 6, 1, false},
    {srKeyRelease, "key release", kWriteOne, 6, 1, false},
    {srReadData, "ReadData", kRead, 0, 10, false},
    {srReadSetData, "ReadSetData", kRead, 0, 2, false},
    {srReadTemperature, "ReadTemperature", kRead, 13, 1, false},
    {srReadDebugData, "ReadDebugData", kRead, 15, 1, false},
    {srReadMemNum, "ReadMemNum", kRead, 35, 1, false},
    {srReadMemNumAndCounters, "ReadMemNumAndCounters", kRead, 33, 7, false},
    {srReadGlobalData, "ReadGlobalData", kRead, 16, 15, false},
    {srReadMemory, "ReadMemory", kRead, kMemoryBlockBase, kMemoryRegisters, true},
    {srReadCalibData, "ReadCalibData", kRead, kCalibBase, kCalibRegisters, false},
    {srWriteSetData, "WriteSetData", kWriteMany, 0, 2, false},
    {srWriteOnOff, "WriteOnOff", kWriteOne, 9, 1, false},
    {srWriteBled, "WriteBled", kWriteOne, 10, 1, false},
    {srWriteCommand, "WriteCommand", kWriteOne, 32, 1, false},
    {srWriteJumpBoot, "WriteJumpBoot", kWriteOne, 32, 1, false},
    {srWriteMemNum, "WriteMemNum", kWriteOne, 35, 1, false},
    {srWriteMemory, "WriteMemory", kWriteMany, kMemoryBlockBase, kMemoryRegisters, true},
    {srWriteGlobalData, "WriteGlobalData", kWriteMany, 20, 11, false},
    {srWriteCalibCmd, "WriteCalibCmd", kWriteMany, 40, 4, false},
}};

// Every row sits at the index of its request.
constexpr bool RowsInOrder() {
    for (size_t i = 0; i < kRequests.size(); ++i)
        if (kRequests[i].Request != i) return false;
    return true;
}
static_assert(RowsInOrder());

}  // namespace

const TRequestSpec& RequestSpec(TSessionRequest ARequest) {
    return ARequest < srCount ? kRequests[ARequest] : kRequests[srIdentify];
}

uint16_t RequestStart(TSessionRequest ARequest, const TCurrentSet& ASet) {
    const TRequestSpec& entry = RequestSpec(ARequest);
    return entry.AtMemoryBlock ? MemoryBlockStart(ASet.MEM) : entry.Start;
}

TKRRegisters RequestValues(TSessionRequest ARequest, const TCurrentSet& ASet,
                           const TMemorySet& AMem, bool APowerOn) {
    const TRequestSpec& entry = RequestSpec(ARequest);
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
