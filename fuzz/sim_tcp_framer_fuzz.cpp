// The virtual supply's Modbus TCP request splitter: a stream pushed in chunks, every request cut
// from it executed against a simulated device and answered with a well-formed MBAP frame.

#include "fuzz/fuzz_input.h"
#include "sim/sim_device.h"
#include "sim/sim_modbus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    TFuzzInput in(AData, ASize);
    SimDevice dev(SimIdentity{}, 10.0, 0, 0);
    SimTcpFramer framer;
    while (!in.Empty()) {
        const std::vector<uint8_t> chunk = in.Bytes(in.Byte() & 0x7F);
        framer.Push(chunk.data(), chunk.size());
        SimTcpRequest req;
        for (;;) {
            const SimTcpFramer::Result r = framer.Next(req);
            if (r == SimTcpFramer::broken) return 0;  // the connection would be closed
            if (r == SimTcpFramer::needMore) break;
            const SimPduOutcome out = SimExecutePdu(dev, req.pdu.data(), req.pdu.size(), 0);
            if (out.reply.empty()) continue;
            const std::vector<uint8_t> reply = SimTcpFrame(req.transaction, req.unit, out.reply);
            FUZZ_CHECK(reply.size() == 7 + out.reply.size());
            FUZZ_CHECK(size_t(reply[4] << 8 | reply[5]) == reply.size() - 6);
        }
    }
    return 0;
}
