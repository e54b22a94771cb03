// Writing scripts, code pages and the pluggable text service through which
// all conversion between 8-bit text and UTF-16 runs.
#ifndef OMBRA_TEXTSERVICE_H
#define OMBRA_TEXTSERVICE_H

#include <ombra/export.h>

/// Writing scripts. Every 8-bit string carries one; it says which legacy
/// code page its bytes are read in. The members are those the library
/// produces or treats specially; any other value a writing-system service
/// returns passes through unchanged.
namespace WSE {
enum WritingScriptEnum : int {
#define OB_WRITING_SCRIPT(name, value, codePage) name = value,
#include <ombra/defs/WritingScripts.def>
};
} // namespace WSE

/// Code pages, as the writing-system service and the text service see them.
/// The library passes only kCodePageFromScript, which tells the service to
/// derive the code page from the writing script passed beside it.
namespace CPGE {
enum CodePageEnum : int {
#define OB_CODE_PAGE(name, value, windowsCodePage) name = value,
#include <ombra/defs/CodePages.def>
};
} // namespace CPGE

class OBFont;

/// The text service: converts between 8-bit text of a writing script and
/// UTF-16. A host or the convertor manager installs one per thread through
/// OBLumHandler; the strings reach it through OBLumUnicodeTranslator.
/// Every conversion returns the number of units or bytes it wrote into dst
/// (never more than capacity), 0 when nothing could be converted.
class OMBRA_API OBLumService {
public:
    OB_MEMORY_OPERATORS
    OBLumService() = default;
    OBLumService(const OBLumService&) = default;
    OBLumService& operator=(const OBLumService&) = default;
    virtual ~OBLumService();

    /// 8-bit text to UTF-16. The base service converts nothing (result 0).
    virtual long long CharToTextChar(const char* src, long long n, unsigned short* dst,
                                     long long capacity, WSE::WritingScriptEnum script,
                                     CPGE::CodePageEnum codePage);
    /// UTF-16 to 8-bit text of `script`. The base service converts nothing.
    virtual long long TextCharToChar(const unsigned short* src, long long n, char* dst,
                                     long long capacity, WSE::WritingScriptEnum script,
                                     CPGE::CodePageEnum codePage);
    /// UTF-16 to 8-bit text for `font`.
    virtual long long TextCharToChar(const unsigned short* src, long long n, char* dst,
                                     long long capacity, OBFont* font) = 0;
    /// As TextCharToChar for `font`; a service may report in `exact` whether
    /// every character had bytes and in `used` how many units it consumed.
    virtual long long TextCharToChar_Exact(const unsigned short* src, long long n, char* dst,
                                           long long capacity, short& exact, long long& used,
                                           OBFont* font) = 0;
    /// As TextCharToChar with a script; the base service converts nothing.
    virtual long long TextCharToChar_Exact(const unsigned short* src, long long n, char* dst,
                                           long long capacity, short& exact, long long& used,
                                           WSE::WritingScriptEnum script,
                                           CPGE::CodePageEnum codePage);
    /// Chooses the service's output encoding; its meaning is the service's.
    virtual void SetEncoding(int encoding) = 0;
    /// Control bytes to units; the base service asks OBLumUnicodeTranslator.
    virtual short TranslateSymbolAndControlChar(char c, unsigned short& out, int unused);
    /// Special spaces and control units to bytes; the base service asks
    /// OBLumUnicodeTranslator.
    virtual short ReverseSymbolAndControlChar(unsigned short u, char& out, int unused);
};

/// A font service a host may install beside the text service. The library
/// stores it per thread and never calls it; the operations are for the host
/// and plug-ins that share it.
class OMBRA_API OBLumFontService {
public:
    OB_MEMORY_OPERATORS
    OBLumFontService() = default;
    OBLumFontService(const OBLumFontService&) = default;
    OBLumFontService& operator=(const OBLumFontService&) = default;
    virtual ~OBLumFontService();

