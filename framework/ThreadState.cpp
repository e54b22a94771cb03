// Releasing what the core keeps for a thread before the thread ends, for
// threads whose end never comes before the process exits (the main thread).
#include <ombra/convertor.h>
#include <ombra/diagnostics.h>
#include <ombra/elements.h>
#include <ombra/identifiers.h>
#include <ombra/scripts.h>
#include <ombra/textservice.h>

#include "framework/FrameworkInternal.h"
#include "model/values/PoolRegistry.h"
#include "platform/CodePages.h"

void OBReleaseThreadState() {
    OBErrorUtils::OBResetErrorUtils();
    LocaleUtil::ResetCurrentLocale();
    ElementUtil::Reset();
    OBIDGenerator::Reset();
    obframework::DropChosenReaders();
    obsys::ReleaseThreadConverters();
    ombra_detail::EmptyThreadValueCache();

    // Installed services belong to their thread, which deletes them at its end.
    OBLumService* service = OBLumHandler::GetLumService();
    OBLumFontService* fontService = OBLumHandler::GetLumFontService();
    OBLumHandler::ResetLumService();
    delete service;
    delete fontService;
}
