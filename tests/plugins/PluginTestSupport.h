// What the plug-ins' suites share: files read whole, and a heap that
// refuses one allocation on demand (FailingHeap.cpp, linked into the
// programs that use it: every form of operator new and, while a
// FailHeapAfter lives, pugixml's allocations go through it).
#ifndef OMBRA_TESTS_PLUGINS_SUPPORT_H
#define OMBRA_TESTS_PLUGINS_SUPPORT_H

#include <cstddef>
#include <fstream>
#include <sstream>
#include <string>

namespace plugin_test {

/// The whole file, or an empty string when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

/// Refuses the n-th allocation from now (0 = the next); the others succeed.
class FailHeapAfter {
public:
    explicit FailHeapAfter(long long n);
    ~FailHeapAfter();
    FailHeapAfter(const FailHeapAfter&) = delete;
    FailHeapAfter& operator=(const FailHeapAfter&) = delete;
    /// Whether an allocation was refused since; with `needed`, only one
    /// whose caller has no way without it (a nothrow new's caller has one,
    /// std::stable_sort's buffer say, and loses nothing).
    static bool Refused(bool needed = false);
};

/// An allocation from that heap, for a memory service that fails with it.
void* HeapAllocate(std::size_t n);

} // namespace plugin_test

#endif
