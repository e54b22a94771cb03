#include "platform/Processes.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

namespace {

struct Descriptors {
    int fds[6] = {-1, -1, -1, -1, -1, -1}; // input, output, errors: ours, the child's
    ~Descriptors() {
        for (int fd : fds)
            if (fd >= 0) ::close(fd);
    }
    void Close(int i) {
        if (fds[i] >= 0) ::close(fds[i]);
        fds[i] = -1;
    }
};

// Feeds input and drains both outputs together, so that neither side
// waits on a full pipe, until both close or the limits stop the run.
int Exchange(Descriptors& d, const std::string& input, ProgramRun& run, const RunLimits& limits) {
    std::size_t sent = 0;
    if (input.empty()) d.Close(0);
    char buffer[65536];
    while (d.fds[0] >= 0 || d.fds[1] >= 0 || d.fds[2] >= 0) {
        pollfd polled[3];
        for (int i = 0; i < 3; ++i)
            polled[i] = pollfd{d.fds[i], static_cast<short>(i == 0 ? POLLOUT : POLLIN), 0};
        long long wait = -1;
        if (limits.deadline >= 0 && (wait = limits.deadline - MonotonicMilliseconds()) <= 0)
            return ETIMEDOUT;
        if (limits.givenUp && limits.givenUp()) return ECANCELED;
        if (limits.givenUp) wait = wait < 0 ? 100 : std::min(wait, 100LL);
        if (::poll(polled, 3, static_cast<int>(std::min(wait, 1LL << 30))) < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (d.fds[0] >= 0 && polled[0].revents) {
            ssize_t n = ::send(d.fds[0], input.data() + sent, input.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno != EINTR && errno != EAGAIN) d.Close(0); // it stopped reading
            if (n > 0 && (sent += static_cast<std::size_t>(n)) == input.size()) d.Close(0);
        }
        for (int i = 1; i < 3; ++i) {
            if (d.fds[i] < 0 || !polled[i].revents) continue;
            ssize_t n = ::read(d.fds[i], buffer, sizeof buffer);
            if (n > 0)
                (i == 1 ? run.output : run.errors).append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR)
                d.Close(i);
        }
    }
    return 0;
}

} // namespace

int RunProgram(const std::vector<std::string>& arguments, const std::string& input, ProgramRun& run,
               const RunLimits& limits) {
    if (arguments.empty()) return EINVAL;
    Descriptors d;
    int in[2], out[2], err[2];
    // A socket for the input, so that a program that stops reading gives
    // EPIPE rather than SIGPIPE.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) return errno;
    d.fds[0] = in[0], d.fds[3] = in[1];
    if (::pipe2(out, O_CLOEXEC) != 0) return errno;
    d.fds[1] = out[0], d.fds[4] = out[1];
    if (::pipe2(err, O_CLOEXEC) != 0) return errno;
    d.fds[2] = err[0], d.fds[5] = err[1];
    posix_spawn_file_actions_t actions;
    if (int error = ::posix_spawn_file_actions_init(&actions)) return error;
    for (int i = 0; i < 3; ++i)
        ::posix_spawn_file_actions_adddup2(&actions, d.fds[3 + i], i);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    int error = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (error) return error;
    for (int i = 3; i < 6; ++i)
        d.Close(i);
    error = Exchange(d, input, run, limits);
    if (error) {
        run.end = KillChild(pid);
        return error;
    }
    run.end = WaitForChild(pid);
    return 0;
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
