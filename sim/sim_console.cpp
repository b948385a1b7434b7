#include "sim/sim_console.h"

#include <QRegularExpression>
#include <QStringList>
#include <array>
#include <cctype>
#include <cstdio>
#include <sstream>

#include "link/suggestion.h"
#include "sim/sim_device.h"

namespace {
constexpr std::array<const char*, 12> kProtectNames{"none", "ovp", "ocp", "opp", "tim", "ohp",
                                                    "bat",  "end", "evp", "ecp", "vin", "epr"};

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Unsigned number, decimal or 0x-hexadecimal, within max.
bool ParseUnsigned(const std::string& s, unsigned long max, unsigned long& out) {
    if (s.empty() || s[0] == '-') return false;
    try {
        size_t used = 0;
        out = std::stoul(s, &used, 0);
        return used == s.size() && out <= max;
    } catch (...) {
        return false;
    }
}

bool ParseDouble(const std::string& s, double& out) {
    try {
        size_t used = 0;
        out = std::stod(s, &used);
        return used == s.size();
    } catch (...) {
        return false;
    }
}

template <typename T>
bool ParseInto(const std::string& s, unsigned long max, T& out) {
    unsigned long v = 0;
    if (!ParseUnsigned(s, max, v)) return false;
    out = static_cast<T>(v);
    return true;
}

// "CMD:N[:FRAME][:silent|:late]", e.g. "0x31:3:2:silent": the third Write loses its data's ACK;
// with "late" the ACK comes in front of the answer to the next byte the host sends.
bool ParseBootFault(const std::string& s, SimBootFault& f) {
    std::vector<std::string> parts;
    std::istringstream in(s);
    for (std::string part; std::getline(in, part, ':');)
        parts.push_back(part);
    if (parts.size() < 2 || parts.size() > 4) return false;
    if (parts.size() >= 3 && (parts.back() == "silent" || parts.back() == "late")) {
        (parts.back() == "silent" ? f.silent : f.late) = true;
        parts.pop_back();
    }
    return ParseInto(parts[0], 255, f.command) && ParseInto(parts[1], 0xFFFFFFFF, f.occurrence) &&
           f.occurrence > 0 && (parts.size() < 3 || ParseInto(parts[2], 2, f.frame));
}

std::string FaultText(const SimFaults& f) {
    std::ostringstream s;
    s << "delay " << f.replyDelayMs << " ms, drop every " << f.dropEvery << ", corrupt crc every "
      << f.corruptCrcEvery << ", short every " << f.shortEvery << ", exception "
      << unsigned{f.exceptionCode} << ", close after " << f.closeAfter << ", bad transaction id "
      << (f.badTransaction ? "on" : "off") << "\n";
    return s.str();
}

std::string Status(VirtualSupply& sup) {
    const auto r = sup.Registers(0, simreg::kMainCount);
    char line[256];
    std::snprintf(line, sizeof line,
                  "model %u version %u  uset %u iset %u  uout %u iout %u power %u  uin %u  "
                  "lock %u protect %u cvcc %u onoff %u  mem %u  time %u  %s\n",
                  r[simreg::MODEL], r[simreg::VERSION], r[simreg::USET], r[simreg::ISET],
                  r[simreg::UOUT], r[simreg::IOUT], r[simreg::POWER], r[simreg::UIN],
                  r[simreg::LOCK], r[simreg::PROTECT], r[simreg::CVCC], r[simreg::ONOFF],
                  r[simreg::MEM], r[simreg::TIME_L] | (unsigned{r[simreg::TIME_H]} << 16),
                  sup.InBootloader() ? "boot loader" : "application");
    return line;
}
}  // namespace

int SimProtectionCode(const std::string& name) {
    const std::string n = Lower(name);
    for (size_t i = 0; i < kProtectNames.size(); ++i)
        if (n == kProtectNames[i]) return static_cast<int>(i);
    unsigned long v = 0;
    return ParseUnsigned(n, 0xFFFF, v) ? static_cast<int>(v) : -1;
}

