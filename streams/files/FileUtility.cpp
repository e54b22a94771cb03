#include <ombra/files.h>

#include "platform/Files.h"
#include "platform/System.h"
#include "streams/OpenFiles.h"
#include "streams/memory/StdAllocator.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

namespace {

// The process-wide temporary directory: set by the host before conversions
// start, kept for the life of the process.
std::mutex gTempDirectoryLock;
COBString* gTempDirectory = nullptr;
const bool gForkHeld =
    obsys::AtFork([] { gTempDirectoryLock.lock(); }, [] { gTempDirectoryLock.unlock(); });

// Where bare names go: the directory set by the host, else the platform's
// temporary path; always ending with '/'.
void TemporaryDirectory(OBStdString& out) {
    {
        std::lock_guard<std::mutex> lock(gTempDirectoryLock);
        if (gTempDirectory && gTempDirectory->Length() > 0) out = gTempDirectory->GrabCString();
    }
    if (out.empty()) {
        char buffer[4096];
        std::size_t n = obsys::TempPath(buffer, sizeof buffer);
        out.assign(buffer, n);
    }
    if (!out.empty() && out.back() != '/') out.push_back('/');
}

// Old-style colon paths, scanned from the end: "::" stands for the parent
// folder ("../"), a single ':' separates folders and is dropped in front.
void ConvertColons(OBStdString& text) {
    OBStdString reversed;
    reversed.reserve(text.size() + text.size() / 2);
    for (long long i = static_cast<long long>(text.size()) - 1; i >= 0;) {
        if (text[i] == ':' && i > 0 && text[i - 1] == ':') {
            reversed += "/..";
            i -= 2;
        } else if (text[i] == ':') {
            if (i != 0) reversed.push_back('/');
            i -= 1;
        } else {
            reversed.push_back(text[i]);
            i -= 1;
        }
    }
    text.assign(reversed.rbegin(), reversed.rend());
}

// Paths of documents made on other systems keep their own form: a drive
// ("C:" alone or followed by a backslash) or a network share ("\\server").
// Backslashes separate their folders.
bool IsForeignPath(const char* text) {
    unsigned char first = static_cast<unsigned char>(text[0]);
    bool drive = ((first | 0x20) >= 'a' && (first | 0x20) <= 'z') && text[1] == ':' &&
                 (text[2] == 0 || text[2] == '\\');
    return drive || (text[0] == '\\' && text[1] == '\\');
}

// Where the file name starts: after the last folder separator, or 0.
std::size_t NameStart(const char* text) {
    const char* slash = std::strrchr(text, '/');
    const char* backslash = IsForeignPath(text) ? std::strrchr(text, '\\') : nullptr;
    const char* last = slash > backslash ? slash : backslash;
    return last ? static_cast<std::size_t>(last - text) + 1 : 0;
}

// The first `limit` bytes of text, backed off to the start of a UTF-8
// character so that the cut never splits one.
std::size_t CutAt(const char* text, std::size_t length, std::size_t limit) {
    if (length <= limit) return length;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

} // namespace

WOBFileUtility::WOBFileUtility() : sysFile_(), sysFileValid_(0), name_(), nameValid_(false) {}

WOBFileUtility::WOBFileUtility(const COBString& name, bool prepare)
    : sysFile_(), sysFileValid_(0), name_(name), nameValid_(true) {
    if (prepare) Init();
}

WOBFileUtility::WOBFileUtility(const OBSysFileRef& file)
    : sysFile_(file), sysFileValid_(1), name_(), nameValid_(false) {}

WOBFileUtility::WOBFileUtility(const WOBFileUtility& other)
    : sysFile_(other.sysFile_), sysFileValid_(other.sysFileValid_), name_(other.name_),
      nameValid_(other.nameValid_) {}

WOBFileUtility& WOBFileUtility::operator=(const WOBFileUtility& other) {
    if (&other != this) {
        sysFile_ = other.sysFile_;
        sysFileValid_ = other.sysFileValid_;
        name_ = other.name_;
        nameValid_ = other.nameValid_;
    }
    return *this;
}

WOBFileUtility::~WOBFileUtility() = default;

void WOBFileUtility::Init() {
    try {
        const char* raw = name_.GrabCString();
        OBStdString text(raw, std::strlen(raw));
        if (!text.empty() && text[0] != '/' && !IsForeignPath(text.c_str())) ConvertColons(text);
        if (NameStart(text.c_str()) == 0) {
            OBStdString path;
            TemporaryDirectory(path);
            path += text;
            text.swap(path);
        }
        name_.SetXString(text.data(), static_cast<long long>(text.size()));
    } catch (const std::bad_alloc&) {
        // Without memory the name stays as it was given.
    }
    sysFileValid_ = 0;
    nameValid_ = true;
}

void WOBFileUtility::ResolveName() {
    if (nameValid_) return;
    OBFileSystemPath path(sysFile_);
    name_.SetXString(path.Get(), static_cast<long long>(path.Length()));
    nameValid_ = true;
}

void WOBFileUtility::ResolveSpec() {
    if (sysFileValid_) return;
    sysFile_ = name_;
    sysFileValid_ = 1;
}

long long WOBFileUtility::GetNamePos() {
    ResolveName();
    const char* text = name_.GrabCString();
    if (!*text) return -1;
    return static_cast<long long>(NameStart(text));
}

void WOBFileUtility::GetPathOnly(COBString* out) {
    if (!out) return;
    long long p = GetNamePos();
    if (p < 2) {
        out->Clear();
        return;
    }
    out->SetXString(name_.GrabCString(), p - 1);
}

void WOBFileUtility::GetPathName(COBString* out) {
    ResolveName();
    if (out) *out = name_;
}

void WOBFileUtility::OBDeleteFile() {
    OBFileSystemPath path(GetSysFile());
    if (path.Valid()) obsys::DeleteFile(path.Get());
}

void WOBFileUtility::SetUniqueName() {
    COBString base;
    GetFileName(&base);
    long long p = GetNamePos();
    try {
        OBStdString folder;
        if (p > 1) folder.assign(name_.GrabCString(), static_cast<std::size_t>(p - 1));
        const char* baseText = base.GrabCString();
        OBStdString stem(baseText, CutAt(baseText, std::strlen(baseText), 12));
        int thread = static_cast<int>(obsys::CurrentThreadId());
        unsigned int ticks = obsys::TickCount();
        for (int t = 1;; ++t) {
            char numbers[32];
            std::snprintf(numbers, sizeof numbers, "%i%i", thread, static_cast<int>(ticks));
            OBStdString candidate;
            if (p >= 1) candidate = folder + "/";
            candidate += stem;
            candidate += numbers;
            sysFile_ = COBString(candidate.c_str(), name_.GetWSEScript());
            sysFileValid_ = 1;
            ticks += 1;
            bool exists = FileExists() == 1;
            if (!exists && t < 1000) {
                nameValid_ = false;
                return;
            }
            if (t >= 1000) {
                sysFileValid_ = 0;
                return;
            }
        }
    } catch (const std::bad_alloc&) {
        sysFileValid_ = 0; // stays on its former name
    }
}

void WOBFileUtility::GetFileName(COBString* out) {
    long long p = GetNamePos();
    if (!out || p < 0) return;
    const char* text = name_.GrabCString();
    out->SetXString(text + p, static_cast<long long>(std::strlen(text + p)));
}

const OBSysFileRef& WOBFileUtility::GetSysFile() {
    ResolveSpec();
    return sysFile_;
}

const OBSysFileRef& WOBFileUtility::GetSysFileUrl() {
    return GetSysFile();
}

void WOBFileUtility::GetDirectory(OBSysFileRef& out) {
    COBString folder;
    GetPathOnly(&folder);
    out.SetCString(folder.GrabCString());
}

short WOBFileUtility::OBCopyFile(const OBSysFileRef& destination) {
    OBFileSystemPath from(GetSysFile()), to(destination);
    if (!from.Valid() || !to.Valid()) return 0;
    OBOpenFileList::SettlePath(from.Get());
    OBOpenFileList::SettlePath(to.Get());
    return obsys::CopyFile(from.Get(), to.Get()) ? 1 : 0;
}

short WOBFileUtility::FileExists() {
    OBFileSystemPath path(GetSysFile());
    return path.Valid() && obsys::PathExists(path.Get()) ? 1 : 0;
}

void WOBFileUtility::GetFileCreatorType(unsigned int*, unsigned int*) {
    ResolveSpec();
}

void WOBFileUtility::SetFileCreatorType(unsigned int, unsigned int) {
    ResolveSpec();
}

COBString WOBFileUtility::GetExtension() {
    ResolveName();
    COBString extension;
    const char* text = name_.GrabCString();
    std::size_t end = std::strlen(text);
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '"'))
        --end;
    std::size_t dot = end;
    while (dot > 0 && text[dot - 1] != '.')
        --dot;
    if (dot == 0 || dot == end) return extension; // no '.', or nothing after it
    extension.SetXString(text + dot, static_cast<long long>(end - dot));
    extension.ToUpper();
    return extension;
}

