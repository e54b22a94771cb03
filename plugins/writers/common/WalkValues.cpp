#include "WalkValues.h"

#include <ombra/utf16.h>
#include <ombra/memory.h>
#include <ombra/storedelements.h>
#include <ombra/utf8.h>
#include <ombra/views.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <typeinfo>

namespace obwalk {

OBMParagraphAttributes* ParagraphAttributesOf(Element* e) {
    return e ? ombra_detail::CastLikely<OBStoredParagraphAttributes, OBMParagraphAttributes>(
                   e->GetChild(EL::kParagraphAttributes))
             : nullptr;
}

OBMCharacterAttributes* CharacterAttributesOf(Element* e) {
    return e ? ombra_detail::CastLikely<OBStoredCharacterAttributes, OBMCharacterAttributes>(
                   e->GetChild(EL::kCharacterAttributes))
             : nullptr;
}

ValueEnumBase* EnumValue(Value* v) {
    if (!v) return nullptr;
    VT::ValueTypeEnum type = VT::ekUndefined;
    v->GetType(type);
    const std::type_info* expected = nullptr;
    switch (static_cast<int>(type)) {
#define OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)                           \
    case Code:                                                                                     \
        expected = &typeid(Class);                                                                 \
        break;
#define OB_VALUE_ENUM_EXTERNAL(Code, TypeName, Class, Space, Enum, Creator)                        \
    OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)
#include <ombra/defs/ValueEnums.def>
    default:
        break;
    }
    // Of exactly the class of its type code: an enumeration value.
    if (expected && &typeid(*v) == expected) return static_cast<ValueEnumBase*>(v);
    return dynamic_cast<ValueEnumBase*>(v);
}

namespace {

// An integer of any of the integer classes.
bool IntOf(Value* v, long long& out) {
    if (auto* i = ValueAs<ValueInteger32>(v)) {
        int n = 0;
        i->Get(n);
        out = n;
        return true;
    }
    if (auto* i = ValueAs<ValueInteger64>(v)) {
        long long n = 0;
        i->Get(n);
        out = n;
        return true;
    }
    if (auto* i = ValueAs<ValueInteger16>(v)) {
        short n = 0;
        i->Get(n);
        out = n;
        return true;
    }
    return false;
}

} // namespace

bool GetInt(Element* e, AN::AttrNameEnum attr, long long& out) {
    return IntOf(OBGetAttributeValue(e, attr), out);
}

namespace {

// The values stored at index 0 under each of the n attrs, which the views'
// accessors hand out, found in one pass over the store; null where none.
void FirstValues(const OBAttributeStore& store, const AN::AttrNameEnum* attrs, int n,
                 Value** found) {
    int missing = n;
    AN::AttrNameEnum attr = AN::kUndefined;
    int index = 0;
    for (int k = 0, count = store.Count(); k < count && missing > 0; ++k) {
        Value* v = store.Nth(k, attr, index);
        if (index != 0) continue;
        for (int slot = 0; slot < n; ++slot)
            if (attr == attrs[slot] && !found[slot]) {
                found[slot] = v;
                --missing;
                break;
            }
    }
}

constexpr AN::AttrNameEnum kRunKeys[] = {AN::kStartCharacterPosition, AN::kEndCharacterPosition,
                                         AN::kCharacterStyleID, AN::kParagraphStyleID};

} // namespace

bool GetRange(Element* e, long long& start, long long& end) {
    const OBAttributeStore* store = nullptr;
    if (e && typeid(*e) == typeid(OBStoredCharacterRun))
        store = static_cast<OBStoredCharacterRun*>(e);
    else if (e && typeid(*e) == typeid(OBStoredParagraphRun))
        store = static_cast<OBStoredParagraphRun*>(e);
    if (!store)
        return GetInt(e, AN::kStartCharacterPosition, start) &&
               GetInt(e, AN::kEndCharacterPosition, end);
    Value* found[2] = {};
    FirstValues(*store, kRunKeys, 2, found);
    return IntOf(found[0], start) && IntOf(found[1], end);
}

