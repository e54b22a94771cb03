// The IDML reader's whole conversion on arbitrary bytes (a package, damaged
// or not), notes, hidden and deleted text included.
#include "CompressedMutator.h"
#include "FuzzHost.h"
#include "FuzzReader.h"
#include "plugins/readers/idml/IdmlReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombra_fuzz::InstallHost();
    static IdmlReader* reader = new IdmlReader;
    ombra_fuzz::ConvertAndCheck(*reader, data, size, 4);
    return 0;
}
