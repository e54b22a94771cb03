#include <ombra/memory.h>
#include <ombra/strings.h>

#include "text/StringData.h"

#include <cstdio>
#include <cstring>
#include <locale>
#include <new>
#include <strings.h>

using namespace ombra_detail;

std::atomic<WSE::WritingScriptEnum> COBString::gOBSystemSciptID{WSE::kSystemScript};

namespace {

WSE::WritingScriptEnum Resolve(WSE::WritingScriptEnum script) {
    return script == WSE::kSystemScript ? COBString::OBGetSystemScript() : script;
}

// 8-bit text of another string, in the script `script`: UTF-16 text is
// translated into it, 8-bit text is taken up to its NUL.
class NarrowText {
public:
    NarrowText(const IOBString& s, WSE::WritingScriptEnum script) : converted_(script) {
        if (s.IsUnicode() == 1) {
            converted_.SetWAsCString(s.GrabWString());
            text_ = static_cast<const COBString&>(converted_).GrabCString();
            length_ = converted_.Length();
        } else {
            text_ = s.GrabCString();
            length_ = static_cast<long long>(std::strlen(text_));
        }
    }
    const char* Text() const { return text_; }
    long long Length() const { return length_; }

private:
    COBString converted_;
    const char* text_;
    long long length_;
};

} // namespace

COBString::COBString(WSE::WritingScriptEnum script)
    : data_(new COBStringData), script_(Resolve(script)) {}

COBString::COBString(const char* text, WSE::WritingScriptEnum script)
    : data_(new COBStringData), script_(Resolve(script)) {
    // A fresh storage block has no rendering to drop.
    if (text && Ready()) data_->text.Assign(text, static_cast<long long>(std::strlen(text)));
}

COBString::COBString(const COBString& other)
    : IOBString(), data_(new COBStringData), script_(other.script_) {
    ReplaceBytes(other.GrabCString(), other.Length());
}

// The storage block right behind the object, in the same allocation:
// copies that live on the heap take one request to the memory service,
// not two; deleting the object frees both.
COBString::COBString(COBStringData* inside, WSE::WritingScriptEnum script)
    : data_(inside), script_(script), dataInside_(true) {}

COBString* COBString::CopyInto(void* block, const COBString& other) {
    static_assert(sizeof(COBString) % alignof(COBStringData) == 0, "the block follows the object");
    auto* data = new (static_cast<char*>(block) + sizeof(COBString)) COBStringData;
    COBString* copy = new (block) COBString(data, other.script_);
    if (other.data_ && !data->text.Assign(other.data_->text.Text(), other.data_->text.Length())) {
        copy->~COBString();
        return nullptr;
    }
    return copy;
}

COBString* COBString::NewCopy(const COBString& other) {
    void* block = OBLibAllocate(sizeof(COBString) + sizeof(COBStringData));
    COBString* copy = block ? CopyInto(block, other) : nullptr;
    if (!copy) OBLibFree(block);
    return copy;
}

COBString::~COBString() {
    if (dataInside_) {
        data_->~COBStringData();
    } else {
        delete data_;
    }
}

COBString& COBString::operator=(const COBString& other) {
    if (&other != this && ReplaceBytes(other.GrabCString(), other.Length()))
        script_ = other.script_;
    return *this;
}

COBString& COBString::operator=(const char* text) {
    SetCString(text);
    return *this;
}

// ---- Storage ---------------------------------------------------------------

bool COBString::Ready() {
    if (!data_) data_ = new COBStringData;
    return data_ != nullptr;
}

void COBString::Changed() {
    data_->DropRendering();
}

bool COBString::ReplaceBytes(const char* text, long long n) {
    if (!Ready() || !data_->text.Assign(text, n)) return false;
    Changed();
    return true;
}

bool COBString::AppendBytes(const char* text, long long n) {
    if (n <= 0) return true;
    if (!Ready() || !data_->text.Append(text, n)) return false;
    Changed();
    return true;
}

bool COBString::InsertBytes(const char* text, long long n, long long pos) {
    if (pos < 0) ThrowInvalidPosition();
    if (!text || n <= 0) return true;
    if (pos > Length()) pos = Length();
    if (!Ready() || !data_->text.Insert(pos, text, n)) return false;
    Changed();
    return true;
}

// ---- Setting and reading the text -----------------------------------------

