// Writers' preferences: reading the preference kinds whatever a host set,
// and a table-driven preference list for writers whose settings are rows
// of a table (a .def file of OB_SETTING_BOOL, OB_SETTING_TEXT,
// OB_SETTING_CHOICE and OB_SETTING_ENTRY rows; see docs/writers.md).
#ifndef OMBRA_WRITERS_SETTINGS_H
#define OMBRA_WRITERS_SETTINGS_H

#include "WalkValues.h"

#include <ombra/preferences.h>

namespace obpref {

/// A Boolean's current value (exactly 1 is on).
bool ReadBool(OBPreference* p, bool& out);
bool ReadInt(OBPreference* p, int& out);
/// The current text of a String or Enumeration preference as a new string
/// (null when absent or empty); the default text when useDefault is set.
IOBString* ReadText(OBPreference* p, VT::ValueTypeEnum type, bool useDefault);
/// The entry that an Enumeration's current (or, when empty, default) text
/// names: its English text, without regard to case, or its display text in
/// the preference's locale.
int ReadChoice(OBPreference* p, const char* const* texts, int count, int fallback);
/// Whether n bytes are well-formed UTF-8.
bool IsUtf8(const unsigned char* s, long long n);
/// A host's 8-bit text as UTF-8: taken as it is when it is well-formed
/// UTF-8, else read in the string's script.
void TextToUtf8(const IOBString* text, obwalk::Utf8Text& out);

/// One row of a settings table: a setting, or an entry of the choice before.
struct Row {
    char kind;        ///< 'B' Boolean, 'T' text, 'C' choice, 'E' an entry of a choice
    const char* text; ///< the default of a text or choice, the English text of an entry
    int number;       ///< the default of a Boolean
};

/// A setting's value after Read.
struct Value {
    bool flag = false;
    int choice = 0;
    obwalk::Utf8Text text;
};

/// The preferences of a table, in row order (entries belong to the choice
/// before them). Row r's display texts are OBWriterResourceBase(writerId)
/// + 16 r + locale, entries included.
class Settings {
public:
    Settings(int writerId, const Row* rows, int count)
        : writer_(writerId), rows_(rows), count_(count) {}
    /// Appends one preference per setting; a setting that cannot be made
    /// for want of memory is left out.
    void Publish(OBPreferenceList* list) const;
    /// The value of every setting (values holds one per setting, in order):
    /// a preference of another kind, or missing, keeps the default.
    void Read(OBPreferenceList* list, Value* values) const;
    /// The number of settings (rows that are no entries).
    int Count() const;

private:
    int writer_;
    const Row* rows_;
    int count_;
};

} // namespace obpref

#endif
