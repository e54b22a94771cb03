// A process-wide event log shared by the framework suites and the test
// plug-ins they load: both link this one shared library, so both see the
// same log whatever the plug-ins' own load and unload cycles.
#ifndef OMBRA_TESTS_FRAMEWORK_RECORDER_H
#define OMBRA_TESTS_FRAMEWORK_RECORDER_H

#include <string>
#include <vector>

#define OMBRA_RECORDER_API __attribute__((visibility("default")))

namespace ombra_test {

/// Appends one event (thread-safe).
OMBRA_RECORDER_API void Record(const std::string& event);
/// Everything recorded since the last Clear, in order.
OMBRA_RECORDER_API std::vector<std::string> Recorded();
OMBRA_RECORDER_API void ClearRecorded();

} // namespace ombra_test

#endif
