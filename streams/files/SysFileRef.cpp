#include <ombra/utf16.h>
#include <ombra/files.h>
#include <ombra/utf8.h>

#include "streams/files/PathText.h"

#include <cstring>

namespace ombra_files {

namespace {

// The UTF-8 length of n UTF-16 units, or -1 when they hold an unpaired
// surrogate, which names no file.
long long Utf8Length(const unsigned short* units, long long n) {
    long long bytes = 0;
    for (long long i = 0; i < n;) {
        int length = 1;
        unsigned c = OBUTF16::CodePointAt(units, n, i, length);
        if (OBUTF16::IsSurrogate(c)) return -1;
        bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        i += length;
    }
    return bytes;
}

// Units as UTF-8 into out; false when they hold an unpaired surrogate or
// memory ran out before all of them converted.
bool ToUtf8(const unsigned short* units, long long n, COBString& out) {
    long long expected = Utf8Length(units, n);
    if (expected < 0) return false;
    OBStringUtils::ConvertUTF16StringToUTF8(units, static_cast<unsigned long long>(n), out);
    return out.Length() == expected;
}

// Appends n characters to s; false when memory ran out before all of them went in.
template <class S, class C> bool AppendWhole(S& s, const C* text, long long n) {
    long long before = s.Length();
    s.Append(text, n);
    return s.Length() == before + n;
}

} // namespace

bool AppendUtf8(WOBString& s, const char* text, long long n) {
    if (!text || n <= 0) return true;
    WOBString units;
    short whole =
        OBStringUtils::ConvertUTF8ToUTF16String(text, static_cast<unsigned long long>(n), units);
    return whole == 1 && AppendWhole(s, units.GrabWString(), units.Length());
}

bool AppendUnitsAsUtf8(COBString& s, const unsigned short* units, long long n) {
    if (!units || n <= 0 || Utf8Length(units, n) < 0) return true; // a surrogate: left out
    COBString bytes;
    return ToUtf8(units, n, bytes) && AppendWhole(s, bytes.GrabCString(), bytes.Length());
}

bool AppendPathText(IOBString& path, const IOBString& text) {
    if (path.IsUnicode() == 1) {
        WOBString& wide = static_cast<WOBString&>(path);
        if (text.IsUnicode() == 1) return AppendWhole(wide, text.GrabWString(), text.Length());
        const char* bytes = text.GrabCString();
        return AppendUtf8(wide, bytes, static_cast<long long>(std::strlen(bytes)));
    }
    COBString& narrow = static_cast<COBString&>(path);
    if (text.IsUnicode() == 1) return AppendUnitsAsUtf8(narrow, text.GrabWString(), text.Length());
    const char* bytes = text.GrabCString();
    return AppendWhole(narrow, bytes, static_cast<long long>(std::strlen(bytes)));
}

const char* ExtensionOf(const char* path) {
    if (!path) return "";
    const char* name = std::strrchr(path, '/');
    name = name ? name + 1 : path;
    const char* dot = std::strrchr(name, '.');
    return dot ? dot : name + std::strlen(name);
}

} // namespace ombra_files

using namespace ombra_files;

// ---- OBSysFileRef ------------------------------------------------------------

OBSysFileRef::OBSysFileRef() : path_(false) {}

OBSysFileRef::OBSysFileRef(const OBSysFileRef& other) : path_(other.path_) {}

OBSysFileRef::OBSysFileRef(OBSysFileRef&& other) noexcept : path_() {
    path_.Swap(other.path_);
}

OBSysFileRef::OBSysFileRef(const char* path) : path_(false) {
    if (path && *path && path_.IsValid()) path_->SetCString(path);
}

OBSysFileRef::OBSysFileRef(const unsigned short* path) : path_(true) {
    if (path && path_.IsValid()) path_->SetWString(path);
}

OBSysFileRef::~OBSysFileRef() = default;

OBSysFileRef& OBSysFileRef::operator=(const OBSysFileRef& other) {
    if (&other == this) return *this;
    if (!other.path_.IsValid()) {
        path_ = static_cast<const IOBString*>(nullptr);
    } else {
        path_ = other.path_;
    }
    return *this;
}

