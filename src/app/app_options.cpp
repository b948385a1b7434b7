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
            // An optional count: a bench of that many virtual supplies.
            if (i + 1 < AArgs.size() && !AArgs[i + 1].startsWith('-')) {
                bool number = false;
                const int count = AArgs[i + 1].toInt(&number);
                if (number && count >= 1 && count <= kMaxDemoSupplies) {
                    options.DemoSupplies = count;
                    ++i;
                } else if (options.Error.isEmpty()) {
                    options.Error = QStringLiteral("--demo takes a count of supplies from 1 to %1")
                                        .arg(kMaxDemoSupplies);
                    ++i;
                }
            }
        } else if (arg == "--bench" || arg.startsWith("--bench=")) {
            if (arg.contains('=')) {
                options.BenchFile = arg.section('=', 1);
            } else if (i + 1 < AArgs.size()) {
                options.BenchFile = AArgs[++i];
            }
            if (options.BenchFile.isEmpty() && options.Error.isEmpty())
                options.Error = QStringLiteral("--bench needs a bench file");
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
    if (options.Demo && !options.BenchFile.isEmpty() && options.Error.isEmpty())
        options.Error = QStringLiteral("--demo and --bench cannot be used together");
    return options;
}

QString AppUsage() {
    return QStringLiteral(
        "Usage: benchlord [--demo [N]] [--bench FILE] [--help] [--version]\n"
        "\n"
        "Front panel for DPS-family programmable bench power supplies (Modbus RTU over a\n"
        "serial line or Modbus TCP through a network bridge): live readings, knobs and\n"
        "digit editing of the set points, output switching, memory presets and charge\n"
        "profiles, device parameters, a trend view, logging and an automatic test\n"
        "sequence.\n"
        "\n"
        "Without options the program starts idle: choose a port or the TCP bridge in the\n"
        "Connection panel and press Connect. With a bench file it opens the bench window:\n"
        "a row per supply, switched on and off together in the file's order.\n"
        "\n"
        "Options:\n"
        "  --demo     start a virtual supply inside the program (on a loopback TCP port)\n"
        "             and connect to it; its settings are kept apart from those of real\n"
        "             supplies; with N (2 to 4), a bench of N virtual supplies of\n"
        "             different models in the bench window\n"
        "  --bench FILE  open the bench window on the supplies of the bench file FILE\n"
        "             (each on its own link; the README describes the file)\n"
        "  --help     show this text\n"
        "  --version  print the program version and licence\n"
        "The toolkit's own options (-platform NAME, -style NAME, -reverse, ...) are taken\n"
        "too.\n"
        "\n"
        "Exit status:\n"
        "  0          the window was closed (or Ctrl-C, SIGTERM, a closed terminal)\n"
        "  1          the virtual supply of --demo did not start, or the bench file\n"
        "             could not be read\n"
        "  2          a mistyped option\n");
}
