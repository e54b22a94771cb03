// The few operating-system calls the host makes itself: where the program
// lies, terminals, renames, folders and the clean-up of temporary outputs
// when the process is interrupted. Everything else goes through the core.
#ifndef OMBRA_TOOLS_HOSTSYSTEM_H
#define OMBRA_TOOLS_HOSTSYSTEM_H

#include <string>

namespace ombra_host {

/// The folder of the running program (empty when it cannot be found).
std::string ProgramFolder();
/// True when the standard error stream is a terminal.
bool StandardErrorIsTerminal();
/// The width of the terminal on standard error, or 80.
int TerminalWidth();
/// The locale the user's environment asks messages in: "ja" when LC_ALL,
/// LC_MESSAGES or LANG (the first one set) starts with "ja", else "en".
std::string EnvironmentLanguage();
/// The process id, for temporary names.
long ProcessId();

/// What exists under a path.
enum class PathKind { kMissing, kFile, kFolder, kOther };
PathKind KindOf(const std::string& path);
/// True when both paths name one existing file.
bool SameFile(const std::string& a, const std::string& b);
/// Why a file cannot be opened for reading ("permission denied"), or empty
/// when it can.
std::string WhyUnreadable(const std::string& path);
/// Why a new file cannot be made in a folder, or empty when it can.
std::string WhyNotWritable(const std::string& folder);
/// Makes a folder and its parents; empty on success, else the reason.
std::string MakeFolders(const std::string& path);
/// Renames from onto to, replacing it in one step; empty on success, else
/// the reason.
std::string RenameReplacing(const std::string& from, const std::string& to);
/// Removes a file; failures are ignored.
void RemoveFile(const std::string& path);

/// Temporary outputs that an interrupted process removes before it ends.
/// GuardTemporaryFile returns a slot (or -1 when all are taken: the file
/// then is not guarded) that UnguardTemporaryFile gives back.
int GuardTemporaryFile(const std::string& path);
void UnguardTemporaryFile(int slot);
/// Installs the handlers for SIGINT, SIGTERM and SIGHUP that remove the
/// guarded files and end the process as the signal would.
void InstallInterruptCleanup();

} // namespace ombra_host

#endif
