#include <ombra/streams.h>

#include "platform/Files.h"
#include "streams/SeekWithin.h"

#include <cstring>

namespace {

// The backing file's four-character creator and type codes.
constexpr unsigned int kBackingCreator = 0x54454D50; // "TEMP"
constexpr unsigned int kBackingType = 0x20202020;    // four spaces

} // namespace

OBMemXferBytes::OBMemXferBytes()
    : buffer_(nullptr), capacity_(kCapacity), position_(0), size_(0), state_(kStreamOK),
      ownsBuffer_(1), isBacked_(0), backingFile_(), backing_(nullptr) {}

OBMemXferBytes::~OBMemXferBytes() {
    if (ownsBuffer_) {
        if (isBacked_) {
            obsys::UnmapFile(buffer_, capacity_);
            if (backing_) backing_->Close();
            WOBFileUtility::DeleteFileA(backingFile_);
        } else {
            OBLibFree(buffer_);
        }
        delete backing_;
    }
}

namespace {
// A fresh name in the temporary folder, claimed by creating the file there:
// a name that another process takes between the look and the creation,
// a planted link among them, is passed over. False when no name is found.
bool ClaimBackingName(OBSysFileRef& file) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        WOBFileUtility utility(COBString("BackingStore"), true);
        utility.SetUniqueName();
        file = utility.GetSysFile();
        OBFileSystemPath path(file);
        // Without memory the name may have stayed bare (no folder): it must
        // not land in the working directory.
        if (!path.Valid() || !std::strchr(path.Get(), '/')) return false;
        if (obsys::CreateNewFile(path.Get())) return true;
    }
    return false;
}
} // namespace

bool OBMemXferBytes::CreateFileBackingStore() {
    OBSysFileRef file;
    if (!ClaimBackingName(file)) return false;
    OBFileXferBytesRef* backing = new OBFileXferBytesRef;
    if (!backing ||
        backing->Open(file, kFileRead | kFileWrite, kBackingCreator, kBackingType) != 1) {
        delete backing;
        WOBFileUtility::DeleteFileA(file);
        return false;
    }
    // The write that overflows covers everything from position to the old
    // size, so the bytes before position are all that must move.
    if (position_ > 0 &&
        (backing->Write(buffer_, position_) != position_ || !backing->WriteOut())) {
        backing->Close();
        delete backing;
        WOBFileUtility::DeleteFileA(file); // no partial file is left behind
        return false;
    }
    backingFile_ = file;
    if (backingFile_ != file) { // without the name the file could not be deleted later
        backing->Close();
        delete backing;
        WOBFileUtility::DeleteFileA(file);
        return false;
    }
    backing_ = backing;
    isBacked_ = 1;
    OBLibFree(buffer_); // the file holds those bytes now
    buffer_ = nullptr;
    capacity_ = 0;
    return true;
}

// A large read copies out of a view of the file: the kernel's own copy out
// of its cache costs about half as much again as a memcpy. The view maps the
// whole file and is made again only when a read reaches past it.
unsigned long long OBMemXferBytes::ReadThroughView(void* buffer, unsigned long long count) {
    OBFileXferBytesRef& file = *backing_;
    if (!file.buffer_ || file.fileHandle_ == obsys::kInvalidFile) return file.Read(buffer, count);
    file.Settle(); // the file holds every byte and the handle stands at the position
    unsigned long long at = file.position_;
    long long size = obsys::FileSize(file.fileHandle_);
    if (size < 0 || at + count > static_cast<unsigned long long>(size))
        return file.Read(buffer, count); // the end of the file: the usual state changes
    if (at + count > capacity_) {
        obsys::UnmapFile(buffer_, capacity_);
        capacity_ = static_cast<unsigned long long>(size);
        buffer_ = const_cast<unsigned char*>(obsys::MapFile(file.fileHandle_, capacity_));
        if (!buffer_) capacity_ = 0;
    }
    if (!buffer_ ||
        obsys::SeekFile(file.fileHandle_, static_cast<long long>(at + count), obsys::kSeekSet) < 0)
        return file.Read(buffer, count);
    std::memcpy(buffer, buffer_ + at, count);
    file.position_ = at + count;
    return count;
}

unsigned long long OBMemXferBytes::Read(void* buffer, unsigned long long count) {
    if (isBacked_) {
        if (buffer && count >= OBFileXferBytesRef::kBufferSize)
            return ReadThroughView(buffer, count);
        return backing_->Read(buffer, count);
    }
    unsigned long long available = size_ - position_;
    unsigned long long n = count < available ? count : available;
    if (!buffer) n = 0;
    if (n < count) state_ = kStreamEOF;
    if (n) std::memcpy(buffer, buffer_ + position_, n);
    position_ += n;
    return n;
}

unsigned long long OBMemXferBytes::Write(const void* buffer, unsigned long long count) {
    if (!isBacked_) {
        if (!buffer && count) {
            state_ = kStreamError;
            return 0;
        }
        // The buffer comes with the first bytes, so an idle transfer costs
        // nothing; without memory the bytes go straight to the file.
        if (count && !buffer_ && capacity_) {
            buffer_ = static_cast<unsigned char*>(OBLibAllocate(kCapacity));
            if (!buffer_) capacity_ = 0;
        }
        if (count <= capacity_ - position_) {
            if (count) std::memcpy(buffer_ + position_, buffer, count);
            position_ += count;
            if (position_ > size_) size_ = position_;
            return count;
        }
        if (!CreateFileBackingStore()) {
            state_ = kStreamError; // the content so far stays in memory
            return 0;
        }
        // The spill is complete once the file holds every byte.
        unsigned long long before = backing_->Tell();
        unsigned long long n = backing_->Write(buffer, count);
        if (n == count && !backing_->WriteOut()) n = backing_->Tell() - before;
        position_ = backing_->Tell();
        return n;
    }
    unsigned long long n = backing_->Write(buffer, count);
    position_ = backing_->Tell();
    return n;
}

unsigned long long OBMemXferBytes::Seek(long long offset, OBSeekFromWhere from) {
    if (isBacked_) {
        position_ = backing_->Seek(offset, from);
        return position_;
    }
    if (state_ == kStreamEOF) state_ = kStreamOK;
    position_ = obstreams::SeekWithin(position_, size_, offset, from);
    return position_;
}

unsigned long long OBMemXferBytes::Tell() {
    return isBacked_ ? backing_->Tell() : position_;
}

void OBMemXferBytes::Flush() {
    if (isBacked_) backing_->Flush();
}

OBStreamState OBMemXferBytes::GetStreamState() {
    return isBacked_ ? backing_->GetStreamState() : state_;
}

void OBMemXferBytes::SetEndOfStream() {
    if (isBacked_) {
        backing_->SetEndOfStream();
    } else {
        size_ = position_;
    }
}