bool GetRunKeys(Element* e, long long& start, long long& end, unsigned ids[2], bool has[2]) {
    if (!e || typeid(*e) != typeid(OBStoredCharacterRun)) {
        has[0] = GetId(e, AN::kCharacterStyleID, ids[0]);
        has[1] = GetId(e, AN::kParagraphStyleID, ids[1]);
        return GetRange(e, start, end);
    }
    Value* found[4] = {}; // start, end, the two ids
    FirstValues(*static_cast<OBStoredCharacterRun*>(e), kRunKeys, 4, found);
    for (int k = 0; k < 2; ++k) {
        auto* id = ValueAs<ValueOBID>(found[2 + k]);
        if (id) id->Get(ids[k]);
        has[k] = id != nullptr;
    }
    return IntOf(found[0], start) && IntOf(found[1], end);
}

bool GetId(Element* e, AN::AttrNameEnum attr, unsigned& out) {
    auto* id = ValueAs<ValueOBID>(OBGetAttributeValue(e, attr));
    if (id) id->Get(out);
    return id != nullptr;
}

bool GetStoredId(Element* e, AN::AttrNameEnum attr, unsigned& out) {
    Value* v = OBGetAttributeValue(e, attr);
    if (!v)
        if (OBAttributeStore* store = OBGetAttributeStore(e)) v = store->Find(attr);
    auto* id = ValueAs<ValueOBID>(v);
    if (id) id->Get(out);
    return id != nullptr;
}

bool GetFlag(Value* v, bool& out) {
    auto* flag = ValueAs<ValueBool16>(v);
    if (!flag) return false;
    short n = 1;
    flag->Get(n);
    out = n != 0;
    return true;
}

bool GetLength(Value* v, UNITS::LINEAR::UnitEnum unit, double& out) {
    auto* length = ValueAs<ValueLength>(v);
    if (!length) return false;
    OBReal value = std::nan("");
    length->Get(unit, value);
    if (!std::isfinite(value.Value())) return false;
    out = value.Value();
    return true;
}

bool GetLength(Element* e, AN::AttrNameEnum attr, UNITS::LINEAR::UnitEnum unit, double& out) {
    return GetLength(OBGetAttributeValue(e, attr), unit, out);
}

bool GetPercent(Value* v, double& out) {
    auto* percent = ValueAs<ValuePercent>(v);
    if (!percent) return false;
    OBReal ratio = std::nan("");
    percent->Get(ratio);
    if (!std::isfinite(ratio.Value())) return false;
    out = ratio.Value();
    return true;
}

bool GetEnum(Value* v, int& member) {
    auto* e = EnumValue(v);
    if (e) member = e->GetMember();
    return e != nullptr;
}

bool GetText(Value* v, WOBString& out, int& script) {
    auto* s = ValueAs<ValueString>(v);
    const IOBString* text = s ? s->GetPtr() : nullptr;
    if (!text) return false;
    if (text->IsUnicode()) {
        out.SetXString(text->GrabWString(), text->Length());
        script = -1;
    } else {
        auto* narrow = static_cast<const COBString*>(text);
        out.Clear();
        out.AppendTranslate(narrow->GrabCString(), narrow->Length(), narrow->GetWSEScript());
        script = narrow->GetWSEScript();
    }
    return true;
}

bool GetUtf8(Value* v, Utf8Text& out) {
    // UTF-16 text goes over as it is, without a copy on the way.
    auto* s = ValueAs<ValueString>(v);
    const IOBString* unicode = s ? s->GetPtr() : nullptr;
    if (unicode && unicode->IsUnicode()) {
        out.AppendUtf16(unicode->GrabWString(), unicode->Length());
        return true;
    }
    WOBString text;
    int script = -1;
    if (!GetText(v, text, script)) return false;
    out.AppendUtf16(text.GrabWString(), text.Length());
    return true;
}

