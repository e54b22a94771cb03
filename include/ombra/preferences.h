// Typed settings that readers and writers publish: the six preference kinds
// and the list that owns them. Display texts come from the registered
// resource module (resources.h), never from the preferences themselves.
#ifndef OMBRA_PREFERENCES_H
#define OMBRA_PREFERENCES_H

#include <ombra/elements.h>
#include <ombra/export.h>
#include <ombra/geometry.h>
#include <ombra/scripts.h>
#include <ombra/strings.h>
#include <ombra/vocabulary.h>

class OBPreferenceList;

/// One typed setting: a value type, a default and a current value, and the
/// base resource id of its display name. Preferences live in exactly one
/// OBPreferenceList (or a group's constituent list), which deletes them, so
/// they are created with `new` and never copied. Core and plug-ins delete
/// each other's preferences: the memory operators keep them on one
/// allocator, and `new` yields null when it has no memory.
///
/// Values cross the interface as document-model Values: GetDefaultValue and
/// GetCurrentValue hand out a new Value (the caller releases it with
/// ValueUtil::Recycle), SetCurrentValue copies from a Value of the kind's
/// class and ignores any other.
class OMBRA_API OBPreference {
public:
    OB_MEMORY_OPERATORS

    OBPreference(const OBPreference&) = delete;
    OBPreference& operator=(const OBPreference&) = delete;
    virtual ~OBPreference();

    /// The display name: the text of resource id GetResourceID() + locale
    /// from the registered module, as 8-bit text. name is unchanged when no
    /// module is registered, and empty when the id has no text.
    virtual void GetMenuName(COBString& name, OBL::LocaleIDEnum locale);
    /// The kind's value type: ekBool16 (12) for Boolean and group, ekSignedInt32
    /// (83), ekOBReal (86), ekString (87) or ekEnum (111).
    virtual void GetType(VT::ValueTypeEnum& type) const;
    /// A new Value holding the default (null when there is no memory).
    virtual void GetDefaultValue(Value*& value) = 0;
    /// A new Value holding the current value (null when there is no memory,
    /// or for a string preference whose current value was never set).
    virtual void GetCurrentValue(Value*& value) = 0;
    /// Copies the current value out of a Value of the kind's class; a null
    /// Value or one of another class changes nothing.
    virtual void SetCurrentValue(Value*& value) = 0;

    /// The base id of the display name.
    unsigned int GetResourceID() const { return resourceId_; }
    /// The type, as GetType stores it.
    VT::ValueTypeEnum GetValueType() const { return type_; }

protected:
    OBPreference(VT::ValueTypeEnum type, unsigned int resourceId);

private:
    VT::ValueTypeEnum type_;
    unsigned int resourceId_;
};

/// An on/off setting. Values are ValueBool16.
class OMBRA_API OBBooleanPreference : public OBPreference {
public:
    /// The current value starts at 0 whatever the default.
    OBBooleanPreference(short defaultValue, unsigned int resourceId);
    ~OBBooleanPreference() override;

    void GetDefaultValue(Value*& value) override;
    void GetCurrentValue(Value*& value) override;
    void SetCurrentValue(Value*& value) override;

    /// Stores value as given (0 and 1 are the meaningful ones).
    void SetCurrentValue(short value) { current_ = value; }
    short GetCurrentValue() const { return current_; }
    short GetDefaultValue() const { return default_; }

private:
    short default_;
    short current_;
};

/// A Boolean switch that owns a list of further preferences, its
/// constituents. It has the Boolean type code, so everything that selects
/// preferences by type counts groups among the Booleans. Values are
/// ValueBool16.
class OMBRA_API OBGroupPreference : public OBPreference {
public:
    /// No constituent list; default and current value 0.
    explicit OBGroupPreference(unsigned int resourceId);
    /// No constituent list; the given default, current value 0.
    OBGroupPreference(unsigned int resourceId, short defaultValue);
    /// Deletes the constituent list with its preferences.
    ~OBGroupPreference() override;

    void GetDefaultValue(Value*& value) override;
    void GetCurrentValue(Value*& value) override;
    void SetCurrentValue(Value*& value) override;

    void SetCurrentValue(short value) { current_ = value; }
    short GetCurrentValue() const { return current_; }
    short GetDefaultValue() const { return default_; }

    /// *list = the constituent list (null when none was set); a null list
    /// argument is ignored.
    void GetConstituentPreferenceList(OBPreferenceList** list) const;
    /// Adopts list as the constituent list. A list set before is not
    /// deleted: the caller takes it back first (GetConstituentPreferenceList)
    /// and deletes it.
    void SetConstituentPreferenceList(OBPreferenceList* list);

private:
    OBPreferenceList* constituents_;
    short default_;
    short current_;
};

