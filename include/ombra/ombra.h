// Everything a host or a plug-in needs: #include <ombra/ombra.h>.
#ifndef OMBRA_OMBRA_H
#define OMBRA_OMBRA_H

#include <ombra/collection.h>
#include <ombra/convertor.h>
#include <ombra/convertorlumservice.h>
#include <ombra/diagnostics.h>
#include <ombra/driver.h>
#include <ombra/elements.h>
#include <ombra/export.h>
#include <ombra/files.h>
#include <ombra/geometry.h>
#include <ombra/identifiers.h>
#include <ombra/memory.h>
#include <ombra/messages.h>
#include <ombra/platformtypes.h>
#include <ombra/pluginids.h>
#include <ombra/plugin.h>
#include <ombra/pools.h>
#include <ombra/preferences.h>
#include <ombra/readermanager.h>
#include <ombra/resolvers.h>
#include <ombra/resources.h>
#include <ombra/scripts.h>
#include <ombra/settings.h>
#include <ombra/storedelements.h>
#include <ombra/streams.h>
#include <ombra/strings.h>
#include <ombra/textservice.h>
#include <ombra/typedstreams.h>
#include <ombra/utf16.h>
#include <ombra/utf8.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>
#include <ombra/views.h>
#include <ombra/vocabulary.h>
#include <ombra/writermanager.h>

#endif
