// `ombra plugins` and `ombra formats`: what the plug-in folders hold.
#ifndef OMBRA_TOOLS_LISTINGS_H
#define OMBRA_TOOLS_LISTINGS_H

#include <ombra/convert.h>

#include <string>

namespace ombra_host {

/// Every plug-in found with its file, id, version, load status and why it
/// did not load, and its preferences: display name in locale (with the
/// English name that --set takes beside it in another locale), kind,
/// default and what it accepts.
std::string ListPlugIns(const ombra::Converter& converter, OBL::LocaleIDEnum locale);

/// What the loaded readers read and the loaded writers write: format,
/// extensions, MIME type, type and creator codes, and the plug-in.
std::string ListFormats(const ombra::Converter& converter);

} // namespace ombra_host

#endif
