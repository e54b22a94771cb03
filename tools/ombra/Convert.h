// Converting inputs into outputs: `ombra convert` and `ombra dump`.
#ifndef OMBRA_TOOLS_CONVERT_H
#define OMBRA_TOOLS_CONVERT_H

#include "CommandLine.h"

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

/// What became of one input, in the user's language.
struct Outcome {
    bool converted = false;
    std::string reason;             ///< why not, when not converted
    std::string reader;             ///< the reader that recognised the input
    std::vector<std::string> lines; ///< notes and their details, one line each
    std::string standardOutput;     ///< what goes to the standard output
};

/// What a job does besides converting.
struct JobMode {
    bool metadata = false; ///< the metadata instead of the content
    bool json = false;     ///< metadata as JSON
    bool label = false;    ///< metadata names its input (several inputs)
};

/// Converts one input with a converter that any thread may share. It
/// touches nothing but the input, the output and what it returns, so a
/// worker process can run it as well as a thread.
Outcome ConvertOne(const ombra::Converter& converter, const Job& job, const ombra::Options& options,
                   const JobMode& mode);

/// Runs `convert` or `dump`; returns the exit status.
int RunConversions(const Options& options, const ombra::Converter& converter);

} // namespace ombra_host

#endif