bool GetRect(Element* e, AN::AttrNameEnum attr, OBRect& out) {
    auto* rect = ValueAs<ValueRectangle>(OBGetAttributeValue(e, attr));
    if (!rect) return false;
    rect->Get(UNITS::LINEAR::kPoints, out);
    return std::isfinite(out.Left().Value()) && std::isfinite(out.Top().Value());
}

// ---- Utf8Text -------------------------------------------------------------------

namespace {
thread_local long long gFailures = 0;
}

long long Utf8Text::Failures() {
    return gFailures;
}

Utf8Text::~Utf8Text() {
    OBLibFree(data_);
}

char* Utf8Text::Reserve(long long n) {
    if (n < 0) return nullptr;
    if (size_ + n + 1 > capacity_) { // room for the NUL after the text
        // A text that could not grow to some size is not grown towards it
        // again: each later append would ask the system once more, and an
        // output of millions of pieces would spend minutes failing.
        if (n > (1LL << 40) || size_ > (1LL << 40) || (refused_ && size_ + n + 1 >= refused_)) {
            failed_ = true;
            ++gFailures;
            return nullptr;
        }
        long long grown = capacity_ < 256 ? 256 : capacity_ * 2;
        if (grown < size_ + n + 1) grown = size_ + n + 1;
        auto* block = static_cast<char*>(OBLibAllocate(static_cast<std::size_t>(grown)));
        if (!block) {
            failed_ = true;
            refused_ = size_ + n + 1;
            ++gFailures;
            return nullptr;
        }
        if (size_ > 0) std::memcpy(block, data_, static_cast<std::size_t>(size_));
        OBLibFree(data_);
        data_ = block;
        capacity_ = grown;
    }
    return data_ + size_;
}

void Utf8Text::AppendGrowing(const char* text, long long n) {
    if (n <= 0 || !text) return;
    char* out = Reserve(n);
    if (!out) return;
    std::memmove(out, text, static_cast<std::size_t>(n));
    Commit(n);
}

void Utf8Text::AppendUtf16(const unsigned short* units, long long n) {
    // In blocks: each unit takes at most 3 bytes, a pair 4 for its 2 units
    // (the last pair of a block may take one unit beyond it).
    constexpr long long kBlock = 4096;
    for (long long i = 0; units && i < n;) {
        long long end = n - i > kBlock ? i + kBlock : n;
        char* out = Reserve(3 * (end - i) + 1);
        if (!out) return;
        char* start = out;
        while (i < end)
            i += PutUtf8(units, n, i, out);
        Commit(out - start);
    }
}

// As "%lld" writes it; ids and counts go by often enough for snprintf's cost to show.
void Utf8Text::AppendNumber(long long n) {
    char digits[24];
    char* end = digits + sizeof digits;
    char* p = end;
    // The magnitude as unsigned: the smallest long long has no positive.
    unsigned long long magnitude =
        n < 0 ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (n < 0) *--p = '-';
    Append(p, end - p);
}

// AppendReal for the usual lengths and ratios: a few decimals of a value
// well away from a tie between two roundings, where rounding the scaled
// value gives the digits the exact one does.
bool Utf8Text::AppendShortReal(double value, int decimals) {
    static const double kScale[] = {1, 10, 100, 1000};
    if (decimals < 0 || decimals > 3 || !(std::fabs(value) < 1e9)) return false;
    double scaled = value * kScale[decimals];
    double rounded = std::nearbyint(scaled);
    if (std::fabs(std::fabs(scaled - rounded) - 0.5) < 1e-3) return false;
    auto whole = static_cast<long long>(std::fabs(rounded));
    char digits[32];
    char* end = digits + sizeof digits;
    char* p = end;
    int places = decimals;
    while (places > 0 && whole % 10 == 0) // trailing zeros go
        whole /= 10, --places;
    for (int k = 0; k < places; ++k, whole /= 10)
        *--p = static_cast<char>('0' + whole % 10);
    if (places > 0) *--p = '.';
    do {
        *--p = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole > 0);
    if (rounded < 0) *--p = '-';
    Append(p, end - p);
    return true;
}

