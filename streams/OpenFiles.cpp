#include "streams/OpenFiles.h"

#include "platform/System.h"

#include <mutex>

namespace {

// One list for the process; a transfer's links and file fields change only
// under this lock. Only the calling thread's transfers are ever settled:
// each stream is used by one thread at a time, so a transfer that another
// thread is using is that thread's to flush.
std::mutex gLock;
OBFileXferBytesRef* gFirst = nullptr;
const bool gForkHeld = obsys::AtFork([] { gLock.lock(); }, [] { gLock.unlock(); });

} // namespace

bool OBOpenFileList::Add(OBFileXferBytesRef& transfer, const obsys::FileIdentity& file) {
    unsigned long self = obsys::CurrentThreadId();
    bool alone = true;
    std::lock_guard<std::mutex> lock(gLock);
    for (OBFileXferBytesRef* t = gFirst; t; t = t->nextOpen_) {
        if (t->ownerThread_ != self || t->fileDevice_ != file.device || t->fileInode_ != file.inode)
            continue;
        t->Settle();
        OBLibFree(t->buffer_); // from now on it goes straight to its handle
        t->buffer_ = nullptr;
        alone = false;
    }
    transfer.fileDevice_ = file.device;
    transfer.fileInode_ = file.inode;
    transfer.ownerThread_ = self;
    transfer.prevOpen_ = nullptr;
    transfer.nextOpen_ = gFirst;
    if (gFirst) gFirst->prevOpen_ = &transfer;
    gFirst = &transfer;
    transfer.listed_ = 1;
    return alone;
}

void OBOpenFileList::Remove(OBFileXferBytesRef& transfer) {
    if (!transfer.listed_) return;
    std::lock_guard<std::mutex> lock(gLock);
    if (transfer.prevOpen_) {
        transfer.prevOpen_->nextOpen_ = transfer.nextOpen_;
    } else {
        gFirst = transfer.nextOpen_;
    }
    if (transfer.nextOpen_) transfer.nextOpen_->prevOpen_ = transfer.prevOpen_;
    transfer.prevOpen_ = transfer.nextOpen_ = nullptr;
    transfer.listed_ = 0;
}

void OBOpenFileList::SettlePath(const char* path) {
    obsys::FileIdentity file;
    if (!obsys::PathIdentity(path, file)) return;
    unsigned long self = obsys::CurrentThreadId();
    std::lock_guard<std::mutex> lock(gLock);
    for (OBFileXferBytesRef* t = gFirst; t; t = t->nextOpen_) {
        if (t->ownerThread_ == self && t->fileDevice_ == file.device && t->fileInode_ == file.inode)
            t->Settle();
    }
}
