#include "app/demo_supply.h"

#include <QDir>
#include <QFileInfo>

#include "sim/sim_device.h"
#include "sim/virtual_supply.h"

TDemoSupply::TDemoSupply() = default;

TDemoSupply::~TDemoSupply() {
    if (fSupply) fSupply->Stop();
}

bool TDemoSupply::Start() {
    VirtualSupplyOptions options;
    options.tcp = true;
    options.tcpHost = "127.0.0.1";
    options.tcpPort = 0;
    options.identity.model = 5015;
    options.loadOhms = 10.0;
    std::string error;
    fSupply = VirtualSupply::Start(options, &error);
    if (!fSupply) {
        fError = QString::fromStdString(error);
        return false;
    }
    // 12.00 V with a 1.50 A limit into 10 ohm: 1.2 A in constant voltage once switched on. The
    // output starts off, so that the set values are free to change at once.
    fSupply->SetRegister(simreg::USET, 1200);
    fSupply->SetRegister(simreg::ISET, 150);
    return true;
}

uint16_t TDemoSupply::Port() const {
    return fSupply ? fSupply->TcpPort() : 0;
}

QString DemoSettingsPath(const QString& AUserSettingsPath) {
    const QFileInfo info(AUserSettingsPath);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-demo.ini"));
}
