// The ids, names and output extensions of the plug-ins that ship with Ombra,
// from defs/PlugIns.def.
#ifndef OMBRA_PLUGINIDS_H
#define OMBRA_PLUGINIDS_H

#include <cstring>

namespace OBPLUGIN {

/// Reader ids of the shipped readers (and the tests' document reader).
enum ReaderId : int {
#define OB_PLUGIN_READER(Ident, Id, Name, Description) Ident = Id,
#include <ombra/defs/PlugIns.def>
};

/// Writer ids of the shipped writers.
enum WriterId : int {
#define OB_PLUGIN_WRITER(Ident, Id, Name, Extension, Description) Ident = Id,
#include <ombra/defs/PlugIns.def>
};

/// One shipped plug-in as the table describes it.
struct Info {
    bool reader;
    int id;
    const char* name;
    const char* extension; ///< a writer's usual output extension; "" for readers
    const char* description;
};

constexpr Info kAll[] = {
#define OB_PLUGIN_READER(Ident, Id, Name, Description) {true, Id, Name, "", Description},
#define OB_PLUGIN_WRITER(Ident, Id, Name, Extension, Description)                                  \
    {false, Id, Name, Extension, Description},
#include <ombra/defs/PlugIns.def>
};

/// The table's row for a writer id, or null.
inline const Info* FindWriter(int id) {
    for (const Info& info : kAll)
        if (!info.reader && info.id == id) return &info;
    return nullptr;
}

/// The table's row for a plug-in name ("text", "json", ...), or null.
inline const Info* FindByName(const char* name, bool reader) {
    for (const Info& info : kAll)
        if (info.reader == reader && name && std::strcmp(info.name, name) == 0) return &info;
    return nullptr;
}

/// A shipped format as people know it (defs/FileFormats.def).
struct FormatNames {
    bool reader;
    int id;
    const char* formatString;
    const char* extensions; ///< ".sla .sla.gz"
    const char* mimeType;   ///< "" when it has none
};

constexpr FormatNames kFormatNames[] = {
#define OB_FILE_FORMAT(Reader, PlugInId, FormatString, Extensions, MimeType)                       \
    {Reader, PlugInId, FormatString, Extensions, MimeType},
#include <ombra/defs/FileFormats.def>
};

/// The row for a plug-in's format (its exact format string first, then
/// the plug-in's row for every format), or null.
inline const FormatNames* FindFormatNames(bool reader, int id, const char* formatString) {
    const FormatNames* any = nullptr;
    for (const FormatNames& row : kFormatNames) {
        if (row.reader != reader || row.id != id) continue;
        if (formatString && std::strcmp(row.formatString, formatString) == 0) return &row;
        if (!*row.formatString && !any) any = &row;
    }
    return any;
}

} // namespace OBPLUGIN

#endif
