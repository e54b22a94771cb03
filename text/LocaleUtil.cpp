// The per-thread current locale.
#include <ombra/memory.h>
#include <ombra/scripts.h>

#include <boost/thread/tss.hpp>

#include <new>

namespace {

// The slot comes from the memory service, so it goes back there when its
// thread ends.
void FreeLocaleSlot(OBL::LocaleIDEnum* slot) {
    OBLibFree(slot);
}

boost::thread_specific_ptr<OBL::LocaleIDEnum> gCurrentLocale(FreeLocaleSlot);

struct LocaleRow {
    OBL::LocaleIDEnum locale;
    WSE::WritingScriptEnum script;
    const char* tag;
};

const LocaleRow kLocales[] = {
#define OB_LOCALE(name, value, script, tag) {OBL::name, WSE::script, tag},
#include <ombra/defs/Locales.def>
};

const LocaleRow* FindLocale(OBL::LocaleIDEnum locale) {
    for (const LocaleRow& row : kLocales)
        if (row.locale == locale) return &row;
    return nullptr;
}

} // namespace

void LocaleUtil::InitCurrentLocale() {
    if (gCurrentLocale.get()) return;
    auto* slot = static_cast<OBL::LocaleIDEnum*>(OBLibAllocate(sizeof(OBL::LocaleIDEnum)));
    if (!slot) return;
    *slot = OBL::kEnglish;
    try { // the slot's own bookkeeping may find no memory: the value is ours then
        gCurrentLocale.reset(slot);
    } catch (const std::bad_alloc&) {
        OBLibFree(slot);
        throw;
    }
}

OBL::LocaleIDEnum LocaleUtil::GetCurrentLocale() {
    OBL::LocaleIDEnum* slot = gCurrentLocale.get();
    return slot ? *slot : OBL::kEnglish;
}

void LocaleUtil::SetCurrentLocale(OBL::LocaleIDEnum locale) {
    InitCurrentLocale();
    if (OBL::LocaleIDEnum* slot = gCurrentLocale.get()) *slot = locale;
}

void LocaleUtil::ResetCurrentLocale() {
    gCurrentLocale.reset();
}

WSE::WritingScriptEnum LocaleUtil::GetLocaleScript(OBL::LocaleIDEnum locale) {
    const LocaleRow* row = FindLocale(locale);
    return row ? row->script : WSE::kSystemScript;
}

const char* LocaleUtil::GetLocaleTag(OBL::LocaleIDEnum locale) {
    const LocaleRow* row = FindLocale(locale);
    return row ? row->tag : "";
}
