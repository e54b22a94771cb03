// Fonts, the writing-system service and the fallbacks used without one.
#include <ombra/memory.h>
#include <ombra/scripts.h>

#include "text/StringData.h"

#include <atomic>
#include <cstring>

using ombra_detail::ScopedBuffer;

// ---- OBFont -----------------------------------------------------------------

OBFont::OBFont()
    : technology_(kUnknownFontTechnology), encoding_(kUndefinedEncoding), charset_(0),
      codePage_(CPGE::kUndefinedCodePage) {}

OBFont::OBFont(const IOBString& name, OBPreDefinedEncodingType encoding,
               OBFontTechnology technology, int charset, CPGE::CodePageEnum codePage)
    : name_(name.Clone()), technology_(technology), encoding_(encoding), charset_(charset),
      codePage_(codePage) {}

OBFont::OBFont(const OBFont& other)
    : name_(other.name_), technology_(other.technology_), encoding_(other.encoding_),
      charset_(other.charset_), codePage_(other.codePage_) {}

// A move copies too: the name stays with the source, which keeps it usable.
// NOLINTNEXTLINE(performance-move-constructor-init)
OBFont::OBFont(OBFont&& other) noexcept : OBFont(static_cast<const OBFont&>(other)) {}

OBFont& OBFont::operator=(const OBFont& other) {
    if (this == &other) return *this;
    name_ = static_cast<const IOBString*>(other.name_.GetPtr());
    technology_ = other.technology_;
    encoding_ = other.encoding_;
    charset_ = other.charset_;
    codePage_ = other.codePage_;
    return *this;
}

OBFont& OBFont::operator=(OBFont&& other) noexcept {
    return *this = static_cast<const OBFont&>(other);
}

OBFont::~OBFont() = default;

const IOBString* OBFont::GetName() const {
    return name_.GetPtr();
}
void OBFont::SetName(const IOBString& name) {
    name_ = &name;
}
OBFontTechnology OBFont::GetTechnology() const {
    return technology_;
}
void OBFont::SetTechnology(OBFontTechnology technology) {
    technology_ = technology;
}
OBPreDefinedEncodingType OBFont::GetEncoding() const {
    return encoding_;
}
void OBFont::SetEncoding(OBPreDefinedEncodingType encoding) {
    encoding_ = encoding;
}
int OBFont::GetCharset() const {
    return charset_;
}
void OBFont::SetCharset(int charset) {
    charset_ = charset;
}
CPGE::CodePageEnum OBFont::GetCodePage() const {
    return codePage_;
}
void OBFont::SetCodePage(CPGE::CodePageEnum codePage) {
    codePage_ = codePage;
}

// ---- OBVellService ------------------------------------------------------------

OBVellService::OBVellService() : inited_(0) {}
OBVellService::OBVellService(const OBVellService& other) : inited_(other.inited_) {}
OBVellService& OBVellService::operator=(const OBVellService& other) {
    inited_ = other.inited_;
    return *this;
}
OBVellService::~OBVellService() = default;
void OBVellService::Init() {
    inited_ = 1;
}
short OBVellService::IsInited() const {
    return inited_;
}

// ---- OBVellSystemUtils ----------------------------------------------------------

namespace {

std::atomic<OBVellService*> gVellService{nullptr};
OBVellSystemUtils* gVellSystemUtils = nullptr;

// Hands a new string to out; the string out held before is deleted.
// A string whose text could not be stored, for want of memory, replaces nothing.
void Adopt(IOBStringPtr& out, IOBString* made, long long length) {
    if (!made) return;
    if (length > 0 && made->Length() == 0) {
        delete made;
        return;
    }
    IOBStringPtr fresh(made);
    out.Swap(fresh);
}

} // namespace

OBVellSystemUtils* OBVellSystemUtils::Instance() {
    if (!gVellSystemUtils) gVellSystemUtils = new OBVellSystemUtils;
    return gVellSystemUtils;
}

void OBVellSystemUtils::DeleteInstance() {
    delete gVellSystemUtils;
    gVellSystemUtils = nullptr;
}

WSE::WritingScriptEnum OBVellSystemUtils::CharSetToScript(int charset) {
    OBVellService* s = gVellService.load();
    return s ? s->CharSetToScript(charset)
             : OBVellHandler::ConvertCharsetToLumWritingScript(charset);
}

int OBVellSystemUtils::ScriptToCharset(WSE::WritingScriptEnum script) {
    OBVellService* s = gVellService.load();
    return s ? s->ScriptToCharset(script) : 0;
}

int OBVellSystemUtils::RemoveWindowsLanguageSuffix(WSE::WritingScriptEnum script, const char* name,
                                                   char* out) {
    OBVellService* s = gVellService.load();
    return s ? s->RemoveWindowsLanguageSuffix(script, name, out) : 0;
}

