#pragma once
// The virtual supply: a simulated DPS-family unit served as Modbus TCP on a loopback port and as
// Modbus RTU on a pseudo-terminal or a tty, with an STM32 boot loader on the serial side after the
// jump command. It stands for external hardware, so it runs on a thread of its own; every call
// below is safe from any thread.
//
//     VirtualSupplyOptions opt;               // TCP on an ephemeral 127.0.0.1 port
//     opt.pty = true;                         // and RTU on a new pseudo-terminal
//     auto sup = VirtualSupply::Start(opt);   // null on failure
//     connect to 127.0.0.1:sup->TcpPort() or open sup->PtyPath() ...
//     sup->ReleaseKeyLock();                  // as a user at the front panel
//     sup.reset();                            // stops it

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/tick_clock.h"
#include "sim/sim_load.h"
#include "sim/sim_modbus.h"
#include "sim/sim_model.h"
#include "sim/stm32_boot_rom.h"

// Faults, each off at 0/false; switchable at start and at run time.
struct SimFaults {
    uint32_t replyDelayMs = 0;     // extra time before every reply, the boot loader's too
    uint32_t dropEvery = 0;        // every Nth reply is not sent
    uint32_t corruptCrcEvery = 0;  // every Nth RTU reply carries an inverted CRC
    uint32_t shortEvery = 0;       // every Nth reply lacks its last byte (framed as sent)
    uint8_t exceptionCode = 0;     // every request is answered with this exception
    uint32_t closeAfter = 0;       // every Nth TCP reply closes the connection instead
    bool badTransaction = false;   // TCP replies carry a transaction id the master did not send
};

struct VirtualSupplyOptions {
    bool tcp = true;
    std::string tcpHost = "127.0.0.1";
    uint16_t tcpPort = 0;  // 0: an ephemeral port
    bool pty = false;
    std::string ptyLink;       // optional symbolic link to the pseudo-terminal
    std::string serialDevice;  // a real tty to serve instead of (or besides) the pty
    uint32_t baud = 9600;
    uint8_t address = 1;
    SimIdentity identity;
    double loadOhms = 10.0;             // resistive load; 0 or less: nothing connected
    std::optional<SimBattery> battery;  // a battery instead of the resistor
    std::optional<SimDiode> diode;      // a diode or LED instead of the resistor (or battery)
    double inputVolts = 0;              // 0: the model's highest output voltage plus 6 V
    int temperature = 25;               // internal temperature, degrees Celsius
    char parity = 'N';      // Modbus line: 'N', 'E' or 'O' (the boot loader always uses 'E')
    bool wireTime = false;  // pace bytes at the baud rate: 10 bits, 11 with parity
    SimFaults faults;
    SimBootOptions boot;
    std::string flashIn;   // image loaded into the flash at start
    std::string flashOut;  // the flash is saved here whenever the boot loader starts the firmware
    const TTickClock* clock = nullptr;  // time of the output model; the steady clock when null
    // Called on the supply's thread with one line per exchange when set.
    std::function<void(const std::string&)> trace;
};

class VirtualSupply {
public:
    // Opens the endpoints and starts serving; null (with a reason in error) on failure.
    static std::unique_ptr<VirtualSupply> Start(const VirtualSupplyOptions& options,
                                                std::string* error = nullptr);
    ~VirtualSupply();
    VirtualSupply(const VirtualSupply&) = delete;
    VirtualSupply& operator=(const VirtualSupply&) = delete;

    // Ends serving and closes every endpoint; returns within a few milliseconds. Idempotent.
    void Stop();

    uint16_t TcpPort() const;                        // 0 without TCP
    std::string PtyPath() const;                     // "/dev/pts/N", empty without a pty
    std::vector<std::string> EndpointLines() const;  // "tcp 127.0.0.1:1502", "pty /dev/pts/3"

    // Registers as a master would see them (measured values recomputed).
    uint16_t Register(uint16_t reg);
    std::vector<uint16_t> Registers(uint16_t start, uint16_t count);
    // Raw store, bypassing validation; measured registers are recomputed right after.
    void SetRegister(uint16_t reg, uint16_t value);

    // Environment and front panel.
    void SetLoad(double ohms);  // a resistor; 0 or less: nothing connected
    void SetBattery(const SimBattery& battery);
    void SetDiode(const SimDiode& diode);
    // The battery as it is now (its charge moves while the output feeds it); none for another
    // load.
    std::optional<SimBattery> Battery();
    std::string LoadText();  // "load 10 ohm", "battery li-ion 1 cell ...", "diode ..."
    void SetInputVoltage(double volts);
    void SetTemperature(int celsius);
    void ReleaseKeyLock();
    void SetOutput(bool on);
    void TripProtection(uint16_t code);
    void PowerCycle();  // restarts the firmware (also leaves the boot loader)
    double Load();
    double InputVoltage();
    uint32_t PresetSaves();

    SimFaults Faults();
    void SetFaults(const SimFaults& faults);
    void CloseTcpConnections();
    uint32_t TcpConnectionsAccepted();

    // What masters sent: accepted writes in arrival order, and the number of requests.
    std::vector<SimWrite> Writes();
    void ClearWrites();
    // Waits until a logged write covers reg; false on time-out.
    bool WaitForWrite(uint16_t reg, std::chrono::milliseconds timeout);
    uint64_t Requests();
    bool WaitForRequests(uint64_t count, std::chrono::milliseconds timeout);
    // Waits until count RTU frames have ended in silence unreadable (a bad CRC, noise).
    bool WaitForDroppedFrames(uint64_t count, std::chrono::milliseconds timeout);

    // Boot loader.
    bool InBootloader();
    void EnterBootloader();
    std::vector<uint8_t> FlashImage();
    void LoadFlashImage(const std::vector<uint8_t>& image);
    bool SaveFlashImage(const std::string& path);
    uint16_t BootProductId();
    // The boot loader's exchange faults from now on (see SimBootFault).
    void SetBootFaults(std::vector<SimBootFault> faults);
    // Exchange faults that have struck so far.
    uint32_t BootFaultsFired();

    struct Impl;

private:
    explicit VirtualSupply(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};