unsigned char COBString::IsUnicode() const {
    return 0;
}

void COBString::SetCString(const char* text) {
    if (text) ReplaceBytes(text, static_cast<long long>(std::strlen(text)));
}

void COBString::SetWString(const unsigned short* text) {
    if (text && text[0]) SetXString(text, TerminatedLength(text));
}

void COBString::SetXString(const unsigned short* text, long long n) {
    if (!text || n <= 0 || n > LLONG_MAX / 4) return;
    long long capacity = 2 * n + 1;
    ScopedBuffer<char> bytes(capacity + 1);
    if (!bytes.Get()) return;
    long long produced = UnitsToBytes(text, n, bytes.Get(), capacity, script_);
    if (produced > 0) ReplaceBytes(bytes.Get(), produced);
}

void COBString::SetXString(const char* text, long long n) {
    if (n <= 0) {
        Clear();
        return;
    }
    if (text) ReplaceBytes(text, n);
}

void COBString::SetPString(const unsigned char* p) {
    if (p) SetXString(reinterpret_cast<const char*>(p + 1), p[0]);
}

void COBString::SetHexChar(unsigned char b) {
    char c = static_cast<char>(b);
    ReplaceBytes(&c, 1);
}

void COBString::SetWAsCString(const unsigned short* text) {
    SetXString(text, TerminatedLength(text));
}

const char* COBString::GrabCString() const {
    return data_ ? data_->text.Text() : TextBuffer<char>::Empty();
}

char* COBString::GrabCString() {
    static char empty[1];
    if (!Ready() || !data_->text.EnsureBuffer()) {
        empty[0] = '\0';
        return empty;
    }
    data_->wideStale = true;
    return data_->text.Data();
}

const unsigned short* COBString::GrabWString() const {
    return GrabAsWString();
}

const unsigned short* COBString::GrabAsWString() const {
    long long n = Length();
    if (n == 0 || n > LLONG_MAX / 4) return TextBuffer<unsigned short>::Empty();
    if (data_->wide && !data_->wideStale) return data_->wide;
    ScopedBuffer<unsigned short> units(n + 1);
    if (!units.Get()) return TextBuffer<unsigned short>::Empty();
    long long produced = BytesToUnits(data_->text.Text(), n, units.Get(), n, script_);
    // A failed translation is not kept: a later call may have a service.
    if (produced == 0) return TextBuffer<unsigned short>::Empty();
    units.Get()[produced] = 0;
    // After write access the old rendering stays when the text did not
    // change, so that pointers to it remain valid.
    if (!data_->wide || !SameUnits(data_->wide, units.Get(), produced + 1)) {
        data_->DropRendering();
        data_->wide = units.Release();
    }
    data_->wideStale = false;
    return data_->wide;
}

int COBString::GetAsNumber(ConversionError* error) const {
    return ParseNumber(GrabCString(), error);
}

double COBString::GetAsDouble(ConversionError* error) const {
    return ParseDouble(GrabCString(), error);
}

void COBString::Clear() {
    if (!data_) return;
    data_->text.Clear();
    Changed();
}

long long COBString::Length() const {
    return data_ ? data_->text.Length() : 0;
}

bool COBString::IsNull() const {
    return Length() == 0;
}

void COBString::GetCString(char* buf, long long size) const {
    long long n = Length();
    if (!buf || n + 1 > size) return;
    std::memcpy(buf, GrabCString(), static_cast<std::size_t>(n));
    buf[n] = '\0';
}

void COBString::GetPString(unsigned char* buf, long long size) const {
    long long n = Length();
    if (!buf || n + 1 > size) return;
    long long shown = std::min(n, 255LL);
    buf[0] = static_cast<unsigned char>(shown);
    std::memcpy(buf + 1, GrabCString(), static_cast<std::size_t>(shown));
}

char COBString::GetChar(long long i) const {
    if (i < 0 || i >= Length()) ThrowInvalidPosition();
    return GrabCString()[i];
}

unsigned char COBString::operator[](long long i) const {
    return static_cast<unsigned char>(GetChar(i));
}

WSE::WritingScriptEnum COBString::GetWSEScript() const {
    return script_;
}

void COBString::SetScript(WSE::WritingScriptEnum script) {
    if (script == script_) return;
    script_ = script;
    if (data_) Changed(); // the rendering was made from the old script
}

