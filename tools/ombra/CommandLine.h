// The command line of the ombra host: commands, options and the help texts.
#ifndef OMBRA_TOOLS_COMMANDLINE_H
#define OMBRA_TOOLS_COMMANDLINE_H

#include <ombra/convert.h>

#include <string>
#include <utility>
#include <vector>

namespace ombra_host {

/// Seconds an input may take before its worker is killed (--timeout).
constexpr int kDefaultTimeout = 600;

enum class Command { kNone, kHelp, kVersion, kConvert, kDump, kFormats, kPlugins };

/// Everything the command line says.
struct Options {
    Command command = Command::kNone;
    Command helpTopic = Command::kNone; ///< `ombra help CMD`, `ombra CMD --help`
    std::vector<std::string> inputs;
    bool hasOutput = false;
    std::string output; ///< "-" is the standard output
    bool hasOutdir = false;
    std::string outdir;
    /// Folders whose plug-ins join the shipped ones (--readers, --writers).
    std::vector<std::string> readerFolders, writerFolders;
    bool noDefaultPlugIns = false;      ///< only the folders named
    int jobs = 1;                       ///< worker processes
    int timeout = kDefaultTimeout;      ///< seconds per input; 0: none
    unsigned long long maxMemory = 0;   ///< bytes of address space per worker; 0: none
    int shardIndex = 1, shardCount = 1; ///< --shard I/N
    bool skipExisting = false;
    bool keepFolders = false; ///< outputs below --outdir as the inputs lie
    std::string writer;       ///< -t NAME|ID; empty: the command's own (text, json)
    std::string pandocFormat; ///< -t FORMAT of those pandoc writes (the writer is pandoc's)
    std::string language;     ///< "en", "ja", or empty: from the environment
    bool verbose = false;
    bool quiet = false;
    bool strict = false;   ///< notes count as failures
    bool report = false;   ///< print what each conversion dropped (also with verbose)
    bool metadata = false; ///< -m: the publication's metadata instead of its content
    std::string encoding;  ///< as ombra::Options::encoding
    ombra::LineEnd lineEnd = ombra::LineEnd::kNative;
    /// Preferences by name, in command-line order (--set, and what the text
    /// writer's own flags stand for).
    std::vector<std::pair<std::string, std::string>> settings;
    std::string textFlag; ///< the first text-writer flag given, for messages
};

/// The result of parsing: ok, or the problem to report with the usage text.
struct ParsedCommandLine {
    bool ok = false;
    Options options;
    std::string error;
};

/// Parses the arguments after the program name. Options may come before or
/// after the command and between inputs; "--" ends them. Long options take
/// their value as "--name value" or "--name=value"; short ones as "-j 4" or
/// "-j4", and flags combine ("-vq").
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

/// The options of the convenience layer that a command line gives.
ombra::Options MakeOptions(const Options& options);

/// The usage lines, shown with usage errors.
std::string UsageText();
/// The help of a command (kNone: the program's).
std::string HelpText(Command topic);
/// The program's version text.
std::string VersionText();

} // namespace ombra_host

#endif
