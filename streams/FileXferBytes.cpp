#include <ombra/streams.h>

#include "platform/Files.h"

namespace {

obsys::SeekOrigin Origin(OBSeekFromWhere from) {
    if (from == kSeekFromStart) return obsys::kSeekSet;
    if (from == kSeekFromEnd) return obsys::kSeekEnd;
    return obsys::kSeekCurrent;
}

} // namespace

OBFileXferBytesRef::OBFileXferBytesRef()
    : systemFile_(), cachedSystemFile_(), state_(kStreamError), stdioStream_(nullptr),
      fileHandle_(obsys::kInvalidFile), cachedCopy_(0) {}

OBFileXferBytesRef::OBFileXferBytesRef(const OBFileXferBytesRef& other)
    : OBXferBytes(other), systemFile_(other.systemFile_), cachedSystemFile_(other.systemFile_),
      state_(kStreamError), stdioStream_(nullptr), fileHandle_(obsys::kInvalidFile),
      cachedCopy_(0) {}

OBFileXferBytesRef& OBFileXferBytesRef::operator=(const OBFileXferBytesRef& other) {
    if (&other == this) return *this;
    Close();
    systemFile_ = other.systemFile_;
    cachedSystemFile_ = other.systemFile_; // the source's cache copy stays the source's
    cachedCopy_ = 0;
    state_ = kStreamError;
    return *this;
}

OBFileXferBytesRef::~OBFileXferBytesRef() {
    Close();
}

short OBFileXferBytesRef::Open(const OBSysFileRef& file, unsigned int mode, unsigned int,
                               unsigned int) {
    // Close before taking the new names, so that an old cache copy goes.
    if (fileHandle_ != obsys::kInvalidFile || stdioStream_) Close();
    // file may be one of this object's own references, which the next lines change.
    OBSysFileRef requested(file); // NOLINT(performance-unnecessary-copy-initialization)
    cachedSystemFile_ = GetLocallyCachedFile(requested, mode);
    systemFile_ = requested;
    // Only a copy made here is ever deleted, never the caller's file (even
    // when a reference could not be copied for want of memory).
    cachedCopy_ = cachedSystemFile_ != requested && cachedSystemFile_.Length() > 0 ? 1 : 0;

    const bool write = (mode & (kFileWrite | kFileAppend)) != 0;
    unsigned access =
        ((mode & kFileRead) ? obsys::kAccessRead : 0u) | (write ? obsys::kAccessWrite : 0u);
    obsys::FileCreation creation = obsys::kOpenExisting;
    if (mode & kFileAppend) {
        creation = obsys::kOpenAlways;
    } else if ((mode & kFileWrite) && (mode & kFileTruncate)) {
        creation = obsys::kCreateAlways;
    } else if (mode & kFileWrite) {
        creation = obsys::kOpenAlways;
    } else if (mode & kFileTruncate) {
        creation = obsys::kTruncateExisting;
    }

    OBFileSystemPath path(cachedSystemFile_);
    if (path.Valid()) fileHandle_ = obsys::OpenFile(path.Get(), access, creation);
    if (fileHandle_ == obsys::kInvalidFile) {
        if (!write && path.Valid()) stdioStream_ = obsys::StdioOpenRead(path.Get());
        if (!stdioStream_) {
            state_ = kStreamClosed;
            DropCachedCopy();
            return 0;
        }
        obsys::StdioSeek(stdioStream_, 0, obsys::kSeekSet);
        state_ = kStreamOK;
        return 1;
    }
    if ((mode & kFileWrite) && (mode & kFileAppend)) {
        obsys::SeekFile(fileHandle_, 0, obsys::kSeekEnd);
    } else if (mode & kFileWrite) {
        obsys::SeekFile(fileHandle_, 0, obsys::kSeekSet);
    }
    state_ = kStreamOK;
    return 1;
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): the exported signature takes a copy
short OBFileXferBytesRef::Create(OBSysFileRef file, unsigned int mode, unsigned int creator,
                                 unsigned int type) {
    return Open(file, mode, creator, type);
}

void OBFileXferBytesRef::Close() {
    if (state_ == kStreamClosed) return;
    if (fileHandle_ != obsys::kInvalidFile) {
        obsys::CloseFile(fileHandle_);
        fileHandle_ = obsys::kInvalidFile;
    } else if (stdioStream_) {
        obsys::StdioClose(stdioStream_);
        stdioStream_ = nullptr;
    }
    state_ = kStreamClosed;
    DropCachedCopy();
}

