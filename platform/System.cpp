#include "platform/System.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace obsys {

namespace {

// A thread's id never changes, but asking the kernel costs a system call,
// and locks ask at every conversion: each thread keeps its own in a key (a
// thread-local variable would take static TLS, which a library loaded late
// may not get). A forked child's one thread is new to the kernel: the child
// forgets the id it inherited.
struct ThreadIdKey {
    pthread_key_t key{};
    bool made = ::pthread_key_create(&key, nullptr) == 0;
    ThreadIdKey() {
        if (made)
            ::pthread_atfork(nullptr, nullptr, [] { ::pthread_setspecific(Get().key, nullptr); });
    }
    static ThreadIdKey& Get() {
        static ThreadIdKey k;
        return k;
    }
};

} // namespace

// The id is kept as the key's value itself (no thread has id 0).
unsigned long CurrentThreadId() {
    const ThreadIdKey& k = ThreadIdKey::Get();
    if (const void* known = k.made ? ::pthread_getspecific(k.key) : nullptr)
        return reinterpret_cast<unsigned long>(known);
    const auto id = static_cast<unsigned long>(::syscall(SYS_gettid));
    if (k.made)
        ::pthread_setspecific(k.key,
                              reinterpret_cast<void*>(id)); // NOLINT(performance-no-int-to-ptr)
    return id;
}

bool AtFork(void (*take)(), void (*give)()) {
    return ::pthread_atfork(take, give, give) == 0;
}

unsigned int TickCount() {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<unsigned int>(ms);
}

bool DebuggerPresent() {
    FILE* status = std::fopen("/proc/self/status", "re");
    if (!status) return false;
    char line[256];
    long tracer = 0;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "TracerPid:", 10) == 0) {
            tracer = std::strtol(line + 10, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return tracer > 0;
}

void BreakIntoDebugger() {
    std::raise(SIGTRAP);
}

void AbortProcess() {
    std::abort();
}

void WriteStandardError(const char* text, std::size_t n) {
    while (text && n > 0) {
        ssize_t written = ::write(STDERR_FILENO, text, n);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text += written;
        n -= static_cast<std::size_t>(written);
    }
}

static_assert(sizeof(pthread_key_t) <= sizeof(unsigned), "a key fits the slot's member");

ThreadExitSlot::ThreadExitSlot(void (*atThreadExit)(void*)) : key_(0), valid_(false) {
    pthread_key_t key;
    if (pthread_key_create(&key, atThreadExit) == 0) {
        key_ = static_cast<unsigned>(key);
        valid_ = true;
    }
}

ThreadExitSlot::~ThreadExitSlot() {
    if (valid_) pthread_key_delete(static_cast<pthread_key_t>(key_));
}

bool ThreadExitSlot::Set(void* value) {
    return valid_ && pthread_setspecific(static_cast<pthread_key_t>(key_), value) == 0;
}

void* LoadLibrary(const char* path, char* error, std::size_t errorCapacity) {
    if (error && errorCapacity) error[0] = 0;
    if (!path || !*path) return nullptr;
    void* lib = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib && error && errorCapacity) {
        const char* why = ::dlerror();
        std::snprintf(error, errorCapacity, "%s", why ? why : "cannot load library");
    }
    return lib;
}

void* GetProcAddress(void* library, const char* name) {
    if (!library || !name) return nullptr;
    return ::dlsym(library, name);
}

bool FreeLibrary(void* library) {
    return library && ::dlclose(library) == 0;
}

void LastLibraryError(char* error, std::size_t errorCapacity) {
    const char* why = ::dlerror();
    if (error && errorCapacity) std::snprintf(error, errorCapacity, "%s", why ? why : "");
}

namespace {
std::size_t FolderOf(const char* path, char* out, std::size_t capacity) {
    const char* slash = path ? std::strrchr(path, '/') : nullptr;
    if (!slash) return 0;
    std::size_t n = static_cast<std::size_t>(slash - path);
    if (n == 0) n = 1; // the root folder
    if (n >= capacity) return 0;
    std::memcpy(out, path, n);
    out[n] = 0;
    return n;
}
} // namespace

std::size_t LibraryFolder(char* out, std::size_t capacity) {
    Dl_info info;
    if (!::dladdr(reinterpret_cast<void*>(&LibraryFolder), &info) || !info.dli_fname) return 0;
    char resolved[4096];
    const char* path = ::realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    return FolderOf(path, out, capacity);
}

std::size_t ProgramFolder(char* out, std::size_t capacity) {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return 0;
    path[n] = 0;
    return FolderOf(path, out, capacity);
}

} // namespace obsys
