// Runs the built ombra program for the host's suites and keeps what it
// printed.
#ifndef OMBRA_TESTS_TOOLS_TOOLRUNNER_H
#define OMBRA_TESTS_TOOLS_TOOLRUNNER_H

#include "support/TempFolder.h"

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
    std::string folder{};
    std::string language = "C";
    std::string input = "/dev/null";
    std::string output{};
    int uid = -1;
    int processes = -1;
};

ToolResult RunOmbra(const std::vector<std::string>& arguments, const RunHow& how = RunHow());

/// The tool suites' readers (trees and faults), the Scribus fixtures, and
/// the text of the tree reader's story ("OMBRA-TREE story").
inline const std::string kToolReaders = std::string(OMBRA_TOOL_PLUGIN_DIR) + "/readers";
inline const std::string kData = std::string(OMBRA_SOURCE_DIR) + "/tests/data/scribus/";
inline const std::string kStoryText = "Hello, world\n日本語 \xF0\x9D\x84\x9E\n";

/// A user id that the tests can switch to when they run as root ("nobody").
constexpr int kUnprivilegedUser = 65534;

/// True when a file or folder of that name exists.
bool Exists(const std::string& path);
/// True when text holds part.
bool Contains(const std::string& text, const std::string& part);

} // namespace ombra_test

#endif
