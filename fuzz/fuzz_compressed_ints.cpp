// Compressed-integer blocks from arbitrary bytes, in both byte orders: reads
// end, and writing back what was read round-trips.
#include <ombra/typedstreams.h>

#include "fuzz/FuzzHost.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombra_fuzz::InstallHost();
    if (size < 1) return 0;
    short swapping = data[0] & 1;
    int count = data[0] >> 1; // up to 127 values
    OBStream* in = OBStreamUtilRef::CreateBufferStreamRead(data + 1, size - 1);
    if (!in) return 0;
    in->SetSwapping(swapping);
    std::vector<int> values;
    {
        OBCompressInt_Read reader(in);
        for (int i = 0; i < count; ++i)
            values.push_back(reader.Read());
    }
    delete in;

    // What was read writes and reads back unchanged.
    OBMemXferBytes* bytes = new OBMemXferBytes;
    OBStream* out = bytes ? OBStreamUtilRef::CreateMemoryStreamWrite(bytes) : nullptr;
    if (!out) {
        delete bytes;
        return 0;
    }
    out->SetSwapping(swapping);
    {
        OBCompressInt_Write writer(out);
        for (int v : values)
            writer.Write(v);
    }
    delete out;
    bytes->Seek(0, kSeekFromStart);
    std::vector<unsigned char> written;
    unsigned char chunk[256];
    unsigned long long n;
    while ((n = bytes->Read(chunk, sizeof chunk)) > 0)
        written.insert(written.end(), chunk, chunk + n);
    delete bytes;
    OBStream* again = OBStreamUtilRef::CreateBufferStreamRead(written.data(), written.size());
    if (!again) return 0;
    again->SetSwapping(swapping);
    {
        OBCompressInt_Read reader(again);
        for (int v : values)
            if (reader.Read() != v) __builtin_trap();
    }
    delete again;
    return 0;
}
