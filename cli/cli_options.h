#pragma once
// The command line's vocabulary, declared once: every command and every option of benchlordctl.
// The parser (cli_args.cpp), the help and the manual (cli_help.cpp, cli_manual.cpp, and so the
// man page) and the bash completion (cli_completion.cpp, which packaging/bash-completion asks
// through --completion-words) are all made from these two tables.
//
// A new option is one entry in CliOptions() (cli_options.cpp): its name, the kind and the help
// word of its value, the commands that take it, its help line and the function that stores it.
// A new command is one entry in CliCommands() (cli_command_table.cpp): its name, its line in the
// command list, its usage lines, its help text, whether it needs a link, the record of its
// options (cli_option_records.h), the reader of its positional arguments, its checks and the
// factory of the TCliCommand that runs it; its options name it in their Commands. Nothing else
// lists commands or options.

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "cli/cli_option_records.h"

struct TCliRequest;
class TCliCommand;
class TCliContext;

// What an option's value is; the completion offers files, serial ports or the choices.
enum class TValueKind { None, Number, Text, File, Port, HostPort, Choice };

// How an option stands in a usage line beside the option of the same command before it:
// [--a X] [--b Y], [--a X --b Y], [--a X | --b Y], [--a [--b Y]].
enum class TUsageJoin { Own, And, Or, Inside };

// Stores an option's value in the request (AValue is empty for a flag); an error text or empty.
using TApplyOption = QString (*)(const QString& AName, const QString& AValue, TCliRequest& AReq);

struct TOptionDecl {
    QString Name{};  // "--interval"
    char Short = 0;  // 'h' for -h; 0: none
    TValueKind Kind = TValueKind::None;
    QString Value{};               // the value's word in the help ("S", "FILE"); empty: the choices
    QStringList Choices{};         // TValueKind::Choice (offered by the completion)
    QStringList Commands{};        // the commands (or a command and its first word, "preset save")
                                   // that take it; empty: a global option, taken by every command
    QStringList Required{};        // the commands that cannot do without it
    QString Needs{};               // an option without which it would do nothing ("--stats")
    QString Help{};                // one line in the option lists; wrapped at 80 columns
    TApplyOption Apply = nullptr;  // null: only alone, before any parsing (--version, --help-all)
    TUsageJoin Join = TUsageJoin::Own;
    bool InUsage = true;  // shown in the usage line (not --help, --version)
    bool Hidden = false;  // neither in the help nor offered by the completion

    bool TakesValue() const { return Kind != TValueKind::None; }
    bool Global() const { return Commands.isEmpty(); }
    // "S", or the choices as "txt|csv|xlsx"; empty for a flag.
    QString ValueWord() const;
    // "--interval S".
    QString Synopsis() const;
    // Taken by ACommand, with any of its first words.
    bool TakenBy(const QString& ACommand) const;
};

// One usage line of a command: the words up to its options ("LINK [--json] preset save N"), and
// the scope whose options follow them (empty: the command's; "-": none).
struct TUsage {
    QString Words{};
    QString Scope{};
};

using TParseArguments = QString (*)(const QStringList& AArgs, TCliRequest& AReq);
using TCheckRequest = QString (*)(const TCliRequest& AReq);
using TMakeCommand = std::unique_ptr<TCliCommand> (*)(TCliContext& AContext);

struct TCommandDecl {
    QString Name{};
    // The left column of the tool's command list ("flash FILE"); empty: on the line of the
    // command before ("on, off"), sharing its usage and help text.
    QString Listed{};
    QString Summary{};  // the right column
    std::vector<TUsage> Usages{};
    QString Text{};  // the help after the usage lines
    bool NeedsLink = true;
    // The record of its options, as they are before any is given.
    TCommandOptions Options{};
    // The words after the command; null: none are taken.
    TParseArguments Arguments = nullptr;
    // What only the whole request can tell (combinations, values against each other); null:
    // nothing.
    TCheckRequest Check = nullptr;
    // null: run by the runner itself (ports)
    TMakeCommand Make = nullptr;
};

// Every option, in the order of the help; every command, in the order of the help.
const std::vector<TOptionDecl>& CliOptions();
const std::vector<TCommandDecl>& CliCommands();

// The option of that long name, or of that short letter ("-h"); null when there is none.
const TOptionDecl* FindOption(const QString& AName);
const TCommandDecl* FindCommand(const QString& AName);
// The command whose usage lines and help text ACommand shares ("on" for "off").
const TCommandDecl& HelpOwner(const TCommandDecl& ACommand);
// The options of a scope ("watch", "preset save"), without the global ones.
std::vector<const TOptionDecl*> ScopeOptions(const QString& AScope);
// The words a usage line of ACommand shows after the command's name ("save N"), one list per
// usage line that names it.
std::vector<QStringList> PositionalForms(const TCommandDecl& ACommand);
