// Threads, time, debugger presence and dynamic libraries.
#ifndef OMBRA_PLATFORM_SYSTEM_H
#define OMBRA_PLATFORM_SYSTEM_H

#include <cstddef>

namespace obsys {

/// A small number that identifies the calling thread within the process.
unsigned long CurrentThreadId();
/// Milliseconds since an arbitrary start, wrapping at 32 bits.
unsigned int TickCount();
/// Runs take in the thread that forks the process, just before the fork,
/// and give in both processes after it: a lock that another thread held at
/// that moment would stay held in the child, by a thread it does not have.
bool AtFork(void (*take)(), void (*give)());

/// True when a tracer (debugger) is attached, read from the process status.
bool DebuggerPresent();
/// Stops in the attached debugger (SIGTRAP).
void BreakIntoDebugger();
/// Ends the process at once, as a failed assertion does (SIGABRT).
[[noreturn]] void AbortProcess();

/// Writes n bytes to the standard error stream, unbuffered; gives up
/// quietly when the stream is closed.
void WriteStandardError(const char* text, std::size_t n);

/// A per-thread slot whose hook runs, with the slot's value, when a thread
/// that set a non-null value ends (never for the main thread, which ends
/// with the process). The slot goes with the object, so a hook never runs
/// after its library was unloaded.
class ThreadExitSlot {
public:
    explicit ThreadExitSlot(void (*atThreadExit)(void* value));
    ~ThreadExitSlot();
    ThreadExitSlot(const ThreadExitSlot&) = delete;
    ThreadExitSlot& operator=(const ThreadExitSlot&) = delete;
    /// Sets the calling thread's value; false when the system had no slot to give.
    bool Set(void* value);

private:
    unsigned key_;
    bool valid_;
};

/// Loads a shared library; null on failure, with the reason in `error` when given.
void* LoadLibrary(const char* path, char* error = nullptr, std::size_t errorCapacity = 0);
void* GetProcAddress(void* library, const char* name);
bool FreeLibrary(void* library);
/// Copies the loader's reason for the calling thread's last failed load or
/// symbol look-up into error (empty when there is none) and clears it.
void LastLibraryError(char* error, std::size_t errorCapacity);

/// The folder of the shared object that holds this code (the core
/// library), without a trailing '/'; the length written, 0 when unknown.
std::size_t LibraryFolder(char* out, std::size_t capacity);
/// The folder the process's program lies in; 0 when unknown.
std::size_t ProgramFolder(char* out, std::size_t capacity);

} // namespace obsys

#endif
