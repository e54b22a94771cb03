// `ombra plugins` and `ombra formats`: what the plug-in folders hold.
#ifndef OMBRA_TOOLS_LISTINGS_H
#define OMBRA_TOOLS_LISTINGS_H

#include "Host.h"

#include <ombra/convertor.h>
#include <ombra/scripts.h>

#include <string>

namespace ombra_host {

/// Every discovered plug-in with its file, id, version, load status and
/// error strings, and its preferences with their display names in locale.
std::string ListPlugIns(OBConvertorManager& manager, const PlugInFolders& folders,
                        const HostStrings& strings, OBL::LocaleIDEnum locale);

/// What the loaded readers read and the loaded writers write.
std::string ListFormats(OBConvertorManager& manager);

} // namespace ombra_host

#endif
