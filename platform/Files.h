// File, folder and temporary-file primitives over POSIX. Paths are UTF-8
// with '/' as the separator. Nothing here allocates on the global heap.
#ifndef OMBRA_PLATFORM_FILES_H
#define OMBRA_PLATFORM_FILES_H

#include <cstddef>
#include <string>

namespace obsys {

typedef int FileHandle;
constexpr FileHandle kInvalidFile = -1;

enum FileAccess : unsigned { kAccessRead = 1, kAccessWrite = 2 };

enum FileCreation {
    kOpenExisting,     // fail when missing
    kOpenAlways,       // create when missing, keep content
    kCreateAlways,     // create anew, empty
    kTruncateExisting, // fail when missing, else empty it
};

enum SeekOrigin { kSeekSet, kSeekCurrent, kSeekEnd };

/// Opens a file; other openers may read it at the same time. kInvalidFile on failure.
FileHandle OpenFile(const char* path, unsigned access, FileCreation creation);
/// Bytes read or written, -1 on failure. Short counts only at end of file or on error.
long long ReadFile(FileHandle file, void* buffer, unsigned long long count);
long long WriteFile(FileHandle file, const void* buffer, unsigned long long count);
/// The new position, -1 on failure.
long long SeekFile(FileHandle file, long long offset, SeekOrigin origin);
/// Ends the file at its current position.
bool TruncateFileHere(FileHandle file);
bool FlushFile(FileHandle file);
/// -1 on failure.
long long FileSize(FileHandle file);
void CloseFile(FileHandle file);
/// A read-only view of the file's first size bytes; later writes to those
/// bytes through any handle show in it. Null on failure or for size 0.
const unsigned char* MapFile(FileHandle file, unsigned long long size);
void UnmapFile(const unsigned char* view, unsigned long long size);

/// What tells two handles or paths of one file apart from others.
struct FileIdentity {
    unsigned long long device;
    unsigned long long inode;
    bool operator==(const FileIdentity& o) const { return device == o.device && inode == o.inode; }
};
/// False for a handle that is not a regular file (a pipe, a device) or cannot be examined.
bool RegularFileIdentity(FileHandle file, FileIdentity& out);
/// False when the path names no file.
bool PathIdentity(const char* path, FileIdentity& out);

bool PathExists(const char* path);
/// The absolute folder of an existing path, links resolved, without a
/// trailing '/' ("/" for the root); false when the path does not resolve.
bool AbsoluteFolderOf(const char* path, std::string& folder);
/// The same for a file that may not exist yet: the absolute folder it
/// would be made in.
bool FolderForFile(const char* path, std::string& folder);
bool IsDirectory(const char* path);
/// True for a path that names a regular file (links followed); never opens it.
bool IsRegularFile(const char* path);
bool DeleteFile(const char* path);
/// Copies src onto dst, replacing dst. The copy is complete or dst is not left behind.
bool CopyFile(const char* src, const char* dst);
/// -1 when the file cannot be opened.
long long FileSizeByPath(const char* path);
/// True when the path lies on a network file system (NFS, SMB/CIFS, AFS, network FUSE).
bool IsNetworkPath(const char* path);

/// The platform's temporary folder ($TMPDIR, else /tmp), ending with '/'.
/// Returns the length written (without NUL), 0 when it does not fit.
std::size_t TempPath(char* buffer, std::size_t capacity);
/// Creates path as a new empty file that only its owner may read or write.
/// False when anything, a dangling link included, already has the name.
bool CreateNewFile(const char* path);
/// Creates a new empty file named folder/prefixXXXXXX and writes its path.
bool CreateUniqueFile(const char* folder, const char* prefix, char* out, std::size_t capacity);

/// The C runtime's buffered streams, the read fallback for files the
/// handle calls cannot open. Null, 0 and -1 report failures.
typedef void* StdioFile;
/// fopen(path, "rb"); null for a folder or a file that cannot be opened.
StdioFile StdioOpenRead(const char* path);
unsigned long long StdioRead(StdioFile file, void* buffer, unsigned long long count);
unsigned long long StdioWrite(StdioFile file, const void* buffer, unsigned long long count);
/// False when the stream cannot move there.
bool StdioSeek(StdioFile file, long long offset, SeekOrigin origin);
long long StdioTell(StdioFile file);
bool StdioFlush(StdioFile file);
void StdioClose(StdioFile file);

/// A folder's entries (without "." and ".."), sorted by name for a stable walk.
struct DirectoryEntry {
    const char* name;
    bool isDirectory;       // symbolic links to folders count as files: walks never loop
    bool isLinkToDirectory; // a symbolic link whose target is a folder, for walks that skip them
};
class Directory {
public:
    Directory();
    ~Directory();
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;
    /// False when the folder cannot be read.
    bool Open(const char* path);
    /// False when no entry is left.
    bool Next(DirectoryEntry& entry);
    void Close();

private:
    char* names_;          // NUL-separated names, from the memory service
    unsigned char* kinds_; // per entry: kEntryFile, kEntryDirectory or kEntryLinkToDirectory
    std::size_t* offsets_;
    std::size_t count_;
    std::size_t next_;
};

} // namespace obsys

#endif
