// Worker processes for a batch (-j N): each converts many inputs, one at a
// time, as the parent hands them out. A worker that crashes, hangs past the
// time-out or runs out of memory costs only the input it was converting:
// the parent kills and replaces it and reports that input as failed.
#ifndef OMBRA_TOOLS_WORKERS_H
#define OMBRA_TOOLS_WORKERS_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace ombra_host {

/// What became of one input, in the user's language.
struct Outcome {
    bool converted = false;
    bool outOfMemory = false;         ///< memory ran out (the reason says so)
    std::string reason;               ///< why not, when not converted
    std::string reader;               ///< the reader that recognised the input
    std::vector<std::string> lines;   ///< notes and their details, one line each
    std::vector<std::string> dropped; ///< what the writer could not express, one line each
    std::string output;               ///< the converted bytes, for the parent to write
};

/// Limits of each worker.
struct WorkerLimits {
    int timeoutSeconds = 0;           ///< per input; 0: none
    unsigned long long maxMemory = 0; ///< address space in bytes; 0: none
};

/// Converts the inputs of order (indices into the caller's list) in
/// `workers` processes, forked from this one so that they share what it
/// loaded. convert(i) runs in a worker; done(i, outcome) runs here, in
/// the order the inputs finish. Call it while the process has one thread.
/// When fewer workers start than asked for, the batch goes on with those
/// and note(text) says so; when none starts (or none is left), the inputs
/// are converted here, one at a time, without the limits.
/// Returns the processor seconds of the workers, one sum per worker slot
/// that ever had a worker.
std::vector<double> RunInWorkers(const std::vector<std::size_t>& order, int workers,
                                 const WorkerLimits& limits,
                                 const std::function<Outcome(std::size_t)>& convert,
                                 const std::function<void(std::size_t, Outcome&)>& done,
                                 const std::function<void(const std::string&)>& note);

/// "1.5 GiB", "256 MiB": a size as the messages show it.
std::string ShowSize(unsigned long long bytes);

} // namespace ombra_host

#endif
