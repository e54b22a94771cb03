// The command line of the ombra host: commands, options and the usage text.
#ifndef OMBRA_TOOLS_COMMANDLINE_H
#define OMBRA_TOOLS_COMMANDLINE_H

#include <ombra/convertor.h>

#include <string>
#include <vector>

namespace ombra_host {

enum class Command { kNone, kHelp, kVersion, kConvert, kDump, kFormats, kPlugins };

/// The text writer's settings, as the flags of `convert` give them.
struct TextSettings {
    int encoding = 0;       ///< 0 UTF-8, 1 UTF-16, 2 the writer's default
    int unit = -1;          ///< a linear unit code (2, 7, 10), or -1: no geometry
    bool styleTags = false; ///< --style-tags given
    std::string styleTagFormat;
    bool pageBreaks = false; ///< --page-breaks given
    std::string pageBreakText;
    bool hidden = false;
    int wrap = 0; ///< line width, 0: no wrapping
};

/// Everything the command line says.
struct Options {
    Command command = Command::kNone;
    std::vector<std::string> inputs;
    bool hasOutput = false;
    std::string output; ///< "-" is the standard output
    bool hasOutdir = false;
    std::string outdir;
    std::string readers; ///< empty: the folder next to the program
    std::string writers;
    int jobs = 1;
    int writerId = 0;     ///< 0: the command's own writer (259 for convert, 260 for dump)
    std::string language; ///< "en", "ja", or empty: from the environment
    bool verbose = false;
    bool quiet = false;
    TextSettings text;
};

/// The result of parsing: ok, or the problem to report with the usage text.
struct ParsedCommandLine {
    bool ok = false;
    Options options;
    std::string error;
};

/// Parses the arguments after the program name. Options may come before or
/// after the command and between inputs; "--" ends them. Long options take
/// their value as "--name value" or "--name=value", short ones as "-j 4" or
/// "-j4".
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

/// The host's options record for the text writer.
Preferences MakePreferences(const TextSettings& settings);

/// The writer a command converts into.
int WriterIdFor(const Options& options);

/// The usage text: the short one for errors, or the whole help.
std::string UsageText(bool full);

/// The program's version text.
std::string VersionText();

} // namespace ombra_host

#endif
