// The streaming XML reader against pugixml's tree of the same bytes: what
// the stream accepts, the tree accepts too, with the same elements and the
// same attribute values; bytes handed over in small pieces read the same.
#include "plugins/readers/scribus/ScribusXml.h"

#include <pugixml.hpp>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

using namespace scribus::detail;

struct Recorder : XmlHandler {
    std::string out;
    void Start(ElementId id, const Attrs& a) override {
        out += "<" + std::to_string(id);
        for (std::size_t i = 0; i < a.Count(); ++i)
            out += " " + std::to_string(a.IdAt(i)) + "=" + a.Get(a.IdAt(i));
        out += ">";
    }
    void End() override { out += "/"; }
};

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
    const char* bytes = reinterpret_cast<const char*>(data);
    Recorder whole, pieces;
    MemorySource memory(bytes, size);
    XmlResult r = ReadXml(memory, whole, 1 << 24);
    Pieces trickle(bytes, size);
    if (ReadXml(trickle, pieces, 1 << 24) != r || whole.out != pieces.out) __builtin_trap();
    if (r != XmlResult::kDone) return 0;
    pugi::xml_document doc;
    if (!doc.load_buffer(data, size, pugi::parse_default, pugi::encoding_utf8)) __builtin_trap();
    Recorder tree;
    WalkTree(doc, tree);
    if (tree.out != whole.out) __builtin_trap();
    return 0;
}
