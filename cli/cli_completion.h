#pragma once
// What the bash completion offers, from the command and option tables (cli_options.h).

#include <QString>
#include <QStringList>

// Stand-ins the completion script fills in itself: file names, and the serial ports 'ports'
// lists.
inline const QString kCompleteFiles = QStringLiteral("<FILE>");
inline const QString kCompletePorts = QStringLiteral("<PORT>");

// The words that may stand where the last of AWords is typed (AWords: the words after the
// program name, the last one being completed, possibly empty), unfiltered by what is typed of
// it: commands, their actions, options, an option's choices, or a stand-in.
QStringList CompletionWords(const QStringList& AWords);