void Utf8Text::AppendReal(double value, int decimals) {
    if (!std::isfinite(value) || std::fabs(value) > 1e15) {
        Append("0");
        return;
    }
    if (AppendShortReal(value, decimals)) return;
    char digits[48];
    // As printf's "%.*f" writes it, without its cost.
    std::to_chars_result written = std::to_chars(digits, digits + sizeof digits - 1, value,
                                                 std::chars_format::fixed, decimals);
    int length = written.ec == std::errc() ? static_cast<int>(written.ptr - digits) : 0;
    digits[length] = '\0';
    if (std::strchr(digits, '.')) {
        while (length > 0 && digits[length - 1] == '0')
            --length;
        if (length > 0 && digits[length - 1] == '.') --length;
    }
    if (length == 2 && digits[0] == '-' && digits[1] == '0') {
        digits[0] = '0';
        length = 1;
    }
    Append(digits, length);
}

bool Utf8Text::Equals(const char* text) const {
    long long n = static_cast<long long>(std::strlen(text));
    return n == Size() && std::memcmp(Data(), text, static_cast<std::size_t>(n)) == 0;
}

// ---- IdTable ----------------------------------------------------------------------

Element* IdTable::Find(unsigned id, bool* known) {
    if (last_ >= 0 && entries_[last_].id == id) {
        if (known) *known = true;
        return entries_[last_].element;
    }
    if (known) *known = false;
    if (!sorted_) {
        // Readers mostly add in id order: then there is nothing to sort.
        const Entry* begin = entries_.IsEmpty() ? nullptr : &entries_[0];
        bool inOrder = std::is_sorted(begin, begin + entries_.Count(),
                                      [](const Entry& a, const Entry& b) { return a.id < b.id; });
        if (entries_.Count() > 1 && !inOrder)
            std::stable_sort(&entries_[0], &entries_[0] + entries_.Count(),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; });
        sorted_ = true;
    }
    if (entries_.IsEmpty()) return nullptr;
    const Entry* first = &entries_[0];
    const Entry* last = first + entries_.Count();
    const Entry* found =
        std::lower_bound(first, last, id, [](const Entry& a, unsigned b) { return a.id < b; });
    if (found == last || found->id != id) return nullptr;
    if (known) *known = true;
    last_ = static_cast<int>(found - first);
    return found->element;
}

CharacterValueList::CharacterValueList(const AN::AttrNameEnum* attrs, int count) : count_(count) {
    std::fill(slots_, slots_ + kAttrs, 0xFF);
    for (int k = count - 1; k >= 0; --k)
        if (attrs[k] >= 0 && attrs[k] < kAttrs) slots_[attrs[k]] = static_cast<unsigned char>(k);
}

bool CharacterValueList::ReadStored(OBMCharacterAttributes* source, Value** out) const {
    if (!source || typeid(*source) != typeid(OBStoredCharacterAttributes)) return false;
    // Its accessors hand out the value stored at index 0 of their attribute.
    const OBAttributeStore& store = *static_cast<OBStoredCharacterAttributes*>(source);
    std::fill(out, out + count_, nullptr);
    AN::AttrNameEnum attr = AN::kUndefined;
    int index = 0;
    for (int n = 0, values = store.Count(); n < values; ++n) {
        Value* v = store.Nth(n, attr, index);
        if (index == 0 && attr >= 0 && attr < kAttrs && slots_[attr] != 0xFF && !out[slots_[attr]])
            out[slots_[attr]] = v;
    }
    return true;
}

} // namespace obwalk
