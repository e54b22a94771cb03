// File locations as documents store them: the path in the form of the
// system the document came from, its kind worked out from the text.
#include <ombra/values.h>

#include <cstring>

ValueFileSpec::ValueFileSpec() noexcept
    : Value(VT::ekFileSpecification), directoryId_(0), volumeRefId_(0),
      pathType_(PATH::kPathUnknown) {}

ValueFileSpec::~ValueFileSpec() = default;

Value& ValueFileSpec::operator=(Value& other) {
    if (ValueFileSpec* same = dynamic_cast<ValueFileSpec*>(&other)) {
        if (same != this) path_ = same->path_;
        directoryId_ = same->directoryId_;
        volumeRefId_ = same->volumeRefId_;
        pathType_ = PATH::kPathUnknown; // the kind is not copied: worked out anew
        SetInitialized(1);
    }
    return *this;
}

short ValueFileSpec::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueFileSpec* same = dynamic_cast<ValueFileSpec*>(other);
    if (!same) return 0;
    COBString mine, theirs;
    GetFullPathNameA(mine);
    same->GetFullPathNameA(theirs);
    return mine.Length() == theirs.Length() && mine.Compare(false, theirs) == 0 ? 1 : 0;
}

void ValueFileSpec::Init(OBSysFileRef& file) {
    // The 8-bit text of a path here is the file system's: the UTF-8 form
    // of a UTF-16 path, which needs no text service.
    OBFileSystemPath text(file);
    path_.SetXString(text.Get(), static_cast<long long>(text.Length()));
    pathType_ = PATH::kPathUnknown;
    SetInitialized(1);
}

void ValueFileSpec::Init(int volumeRefId, int directoryId, COBString& path) {
    volumeRefId_ = volumeRefId;
    directoryId_ = directoryId;
    if (&path != &path_) path_ = path;
    pathType_ = PATH::kPathUnknown;
    SetInitialized(1);
}

void ValueFileSpec::Get(IOBStringPtr& path) const {
    if (!IsInitialized()) return;
    IOBStringPtr copy;
    copy.CopyString(path_);
    if (copy.IsValid()) path.Swap(copy);
}

void ValueFileSpec::Get(OBSysFileRef& file) const {
    if (!IsInitialized()) return;
    COBString full;
    GetFullPathNameA(full);
    file.SetCString(full.GrabCString());
}

void ValueFileSpec::GetAsString(COBString& path) const {
    if (IsInitialized() && &path != &path_) path = path_;
}

int ValueFileSpec::GetVolRefID() const {
    return volumeRefId_;
}

int ValueFileSpec::GetDirID() const {
    return directoryId_;
}

void ValueFileSpec::GetFullPathNameA(COBString& path) const {
    if (IsInitialized() && &path != &path_) path = path_;
}

namespace {
bool StartsWith(const char* text, long long length, const char* prefix) {
    long long n = static_cast<long long>(std::strlen(prefix));
    return length >= n && std::memcmp(text, prefix, static_cast<std::size_t>(n)) == 0;
}
} // namespace

PATH::PathType ValueFileSpec::GetPathType() {
    if (!IsInitialized()) return PATH::kPathUnknown;
    if (pathType_ != PATH::kPathUnknown) return pathType_;

    const char* text = path_.GrabCString();
    const long long length = path_.Length();
    long long colon = -1;
    for (long long i = 0; i < length; ++i) {
        if (text[i] == ':') {
            colon = i;
            break;
        }
    }

    PATH::PathType kind = PATH::kPathMacVolume;
    if (colon < 0) {
        kind = PATH::kPathDOS;
        if (length >= 2 && text[0] == '\\' && text[1] == '\\') kind = PATH::kPathUNC;
    } else if (colon == 0) {
        kind = PATH::kPathMacRelative;
    } else if (colon == 1) {
        bool furtherColon = false;
        for (long long i = 2; i < length && !furtherColon; ++i)
            furtherColon = text[i] == ':';
        kind =
            length > 2 && text[2] == '\\' && !furtherColon ? PATH::kPathDOS : PATH::kPathMacVolume;
    } else if (colon == 4) {
        kind = StartsWith(text, length, "http://") ? PATH::kPathURL : PATH::kPathMacVolume;
    } else if (colon == 3) {
        kind = StartsWith(text, length, "ftp://") ? PATH::kPathURL : PATH::kPathMacVolume;
    }
    pathType_ = kind;
    return kind;
}

void ValueFileSpec::GetFileName(COBString& name) {
    char separator = 0;
    switch (GetPathType()) {
    case PATH::kPathUNC:
    case PATH::kPathDOS:
        separator = '\\';
        break;
    case PATH::kPathMacVolume:
        separator = ':';
        break;
    case PATH::kPathURL:
    case PATH::kPathPOSIX:
        separator = '/';
        break;
    default:
        break;
    }
    if (&name == &path_) return;
    if (!separator) {
        name = path_;
        return;
    }
    const char* text = path_.GrabCString();
    long long at = path_.Length() - 1;
    while (at >= 0 && text[at] != separator)
        --at;
    if (at < 0) {
        name.Clear();
        return;
    }
    name.SetXString(text + at, path_.Length() - at);
}

short ValueFileSpec::FileExists() {
    if (GetPathType() == PATH::kPathDOS) return 0;
    // The library always prepares names: old Mac volume paths become
    // Disk/Folder/File and bare names are looked for in the temporary folder.
    WOBFileUtility file(path_, true);
    return file.FileExists() == 1 ? 1 : 0;
}
