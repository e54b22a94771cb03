// Recognises a Scribus document by the name of its root element.
#include "ScribusProlog.h"
#include "ScribusXmlScan.h"
#include "ScribusParser.h"

#include <zlib.h>

#include <cstring>

namespace scribus {

namespace {

short MatchesRoot(const unsigned char* p, std::size_t size) {
    std::size_t i = detail::FirstElement(p, size);
    if (i >= size) return 0;
    static const char* const kRoots[] = {"SCRIBUSUTF8NEW", "SCRIBUSUTF8", "SCRIBUS"};
    for (const char* root : kRoots) {
        std::size_t len = std::strlen(root);
        // The name must be followed by something that ends it, so a prefix of a
        // longer name or a document cut inside the name is not taken.
        if (i + 1 + len < size && std::memcmp(p + i + 1, root, len) == 0) {
            unsigned char after = p[i + 1 + len];
            if (detail::xmlscan::Is(static_cast<char>(after), detail::xmlscan::kSpace) ||
                after == '>' || after == '/')
                return 1;
        }
    }
    return 0;
}

} // namespace

short Detect(const unsigned char* data, std::size_t size) {
    if (!data || size < 2) return 0;
    if (size > kDetectBytes) size = kDetectBytes;
    if (data[0] != 0x1f || data[1] != 0x8b) return MatchesRoot(data, size);

    // Gzip: inflate what the prefix holds into a small buffer; a truncated
    // stream is expected here and is not an error.
    unsigned char out[kDetectBytes];
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return 0;
    z.next_in = const_cast<unsigned char*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out;
    z.avail_out = sizeof out;
    // Damage further on does not hide what inflated before it: the reader
    // then keeps that part and reports the rest.
    inflate(&z, Z_SYNC_FLUSH);
    std::size_t produced = sizeof out - z.avail_out;
    inflateEnd(&z);
    return MatchesRoot(out, produced);
}

} // namespace scribus
