#include "app/app_options.h"

namespace {

// The toolkit's options, with one dash or two; "=VALUE" or the next argument is their value.
const QStringList kToolkitOptionsWithValue = {
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "display",         "geometry",           "name",          "title",
    "style",           "stylesheet",         "qmljsdebugger", "visual"};
const QStringList kToolkitFlags = {"reverse", "nograb", "dograb", "sync", "widgetcount"};

}  // namespace

TAppOptions ParseAppOptions(const QStringList& AArgs) {
    TAppOptions options;
    for (qsizetype i = 0; i < AArgs.size(); ++i) {
        const QString& arg = AArgs[i];
        const QString bare = arg.startsWith("--") ? arg.mid(2) : arg.mid(1);
        if (arg == "--demo") {
            options.Demo = true;
        } else if (arg == "--help" || arg == "-h") {
            options.Help = true;
        } else if (arg == "--version") {
            options.Version = true;
        } else if (arg.startsWith('-') && kToolkitFlags.contains(bare)) {
            // taken by the application object
        } else if (arg.startsWith('-') &&
                   kToolkitOptionsWithValue.contains(bare.section('=', 0, 0))) {
            if (!bare.contains('=')) {
                if (i + 1 < AArgs.size()) {
                    ++i;
                } else if (options.Error.isEmpty()) {
                    options.Error = arg + " needs a value";
                }
            }
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
        "Front panel for DPS-family programmable bench power supplies (Modbus RTU over a\n"
        "serial line or Modbus TCP through a network bridge): live readings, knobs and\n"
        "digit editing of the set points, output switching, memory presets and charge\n"
        "profiles, device parameters, a trend view, logging and an automatic test\n"
        "sequence.\n"
        "\n"
        "Without options the program starts idle: choose a port or the TCP bridge in the\n"
        "Connection panel and press Connect.\n"
        "\n"
        "Options:\n"
        "  --demo     start a virtual supply inside the program (on a loopback TCP port)\n"
        "             and connect to it; its settings are kept apart from those of real\n"
        "             supplies\n"
        "  --help     show this text\n"
        "  --version  print the program version and licence\n"
        "The toolkit's own options (-platform NAME, -style NAME, -reverse, ...) are taken\n"
        "too.\n"
        "\n"
        "Exit status:\n"
        "  0          the window was closed (or Ctrl-C, SIGTERM, a closed terminal)\n"
        "  1          the virtual supply of --demo did not start\n"
        "  2          a mistyped option\n");
}
