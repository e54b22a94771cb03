#include <ombra/utf16.h>
#include <ombra/memory.h>
#include <ombra/strings.h>

#include "text/StringData.h"

#include <array>
#include <cstring>
#include <cwctype>

#include <boost/lexical_cast.hpp>

using namespace ombra_detail;

namespace {

using OBUTF16::IsSurrogate;

unsigned short UpperUnit(unsigned short u) {
    if (IsSurrogate(u)) return u;
    std::wint_t mapped = std::towupper(static_cast<std::wint_t>(u));
    return mapped <= 0xFFFF ? static_cast<unsigned short>(mapped) : u;
}

unsigned short LowerUnit(unsigned short u) {
    if (IsSurrogate(u)) return u;
    std::wint_t mapped = std::towlower(static_cast<std::wint_t>(u));
    return mapped <= 0xFFFF ? static_cast<unsigned short>(mapped) : u;
}

unsigned short Widen(char c) {
    return static_cast<unsigned short>(static_cast<short>(static_cast<signed char>(c)));
}

WSE::WritingScriptEnum ScriptOf(const IOBString& s) {
    const COBString* c = dynamic_cast<const COBString*>(&s);
    return c ? c->GetWSEScript() : WSE::kSystemScript;
}

} // namespace

WOBString::WOBString() : data_(new WOBStringData) {}

WOBString::WOBString(const unsigned short* text) : data_(new WOBStringData) {
    if (text) ReplaceUnits(text, TerminatedLength(text));
}

WOBString::WOBString(const unsigned short* text, long long n) : data_(new WOBStringData) {
    if (text && n > 0) ReplaceUnits(text, n);
}

WOBString::WOBString(const char* text) : data_(new WOBStringData) {
    SetCString(text);
}

WOBString::WOBString(const WOBString& other) : IOBString(), data_(new WOBStringData) {
    const unsigned short* units = other.GrabWString();
    ReplaceUnits(units, TerminatedLength(units, other.Length()));
}

WOBString::WOBString(WOBStringData* inside) : data_(inside) {}

WOBString* WOBString::EmptyInto(void* block) {
    static_assert(sizeof(WOBString) % alignof(WOBStringData) == 0, "the block follows the object");
    auto* data = new (static_cast<char*>(block) + sizeof(WOBString)) WOBStringData;
    data->inside = true;
    return new (block) WOBString(data);
}

WOBString::~WOBString() {
    if (data_ && data_->inside)
        data_->~WOBStringData();
    else
        delete data_;
}

WOBString& WOBString::operator=(const WOBString& other) {
    if (&other != this) {
        const unsigned short* units = other.GrabWString();
        ReplaceUnits(units, TerminatedLength(units, other.Length()));
    }
    return *this;
}

// ---- Storage ---------------------------------------------------------------

bool WOBString::Ready() {
    if (!data_) data_ = new WOBStringData;
    return data_ != nullptr;
}

void WOBString::Changed() {
    data_->DropRendering();
}

bool WOBString::ReplaceUnits(const unsigned short* text, long long n) {
    if (!Ready() || !data_->text.Assign(text, n)) return false;
    Changed();
    return true;
}

bool WOBString::AppendUnits(const unsigned short* text, long long n) {
    if (!text || n <= 0) return true;
    if (!Ready() || !data_->text.Append(text, n)) return false;
    Changed();
    return true;
}

bool WOBString::InsertUnits(const unsigned short* text, long long n, long long pos) {
    if (pos < 0) ThrowInvalidPosition();
    if (!text || n <= 0) return true;
    if (pos > Length()) pos = Length();
    if (!Ready() || !data_->text.Insert(pos, text, n)) return false;
    Changed();
    return true;
}

// ---- Setting and reading the text -----------------------------------------

unsigned char WOBString::IsUnicode() const {
    return 1;
}

void WOBString::SetCString(const char* text) {
    if (text && text[0]) SetXString(text, static_cast<long long>(std::strlen(text)));
}

void WOBString::SetWString(const unsigned short* text) {
    if (text) ReplaceUnits(text, TerminatedLength(text));
}

void WOBString::SetXString(const unsigned short* text, long long n) {
    if (n <= 0) {
        Clear();
        return;
    }
    if (text) ReplaceUnits(text, n);
}

void WOBString::SetXString(const char* text, long long n) {
    if (!text || n <= 0 || n >= LLONG_MAX / 2) return;
    ScopedBuffer<unsigned short> units(n + 1);
    if (!units.Get()) return;
    long long produced = BytesToUnits(text, n, units.Get(), n, WSE::kSystemScript);
    if (produced > 0) ReplaceUnits(units.Get(), TerminatedLength(units.Get(), produced));
}

void WOBString::SetCAsWString(const char* text) {
    if (text) SetXString(text, static_cast<long long>(std::strlen(text)));
}

void WOBString::SetHexChar(unsigned char b) {
    char c = static_cast<char>(b);
    SetXString(&c, 1);
}

