#include "cli/cli_args.h"

#include <arpa/inet.h>

#include <QRegularExpression>

#include "cli/cli_options.h"
#include "cli/cli_suggest.h"
#include "link/ipv4_address.h"
#include "session/session_core.h"

namespace {

// True for a host that the resolver would read as a number (only digits and dots, or the short,
// octal and hexadecimal forms such as "127.1" or "0x7f.0.0.1"): such a host is an address typed
// by the user and must pass the strict reading, never be dialled as something else.
bool LooksNumeric(const QString& AHost) {
    static const QRegularExpression digitsAndDots(R"(^[0-9.]+$)");
    in_addr unused{};
    return digitsAndDots.match(AHost).hasMatch() ||
           inet_aton(AHost.toLatin1().constData(), &unused) != 0;
}

QString ParseTcp(const QString& AValue, TLinkOptions& ALink) {
    QString host = AValue;
    const qsizetype colon = AValue.lastIndexOf(':');
    if (colon >= 0) {
        host = AValue.left(colon);
        const auto port = ParseWhole(AValue.mid(colon + 1), 1, 65535);
        if (!port) return "--tcp: the port must be a number from 1 to 65535";
        ALink.TcpPort = static_cast<uint16_t>(*port);
    }
    if (host.isEmpty()) return "--tcp: a host is required";
    if (const auto octets = ParseIPv4(host.toStdString())) {
        ALink.TcpHost = QString::fromStdString(FormatIPv4(*octets));
        return {};
    }
    if (LooksNumeric(host))
        return "--tcp: " + host + " is not a valid IPv4 address (four decimal numbers 0 to 255)";
    ALink.TcpHost = host;
    return {};
}

}  // namespace

QString ApplyLinkOption(const QString& AName, const QString& AValue, TCliRequest& AReq) {
    TLinkOptions& link = AReq.Link;
    if (AName == "--port") {
        if (AValue.isEmpty()) return "--port: a port name is required";
        link.Port = AValue;
        return {};
    }
    if (AName == "--tcp") return ParseTcp(AValue, link);
    if (AName == "--baud") {
        const auto baud = ParseWhole(AValue, 1, 10000000);
        bool listed = false;
        for (int32_t rate : kBaudRates)
            listed = listed || (baud && rate == *baud);
        if (!listed) return "--baud: one of 2400, 4800, 9600, 19200, 38400, 57600, 115200";
        link.Baud = static_cast<int32_t>(*baud);
        return {};
    }
    if (AName == "--addr") {
        const auto addr = ParseWhole(AValue, 1, 127);
        if (!addr) return "--addr: an address from 1 to 127";
        link.Addr = static_cast<uint8_t>(*addr);
        return {};
    }
    return "unknown option " + AName;
}

const QStringList& CommandNames() {
    static const QStringList names = [] {
        QStringList list;
        for (const TCommandDecl& command : CliCommands())
            list << command.Name;
        return list;
    }();
    return names;
}

bool IsCommand(const QString& AName) {
    return FindCommand(AName) != nullptr;
}

bool NeedsLink(const QString& ACommand) {
    const TCommandDecl* command = FindCommand(ACommand);
    return command && command->NeedsLink;
}

namespace {

struct TGivenOption {
    const TOptionDecl* Decl;
    QString Value;
};

// "unknown option NAME", with the closest name of those the parser takes.
QString UnknownOption(const QString& AName) {
    QStringList names;
    for (const TOptionDecl& option : CliOptions())
        if (option.Apply && !option.Hidden) names << option.Name;
    return WithSuggestion("unknown option " + AName, AName, names);
}

// The options a command takes may depend on its first word ("preset save"): that scope when
// some option names it, else the command.
QString OptionScope(const QString& ACommand, const QStringList& AArgs) {
    if (!AArgs.isEmpty() && !ScopeOptions(ACommand + ' ' + AArgs[0]).empty())
        return ACommand + ' ' + AArgs[0];
    return ACommand;
}

}  // namespace

