// ombra: converts publications with the core's reader and writer plug-ins,
// shows what a reader makes of a document, and lists the plug-ins.
#include "CommandLine.h"
#include "Convert.h"
#include "Host.h"
#include "HostSystem.h"
#include "Listings.h"

#include <ombra/convertor.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace ombra_host;

namespace {

int Run(const Options& options) {
    PlugInFolders folders;
    std::string problem;
    bool usage = false;
    if (!FindPlugInFolders(options, folders, problem, usage)) {
        std::fprintf(stderr, "ombra: %s\n", problem.c_str());
        if (usage) std::fputs(UsageText(false).c_str(), stderr);
        return usage ? 2 : 1;
    }

    // The string resources are registered before the manager is made.
    HostStrings strings;
    std::vector<std::string> warnings;
    strings.Load(folders, warnings);
    for (const std::string& warning : warnings)
        std::fprintf(stderr, "ombra: warning: %s\n", warning.c_str());

    OBL::LocaleIDEnum locale = ChooseLocale(options);
    OBConvertorManager manager(folders.readers, folders.writers);
    switch (options.command) {
    case Command::kConvert:
    case Command::kDump:
        return RunConversions(options, folders, manager, locale);
    case Command::kPlugins:
        std::fputs(ListPlugIns(manager, folders, strings, locale).c_str(), stdout);
        return 0;
    case Command::kFormats:
        std::fputs(ListFormats(manager).c_str(), stdout);
        return 0;
    default:
        return 2;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.ok) {
        std::fprintf(stderr, "ombra: %s\n%s", parsed.error.c_str(), UsageText(false).c_str());
        return 2;
    }
    const Options& options = parsed.options;
    if (options.command == Command::kHelp) {
        std::fputs(UsageText(true).c_str(), stdout);
        return 0;
    }
    if (options.command == Command::kVersion) {
        std::fputs(VersionText().c_str(), stdout);
        return 0;
    }
    InstallInterruptCleanup();
    // The memory service comes before every other call into the core and
    // goes after the last.
    MemoryServiceScope memory;
    int status = Run(options);
    // The main thread never ends before exit: its per-thread state goes back
    // to the memory service while that is still there.
    OBReleaseThreadState();
    return status;
}
