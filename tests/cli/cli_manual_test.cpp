// The manual the man page is made from: every usage line stands alone, every word in capitals
// a usage line shows is defined, and the exit codes are listed once.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include "cli/cli_args.h"
#include "cli/cli_help.h"
#include "cli/cli_manual.h"

namespace {

// The words the tool's help defines ("  HOST, ADDRESS, PORT   ..." under "Words in capitals").
QSet<QString> DefinedWords() {
    QSet<QString> words;
    const QString help = ToolHelp();
    const qsizetype from = help.indexOf(QStringLiteral("Words in capitals"));
    EXPECT_GE(from, 0);
    for (const QString& line : help.mid(from).split('\n').mid(1)) {
        if (line.isEmpty() || !line.startsWith(QStringLiteral("  "))) break;
        const QString head = line.trimmed().section(QStringLiteral("  "), 0, 0);
        for (const QString& word : head.split(QStringLiteral(", ")))
            words << word;
    }
    return words;
}

TEST(CliManual, UsageLinesStandAloneAndTheirWordsAreDefined) {
    const QSet<QString> defined = DefinedWords();
    const QRegularExpression capitals(QStringLiteral("(?<![A-Za-z-])[A-Z]+(:[A-Z]+)?(?![A-Za-z])"));
    for (const QString& command : CommandNames()) {
        const QString help = CommandHelp(command);
        const QString usage = help.section(QStringLiteral("\n\n"), 0, 0);
        const QString text = help.section(QStringLiteral("\n\n"), 1);
        for (auto it = capitals.globalMatch(usage); it.hasNext();) {
            const QString word = it.next().captured();
            const bool explained =
                QRegularExpression("(?<![A-Za-z])" + QRegularExpression::escape(word) +
                                   "(?![A-Za-z])")
                    .match(text)
                    .hasMatch();
            EXPECT_TRUE(defined.contains(word) || explained)
                << command.toStdString() << ": " << word.toStdString() << " is not defined";
        }
    }
    // In the manual each usage is a paragraph of its own, one program call per line.
    const QStringList lines = ManualHelp().split('\n');
    for (const QString& usage : {QStringLiteral("  benchlordctl LINK [--json] preset list"),
                                 QStringLiteral("  benchlordctl LINK [--json] preset show N")}) {
        const qsizetype at = lines.indexOf(usage);
        ASSERT_GE(at, 0) << usage.toStdString();
        EXPECT_TRUE(lines.value(at + 1).isEmpty()) << usage.toStdString();
    }
    for (const QString& line : lines)
        EXPECT_LE(line.count(QStringLiteral("benchlordctl ")), 1) << line.toStdString();
}

TEST(CliManual, ExitCodesAreListedOnceAsTheExitStatusSection) {
    const QString manual = ManualHelp();
    EXPECT_EQ(manual.count(QStringLiteral("\nExit status:\n")), 1);
    EXPECT_EQ(manual.count(QStringLiteral("Exit codes:\n")), 0);
    EXPECT_EQ(manual.count(QStringLiteral("\n  130 ")), 1);
    EXPECT_LT(manual.indexOf(QStringLiteral("\nCommands in detail:\n")),
              manual.indexOf(QStringLiteral("\nExit status:\n")));
}

}  // namespace
