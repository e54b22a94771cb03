// Whole inputs read and whole outputs written the way a converter's user
// expects of paths: pipes, devices and terminals written in place, symbolic
// links followed, replaced files keeping their mode, owner and hard links,
// and no partial output left behind, also when the process is interrupted.
#ifndef OMBRA_PLATFORM_OUTPUTS_H
#define OMBRA_PLATFORM_OUTPUTS_H

#include <cstddef>

namespace obsys {

/// Reads everything a descriptor gives until its end (a pipe, a terminal, a
/// file from its current position) into a buffer from the memory service
/// (OBLibAllocate; the caller frees it with OBLibFree). Returns 0, or the
/// errno that stopped it (ENOMEM when the memory service has none; EISDIR
/// for a folder).
int ReadAll(int descriptor, unsigned char*& data, unsigned long long& size);
/// The same for a path: files, FIFOs, devices and /dev/fd/N alike.
int ReadAllFromPath(const char* path, unsigned char*& data, unsigned long long& size);

/// Writes all bytes to a descriptor; 0 or the errno.
int WriteAll(int descriptor, const void* data, unsigned long long size);

/// Writes a whole output to path:
/// - a path that names a device, FIFO, socket or terminal is opened and
///   written in place;
/// - a symbolic link is followed (chains too) and its target replaced;
/// - a regular file with more than one link is rewritten in place, so that
///   every name keeps seeing it;
/// - otherwise the bytes go to a new file beside the target, which takes
///   the old file's mode and, where the process may, its owner, and is
///   renamed over it; interrupted (RemovePartialOutputs), nothing is left.
/// Returns 0, or the errno of the step that failed (EISDIR for a folder).
int WriteWholeFile(const char* path, const void* data, unsigned long long size);

/// Removes the temporary files of writes in progress. Async-signal-safe:
/// for the handlers of SIGINT and SIGTERM that a host installs.
void RemovePartialOutputs();

/// True when both paths name one existing file.
bool SameFile(const char* a, const char* b);
/// True when the descriptor is a terminal.
bool IsTerminal(int descriptor);

} // namespace obsys

#endif