void OBFileXferBytesRef::DropCachedCopy() {
    if (!cachedCopy_) return;
    WOBFileUtility::DeleteFileA(cachedSystemFile_);
    cachedSystemFile_ = systemFile_;
    cachedCopy_ = 0;
}

unsigned long long OBFileXferBytesRef::Read(void* buffer, unsigned long long count) {
    unsigned long long n = 0;
    if (fileHandle_ != obsys::kInvalidFile) {
        long long got = obsys::ReadFile(fileHandle_, buffer, count);
        n = got > 0 ? static_cast<unsigned long long>(got) : 0;
    } else if (stdioStream_) {
        n = obsys::StdioRead(stdioStream_, buffer, count);
    }
    if (n != count) state_ = kStreamEOF;
    return n;
}

unsigned long long OBFileXferBytesRef::Write(const void* buffer, unsigned long long count) {
    unsigned long long n = 0;
    if (fileHandle_ != obsys::kInvalidFile) {
        long long put = obsys::WriteFile(fileHandle_, buffer, count);
        n = put > 0 ? static_cast<unsigned long long>(put) : 0;
    } else if (stdioStream_) {
        n = obsys::StdioWrite(stdioStream_, buffer, count);
    }
    if (n != count) state_ = kStreamError;
    return n;
}

unsigned long long OBFileXferBytesRef::Seek(long long offset, OBSeekFromWhere from) {
    if (state_ == kStreamEOF) state_ = kStreamOK;
    if (fileHandle_ != obsys::kInvalidFile) {
        long long at = obsys::SeekFile(fileHandle_, offset, Origin(from));
        return at >= 0 ? static_cast<unsigned long long>(at) : Tell(); // a refused seek stays
    }
    if (stdioStream_) {
        if (!obsys::StdioSeek(stdioStream_, offset, Origin(from))) return 0;
        return Tell();
    }
    return 0;
}

unsigned long long OBFileXferBytesRef::Tell() {
    long long at = -1;
    if (fileHandle_ != obsys::kInvalidFile) {
        at = obsys::SeekFile(fileHandle_, 0, obsys::kSeekCurrent);
    } else if (stdioStream_) {
        at = obsys::StdioTell(stdioStream_);
    }
    return at > 0 ? static_cast<unsigned long long>(at) : 0;
}

void OBFileXferBytesRef::Flush() {
    if (fileHandle_ != obsys::kInvalidFile) {
        obsys::FlushFile(fileHandle_);
    } else if (stdioStream_) {
        obsys::StdioFlush(stdioStream_);
    }
}

OBStreamState OBFileXferBytesRef::GetStreamState() {
    return state_;
}

void OBFileXferBytesRef::SetEndOfStream() {
    if (fileHandle_ != obsys::kInvalidFile) obsys::TruncateFileHere(fileHandle_);
}

short OBFileXferBytesRef::IsNetworkDrive(const OBSysFileRef& file) {
    OBFileSystemPath path(file);
    return path.Valid() && obsys::IsNetworkPath(path.Get()) ? 1 : 0;
}

OBSysFileRef OBFileXferBytesRef::GetLocallyCachedFile(const OBSysFileRef& file, unsigned int mode) {
    if ((mode & (kFileRead | kFileCacheNetwork)) != (kFileRead | kFileCacheNetwork)) return file;
    if (IsNetworkDrive(file) != 1) return file;
    char folder[4096];
    char copy[4096 + 32];
    if (obsys::TempPath(folder, sizeof folder) == 0) return file;
    if (!obsys::CreateUniqueFile(folder, "Ombra", copy, sizeof copy)) return file;
    OBFileSystemPath source(file);
    if (!source.Valid() || !obsys::CopyFile(source.Get(), copy)) {
        obsys::DeleteFile(copy); // a failed copy leaves nothing behind
        return file;
    }
    OBSysFileRef local;
    if (file.IsUnicode() == 1) local.SetWString(nullptr);
    local.Append(copy);
    if (local.Length() == 0) {
        obsys::DeleteFile(copy);
        return file;
    }
    return local;
}
