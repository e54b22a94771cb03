#include "platform/Outputs.h"

#include <ombra/memory.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace obsys {

namespace {

int Open(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Fixed slots, so that a signal handler reads them without allocating.
constexpr int kGuardSlots = 128;
struct GuardSlot {
    std::atomic<int> state{0}; // 0 free, 1 being filled, 2 guarded
    char path[PATH_MAX];
};
GuardSlot gSlots[kGuardSlots];
std::atomic<unsigned long> gSequence{0};

int Guard(const char* path) {
    std::size_t n = std::strlen(path);
    if (n >= PATH_MAX) return -1;
    for (int i = 0; i < kGuardSlots; ++i) {
        int expected = 0;
        if (gSlots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(gSlots[i].path, path, n + 1);
            gSlots[i].state.store(2);
            return i;
        }
    }
    return -1;
}

void Unguard(int slot) {
    if (slot >= 0) gSlots[slot].state.store(0);
}

// The file a chain of symbolic links ends at (which need not exist yet);
// false for a loop or a name too long.
bool Resolve(const char* path, char* out) {
    if (std::strlen(path) >= PATH_MAX) return false;
    std::strcpy(out, path);
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (::lstat(out, &info) != 0 || !S_ISLNK(info.st_mode)) return true;
        char target[PATH_MAX];
        ssize_t n = ::readlink(out, target, sizeof target - 1);
        if (n < 0) return false;
        target[n] = 0;
        if (target[0] == '/') {
            std::memcpy(out, target, static_cast<std::size_t>(n) + 1);
            continue;
        }
        char* slash = std::strrchr(out, '/');
        std::size_t keep = slash ? static_cast<std::size_t>(slash - out + 1) : 0;
        if (keep + static_cast<std::size_t>(n) >= PATH_MAX) return false;
        std::memcpy(out + keep, target, static_cast<std::size_t>(n) + 1);
    }
    errno = ELOOP;
    return false;
}

int WriteInPlace(const char* path, int flags, const void* data, unsigned long long size) {
    int fd = Open(path, O_WRONLY | O_NOCTTY | flags);
    if (fd < 0) return errno;
    int error = WriteAll(fd, data, size);
    if (::close(fd) != 0 && !error && errno != EINTR) error = errno;
    return error;
}

int Replace(const char* path, const struct stat* old, const void* data, unsigned long long size) {
    char temporary[PATH_MAX];
    const char* slash = std::strrchr(path, '/');
    int folder = slash ? static_cast<int>(slash - path + 1) : 0;
    int n = std::snprintf(temporary, sizeof temporary, "%.*s.%s.%ld-%lu.part", folder, path,
                          path + folder, static_cast<long>(::getpid()), ++gSequence);
    if (n < 0 || n >= static_cast<int>(sizeof temporary)) return ENAMETOOLONG;
    int slot = Guard(temporary);
    int fd = Open(temporary, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) {
        int error = errno;
        Unguard(slot);
        return error;
    }
    int error = 0;
    if (old) {
        // The owner first: changing it may clear the set-id bits of the mode.
        if (::fchown(fd, old->st_uid, old->st_gid) != 0 && errno != EPERM) error = errno;
        if (!error && ::fchmod(fd, old->st_mode & 07777) != 0) error = errno;
    }
    if (!error) error = WriteAll(fd, data, size);
    if (::close(fd) != 0 && !error && errno != EINTR) error = errno;
    if (!error && ::rename(temporary, path) != 0) error = errno;
    if (error) ::unlink(temporary);
    Unguard(slot);
    return error;
}

} // namespace

int ReadAll(int descriptor, unsigned char*& data, unsigned long long& size) {
    data = nullptr;
    size = 0;
    struct stat info;
    if (::fstat(descriptor, &info) != 0) return errno;
    if (S_ISDIR(info.st_mode)) return EISDIR;
    // A regular file is read into one block of its size (and a byte more,
    // to see its end); anything else grows as it comes.
    unsigned long long capacity = S_ISREG(info.st_mode) && info.st_size >= 0
                                      ? static_cast<unsigned long long>(info.st_size) + 1
                                      : 65536;
    data = static_cast<unsigned char*>(OBLibAllocate(capacity));
    if (!data) return ENOMEM;
    for (;;) {
        if (size == capacity) {
            auto* grown = static_cast<unsigned char*>(OBLibAllocate(capacity * 2));
            if (!grown) {
                OBLibFree(data);
                data = nullptr;
                size = 0;
                return ENOMEM;
            }
            std::memcpy(grown, data, size);
            OBLibFree(data);
            data = grown;
            capacity *= 2;
        }
        ssize_t n = ::read(descriptor, data + size, capacity - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int error = errno;
            OBLibFree(data);
            data = nullptr;
            size = 0;
            return error;
        }
        if (n == 0) return 0;
        size += static_cast<unsigned long long>(n);
    }
}

int ReadAllFromPath(const char* path, unsigned char*& data, unsigned long long& size) {
    data = nullptr;
    size = 0;
    int fd = Open(path, O_RDONLY | O_NOCTTY);
    if (fd < 0) return errno;
    int error = ReadAll(fd, data, size);
    ::close(fd);
    return error;
}

int WriteAll(int descriptor, const void* data, unsigned long long size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(descriptor, p, size > (1u << 30) ? (1u << 30) : size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        p += n;
        size -= static_cast<unsigned long long>(n);
    }
    return 0;
}

int WriteWholeFile(const char* path, const void* data, unsigned long long size) {
    if (!path || !*path) return ENOENT;
    char target[PATH_MAX];
    if (!Resolve(path, target)) return errno ? errno : ELOOP;
    struct stat info;
    if (::stat(target, &info) != 0) {
        if (errno != ENOENT) return errno;
        return Replace(target, nullptr, data, size);
    }
    if (S_ISDIR(info.st_mode)) return EISDIR;
    if (!S_ISREG(info.st_mode)) return WriteInPlace(target, 0, data, size);
    if (info.st_nlink > 1) return WriteInPlace(target, O_TRUNC, data, size);
    return Replace(target, &info, data, size);
}

void RemovePartialOutputs() {
    for (GuardSlot& slot : gSlots)
        if (slot.state.load() == 2) ::unlink(slot.path);
}

bool SameFile(const char* a, const char* b) {
    struct stat first, second;
    return a && b && ::stat(a, &first) == 0 && ::stat(b, &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool IsTerminal(int descriptor) {
    return ::isatty(descriptor) == 1;
}

} // namespace obsys
