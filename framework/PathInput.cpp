#include "framework/PathInput.h"

#include "streams/SeekWithin.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace obconvert {

PathInput* PathInput::Open(const char* path, unsigned long long smallest) {
    // Only a regular file is opened here: opening a FIFO waits for a writer.
    if (!obsys::IsRegularFile(path) || obsys::IsNetworkPath(path)) return nullptr;
    obsys::FileHandle file = obsys::OpenFile(path, obsys::kAccessRead, obsys::kOpenExisting);
    if (file == obsys::kInvalidFile) return nullptr;
    obsys::FileIdentity identity;
    long long size = obsys::RegularFileIdentity(file, identity) ? obsys::FileSize(file) : -1;
    PathInput* input = size > 0 && static_cast<unsigned long long>(size) >= smallest
                           ? new (std::nothrow) PathInput(file, size)
                           : nullptr;
    if (!input) obsys::CloseFile(file);
    return input;
}

PathInput::PathInput(obsys::FileHandle file, unsigned long long size) : bytes_(file, size) {
    SetXferBytes(&bytes_);
}

PathInput::~PathInput() {
    obsys::CloseFile(bytes_.file);
}

// Reads count bytes at offset at into out, straight from the file; false,
// with the error kept, when they do not all come.
bool PathInput::Bytes::Fetch(unsigned char* out, unsigned long long at, unsigned long long count) {
    if (fileAt != at && obsys::SeekFile(file, static_cast<long long>(at), obsys::kSeekSet) < 0) {
        error = errno ? errno : EIO;
        return false;
    }
    errno = 0;
    long long got = obsys::ReadFile(file, out, count);
    fileAt = at + (got > 0 ? static_cast<unsigned long long>(got) : 0);
    if (got == static_cast<long long>(count)) return true;
    error = got < 0 && errno ? errno : EIO; // a short read: the file shrank
    return false;
}

unsigned long long PathInput::Bytes::Read(void* buffer, unsigned long long count) {
    unsigned long long available = size - position;
    unsigned long long n = count < available ? count : available;
    if (!buffer) n = 0;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    unsigned long long done = 0;
    while (done < n) {
        if (position >= windowAt && position < windowAt + windowFill) {
            unsigned long long from = position - windowAt;
            unsigned long long k = windowFill - from < n - done ? windowFill - from : n - done;
            std::memcpy(out + done, window + from, k);
            done += k;
            position += k;
            continue;
        }
        unsigned long long rest = n - done;
        bool ok;
        if (rest >= kWindow) { // a large read goes straight into the caller's buffer
            ok = Fetch(out + done, position, rest);
            if (ok) {
                done += rest;
                position += rest;
            }
        } else {
            unsigned long long fill = size - position < kWindow ? size - position : kWindow;
            windowFill = 0;
            ok = Fetch(window, position, fill);
            if (ok) {
                windowAt = position;
                windowFill = fill;
            }
        }
        if (!ok) {
            size = position; // the input ends where the file failed
            break;
        }
    }
    if (done < count) state = kStreamEOF;
    return done;
}

unsigned long long PathInput::Bytes::Write(const void*, unsigned long long count) {
    if (count) state = kStreamError;
    return 0;
}

unsigned long long PathInput::Bytes::Seek(long long offset, OBSeekFromWhere from) {
    if (state == kStreamEOF) state = kStreamOK;
    position = obstreams::SeekWithin(position, size, offset, from);
    return position;
}

} // namespace obconvert