OBSysFileRef& OBSysFileRef::operator=(OBSysFileRef&& other) noexcept {
    if (&other != this) {
        IOBStringPtr gone;
        gone.Swap(other.path_);
        path_.Swap(gone);
    }
    return *this;
}

OBSysFileRef& OBSysFileRef::operator=(const IOBString& s) {
    path_.CopyString(s);
    return *this;
}

bool OBSysFileRef::operator==(const OBSysFileRef& other) const {
    return path_ == other.path_;
}

void OBSysFileRef::SetCString(const char* path) {
    path_.Init(false);
    if (path && *path && path_.IsValid()) path_->SetCString(path);
}

void OBSysFileRef::SetWString(const unsigned short* path) {
    path_.Init(true);
    if (path && *path && path_.IsValid()) path_->SetWString(path);
}

// A path that could not take the whole text (memory ran out, or the text
// does not convert) would name another file: it names none from then on.
void OBSysFileRef::Append(const char* text) {
    if (!text || !*text || !path_.IsValid()) return;
    long long n = static_cast<long long>(std::strlen(text));
    if (!(path_->IsUnicode() == 1 ? AppendUtf8(static_cast<WOBString&>(*path_), text, n)
                                  : AppendWhole(*path_, text, n)))
        path_ = static_cast<const IOBString*>(nullptr);
}

void OBSysFileRef::Append(const unsigned short* text) {
    if (!text || !*text || !path_.IsValid()) return;
    long long n = 0;
    while (text[n])
        ++n;
    if (!(path_->IsUnicode() == 1 ? AppendWhole(*path_, text, n)
                                  : AppendUnitsAsUtf8(static_cast<COBString&>(*path_), text, n)))
        path_ = static_cast<const IOBString*>(nullptr);
}

void OBSysFileRef::Append(const IOBString& text) {
    if (!path_.IsValid()) return;
    IOBStringPtr copy(&text == path_.GetPtr() ? text.Clone() : nullptr); // a path onto itself
    if ((&text == path_.GetPtr() && !copy.IsValid()) ||
        !AppendPathText(*path_, copy.IsValid() ? *copy : text))
        path_ = static_cast<const IOBString*>(nullptr);
}

const char* OBSysFileRef::GrabCString() const {
    return path_.IsValid() ? path_->GrabCString() : "";
}

const unsigned short* OBSysFileRef::GrabWString() const {
    static const unsigned short empty[1] = {0};
    return path_.IsValid() ? path_->GrabWString() : empty;
}

unsigned char OBSysFileRef::IsUnicode() const {
    return path_.IsValid() && path_->IsUnicode() == 1 ? 1 : 0;
}

long long OBSysFileRef::Length() const {
    return path_.IsValid() ? path_->Length() : 0;
}

char OBSysFileRef::GetChar(long long index) const {
    if (!path_.IsValid() || path_->IsUnicode() == 1) return 0;
    if (index < 0 || index >= path_->Length()) return 0;
    return path_->GrabCString()[index];
}

void OBSysFileRef::SetScript(WSE::WritingScriptEnum script) {
    if (!path_.IsValid() || path_->IsUnicode() == 1 || script == WSE::kUnicodeScript) return;
    static_cast<COBString&>(*path_).SetScript(script);
}

const IOBString* OBSysFileRef::GetSysFileStr() const {
    return path_.GetPtr();
}

// ---- OBFileSystemPath --------------------------------------------------------

OBFileSystemPath::OBFileSystemPath(const OBSysFileRef& file)
    : text_(""), converted_(nullptr), length_(0), valid_(1) {
    const IOBString* s = file.GetSysFileStr();
    if (!s) return;
    if (s->IsUnicode() != 1) {
        text_ = s->GrabCString();
        length_ = std::strlen(text_);
        return;
    }
    long long n = s->Length();
    if (n <= 0) return;
    converted_ = new COBString;
    if (!converted_ || !ToUtf8(s->GrabWString(), n, *converted_) ||
        std::strlen(converted_->GrabCString()) != static_cast<std::size_t>(converted_->Length())) {
        valid_ = 0; // an unpaired surrogate, a NUL, or no memory: no file of this name
        return;
    }
    text_ = converted_->GrabCString();
    length_ = static_cast<std::size_t>(converted_->Length());
}

OBFileSystemPath::~OBFileSystemPath() {
    delete converted_;
}
