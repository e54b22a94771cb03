// String-resource files from arbitrary bytes: loading reports bad lines but
// never fails on them, and lookups stay within their buffers.
#include <ombra/resources.h>

#include "fuzz/FuzzHost.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombra_fuzz::InstallHost();
    OBStringTable* table = new OBStringTable;
    if (!table) return 0;
    table->LoadText(reinterpret_cast<const char*>(data), static_cast<long long>(size));
    HINSTANCE handle = table;
    HINSTANCE* saved = OBConnectionUtility::GetCurrentHandle();
    OBConnectionUtility::SetCurrentHandle(&handle);
    char buffer[1024];
    for (unsigned id = 0; id < 64; ++id) {
        int n = OBLoadResourceString(id, buffer, sizeof buffer);
        if (n < 0 || n >= static_cast<int>(sizeof buffer) || buffer[n] != 0) __builtin_trap();
    }
    char small[3];
    OBLoadResourceString(1, small, sizeof small);
    OBConnectionUtility::SetCurrentHandle(saved);
    delete table;
    return 0;
}
