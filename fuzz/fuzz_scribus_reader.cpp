// The Scribus reader's whole conversion on arbitrary bytes, with its
// default preferences.
#include "CompressedMutator.h"
#include "FuzzHost.h"
#include "FuzzReader.h"
#include "plugins/readers/scribus/ScribusReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombra_fuzz::InstallHost();
    static ScribusReader* reader = new ScribusReader;
    ombra_fuzz::ConvertAndCheck(*reader, data, size, ScribusReader::kPreferenceCount);
    return 0;
}
