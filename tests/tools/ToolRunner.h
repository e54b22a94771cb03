// Runs the built ombra program for the host's suites and keeps what it
// printed, and makes temporary folders of files to convert.
#ifndef OMBRA_TESTS_TOOLS_TOOLRUNNER_H
#define OMBRA_TESTS_TOOLS_TOOLRUNNER_H

#include <string>
#include <vector>

namespace ombra_test {

struct ToolResult {
    int exitCode = -1; ///< the exit status, or 128 + signal
    std::string out;
    std::string err;
};

/// How to run it: in folder (empty: here), with LC_ALL, LC_MESSAGES and
/// LANG replaced by language (empty: removed), the standard input from
/// input, the standard output to output (empty: kept in ToolResult::out),
/// as the user uid (-1: this process's; needs root), and allowed at most
/// processes processes of that user (-1: no limit; root has none).
struct RunHow {
    std::string folder;
    std::string language = "C";
    std::string input = "/dev/null";
    std::string output;
    int uid = -1;
    int processes = -1;
};

ToolResult RunOmbra(const std::vector<std::string>& arguments, const RunHow& how = RunHow());

/// A user id that the tests can switch to when they run as root ("nobody").
constexpr int kUnprivilegedUser = 65534;

/// A temporary folder, removed with everything in it at the end; open to
/// every user, so that runs as kUnprivilegedUser can work in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    /// The path of name inside the folder.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    /// Writes a file (making its folders) and returns its path.
    std::string Write(const std::string& name, const std::string& content) const;
    /// The names in the folder (not in sub-folders), sorted.
    std::vector<std::string> Names(const std::string& sub = "") const;

private:
    std::string path_;
};

/// The whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::string& path);
/// True when a file or folder of that name exists.
bool Exists(const std::string& path);
/// True when text holds part.
bool Contains(const std::string& text, const std::string& part);

} // namespace ombra_test

#endif
