#include "link/suggestion.h"

#include <algorithm>
#include <vector>

namespace {

// Edits between A and B: insertions, deletions, substitutions and swaps of neighbours.
int EditDistance(const QString& A, const QString& B) {
    const qsizetype n = A.size(), m = B.size();
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1));
    for (qsizetype i = 0; i <= n; ++i)
        d[i][0] = static_cast<int>(i);
    for (qsizetype j = 0; j <= m; ++j)
        d[0][j] = static_cast<int>(j);
    for (qsizetype i = 1; i <= n; ++i)
        for (qsizetype j = 1; j <= m; ++j) {
            const int cost = A[i - 1] == B[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && A[i - 1] == B[j - 2] && A[i - 2] == B[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[n][m];
}

}  // namespace

QString ClosestName(const QString& ATyped, const QStringList& ACandidates) {
    const QString typed = ATyped.toLower();
    // The dashes of an option are no letters.
    qsizetype dashes = 0;
    while (dashes < 2 && dashes < typed.size() && typed[dashes] == u'-')
        ++dashes;
    const int allowed = std::max(1, static_cast<int>((typed.size() - dashes) / 3));
    QString best;
    int bestDistance = allowed + 1;
    for (const QString& candidate : ACandidates) {
        const int distance = EditDistance(typed, candidate);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

QString WithSuggestion(const QString& AError, const QString& ATyped,
                       const QStringList& ACandidates) {
    const QString name = ClosestName(ATyped, ACandidates);
    return name.isEmpty() ? AError : AError + "\ndid you mean \"" + name + "\"?";
}
