#pragma once
// What a virtual supply was sent, as short texts in arrival order: "set 500 200" (a set-point
// pair), "onoff 1", "lock 0".

#include <QStringList>

#include "sim/virtual_supply.h"

namespace testsupport {

QStringList SupplyWrites(VirtualSupply& ASupply);

}  // namespace testsupport
