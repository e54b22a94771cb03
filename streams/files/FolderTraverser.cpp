#include <ombra/files.h>

#include "platform/Files.h"
#include "streams/files/PathText.h"
#include "streams/memory/StdAllocator.h"

#include <cstring>
#include <new>

using namespace ombra_files;

namespace {

obsys::Directory* NewListing() {
    void* block = OBLibAllocate(sizeof(obsys::Directory));
    return block ? new (block) obsys::Directory : nullptr;
}

void DeleteListing(obsys::Directory* listing) {
    if (!listing) return;
    listing->~Directory();
    OBLibFree(listing);
}

bool EndsWithSlash(const OBSysFileRef& path) {
    long long n = path.Length();
    if (n <= 0) return false;
    if (path.IsUnicode() == 1) return path.GrabWString()[n - 1] == '/';
    return path.GetChar(n - 1) == '/';
}

// folder + '/' + name, in the folder's kind or, when wide, as UTF-16.
void Join(const OBSysFileRef& folder, const char* name, bool wide, OBSysFileRef& out) {
    if (wide && folder.IsUnicode() != 1) {
        OBFileSystemPath bytes(folder);
        out.SetWString(nullptr);
        out.Append(bytes.Get());
    } else {
        out = folder;
    }
    if (!EndsWithSlash(out)) out.Append("/");
    out.Append(name);
}

// The extension (from the last '.') of the last component of a UTF-16 path.
const unsigned short* ExtensionOfUnits(const unsigned short* path, long long n) {
    long long start = n;
    while (start > 0 && path[start - 1] != '/')
        --start;
    for (long long i = n; i > start; --i) {
        if (path[i - 1] == '.') return path + i - 1;
    }
    return path + n;
}

} // namespace

// ---- WFolderTraverser --------------------------------------------------------

WFolderTraverser::WFolderTraverser(short reportFolders)
    : findHandle_(nullptr), currentFile_(), currentFolder_(), folderIndex_(-1),
      reportFolders_(reportFolders), folders_(nullptr), folderCount_(0), folderCapacity_(0) {
    extension_[0] = 0;
}

WFolderTraverser::WFolderTraverser(const OBSysFileRef& start, const char* extension,
                                   short reportFolders)
    : WFolderTraverser(reportFolders) {
    if (extension) {
        std::strncpy(extension_, extension, sizeof extension_ - 1);
        extension_[sizeof extension_ - 1] = 0;
    }
    AddFolder(start);
}

WFolderTraverser::WFolderTraverser(const OBSysFileRef& start, short reportFolders)
    : WFolderTraverser(reportFolders) {
    AddFolder(start);
}

WFolderTraverser::~WFolderTraverser() {
    CloseFolder();
    for (long long i = 0; i < folderCount_; ++i)
        folders_[i].~OBSysFileRef();
    OBLibFree(folders_);
}

void WFolderTraverser::AddFolder(const OBSysFileRef& folder) {
    for (long long i = 0; i < folderCount_; ++i) {
        if (folders_[i] == folder) return;
    }
    if (folderCount_ == folderCapacity_) {
        long long capacity = folderCapacity_ ? folderCapacity_ * 2 : 8;
        void* block = OBLibAllocate(static_cast<std::size_t>(capacity) * sizeof(OBSysFileRef));
        if (!block) return; // without memory the folder is not walked
        OBSysFileRef* grown = static_cast<OBSysFileRef*>(block);
        for (long long i = 0; i < folderCount_; ++i) {
            new (grown + i) OBSysFileRef(static_cast<OBSysFileRef&&>(folders_[i]));
            folders_[i].~OBSysFileRef();
        }
        OBLibFree(folders_);
        folders_ = grown;
        folderCapacity_ = capacity;
    }
    new (folders_ + folderCount_) OBSysFileRef(folder);
    ++folderCount_;
}

void WFolderTraverser::NoOperation() {}

void WFolderTraverser::Reset() {
    CloseFolder();
    folderIndex_ = -1;
}

void WFolderTraverser::CloseFolder() {
    DeleteListing(static_cast<obsys::Directory*>(findHandle_));
    findHandle_ = nullptr;
}

bool WFolderTraverser::OpenNextFolder() {
    CloseFolder();
    for (;;) {
        if (folderIndex_ + 1 >= folderCount_) {
            // The walk is over until a folder is added to the queue.
            folderIndex_ = folderCount_ - 1;
            return false;
        }
        ++folderIndex_;
        currentFolder_ = folders_[folderIndex_];
        OBFileSystemPath path(currentFolder_);
        if (!path.Valid()) continue;
        obsys::Directory* listing = NewListing();
        if (!listing) return false;
        if (listing->Open(path.Get())) {
            findHandle_ = listing;
            return true;
        }
        DeleteListing(listing); // unreadable folders are passed over
    }
}

