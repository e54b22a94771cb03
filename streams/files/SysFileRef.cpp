#include <ombra/files.h>

#include "platform/CodePages.h"
#include "streams/files/PathText.h"

#include <cstring>

namespace ombra_files {

namespace {

// A scratch block that lives on the stack for short texts.
template <typename T, std::size_t N> class Scratch {
public:
    explicit Scratch(long long n)
        : heap_(n > static_cast<long long>(N)
                    ? static_cast<T*>(OBLibAllocate(static_cast<std::size_t>(n) * sizeof(T)))
                    : nullptr),
          data_(n > static_cast<long long>(N) ? heap_ : local_) {}
    ~Scratch() { OBLibFree(heap_); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    T* Data() { return data_; }

private:
    T local_[N];
    T* heap_;
    T* data_;
};

} // namespace

bool AppendUtf8(WOBString& s, const char* text, long long n) {
    if (!text || n <= 0) return true;
    long long units = obsys::MultiByteToWideChar(obsys::kUTF8CodePage, 0, text, n, nullptr, 0);
    if (units <= 0) return false;
    Scratch<unsigned short, 256> buffer(units);
    if (!buffer.Data()) return false;
    units = obsys::MultiByteToWideChar(obsys::kUTF8CodePage, 0, text, n, buffer.Data(), units);
    if (units <= 0) return false;
    long long before = s.Length();
    s.Append(buffer.Data(), units);
    return s.Length() == before + units;
}

bool AppendUnitsAsUtf8(COBString& s, const unsigned short* units, long long n) {
    if (!units || n <= 0) return true;
    long long bytes = obsys::WideCharToMultiByte(obsys::kUTF8CodePage, obsys::kErrorOnInvalidUnits,
                                                 units, n, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return false;
    Scratch<char, 512> buffer(bytes);
    if (!buffer.Data()) return false;
    bytes = obsys::WideCharToMultiByte(obsys::kUTF8CodePage, obsys::kErrorOnInvalidUnits, units, n,
                                       buffer.Data(), bytes, nullptr, nullptr);
    if (bytes <= 0) return false;
    long long before = s.Length();
    s.Append(buffer.Data(), bytes);
    return s.Length() == before + bytes;
}

void AppendPathText(IOBString& path, const IOBString& text) {
    if (path.IsUnicode() == 1) {
        WOBString& wide = static_cast<WOBString&>(path);
        if (text.IsUnicode() == 1) {
            wide.Append(text.GrabWString(), text.Length());
        } else {
            const char* bytes = text.GrabCString();
            AppendUtf8(wide, bytes, static_cast<long long>(std::strlen(bytes)));
        }
    } else {
        COBString& narrow = static_cast<COBString&>(path);
        if (text.IsUnicode() == 1) {
            AppendUnitsAsUtf8(narrow, text.GrabWString(), text.Length());
        } else {
            narrow.Append(text.GrabCString(), IOBString::kUpToTerminator);
        }
    }
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

OBSysFileRef::OBSysFileRef(OBSysFileRef&& other) noexcept : path_() { path_.Swap(other.path_); }

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

bool OBSysFileRef::operator==(const OBSysFileRef& other) const { return path_ == other.path_; }

void OBSysFileRef::SetCString(const char* path) {
    path_.Init(false);
    if (path && *path && path_.IsValid()) path_->SetCString(path);
}

void OBSysFileRef::SetWString(const unsigned short* path) {
    path_.Init(true);
    if (path && *path && path_.IsValid()) path_->SetWString(path);
}

void OBSysFileRef::Append(const char* text) {
    if (!text || !*text || !path_.IsValid()) return;
    if (path_->IsUnicode() == 1) {
        AppendUtf8(static_cast<WOBString&>(*path_), text, static_cast<long long>(std::strlen(text)));
    } else {
        path_->Append(text, IOBString::kUpToTerminator);
    }
}

void OBSysFileRef::Append(const unsigned short* text) {
    if (!text || !*text || !path_.IsValid()) return;
    if (path_->IsUnicode() == 1) {
        path_->Append(text, IOBString::kUpToTerminator);
    } else {
        long long n = 0;
        while (text[n]) ++n;
        AppendUnitsAsUtf8(static_cast<COBString&>(*path_), text, n);
    }
}

void OBSysFileRef::Append(const IOBString& text) {
    if (!path_.IsValid()) return;
    if (&text == path_.GetPtr()) { // appending a path to itself
        IOBStringPtr copy(text.Clone());
        if (copy.IsValid()) AppendPathText(*path_, *copy);
        return;
    }
    AppendPathText(*path_, text);
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

long long OBSysFileRef::Length() const { return path_.IsValid() ? path_->Length() : 0; }

char OBSysFileRef::GetChar(long long index) const {
    if (!path_.IsValid() || path_->IsUnicode() == 1) return 0;
    if (index < 0 || index >= path_->Length()) return 0;
    return path_->GrabCString()[index];
}

void OBSysFileRef::SetScript(WSE::WritingScriptEnum script) {
    if (!path_.IsValid() || path_->IsUnicode() == 1 || script == WSE::kUnicodeScript) return;
    static_cast<COBString&>(*path_).SetScript(script);
}

const IOBString* OBSysFileRef::GetSysFileStr() const { return path_.GetPtr(); }

// ---- OBFileSystemPath --------------------------------------------------------

OBFileSystemPath::OBFileSystemPath(const OBSysFileRef& file)
    : text_(""), owned_(nullptr), length_(0), valid_(1) {
    inline_[0] = 0;
    const IOBString* s = file.GetSysFileStr();
    if (!s) return;
    if (s->IsUnicode() != 1) {
        text_ = s->GrabCString();
        length_ = std::strlen(text_);
        return;
    }
    long long n = s->Length();
    if (n <= 0) return;
    const unsigned short* units = s->GrabWString();
    long long bytes = obsys::WideCharToMultiByte(obsys::kUTF8CodePage, obsys::kErrorOnInvalidUnits,
                                                 units, n, nullptr, 0, nullptr, nullptr);
    char* out = inline_;
    if (bytes > 0 && bytes + 1 > static_cast<long long>(sizeof inline_)) {
        out = owned_ = static_cast<char*>(OBLibAllocate(static_cast<std::size_t>(bytes) + 1));
    }
    if (bytes <= 0 || !out ||
        obsys::WideCharToMultiByte(obsys::kUTF8CodePage, obsys::kErrorOnInvalidUnits, units, n,
                                   out, bytes, nullptr, nullptr) != bytes) {
        valid_ = 0;
        return;
    }
    out[bytes] = 0;
    // A NUL inside the units would name a different file: refuse it.
    if (std::strlen(out) != static_cast<std::size_t>(bytes)) {
        valid_ = 0;
        return;
    }
    text_ = out;
    length_ = static_cast<std::size_t>(bytes);
}

OBFileSystemPath::~OBFileSystemPath() { OBLibFree(owned_); }
