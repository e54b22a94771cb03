// Converting inputs into outputs: `ombra convert` and `ombra dump`.
#ifndef OMBRA_TOOLS_CONVERT_H
#define OMBRA_TOOLS_CONVERT_H

#include "CommandLine.h"
#include "PandocRoute.h"
#include "Workers.h"

#include <ombra/convert.h>

#include <string>
#include <vector>

namespace ombra_host {

/// One input and where its output goes ("-": the standard output).
struct Job {
    std::string input; ///< "-": the standard input
    std::string output;
    bool outputNamed = false; ///< -o or --outdir chose it
};

/// What a job does besides converting.
struct JobMode {
    bool metadata = false; ///< the metadata instead of the content
    bool json = false;     ///< metadata as JSON
    bool label = false;    ///< metadata names its input (several inputs)
    const ombra_pandoc::PandocFormat* pandoc = nullptr; ///< the format pandoc makes of the output
};

/// Converts one input into memory (Outcome::output) with a converter that
/// any thread may share. It touches nothing but the input and what it
/// returns, so that a worker process can run it as well as a thread.
Outcome ConvertOne(const ombra::Converter& converter, const Job& job, const ombra::Options& options,
                   const JobMode& mode);

/// Writes a converted input's output where the job says; an output that
/// cannot be written turns the outcome into a failure.
void WriteOutcome(const Job& job, Outcome& outcome);

/// Runs `convert` or `dump` in worker processes; returns the exit status.
int RunConversions(const Options& options, const ombra::Converter& converter);

} // namespace ombra_host

#endif
