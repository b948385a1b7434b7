#pragma once
// A virtual supply for tests: started on an ephemeral 127.0.0.1 port and/or a pseudo-terminal
// with the chosen model and firmware class, stopped when the fixture goes away. Also raw byte
// helpers for clients that talk to it without the project's link code.
//
//     testsupport::TVirtualSupplyFixture sup({.pty = true, .fwClass = "ver_45"});
//     ASSERT_TRUE(sup.Started()) << sup.Error();
//     int fd = sup.ConnectTcp();  ... sup->Register(simreg::LOCK) ...

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_device.h"
#include "sim/virtual_supply.h"
#include "tests/support/manual_clock.h"

namespace testsupport {

struct TSupplyConfig {
    bool tcp = true;
    bool pty = false;
    uint16_t model = 5015;
    std::string fwClass = "ver_46";  // ver_18 ... ver_New
    bool manualClock = true;         // the output model runs on Clock(), stepped by the test
    double loadOhms = 10.0;
    double inputVolts = 0;  // 0: the supply's default
    // Last word on the options (faults, variant, boot loader ...).
    std::function<void(VirtualSupplyOptions&)> tweak = nullptr;
};

class TVirtualSupplyFixture {
public:
    explicit TVirtualSupplyFixture(const TSupplyConfig& AConfig = {});
    ~TVirtualSupplyFixture();
    TVirtualSupplyFixture(const TVirtualSupplyFixture&) = delete;
    TVirtualSupplyFixture& operator=(const TVirtualSupplyFixture&) = delete;

    bool Started() const { return fSupply != nullptr; }
    const std::string& Error() const { return fError; }
    VirtualSupply& Supply() { return *fSupply; }
    VirtualSupply* operator->() { return fSupply.get(); }
    TManualClock& Clock() { return fClock; }

    uint16_t TcpPort() const;
    std::string PtyPath() const;
    uint16_t Reg(uint16_t AReg) { return fSupply->Register(AReg); }
    void SetReg(uint16_t AReg, uint16_t AValue) { fSupply->SetRegister(AReg, AValue); }
    void Stop();

    // A blocking TCP socket connected to the supply; -1 on failure. The caller closes it.
    int ConnectTcp() const;
    // The pseudo-terminal opened raw and non-blocking; -1 on failure. The caller closes it.
    int OpenPty() const;

private:
    TManualClock fClock;
    std::unique_ptr<VirtualSupply> fSupply;
    std::string fError;
};

// Writes all bytes (waiting while the descriptor is full); false on error.
bool SendAll(int AFd, const std::vector<uint8_t>& ABytes);
// Reads until ACount bytes arrived or ATimeoutMs passed; returns what arrived.
std::vector<uint8_t> ReadBytes(int AFd, size_t ACount, int ATimeoutMs = 1000);
// Reads whatever arrives until the line stays quiet for AQuietMs (at most ATimeoutMs in all).
std::vector<uint8_t> ReadUntilQuiet(int AFd, int AQuietMs = 50, int ATimeoutMs = 1000);

}  // namespace testsupport
