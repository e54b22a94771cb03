// Reading values whatever class an element hands them out in, and the small
// containers the writers share: id tables and a growable text buffer.
#ifndef OMBRA_WRITERS_WALKVALUES_H
#define OMBRA_WRITERS_WALKVALUES_H

#include <ombra/collection.h>
#include <ombra/detail/CastLikely.h>
#include <ombra/elements.h>
#include <ombra/geometry.h>
#include <ombra/memory.h>
#include <ombra/stdallocator.h>
#include <ombra/strings.h>
#include <ombra/values.h>

#include <ombra/utf16.h>

#include "Utf8Put.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <typeinfo>

class OBMCharacterAttributes;
class OBMParagraphAttributes;

namespace obwalk {

/// The allocator of the few maps the writers keep; the writers catch its
/// std::bad_alloc where an Element enters them.
template <class T> using Allocator = OBStdAllocator<T>;

/// Puts item after the first count items in use (the collection keeps
/// the slots beyond for reuse), growing it when full; false when memory
/// runs out.
template <class T, class Count>
bool PushAt(OBBaseTypeCollection<T>& items, Count& count, const T& item) {
    if (count < items.Count()) {
        items[count++] = item;
        return true;
    }
    if (!items.Add(item)) return false;
    ++count;
    return true;
}

/// v as a T, as dynamic_cast gives it. Values are nearly always of exactly
/// the class asked for, which comparing type records tells at once; a cast
/// across the library boundary compares type names.
template <class T> T* ValueAs(Value* v) {
    return ombra_detail::CastLikely<T, T>(v);
}
/// v as an enumeration value, as dynamic_cast gives it.
ValueEnumBase* EnumValue(Value* v);
/// The attributes child of a run or style as its view, as dynamic_cast
/// gives it (mostly a stored element, known at once); null for null.
OBMParagraphAttributes* ParagraphAttributesOf(Element* e);
OBMCharacterAttributes* CharacterAttributesOf(Element* e);

/// An integer of any of the integer classes.
bool GetInt(Element* e, AN::AttrNameEnum attr, long long& out);
/// StartCharacterPosition and EndCharacterPosition, as GetInt reads them
/// (a stored run's in one pass over its values); false when either is missing.
bool GetRange(Element* e, long long& start, long long& end);
/// GetRange of a character run, and its CharacterStyleID and
/// ParagraphStyleID as GetId reads them (has[k] says whether ids[k] was
/// read); a stored run's in one pass over its values.
bool GetRunKeys(Element* run, long long& start, long long& end, unsigned ids[2], bool has[2]);
/// An id (ValueOBID).
bool GetId(Element* e, AN::AttrNameEnum attr, unsigned& out);
/// An id, also from the element's attribute store when its view has no
/// accessor for attr (a text frame's Layer).
bool GetStoredId(Element* e, AN::AttrNameEnum attr, unsigned& out);
/// A 16-bit boolean value.
bool GetFlag(Value* v, bool& out);
/// A length in unit; false for a missing or non-finite one.
bool GetLength(Element* e, AN::AttrNameEnum attr, UNITS::LINEAR::UnitEnum unit, double& out);
bool GetLength(Value* v, UNITS::LINEAR::UnitEnum unit, double& out);
/// A percentage as its ratio (0.5 for 50 %).
bool GetPercent(Value* v, double& out);
/// Any enumeration value as its member number.
bool GetEnum(Value* v, int& member);
/// GetEnum, with the class an attribute's values have known at once.
template <class Likely> bool GetEnumOf(Value* v, int& member) {
    if (!v) return false;
    if (&typeid(*v) == &typeid(Likely)) {
        member = static_cast<Likely*>(v)->GetMember();
        return true;
    }
    return GetEnum(v, member);
}
/// A string value as UTF-16; script is the 8-bit string's script, or -1 for
/// UTF-16 text, whose script the caller takes from its context.
bool GetText(Value* v, WOBString& out, int& script);
/// The same without the script.
inline bool GetUnits(Value* v, WOBString& out) {
    int script = -1;
    return GetText(v, out, script);
}
/// A paragraph's list marker: its text, and where the separator it ends
/// with (tab, space, en, em or no-break space) begins; length 0 for none.
struct MarkerText {
    explicit MarkerText(Value* marker) {
        if (!GetUnits(marker, text) || text.Length() == 0) return;
        units = text.GrabWString();
        length = end = text.Length();
        while (end > 0 &&
               (units[end - 1] == 0x09 || units[end - 1] == 0x20 || units[end - 1] == 0xA0 ||
                units[end - 1] == 0x2002 || units[end - 1] == 0x2003))
            --end;
    }
    MarkerText(const MarkerText&) = delete; // units point into text
    MarkerText& operator=(const MarkerText&) = delete;
    WOBString text;
    const unsigned short* units = nullptr;
    long long length = 0, end = 0;
};
/// A rectangle in points.
bool GetRect(Element* e, AN::AttrNameEnum attr, OBRect& out);

/// The values of a list of character attributes (at most 255, each with an
/// accessor of OBMCharacterAttributes) of one source: out[k] is what
/// accessor k gives, or null. A stored element's values are taken in one
/// pass over its store, any other view's through its accessors.
class CharacterValueList {
public:
    CharacterValueList(const AN::AttrNameEnum* attrs, int count);
    /// False when source is not exactly a stored element (ask its accessors
    /// then); else out[0] to out[count - 1], null where unset.
    bool ReadStored(OBMCharacterAttributes* source, Value** out) const;

private:
    static constexpr int kAttrs = AN::kUndefined + 1;
    int count_;
    unsigned char slots_[kAttrs]; ///< the index in the list of each attribute; 0xFF for none
};

inline Element* Child(Element* e, unsigned long long n) {
    return e ? e->GetNthChild(n) : nullptr;
}
inline unsigned long long Children(Element* e) {
    return e ? e->GetChildCount() : 0;
}

/// UTF-8 text on the memory service: what the HTML and pandoc writers
/// build their output and names in. A failed growth sets the failed flag
/// and keeps what was there.
class Utf8Text {
public:
    Utf8Text() = default;
    Utf8Text(const Utf8Text& other) { Append(other.Data(), other.Size()); }
    Utf8Text& operator=(const Utf8Text& other) {
        if (this != &other) {
            Clear();
            Append(other.Data(), other.Size());
        }
        return *this;
    }
    ~Utf8Text();
    void Append(const char* text, long long n) {
        if (n > 0 && text && size_ + n < capacity_) { // room for the text and the NUL after it
            std::memmove(data_ + size_, text, static_cast<std::size_t>(n));
            size_ += n;
            data_[size_] = 0;
            return;
        }
        AppendGrowing(text, n);
    }
    void Append(const char* text) {
        if (text) Append(text, static_cast<long long>(std::strlen(text)));
    }
    void Append(char c) {
        if (size_ + 1 < capacity_) {
            data_[size_++] = c;
            data_[size_] = 0;
            return;
        }
        AppendGrowing(&c, 1);
    }
    void Append(const Utf8Text& text) { Append(text.Data(), text.Size()); }
    // For the text helpers that also write std::string (JsonText.h).
    void push_back(char c) { Append(c); }
    void append(const char* text, std::size_t n) { Append(text, static_cast<long long>(n)); }
    /// UTF-16 units as UTF-8; an unpaired surrogate becomes U+FFFD.
    void AppendUtf16(const unsigned short* units, long long n);
    /// Room for n more bytes at the end, to be written there and then
    /// counted with Commit; null (and failed) when the text cannot grow.
    char* Reserve(long long n);
    void Commit(long long n) {
        size_ += n;
        data_[size_] = 0;
    }
    void AppendNumber(long long n);
    /// A number with at most `decimals` decimals and no trailing zeros.
    void AppendReal(double value, int decimals = 3);
    /// Empties the text and keeps its storage for reuse.
    void Clear() { Truncate(0); }
    void Truncate(long long size) {
        if (size >= 0 && size < size_) size_ = size;
        if (data_) data_[size_] = 0;
    }
    /// The text, with a NUL after it.
    const char* Data() const { return data_ ? data_ : ""; }
    /// The text to change in place; null while nothing was ever written.
    char* Writable() { return data_; }
    long long Size() const { return size_; }
    bool IsEmpty() const { return size_ == 0; }
    bool Failed() const { return failed_; }
    /// How often growing any text failed on this thread: writers compare
    /// it before and after a conversion to report memory that ran out.
    static long long Failures();
    bool Equals(const char* text) const;
    bool Equals(const Utf8Text& other) const {
        return size_ == other.size_ &&
               (size_ == 0 ||
                std::memcmp(data_, other.data_, static_cast<std::size_t>(size_)) == 0);
    }

private:
    void AppendGrowing(const char* text, long long n);
    bool AppendShortReal(double value, int decimals);

