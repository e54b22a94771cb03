#include "HostSystem.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombra_host {

namespace fs = std::filesystem;

std::string ProgramFolder() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return std::string();
    return self.parent_path().string();
}

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

int TerminalWidth() {
    struct winsize size;
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

std::string EnvironmentLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return std::strncmp(value, "ja", 2) == 0 ? "ja" : "en";
    }
    return "en";
}

long ProcessId() {
    return static_cast<long>(::getpid());
}

PathKind KindOf(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return PathKind::kMissing;
    if (S_ISDIR(info.st_mode)) return PathKind::kFolder;
    if (S_ISREG(info.st_mode)) return PathKind::kFile;
    return PathKind::kOther;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat first, second;
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

namespace {
std::string Reason(int error) {
    switch (error) {
    case ENOENT:
        return "no such file or folder";
    case EACCES:
    case EPERM:
        return "permission denied";
    case EISDIR:
        return "is a folder";
    case ENOTDIR:
        return "a part of the path is not a folder";
    case EROFS:
        return "read-only file system";
    case ENOSPC:
        return "no space left on the device";
    default:
        return std::strerror(error);
    }
}
} // namespace

std::string WhyUnreadable(const std::string& path) {
    int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) return Reason(errno);
    char byte;
    std::string reason;
    if (::read(file, &byte, 1) < 0) reason = Reason(errno);
    ::close(file);
    return reason;
}

std::string WhyNotWritable(const std::string& folder) {
    switch (KindOf(folder.empty() ? "." : folder)) {
    case PathKind::kMissing:
        return "the folder " + folder + " does not exist";
    case PathKind::kFolder:
        break;
    default:
        return folder + " is not a folder";
    }
    if (::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0) return Reason(errno);
    return std::string();
}

std::string MakeFolders(const std::string& path) {
    std::error_code error;
    fs::create_directories(path, error);
    if (error) return error.message();
    if (KindOf(path) != PathKind::kFolder) return path + " is not a folder";
    return std::string();
}

std::string RenameReplacing(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) return Reason(errno);
    return std::string();
}

void RemoveFile(const std::string& path) {
    ::unlink(path.c_str());
}

// ---- removal of temporary outputs on interruption ---------------------------

namespace {

// Fixed slots, so that the signal handler reads them without allocating.
constexpr int kGuardSlots = 64; // one output at a time per thread, at most 64 threads
constexpr std::size_t kGuardPathMax = 4096;
struct GuardSlot {
    std::atomic<int> state{0}; // 0 free, 1 being written, 2 guarded
    char path[kGuardPathMax];
};
GuardSlot gSlots[kGuardSlots];

void RemoveGuardedAndEnd(int signal) {
    for (GuardSlot& slot : gSlots)
        if (slot.state.load() == 2) ::unlink(slot.path);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

int GuardTemporaryFile(const std::string& path) {
    if (path.size() >= kGuardPathMax) return -1;
    for (int i = 0; i < kGuardSlots; ++i) {
        int expected = 0;
        if (gSlots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(gSlots[i].path, path.c_str(), path.size() + 1);
            gSlots[i].state.store(2);
            return i;
        }
    }
    return -1;
}

void UnguardTemporaryFile(int slot) {
    if (slot >= 0 && slot < kGuardSlots) gSlots[slot].state.store(0);
}

void InstallInterruptCleanup() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, RemoveGuardedAndEnd);
}

} // namespace ombra_host
