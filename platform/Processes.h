// Worker processes for hosts that isolate conversions: a child forked with
// a socket to its parent, limits set inside it, waits with deadlines, and
// how a child ended.
#ifndef OMBRA_PLATFORM_PROCESSES_H
#define OMBRA_PLATFORM_PROCESSES_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace obsys {

/// A child process and the parent's end of the socket between them.
struct Child {
    int pid = -1;
    int channel = -1;
};

/// Forks a child that runs work(channel) and ends with its result, without
/// running the parent's exit handlers. The child dies with its parent, and
/// closes the descriptors in closeInChild (the parent's ends of other
/// children's sockets) first. Call it only while the process has one
/// thread. Returns 0, or the errno of the step that failed.
int StartChild(const std::function<int(int channel)>& work, const int* closeInChild,
               std::size_t closeCount, Child& child);

/// Sends all bytes; 0, or the errno (EPIPE when the other end is gone,
/// never SIGPIPE).
int SendAll(int channel, const void* data, std::size_t size);
/// Receives exactly size bytes; 0, or the errno (EPIPE when the other end
/// closed first).
int ReceiveAll(int channel, void* data, std::size_t size);

/// Waits until one of the channels can be read (or was closed) or
/// milliseconds pass (-1: no limit). Returns the index of that channel, -1
/// when the time passed, -2 on an error.
int WaitForChannel(const int* channels, std::size_t count, long long milliseconds);

/// Closes a descriptor (EINTR is not retried: the descriptor is gone).
void CloseChannel(int channel);

/// How a child ended.
struct ChildEnd {
    int signal = 0;        ///< the signal that ended it, or 0
    int exitCode = 0;      ///< its exit status when no signal ended it
    double cpuSeconds = 0; ///< the processor time it used, user and system
};
/// Waits for the child to end and reaps it.
ChildEnd WaitForChild(int pid);
/// Kills the child (SIGKILL) and reaps it.
ChildEnd KillChild(int pid);

/// What a program run to its end with RunProgram did.
struct ProgramRun {
    std::string output; ///< its standard output
    std::string errors; ///< its standard error
    ChildEnd end;
};
/// When a program run stops early: at deadline, a MonotonicMilliseconds
/// time (-1 for none), or when givenUp, asked a few times a second, says so.
struct RunLimits {
    long long deadline = -1;
    std::function<bool()> givenUp;
};
/// Runs a program found on the PATH (arguments[0]) with input on its
/// standard input, collects its standard output and error and waits for it
/// to end. Returns 0, or the errno of the step that failed (ENOENT: no such
/// program; ETIMEDOUT or ECANCELED: stopped by limits, and killed). Any
/// thread may call it; the program inherits no other descriptor of this
/// process.
int RunProgram(const std::vector<std::string>& arguments, const std::string& input, ProgramRun& run,
               const RunLimits& limits = RunLimits());

/// Limits the calling process's address space to bytes (RLIMIT_AS).
/// Returns 0 or the errno.
int LimitAddressSpace(unsigned long long bytes);

/// Lets the calling process keep the memory it frees for what it allocates
/// next, rather than return it to the system and fault it in again: for a
/// worker that converts input after input.
void KeepFreedMemory();

/// "SIGSEGV" for 11, and so on; "signal N" for numbers without a name.
std::string SignalName(int signal);

/// The processor time the calling process used so far, user and system.
double ProcessCpuSeconds();

/// Milliseconds on a clock that never goes back.
long long MonotonicMilliseconds();

} // namespace obsys

#endif
