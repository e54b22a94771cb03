#include "HostSystem.h"

#include <ombra/convert.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombra_host {

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

PathKind KindOf(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return PathKind::kMissing;
    if (S_ISDIR(info.st_mode)) return PathKind::kFolder;
    if (S_ISREG(info.st_mode)) return PathKind::kFile;
    return PathKind::kOther;
}

int MakeFolders(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) return error.value();
    return KindOf(path) == PathKind::kFolder ? 0 : ENOTDIR;
}

long long FileSize(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return static_cast<long long>(info.st_size);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat first, second;
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

namespace {
void RemovePartialAndEnd(int signal) {
    ombra::RemovePartialOutputs();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
} // namespace

// SIGABRT too: an abort (std::terminate among them) while an output is
// being written leaves no temporary file beside it.
void InstallInterruptCleanup() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT})
        std::signal(signal, RemovePartialAndEnd);
}

int FinishStandardOutput() {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return errno ? errno : EIO;
    return 0;
}

// The first error is the one to tell: a full device fails the write itself
// (ENOSPC), and the flush after it only finds the stream failed.
int WriteStandardOutput(const std::string& bytes) {
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) < bytes.size())
        return errno ? errno : EIO;
    return FinishStandardOutput();
}

} // namespace ombra_host