WSE::WritingScriptEnum COBString::OBGetSystemScript() {
    return gOBSystemSciptID.load();
}

void COBString::OBSetSystemScript(WSE::WritingScriptEnum script) {
    gOBSystemSciptID.store(script);
}

// ---- Editing ---------------------------------------------------------------

void COBString::Remove(long long pos, long long count) {
    long long n = RemovalCount(pos, count, Length());
    if (n == 0) return;
    data_->text.Erase(pos, n);
    Changed();
}

void COBString::Truncate(long long n) {
    if (n < 0) ThrowInvalidPosition();
    long long length = Length();
    Remove(n >= length ? 0 : length - n, -1);
}

void COBString::Append(unsigned short u) {
    AppendWAsCString(&u, 1);
}

void COBString::Append(char c) {
    AppendBytes(&c, 1);
}

void COBString::Append(const unsigned short* text, long long n) {
    AppendWAsCString(text, n);
}

void COBString::Append(const char* text, long long n) {
    if (!text) return;
    if (n == kUpToTerminator) n = static_cast<long long>(std::strlen(text));
    AppendBytes(text, n);
}

void COBString::Append(const IOBString& s, long long n) {
    long long count = std::min(n, s.Length());
    if (count <= 0) return;
    if (s.IsUnicode() == 1)
        AppendWAsCString(s.GrabWString(), count);
    else
        AppendBytes(s.GrabCString(), count);
}

void COBString::AppendNumber(int value) {
    char digits[13];
    std::snprintf(digits, sizeof digits, "%i", value);
    AppendBytes(digits, static_cast<long long>(std::strlen(digits)));
}

void COBString::AppendDouble(double value) {
    char digits[39]; // longer renderings are cut after 38 characters
    std::snprintf(digits, sizeof digits, "%f", value);
    AppendBytes(digits, static_cast<long long>(std::strlen(digits)));
}

void COBString::AppendWAsCString(const unsigned short* text, long long n) {
    long long count = TerminatedLength(text, n);
    if (count <= 0 || count > LLONG_MAX / 4) return;
    long long capacity = 2 * count + 1;
    ScopedBuffer<char> bytes(capacity + 1);
    if (!bytes.Get()) return;
    long long produced = UnitsToBytes(text, count, bytes.Get(), capacity, script_);
    AppendBytes(bytes.Get(), produced);
}

void COBString::Insert(char c, long long pos) {
    InsertBytes(&c, 1, pos);
}

void COBString::Insert(const COBString& s, long long pos, long long count) {
    InsertBytes(s.GrabCString(), std::min(count, s.Length()), pos);
}

void COBString::Insert(const char* text, long long count, long long pos) {
    if (text && count == kUpToTerminator) count = static_cast<long long>(std::strlen(text));
    InsertBytes(text, count, pos);
}

void COBString::StripWhiteSpace(WhitespaceType type) {
    long long length = Length();
    if (length == 0) return;
    const char* text = data_->text.Text();
    long long leading = 0;
    while (leading < length && text[leading] == ' ')
        ++leading;
    long long trailing = 0;
    while (trailing < length && text[length - 1 - trailing] == ' ')
        ++trailing;
    switch (type) {
    case kLeadingWhitespace:
        Remove(0, leading);
        break;
    case kTrailingWhitespace:
        Remove(length - trailing, -1);
        break;
    case kLeadingAndTrailingWhitespace:
        if (leading == length) {
            Clear();
        } else {
            Remove(length - trailing, -1);
            Remove(0, leading);
        }
        break;
    case kAllWhitespace: {
        char* bytes = data_->text.Data();
        long long kept = 0;
        for (long long i = 0; i < length; ++i)
            if (bytes[i] != ' ') bytes[kept++] = bytes[i];
        if (kept != length) {
            data_->text.Erase(kept, length - kept);
            Changed();
        }
        break;
    }
    }
}

void COBString::ToUpper() {
    long long n = Length();
    if (n == 0) return;
    char* bytes = data_->text.Data();
    std::use_facet<std::ctype<char>>(std::locale()).toupper(bytes, bytes + n);
    Changed();
}

void COBString::ToLower() {
    long long n = Length();
    if (n == 0) return;
    char* bytes = data_->text.Data();
    std::use_facet<std::ctype<char>>(std::locale()).tolower(bytes, bytes + n);
    Changed();
}

