#include "platform/Processes.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include <malloc.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace obsys {

int StartChild(const std::function<int(int channel)>& work, const int* closeInChild,
               std::size_t closeCount, Child& child) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return errno;
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid < 0) {
        int error = errno;
        ::close(ends[0]);
        ::close(ends[1]);
        return error;
    }
    if (pid == 0) {
        // A worker never outlives the program that feeds it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(1);
        ::close(ends[0]);
        for (std::size_t i = 0; i < closeCount; ++i)
            ::close(closeInChild[i]);
        ::_exit(work(ends[1]));
    }
    ::close(ends[1]);
    child.pid = pid;
    child.channel = ends[0];
    return 0;
}

int SendAll(int channel, const void* data, std::size_t size) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::send(channel, at, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int ReceiveAll(int channel, void* data, std::size_t size) {
    char* at = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = ::recv(channel, at, size, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EPIPE;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int WaitForChannel(const int* channels, std::size_t count, long long milliseconds) {
    std::vector<pollfd> polled(count);
    for (std::size_t i = 0; i < count; ++i)
        polled[i] = pollfd{channels[i], POLLIN, 0};
    long long deadline = milliseconds < 0 ? -1 : MonotonicMilliseconds() + milliseconds;
    for (;;) {
        long long left = deadline < 0 ? -1 : deadline - MonotonicMilliseconds();
        if (deadline >= 0 && left < 0) left = 0;
        int wait = left > 1000000 ? 1000000 : static_cast<int>(left);
        int n = ::poll(polled.data(), polled.size(), wait);
        if (n < 0 && errno != EINTR) return -2;
        for (std::size_t i = 0; n > 0 && i < count; ++i)
            if (polled[i].revents) return static_cast<int>(i);
        if (deadline >= 0 && MonotonicMilliseconds() >= deadline) return -1;
    }
}

void CloseChannel(int channel) {
    if (channel >= 0) ::close(channel);
}

namespace {
double Seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}
} // namespace

ChildEnd WaitForChild(int pid) {
    ChildEnd end;
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR) return end;
    end.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
    if (WIFEXITED(status)) end.exitCode = WEXITSTATUS(status);
    return end;
}

ChildEnd KillChild(int pid) {
    ::kill(pid, SIGKILL);
    return WaitForChild(pid);
}

int LimitAddressSpace(unsigned long long bytes) {
    rlimit limit;
    limit.rlim_cur = limit.rlim_max = bytes;
    return ::setrlimit(RLIMIT_AS, &limit) == 0 ? 0 : errno;
}

void KeepFreedMemory() {
    // Blocks up to 32 MB (the most glibc takes) come from the heap, and the
    // heap shrinks only past 256 MB free at its top.
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

std::string SignalName(int signal) {
    const char* name = ::sigabbrev_np(signal);
    return name ? std::string("SIG") + name : "signal " + std::to_string(signal);
}

double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

long long MonotonicMilliseconds() {
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace obsys