std::string SimUsage() {
    return "Usage: benchlord-sim [OPTION]...\n"
           "A simulated DPS-family power supply: Modbus TCP and Modbus RTU on a\n"
           "pseudo-terminal. Without --tcp, --pty or --serial it serves 127.0.0.1:1502 and a\n"
           "new pseudo-terminal, prints one line per endpoint and reads commands on standard\n"
           "input.\n"
           "\n"
           "Options:\n"
           "Endpoints:\n"
           "  --tcp [HOST:]PORT      Modbus TCP (PORT 0 picks a free port; HOST 127.0.0.1)\n"
           "  --pty [PATH]           Modbus RTU on a new pseudo-terminal, PATH a link to it\n"
           "  --serial DEVICE        Modbus RTU on a serial device\n"
           "  --baud N               line speed (9600)\n"
           "  --parity MODE          line parity: none, even or odd (none)\n"
           "  --addr N               slave address (1)\n"
           "Identity:\n"
           "  --model N              model number (5015)\n"
           "  --fw-version N         VERSION register (46)\n"
           "  --pver N               protocol version (the version from 43 on, else 0)\n"
           "  --fw CLASS             firmware class ver_18 ver_36 ver_40 ver_4Z ver_42\n"
           "                         ver_43 ver_45 ver_46 ver_New (sets version, pver and\n"
           "                         mgic)\n"
           "  --mgic N               MGIC register (19082 with version 41 marks ver_4Z)\n"
           "  --dvid N               DVID register (the model number)\n"
           "  --state N              STATE register (derived from the model)\n"
           "  --korad                identify as a KORAD unit\n"
           "  --wz                   identify as a WZ unit\n"
           "Physics:\n"
           "  --load OHMS            resistive load (10; 0 nothing connected)\n"
           "  --battery CHEM[,cells=N][,ah=C][,ohms=R][,volts=V|,soc=PCT]\n"
           "                         a battery instead: li-ion, lifepo4, lead-acid or nimh,\n"
           "                         its open-circuit voltage rising with its charge (1 cell\n"
           "                         of 2 Ah at 3.6 V)\n"
           "  --diode [led|silicon][,is=A][,nvt=V][,ohms=R]\n"
           "                         a diode instead (led: about 2 V at 20 mA, 10 ohm in\n"
           "                         series)\n"
           "  --uin VOLTS            input voltage (model maximum + 6 V)\n"
           "  --temp C               internal temperature in Celsius (25)\n"
           "  --wire-time            pace bytes at the baud rate (10 bits per byte, 11 with\n"
           "                         parity; the boot loader runs at 38400 baud, even\n"
           "                         parity, and takes 20 ms per erase and 52.5 us per\n"
           "                         written half-word)\n"
           "Faults:\n"
           "  --delay MS             answer every request MS milliseconds late\n"
           "  --drop N               leave every Nth request unanswered\n"
           "  --corrupt-crc N        invert the CRC of every Nth RTU reply\n"
           "  --short N              cut the last byte off every Nth reply\n"
           "  --exception CODE       answer every request with this exception code\n"
           "  --close-after N        close the TCP connection instead of every Nth reply\n"
           "  --bad-tid              give TCP replies a transaction id that was not sent\n"
           "Boot loader:\n"
           "  --pid ID               STM32 product ID (0x420)\n"
           "  --flash-size BYTES     flash size of the chip\n"
           "  --erase classic|extended  erase command the boot loader offers\n"
           "  --flash-in FILE        initial flash image\n"
           "  --flash-out FILE       where the flash image is saved at every Go\n"
           "  --boot-fault CMD:N[:FRAME][:silent|:late]\n"
           "                         the Nth use of command CMD is refused (its reply lost,\n"
           "                         or sent only when the host sends again) at frame 0\n"
           "                         (the command), 1 or 2; repeatable\n"
           "  --read-protected       the chip starts with read protection on\n"
           "Other:\n"
           "  --exit-on-eof          quit at the end of standard input\n"
           "  -v, --verbose          print every exchange on standard error\n"
           "  -h, --help             this text\n"
           "  --version              print the program version and licence\n"
           "\n" +
           SimCommandHelp() +
           "\n"
           "Exit status:\n"
           "  0                      stopped by quit, SIGINT, SIGTERM or (--exit-on-eof) the\n"
           "                         end of standard input\n"
           "  1                      an endpoint could not be opened (a TCP port in use, a\n"
           "                         serial device missing or busy)\n"
           "  2                      a mistyped option or value\n";
}

namespace {
// "unknown option", with the closest of the options the usage lists.
std::string UnknownOption(const std::string& AOption) {
    QStringList options;
    const QRegularExpression named(QStringLiteral("(?<![\\w-])--?[a-z][a-z-]*"));
    for (const auto& m : named.globalMatch(QString::fromStdString(SimUsage())))
        options << m.captured();
    options.removeDuplicates();
    const QString option = QString::fromStdString(AOption);
    return WithSuggestion("unknown option: " + option, option, options).toStdString();
}
}  // namespace