/// A whole number with a minimum and a maximum, which are stored for the
/// plug-in and its host to read: no setter clamps the current value. Values
/// are ValueInteger32.
class OMBRA_API OBIntegerPreference : public OBPreference {
public:
    /// Minimum, maximum and current value start at 0.
    OBIntegerPreference(int defaultValue, unsigned int resourceId);
    ~OBIntegerPreference() override;

    void GetDefaultValue(Value*& value) override;
    void GetCurrentValue(Value*& value) override;
    void SetCurrentValue(Value*& value) override;

    int GetDefaultValue() const { return default_; }
    int GetCurrentValue() const { return current_; }
    int GetMinimumValue() const { return minimum_; }
    int GetMaximumValue() const { return maximum_; }
    void SetCurrentValue(int value) { current_ = value; }
    void SetMinimumValue(int value) { minimum_ = value; }
    void SetMaximumValue(int value) { maximum_ = value; }
    /// Take the bound from a ValueInteger32; anything else changes nothing.
    void SetMinimumValue(Value*& value);
    void SetMaximumValue(Value*& value);
    /// Write the bound into the caller's value when it is a ValueInteger32;
    /// any other value (or null) is left as it is. Nothing is created.
    void GetMinimumValue(Value* value) const;
    void GetMaximumValue(Value* value) const;

private:
    int default_;
    int minimum_;
    int maximum_;
    int current_;
};

/// A real number with a minimum and a maximum (stored only, as for integer
/// preferences). Values are ValueOBReal.
class OMBRA_API OBRealPreference : public OBPreference {
public:
    /// Current value, minimum and maximum start at 0.
    OBRealPreference(OBReal defaultValue, unsigned int resourceId);
    ~OBRealPreference() override;

    void GetDefaultValue(Value*& value) override;
    void GetCurrentValue(Value*& value) override;
    void SetCurrentValue(Value*& value) override;

    OBReal GetDefaultValue() const { return default_; }
    OBReal GetCurrentValue() const { return current_; }
    OBReal GetMinimumValue() const { return minimum_; }
    OBReal GetMaximumValue() const { return maximum_; }
    void SetCurrentValue(OBReal value) { current_ = value; }
    void SetMinimumValue(OBReal value) { minimum_ = value; }
    void SetMaximumValue(OBReal value) { maximum_ = value; }
    /// Take the bound from a ValueOBReal; anything else changes nothing.
    void SetMinimumValue(Value*& value);
    void SetMaximumValue(Value*& value);
    /// Write the bound into the caller's value when it is a ValueOBReal;
    /// any other value (or null) is left as it is. Nothing is created.
    void GetMinimumValue(Value* value) const;
    void GetMaximumValue(Value* value) const;

private:
    OBReal default_;
    OBReal current_;
    OBReal minimum_;
    OBReal maximum_;
};

/// A text, 8-bit or UTF-16 (each copy keeps its kind). The current value
/// starts absent. Values are ValueString.
class OMBRA_API OBStringPreference : public OBPreference {
public:
    /// Copies the default; without memory the default is absent too.
    OBStringPreference(const IOBString& defaultValue, unsigned int resourceId);
    ~OBStringPreference() override;

    void GetDefaultValue(Value*& value) override;
    /// Null while the current value is absent.
    void GetCurrentValue(Value*& value) override;
    void SetCurrentValue(Value*& value) override;

    /// Stores a copy of value (its kind kept); without memory nothing changes.
    void SetCurrentValue(const IOBString& value);
    /// The held strings, or null when absent; valid until the next change.
    const IOBString* GetDefaultString() const { return default_; }
    const IOBString* GetCurrentString() const { return current_; }

private:
    IOBString* default_;
    IOBString* current_;
};

/// A choice among entries that are named by resource ids. Default and
/// current value are the display text of an entry (for example
/// "Unicode UTF8"), not an index: setting the preference means setting the
/// entry's text. The current value starts empty. Values are ValueString
/// holding 8-bit text.
class OMBRA_API OBEnumPreference : public OBPreference {
public:
    /// Adopts entryIds, an array of count resource ids that the preference
    /// frees with OBLibFree: allocate it with OBLibAllocate or CopyEntryIds.
    /// locale is the locale that the default and current texts are written
    /// in; it is stored for the plug-in (GetLocale) and read by no operation.
    OBEnumPreference(const COBString& defaultValue, unsigned int resourceId, int count,
                     unsigned int* entryIds, OBL::LocaleIDEnum locale);
    /// Frees the entry id array.
    ~OBEnumPreference() override;

    void GetDefaultValue(Value*& value) override;
    void GetCurrentValue(Value*& value) override;
    /// Takes the text of an 8-bit ValueString; a UTF-16 one changes nothing.
    void SetCurrentValue(Value*& value) override;

