#pragma once
// The demo mode's virtual supply: a simulated DPS5015 (or another model) served as Modbus TCP on
// an ephemeral 127.0.0.1 port, set to 12 V / 1.5 A into a 10 ohm load with the output off (a
// model below 12 V: 5 V / 1 A).

#include <QString>
#include <cstdint>
#include <memory>

class VirtualSupply;

class TDemoSupply {
public:
    explicit TDemoSupply(uint16_t AModel = 5015);
    ~TDemoSupply();

    // Starts the supply; false with a reason in Error() on failure.
    bool Start();
    uint16_t Port() const;
    const QString& Error() const { return fError; }
    VirtualSupply* Supply() const { return fSupply.get(); }

private:
    uint16_t fModel;
    std::unique_ptr<VirtualSupply> fSupply;
    QString fError;
};

// The demo keeps its settings in a file of its own beside the user's ("DPS-demo.ini"), so that a
// demo never changes the port, address or colours remembered for real supplies.
QString DemoSettingsPath(const QString& AUserSettingsPath);
