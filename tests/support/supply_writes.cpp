#include "tests/support/supply_writes.h"

#include "sim/sim_device.h"

namespace testsupport {

QStringList SupplyWrites(VirtualSupply& ASupply) {
    QStringList writes;
    for (const SimWrite& w : ASupply.Writes()) {
        if (w.start == simreg::USET && w.values.size() == 2)
            writes << QString("set %1 %2").arg(w.values[0]).arg(w.values[1]);
        else if (w.start == simreg::ONOFF)
            writes << QString("onoff %1").arg(w.values[0]);
        else if (w.start == simreg::LOCK)
            writes << QString("lock %1").arg(w.values[0]);
    }
    return writes;
}

}  // namespace testsupport
