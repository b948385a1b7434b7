#include "app/app_options.h"

TAppOptions ParseAppOptions(const QStringList& AArgs) {
    TAppOptions options;
    for (const QString& arg : AArgs) {
        if (arg == "--demo") {
            options.Demo = true;
        } else if (arg == "--help" || arg == "-h") {
            options.Help = true;
        } else if (options.Error.isEmpty()) {
            options.Error = "unknown argument: " + arg;
        }
    }
    return options;
}

QString AppUsage() {
    return QStringLiteral(
        "Usage: benchlord [--demo] [--help] [--version]\n"
        "\n"
        "Front panel for DPS-family programmable bench power supplies (Modbus RTU over a serial\n"
        "line or Modbus TCP through a network bridge): live readings, knobs and digit editing\n"
        "of the set points, output switching, memory presets and charge profiles, device\n"
        "parameters, a trend view, logging and an automatic test sequence.\n"
        "\n"
        "Without options the program starts idle: choose a port or the TCP bridge in the\n"
        "Connection panel and press Connect.\n"
        "\n"
        "Options:\n"
        "  --demo     start a virtual supply inside the program (on a loopback TCP port) and\n"
        "             connect to it; its settings are kept apart from those of real supplies\n"
        "  --help     show this text\n"
        "  --version  print the program version and licence\n");
}
