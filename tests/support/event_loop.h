#pragma once
// Helpers that drive time through the Qt event loop in tests: no sleeps, only event processing
// until a condition holds or a deadline passes.

#include <functional>

namespace testsupport {

// Creates the process's QCoreApplication if there is none yet (safe to call from every test).
void EnsureCoreApp();

// Processes events until APredicate is true or ATimeoutMs have passed; returns the predicate's
// last value.
bool ProcessUntil(const std::function<bool()>& APredicate, int ATimeoutMs);

// Processes events for AMs milliseconds.
void ProcessFor(int AMs);

}  // namespace testsupport
