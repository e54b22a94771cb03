#include <ombra/textservice.h>

#include <atomic>
#include <mutex>
#include <new>

#include <boost/thread/tss.hpp>

namespace {

// Deleted by the slots' default cleanup when their thread ends.
boost::thread_specific_ptr<OBLumService> gLumService;
boost::thread_specific_ptr<OBLumFontService> gLumFontService;

std::atomic<void*> gTorkGetAddressProc{nullptr};

const int kTextEngineSystemScript = 0x40000000;

// Units that the text engine writes as control bytes.
struct SpecialUnit {
    unsigned short unit;
    unsigned char byte;
};
const SpecialUnit kSpecialUnits[] = {
    {0x2001, 0x15}, // em quad
    {0x2002, 0x13}, // en space
    {0x2003, 0x14}, // em space
    {0x2007, 0x17}, // figure space
    {0x2008, 0x10}, // punctuation space
    {0x2009, 0x12}, // thin space
    {0x200A, 0x16}, // hair space
    {0x2011, 0x0F}, // non-breaking hyphen
};

} // namespace

// ---- OBLumService ----------------------------------------------------------

OBLumService::~OBLumService() = default;

long long OBLumService::CharToTextChar(const char*, long long, unsigned short*, long long,
                                       WSE::WritingScriptEnum, CPGE::CodePageEnum) {
    return 0;
}

long long OBLumService::TextCharToChar(const unsigned short*, long long, char*, long long,
                                       WSE::WritingScriptEnum, CPGE::CodePageEnum) {
    return 0;
}

long long OBLumService::TextCharToChar_Exact(const unsigned short*, long long, char*, long long,
                                             short&, long long&, WSE::WritingScriptEnum,
                                             CPGE::CodePageEnum) {
    return 0;
}

short OBLumService::TranslateSymbolAndControlChar(char c, unsigned short& out, int unused) {
    return OBLumUnicodeTranslator::Instance()->TranslateSymbolAndControlChar(c, out, unused);
}

short OBLumService::ReverseSymbolAndControlChar(unsigned short u, char& out, int unused) {
    return OBLumUnicodeTranslator::Instance()->ReverseSymbolAndControlChar(u, out, unused);
}

OBLumFontService::~OBLumFontService() = default;

// ---- OBLumHandler ----------------------------------------------------------

void OBLumHandler::SetLumService(OBLumService* service) {
    if (!gLumService.get()) gLumService.reset(service);
}

void OBLumHandler::SetLumFontService(OBLumFontService* service) {
    if (!gLumFontService.get()) gLumFontService.reset(service);
}

OBLumService* OBLumHandler::GetLumService() {
    return gLumService.get();
}

OBLumFontService* OBLumHandler::GetLumFontService() {
    return gLumFontService.get();
}

void OBLumHandler::ResetLumService() {
    gLumService.release();
    gLumFontService.release();
}

void OBLumHandler::SetTorkGetAddressProc(void* proc) {
    gTorkGetAddressProc.store(proc);
}

void* OBLumHandler::GetTorkGetAddressProc() {
    return gTorkGetAddressProc.load();
}

int OBLumHandler::GetLumScript(WSE::WritingScriptEnum script) {
    return script == WSE::kSystemScript ? kTextEngineSystemScript : static_cast<int>(script);
}

// ---- OBLumUnicodeTranslator ------------------------------------------------

OBLumUnicodeTranslator::OBLumUnicodeTranslator() = default;

OBLumUnicodeTranslator::~OBLumUnicodeTranslator() = default;

OBLumUnicodeTranslator* OBLumUnicodeTranslator::Instance() {
    // Static storage, never destroyed: the instance has no data, and strings
    // in other static objects may still convert while the process ends.
    alignas(OBLumUnicodeTranslator) static unsigned char storage[sizeof(OBLumUnicodeTranslator)];
    static OBLumUnicodeTranslator* instance = new (storage) OBLumUnicodeTranslator;
    return instance;
}

void OBLumUnicodeTranslator::DeleteInstance() {}

long long OBLumUnicodeTranslator::CharToTextChar(const char* src, long long n, unsigned short* dst,
                                                 long long capacity, WSE::WritingScriptEnum script,
                                                 CPGE::CodePageEnum codePage) {
    OBLumService* service = OBLumHandler::GetLumService();
    return service ? service->CharToTextChar(src, n, dst, capacity, script, codePage) : 0;
}

long long OBLumUnicodeTranslator::TextCharToChar(const unsigned short* src, long long n, char* dst,
                                                 long long capacity, WSE::WritingScriptEnum script,
                                                 CPGE::CodePageEnum codePage) {
    OBLumService* service = OBLumHandler::GetLumService();
    return service ? service->TextCharToChar(src, n, dst, capacity, script, codePage) : 0;
}

long long OBLumUnicodeTranslator::TextCharToChar(const unsigned short* src, long long n, char* dst,
                                                 long long capacity, OBFont* font) {
    OBLumService* service = OBLumHandler::GetLumService();
    return service ? service->TextCharToChar(src, n, dst, capacity, font) : 0;
}

long long OBLumUnicodeTranslator::TextCharToChar_Exact(const unsigned short* src, long long n,
                                                       char* dst, long long capacity, short& exact,
                                                       long long& used, OBFont* font) {
    OBLumService* service = OBLumHandler::GetLumService();
    return service ? service->TextCharToChar_Exact(src, n, dst, capacity, exact, used, font) : 0;
}

long long OBLumUnicodeTranslator::TextCharToChar_Exact(const unsigned short* src, long long n,
                                                       char* dst, long long capacity, short& exact,
                                                       long long& used,
                                                       WSE::WritingScriptEnum script,
                                                       CPGE::CodePageEnum codePage) {
    OBLumService* service = OBLumHandler::GetLumService();
    return service
               ? service->TextCharToChar_Exact(src, n, dst, capacity, exact, used, script, codePage)
               : 0;
}

void OBLumUnicodeTranslator::SetEncoding(int encoding) {
    if (OBLumService* service = OBLumHandler::GetLumService()) service->SetEncoding(encoding);
}

short OBLumUnicodeTranslator::TranslateSymbolAndControlChar(char c, unsigned short& out, int) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20) return 0;
    out = byte;
    return 1;
}

short OBLumUnicodeTranslator::ReverseSymbolAndControlChar(unsigned short u, char& out, int) {
    for (const SpecialUnit& special : kSpecialUnits) {
        if (special.unit == u) {
            out = static_cast<char>(special.byte);
            return 1;
        }
    }
    if (u >= 0x20) return 0;
    out = static_cast<char>(u);
    return 1;
}