bool SimParseArgs(const std::vector<std::string>& args, SimCommandLine& out, std::string& error) {
    VirtualSupplyOptions& o = out.options;
    bool endpoint = false;
    bool pverGiven = false;
    o.tcp = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0;
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        auto number = [&](auto& target, unsigned long max) {
            std::string v;
            if (!value(v)) return false;
            if (!ParseInto(v, max, target)) {
                error = "bad value for " + a + ": " + v;
                return false;
            }
            return true;
        };
        auto real = [&](double& target) {
            std::string v;
            if (!value(v)) return false;
            if (!ParseDouble(v, target)) {
                error = "bad value for " + a + ": " + v;
                return false;
            }
            return true;
        };
        bool ok = true;
        if (a == "-h" || a == "--help") {
            out.help = true;
        } else if (a == "-v" || a == "--verbose") {
            out.verbose = true;
        } else if (a == "--exit-on-eof") {
            out.exitOnEof = true;
        } else if (a == "--tcp") {
            std::string v;
            if (!(ok = value(v))) break;
            const auto colon = v.rfind(':');
            if (colon != std::string::npos) {
                o.tcpHost = v.substr(0, colon);
                v = v.substr(colon + 1);
            }
            if (!ParseInto(v, 65535, o.tcpPort)) {
                error = "bad TCP port: " + v;
                return false;
            }
            o.tcp = endpoint = true;
        } else if (a == "--pty") {
            o.pty = endpoint = true;
            if (hasValue) o.ptyLink = args[++i];
        } else if (a == "--serial") {
            ok = value(o.serialDevice);
            endpoint = true;
        } else if (a == "--baud") {
            ok = number(o.baud, 4000000);
        } else if (a == "--parity") {
            std::string v;
            if (!(ok = value(v))) break;
            const std::string p = Lower(v);
            if (p != "none" && p != "even" && p != "odd" && p != "n" && p != "e" && p != "o") {
                error = "--parity takes none, even or odd";
                return false;
            }
            o.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])));
        } else if (a == "--addr") {
            ok = number(o.address, 247);
        } else if (a == "--model") {
            ok = number(o.identity.model, 0xFFFF);
        } else if (a == "--version" && !hasValue) {
            out.version = true;  // the program's version; with a value the VERSION register
        } else if (a == "--fw-version" || a == "--version") {
            ok = number(o.identity.version, 0xFFFF);
        } else if (a == "--pver") {
            ok = number(o.identity.pver, 0xFFFF);
            pverGiven = true;
        } else if (a == "--mgic") {
            ok = number(o.identity.mgic, 0xFFFF);
        } else if (a == "--dvid") {
            uint16_t v = 0;
            ok = number(v, 0xFFFF);
            o.identity.dvid = v;
        } else if (a == "--state") {
            uint16_t v = 0;
            ok = number(v, 0xFFFF);
            o.identity.state = v;
        } else if (a == "--fw") {
            std::string v;
            if (!(ok = value(v))) break;
            if (!SimApplyClassName(v, o.identity)) {
                error = "unknown firmware class: " + v;
                return false;
            }
            pverGiven = true;
        } else if (a == "--korad") {
            o.identity.variant = SimVariant::korad;
        } else if (a == "--wz") {
            o.identity.variant = SimVariant::wz;
        } else if (a == "--load") {
            ok = real(o.loadOhms);
            o.battery.reset();
            o.diode.reset();
        } else if (a == "--battery") {
            std::string v;
            if (!(ok = value(v))) break;
            SimBattery b;
            std::string why;
            if (!SimParseBattery(v, b, why)) {
                error = "--battery: " + why;
                return false;
            }
            o.battery = b;
            o.diode.reset();
        } else if (a == "--diode") {
            const std::string v = hasValue ? args[++i] : "led";
            SimDiode d;
            std::string why;
            if (!SimParseDiode(v, d, why)) {
                error = "--diode: " + why;
                return false;
            }
            o.diode = d;
            o.battery.reset();
        } else if (a == "--uin") {
            ok = real(o.inputVolts);
        } else if (a == "--temp") {
            ok = number(o.temperature, 999);
        } else if (a == "--wire-time") {
            o.wireTime = true;
        } else if (a == "--delay") {
            ok = number(o.faults.replyDelayMs, 60000);
        } else if (a == "--drop") {
            ok = number(o.faults.dropEvery, 0xFFFFFFFF);
        } else if (a == "--corrupt-crc") {
            ok = number(o.faults.corruptCrcEvery, 0xFFFFFFFF);
        } else if (a == "--short") {
            ok = number(o.faults.shortEvery, 0xFFFFFFFF);
        } else if (a == "--exception") {
            ok = number(o.faults.exceptionCode, 255);
        } else if (a == "--close-after") {
            ok = number(o.faults.closeAfter, 0xFFFFFFFF);
        } else if (a == "--bad-tid") {
            o.faults.badTransaction = true;
        } else if (a == "--pid") {
            ok = number(o.boot.productId, 0xFFFF);
        } else if (a == "--flash-size") {
            ok = number(o.boot.flashSize, 16u << 20);
        } else if (a == "--erase") {
            std::string v;
            if (!(ok = value(v))) break;
            if (v != "classic" && v != "extended") {
                error = "--erase takes classic or extended";
                return false;
            }
            o.boot.extendedErase = v == "extended" ? 1 : 0;
        } else if (a == "--boot-fault") {
            std::string v;
            if (!(ok = value(v))) break;
            SimBootFault f;
            if (!ParseBootFault(v, f)) {
                error = "--boot-fault takes CMD:N[:FRAME][:silent|:late], e.g. 0x31:3:2:silent";
                return false;
            }
            o.boot.commandFaults.push_back(f);
        } else if (a == "--read-protected") {
            o.boot.readProtected = true;
        } else if (a == "--flash-in") {
            ok = value(o.flashIn);
        } else if (a == "--flash-out") {
            ok = value(o.flashOut);
        } else {
            error = UnknownOption(a);
            return false;
        }
        if (!ok) return false;
    }
    if (!pverGiven) {
        const uint16_t v = o.identity.version & 0x0FFF;
        o.identity.pver = v >= 43 ? v : 0;
    }
    if (!endpoint) {
        o.tcp = true;
        o.tcpPort = 1502;
        o.pty = true;
    }
    return true;
}

