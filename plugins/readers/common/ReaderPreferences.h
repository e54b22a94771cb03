// Boolean preferences of a reader: published with their defaults and
// display names (OBReaderResourceBase(id) + 16 x index + locale), read back
// at Init whatever class the list holds them in.
#ifndef OMBRA_READER_PREFERENCES_H
#define OMBRA_READER_PREFERENCES_H

#include <ombra/preferences.h>

namespace obreader {

/// The base resource id of preference `index` of reader `readerId`.
unsigned PreferenceResource(int readerId, int index);

/// Adds `count` Boolean preferences, preference i set to defaults[i].
void AddBooleanPreferences(OBPreferenceList* list, int readerId, const bool* defaults, int count);

/// The current value of preference `index` when it is a Boolean; the
/// fallback otherwise.
bool BooleanPreference(OBPreferenceList* list, int index, bool fallback);

} // namespace obreader

#endif
