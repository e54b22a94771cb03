// Preferences set by name: what a host's user writes as NAME=VALUE, matched
// against the English display names that the plug-ins publish.
#ifndef OMBRA_SETTINGS_H
#define OMBRA_SETTINGS_H

#include <ombra/export.h>
#include <ombra/memory.h>
#include <ombra/preferences.h>

#include <string>

/// Settings by name, UTF-8, in the order they were added. A host hands them
/// to a conversion through the Preferences record (its settings field); the
/// pump applies them to the reader's and the writer's preferences after its
/// own adjustments, so they have the last word.
class OMBRA_API OBPreferenceSettings {
public:
    OB_MEMORY_OPERATORS
    OBPreferenceSettings();
    OBPreferenceSettings(const OBPreferenceSettings& other);
    OBPreferenceSettings& operator=(const OBPreferenceSettings& other);
    ~OBPreferenceSettings();

    /// Adds name=value; 1, or 0 when memory ran out (nothing is added).
    short Add(const std::string& name, const std::string& value);
    int GetCount() const;
    /// Setting n's name and value; empty outside 0 ... count - 1.
    std::string GetName(int n) const;
    std::string GetValue(int n) const;
    void Clear();

private:
    struct Impl;
    Impl* impl_;
};

/// 1 when name names p: p's English display name (GetMenuName with
/// OBL::kEnglish, so the registered module must hold it), compared without
/// regard to letter case, with spaces, hyphens and underscores alike, and
/// with a closing remark in parentheses optional ("wrap-column" names
/// "Wrap column (0: no wrapping)"). Also 1 for the name in `locale`.
OMBRA_API short OBPreferenceNameMatches(OBPreference* p, const std::string& name,
                                        OBL::LocaleIDEnum locale = OBL::kEnglish);

/// 1 when name names the display name as OBPreferenceNameMatches compares
/// them: a host's test of a setting name it knows only by its text.
OMBRA_API short OBSettingNameMatches(const std::string& display, const std::string& name);

/// Every preference of list and of its groups' constituent lists (depth
/// first) that name names, up to max; returns how many it found (it counts
/// on past max).
OMBRA_API int OBFindPreferences(OBPreferenceList* list, const std::string& name,
                                OBPreference** found, int max,
                                OBL::LocaleIDEnum locale = OBL::kEnglish);

/// Sets p's current value from text after p's kind: on/off, yes/no,
/// true/false or 1/0 for Booleans and groups; a decimal number within the
/// preference's range (when its minimum lies below its maximum) for whole
/// numbers and reals; the English text of one entry (compared as names are)
/// for enumerations, which then hold that text; any text for strings.
/// Returns 1 when set; else 0, p unchanged and, when accepted is given,
/// what p accepts in English ("on or off", "a whole number from 0 to 8",
/// "one of Default, Unicode UTF8, Unicode UTF16", ...).
OMBRA_API short OBSetPreferenceFromText(OBPreference* p, const std::string& text,
                                        std::string* accepted = nullptr);

/// The current value of p as text in the form OBSetPreferenceFromText
/// reads ("on", "72", "Unicode UTF8").
OMBRA_API std::string OBPreferenceValueText(OBPreference* p);

/// Applies each setting, in order, to every preference of list (constituent
/// lists included) that it names; a value that does not fit a preference
/// leaves that preference alone. Returns the number of values set.
OMBRA_API int OBApplyPreferenceSettings(OBPreferenceList* list,
                                        const OBPreferenceSettings& settings);

#endif