    /// The number of entries (0 when the constructor got no array or a
    /// count below 1).
    virtual int GetNumberOfEnumerations();
    /// The display text of entry n, counted from 0: the text of resource id
    /// entryIds[n] + locale. text is unchanged when no module is registered
    /// or n is outside 0 to GetNumberOfEnumerations() - 1.
    virtual void GetNthEnumerationString(int n, COBString& text, OBL::LocaleIDEnum locale);

    /// Stores a copy of text (script included).
    void SetCurrentValue(const COBString& text) { current_ = text; }
    const COBString& GetCurrentValue() const { return current_; }
    const COBString& GetDefaultValue() const { return default_; }
    OBL::LocaleIDEnum GetLocale() const { return locale_; }
    /// The resource id of entry n (from 0), or 0 outside the entries.
    unsigned int GetNthEnumerationID(int n) const;

    /// A copy of count ids from OBLibAllocate, for the constructor; null
    /// for a null array, a count below 1 or no memory.
    static unsigned int* CopyEntryIds(const unsigned int* ids, int count);

private:
    COBString default_;
    COBString current_;
    int count_;
    unsigned int* entryIds_;
    OBL::LocaleIDEnum locale_;
};

/// An ordered list that owns its preferences: destroying the list deletes
/// each of them. Storage comes from the memory service: 10 slots on the
/// first Add, then twice as many whenever the list is full.
class OMBRA_API OBPreferenceList {
public:
    OB_MEMORY_OPERATORS

    OBPreferenceList();
    OBPreferenceList(const OBPreferenceList&) = delete;
    OBPreferenceList& operator=(const OBPreferenceList&) = delete;
    ~OBPreferenceList();

    /// Appends and adopts p; insertion order is list order. Returns 1. A
    /// null p, or one that this list holds already, gives 0 and changes
    /// nothing. When the list cannot grow it deletes p, which it was given
    /// to own, and returns 0.
    short Add(OBPreference* p);
    int GetNumberOfPreferences() const { return count_; }
    /// Slots allocated (0 before the first Add).
    int GetCapacity() const { return capacity_; }
    /// *out = preference n, counted from 0; null when n is negative or not
    /// below the count. A null out is ignored.
    void GetNthPreference(int n, OBPreference** out) const;
    /// The number of preferences whose GetType is type.
    int GetNumberOfPreferencesOfType(VT::ValueTypeEnum type) const;
    /// *out = the n-th preference of the type, counted from 1 in list
    /// order; null when there is none or n is below 1.
    void GetNthPreferenceOfType(int n, VT::ValueTypeEnum type, OBPreference** out) const;

    /// Type 12: Booleans and groups.
    int GetNumberOfBooleanPreferences() const;
    /// Type 111.
    int GetNumberOfEnumerationPreferences() const;
    /// Type 87.
    int GetNumberOfStringResources() const;
    /// Type 83.
    int GetNumberOfIntegerResources() const;
    /// Type 86.
    int GetNumberOfOBRealResources() const;

private:
    OBPreference** items_;
    int count_;
    int capacity_;
};

/// The positions of the preferences that the pump adjusts before a
/// conversion (OBConvertor::ExtractData). Indexes count from 0
/// (GetNthPreference); ...Nth positions count from 1 among the preferences
/// of one value type (GetNthPreferenceOfType). A preference missing there,
/// or of another kind, is left alone.
namespace OBPUMP {
/// In a reader's list: the group at kReaderGroup, whose constituent at
/// index kReaderSwitch is a Boolean that the pump sets to 1.
constexpr int kReaderGroup = 3;
constexpr int kReaderSwitch = 14;

/// In the list of the text convertor's writer (OBPLUGIN::kTextWriter):
constexpr int kEncoding = 0;     ///< Enumeration: "Unicode UTF8", "Unicode UTF16", "Default"
constexpr int kPlatformNth = 2;  ///< the 2nd Enumeration of the list, set to "PC"
constexpr int kOptionsGroup = 2; ///< Group whose constituents follow
constexpr int kWriterSwitch = 3; ///< Boolean set to 1
constexpr int kLineEnds = 5;     ///< Enumeration: "LF", "CR LF" or "CR" from Preferences::lineEnd
/// In the kOptionsGroup group, from the host's Preferences record:
constexpr int kGroupFlag1Nth = 1;  ///< Boolean: groupFlag1
constexpr int kGroupFlag2Nth = 2;  ///< Boolean: groupFlag2
constexpr int kGroupFlag3Nth = 3;  ///< Boolean: groupFlag3
constexpr int kGroupText1Nth = 1;  ///< String: groupText1
constexpr int kGroupText2Nth = 2;  ///< String: groupText2
constexpr int kGroupNumberNth = 1; ///< Integer: groupNumber
constexpr int kUnitNth = 1;        ///< Enumeration: measurementUnit as "Inches", "Points", ...
} // namespace OBPUMP

#endif
