#include <ombra/convertorlumservice.h>
#include <ombra/memory.h>

#include "platform/CodePages.h"

#include <climits>

namespace {

// Scratch space, so that a result that does not fit leaves the caller's
// buffer untouched. It comes from the memory service, returned on every
// path; the explicit code pages take small requests on the stack, so that
// text converted piece by piece costs no allocation.
class Scratch {
public:
    Scratch(long long bytes, bool stackWhenSmall)
        : block_(bytes <= 0 ? nullptr
                 : stackWhenSmall && bytes <= static_cast<long long>(sizeof small_)
                     ? small_
                     : OBLibAllocate(static_cast<std::size_t>(bytes))) {}
    ~Scratch() {
        if (block_ != small_) OBLibFree(block_);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    template <typename T> T* As() const { return static_cast<T*>(block_); }

private:
    alignas(8) unsigned char small_[512];
    void* block_;
};

bool UsableSource(const void* src, long long n) {
    return src && (n > 0 || n == -1);
}

long long ToUnits(unsigned codePage, const char* src, long long n, unsigned short* dst,
                  long long capacity, bool explicitPage) {
    if (!UsableSource(src, n) || !dst || capacity <= 0) return 0;
    if (capacity > LLONG_MAX / static_cast<long long>(sizeof(unsigned short))) return 0;
    Scratch scratch(capacity * static_cast<long long>(sizeof(unsigned short)), explicitPage);
    unsigned short* units = scratch.As<unsigned short>();
    if (!units) return 0;
    long long produced = obsys::MultiByteToWideChar(codePage, 0, src, n, units, capacity);
    if (produced <= 0 || produced > capacity) return 0;
    OBMemcpy(dst, units, static_cast<std::size_t>(produced) * sizeof(unsigned short));
    return produced;
}

// Copies a result made in scratch and adds the NUL when there is room.
long long Deliver(const char* bytes, long long produced, char* dst, long long capacity) {
    OBMemcpy(dst, bytes, static_cast<std::size_t>(produced));
    if (produced < capacity) dst[produced] = '\0';
    return produced;
}

long long ToBytes(unsigned codePage, const unsigned short* src, long long n, char* dst,
                  long long capacity, bool explicitPage) {
    if (!UsableSource(src, n) || !dst || capacity <= 0) return 0;
    Scratch scratch(capacity, explicitPage);
    char* bytes = scratch.As<char>();
    if (!bytes) return 0;
    long long produced =
        obsys::WideCharToMultiByte(codePage, 0, src, n, bytes, capacity, nullptr, nullptr);
    if (produced <= 0 || produced > capacity) return 0;
    return Deliver(bytes, produced, dst, capacity);
}

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
    return ToUnits(ScriptToCodePage(script), src, n, dst, capacity, false);
}

long long OBConvertorLumService::TextCharToChar(const unsigned short* src, long long n, char* dst,
                                                long long capacity, WSE::WritingScriptEnum script,
                                                CPGE::CodePageEnum) {
    return ToBytes(ScriptToCodePage(script), src, n, dst, capacity, false);
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

unsigned int OBConvertorLumService::GetSystemCodePage() {
    return obsys::GetSystemCodePage();
}

short OBConvertorLumService::IsCodePageAvailable(unsigned int codePage) {
    if (codePage == obsys::kSystemDefaultCodePage) codePage = obsys::GetSystemCodePage();
    return obsys::IsCodePageAvailable(codePage) ? 1 : 0;
}

long long OBConvertorLumService::CodePageToTextChar(unsigned int codePage, const char* src,
                                                    long long n, unsigned short* dst,
                                                    long long capacity) {
    return ToUnits(codePage, src, n, dst, capacity, true);
}

long long OBConvertorLumService::TextCharToCodePage(unsigned int codePage,
                                                    const unsigned short* src, long long n,
                                                    char* dst, long long capacity) {
    return ToBytes(codePage, src, n, dst, capacity, true);
}

long long OBConvertorLumService::TextCharToCodePage_Exact(unsigned int codePage,
                                                          const unsigned short* src, long long n,
                                                          char* dst, long long capacity,
                                                          short& exact, long long& used) {
    exact = 0;
    used = -1;
    if (!UsableSource(src, n) || !dst || capacity <= 0) return 0;
    if (n == -1) {
        n = 1;
        while (src[n - 1])
            ++n;
    }
    Scratch scratch(capacity, true);
    char* bytes = scratch.As<char>();
    if (!bytes) return 0;
    long long done = 0;
    long long produced = obsys::WideCharToMultiByteExact(codePage, src, n, bytes, capacity, &done);
    if (produced < 0 || produced > capacity) return 0;
    used = done;
    exact = done == n ? 1 : 0;
    return Deliver(bytes, produced, dst, capacity);
}
