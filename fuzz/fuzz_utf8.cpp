// UTF-8 to UTF-16 and back on arbitrary bytes: the conversion stops cleanly
// on malformed input, and well-formed text survives the round trip.
#include <ombra/strings.h>
#include <ombra/utf8.h>

#include "fuzz/FuzzHost.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombra_fuzz::InstallHost();
    WOBString wide;
    short ok =
        OBStringUtils::ConvertUTF8ToUTF16String(reinterpret_cast<const char*>(data), size, wide);
    COBString back;
    OBStringUtils::ConvertUTF16StringToUTF8(wide.GrabWString(), wide.Length(), back);
    if (ok && size && !std::memchr(data, 0, size)) {
        // Shortest-form input comes back byte for byte; other accepted
        // forms at least convert to the same units again.
        WOBString again;
        if (!OBStringUtils::ConvertUTF8ToUTF16String(back.GrabCString(), back.Length(), again))
            __builtin_trap();
        if (again.Length() != wide.Length()) __builtin_trap();
    }
    COBString latin;
    OBStringUtils::ConvertCStringToUTF8(data, size, latin);
    return 0;
}
