// The option table against what is made of it: every option is in the help and the completion
// of each command that takes it, the parser takes it there with a value of its kind and refuses
// it with every other command; the completion follows the usage lines.

#include <gtest/gtest.h>

#include <map>

#include <QRegularExpression>

#include "cli/cli_args.h"
#include "cli/cli_completion.h"
#include "cli/cli_help.h"
#include "cli/cli_options.h"

namespace {

// A value of the option's kind that every command taking it accepts.
QString Sample(const TOptionDecl& AOption) {
    static const std::map<QString, QString> byWord = {{"V", "1"},
                                                      {"A", "1"},
                                                      {"W", "1"},
                                                      {"A|V", "1"},
                                                      {"AH", "2"},
                                                      {"N", "2"},
                                                      {"S", "10"},
                                                      {"H:MM", "1:30"},
                                                      {"FILE", "out.csv"},
                                                      {"DIR", "certs"},
                                                      {"V,I", "1,2"},
                                                      {"NAME", "bench"},
                                                      {"TOPIC", "lab/psu"},
                                                      {"ID", "psu1"},
                                                      {"USER", "lab"},
                                                      {"HOST[:PORT]", "127.0.0.1:1883"},
                                                      {"ADDRESS:PORT", "127.0.0.1:0"},
                                                      {"ADDRESS[:PORT]", "127.0.0.1:0"}};
    if (AOption.Kind == TValueKind::Choice) return AOption.Choices.value(0);
    const auto it = byWord.find(AOption.ValueWord());
    EXPECT_NE(it, byWord.end()) << "no sample for " << AOption.Synopsis().toStdString();
    return it == byWord.end() ? QString() : it->second;
}

QStringList Given(const TOptionDecl& AOption) {
    QStringList given{AOption.Name};
    if (AOption.TakesValue()) given << Sample(AOption);
    return given;
}

// The words of a command's usage line for AScope with its values filled in, and the options
// that scope cannot do without.
QStringList CommandLine(const TCommandDecl& ACommand, const QString& AScope) {
    const TCommandDecl& owner = HelpOwner(ACommand);
    QStringList words{ACommand.Name};
    for (const TUsage& usage : owner.Usages) {
        if ((usage.Scope.isEmpty() ? owner.Name : usage.Scope) != AScope) continue;
        const QStringList all = usage.Words.split(' ');
        for (const QString& word : all.mid(all.indexOf(ACommand.Name) + 1)) {
            if (word.startsWith('[')) continue;
            if (word == "FILE")
                words << "in.csv";
            else if (word == "N")
                words << "3";
            else
                words << (word.isLower() ? word : QStringLiteral("1"));
        }
        break;
    }
    for (const TOptionDecl& option : CliOptions())
        if (option.Required.contains(AScope)) words << Given(option);
    return words;
}

// The option stands in the text as a whole ("--current A", not in "--max-current A").
bool Shows(const QString& AText, const TOptionDecl& AOption) {
    return QRegularExpression("(?<![a-z-])" + QRegularExpression::escape(AOption.Synopsis()) +
                              "(?![A-Za-z0-9:])")
        .match(AText)
        .hasMatch();
}

TEST(CliOptions, EveryOptionIsInTheHelpCompletionAndParserOfItsCommandsOnly) {
    const QString toolHelp = ToolHelp();
    for (const TOptionDecl& option : CliOptions()) {
        if (option.Hidden) continue;
        const std::string name = option.Name.toStdString();
        if (option.Global()) {
            EXPECT_TRUE(toolHelp.contains("\n  " + option.Synopsis() + "  ")) << name;
            for (const TCommandDecl& command : CliCommands())
                EXPECT_TRUE(CompletionWords({command.Name, "--"}).contains(option.Name)) << name;
            if (!option.Apply) continue;
            QStringList line = Given(option);
            if (option.Name != "--port" && option.Name != "--tcp")
                line << "--tcp"
                     << "h";
            const TParseResult parsed = ParseArguments(line << "info");
            EXPECT_TRUE(parsed.Error.isEmpty()) << name << ": " << parsed.Error.toStdString();
            continue;
        }
        for (const TCommandDecl& command : CliCommands()) {
            const std::string where = name + " with " + command.Name.toStdString();
            const QString help = CommandHelp(command.Name);
            const QString usage = help.section("\n\n", 0, 0);
            const bool completed = CompletionWords({command.Name, "--"}).contains(option.Name);
            if (!option.TakenBy(command.Name)) {
                EXPECT_FALSE(Shows(usage, option)) << where;
                EXPECT_FALSE(completed) << where;
                QStringList line = QStringList{"--tcp", "h"} +
                                   CommandLine(command, HelpOwner(command).Usages[0].Scope.isEmpty()
                                                            ? command.Name
                                                            : HelpOwner(command).Usages[0].Scope);
                const TParseResult parsed = ParseArguments(line + Given(option));
                EXPECT_TRUE(parsed.Error.startsWith(option.Name + " does not apply to "))
                    << where << ": " << parsed.Error.toStdString();
                continue;
            }
            EXPECT_TRUE(Shows(usage, option)) << where;
            EXPECT_TRUE(help.contains("\n  " + option.Synopsis())) << where << ": no help line";
            EXPECT_TRUE(completed) << where;
            for (const QString& scope : option.Commands) {
                if (scope.section(' ', 0, 0) != command.Name) continue;
                // A bench's links come from its file: it takes no --tcp.
                const QStringList link =
                    command.NeedsLink ? QStringList{"--tcp", "h"} : QStringList();
                QStringList line = link + CommandLine(command, scope);
                if (!line.contains(option.Name)) line += Given(option);
                if (!option.Needs.isEmpty()) line << option.Needs;
                const TParseResult parsed = ParseArguments(line);
                EXPECT_TRUE(parsed.Error.isEmpty())
                    << line.join(' ').toStdString() << ": " << parsed.Error.toStdString();
            }
        }
    }
}

TEST(CliOptions, CompletionFollowsTheUsageLinesAndTheValueKinds) {
    auto words = [](const QString& ALine) { return CompletionWords(ALine.split(' ')); };
    EXPECT_TRUE(words("").contains("serve-mqtt"));
    EXPECT_TRUE(words("").contains("help"));
    EXPECT_EQ(words("--tcp h preset "), (QStringList{"list", "show", "select", "save"}));
    EXPECT_EQ(words("--tcp h preset show "), QStringList());
    EXPECT_EQ(words("--tcp h sequence run "), QStringList{kCompleteFiles});
    EXPECT_EQ(words("--tcp h sweep "), (QStringList{"voltage", "current"}));
    EXPECT_EQ(words("--port ttyUSB0 flash "), QStringList{kCompleteFiles});
    EXPECT_EQ(words("--port "), QStringList{kCompletePorts});
    EXPECT_EQ(words("--tcp h sequence run --format "), (QStringList{"txt", "csv", "xlsx"}));
    EXPECT_EQ(words("--tcp h charge --cells "), QStringList());
    // A value is not taken for the command: the command after it still counts.
    EXPECT_TRUE(words("--tcp watch watch --").contains("--interval"));
    EXPECT_FALSE(words("--tcp h read --").contains("--interval"));
    EXPECT_FALSE(words("--").contains("--completion-words"));
}

}  // namespace
