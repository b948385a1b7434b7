#include "app/demo_supply.h"

#include <QDir>
#include <QFileInfo>

#include "device/model_table.h"
#include "sim/sim_device.h"
#include "sim/virtual_supply.h"

TDemoSupply::TDemoSupply(uint16_t AModel) : fModel(AModel) {}

TDemoSupply::~TDemoSupply() {
    if (fSupply) fSupply->Stop();
}

bool TDemoSupply::Start() {
    VirtualSupplyOptions options;
    options.tcp = true;
    options.tcpHost = "127.0.0.1";
    options.tcpPort = 0;
    options.identity.model = fModel;
    options.loadOhms = 10.0;
    std::string error;
    fSupply = VirtualSupply::Start(options, &error);
    if (!fSupply) {
        fError = QString::fromStdString(error);
        return false;
    }
    // 12.00 V with a 1.50 A limit into 10 ohm: 1.2 A in constant voltage once switched on. The
    // output starts off, so that the set values are free to change at once.
    // A model of less than 12 V gets 5 V, 1 A; the current in the model's own unit.
    const TModelRow* row = FindModelRow(fModel);
    const bool low = row && row->MaxUset < 1200;
    fSupply->SetRegister(simreg::USET, low ? 500 : 1200);
    const uint32_t amps100 = low ? 100 : 150;
    fSupply->SetRegister(simreg::ISET,
                         static_cast<uint16_t>(amps100 * (row ? row->CurrentDiv : 1)));
    return true;
}

uint16_t TDemoSupply::Port() const {
    return fSupply ? fSupply->TcpPort() : 0;
}

QString DemoSettingsPath(const QString& AUserSettingsPath) {
    const QFileInfo info(AUserSettingsPath);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-demo.ini"));
}
