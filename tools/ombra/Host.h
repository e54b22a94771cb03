// The host's setting-up, in the order the core asks for: the memory service
// first, then the string resources registered as the resource module, then
// the convertor manager with the two plug-in folders.
#ifndef OMBRA_TOOLS_HOST_H
#define OMBRA_TOOLS_HOST_H

#include "CommandLine.h"

#include <ombra/convertor.h>
#include <ombra/memory.h>
#include <ombra/resources.h>
#include <ombra/scripts.h>

#include <memory>
#include <string>
#include <vector>

class COBString;

namespace ombra_host {

/// Installs a memory service on the C heap for the object's lifetime. Make
/// it before any other call into the core and let it go last.
class MemoryServiceScope {
public:
    MemoryServiceScope();
    ~MemoryServiceScope();
    MemoryServiceScope(const MemoryServiceScope&) = delete;
    MemoryServiceScope& operator=(const MemoryServiceScope&) = delete;

private:
    OBMemoryService* service_;
};

/// The folders the plug-ins are loaded from.
struct PlugInFolders {
    std::string readers;
    std::string writers;
};

/// Works out the plug-in folders: the ones named on the command line, or
/// the plug-in folder next to the program (plugins/ beside it or beside its
/// folder, or lib/ombra/plugins/ beside its folder). Returns false with the
/// problem; usage is set when the command line named a folder that is none.
bool FindPlugInFolders(const Options& options, PlugInFolders& folders, std::string& problem,
                       bool& usage);

/// One string table built from the host's own texts (compiled into the
/// program from ombra.strings) and every *.strings file under the plug-in
/// folders, registered as the resource module while the object lives.
class HostStrings {
public:
    HostStrings();
    ~HostStrings();
    HostStrings(const HostStrings&) = delete;
    HostStrings& operator=(const HostStrings&) = delete;

    /// Loads everything and registers the table. Problems with the files
    /// (unreadable files, bad lines) are added to warnings.
    void Load(const PlugInFolders& folders, std::vector<std::string>& warnings);
    /// The files the texts came from, plug-ins' first, in load order.
    const std::vector<std::string>& Files() const { return files_; }

private:
    OBStringTable table_;
    HINSTANCE handle_;
    std::vector<std::string> files_;
};

/// The locale of display names and messages: the command line's, else
/// the environment's.
OBL::LocaleIDEnum ChooseLocale(const Options& options);

/// An 8-bit string of the core in UTF-8, for printing (needs the calling
/// thread's text service for strings in a legacy script).
std::string Utf8(const COBString& text);

/// The file-system form of a plug-in's path, for printing.
std::string PathText(const OBSysFileRef& path);

} // namespace ombra_host

#endif
