// The ombra command line from arbitrary arguments (the input split at NUL
// bytes): parsing ends with options inside their ranges or with an error,
// and "--name=value" means the same as "--name value".
#include "CommandLine.h"

#include <cstdint>
#include <string>
#include <vector>

using ombra_host::Options;
using ombra_host::ParseCommandLine;

namespace {

bool Same(const Options& a, const Options& b) {
    return a.command == b.command && a.helpTopic == b.helpTopic && a.inputs == b.inputs &&
           a.output == b.output && a.outdir == b.outdir && a.readerFolders == b.readerFolders &&
           a.writerFolders == b.writerFolders && a.jobs == b.jobs && a.timeout == b.timeout &&
           a.maxMemory == b.maxMemory && a.shardIndex == b.shardIndex &&
           a.shardCount == b.shardCount && a.writer == b.writer && a.encoding == b.encoding &&
           a.settings == b.settings;
}

void CheckRanges(const Options& o) {
    if (o.jobs < 1 || o.jobs > 64 || o.timeout < 0 || o.shardIndex < 1 ||
        o.shardIndex > o.shardCount)
        __builtin_trap();
    if (o.command == ombra_host::Command::kNone) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    std::vector<std::string> arguments(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            arguments.emplace_back();
        else
            arguments.back().push_back(static_cast<char>(data[i]));
    }
    auto parsed = ParseCommandLine(arguments);
    if (!parsed.ok) {
        if (parsed.error.empty()) __builtin_trap();
        return 0;
    }
    CheckRanges(parsed.options);
    ombra_host::MakeOptions(parsed.options);
    ombra_host::HelpText(parsed.options.helpTopic);

    // The same line with every long option's value as an argument of its own.
    // An argument right after an option without "=" may be that option's
    // value, "--x=y" included: it stays whole.
    std::vector<std::string> split;
    bool options = true, afterBare = false;
    for (const std::string& a : arguments) {
        if (a == "--") options = false;
        size_t equals = a.find('=');
        bool isLong = options && a.size() > 2 && a.compare(0, 2, "--") == 0;
        if (isLong && equals != a.npos && !afterBare) {
            split.push_back(a.substr(0, equals));
            split.push_back(a.substr(equals + 1));
        } else {
            split.push_back(a);
        }
        afterBare = options && a.size() > 1 && a[0] == '-' && equals == a.npos;
    }
    auto again = ParseCommandLine(split);
    if (!again.ok || !Same(parsed.options, again.options)) __builtin_trap();
    return 0;
}
