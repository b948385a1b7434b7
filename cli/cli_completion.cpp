#include "cli/cli_completion.h"

#include "cli/cli_options.h"

namespace {

// A word of a usage line the user types as it is ("run", "read|watch"), not a value ("N",
// "[FILE]").
bool Literal(const QString& AWord) {
    return !AWord.startsWith('[') && AWord == AWord.toLower();
}

QString Unbracketed(const QString& AWord) {
    return AWord.startsWith('[') && AWord.endsWith(']') ? AWord.mid(1, AWord.size() - 2) : AWord;
}

// The words that may follow a command's words ATyped, by its usage lines.
QStringList NextPositional(const TCommandDecl& ACommand, const QStringList& ATyped) {
    QStringList words;
    for (const QStringList& form : PositionalForms(ACommand)) {
        if (form.size() <= ATyped.size()) continue;
        bool matches = true;
        for (qsizetype i = 0; i < ATyped.size() && matches; ++i)
            matches = !Literal(form[i]) || form[i].split('|').contains(ATyped[i]);
        if (!matches) continue;
        const QString next = Unbracketed(form[ATyped.size()]);
        if (next == "FILE")
            words << kCompleteFiles;
        else if (Literal(next))
            words << next.split('|');
    }
    return words;
}

QStringList OptionNames(const QString& ACommand) {
    QStringList names;
    for (const TOptionDecl& option : CliOptions())
        if (!option.Hidden &&
            (option.Global() || (!ACommand.isEmpty() && option.TakenBy(ACommand))))
            names << option.Name;
    return names;
}

}  // namespace

QStringList CompletionWords(const QStringList& AWords) {
    QStringList typed = AWords;
    const QString current = typed.isEmpty() ? QString() : typed.takeLast();
    const TCommandDecl* command = nullptr;
    const TOptionDecl* awaitingValue = nullptr;
    QStringList positional;
    for (const QString& word : typed) {
        if (awaitingValue) {
            awaitingValue = nullptr;
            continue;
        }
        if (word.startsWith('-') && word != "-" && word != "--") {
            const TOptionDecl* option = FindOption(word.section('=', 0, 0));
            if (option && option->TakesValue() && !word.contains('=')) awaitingValue = option;
            continue;
        }
        if (!command)
            command = FindCommand(word);
        else
            positional << word;
    }

    if (awaitingValue) {
        switch (awaitingValue->Kind) {
            case TValueKind::File:
                return {kCompleteFiles};
            case TValueKind::Port:
                return {kCompletePorts};
            case TValueKind::Choice:
                return awaitingValue->Choices;
            default:
                return {};
        }
    }
    if (current.startsWith('-')) return OptionNames(command ? command->Name : QString());
    if (!command) {
        QStringList names;
        for (const TCommandDecl& decl : CliCommands())
            names << decl.Name;
        return names << "help";
    }
    QStringList words = NextPositional(*command, positional);
    words.removeDuplicates();
    return words;
}