unsigned int WOBFileUtility::GetFileSize() {
    OBFileSystemPath path(GetSysFile());
    if (path.Valid()) OBOpenFileList::SettlePath(path.Get());
    long long size = path.Valid() ? obsys::FileSizeByPath(path.Get()) : -1;
    if (size < 0) return 0xFFFFFFFFu;
    return size >= 0xFFFFFFFFLL ? 0xFFFFFFFEu : static_cast<unsigned int>(size);
}

short WOBFileUtility::SetTemporaryFile() {
    return 1;
}

void WOBFileUtility::GetPathName(const OBSysFileRef& file, COBString* out) {
    if (!out) return;
    OBFileSystemPath path(file);
    out->SetXString(path.Get(), static_cast<long long>(path.Length()));
}

COBString* WOBFileUtility::GetTempDirectory() {
    std::lock_guard<std::mutex> lock(gTempDirectoryLock);
    return gTempDirectory;
}

void WOBFileUtility::SetTempDirectory(COBString* directory) {
    if (!directory) return;
    std::lock_guard<std::mutex> lock(gTempDirectoryLock);
    if (!gTempDirectory) {
        gTempDirectory = new COBString(*directory);
    } else if (directory != gTempDirectory) {
        gTempDirectory->SetXString(directory->GrabCString(),
                                   static_cast<long long>(std::strlen(directory->GrabCString())));
    }
}

short WOBFileUtility::DeleteFileA(const OBSysFileRef& file) {
    OBFileSystemPath path(file);
    return path.Valid() && obsys::DeleteFile(path.Get()) ? 1 : 0;
}

void WOBFileUtility::LoadLibraryA(const OBSysFileRef& file, void*& out) {
    OBFileSystemPath path(file);
    out = path.Valid() ? obsys::LoadLibrary(path.Get()) : nullptr;
}