void WOBString::SetX16String(unsigned short u) {
    ReplaceUnits(&u, 1);
}

void WOBString::SetX16String(const unsigned short* text, long long n) {
    SetXString(text, n);
}

const char* WOBString::GrabCString() const {
    return GrabAsCString(WSE::kSystemScript, CPGE::kCodePageFromScript);
}

const unsigned short* WOBString::GrabWString() const {
    return data_ ? data_->text.Text() : TextBuffer<unsigned short>::Empty();
}

const char* WOBString::GrabAsCString(WSE::WritingScriptEnum script,
                                     CPGE::CodePageEnum codePage) const {
    long long n = Length();
    if (n == 0 || n > LLONG_MAX / 4) return TextBuffer<char>::Empty();
    if (data_->narrow && !data_->narrowStale) return data_->narrow;
    long long capacity = 2 * n + 1;
    ScopedBuffer<char> bytes(capacity + 1);
    if (!bytes.Get()) return TextBuffer<char>::Empty();
    long long produced =
        UnitsToBytes(data_->text.Text(), n, bytes.Get(), capacity, script, codePage);
    // A failed translation is not kept: a later call may have a service.
    if (produced == 0) return TextBuffer<char>::Empty();
    bytes.Get()[produced] = '\0';
    // After write access the old rendering stays when it did not change,
    // so that pointers to it remain valid.
    if (!data_->narrow || !SameUnits(data_->narrow, bytes.Get(), produced + 1)) {
        data_->DropRendering();
        data_->narrow = bytes.Release();
    }
    data_->narrowStale = false;
    return data_->narrow;
}

int WOBString::GetAsNumber(ConversionError* error) const {
    return ParseNumber(GrabAsCString(WSE::kSystemScript, CPGE::kCodePageFromScript), error);
}

double WOBString::GetAsDouble(ConversionError* error) const {
    return ParseDouble(GrabAsCString(WSE::kSystemScript, CPGE::kCodePageFromScript), error);
}

void WOBString::Clear() {
    if (!data_) return;
    data_->text.Clear();
    Changed();
}

long long WOBString::Length() const {
    return data_ ? data_->text.Length() : 0;
}

bool WOBString::IsNull() const {
    return Length() == 0;
}

unsigned short WOBString::GetChar(long long i) const {
    if (i < 0 || i >= Length()) ThrowInvalidPosition();
    return GrabWString()[i];
}

unsigned short WOBString::operator[](long long i) const {
    return GetChar(i);
}

unsigned short& WOBString::operator[](long long i) {
    if (i < 0 || i >= Length()) ThrowInvalidPosition();
    data_->narrowStale = true; // the caller may write through the reference
    return data_->text.Data()[i];
}

// ---- Editing ---------------------------------------------------------------

void WOBString::Remove(long long pos, long long count) {
    long long n = RemovalCount(pos, count, Length());
    if (n == 0) return;
    data_->text.Erase(pos, n);
    Changed();
}

void WOBString::Truncate(long long n) {
    if (n < 0) ThrowInvalidPosition();
    long long length = Length();
    Remove(n >= length ? 0 : length - n, -1);
}

void WOBString::Append(unsigned short u) {
    AppendUnits(&u, 1);
}

void WOBString::Append(char c) {
    unsigned short u = Widen(c);
    AppendUnits(&u, 1);
}

void WOBString::Append(const unsigned short* text, long long n) {
    if (text && n == kUpToTerminator) n = TerminatedLength(text);
    AppendUnits(text, n);
}

void WOBString::Append(const char* text, long long n) {
    AppendTranslate(text, n, WSE::kSystemScript);
}

void WOBString::Append(const IOBString& s, long long n) {
    long long count = std::min(n, s.Length());
    if (count <= 0) return;
    if (s.IsUnicode() == 1)
        AppendUnits(s.GrabWString(), count);
    else
        AppendTranslate(s.GrabCString(), count, ScriptOf(s));
}

void WOBString::AppendNumber(int value) {
    std::array<char, 16> digits{};
    if (boost::conversion::try_lexical_convert(value, digits))
        AppendTranslate(digits.data(), kUpToTerminator, WSE::kSystemScript);
}

void WOBString::AppendDouble(double value) {
    std::array<char, 40> digits{};
    if (boost::conversion::try_lexical_convert(value, digits))
        AppendTranslate(digits.data(), kUpToTerminator, WSE::kSystemScript);
}

void WOBString::AppendTranslate(const char* text, long long n, WSE::WritingScriptEnum script) {
    if (!text) return;
    if (n == kUpToTerminator) n = static_cast<long long>(std::strlen(text));
    if (n <= 0 || n >= LLONG_MAX / 2) return;
    ScopedBuffer<unsigned short> units(n + 1);
    if (!units.Get()) return;
    long long produced = BytesToUnits(text, n, units.Get(), n, script);
    AppendUnits(units.Get(), produced);
}