// ---- Searching and comparing ----------------------------------------------

bool COBString::Contains(const IOBString& s, long long from) const {
    return IndexOfString(s, from) != -1;
}

bool COBString::Contains(const COBString& s, long long from) const {
    return IndexOfString(s, from) != -1;
}

long long COBString::IndexOfString(const IOBString& s, long long from) const {
    NarrowText needle(s, script_);
    return Find(GrabCString(), Length(), needle.Text(), needle.Length(), from);
}

long long COBString::IndexOfString(const char* text, long long from) const {
    if (!text) return -1;
    return Find(GrabCString(), Length(), text, static_cast<long long>(std::strlen(text)), from);
}

long long COBString::IndexOfCharacter(unsigned char c, long long from) const {
    long long length = Length();
    if (from < 0) from = 0;
    if (from >= length) return -1;
    const char* text = GrabCString();
    const void* at = std::memchr(text + from, c, static_cast<std::size_t>(length - from));
    return at ? static_cast<const char*>(at) - text : -1;
}

long long COBString::LastIndexOfString(const COBString& s, long long from) const {
    return FindLast(GrabCString(), Length(), s.GrabCString(),
                    static_cast<long long>(std::strlen(s.GrabCString())), from);
}

long long COBString::LastIndexOfCharacter(unsigned char c) const {
    const char* text = GrabCString();
    for (long long i = Length() - 1; i >= 0; --i)
        if (static_cast<unsigned char>(text[i]) == c) return i;
    return -1;
}

COBString* COBString::Substring(long long start, long long count) const {
    long long n = SubstringCount(start, count, Length());
    if (n < 0) return nullptr;
    COBString* sub = new COBString(WSE::kSystemScript);
    if (sub && !sub->ReplaceBytes(GrabCString() + start, n)) {
        delete sub;
        sub = nullptr;
    }
    return sub;
}

int COBString::Compare(bool caseSensitive, const IOBString& s) const {
    NarrowText other(s, script_);
    return Compare(caseSensitive, other.Text());
}

int COBString::Compare(bool caseSensitive, const char* text) const {
    if (!text) text = "";
    if (caseSensitive) return OBStrcmp(GrabCString(), text);
    return ::strcasecmp(GrabCString(), text);
}

bool COBString::operator==(const IOBString& s) const {
    if (s.IsUnicode() == 1 || s.Length() != Length()) return false;
    if (const COBString* other = dynamic_cast<const COBString*>(&s)) {
        if (other->script_ != script_ && other->script_ != WSE::kSystemScript &&
            script_ != WSE::kSystemScript)
            return false;
    }
    return std::strcmp(GrabCString(), s.GrabCString()) == 0;
}

bool COBString::operator==(const char* text) const {
    return std::strcmp(GrabCString(), text ? text : "") == 0;
}

bool COBString::operator!=(const COBString& s) const {
    return !(*this == static_cast<const IOBString&>(s));
}

IOBString& COBString::operator=(const IOBString& s) {
    if (&s == this) return *this;
    if (s.IsUnicode() == 1) {
        if (s.Length() == 0)
            Clear();
        else
            SetWAsCString(s.GrabWString());
        return *this;
    }
    const char* text = s.GrabCString();
    if (ReplaceBytes(text, static_cast<long long>(std::strlen(text)))) {
        if (const COBString* other = dynamic_cast<const COBString*>(&s)) script_ = other->script_;
    }
    return *this;
}

COBString& COBString::operator+(const COBString& s) {
    return *this += s;
}

COBString& COBString::operator+=(const COBString& s) {
    const char* text = s.GrabCString();
    AppendBytes(text, static_cast<long long>(std::strlen(text)));
    return *this;
}

bool COBString::operator<(const COBString& s) const {
    return OBStrcmp(GrabCString(), s.GrabCString()) < 0;
}

bool COBString::operator>(const COBString& s) const {
    return OBStrcmp(GrabCString(), s.GrabCString()) > 0;
}

bool COBString::operator<=(const COBString& s) const {
    return !(*this > s);
}

bool COBString::operator>=(const COBString& s) const {
    return !(*this < s);
}

IOBString* COBString::Clone() const {
    return NewCopy(*this);
}
