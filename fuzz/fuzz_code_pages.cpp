// Explicit code pages (the tables and the iconv path) from arbitrary bytes:
// the first byte picks a page, the rest is text in it. Counting agrees with
// converting, a result never exceeds its buffer, and what the exact
// conversion writes reads back as the units it consumed.
#include <ombra/convertorlumservice.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// The pages the service names, one unknown number, and the system default.
const unsigned kPages[] = {1250,  1251,  1252,  1253,  1254,  1255,  1256,  1257,  1258,
                           874,   932,   936,   949,   950,   1361,  10000, 10007, 10029,
                           20127, 20866, 21866, 28591, 28592, 28595, 28599, 28603, 28605,
                           20932, 51932, 51949, 54936, 65001, 0,     4242};

using Service = OBConvertorLumService;

void CheckEncode(unsigned page, const std::vector<unsigned short>& units) {
    long long n = static_cast<long long>(units.size());
    std::vector<char> bytes(units.size() * 4 + 8, 'x');
    long long capacity = static_cast<long long>(bytes.size());
    long long produced = Service::TextCharToCodePage(page, units.data(), n, bytes.data(), capacity);
    if (produced < 0 || produced > capacity) __builtin_trap();

    short exact = 0;
    long long used = 0;
    std::vector<char> held(bytes.size(), 'x');
    long long heldBytes = Service::TextCharToCodePage_Exact(page, units.data(), n, held.data(),
                                                            capacity, exact, used);
    if (heldBytes < 0 || heldBytes > capacity || used > n) __builtin_trap();
    if (used < 0) return;
    if (exact && used != n) __builtin_trap();
    if (heldBytes == 0) return;
    // What was held exactly reads back as the units before the first one lacking.
    std::vector<unsigned short> back(static_cast<size_t>(heldBytes) + 2);
    long long read = Service::CodePageToTextChar(page, held.data(), heldBytes, back.data(),
                                                 static_cast<long long>(back.size()));
    if (read != used || std::memcmp(back.data(), units.data(), 2 * used) != 0) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 8192) return 0;
    unsigned page = kPages[data[0] % (sizeof kPages / sizeof kPages[0])];
    const char* text = reinterpret_cast<const char*>(data + 1);
    long long n = static_cast<long long>(size - 1);
    Service::IsCodePageAvailable(page);

    // Decoding: counted, then into room enough, then into too little room.
    long long counted = Service::CodePageToTextChar(page, text, n, nullptr, 0);
    std::vector<unsigned short> units(static_cast<size_t>(n) * 2 + 2, 0xDEAD);
    long long capacity = static_cast<long long>(units.size());
    long long produced = Service::CodePageToTextChar(page, text, n, units.data(), capacity);
    if (produced < 0 || produced > capacity) __builtin_trap();
    if (counted != 0 && counted != produced) __builtin_trap();
    if (produced > 1) {
        std::vector<unsigned short> small(static_cast<size_t>(produced - 1), 0xDEAD);
        if (Service::CodePageToTextChar(page, text, n, small.data(), produced - 1) != 0)
            __builtin_trap();
    }
    units.resize(static_cast<size_t>(produced));
    CheckEncode(page, units);

    // The input read as UTF-16 units, unpaired surrogates and all.
    std::vector<unsigned short> raw(static_cast<size_t>(n / 2));
    if (!raw.empty()) std::memcpy(raw.data(), text, raw.size() * 2);
    CheckEncode(page, raw);
    return 0;
}
