// ombra: converts publications with the core's reader and writer plug-ins,
// shows what a reader makes of a document, and lists the plug-ins.
#include "CommandLine.h"
#include "Convert.h"
#include "HostSystem.h"
#include "Listings.h"
#include "Messages.h"

#include <ombra/convert.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace ombra_host;

namespace {

ombra::Setup MakeSetup(const Options& options) {
    ombra::Setup setup;
    setup.shipped = !options.noDefaultPlugIns;
    setup.readerFolders = options.readerFolders;
    setup.writerFolders = options.writerFolders;
    return setup;
}

// A folder named on the command line must be one.
bool CheckFolders(const Options& options) {
    for (const auto* folders : {&options.readerFolders, &options.writerFolders})
        for (const std::string& folder : *folders)
            if (KindOf(folder) != PathKind::kFolder) {
                std::fprintf(stderr, "ombra: the plug-in folder %s does not exist\n%s",
                             folder.c_str(), UsageText().c_str());
                return false;
            }
    return true;
}

// Prints a listing; a standard output that refuses it fails the run.
int Print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    int error = FinishStandardOutput();
    if (!error) return 0;
    std::fprintf(stderr, "ombra: %s\n", Say(Message::kCannotWriteOutput, SayError(error)).c_str());
    return 1;
}

int Run(const Options& options) {
    if (!CheckFolders(options)) return 2;
    OBL::LocaleIDEnum locale = options.language == "ja" ? OBL::kJapanese : OBL::kEnglish;
    ombra::Converter converter(MakeSetup(options));
    for (const std::string& problem : converter.TextProblems())
        std::fprintf(stderr, "ombra: %s\n", Say(Message::kWarning, problem).c_str());
    if (!converter.State().Ok()) {
        std::string where = converter.State().subject.empty() ? "-" : converter.State().subject;
        std::fprintf(stderr, "ombra: %s\n", Say(Message::kNoPlugIns, where).c_str());
        return 1;
    }
    switch (options.command) {
    case Command::kConvert:
    case Command::kDump:
        return RunConversions(options, converter);
    case Command::kPlugins:
        return Print(ListPlugIns(converter, locale));
    case Command::kFormats:
        return Print(ListFormats(converter));
    default:
        return 2;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    SetMessageLanguage(EnvironmentLanguage()); // a --locale on the line counts for its errors
    ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.ok) {
        std::fprintf(stderr, "ombra: %s\n%s", parsed.error.c_str(), UsageText().c_str());
        return 2;
    }
    Options& options = parsed.options;
    if (options.language.empty()) options.language = EnvironmentLanguage();
    SetMessageLanguage(options.language);
    if (options.command == Command::kHelp) return Print(HelpText(options.helpTopic));
    if (options.command == Command::kVersion) return Print(VersionText());
    InstallInterruptCleanup();
    // The memory service comes before every other call into the core and
    // goes after the last (with the main thread's state).
    ombra::MemoryScope memory;
    return Run(options);
}