WSE::WritingScriptEnum OBVellSystemUtils::RealToPseudoScript(WSE::WritingScriptEnum script) {
    OBVellService* s = gVellService.load();
    return s ? s->RealToPseudoScript(script) : WSE::kRomanScript;
}

WSE::WritingScriptEnum
OBVellSystemUtils::RealMacScriptToPseudoScript(WSE::WritingScriptEnum script) {
    OBVellService* s = gVellService.load();
    return s ? s->RealMacScriptToPseudoScript(script) : WSE::kRomanScript;
}

WSE::WritingScriptEnum OBVellSystemUtils::GetWritingScript(const char* fontName, short flag) {
    OBVellService* s = gVellService.load();
    return s ? s->GetWritingScript(fontName, flag) : WSE::kRomanScript;
}

CPGE::CodePageEnum OBVellSystemUtils::GetBestCodePage(const unsigned short* text, int length) {
    OBVellService* s = gVellService.load();
    return s ? s->GetBestCodePage(text, length) : CPGE::kUndefinedCodePage;
}

int OBVellSystemUtils::TextCharToCharExtended(int mode, CPGE::CodePageEnum codePage,
                                              const unsigned short* src, int length, char* dst,
                                              int& dstLength) {
    OBVellService* s = gVellService.load();
    return s ? s->TextCharToCharExtended(mode, codePage, src, length, dst, dstLength) : 0;
}

int OBVellSystemUtils::ChunkCharToTextCharExtended(int mode, CPGE::CodePageEnum codePage,
                                                   const char*& src, int& srcLength,
                                                   unsigned short* dst, int& dstLength) {
    OBVellService* s = gVellService.load();
    return s ? s->ChunkCharToTextCharExtended(mode, codePage, src, srcLength, dst, dstLength) : 0;
}

int OBVellSystemUtils::CharToTextCharExtended(int mode, CPGE::CodePageEnum codePage,
                                              const char*& src, int& srcLength, unsigned short* dst,
                                              int& dstLength) {
    OBVellService* s = gVellService.load();
    return s ? s->CharToTextCharExtended(mode, codePage, src, srcLength, dst, dstLength) : 0;
}

CPGE::CodePageEnum OBVellSystemUtils::ScriptToMacCodePage(WSE::WritingScriptEnum script) {
    OBVellService* s = gVellService.load();
    return s ? s->ScriptToMacCodePage(script) : CPGE::kUndefinedCodePage;
}

CPGE::CodePageEnum OBVellSystemUtils::ScriptToWinCodePage(WSE::WritingScriptEnum script) {
    OBVellService* s = gVellService.load();
    return s ? s->ScriptToWinCodePage(script) : CPGE::kUndefinedCodePage;
}

CPGE::CodePageEnum OBVellSystemUtils::GetCodePage(const char* fontName, short flag) {
    OBVellService* s = gVellService.load();
    return s ? s->GetCodePage(fontName, flag) : CPGE::kUndefinedCodePage;
}

WSE::WritingScriptEnum OBVellSystemUtils::CodePageToScript(CPGE::CodePageEnum codePage) {
    OBVellService* s = gVellService.load();
    return s ? s->CodePageToScript(codePage) : WSE::kRomanScript;
}

short OBVellSystemUtils::GetCharacterProperty(unsigned short unit, unsigned short selector,
                                              void* out, int* outLength) {
    OBVellService* s = gVellService.load();
    return s ? s->GetCharacterProperty(unit, selector, out, outLength) : 0;
}

// ---- OBVellHandler ----------------------------------------------------------------

void OBVellHandler::SetVellService(OBVellService* service) {
    gVellService.store(service);
}

OBVellService* OBVellHandler::GetVellService() {
    return gVellService.load();
}

WSE::WritingScriptEnum OBVellHandler::ConvertCharsetToLumWritingScript(int charset) {
    switch (charset) {
    case 0:
    case 1:
    case 2:
    case 77:
    case 254:
    case 255:
    case 256:
        return WSE::kRomanScript;
    case 78:
    case 128:
        return WSE::kJapaneseScript;
    case 79:
    case 129:
    case 130:
        return WSE::kKoreanScript;
    case 80:
    case 134:
        return WSE::kSimpChineseScript;
    case 81:
    case 136:
        return WSE::kTradChineseScript;
    case 161:
        return WSE::kGreekScript;
    case 162:
        return WSE::kTurkishScript;
    case 177:
    case 181:
        return WSE::kHebrewScript;
    case 178:
    case 179:
        return WSE::kArabicScript;
    case 180:
        return WSE::kExtArabicScript;
    case 186:
    case 238:
        return WSE::kBalticScript;
    case 204:
        return WSE::kCyrillicScript;
    case 222:
        return WSE::kThaiScript;
    default:
        return WSE::kSystemScript;
    }
}

