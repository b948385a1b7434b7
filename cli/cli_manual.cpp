#include "cli/cli_manual.h"

#include <QRegularExpression>
#include <QStringList>

#include "cli/cli_args.h"
#include "cli/cli_help.h"

namespace {

// A command's help with its usage block turned into one indented paragraph per usage line
// (continuation lines joined to their line), so that no two usages run together.
QString CommandSection(const QString& ATitle, const QString& AHelp) {
    QStringList lines = AHelp.split('\n');
    QStringList usages;
    int i = 0;
    for (; i < lines.size() && !lines[i].trimmed().isEmpty(); ++i) {
        QString line = lines[i].trimmed();
        if (line.startsWith(QStringLiteral("Usage:"))) line = line.mid(6).trimmed();
        if (line.startsWith(QStringLiteral("benchlordctl")) || usages.isEmpty())
            usages << line;
        else
            usages.last() += ' ' + line;
    }
    QString text = ATitle + QStringLiteral(":\n");
    for (const QString& usage : usages)
        text += QStringLiteral("  ") + usage + QStringLiteral("\n\n");
    // The command's options follow its text without a heading: the man page has one section
    // "Options", the tool's.
    text += lines.mid(i).join('\n').trimmed().replace(QStringLiteral("\n\nOptions:\n"),
                                                      QStringLiteral("\n\n")) +
            '\n';
    return text;
}

}  // namespace

QString ManualHelp() {
    QString tool = ToolHelp();
    // The synopsis as one line; the exit codes go last, as the exit status (the man page makes
    // both headings sections of their own).
    tool.replace(QRegularExpression(QStringLiteral("\\n +\\[")), QStringLiteral(" ["));
    const qsizetype exitAt = tool.indexOf(QStringLiteral("\nExit codes:\n"));
    QString exitCodes;
    if (exitAt >= 0) {
        exitCodes = tool.mid(exitAt + 12);
        tool.truncate(exitAt + 1);
    }

    QString text = tool + QStringLiteral("\nCommands in detail:\n\n");
    // Commands sharing one text ("on" and "off") share a section.
    QStringList names;
    QString last;
    const QStringList commands = CommandNames();
    for (qsizetype i = 0; i <= commands.size(); ++i) {
        const QString help = i < commands.size() ? CommandHelp(commands[i]) : QString();
        if (!names.isEmpty() && help != last) {
            text += CommandSection(names.join(QStringLiteral(", ")), last) + '\n';
            names.clear();
        }
        if (i < commands.size()) names << commands[i];
        last = help;
    }
    if (!exitCodes.isEmpty()) text += QStringLiteral("Exit status:\n") + exitCodes.mid(1);
    return text;
}
