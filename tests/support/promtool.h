#pragma once
// promtool's verdict on a metrics exposition, for tests that check what a scraper reads.
// Started with posix_spawn rather than QProcess: QProcess starts a thread of its own after the
// fork, which the thread sanitizer refuses in a test process that already runs link workers.

#include <QByteArray>
#include <string>

namespace testsupport {

// What `promtool check metrics` says about AText: empty when it finds nothing wrong.
std::string PromtoolProblems(const QByteArray& AText);

}  // namespace testsupport