WSE::WritingScriptEnum OBVellHandler::ConvertCharsetToLumWritingScript(int charset,
                                                                       const char* fontName,
                                                                       OBPlatforms platform,
                                                                       char* outName) {
    if (!fontName) fontName = "";
    if (outName) std::memcpy(outName, fontName, std::strlen(fontName) + 1);
    if (!gVellService.load()) return ConvertCharsetToLumWritingScript(charset);

    OBVellSystemUtils* utils = OBVellSystemUtils::Instance();
    WSE::WritingScriptEnum result = WSE::kRomanScript;
    if (utils && platform == kWindowsPlatform) {
        result = static_cast<WSE::WritingScriptEnum>(
            utils->RemoveWindowsLanguageSuffix(WSE::kSystemScript, fontName, outName));
        if (result == WSE::kRomanScript || result == WSE::kSystemScript)
            result = charset != 0 ? utils->CharSetToScript(charset)
                                  : utils->GetWritingScript(fontName, 1);
    } else if (utils && platform == kMacPlatform) {
        result = utils->GetWritingScript(fontName, 1);
        if (result == WSE::kRomanScript || result == WSE::kSystemScript)
            result =
                charset != 0 ? utils->CharSetToScript(charset) : utils->RealToPseudoScript(result);
    }
    OBVellSystemUtils::DeleteInstance();
    return result;
}

void OBVellHandler::TranslateStyleName(unsigned short length, const char* name, IOBStringPtr& out,
                                       short unicode) {
    if (!name) return;
    if (!gVellService.load()) {
        IOBString* made = nullptr;
        if (unicode != 0) {
            WOBString* w = new WOBString;
            if (w) w->SetXString(name, length);
            made = w;
        } else {
            COBString* c = new COBString(WSE::kJapaneseScript);
            if (c) c->SetXString(name, length);
            made = c;
        }
        Adopt(out, made, length);
        return;
    }
    // The service works on UTF-16: read the bytes in the system script first.
    ScopedBuffer<unsigned short> units(static_cast<long long>(length) + 1);
    if (!units.Get()) return;
    long long n = 0;
    if (length > 0) {
        OBLumUnicodeTranslator* translator = OBLumUnicodeTranslator::Instance();
        n = translator->CharToTextChar(name, length, units.Get(), length, WSE::kSystemScript,
                                       CPGE::kCodePageFromScript);
        OBLumUnicodeTranslator::DeleteInstance();
        if (n < 0 || n > length) n = 0;
    }
    TranslateStyleName(static_cast<unsigned short>(n), units.Get(), out, unicode);
}

void OBVellHandler::TranslateStyleName(unsigned short length, const unsigned short* name,
                                       IOBStringPtr& out, short unicode) {
    if (!name) return;
    if (!gVellService.load()) {
        IOBString* made = nullptr;
        if (unicode != 0) {
            made = new WOBString(name, length);
        } else {
            COBString* c = new COBString(WSE::kJapaneseScript);
            if (c) c->SetXString(name, length);
            made = c;
        }
        Adopt(out, made, length);
        return;
    }

    OBVellSystemUtils* utils = OBVellSystemUtils::Instance();
    if (!utils) return;
    const int capacity = 2 * static_cast<int>(length);
    ScopedBuffer<char> buffer(capacity + 1);
    if (buffer.Get()) {
        std::memset(buffer.Get(), 0, static_cast<std::size_t>(capacity) + 1);
        CPGE::CodePageEnum codePage = utils->GetBestCodePage(name, length);
        WSE::WritingScriptEnum script = utils->CodePageToScript(codePage);
        int written = capacity;
        utils->TextCharToCharExtended(4, codePage, name, length, buffer.Get(), written);
        // Double-byte code pages need up to two bytes a unit: keep what the
        // service reports it wrote, never more than the buffer and never a
        // trailing run of the buffer's zero fill.
        if (written < 0 || written > capacity) written = capacity;
        long long bytes = ombra_detail::TerminatedLength(buffer.Get(), written);
        IOBString* made = nullptr;
        if (script == WSE::kUnicodeScript) {
            WOBString* w = new WOBString;
            if (w) w->SetXString(buffer.Get(), bytes);
            made = w;
        } else {
            COBString* c = new COBString(script);
            if (c) c->SetXString(buffer.Get(), bytes);
            made = c;
        }
        Adopt(out, made, length);
    }
    OBVellSystemUtils::DeleteInstance();
}