short WFolderTraverser::Step(OBSysFileRef& out, bool wide) {
    for (;;) {
        if (!findHandle_ && !OpenNextFolder()) return 0;
        obsys::DirectoryEntry entry;
        if (!static_cast<obsys::Directory*>(findHandle_)->Next(entry)) {
            CloseFolder();
            continue;
        }
        // Links to folders are never followed, so a walk cannot loop.
        if (entry.isLinkToDirectory) continue;
        if (entry.isDirectory && IsDotName(entry.name)) continue;
        Join(currentFolder_, entry.name, wide, out);
        if (entry.isDirectory) {
            AddFolder(out);
            if (reportFolders_) return 1;
            continue;
        }
        currentFile_ = out;
        return 1;
    }
}

short WFolderTraverser::GetNext(OBSysFileRef& out) {
    return Step(out, false);
}

short WFolderTraverser::GetNextMatch(OBSysFileRef& out) {
    while (GetNext(out) == 1) {
        if (Matches(out) == 1) return 1;
    }
    return 0;
}

void WFolderTraverser::GetCurrentFile(OBSysFileRef& out) {
    out = currentFile_;
}

short WFolderTraverser::Matches(const OBSysFileRef& file) {
    OBFileSystemPath path(file);
    if (!path.Valid()) return 0;
    return std::strcmp(ExtensionOf(path.Get()), extension_) == 0 ? 1 : 0;
}

// ---- WFolderTraverserW -------------------------------------------------------

WFolderTraverserW::WFolderTraverserW(const OBSysFileRef& start, const unsigned short* extension,
                                     short reportFolders)
    : WFolderTraverser(start, "", reportFolders) {
    std::size_t n = 0;
    while (extension && extension[n] && n + 1 < sizeof extensionW_ / sizeof extensionW_[0]) {
        extensionW_[n] = extension[n];
        ++n;
    }
    extensionW_[n] = 0;
}

WFolderTraverserW::~WFolderTraverserW() = default;

short WFolderTraverserW::GetNext(OBSysFileRef& out) {
    return Step(out, true);
}

short WFolderTraverserW::Matches(const OBSysFileRef& file) {
    OBSysFileRef wide;
    const OBSysFileRef* units = &file;
    if (file.IsUnicode() != 1) {
        OBFileSystemPath bytes(file);
        if (!bytes.Valid()) return 0;
        wide.SetWString(nullptr);
        wide.Append(bytes.Get());
        units = &wide;
    }
    const unsigned short* ext = ExtensionOfUnits(units->GrabWString(), units->Length());
    std::size_t i = 0;
    for (; ext[i] && extensionW_[i]; ++i) {
        if (ext[i] != extensionW_[i]) return 0;
    }
    return ext[i] == extensionW_[i] ? 1 : 0;
}

// ---- GetSubDirectoryWithGivenExtension ----------------------------------------

namespace {

struct SearchFrame {
    obsys::Directory* listing;
    OBSysFileRef folder;
};

bool OpenFrame(OBVector<SearchFrame>& frames, const OBSysFileRef& folder) {
    OBFileSystemPath path(folder);
    if (!path.Valid()) return false;
    obsys::Directory* listing = NewListing();
    if (!listing) return false;
    if (!listing->Open(path.Get())) {
        DeleteListing(listing);
        return false;
    }
    try {
        frames.push_back(SearchFrame{listing, folder});
    } catch (const std::bad_alloc&) {
        DeleteListing(listing);
        return false;
    }
    return true;
}

} // namespace

// The exported signature takes a copy of the extension.
void GetSubDirectoryWithGivenExtension(OBSysFileRef* folder, OBSysFileRef& result,
                                       COBString extension) { // NOLINT(performance-*)
    if (!folder) return;
    // Depth first with an explicit stack, so deep trees cannot exhaust the
    // thread's stack.
    OBVector<SearchFrame> frames;
    if (!OpenFrame(frames, *folder)) return;
    const long long wanted = extension.Length();
    while (!frames.empty()) {
        obsys::DirectoryEntry entry;
        if (!frames.back().listing->Next(entry)) {
            DeleteListing(frames.back().listing);
            frames.pop_back();
            continue;
        }
        OBSysFileRef entryPath;
        Join(frames.back().folder, entry.name, false, entryPath);
        if (entry.isDirectory && entry.name[0] != '.' && entry.name[0] != '(') {
            OpenFrame(frames, entryPath); // an unreadable folder ends its own search only
            continue;
        }
        COBString upper(entry.name);
        upper.ToUpper();
        long long at = upper.IndexOfString(extension);
        if (wanted > 0 && at >= 0 && at == upper.Length() - wanted) {
            // The folder part of entryPath, with its trailing '/'.
            result = frames.back().folder;
            if (!EndsWithSlash(result)) result.Append("/");
        }
    }
}
