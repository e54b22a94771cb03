// The numbers by which hosts and resource files know the structure dump
// writer: its writer id and the resource ids of its display texts.
#ifndef OMBRA_PLUGINS_DUMPWRITERIDS_H
#define OMBRA_PLUGINS_DUMPWRITERIDS_H

#include <ombra/messages.h>
#include <ombra/pluginids.h>

constexpr int kDumpWriterId = OBPLUGIN::kDumpWriter;
/// Display names of its preferences, each a block of 16 ids (base + locale).
constexpr unsigned kDumpIndentationName = OBWriterResourceBase(kDumpWriterId) + 0;
constexpr unsigned kDumpStoryTextName = OBWriterResourceBase(kDumpWriterId) + 16;

#endif
