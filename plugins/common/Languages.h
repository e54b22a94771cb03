// Languages as documents name them and as outputs tag them (BCP 47), from
// one table (LanguageTags.def) that readers and writers share.
#ifndef OMBRA_PLUGINS_LANGUAGES_H
#define OMBRA_PLUGINS_LANGUAGES_H

#include <ombra/vocabulary.h>

#include <string>

namespace oblanguage {

/// The tag of a DictionaryLanguage member, or null (undefined, none).
const char* TagOf(int member);

/// The tag of the language a writing script names by itself, or null when
/// the script says nothing about it (Roman, the system script).
const char* ScriptTag(int script);

/// The DictionaryLanguage member a document names, by a locale or BCP 47
/// code ("en_GB", "de-CH", "ja") or by an English name, as layout
/// documents write them ("English: UK", "$ID/Norwegian: Bokmal", "German");
/// kNone for "[No Language]", kUndefined for what names no known language.
DLE::DictionaryLanguageEnum FromName(const std::string& name);

} // namespace oblanguage

#endif
