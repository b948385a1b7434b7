#include "sim/sim_load.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

namespace {

struct CurvePoint {
    double charge;
    double volts;
};

// Open-circuit voltage of one cell over the state of charge, as seen while charging: flat in
// the middle, rising towards full. Points at charges 0 to 1, increasing.
const std::vector<CurvePoint>& Curve(SimChemistry c) {
    static const std::vector<CurvePoint> liIon{
        {0.00, 3.00}, {0.05, 3.40}, {0.10, 3.52}, {0.20, 3.61}, {0.30, 3.67}, {0.40, 3.72},
        {0.50, 3.77}, {0.60, 3.83}, {0.70, 3.90}, {0.80, 3.98}, {0.90, 4.07}, {1.00, 4.18}};
    static const std::vector<CurvePoint> lifepo4{
        {0.00, 2.50}, {0.05, 3.05}, {0.10, 3.20}, {0.20, 3.25}, {0.30, 3.28},
        {0.40, 3.29}, {0.50, 3.30}, {0.60, 3.31}, {0.70, 3.32}, {0.80, 3.33},
        {0.90, 3.36}, {0.95, 3.42}, {1.00, 3.58}};
    static const std::vector<CurvePoint> leadAcid{
        {0.00, 1.95}, {0.10, 1.98}, {0.20, 2.00}, {0.30, 2.02}, {0.40, 2.04}, {0.50, 2.06},
        {0.60, 2.08}, {0.70, 2.11}, {0.80, 2.15}, {0.90, 2.22}, {1.00, 2.36}};
    static const std::vector<CurvePoint> nimh{
        {0.00, 1.10}, {0.05, 1.20}, {0.10, 1.25}, {0.20, 1.28}, {0.30, 1.30}, {0.40, 1.31},
        {0.50, 1.32}, {0.60, 1.33}, {0.70, 1.35}, {0.80, 1.38}, {0.90, 1.42}, {1.00, 1.48}};
    switch (c) {
        case SimChemistry::lifepo4:
            return lifepo4;
        case SimChemistry::leadAcid:
            return leadAcid;
        case SimChemistry::nimh:
            return nimh;
        case SimChemistry::liIon:
            break;
    }
    return liIon;
}

// Internal resistance of one cell of a typical small battery.
double CellOhms(SimChemistry c) {
    switch (c) {
        case SimChemistry::lifepo4:
            return 0.10;
        case SimChemistry::leadAcid:
            return 0.05;
        case SimChemistry::nimh:
            return 0.05;
        case SimChemistry::liIon:
            break;
    }
    return 0.15;
}

constexpr double kMaxCharge = 1.2;

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool Number(const std::string& s, double& out) {
    try {
        size_t used = 0;
        out = std::stod(s, &used);
        return used == s.size() && std::isfinite(out);
    } catch (...) {
        return false;
    }
}

std::vector<std::string> Split(const std::string& s) {
    std::vector<std::string> parts;
    std::istringstream in(s);
    for (std::string part; std::getline(in, part, ',');)
        parts.push_back(part);
    return parts;
}

// Runs onKey for each "key=value" after the first part; false with a reason.
template <typename F>
bool EachOption(const std::vector<std::string>& parts, std::string& error, F onKey) {
    for (size_t i = 1; i < parts.size(); ++i) {
        const auto eq = parts[i].find('=');
        double v = 0;
        if (eq == std::string::npos || !Number(parts[i].substr(eq + 1), v)) {
            error = "expected KEY=NUMBER, not " + parts[i];
            return false;
        }
        const std::string key = Lower(parts[i].substr(0, eq));
        if (!onKey(key, v)) {
            if (error.empty()) error = "unknown or bad setting " + parts[i];
            return false;
        }
    }
    return true;
}

}  // namespace

SimDiode SimDiode::Led() {
    return SimDiode{};
}

SimDiode SimDiode::Silicon() {
    // 1.8 Vt emission slope; 0.65 V across the junction at 10 mA, 4 ohm of leads and bulk.
    SimDiode d;
    d.slopeVolts = 0.0465;
    d.saturationAmps = 0.01 / std::exp(0.66 / d.slopeVolts);
    d.ohms = 4.0;
    return d;
}

