#pragma once
// promtool's verdict on a metrics exposition, for tests that check what a scraper reads.

#include <QByteArray>
#include <string>

namespace testsupport {

// What `promtool check metrics` says about AText: empty when it finds nothing wrong.
std::string PromtoolProblems(const QByteArray& AText);

}  // namespace testsupport
