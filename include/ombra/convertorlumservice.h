// The core's own text service: converts through the platform's code pages.
#ifndef OMBRA_CONVERTORLUMSERVICE_H
#define OMBRA_CONVERTORLUMSERVICE_H

#include <ombra/export.h>
#include <ombra/textservice.h>

/// The text service that the convertor manager installs. It maps each
/// writing script to a Windows code page (ScriptToCodePage) and ignores the
/// code page argument. Conversion replaces invalid input bytes by U+FFFD and
/// characters a code page cannot hold by '?'; a result that does not fit the
/// output gives 0 and leaves the output untouched.
class OMBRA_API OBConvertorLumService : public OBLumService {
public:
    OBConvertorLumService() = default;
    ~OBConvertorLumService() override;

    /// Converts n bytes (-1: up to and including the NUL) in the script's
    /// code page into at most capacity units. Returns the units written.
    long long CharToTextChar(const char* src, long long n, unsigned short* dst, long long capacity,
                             WSE::WritingScriptEnum script, CPGE::CodePageEnum codePage) override;
    /// Converts n units (-1: up to and including the 0 unit) into at most
    /// capacity bytes of the script's code page, NUL-terminated when there
    /// is room. Returns the bytes converted: with n = -1 they include the
    /// byte of the 0 unit; a terminator added after n units is not counted.
    long long TextCharToChar(const unsigned short* src, long long n, char* dst, long long capacity,
                             WSE::WritingScriptEnum script, CPGE::CodePageEnum codePage) override;
    /// Ignores the font: converts with the system script's code page.
    long long TextCharToChar(const unsigned short* src, long long n, char* dst, long long capacity,
                             OBFont* font) override;
    /// Ignores the font and leaves exact and used untouched; converts with
    /// the system script's code page.
    long long TextCharToChar_Exact(const unsigned short* src, long long n, char* dst,
                                   long long capacity, short& exact, long long& used,
                                   OBFont* font) override;
    /// TextCharToChar with the script; exact and used stay untouched.
    long long TextCharToChar_Exact(const unsigned short* src, long long n, char* dst,
                                   long long capacity, short& exact, long long& used,
                                   WSE::WritingScriptEnum script,
                                   CPGE::CodePageEnum codePage) override;
    /// Does nothing.
    void SetEncoding(int encoding) override;

    /// The Windows code page for a writing script: 1 gives 932, 2 gives 950,
    /// 3 gives 1361, 4 and 31 give 1256, 5 gives 1255, 6 gives 1253, 7 gives
    /// 1251, 21 gives 874, 25 gives 936, 36 gives 1254, 37 gives 1257; every
    /// other value gives 0, the system default code page.
    static unsigned int ScriptToCodePage(WSE::WritingScriptEnum script);

    /// Sets the Windows code page that stands for the system default
    /// (code page 0), process-wide; it starts as 1252. Set it before
    /// conversions start. Returns 1 when the code page can be converted
    /// here, 0 (and no change) otherwise. Code pages whose characters take
    /// more than two bytes (65001, UTF-8) may not fit the buffers that the
    /// strings size at two bytes per UTF-16 unit.
    static short SetSystemCodePage(unsigned int codePage);
    /// The Windows code page that stands for the system default.
    static unsigned int GetSystemCodePage();

    // Explicit code pages, for text whose code page is not its script's
    // Windows one (a target platform's own, say). A code page is named by its
    // Windows number: 1250-1258 and 874, 932, 936, 949, 950, 1361; 10000
    // Mac OS Roman, 10007 Mac Cyrillic, 10029 Mac Central European; 20127
    // ASCII, 20866 KOI8-R, 21866 KOI8-U; 28591-28599, 28603 and 28605 the ISO
    // 8859 pages; 20932 EUC-JP (JIS X 0208 and 0212), 51932 EUC-JP with the
    // characters of code page 932 besides; 51949 EUC-KR, 54936 GB18030,
    // 65001 UTF-8; 0 the system default (GetSystemCodePage). Whether one
    // can be converted here says IsCodePageAvailable. They need no text
    // service on the calling thread and keep what they use per thread, as
    // the service's conversions do.

    /// 1 when text can be converted with codePage, else 0.
    static short IsCodePageAvailable(unsigned int codePage);
    /// Converts n bytes (-1: up to and including the NUL) of codePage into
    /// at most capacity units; an invalid byte sequence becomes U+FFFD.
    /// Returns the units written; 0 when the code page is not available, an
    /// argument is invalid or the result does not fit (dst untouched).
    static long long CodePageToTextChar(unsigned int codePage, const char* src, long long n,
                                        unsigned short* dst, long long capacity);
    /// Converts n units (-1: up to and including the 0 unit) into at most
    /// capacity bytes of codePage, NUL-terminated when there is room; a
    /// character the code page lacks becomes '?'. Returns the bytes
    /// written; 0 when the code page is not available, an argument is
    /// invalid or the result does not fit (dst untouched).
    static long long TextCharToCodePage(unsigned int codePage, const unsigned short* src,
                                        long long n, char* dst, long long capacity);
    /// As TextCharToCodePage, but ends before the first character that the
    /// code page does not hold exactly, so that the caller can stand in for
    /// it: one it has no bytes for, one whose bytes would read back as
    /// another character (a best fit), an unpaired surrogate. Returns the
    /// bytes written for the units before it; used receives their count and
    /// exact is 1 when that is all n units (the text at src + used starts
    /// with the lacking character otherwise). When the conversion fails as
    /// TextCharToCodePage does, the result is 0, exact 0 and used -1.
    static long long TextCharToCodePage_Exact(unsigned int codePage, const unsigned short* src,
                                              long long n, char* dst, long long capacity,
                                              short& exact, long long& used);
};

#endif
