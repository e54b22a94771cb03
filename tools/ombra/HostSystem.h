// The few operating-system calls the host makes itself: terminals, the
// environment's language, folders and the handlers that remove partial
// outputs when the process is interrupted. Files go through the core.
#ifndef OMBRA_TOOLS_HOSTSYSTEM_H
#define OMBRA_TOOLS_HOSTSYSTEM_H

#include <string>

namespace ombra_host {

/// True when the standard error stream is a terminal.
bool StandardErrorIsTerminal();
/// The width of the terminal on standard error, or 80.
int TerminalWidth();
/// The locale the user's environment asks messages in: "ja" when LC_ALL,
/// LC_MESSAGES or LANG (the first one set) starts with "ja", else "en".
std::string EnvironmentLanguage();

/// What exists under a path (symbolic links followed).
enum class PathKind { kMissing, kFile, kFolder, kOther };
PathKind KindOf(const std::string& path);
/// Makes a folder and its parents; 0 on success, else the errno.
int MakeFolders(const std::string& path);
/// The size of a regular file, or -1 for anything else.
long long FileSize(const std::string& path);
/// True when both paths name one existing file.
bool SameFile(const std::string& a, const std::string& b);

/// Installs the handlers for SIGINT, SIGTERM, SIGHUP, SIGQUIT and SIGABRT that remove partial
/// outputs and end the process as the signal would.
void InstallInterruptCleanup();

/// Flushes the standard output; 0, or the errno of a write that failed.
int FinishStandardOutput();
/// Writes the bytes to the standard output and flushes it: 0, or the error.
int WriteStandardOutput(const std::string& bytes);

} // namespace ombra_host

#endif
