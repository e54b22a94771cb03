// Helpers shared by the stream and file suites: a scratch folder that is
// also the library's temporary directory, and byte-level views of streams.
#ifndef OMBRA_TESTS_STREAMS_SUPPORT_H
#define OMBRA_TESTS_STREAMS_SUPPORT_H

#include <ombra/files.h>
#include <ombra/typedstreams.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <vector>

namespace ombra_test {

typedef std::vector<unsigned char> Bytes;

/// Every test gets an empty folder of its own, which is also the library's
/// temporary directory while the test runs.
class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/ombra-streams-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root = tmpl;
        UseTempDirectory(root + "/");
    }
    void TearDown() override {
        UseTempDirectory("");
        std::system(("chmod -R u+rwx '" + root + "' 2>/dev/null; rm -rf '" + root + "'").c_str());
    }

    /// Sets the library's temporary directory; "" returns to the platform's.
    static void UseTempDirectory(const std::string& dir) {
        COBString text(dir.c_str());
        WOBFileUtility::SetTempDirectory(&text);
    }

    std::string Path(const std::string& name) const { return root + "/" + name; }
    void Write(const std::string& name, const std::string& content) const {
        std::ofstream(Path(name), std::ios::binary) << content;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool Exists(const std::string& name) const {
        std::ifstream in(Path(name));
        return in.good();
    }
    /// The names in a folder, without "." and "..".
    static std::vector<std::string> Entries(const std::string& folder) {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(folder.c_str())) {
            while (dirent* e = ::readdir(d)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") names.push_back(n);
            }
            ::closedir(d);
        }
        return names;
    }

    std::string root;
};

/// Everything a transfer object holds, read from its start; the position
/// is left at the end.
inline Bytes Contents(OBXferBytes& xfer) {
    xfer.Seek(0, kSeekFromStart);
    Bytes all;
    unsigned char chunk[4096];
    for (;;) {
        unsigned long long n = xfer.Read(chunk, sizeof chunk);
        all.insert(all.end(), chunk, chunk + n);
        if (n < sizeof chunk) break;
    }
    xfer.Seek(0, kSeekFromEnd);
    return all;
}

/// What a writing stream has written so far.
inline Bytes Written(OBStream& stream) {
    OBXferBytes* xfer = stream.GetXferBytes();
    return xfer ? Contents(*xfer) : Bytes();
}

} // namespace ombra_test

#endif