    /// The writing script the font's characters belong to.
    virtual WSE::WritingScriptEnum GetFontScript(const OBFont* font) = 0;
    /// The code page the font's 8-bit text is in.
    virtual CPGE::CodePageEnum GetFontCodePage(const OBFont* font) = 0;
    /// 1 when the font maps its bytes to symbols rather than letters.
    virtual short IsSymbolFont(const OBFont* font) = 0;
    /// 1 when the font has a glyph for the UTF-16 unit.
    virtual short HasGlyph(const OBFont* font, unsigned short unit) = 0;
    /// The advance width of the unit in the font, in points at size 1.
    virtual double GetCharWidth(const OBFont* font, unsigned short unit) = 0;
    /// Copies the font's PostScript name into name (capacity bytes with the
    /// NUL); returns 1 when it fit.
    virtual short GetPostScriptName(const OBFont* font, char* name, long long capacity) = 0;
    /// Chooses the encoding of the font's 8-bit text; its meaning is the service's.
    virtual void SetEncoding(int encoding) = 0;
};

/// Holds each thread's text and font service, and one process-wide
/// procedure pointer for the host.
class OMBRA_API OBLumHandler {
public:
    /// Installs the calling thread's text service when it has none yet; a
    /// second call changes nothing. A service still installed when its
    /// thread ends is deleted then.
    static void SetLumService(OBLumService* service);
    /// As SetLumService, for the font service.
    static void SetLumFontService(OBLumFontService* service);
    /// The calling thread's services; null when none is installed.
    static OBLumService* GetLumService();
    static OBLumFontService* GetLumFontService();
    /// Empties both of the calling thread's slots without deleting the
    /// services: delete what you installed first (or afterwards).
    static void ResetLumService();

    /// Stores and returns a procedure pointer for the host and plug-ins;
    /// the library never calls it.
    static void SetTorkGetAddressProc(void* proc);
    static void* GetTorkGetAddressProc();

    /// The text engine's spelling of a script: kSystemScript (32) becomes
    /// 0x40000000, every other value is returned unchanged.
    static int GetLumScript(WSE::WritingScriptEnum script);
};

/// The process-wide entry through which the strings convert text: each
/// conversion goes to the calling thread's installed text service. On a
/// thread without a service the conversions return 0. Callers bracket each
/// use with Instance and DeleteInstance.
class OMBRA_API OBLumUnicodeTranslator {
public:
    /// The one instance, made on first use (thread-safe); never null.
    static OBLumUnicodeTranslator* Instance();
    /// Does nothing: the instance lives for the process.
    static void DeleteInstance();

    virtual long long CharToTextChar(const char* src, long long n, unsigned short* dst,
                                     long long capacity, WSE::WritingScriptEnum script,
                                     CPGE::CodePageEnum codePage);
    virtual long long TextCharToChar(const unsigned short* src, long long n, char* dst,
                                     long long capacity, WSE::WritingScriptEnum script,
                                     CPGE::CodePageEnum codePage);
    virtual long long TextCharToChar(const unsigned short* src, long long n, char* dst,
                                     long long capacity, OBFont* font);
    virtual long long TextCharToChar_Exact(const unsigned short* src, long long n, char* dst,
                                           long long capacity, short& exact, long long& used,
                                           OBFont* font);
    virtual long long TextCharToChar_Exact(const unsigned short* src, long long n, char* dst,
                                           long long capacity, short& exact, long long& used,
                                           WSE::WritingScriptEnum script,
                                           CPGE::CodePageEnum codePage);
    /// Forwards to the thread's service; nothing without one.
    virtual void SetEncoding(int encoding);
    /// A byte below 0x20 becomes the same unit (result 1); any other byte
    /// gives 0 and leaves out unchanged. The last argument is not used.
    virtual short TranslateSymbolAndControlChar(char c, unsigned short& out, int unused);
    /// The special spaces U+2001-U+2003, U+2007-U+200A and the non-breaking
    /// hyphen U+2011 become control bytes, units below 0x20 the same byte
    /// (result 1); anything else gives 0 and leaves out unchanged.
    virtual short ReverseSymbolAndControlChar(unsigned short u, char& out, int unused);

protected:
    OBLumUnicodeTranslator();
    OBLumUnicodeTranslator(const OBLumUnicodeTranslator&) = delete;
    OBLumUnicodeTranslator& operator=(const OBLumUnicodeTranslator&) = delete;
    virtual ~OBLumUnicodeTranslator();
};

#endif
