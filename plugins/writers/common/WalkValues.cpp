#include "WalkValues.h"

#include <ombra/utf16.h>
#include <ombra/memory.h>
#include <ombra/storedelements.h>
#include <ombra/utf8.h>
#include <ombra/views.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace obwalk {

bool GetInt(Element* e, AN::AttrNameEnum attr, long long& out) {
    Value* v = OBGetAttributeValue(e, attr);
    if (auto* i = dynamic_cast<ValueInteger32*>(v)) {
        int n = 0;
        i->Get(n);
        out = n;
        return true;
    }
    if (auto* i = dynamic_cast<ValueInteger64*>(v)) {
        long long n = 0;
        i->Get(n);
        out = n;
        return true;
    }
    if (auto* i = dynamic_cast<ValueInteger16*>(v)) {
        short n = 0;
        i->Get(n);
        out = n;
        return true;
    }
    return false;
}

bool GetId(Element* e, AN::AttrNameEnum attr, unsigned& out) {
    auto* id = dynamic_cast<ValueOBID*>(OBGetAttributeValue(e, attr));
    if (id) id->Get(out);
    return id != nullptr;
}

bool GetStoredId(Element* e, AN::AttrNameEnum attr, unsigned& out) {
    Value* v = OBGetAttributeValue(e, attr);
    if (!v)
        if (OBAttributeStore* store = OBGetAttributeStore(e)) v = store->Find(attr);
    auto* id = dynamic_cast<ValueOBID*>(v);
    if (id) id->Get(out);
    return id != nullptr;
}

bool GetFlag(Value* v, bool& out) {
    auto* flag = dynamic_cast<ValueBool16*>(v);
    if (!flag) return false;
    short n = 1;
    flag->Get(n);
    out = n != 0;
    return true;
}

bool GetLength(Value* v, UNITS::LINEAR::UnitEnum unit, double& out) {
    auto* length = dynamic_cast<ValueLength*>(v);
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
    auto* percent = dynamic_cast<ValuePercent*>(v);
    if (!percent) return false;
    OBReal ratio = std::nan("");
    percent->Get(ratio);
    if (!std::isfinite(ratio.Value())) return false;
    out = ratio.Value();
    return true;
}

bool GetEnum(Value* v, int& member) {
    auto* e = dynamic_cast<ValueEnumBase*>(v);
    if (e) member = e->GetMember();
    return e != nullptr;
}

bool GetText(Value* v, WOBString& out, int& script) {
    auto* s = dynamic_cast<ValueString*>(v);
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
    WOBString text;
    int script = -1;
    if (!GetText(v, text, script)) return false;
    out.AppendUtf16(text.GrabWString(), text.Length());
    return true;
}

bool GetRect(Element* e, AN::AttrNameEnum attr, OBRect& out) {
    auto* rect = dynamic_cast<ValueRectangle*>(OBGetAttributeValue(e, attr));
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

void Utf8Text::Append(const char* text, long long n) {
    if (n <= 0 || !text) return;
    if (size_ + n + 1 > capacity_) { // room for the NUL after the text
        if (n > (1LL << 40) || size_ > (1LL << 40)) {
            failed_ = true;
            ++gFailures;
            return;
        }
        long long grown = capacity_ < 256 ? 256 : capacity_ * 2;
        if (grown < size_ + n + 1) grown = size_ + n + 1;
        auto* block = static_cast<char*>(OBLibAllocate(static_cast<std::size_t>(grown)));
        if (!block) {
            failed_ = true;
            ++gFailures;
            return;
        }
        if (size_ > 0) std::memcpy(block, data_, static_cast<std::size_t>(size_));
        OBLibFree(data_);
        data_ = block;
        capacity_ = grown;
    }
    std::memmove(data_ + size_, text, static_cast<std::size_t>(n));
    size_ += n;
    data_[size_] = 0;
}

void Utf8Text::Append(const char* text) {
    if (text) Append(text, static_cast<long long>(std::strlen(text)));
}

void Utf8Text::AppendUtf16(const unsigned short* units, long long n) {
    char buffer[256];
    int used = 0;
    for (long long i = 0; units && i < n; ++i) {
        int length = 1;
        unsigned c = OBUTF16::CodePointAt(units, n, i, length);
        i += length - 1;
        if (OBUTF16::IsSurrogate(c)) c = 0xFFFD;
        if (c < 0x80) {
            buffer[used++] = static_cast<char>(c);
        } else if (c < 0x800) {
            buffer[used++] = static_cast<char>(0xC0 | (c >> 6));
            buffer[used++] = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            buffer[used++] = static_cast<char>(0xE0 | (c >> 12));
            buffer[used++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            buffer[used++] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            buffer[used++] = static_cast<char>(0xF0 | (c >> 18));
            buffer[used++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            buffer[used++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            buffer[used++] = static_cast<char>(0x80 | (c & 0x3F));
        }
        if (used > static_cast<int>(sizeof buffer) - 4) {
            Append(buffer, used);
            used = 0;
        }
    }
    Append(buffer, used);
}

void Utf8Text::AppendNumber(long long n) {
    char digits[24];
    int length = std::snprintf(digits, sizeof digits, "%lld", n);
    Append(digits, length);
}

void Utf8Text::AppendReal(double value, int decimals) {
    if (!std::isfinite(value) || std::fabs(value) > 1e15) {
        Append("0");
        return;
    }
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
    if (known) *known = false;
    if (!sorted_) {
        if (entries_.Count() > 1)
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
    return found->element;
}

} // namespace obwalk
