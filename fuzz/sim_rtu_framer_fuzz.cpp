// The virtual supply's RTU request splitter: a byte stream pushed in chunks with silences
// between some of them, every frame cut from it executed against a simulated device.

#include "fuzz/fuzz_input.h"
#include "link/kr_crc.h"
#include "sim/sim_device.h"
#include "sim/sim_modbus.h"

namespace {
void Serve(SimDevice& ADev, const std::vector<uint8_t>& AFrame) {
    FUZZ_CHECK(AFrame.size() >= 2);  // address and function code, the CRC already removed
    const SimPduOutcome out = SimExecutePdu(ADev, AFrame.data() + 1, AFrame.size() - 1, 0);
    if (!out.reply.empty()) {
        const std::vector<uint8_t> reply = SimRtuFrame(AFrame[0], out.reply);
        FUZZ_CHECK(ModbusCRC16(reply.data(), reply.size()) == 0);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    TFuzzInput in(AData, ASize);
    SimDevice dev(SimIdentity{}, 10.0, 0, 0);
    SimRtuFramer framer;
    while (!in.Empty()) {
        const uint8_t control = in.Byte();
        const std::vector<uint8_t> chunk = in.Bytes(control & 0x3F);
        framer.Push(chunk.data(), chunk.size());
        while (auto frame = framer.Next())
            Serve(dev, *frame);
        if (control & 0x40) {
            if (auto frame = framer.Silence()) Serve(dev, *frame);
            FUZZ_CHECK(!framer.HasPending());
        }
        if (control == 0xFF) framer.Clear();
    }
    return 0;
}
