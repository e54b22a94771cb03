// Helpers for the suites that load the test plug-ins (framework/plugins):
// temporary plug-in folders, script input streams, memory output streams and
// the recorded events.
#ifndef OMBRA_TESTS_FRAMEWORK_PLUGINFIXTURE_H
#define OMBRA_TESTS_FRAMEWORK_PLUGINFIXTURE_H

#include <ombra/streams.h>
#include <ombra/typedstreams.h>

#include "framework/plugins/Recorder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace ombra_test {

/// A folder of its own under the temporary directory, removed with
/// everything in it when the object goes.
class PlugInFolder {
public:
    PlugInFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ombra-plugins-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back(0);
        if (::mkdtemp(name.data())) path_ = name.data();
        EXPECT_FALSE(path_.empty()) << "cannot make a temporary folder";
    }
    ~PlugInFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    PlugInFolder(const PlugInFolder&) = delete;
    PlugInFolder& operator=(const PlugInFolder&) = delete;

    const std::string& Path() const { return path_; }

    /// Copies the built test plug-in `file` (reader9.obrd, …) into the
    /// folder or one of its sub-folders, under another name when given.
    PlugInFolder& Add(const std::string& file, const std::string& subfolder = "",
                      const std::string& as = "") {
        std::filesystem::path target = std::filesystem::path(path_) / subfolder;
        std::filesystem::create_directories(target);
        std::filesystem::copy_file(std::filesystem::path(OMBRA_TEST_PLUGIN_DIR) / file,
                                   target / (as.empty() ? file : as),
                                   std::filesystem::copy_options::overwrite_existing);
        return *this;
    }
    /// Writes a plain file, to pose as a library that is none.
    PlugInFolder& Write(const std::string& name, const std::string& text) {
        std::ofstream(std::filesystem::path(path_) / name) << text;
        return *this;
    }

private:
    std::string path_;
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