    char* data_ = nullptr;
    long long size_ = 0;
    long long capacity_ = 0;
    long long refused_ = 0; // the least size a growth was refused for, 0 for none
    bool failed_ = false;
};

/// Writes the code point of UTF-16 at units[i] (of n) as UTF-8 at out, an
/// unpaired surrogate as U+FFFD (at most 4 bytes); returns the units taken.
inline int PutUtf8(const unsigned short* units, long long n, long long i, char*& out) {
    int length = 1;
    unsigned c = units[i];
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
        return 1;
    }
    c = OBUTF16::CodePointAt(units, n, i, length);
    if (OBUTF16::IsSurrogate(c)) c = 0xFFFD; // unpaired
    out += obutf8::Put(c, out);
    return length;
}

/// A string value as UTF-8 (8-bit text through its script).
bool GetUtf8(Value* v, Utf8Text& out);

/// Elements by id, sorted when first searched after a change.
class IdTable {
public:
    struct Entry {
        unsigned id;
        Element* element;
    };
    bool Add(unsigned id, Element* element) {
        sorted_ = false;
        last_ = -1;
        return entries_.Add({id, element}) != 0;
    }
    /// Room for n more entries at once (a list's items arrive together).
    bool Reserve(int n) { return n <= 0 || entries_.Reserve(entries_.Count() + n) != 0; }
    Element* Find(unsigned id) { return Find(id, nullptr); }
    /// As Find; known says whether the id is in the table (its element may be null).
    Element* Find(unsigned id, bool* known);
    int Count() const { return entries_.Count(); }
    Element* Nth(int n) const { return entries_[n].element; }
    void Clear() {
        entries_.Clear();
        last_ = -1;
    }

private:
    OBBaseTypeCollection<Entry> entries_;
    bool sorted_ = true;
    int last_ = -1; // the index of the last found: paragraphs and runs repeat their styles
};

} // namespace obwalk

#endif
