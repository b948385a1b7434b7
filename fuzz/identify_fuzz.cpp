// Identification from the first read and the storing of register replies into the records:
// register values, reply lengths and start registers as a hostile device could send them.

#include "device/firmware_version.h"
#include "device/identification.h"
#include "device/register_codec.h"
#include "fuzz/fuzz_input.h"
#include "link/kr_types.h"

namespace {
TKRRegisters Registers(TFuzzInput& AIn) {
    const std::vector<uint8_t> b = AIn.Run();
    TKRRegisters regs;
    for (size_t i = 0; i + 1 < b.size(); i += 2)
        regs.push_back(static_cast<uint16_t>(b[i] << 8 | b[i + 1]));
    return regs;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    TFuzzInput in(AData, ASize);
    TCurrentSet set;
    TModel model;
    TModelLimits limits;
    const bool autoReset = in.Bool();
    const TIdentification id = Identify(Registers(in), autoReset, set, model, limits);
    FUZZ_CHECK(!id.Title.empty());
    FUZZ_CHECK(id.CurrentDecimals == 2 || id.CurrentDecimals == 3);
    ClassifyFirmware(set, model);

    TMemorySet mem;
    TCalibData calib;
    while (!in.Empty()) {
        const uint16_t start = in.Word();
        const TKRRegisters regs = Registers(in);
        StoreRegisters(set, start, regs);
        StoreMemoryRegisters(mem, regs);
        StoreCalibRegisters(calib, regs);
        const uint16_t count = in.Byte();
        const TKRRegisters back = RegistersOf(set, start, count);
        FUZZ_CHECK(back.size() == count);
        // What was stored inside the mirror reads back unchanged.
        for (size_t i = 0; i < regs.size() && start + i < kCurrentSetRegisters; ++i)
            FUZZ_CHECK(GetRegister(set, static_cast<uint16_t>(start + i)) == regs[i]);
        FUZZ_CHECK(StoredMemNum(in.Word()) < kMemoryCount);
        (void)MemoryBlockStart(in.Word());
        (void)CalibPoint(calib, in.Word());
        (void)OutputPower(set.UOUT, set.IOUT, in.Word());
    }
    (void)MemoryRegisters(mem);
    (void)CalibRegisters(calib);
    return 0;
}
