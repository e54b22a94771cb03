// A regular file as a conversion's input, read as the reader asks.
#ifndef OMBRA_FRAMEWORK_PATHINPUT_H
#define OMBRA_FRAMEWORK_PATHINPUT_H

#include <ombra/typedstreams.h>

#include "platform/Files.h"

namespace obconvert {

/// A regular file read as the conversion goes, through a window of 64 KiB,
/// with the positions, seeks and ends of the same bytes held in memory: a
/// large input is not held whole beside what the reader makes of it. A read
/// that fails, or a file that ends before the size it had when opened, ends
/// the input there and is kept as Error(), so that the conversion fails as
/// an unreadable input does instead of converting part of it.
class PathInput : public COBStreamRead {
public:
    /// Files below this size are read whole: holding them costs little,
    /// and the kernel's own files (under /proc and /sys), which tell sizes
    /// their bytes do not match, are all far smaller.
    static constexpr unsigned long long kSmallest = 1 << 20;

    /// Null for a path that names no regular file of this machine (a FIFO,
    /// a device, a file on a network file system), one smaller than
    /// `smallest` or than a byte, one that cannot be opened, or no memory:
    /// such inputs are read whole.
    static PathInput* Open(const char* path, unsigned long long smallest = kSmallest);
    ~PathInput() override;
    PathInput(const PathInput&) = delete;
    PathInput& operator=(const PathInput&) = delete;
    /// The errno of the read that failed, EIO for a file that shrank, or 0.
    int Error() const { return bytes_.error; }

private:
    struct Bytes : public OBXferBytes {
        static constexpr unsigned kWindow = 65536;
        Bytes(obsys::FileHandle f, unsigned long long n) : file(f), size(n) {}
        unsigned long long Read(void* buffer, unsigned long long count) override;
        unsigned long long Write(const void* buffer, unsigned long long count) override;
        unsigned long long Seek(long long offset, OBSeekFromWhere from) override;
        unsigned long long Tell() override { return position; }
        void Flush() override {}
        OBStreamState GetStreamState() override { return state; }
        void SetEndOfStream() override { size = position; }
        bool Fetch(unsigned char* out, unsigned long long at, unsigned long long count);

        obsys::FileHandle file;
        unsigned long long size, position = 0;
        unsigned long long fileAt = 0;   // where the handle stands
        unsigned long long windowAt = 0; // the file offset of window[0]
        unsigned long long windowFill = 0;
        OBStreamState state = kStreamOK;
        int error = 0;
        unsigned char window[kWindow];
    };
    PathInput(obsys::FileHandle file, unsigned long long size);
    Bytes bytes_;
};

} // namespace obconvert

#endif