double SimCellVolts(SimChemistry chemistry, double charge) {
    const auto& curve = Curve(chemistry);
    charge = std::clamp(charge, 0.0, kMaxCharge);
    if (charge >= 1.0) {
        // Beyond full the voltage climbs three times as fast as over the curve's last stretch.
        const CurvePoint& a = curve[curve.size() - 2];
        const CurvePoint& b = curve.back();
        const double slope = 3 * (b.volts - a.volts) / (b.charge - a.charge);
        return b.volts + slope * (charge - 1.0);
    }
    size_t i = 1;
    while (i + 1 < curve.size() && curve[i].charge < charge)
        ++i;
    const CurvePoint& a = curve[i - 1];
    const CurvePoint& b = curve[i];
    return a.volts + (b.volts - a.volts) * (charge - a.charge) / (b.charge - a.charge);
}

double SimChargeAtCellVolts(SimChemistry chemistry, double volts) {
    const auto& curve = Curve(chemistry);
    if (volts <= curve.front().volts) return 0.0;
    for (size_t i = 1; i < curve.size(); ++i) {
        const CurvePoint& a = curve[i - 1];
        const CurvePoint& b = curve[i];
        if (volts <= b.volts)
            return a.charge + (b.charge - a.charge) * (volts - a.volts) / (b.volts - a.volts);
    }
    // Beyond full: invert the steeper stretch.
    const double top = SimCellVolts(chemistry, kMaxCharge);
    if (volts >= top) return kMaxCharge;
    return 1.0 + (volts - curve.back().volts) / (top - curve.back().volts) * (kMaxCharge - 1.0);
}

const char* SimChemistryName(SimChemistry chemistry) {
    switch (chemistry) {
        case SimChemistry::lifepo4:
            return "lifepo4";
        case SimChemistry::leadAcid:
            return "lead-acid";
        case SimChemistry::nimh:
            return "nimh";
        case SimChemistry::liIon:
            break;
    }
    return "li-ion";
}

bool SimParseChemistry(const std::string& name, SimChemistry& out) {
    const std::string n = Lower(name);
    for (SimChemistry c :
         {SimChemistry::liIon, SimChemistry::lifepo4, SimChemistry::leadAcid, SimChemistry::nimh})
        if (n == SimChemistryName(c)) {
            out = c;
            return true;
        }
    return false;
}

bool SimParseBattery(const std::string& text, SimBattery& out, std::string& error) {
    const auto parts = Split(text);
    SimBattery b;
    if (parts.empty() || !SimParseChemistry(parts[0], b.chemistry)) {
        error = "battery chemistry li-ion, lifepo4, lead-acid or nimh expected";
        return false;
    }
    bool ohmsGiven = false;
    double volts = -1;
    double soc = -1;
    if (!EachOption(parts, error, [&](const std::string& key, double v) {
            if (key == "cells" && v >= 1 && v <= 32 && v == std::floor(v))
                b.cells = static_cast<int>(v);
            else if (key == "ah" && v > 0)
                b.capacityAh = v;
            else if (key == "ohms" && v > 0)
                b.ohms = v, ohmsGiven = true;
            else if (key == "volts" && v > 0)
                volts = v;
            else if (key == "soc" && v >= 0 && v <= 100)
                soc = v;
            else
                return false;
            return true;
        }))
        return false;
    if (volts > 0 && soc >= 0) {
        error = "give volts or soc, not both";
        return false;
    }
    if (!ohmsGiven) b.ohms = CellOhms(b.chemistry) * b.cells;
    if (soc >= 0)
        b.charge = soc / 100.0;
    else if (volts > 0)
        b.charge = SimChargeAtCellVolts(b.chemistry, volts / b.cells);
    out = b;
    return true;
}

bool SimParseDiode(const std::string& text, SimDiode& out, std::string& error) {
    const auto parts = Split(text);
    const std::string kind = parts.empty() ? std::string() : Lower(parts[0]);
    SimDiode d;
    if (kind == "silicon")
        d = SimDiode::Silicon();
    else if (kind != "led") {
        error = "diode led or silicon expected";
        return false;
    }
    if (!EachOption(parts, error, [&](const std::string& key, double v) {
            if (key == "is" && v > 0)
                d.saturationAmps = v;
            else if (key == "nvt" && v > 0)
                d.slopeVolts = v;
            else if (key == "ohms" && v >= 0)
                d.ohms = v;
            else
                return false;
            return true;
        }))
        return false;
    out = d;
    return true;
}

SimLoad SimLoad::Resistor(double ohms) {
    SimLoad l;
    l.kind_ = SimLoadKind::resistor;
    l.ohms_ = ohms;
    return l;
}

