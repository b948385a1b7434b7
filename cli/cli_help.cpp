#include "cli/cli_help.h"

#include "cli/cli_options.h"

namespace {

constexpr qsizetype kWidth = 80;
constexpr qsizetype kHelpColumn = 24;  // where the help of a list entry starts

// AWords joined by spaces into lines of at most 80 columns: the first after AFirst, the others
// indented by AIndent spaces.
QString Wrap(const QString& AFirst, const QStringList& AWords, qsizetype AIndent) {
    QString text = AFirst;
    qsizetype lineStart = 0;
    bool lineEmpty = AFirst.trimmed().isEmpty();
    for (const QString& word : AWords) {
        const qsizetype space = lineEmpty || text.endsWith(' ') ? 0 : 1;
        if (!lineEmpty && text.size() - lineStart + space + word.size() > kWidth) {
            text += '\n';
            lineStart = text.size();
            text += QString(AIndent, ' ');
            lineEmpty = true;
        }
        if (!lineEmpty && !text.endsWith(' ')) text += ' ';
        text += word;
        lineEmpty = false;
    }
    return text + '\n';
}

// "  NAME                  help", the help wrapped in its column (on a line of its own when
// NAME reaches into it).
QString ListEntry(const QString& AName, const QString& AHelp) {
    QString head = "  " + AName;
    if (head.size() + 2 > kHelpColumn) {
        head += '\n';
        return head + Wrap(QString(kHelpColumn, ' '), AHelp.split(' '), kHelpColumn);
    }
    return Wrap(head.leftJustified(kHelpColumn), AHelp.split(' '), kHelpColumn);
}

// The options of a usage line, each in brackets unless required, joined as the table says.
QStringList UsageOptions(const std::vector<const TOptionDecl*>& AOptions, const QString& AScope) {
    QStringList required;
    QStringList optional;
    for (const TOptionDecl* option : AOptions) {
        if (!option->InUsage || option->Hidden) continue;
        if (option->Required.contains(AScope)) {
            required << option->Synopsis();
            continue;
        }
        if (optional.isEmpty() || option->Join == TUsageJoin::Own) {
            optional << option->Synopsis();
            continue;
        }
        const QString separator = option->Join == TUsageJoin::Or ? " | " : " ";
        const QString part = option->Join == TUsageJoin::Inside ? "[" + option->Synopsis() + "]"
                                                                : option->Synopsis();
        optional.last() += separator + part;
    }
    for (QString& group : optional)
        group = "[" + group + "]";
    return required + optional;
}

std::vector<const TOptionDecl*> GlobalOptions() {
    std::vector<const TOptionDecl*> options;
    for (const TOptionDecl& option : CliOptions())
        if (option.Global()) options.push_back(&option);
    return options;
}

// The options of a command, of all its scopes, in the order of the table.
std::vector<const TOptionDecl*> CommandOptions(const QString& ACommand) {
    std::vector<const TOptionDecl*> options;
    for (const TOptionDecl& option : CliOptions())
        if (option.TakenBy(ACommand) && !option.Hidden) options.push_back(&option);
    return options;
}

}  // namespace

QString ToolHelp() {
    QString text = Wrap("Usage: benchlordctl",
                        UsageOptions(GlobalOptions(), {}) + QStringList{"COMMAND", "[ARGS]"}, 20);
    text +=
        "\nControls a DPS-family bench power supply over Modbus RTU (serial) or Modbus TCP.\n"
        "\nCommands:\n";
    for (const TCommandDecl& command : CliCommands())
        if (!command.Listed.isEmpty()) text += ListEntry(command.Listed, command.Summary);
    text += "\nOptions:\n";
    for (const TOptionDecl* option : GlobalOptions())
        if (!option->Hidden) text += ListEntry(option->Synopsis(), option->Help);
    return text + "\n" +
           QStringLiteral(
               "Words in capitals stand for values:\n"
               "  LINK                  the supply's link: --port NAME [--baud N] or\n"
               "                        --tcp HOST[:PORT], either with [--addr N]\n"
               "  NAME                  a ShortName as 'ports' lists it (ttyUSB0) or a path\n"
               "  HOST, ADDRESS, PORT   IPv4 address or host name, and TCP port number\n"
               "  N                     a whole number (a count, an address, a preset number)\n"
               "  V, A, W               volts, amperes, watts (a decimal point is allowed)\n"
               "  S                     seconds\n"
               "  H:MM                  hours and minutes\n"
               "  FILE                  a file name\n"
               "  COMMAND, ARGS         one of the commands above and its arguments\n"
               "A command's help defines the other words it uses.\n"
               "\n"
               "Key lock: set, on, off, preset select and save, sequence run, sweep, plan run,\n"
               "charge, flash, serve-scpi, bench (but bench read), and serve-mqtt with\n"
               "--allow-control or --off-on-exit lock the supply's keys when they are free and\n"
               "release them at every end (also on Ctrl-C, errors and a lost link), with the\n"
               "output off where the command switched it on. On a supply whose keys another\n"
               "program holds (the window, serve-scpi, another run) they change nothing and end\n"
               "with exit 7, unless --take-over is given. ports, info, read, watch, stats,\n"
               "calibration, preset list and show, sequence show, bench read and serve-mqtt\n"
               "without those options only read: they neither lock nor release the keys, so\n"
               "they can run beside a program that holds the supply over a TCP bridge.\n"
               "\n"
               "Files: a FILE is read or written through symbolic links (a link to a file not\n"
               "made yet makes that file); pipes, sockets, devices (/dev/null too) and folders\n"
               "are refused before anything is sent. An output file is created or emptied only\n"
               "when the run starts, so a refused run leaves it as it was.\n"
               "\n"
               "Exit codes:\n"
               "  0                     done\n"
               "  2                     usage error or a value out of range (nothing is written)\n"
               "  3                     cannot connect, or the connection was lost\n"
               "  4                     the device refused a request\n"
               "  5                     a boot loader step failed (flash)\n"
               "  6                     local I/O error: a file or standard output could not be\n"
               "                        written (the message names the cause, e.g. Broken pipe),\n"
               "                        or the serve-scpi or --metrics address cannot be taken\n"
               "  7                     the keys are locked by another program (nothing is\n"
               "                        written)\n"
               "  130                   interrupted\n");
}

QString CommandHelp(const QString& ACommand) {
    const TCommandDecl* command = FindCommand(ACommand);
    if (!command) return ToolHelp();
    const TCommandDecl& owner = HelpOwner(*command);
    QString text;
    for (const TUsage& usage : owner.Usages) {
        const QString scope = usage.Scope.isEmpty() ? owner.Name : usage.Scope;
        const QStringList options =
            scope == "-" ? QStringList() : UsageOptions(ScopeOptions(scope), scope);
        text +=
            Wrap((text.isEmpty() ? "Usage: benchlordctl " : "       benchlordctl ") + usage.Words,
                 options, 24);
    }
    text += "\n" + owner.Text;
    const std::vector<const TOptionDecl*> options = CommandOptions(owner.Name);
    if (!options.empty()) {
        text += "\nOptions:\n";
        for (const TOptionDecl* option : options)
            text += ListEntry(option->Synopsis(), option->Help);
    }
    return text;
}