void WOBString::Insert(char c, long long pos) {
    unsigned short u = Widen(c);
    InsertUnits(&u, 1, pos);
}

void WOBString::Insert(WOBString& s, long long pos, long long count) {
    InsertUnits(s.GrabWString(), std::min(count, s.Length()), pos);
}

void WOBString::Insert(const unsigned short* text, long long count, long long pos) {
    if (text && count == kUpToTerminator) count = TerminatedLength(text);
    InsertUnits(text, count, pos);
}

void WOBString::Insert(unsigned short u, long long pos) {
    InsertUnits(&u, 1, pos);
}

void WOBString::ToUpper() {
    long long n = Length();
    if (n == 0) return;
    unsigned short* units = data_->text.Data();
    for (long long i = 0; i < n; ++i)
        units[i] = UpperUnit(units[i]);
    Changed();
}

void WOBString::ToLower() {
    long long n = Length();
    if (n == 0) return;
    unsigned short* units = data_->text.Data();
    for (long long i = 0; i < n; ++i)
        units[i] = LowerUnit(units[i]);
    Changed();
}

// ---- Searching and comparing ----------------------------------------------

bool WOBString::Contains(const IOBString& s, long long from) const {
    return IndexOfString(s, from) != -1;
}

bool WOBString::Contains(const WOBString& s, long long from) const {
    return IndexOfString(s, from) != -1;
}

long long WOBString::IndexOfString(const IOBString& s, long long from) const {
    const unsigned short* needle = s.GrabWString();
    return Find(GrabWString(), Length(), needle, TerminatedLength(needle), from);
}

long long WOBString::IndexOfCharacter(unsigned short u, long long from) const {
    long long length = Length();
    if (from < 0) from = 0;
    const unsigned short* units = GrabWString();
    for (long long i = from; i < length; ++i)
        if (units[i] == u) return i;
    return -1;
}

long long WOBString::LastIndexOfString(const WOBString& s, long long from) const {
    const unsigned short* needle = s.GrabWString();
    return FindLast(GrabWString(), Length(), needle, TerminatedLength(needle), from);
}

long long WOBString::LastIndexOfCharacter(unsigned short u) const {
    const unsigned short* units = GrabWString();
    for (long long i = Length() - 1; i >= 0; --i)
        if (units[i] == u) return i;
    return -1;
}

WOBString* WOBString::Substring(long long start, long long count) const {
    long long n = SubstringCount(start, count, Length());
    if (n < 0) return nullptr;
    WOBString* sub = new WOBString;
    if (sub && !sub->ReplaceUnits(GrabWString() + start, n)) {
        delete sub;
        sub = nullptr;
    }
    return sub;
}

int WOBString::Compare(bool caseSensitive, const IOBString& s) const {
    const unsigned short* a = GrabWString();
    const unsigned short* b = s.GrabWString();
    for (;; ++a, ++b) {
        unsigned short x = caseSensitive ? *a : LowerUnit(*a);
        unsigned short y = caseSensitive ? *b : LowerUnit(*b);
        if (x != y) {
            if (caseSensitive) return x < y ? -1 : 1;
            return static_cast<int>(x) - static_cast<int>(y);
        }
        if (x == 0) return 0;
    }
}

bool WOBString::operator==(const IOBString& s) const {
    if (s.IsUnicode() != 1) return false;
    const unsigned short* other = s.GrabWString();
    long long n = Length();
    if (TerminatedLength(other, n + 1) != n) return false;
    return std::memcmp(GrabWString(), other,
                       static_cast<std::size_t>(n) * sizeof(unsigned short)) == 0;
}

bool WOBString::operator!=(const WOBString& s) const {
    return !(*this == static_cast<const IOBString&>(s));
}

IOBString& WOBString::operator=(const IOBString& s) {
    if (&s == this) return *this;
    const unsigned short* units = s.GrabWString();
    ReplaceUnits(units, TerminatedLength(units));
    return *this;
}

WOBString& WOBString::operator+(const WOBString& s) {
    return *this += s;
}

WOBString& WOBString::operator+=(const WOBString& s) {
    const unsigned short* units = s.GrabWString();
    AppendUnits(units, TerminatedLength(units, s.Length()));
    return *this;
}

bool WOBString::operator<(const WOBString& s) const {
    if (Length() != s.Length()) return Length() < s.Length();
    const unsigned short* a = GrabWString();
    const unsigned short* b = s.GrabWString();
    for (long long i = 0; i < Length(); ++i)
        if (a[i] != b[i]) return a[i] < b[i];
    return false;
}

bool WOBString::operator>(const WOBString& s) const {
    return s < *this;
}

bool WOBString::operator<=(const WOBString& s) const {
    return !(*this > s);
}

bool WOBString::operator>=(const WOBString& s) const {
    return !(*this < s);
}

IOBString* WOBString::Clone() const {
    WOBString* copy = new WOBString(GrabWString(), Length());
    if (copy && copy->Length() != Length()) {
        delete copy;
        copy = nullptr;
    }
    return copy;
}