SimLoad SimLoad::Battery(const SimBattery& battery) {
    SimLoad l;
    l.kind_ = SimLoadKind::battery;
    l.battery_ = battery;
    l.battery_.cells = std::max(battery.cells, 1);
    l.battery_.charge = std::clamp(battery.charge, 0.0, kMaxCharge);
    return l;
}

SimLoad SimLoad::Diode(const SimDiode& diode) {
    SimLoad l;
    l.kind_ = SimLoadKind::diode;
    l.diode_ = diode;
    return l;
}

double SimLoad::RestVolts() const {
    if (kind_ != SimLoadKind::battery) return 0.0;
    return battery_.cells * SimCellVolts(battery_.chemistry, battery_.charge);
}

double SimLoad::AmpsAt(double volts) const {
    switch (kind_) {
        case SimLoadKind::resistor:
            return ohms_ > 0 && volts > 0 ? volts / ohms_ : 0.0;
        case SimLoadKind::battery: {
            const double over = volts - RestVolts();
            return over > 0 && battery_.ohms > 0 ? over / battery_.ohms : 0.0;
        }
        case SimLoadKind::diode:
            break;
    }
    if (volts <= 0) return 0.0;
    const SimDiode& d = diode_;
    const auto junctionAmps = [&](double vd) {
        return d.saturationAmps * std::expm1(std::min(vd / d.slopeVolts, 700.0));
    };
    // The junction takes vd of the terminal voltage and the resistor the rest: vd + R I(vd)
    // rises strictly with vd, so bisection over 0 .. volts finds it without any risk of
    // diverging, to the last bit also where the current is tiny.
    double lo = 0;
    double hi = volts;
    for (int i = 0; i < 100; ++i) {
        const double mid = (lo + hi) / 2;
        (mid + d.ohms * junctionAmps(mid) < volts ? lo : hi) = mid;
    }
    return junctionAmps((lo + hi) / 2);
}

double SimLoad::VoltsAt(double amps) const {
    amps = std::max(amps, 0.0);
    switch (kind_) {
        case SimLoadKind::resistor:
            return ohms_ > 0 ? amps * ohms_ : 0.0;
        case SimLoadKind::battery:
            return RestVolts() + amps * battery_.ohms;
        case SimLoadKind::diode:
            break;
    }
    return diode_.slopeVolts * std::log1p(amps / diode_.saturationAmps) + amps * diode_.ohms;
}

void SimLoad::Pass(double amps, double seconds) {
    if (kind_ != SimLoadKind::battery || battery_.capacityAh <= 0) return;
    battery_.charge = std::clamp(battery_.charge + amps * seconds / 3600.0 / battery_.capacityAh,
                                 0.0, kMaxCharge);
}

std::string SimLoad::Describe() const {
    char line[160];
    switch (kind_) {
        case SimLoadKind::resistor:
            if (ohms_ <= 0) return "load open";
            std::snprintf(line, sizeof line, "load %g ohm", ohms_);
            return line;
        case SimLoadKind::battery:
            std::snprintf(line, sizeof line,
                          "battery %s %d cell%s %.3f Ah %.3f ohm, %.1f %% charged, %.3f V open",
                          SimChemistryName(battery_.chemistry), battery_.cells,
                          battery_.cells == 1 ? "" : "s", battery_.capacityAh, battery_.ohms,
                          battery_.charge * 100, RestVolts());
            return line;
        case SimLoadKind::diode:
            break;
    }
    std::snprintf(line, sizeof line, "diode is=%g nvt=%g ohms=%g", diode_.saturationAmps,
                  diode_.slopeVolts, diode_.ohms);
    return line;
}

SimPoint SimOperatingPoint(const SimLoad& load, double setVolts, double limitAmps) {
    SimPoint p;
    const double rest = load.RestVolts();
    if (load.Kind() == SimLoadKind::battery && setVolts <= rest) {
        // Nothing flows; the battery holds the terminals at its own voltage.
        p.volts = rest;
        return p;
    }
    p.volts = setVolts;
    p.amps = load.AmpsAt(setVolts);
    const bool connected = load.Kind() != SimLoadKind::resistor || load.Ohms() > 0;
    if (connected && p.amps >= limitAmps) {
        p.cc = true;
        p.amps = limitAmps;
        p.volts = load.VoltsAt(limitAmps);
    }
    return p;
}
