// Converting inputs into outputs: `ombra convert` and `ombra dump`.
#ifndef OMBRA_TOOLS_CONVERT_H
#define OMBRA_TOOLS_CONVERT_H

#include "CommandLine.h"
#include "Host.h"

#include <ombra/convertor.h>
#include <ombra/scripts.h>

#include <string>

namespace ombra_host {

/// One input and where its output goes ("-": the standard output).
struct Job {
    std::string input;
    std::string output;
};

/// What became of one input.
struct Outcome {
    bool converted = false;
    std::string reason;             ///< why not, when not converted
    std::string reader;             ///< the reader that recognised the input
    std::vector<std::string> notes; ///< the conversion log, when collected
};

/// Converts one input through a convertor that no other thread uses now.
/// The input is read into memory before the pump and the output collected
/// in memory and written after it, so that the pump, which shares the
/// plug-in objects with other threads, holds them no longer than it must.
/// A file output is written under a temporary name in its folder and renamed
/// when complete; nothing is left behind when anything fails. With
/// collectNotes the conversion log is installed around the pump (it is
/// process-wide: only one thread may collect at a time).
Outcome ConvertOne(OBConvertor* convertor, const Job& job, const Preferences* options,
                   bool collectNotes, OBL::LocaleIDEnum locale);

/// The convertor for a writer: the text convertor (id 1) for writer 259,
/// else the manager's convertor bound to that writer.
OBConvertor* ConvertorFor(OBConvertorManager& manager, int writerId, ErrorCode& error);

/// The file name extension of a writer's outputs, without the dot.
std::string OutputExtension(OBConvertorManager& manager, int writerId);

/// Runs `convert` or `dump` with the manager made on this thread; several
/// threads each make a manager of their own (see the .cpp). Returns the
/// exit status.
int RunConversions(const Options& options, const PlugInFolders& folders,
                   OBConvertorManager& manager, OBL::LocaleIDEnum locale);

} // namespace ombra_host

#endif
