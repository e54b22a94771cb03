// Helpers for the suites that load the test plug-ins (framework/plugins):
// plug-in folders, script input streams, memory output streams and
// the recorded events.
#ifndef OMBRA_TESTS_FRAMEWORK_PLUGINFIXTURE_H
#define OMBRA_TESTS_FRAMEWORK_PLUGINFIXTURE_H

#include <ombra/streams.h>
#include <ombra/typedstreams.h>

#include "framework/plugins/Recorder.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace ombra_test {

/// A temporary folder of test plug-ins.
class PlugInFolder : public TempFolder {
public:
    /// Copies the built test plug-in `file` (reader9.obrd, …) into the
    /// folder or one of its sub-folders, under another name when given.
    PlugInFolder& Add(const std::string& file, const std::string& subfolder = "",
                      const std::string& as = "") {
        std::filesystem::path target = std::filesystem::path(Path()) / subfolder;
        std::filesystem::create_directories(target);
        std::filesystem::copy_file(std::filesystem::path(OMBRA_TEST_PLUGIN_DIR) / file,
                                   target / (as.empty() ? file : as),
                                   std::filesystem::copy_options::overwrite_existing);
        return *this;
    }
};

/// An input stream over a script for the test readers.
class ScriptInput {
public:
    explicit ScriptInput(std::string script)
        : script_(std::move(script)), stream_(script_.data(), script_.size()) {}
    ScriptInput(const ScriptInput&) = delete;
    ScriptInput& operator=(const ScriptInput&) = delete;
    OBStream* Stream() { return &stream_; }

private:
    std::string script_;
    OBBufferStreamRead stream_;
};

/// An output stream into memory.
class MemoryOutput {
public:
    MemoryOutput() : stream_(&bytes_) {}
    MemoryOutput(const MemoryOutput&) = delete;
    MemoryOutput& operator=(const MemoryOutput&) = delete;
    OBStream* Stream() { return &stream_; }
    /// The 32-bit numbers written so far.
    std::vector<int> Numbers() {
        std::vector<int> numbers;
        unsigned long long end = bytes_.Tell();
        bytes_.Seek(0, kSeekFromStart);
        int n = 0;
        while (bytes_.Tell() + sizeof n <= end && bytes_.Read(&n, sizeof n) == sizeof n)
            numbers.push_back(n);
        bytes_.Seek(0, kSeekFromEnd);
        return numbers;
    }

private:
    OBMemXferBytes bytes_;
    OBMemStreamWrite stream_;
};

/// The recorded events that start with prefix, in order.
inline std::vector<std::string> EventsStartingWith(const std::string& prefix) {
    std::vector<std::string> events;
    for (const std::string& e : Recorded())
        if (e.compare(0, prefix.size(), prefix) == 0) events.push_back(e);
    return events;
}

} // namespace ombra_test

#endif
