// The virtual supply's battery and diode loads: a Li-ion charge turning from constant current
// into constant voltage with a tapering current and counters that agree with the charge the
// battery took; an LED's operating point under voltage and current limits, stable over a sweep.

#include <gtest/gtest.h>

#include <cmath>

#include "sim/sim_device.h"
#include "sim/sim_load.h"

using namespace simreg;

namespace {

struct Unit {
    // A 5005: 0.001 A current unit, 50 V and 5 A.
    Unit() : dev(Identity(), 10, 60, t) {}
    static SimIdentity Identity() {
        SimIdentity id;
        id.model = 5005;
        EXPECT_TRUE(SimApplyClassName("ver_46", id));
        return id;
    }
    uint8_t Write(uint16_t reg, std::vector<uint16_t> v) { return dev.Write(reg, v, t); }
    uint16_t Reg(uint16_t reg) { return dev.Peek(reg, t); }
    void Step(uint32_t ms) {
        t += ms;
        dev.Advance(t);
    }
    uint32_t t = 5000;
    SimDevice dev;
};

TEST(BatteryLoad, LiIonChargeTurnsFromCcToCvAndTapers) {
    Unit u;
    const SimBattery start;  // one 2 Ah cell at 3.6 V, 0.15 ohm
    EXPECT_NEAR(SimCellVolts(start.chemistry, start.charge), 3.60, 0.005);
    u.dev.SetLoad(SimLoad::Battery(start), u.t);
    ASSERT_EQ(u.Write(USET, {420, 1000}), 0);  // 4.20 V, 1.000 A
    ASSERT_EQ(u.Write(ONOFF, {1}), 0);
    EXPECT_EQ(u.Reg(CVCC), 1);
    EXPECT_EQ(u.Reg(IOUT), 1000);
    EXPECT_EQ(u.Reg(UOUT), 375) << "open-circuit 3.60 V plus 1 A through 0.15 ohm";

    uint32_t seconds = 0;
    uint32_t ccEnd = 0;
    uint16_t lastAmps = 1000;
    while (u.Reg(IOUT) > 200 && seconds < 6 * 3600) {
        u.Step(30000);
        seconds += 30;
        if (u.Reg(CVCC) == 1) {
            ASSERT_EQ(ccEnd, 0u) << "back in CC after CV at " << seconds << " s";
            EXPECT_EQ(u.Reg(IOUT), 1000);
            EXPECT_LE(u.Reg(UOUT), 420);
            continue;
        }
        if (ccEnd == 0) ccEnd = seconds;
        EXPECT_EQ(u.Reg(UOUT), 420);
        EXPECT_LE(u.Reg(IOUT), lastAmps) << "the current only tapers, at " << seconds << " s";
        lastAmps = u.Reg(IOUT);
    }
    ASSERT_GT(ccEnd, 0u) << "never reached constant voltage";
    EXPECT_LE(u.Reg(IOUT), 200) << "no taper within 6 hours";
    // 1.7 Ah in at 1 A before the voltage limit, then the slower CV part.
    EXPECT_NEAR(ccEnd / 3600.0, 1.36, 0.1);
    EXPECT_LT(seconds / 3600.0, 2.5);

    const SimBattery end = u.dev.LoadModel().Battery();
    EXPECT_GT(end.charge, 0.95);
    EXPECT_LT(end.charge, 1.0);
    // The supply's charge counter (0.01 Ah) agrees with what the battery took.
    const double ah = (end.charge - start.charge) * start.capacityAh;
    const uint32_t counted = u.Reg(AHCNT_L) | uint32_t{u.Reg(AHCNT_H)} << 16;
    EXPECT_NEAR(counted / 100.0, ah, 0.011);

    // Set below the battery: nothing flows and the terminals read the battery.
    ASSERT_EQ(u.Write(USET, {300}), 0);
    EXPECT_EQ(u.Reg(IOUT), 0);
    EXPECT_EQ(u.Reg(CVCC), 0);
    EXPECT_NEAR(u.Reg(UOUT) / 100.0, u.dev.LoadModel().RestVolts(), 0.006);
    ASSERT_EQ(u.Write(ONOFF, {0}), 0);
    EXPECT_EQ(u.Reg(UOUT), 0);
}

TEST(DiodeLoad, LedOperatingPointUnderVoltageAndCurrentLimits) {
    Unit u;
    u.dev.SetLoad(SimLoad::Diode(SimDiode::Led()), u.t);
    ASSERT_EQ(u.Write(USET, {200, 100}), 0);  // 2.00 V, 0.100 A
    ASSERT_EQ(u.Write(ONOFF, {1}), 0);
    EXPECT_EQ(u.Reg(CVCC), 0);
    EXPECT_EQ(u.Reg(UOUT), 200);
    EXPECT_NEAR(u.Reg(IOUT), 15, 3) << "a red LED draws some 15 mA at 2 V";
    ASSERT_EQ(u.Write(USET, {300, 20}), 0);  // 3.00 V would drive 0.1 A: limited to 20 mA
    EXPECT_EQ(u.Reg(CVCC), 1);
    EXPECT_EQ(u.Reg(IOUT), 20);
    EXPECT_EQ(u.Reg(UOUT), 205);

    // The solution satisfies the diode's equation, and a 0..3 V sweep in 50 mV steps gives a
    // rising, finite curve up to the current limit, also for a diode without series resistance.
    SimDiode bare = SimDiode::Silicon();
    bare.ohms = 0;
    for (const SimDiode& d : {SimDiode::Led(), SimDiode::Silicon(), bare}) {
        const SimLoad load = SimLoad::Diode(d);
        double last = -1;
        for (int mv = 0; mv <= 3000; mv += 50) {
            const SimPoint p = SimOperatingPoint(load, mv / 1000.0, 0.05);
            ASSERT_TRUE(std::isfinite(p.volts) && std::isfinite(p.amps)) << mv;
            EXPECT_GE(p.amps, last) << mv;
            last = p.amps;
            if (!p.cc) {
                EXPECT_NEAR(load.VoltsAt(p.amps), mv / 1000.0, 1e-9) << mv;
            } else {
                EXPECT_EQ(p.amps, 0.05);
                EXPECT_LT(p.volts, mv / 1000.0 + 1e-12);
            }
        }
        EXPECT_DOUBLE_EQ(last, 0.05) << "3 V drives every diode into a 50 mA limit";
    }
    EXPECT_NEAR(SimLoad::Diode(SimDiode::Silicon()).VoltsAt(0.01), 0.70, 0.001);
}

}  // namespace