TParseResult ParseArguments(const QStringList& AArgs) {
    TParseResult r;
    TCliRequest& req = r.Request;
    QStringList positional;
    std::vector<TGivenOption> commandOptions;

    for (qsizetype i = 0; i < AArgs.size(); ++i) {
        const QString& arg = AArgs[i];
        const bool isLong = arg.startsWith("--") && arg != "--";
        const bool isShort = !isLong && arg.size() == 2 && arg[0] == '-' && FindOption(arg);
        if (!isLong && !isShort) {
            positional << arg;
            continue;
        }
        QString name = arg;
        QString value;
        const qsizetype eq = isLong ? arg.indexOf('=') : -1;
        if (eq > 0) {
            name = arg.left(eq);
            value = arg.mid(eq + 1);
        }
        const TOptionDecl* option = FindOption(name);
        // Options handled before parsing (--version) and flags given a value are not taken.
        if (!option || !option->Apply || (eq > 0 && !option->TakesValue())) {
            r.Error = UnknownOption(name);
            return r;
        }
        if (option->TakesValue() && eq < 0) {
            if (i + 1 >= AArgs.size()) {
                r.Error = name + ": a value is required";
                return r;
            }
            value = AArgs[++i];
        }
        if (!option->Global()) {
            commandOptions.push_back({option, value});
            continue;
        }
        r.Error = option->Apply(option->Name, value, req);
        if (!r.Error.isEmpty()) return r;
    }

    if (!positional.isEmpty() && positional[0] == "help") {
        req.Help = true;
        positional.removeFirst();
    }
    if (positional.isEmpty()) {
        if (!req.Help) r.Error = "no command given";
        return r;
    }
    req.Command = positional.takeFirst();
    const TCommandDecl* command = FindCommand(req.Command);
    if (!command) {
        r.Error = WithSuggestion("unknown command " + req.Command, req.Command, CommandNames());
        return r;
    }
    req.Options = command->Options;
    if (req.Help) return r;

    // A flag is checked against the command before its words, a value after them (it may
    // belong to one of its actions only).
    for (const TGivenOption& given : commandOptions) {
        if (given.Decl->TakesValue() || given.Decl->TakenBy(req.Command)) continue;
        r.Error = given.Decl->Name + " does not apply to " + req.Command;
        return r;
    }
    if (command->Arguments) {
        r.Error = command->Arguments(positional, req);
        if (!r.Error.isEmpty()) return r;
    } else if (!positional.isEmpty()) {
        r.Error = req.Command + ": unexpected argument " + positional[0];
        return r;
    }
    const QString scope = OptionScope(req.Command, positional);
    QStringList given;
    for (const TGivenOption& option : commandOptions) {
        const TOptionDecl& decl = *option.Decl;
        if (!decl.Commands.contains(scope) && !decl.Commands.contains(req.Command)) {
            r.Error = decl.Name + " does not apply to " + scope;
            return r;
        }
        r.Error = decl.Apply(decl.Name, option.Value, req);
        if (!r.Error.isEmpty()) return r;
        given << decl.Name;
    }

    if (req.Link.Serial() && req.Link.Tcp()) {
        r.Error = "--port and --tcp exclude each other";
        return r;
    }
    for (const TOptionDecl& option : CliOptions()) {
        if (!option.Required.contains(scope) || given.contains(option.Name)) continue;
        r.Error = scope + ": " + option.Synopsis() + " is required";
        return r;
    }
    // Said rather than taken and ignored.
    for (const TGivenOption& option : commandOptions) {
        const QString& needs = option.Decl->Needs;
        if (needs.isEmpty() || given.contains(needs)) continue;
        r.Error = option.Decl->Name + ": only with " + needs;
        return r;
    }
    if (command->Check) {
        r.Error = command->Check(req);
        if (!r.Error.isEmpty()) return r;
    }
    // The saved table is shown without a link, for the supply the window last used.
    const auto* sequence = req.If<TSequenceOptions>();
    const bool tableOnly = sequence && sequence->Action == "show";
    if (command->NeedsLink && !tableOnly && !req.Link.Serial() && !req.Link.Tcp()) {
        r.Error = req.Command + ": a link is required: --port NAME or --tcp HOST[:PORT]";
        return r;
    }
    return r;
}
