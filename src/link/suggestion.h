#pragma once
// "did you mean …?" for a mistyped command, option or action.

#include <QString>
#include <QStringList>

// The name of ACandidates closest to ATyped when it is close enough to be a slip of the keys (a
// letter missing, extra, wrong or two swapped per three letters typed); empty otherwise.
QString ClosestName(const QString& ATyped, const QStringList& ACandidates);

// AError, and on a line of its own "did you mean "NAME"?" when a candidate is close to ATyped.
QString WithSuggestion(const QString& AError, const QString& ATyped,
                       const QStringList& ACandidates);
