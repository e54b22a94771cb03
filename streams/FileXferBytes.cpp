#include <ombra/streams.h>

#include "platform/Files.h"
#include "streams/OpenFiles.h"

#include <cstring>

namespace {

enum BufferMode : short { kIdle = 0, kReadingAhead = 1, kWritingBehind = 2 };
constexpr unsigned long long kBufferBytes = OBFileXferBytesRef::kBufferSize;

obsys::SeekOrigin Origin(OBSeekFromWhere from) {
    if (from == kSeekFromStart) return obsys::kSeekSet;
    if (from == kSeekFromEnd) return obsys::kSeekEnd;
    return obsys::kSeekCurrent;
}

} // namespace

OBFileXferBytesRef::OBFileXferBytesRef()
    : systemFile_(), cachedSystemFile_(), state_(kStreamError), stdioStream_(nullptr),
      fileHandle_(obsys::kInvalidFile), cachedCopy_(0), buffer_(nullptr), bufferStart_(0),
      position_(0), bufferFill_(0), bufferNext_(0), bufferMode_(kIdle), writable_(0),
      fileDevice_(0), fileInode_(0), ownerThread_(0), prevOpen_(nullptr), nextOpen_(nullptr),
      listed_(0) {}

// A copy names the same file, so the source's waiting bytes go out first.
// Settling changes no state that callers see, only where the bytes are.
OBFileXferBytesRef::OBFileXferBytesRef(const OBFileXferBytesRef& other) : OBFileXferBytesRef() {
    const_cast<OBFileXferBytesRef&>(other).Settle();
    systemFile_ = other.systemFile_;
    cachedSystemFile_ = other.systemFile_;
}

OBFileXferBytesRef& OBFileXferBytesRef::operator=(const OBFileXferBytesRef& other) {
    if (&other == this) return *this;
    const_cast<OBFileXferBytesRef&>(other).Settle();
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
    writable_ = 0;
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
    writable_ = write ? 1 : 0;
    state_ = kStreamOK;
    StartBuffering();
    return 1;
}

// Regular files only: a pipe or a terminal must not wait for a buffer to
// fill. Without memory for the buffer the transfer simply goes unbuffered.
void OBFileXferBytesRef::StartBuffering() {
    obsys::FileIdentity file;
    if (!obsys::RegularFileIdentity(fileHandle_, file)) return;
    if (!OBOpenFileList::Add(*this, file)) return; // another transfer of this file is open
    long long at = obsys::SeekFile(fileHandle_, 0, obsys::kSeekCurrent);
    if (at < 0) return;
    buffer_ = static_cast<unsigned char*>(OBLibAllocate(kBufferBytes));
    position_ = static_cast<unsigned long long>(at);
    bufferStart_ = position_;
    bufferFill_ = bufferNext_ = 0;
    bufferMode_ = kIdle;
}

bool OBFileXferBytesRef::WriteOut() {
    if (bufferMode_ != kWritingBehind) return true;
    bufferMode_ = kIdle;
    unsigned long long waiting = bufferFill_;
    bufferFill_ = 0;
    if (waiting == 0) return true;
    long long put = obsys::WriteFile(fileHandle_, buffer_, waiting);
    unsigned long long stored = put > 0 ? static_cast<unsigned long long>(put) : 0;
    // After a refusal the position is the end of what the file holds.
    position_ = bufferStart_ + stored;
    if (stored == waiting) return true;
    obsys::SeekFile(fileHandle_, static_cast<long long>(position_), obsys::kSeekSet);
    state_ = kStreamError;
    return false;
}

void OBFileXferBytesRef::DropReadAhead() {
    if (bufferMode_ != kReadingAhead) return;
    bufferMode_ = kIdle;
    if (bufferNext_ != bufferFill_)
        obsys::SeekFile(fileHandle_, static_cast<long long>(position_), obsys::kSeekSet);
    bufferFill_ = bufferNext_ = 0;
}

void OBFileXferBytesRef::Settle() {
    if (!buffer_) return;
    WriteOut();
    DropReadAhead();
}

unsigned long long OBFileXferBytesRef::BufferedRead(unsigned char* out, unsigned long long count) {
    WriteOut();
    unsigned long long done = 0;
    if (bufferMode_ == kReadingAhead) {
        unsigned long long ready = bufferFill_ - bufferNext_;
        done = count < ready ? count : ready;
        std::memcpy(out, buffer_ + bufferNext_, done);
        bufferNext_ += static_cast<unsigned int>(done);
        position_ += done;
    }
    if (done < count) { // the handle stands at position_
        unsigned long long rest = count - done;
        if (rest >= kBufferBytes) {
            bufferMode_ = kIdle;
            bufferFill_ = bufferNext_ = 0;
            long long got = obsys::ReadFile(fileHandle_, out + done, rest);
            unsigned long long n = got > 0 ? static_cast<unsigned long long>(got) : 0;
            done += n;
            position_ += n;
        } else {
            long long got = obsys::ReadFile(fileHandle_, buffer_, kBufferBytes);
            bufferStart_ = position_;
            bufferFill_ = got > 0 ? static_cast<unsigned int>(got) : 0;
            unsigned long long n = rest < bufferFill_ ? rest : bufferFill_;
            std::memcpy(out + done, buffer_, n);
            bufferNext_ = static_cast<unsigned int>(n);
            bufferMode_ = kReadingAhead;
            done += n;
            position_ += n;
        }
    }
    if (done != count) state_ = kStreamEOF;
    return done;
}

