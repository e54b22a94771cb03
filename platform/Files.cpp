#include "platform/Files.h"

#include <ombra/export.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace obsys {

namespace {
enum EntryKind : unsigned char { kEntryFile, kEntryDirectory, kEntryLinkToDirectory };
}

FileHandle OpenFile(const char* path, unsigned access, FileCreation creation) {
    if (!path || !*path) return kInvalidFile;
    int flags = O_CLOEXEC;
    bool read = access & kAccessRead, write = access & kAccessWrite;
    flags |= (read && write) ? O_RDWR : (write ? O_WRONLY : O_RDONLY);
    switch (creation) {
    case kOpenExisting:
        break;
    case kOpenAlways:
        flags |= O_CREAT;
        break;
    case kCreateAlways:
        flags |= O_CREAT | O_TRUNC;
        break;
    case kTruncateExisting:
        flags |= O_TRUNC;
        break;
    }
    if ((flags & O_TRUNC) && !write) flags = (flags & ~O_RDONLY) | O_RDWR;
    int fd;
    do {
        fd = ::open(path, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return kInvalidFile;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) { // a folder is not a file
        ::close(fd);
        return kInvalidFile;
    }
    return fd;
}

long long ReadFile(FileHandle file, void* buffer, unsigned long long count) {
    if (file < 0 || (!buffer && count)) return -1;
    unsigned long long done = 0;
    char* p = static_cast<char*>(buffer);
    while (done < count) {
        ssize_t n = ::read(file, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return done ? static_cast<long long>(done) : -1;
        }
        if (n == 0) break;
        done += static_cast<unsigned long long>(n);
    }
    return static_cast<long long>(done);
}

long long WriteFile(FileHandle file, const void* buffer, unsigned long long count) {
    if (file < 0 || (!buffer && count)) return -1;
    unsigned long long done = 0;
    const char* p = static_cast<const char*>(buffer);
    while (done < count) {
        ssize_t n = ::write(file, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return done ? static_cast<long long>(done) : -1;
        }
        done += static_cast<unsigned long long>(n);
    }
    return static_cast<long long>(done);
}

long long SeekFile(FileHandle file, long long offset, SeekOrigin origin) {
    if (file < 0) return -1;
    int whence = origin == kSeekSet ? SEEK_SET : (origin == kSeekEnd ? SEEK_END : SEEK_CUR);
    off_t r = ::lseek(file, static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<long long>(r);
}

bool TruncateFileHere(FileHandle file) {
    long long here = SeekFile(file, 0, kSeekCurrent);
    return here >= 0 && ::ftruncate(file, static_cast<off_t>(here)) == 0;
}

bool FlushFile(FileHandle file) {
    return file >= 0 && ::fsync(file) == 0;
}

long long FileSize(FileHandle file) {
    struct stat st;
    if (file < 0 || ::fstat(file, &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
}

void CloseFile(FileHandle file) {
    if (file >= 0) ::close(file);
}

const unsigned char* MapFile(FileHandle file, unsigned long long size) {
    if (file < 0 || size == 0) return nullptr;
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, file, 0);
    return view == MAP_FAILED ? nullptr : static_cast<const unsigned char*>(view);
}

void UnmapFile(const unsigned char* view, unsigned long long size) {
    if (view) ::munmap(const_cast<unsigned char*>(view), size);
}

bool RegularFileIdentity(FileHandle file, FileIdentity& out) {
    struct stat st;
    if (file < 0 || ::fstat(file, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    out = {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
    return true;
}

bool PathIdentity(const char* path, FileIdentity& out) {
    struct stat st;
    if (!path || !*path || ::stat(path, &st) != 0) return false;
    out = {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
    return true;
}

bool PathExists(const char* path) {
    return path && *path && ::access(path, F_OK) == 0;
}

bool CreateNewFile(const char* path) {
    if (!path || !*path) return false;
    int fd;
    do {
        fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool IsDirectory(const char* path) {
    struct stat st;
    return path && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool AbsoluteFolderOf(const char* path, std::string& folder) {
    char* resolved = path ? ::realpath(path, nullptr) : nullptr;
    if (!resolved) return false;
    folder = resolved;
    std::free(resolved);
    const std::size_t slash = folder.rfind('/');
    folder.resize(slash == std::string::npos || slash == 0 ? 1 : slash);
    return true;
}

bool FolderForFile(const char* path, std::string& folder) {
    if (!path || !*path) return false;
    if (AbsoluteFolderOf(path, folder)) return true;
    const char* slash = std::strrchr(path, '/');
    const std::string parent = !slash ? "." : slash == path ? "/" : std::string(path, slash);
    char* resolved = ::realpath(parent.c_str(), nullptr);
    if (!resolved) return false;
    folder = resolved;
    std::free(resolved);
    return true;
}

bool IsRegularFile(const char* path) {
    struct stat st;
    return path && ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFile(const char* path) {
    return path && *path && ::unlink(path) == 0;
}

bool CopyFile(const char* src, const char* dst) {
    if (!src || !dst || !*src || !*dst) return false;
    FileHandle in = OpenFile(src, kAccessRead, kOpenExisting);
    if (in == kInvalidFile) return false;
    FileHandle out = OpenFile(dst, kAccessWrite, kCreateAlways);
    if (out == kInvalidFile) {
        CloseFile(in);
        return false;
    }
    char chunk[64 * 1024];
    bool ok = true;
    for (;;) {
        long long n = ReadFile(in, chunk, sizeof chunk);
        if (n < 0) ok = false;
        if (n <= 0) break;
        if (WriteFile(out, chunk, static_cast<unsigned long long>(n)) != n) {
            ok = false;
            break;
        }
    }
    CloseFile(in);
    CloseFile(out);
    if (!ok) DeleteFile(dst); // never leave a partial copy behind
    return ok;
}

long long FileSizeByPath(const char* path) {
    FileHandle f = OpenFile(path, kAccessRead, kOpenExisting);
    if (f == kInvalidFile) return -1;
    long long size = FileSize(f);
    CloseFile(f);
    return size;
}

bool IsNetworkPath(const char* path) {
    struct statfs fs;
    if (!path || ::statfs(path, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969:     // NFS
    case 0x517B:     // SMB
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case 0x5346414F: // AFS
    case 0x564C:     // NCP
    case 0x65735546: // FUSE (sshfs and friends)
    case 0x01021997: // 9P
    case 0x73757245: // Coda
        return true;
    default:
        return false;
    }
}

std::size_t TempPath(char* buffer, std::size_t capacity) {
    const char* dir = std::getenv("TMPDIR");
    if (!dir || !*dir || !IsDirectory(dir)) dir = "/tmp";
    std::size_t n = std::strlen(dir);
    bool slash = dir[n - 1] == '/';
    std::size_t total = n + (slash ? 0 : 1);
    if (!buffer || total + 1 > capacity) return 0;
    std::memcpy(buffer, dir, n);
    if (!slash) buffer[n] = '/';
    buffer[total] = 0;
    return total;
}

bool CreateUniqueFile(const char* folder, const char* prefix, char* out, std::size_t capacity) {
    if (!folder || !prefix || !out) return false;
    std::size_t f = std::strlen(folder), p = std::strlen(prefix);
    bool slash = f > 0 && folder[f - 1] == '/';
    std::size_t total = f + (slash ? 0 : 1) + p + 6;
    if (total + 1 > capacity) return false;
    std::memcpy(out, folder, f);
    std::size_t at = f;
    if (!slash) out[at++] = '/';
    std::memcpy(out + at, prefix, p);
    std::memcpy(out + at + p, "XXXXXX", 7);
    int fd = ::mkostemp(out, O_CLOEXEC);
    if (fd < 0) {
        out[0] = 0;
        return false;
    }
    ::close(fd);
    return true;
}

StdioFile StdioOpenRead(const char* path) {
    if (!path || !*path || IsDirectory(path)) return nullptr;
    return std::fopen(path, "rbe");
}

unsigned long long StdioRead(StdioFile file, void* buffer, unsigned long long count) {
    if (!file || !buffer) return 0;
    return std::fread(buffer, 1, count, static_cast<FILE*>(file));
}

unsigned long long StdioWrite(StdioFile file, const void* buffer, unsigned long long count) {
    if (!file || !buffer) return 0;
    return std::fwrite(buffer, 1, count, static_cast<FILE*>(file));
}

bool StdioSeek(StdioFile file, long long offset, SeekOrigin origin) {
    if (!file) return false;
    int whence = origin == kSeekSet ? SEEK_SET : (origin == kSeekEnd ? SEEK_END : SEEK_CUR);
    return ::fseeko(static_cast<FILE*>(file), static_cast<off_t>(offset), whence) == 0;
}

long long StdioTell(StdioFile file) {
    if (!file) return -1;
    return static_cast<long long>(::ftello(static_cast<FILE*>(file)));
}

bool StdioFlush(StdioFile file) {
    return file && std::fflush(static_cast<FILE*>(file)) == 0;
}

void StdioClose(StdioFile file) {
    if (file) std::fclose(static_cast<FILE*>(file));
}

Directory::Directory() : names_(nullptr), kinds_(nullptr), offsets_(nullptr), count_(0), next_(0) {}

Directory::~Directory() {
    Close();
}

void Directory::Close() {
    OBLibFree(names_);
    OBLibFree(kinds_);
    OBLibFree(offsets_);
    names_ = nullptr;
    kinds_ = nullptr;
    offsets_ = nullptr;
    count_ = next_ = 0;
}

bool Directory::Open(const char* path) {
    Close();
    if (!path || !*path) return false;
    int dirFd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return false;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return false;
    }
    // Two passes over the stream: sizes first, then names into one block.
    std::size_t count = 0, bytes = 0;
    while (struct dirent* e = ::readdir(dir)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        ++count;
        bytes += std::strlen(e->d_name) + 1;
    }
    bool ok = true;
    if (count) {
        names_ = static_cast<char*>(OBLibAllocate(bytes));
        kinds_ = static_cast<unsigned char*>(OBLibAllocate(count));
        offsets_ = static_cast<std::size_t*>(OBLibAllocate(count * sizeof(std::size_t)));
        ok = names_ && kinds_ && offsets_;
    }
    if (ok && count) {
        ::rewinddir(dir);
        std::size_t i = 0, at = 0;
        while (struct dirent* e = ::readdir(dir)) {
            if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
            std::size_t n = std::strlen(e->d_name) + 1;
            if (i == count || at + n > bytes) break; // the folder changed under us
            std::memcpy(names_ + at, e->d_name, n);
            offsets_[i++] = at;
            at += n;
        }
        count = i;
        // Sort by name (an index sort keeps names in place).
        std::sort(offsets_, offsets_ + count, [this](std::size_t a, std::size_t b) {
            return std::strcmp(names_ + a, names_ + b) < 0;
        });
        for (std::size_t k = 0; k < count; ++k) {
            const char* name = names_ + offsets_[k];
            struct stat st;
            kinds_[k] = kEntryFile;
            if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (S_ISDIR(st.st_mode)) {
                kinds_[k] = kEntryDirectory;
            } else if (S_ISLNK(st.st_mode) && ::fstatat(dirFd, name, &st, 0) == 0 &&
                       S_ISDIR(st.st_mode)) {
                kinds_[k] = kEntryLinkToDirectory;
            }
        }
    }
    ::closedir(dir);
    if (!ok) {
        Close();
        return false;
    }
    count_ = count;
    next_ = 0;
    return true;
}

bool Directory::Next(DirectoryEntry& entry) {
    if (next_ >= count_) return false;
    entry.name = names_ + offsets_[next_];
    entry.isDirectory = kinds_[next_] == kEntryDirectory;
    entry.isLinkToDirectory = kinds_[next_] == kEntryLinkToDirectory;
    ++next_;
    return true;
}

} // namespace obsys
