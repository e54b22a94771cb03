// The streaming XML reader against pugixml's tree of the same bytes: what
// the stream accepts, the tree accepts too, with the same elements and the
// same attribute values; bytes handed over in small pieces read the same.
#include "tests/plugins/scribus/XmlRecorder.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

using namespace scribus::detail;

// Seven bytes at a time: every token crosses refills.
struct Pieces : ByteSource {
    const char* data;
    std::size_t size, at = 0;
    Pieces(const char* d, std::size_t s) : data(d), size(s) {}
    long long Read(char* out, std::size_t n) override {
        std::size_t k = n < 7 ? n : 7;
        if (k > size - at) k = size - at;
        std::memcpy(out, data + at, k);
        at += k;
        return static_cast<long long>(k);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    Pieces trickle(bytes.data(), size);
    if (!scribus_test::CompareWithTree(bytes, trickle).empty()) __builtin_trap();
    return 0;
}