std::string SimCommandHelp() {
    return "Commands on standard input:\n"
           "  status                 main registers and mode\n"
           "  unlock                 release the key lock as at the front panel\n"
           "  lock                   take the key lock\n"
           "  on                     switch the output on at the front panel\n"
           "  off                    switch the output off at the front panel\n"
           "  trip NAME|CODE         trip a protection (ovp ocp opp tim ohp bat end evp ecp\n"
           "                         vin epr)\n"
           "  load [OHMS|open]       resistive load (without a value: show the load)\n"
           "  battery LOAD           a battery, as --battery (e.g. li-ion,cells=2,volts=7.2)\n"
           "  diode [LOAD]           a diode, as --diode (led)\n"
           "  uin VOLTS              input voltage\n"
           "  temp C                 internal temperature\n"
           "  reg N [VALUE]          read or write a register (no validation)\n"
           "  regs START COUNT       read registers\n"
           "  delay MS               answer late (0 switches it off)\n"
           "  drop N                 leave every Nth request unanswered (0 off)\n"
           "  crc N                  corrupt every Nth RTU reply's CRC (0 off)\n"
           "  short N                cut the last byte off every Nth reply (0 off)\n"
           "  exception CODE         answer every request with an exception (0 off)\n"
           "  close-after N          close the TCP connection instead of every Nth reply (0\n"
           "                         off)\n"
           "  bad-tid on|off         wrong TCP transaction ids\n"
           "  faults                 show the fault switches\n"
           "  clear-faults           switch every fault off\n"
           "  close                  close the TCP connections now\n"
           "  writes                 writes received so far\n"
           "  boot                   jump to the boot loader\n"
           "  reset                  power-cycle the supply\n"
           "  save-flash FILE        save the flash image\n"
           "  quit                   stop the supply\n";
}

