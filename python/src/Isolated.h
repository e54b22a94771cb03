// Isolated conversions: a helper process forked from this one converts
// request after request with the plug-ins the process loaded, so that a
// plug-in that crashes or hangs costs the helper, never the process, and a
// fork is paid once, not per conversion.
#ifndef OMBRA_PYTHON_ISOLATED_H
#define OMBRA_PYTHON_ISOLATED_H

#include <ombra/convert.h>

#include <functional>
#include <string>

namespace isolated {

/// One conversion: the input's path, or its bytes, and the options.
struct Request {
    bool bytes = false;
    std::string input;       ///< a path, or the bytes of the document
    std::string name;        ///< the input's name for messages
    std::string destination; ///< the file the caller writes the output to, or empty
    std::string folder;      ///< the caller's working folder, for relative paths
    ombra::Options options;
};

/// Starts a helper with this converter: returns 0 or the errno.
using Start = std::function<int(const ombra::Converter&)>;
/// Calls start with a Start under whatever lock the caller needs.
using Starter = std::function<int(const Start&)>;

/// Whether the caller gave up on the conversion (asked a few times a second).
using GivenUp = std::function<bool()>;

/// Converts in an idle helper, or in a new one that starter forks. A helper
/// that crashes, passes timeout seconds (0: no limit) or works on when
/// givenUp says so is killed and the result says why ("crashed with signal
/// 11 (SIGSEGV)", "timed out after 60 s", "interrupted"). Thread-safe: each
/// thread's conversion has a helper of its own.
ombra::Result Convert(const Request& request, double timeout, std::string& output,
                      const Starter& starter, const GivenUp& givenUp = GivenUp());

/// "timed out after 0.5 s": why a conversion that took too long failed.
std::string TimedOut(double seconds);

/// Ends the idle helpers (when the process loads other plug-ins).
void StopHelpers();

} // namespace isolated

#endif
