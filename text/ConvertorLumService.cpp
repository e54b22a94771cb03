#include <ombra/convertorlumservice.h>
#include <ombra/memory.h>

#include "platform/CodePages.h"

#include <climits>

namespace {

// Scratch space from the memory service, returned on every path.
class Scratch {
public:
    explicit Scratch(long long bytes)
        : block_(bytes > 0 ? OBLibAllocate(static_cast<std::size_t>(bytes)) : nullptr) {}
    ~Scratch() { OBLibFree(block_); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    template <typename T> T* As() const { return static_cast<T*>(block_); }

private:
    void* block_;
};

bool UsableSource(const void* src, long long n) { return src && (n > 0 || n == -1); }

} // namespace

OBConvertorLumService::~OBConvertorLumService() = default;

unsigned int OBConvertorLumService::ScriptToCodePage(WSE::WritingScriptEnum script) {
    switch (script) {
#define OB_WRITING_SCRIPT(name, value, codePage)                                                   \
    case WSE::name:                                                                                \
        return codePage;
#include <ombra/defs/WritingScripts.def>
    default:
        return obsys::kSystemDefaultCodePage;
    }
}

long long OBConvertorLumService::CharToTextChar(const char* src, long long n, unsigned short* dst,
                                                long long capacity, WSE::WritingScriptEnum script,
                                                CPGE::CodePageEnum) {
    if (!UsableSource(src, n) || !dst || capacity <= 0) return 0;
    if (capacity > LLONG_MAX / static_cast<long long>(sizeof(unsigned short))) return 0;
    Scratch scratch(capacity * static_cast<long long>(sizeof(unsigned short)));
    unsigned short* units = scratch.As<unsigned short>();
    if (!units) return 0;
    long long produced =
        obsys::MultiByteToWideChar(ScriptToCodePage(script), 0, src, n, units, capacity);
    if (produced <= 0 || produced > capacity) return 0;
    OBMemcpy(dst, units, static_cast<std::size_t>(produced) * sizeof(unsigned short));
    return produced;
}

long long OBConvertorLumService::TextCharToChar(const unsigned short* src, long long n, char* dst,
                                                long long capacity, WSE::WritingScriptEnum script,
                                                CPGE::CodePageEnum) {
    if (!UsableSource(src, n) || !dst || capacity <= 0) return 0;
    Scratch scratch(capacity);
    char* bytes = scratch.As<char>();
    if (!bytes) return 0;
    long long produced = obsys::WideCharToMultiByte(ScriptToCodePage(script), 0, src, n, bytes,
                                                    capacity, nullptr, nullptr);
    if (produced <= 0 || produced > capacity) return 0;
    OBMemcpy(dst, bytes, static_cast<std::size_t>(produced));
    if (produced < capacity) dst[produced] = '\0';
    return produced;
}

long long OBConvertorLumService::TextCharToChar(const unsigned short* src, long long n, char* dst,
                                                long long capacity, OBFont*) {
    return TextCharToChar(src, n, dst, capacity, WSE::kSystemScript, CPGE::kCodePageFromScript);
}

long long OBConvertorLumService::TextCharToChar_Exact(const unsigned short* src, long long n,
                                                      char* dst, long long capacity, short&,
                                                      long long&, OBFont*) {
    return TextCharToChar(src, n, dst, capacity, WSE::kSystemScript, CPGE::kCodePageFromScript);
}

long long OBConvertorLumService::TextCharToChar_Exact(const unsigned short* src, long long n,
                                                      char* dst, long long capacity, short&,
                                                      long long&, WSE::WritingScriptEnum script,
                                                      CPGE::CodePageEnum codePage) {
    return TextCharToChar(src, n, dst, capacity, script, codePage);
}

void OBConvertorLumService::SetEncoding(int) {}

short OBConvertorLumService::SetSystemCodePage(unsigned int codePage) {
    return obsys::SetSystemCodePage(codePage) ? 1 : 0;
}

unsigned int OBConvertorLumService::GetSystemCodePage() { return obsys::GetSystemCodePage(); }