SimCommandResult SimRunCommand(VirtualSupply& sup, const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string t; in >> t;)
        w.push_back(t);
    if (w.empty()) return {};
    const std::string cmd = Lower(w[0]);
    const auto arg = [&](size_t i) { return i < w.size() ? w[i] : std::string(); };
    const auto bad = [&] { return SimCommandResult{"bad argument: " + line + "\n", false}; };
    const auto ok = [] { return SimCommandResult{"ok\n", false}; };
    unsigned long n = 0;
    double d = 0;

    if (cmd == "help" || cmd == "?") return {SimCommandHelp(), false};
    if (cmd == "quit" || cmd == "exit") return {"", true};
    if (cmd == "status") return {Status(sup), false};
    if (cmd == "unlock") return sup.ReleaseKeyLock(), ok();
    if (cmd == "lock") return sup.SetRegister(simreg::LOCK, 1), ok();
    if (cmd == "on" || cmd == "off") return sup.SetOutput(cmd == "on"), ok();
    if (cmd == "trip") {
        const int code = SimProtectionCode(arg(1));
        if (code <= 0) return bad();
        sup.TripProtection(static_cast<uint16_t>(code));
        return ok();
    }
    if (cmd == "load") {
        if (w.size() == 1) return {sup.LoadText() + "\n", false};
        if (Lower(arg(1)) == "open") return sup.SetLoad(0), ok();
        if (!ParseDouble(arg(1), d) || d < 0) return bad();
        return sup.SetLoad(d), ok();
    }
    if (cmd == "battery" || cmd == "diode") {
        std::string why;
        if (cmd == "battery") {
            SimBattery b;
            if (!SimParseBattery(arg(1), b, why)) return {"bad argument: " + why + "\n", false};
            sup.SetBattery(b);
        } else {
            SimDiode d;
            if (!SimParseDiode(w.size() > 1 ? arg(1) : "led", d, why))
                return {"bad argument: " + why + "\n", false};
            sup.SetDiode(d);
        }
        return {sup.LoadText() + "\n", false};
    }
    if (cmd == "uin") {
        if (!ParseDouble(arg(1), d) || d < 0) return bad();
        return sup.SetInputVoltage(d), ok();
    }
    if (cmd == "temp") {
        if (!ParseDouble(arg(1), d) || d < -50 || d > 999) return bad();
        return sup.SetTemperature(static_cast<int>(d)), ok();
    }
    if (cmd == "reg") {
        if (!ParseUnsigned(arg(1), simreg::kMapEnd - 1, n)) return bad();
        const auto reg = static_cast<uint16_t>(n);
        if (w.size() > 2) {
            if (!ParseUnsigned(arg(2), 0xFFFF, n)) return bad();
            sup.SetRegister(reg, static_cast<uint16_t>(n));
        }
        return {std::to_string(reg) + " = " + std::to_string(sup.Register(reg)) + "\n", false};
    }
    if (cmd == "regs") {
        unsigned long count = 0;
        if (!ParseUnsigned(arg(1), simreg::kMapEnd - 1, n) ||
            !ParseUnsigned(arg(2), simreg::kMapEnd - n, count))
            return bad();
        std::string text;
        const auto values = sup.Registers(static_cast<uint16_t>(n), static_cast<uint16_t>(count));
        for (size_t i = 0; i < values.size(); ++i)
            text += std::to_string(n + i) + " = " + std::to_string(values[i]) + "\n";
        return {text, false};
    }
    SimFaults f = sup.Faults();
    const auto setFault = [&](auto& field, unsigned long max) {
        if (!ParseUnsigned(arg(1), max, n)) return bad();
        field = static_cast<std::remove_reference_t<decltype(field)>>(n);
        sup.SetFaults(f);
        return SimCommandResult{FaultText(f), false};
    };
    if (cmd == "delay") return setFault(f.replyDelayMs, 60000);
    if (cmd == "drop") return setFault(f.dropEvery, 0xFFFFFFFF);
    if (cmd == "crc") return setFault(f.corruptCrcEvery, 0xFFFFFFFF);
    if (cmd == "short") return setFault(f.shortEvery, 0xFFFFFFFF);
    if (cmd == "exception") return setFault(f.exceptionCode, 255);
    if (cmd == "close-after") return setFault(f.closeAfter, 0xFFFFFFFF);
    if (cmd == "bad-tid") {
        const std::string v = Lower(arg(1));
        if (v != "on" && v != "off") return bad();
        f.badTransaction = v == "on";
        sup.SetFaults(f);
        return {FaultText(f), false};
    }
    if (cmd == "faults") return {FaultText(f), false};
    if (cmd == "clear-faults") {
        sup.SetFaults(SimFaults{});
        return {FaultText(SimFaults{}), false};
    }
    if (cmd == "close") return sup.CloseTcpConnections(), ok();
    if (cmd == "writes") {
        std::string text;
        for (const auto& wr : sup.Writes()) {
            text += "fn " + std::to_string(wr.function) + " @" + std::to_string(wr.start) + ":";
            for (uint16_t v : wr.values)
                text += " " + std::to_string(v);
            text += "\n";
        }
        return {text, false};
    }
    if (cmd == "boot") return sup.EnterBootloader(), ok();
    if (cmd == "reset") return sup.PowerCycle(), ok();
    if (cmd == "save-flash") {
        if (arg(1).empty()) return bad();
        return {sup.SaveFlashImage(arg(1)) ? "ok\n" : "cannot write " + arg(1) + "\n", false};
    }
    return {"unknown command: " + w[0] + " (try help)\n", false};
}
