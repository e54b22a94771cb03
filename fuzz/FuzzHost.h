// What every fuzz target needs from a host: a memory service and a text
// service on the fuzzing thread, installed once.
#ifndef OMBRA_FUZZ_HOST_H
#define OMBRA_FUZZ_HOST_H

#include <ombra/convertorlumservice.h>
#include <ombra/memory.h>
#include <ombra/textservice.h>

#include <cstdlib>

namespace ombra_fuzz {

inline void* Allocate(unsigned long long n) {
    return std::malloc(n ? n : 1);
}
inline void Release(void* p) {
    std::free(p);
}

inline void InstallHost() {
    static bool done = false;
    if (done) return;
    done = true;
    static OBMemoryService service(Allocate, Release, Allocate, Release);
    OBMemoryHandler::SetMemoryService(&service);
    OBLumHandler::SetLumService(new OBConvertorLumService);
}

} // namespace ombra_fuzz

#endif
