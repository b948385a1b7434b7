#pragma once
// What hangs on the virtual supply's output: a resistor (the default), a rechargeable battery or
// a diode/LED. Each load says which current it draws at a terminal voltage; the device solves
// the operating point against its voltage and current limits (SimOperatingPoint).
//
//     opt.battery = SimBattery{};                      // one Li-ion cell of 2 Ah at 3.6 V
//     opt.diode = SimDiode::Led();                     // a red LED, about 2 V at 20 mA
//     SimParseBattery("li-ion,cells=2,ah=2.5", b, e);  // the same from a command line

#include <string>

enum class SimChemistry { liIon, lifepo4, leadAcid, nimh };

// A battery of cells in series. Its open-circuit voltage rises with the state of charge over
// the chemistry's curve (and steeply beyond full); the current into it is (V - Vopen) / ohms, so
// a constant-voltage charge tapers off as it fills. A battery never drives current back into
// the supply: below its open-circuit voltage the supply delivers nothing and reads the battery.
struct SimBattery {
    SimChemistry chemistry = SimChemistry::liIon;
    int cells = 1;
    double capacityAh = 2.0;
    double ohms = 0.15;     // internal resistance of the whole battery
    double charge = 0.189;  // state of charge, 0 empty to 1 full (0.189: a Li-ion cell at 3.6 V)
};

// A diode with a series resistance: V = n Vt ln(1 + I / Is) + I R.
struct SimDiode {
    double saturationAmps = 5.7e-18;  // Is
    double slopeVolts = 0.0517;       // n Vt (emission coefficient times the thermal voltage)
    double ohms = 10.0;               // R in series
    static SimDiode Led();            // red LED: 2.05 V at 20 mA, about 106 mA at 3 V
    static SimDiode Silicon();        // small-signal silicon diode: 0.7 V at 10 mA
};

// Open-circuit voltage of one cell at a state of charge (clamped to 0 .. 1.2).
double SimCellVolts(SimChemistry chemistry, double charge);
// The state of charge at which one cell rests at volts (clamped to the curve's ends).
double SimChargeAtCellVolts(SimChemistry chemistry, double volts);
const char* SimChemistryName(SimChemistry chemistry);  // "li-ion" ...
bool SimParseChemistry(const std::string& name, SimChemistry& out);

// "CHEMISTRY[,cells=N][,ah=C][,ohms=R][,volts=V|,soc=P]": volts is the open-circuit voltage of
// the whole battery at the start, soc its state of charge in percent. False with a reason.
bool SimParseBattery(const std::string& text, SimBattery& out, std::string& error);
// "led|silicon[,is=A][,nvt=V][,ohms=R]". False with a reason.
bool SimParseDiode(const std::string& text, SimDiode& out, std::string& error);

enum class SimLoadKind { resistor, battery, diode };

class SimLoad {
public:
    static SimLoad Resistor(double ohms);  // 0 or less: nothing connected
    static SimLoad Battery(const SimBattery& battery);
    static SimLoad Diode(const SimDiode& diode);

    SimLoadKind Kind() const { return kind_; }
    double Ohms() const { return ohms_; }
    const SimBattery& Battery() const { return battery_; }
    const SimDiode& Diode() const { return diode_; }

    // Terminal voltage with no current: a battery's open-circuit voltage, otherwise 0.
    double RestVolts() const;
    // Current drawn at a terminal voltage (0 at or below RestVolts, or with nothing connected).
    double AmpsAt(double volts) const;
    // Terminal voltage at which the load draws amps.
    double VoltsAt(double amps) const;
    // Whether the load's state moves with the current through it (a battery charges).
    bool Charges() const { return kind_ == SimLoadKind::battery; }
    // amps flowed for seconds.
    void Pass(double amps, double seconds);
    // One line for the console: "battery li-ion 1 cell 2.000 Ah, 18.9 % charged, 3.600 V open".
    std::string Describe() const;

private:
    SimLoadKind kind_ = SimLoadKind::resistor;
    double ohms_ = 10.0;
    SimBattery battery_;
    SimDiode diode_;
};

// The regulator against a load: it holds setVolts unless the load would then draw limitAmps
// or more, when it holds the current at limitAmps instead (constant current).
struct SimPoint {
    double volts = 0;
    double amps = 0;
    bool cc = false;
};
SimPoint SimOperatingPoint(const SimLoad& load, double setVolts, double limitAmps);