unsigned long long OBFileXferBytesRef::BufferedWrite(const unsigned char* in,
                                                     unsigned long long count) {
    DropReadAhead();
    if (bufferMode_ == kIdle) {
        bufferMode_ = kWritingBehind;
        bufferStart_ = position_;
        bufferFill_ = 0;
    }
    if (count <= kBufferBytes - bufferFill_) {
        std::memcpy(buffer_ + bufferFill_, in, count);
        bufferFill_ += static_cast<unsigned int>(count);
        position_ += count;
        return count;
    }
    if (!WriteOut()) return 0; // the file refuses bytes: this call stores none
    if (count >= kBufferBytes) {
        long long put = obsys::WriteFile(fileHandle_, in, count);
        unsigned long long n = put > 0 ? static_cast<unsigned long long>(put) : 0;
        position_ += n;
        if (n != count) state_ = kStreamError;
        return n;
    }
    std::memcpy(buffer_, in, count);
    bufferMode_ = kWritingBehind;
    bufferStart_ = position_;
    bufferFill_ = static_cast<unsigned int>(count);
    position_ += count;
    return count;
}

unsigned long long OBFileXferBytesRef::BufferedSeek(long long offset, OBSeekFromWhere from) {
    WriteOut();
    long long target = 0;
    if (from == kSeekFromStart) {
        target = offset;
    } else if (from == kSeekFromEnd ||
               __builtin_add_overflow(static_cast<long long>(position_), offset, &target)) {
        DropReadAhead(); // the end is the handle's to find
        long long at = obsys::SeekFile(fileHandle_, offset, Origin(from));
        if (at >= 0) position_ = static_cast<unsigned long long>(at);
        return position_;
    }
    if (target < 0) return position_; // refused: the position stays
    unsigned long long t = static_cast<unsigned long long>(target);
    if (bufferMode_ == kReadingAhead && t >= bufferStart_ && t <= bufferStart_ + bufferFill_) {
        bufferNext_ = static_cast<unsigned int>(t - bufferStart_);
        position_ = t;
        return t;
    }
    bufferMode_ = kIdle;
    bufferFill_ = bufferNext_ = 0;
    long long at = obsys::SeekFile(fileHandle_, target, obsys::kSeekSet);
    if (at >= 0) {
        position_ = static_cast<unsigned long long>(at);
    } else {
        obsys::SeekFile(fileHandle_, static_cast<long long>(position_), obsys::kSeekSet);
    }
    return position_;
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): the exported signature takes a copy
short OBFileXferBytesRef::Create(OBSysFileRef file, unsigned int mode, unsigned int creator,
                                 unsigned int type) {
    return Open(file, mode, creator, type);
}

void OBFileXferBytesRef::Close() {
    if (state_ == kStreamClosed) return;
    bool stored = true;
    if (buffer_) {
        stored = WriteOut();
        OBLibFree(buffer_);
        buffer_ = nullptr;
    }
    OBOpenFileList::Remove(*this);
    if (fileHandle_ != obsys::kInvalidFile) {
        obsys::CloseFile(fileHandle_);
        fileHandle_ = obsys::kInvalidFile;
    } else if (stdioStream_) {
        obsys::StdioClose(stdioStream_);
        stdioStream_ = nullptr;
    }
    // Bytes that the file refused at the last moment leave the error showing.
    state_ = stored ? kStreamClosed : kStreamError;
    DropCachedCopy();
}

void OBFileXferBytesRef::DropCachedCopy() {
    if (!cachedCopy_) return;
    WOBFileUtility::DeleteFileA(cachedSystemFile_);
    cachedSystemFile_ = systemFile_;
    cachedCopy_ = 0;
}

unsigned long long OBFileXferBytesRef::Read(void* buffer, unsigned long long count) {
    if (buffer_ && buffer) return BufferedRead(static_cast<unsigned char*>(buffer), count);
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
    // A file opened for reading refuses writes at once, as without a buffer.
    if (buffer_ && buffer && writable_)
        return BufferedWrite(static_cast<const unsigned char*>(buffer), count);
    Settle();
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
    if (buffer_) return BufferedSeek(offset, from);
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
    if (buffer_) return position_;
    long long at = -1;
    if (fileHandle_ != obsys::kInvalidFile) {
        at = obsys::SeekFile(fileHandle_, 0, obsys::kSeekCurrent);
    } else if (stdioStream_) {
        at = obsys::StdioTell(stdioStream_);
    }
    return at > 0 ? static_cast<unsigned long long>(at) : 0;
}

void OBFileXferBytesRef::Flush() {
    Settle();
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
    Settle();
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
    if (source.Valid()) OBOpenFileList::SettlePath(source.Get());
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
