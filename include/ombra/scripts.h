// Locales, fonts, the pluggable writing-system service that maps font
// character sets to writing scripts, the per-thread current locale and the
// character classes for word selection and Japanese line breaking (kinsoku).
#ifndef OMBRA_SCRIPTS_H
#define OMBRA_SCRIPTS_H

#include <ombra/export.h>
#include <ombra/strings.h>
#include <ombra/textservice.h>

/// User-interface locales. A display text's resource id is its base id plus
/// the locale code, so every code is below 16 (see messages.h). A thread
/// starts with kEnglish (0).
namespace OBL {
enum LocaleIDEnum : int {
#define OB_LOCALE(name, value, script, tag) name = value,
#include <ombra/defs/Locales.def>
};
/// The number of locales; the codes run from 0 to kLocaleCount - 1.
constexpr int kLocaleCount = 0
#define OB_LOCALE(name, value, script, tag) +1
#include <ombra/defs/Locales.def>
    ;
static_assert(kLocaleCount <= 16, "a locale code is an offset within a block of 16 resource ids");
} // namespace OBL

/// The font-naming convention that a character-set conversion follows.
enum OBPlatforms : int {
    kWindowsPlatform = 1, ///< a font name may end in a language suffix ("Sans CE")
    kMacPlatform = 2,     ///< the name carries no suffix; the script comes from the name
};

/// The outline technology of a font.
enum OBFontTechnology : int {
    kUnknownFontTechnology = 0,
    kTrueTypeFont = 1,
    kType1Font = 2,
    kOpenTypeCFFFont = 3,
    kCIDFont = 4,
    kBitmapFont = 5,
};

/// The encoding that maps a font's 8-bit codes to glyphs.
enum OBPreDefinedEncodingType : int {
    kUndefinedEncoding = 0,
    kStandardEncoding = 1, ///< the font's built-in standard encoding
    kWinAnsiEncoding = 2,  ///< Windows-1252
    kMacRomanEncoding = 3,
    kSymbolEncoding = 4,       ///< codes name symbols, not letters
    kUnicodeEncoding = 5,      ///< the font is addressed in UTF-16
    kFontSpecificEncoding = 6, ///< an encoding of the font's own
};

/// A font as conversions that depend on it see it: name, technology,
/// encoding, Windows character set and code page.
class OMBRA_API OBFont {
public:
    OB_MEMORY_OPERATORS
    /// No name; the numbers are 0.
    OBFont();
    /// Keeps a copy of name. charset is the font's Windows character set
    /// (0 ANSI, 128 Shift-JIS, …; see OBVellHandler::ConvertCharsetToLumWritingScript).
    OBFont(const IOBString& name, OBPreDefinedEncodingType encoding, OBFontTechnology technology,
           int charset, CPGE::CodePageEnum codePage);
    /// Copies and moves copy the name deeply and the four numbers.
    OBFont(const OBFont& other);
    OBFont(OBFont&& other) noexcept;
    OBFont& operator=(const OBFont& other);
    OBFont& operator=(OBFont&& other) noexcept;
    ~OBFont();

    /// The name; null when the font has none (or no memory was left for it).
    const IOBString* GetName() const;
    /// Replaces the name with a copy of name.
    void SetName(const IOBString& name);
    OBFontTechnology GetTechnology() const;
    void SetTechnology(OBFontTechnology technology);
    OBPreDefinedEncodingType GetEncoding() const;
    void SetEncoding(OBPreDefinedEncodingType encoding);
    int GetCharset() const;
    void SetCharset(int charset);
    CPGE::CodePageEnum GetCodePage() const;
    void SetCodePage(CPGE::CodePageEnum codePage);

private:
    IOBStringPtr name_;
    OBFontTechnology technology_;
    OBPreDefinedEncodingType encoding_;
    int charset_;
    CPGE::CodePageEnum codePage_;
};

/// The writing-system service a host may install (OBVellHandler): it knows
/// font character sets, scripts and code pages beyond the library's own
/// fallback. The operations are those of OBVellSystemUtils, in the same
/// order; their finer meaning (the first argument of the Extended
/// conversions, the int16 of GetWritingScript and GetCodePage,
/// GetCharacterProperty) is the service's.
class OMBRA_API OBVellService {
public:
    OB_MEMORY_OPERATORS
    /// Not yet initialised.
    OBVellService();
    OBVellService(const OBVellService& other);
    OBVellService& operator=(const OBVellService& other);
    virtual ~OBVellService();

    virtual WSE::WritingScriptEnum CharSetToScript(int charset) = 0;
    virtual int ScriptToCharset(WSE::WritingScriptEnum script) = 0;
    /// Writes name without its Windows language suffix into out and returns
    /// the script the suffix named (0 or 32 when it named none).
    virtual int RemoveWindowsLanguageSuffix(WSE::WritingScriptEnum script, const char* name,
                                            char* out) = 0;
    virtual WSE::WritingScriptEnum RealToPseudoScript(WSE::WritingScriptEnum script) = 0;
    virtual WSE::WritingScriptEnum RealMacScriptToPseudoScript(WSE::WritingScriptEnum script) = 0;
    /// The script of a font by its name.
    virtual WSE::WritingScriptEnum GetWritingScript(const char* fontName, short flag) = 0;
    /// The code page that holds the length units of text best.
    virtual CPGE::CodePageEnum GetBestCodePage(const unsigned short* text, int length) = 0;
    /// UTF-16 to 8-bit text of codePage; dstLength holds the capacity of dst
    /// on entry and the bytes written on return.
    virtual int TextCharToCharExtended(int mode, CPGE::CodePageEnum codePage,
                                       const unsigned short* src, int length, char* dst,
                                       int& dstLength) = 0;
    /// 8-bit text of codePage to UTF-16 for a chunk that may end inside a
    /// character: src and srcLength advance over what was consumed.
    virtual int ChunkCharToTextCharExtended(int mode, CPGE::CodePageEnum codePage, const char*& src,
                                            int& srcLength, unsigned short* dst,
                                            int& dstLength) = 0;
    /// 8-bit text of codePage to UTF-16.
    virtual int CharToTextCharExtended(int mode, CPGE::CodePageEnum codePage, const char*& src,
                                       int& srcLength, unsigned short* dst, int& dstLength) = 0;
    virtual CPGE::CodePageEnum ScriptToMacCodePage(WSE::WritingScriptEnum script) = 0;
    virtual CPGE::CodePageEnum ScriptToWinCodePage(WSE::WritingScriptEnum script) = 0;
    /// The code page of a font by its name.
    virtual CPGE::CodePageEnum GetCodePage(const char* fontName, short flag) = 0;
    virtual WSE::WritingScriptEnum CodePageToScript(CPGE::CodePageEnum codePage) = 0;
    virtual short GetCharacterProperty(unsigned short unit, unsigned short selector, void* out,
                                       int* outLength) = 0;

    /// Marks the service initialised.
    void Init();
    /// 1 after Init, else 0.
    short IsInited() const;

private:
    short inited_;
};

/// The process-wide writing-system service and what the library does with
/// it. The service is set once by the host before conversions start and is
/// never deleted by the library; while none is installed the fallbacks
/// below apply.
class OMBRA_API OBVellHandler {
public:
    static void SetVellService(OBVellService* service);
    static OBVellService* GetVellService();

    /// The writing script of a Windows font character set: 0, 1, 2, 77 and
    /// 254-256 give 0 (Roman), 78 and 128 Japanese (1), 79, 129 and 130
    /// Korean (3), 80 and 134 simplified Chinese (25), 81 and 136 traditional
    /// Chinese (2), 161 Greek (6), 162 Turkish (36), 177 and 181 Hebrew (5),
    /// 178 and 179 Arabic (4), 180 extended Arabic (31), 186 and 238 Baltic
    /// (37), 204 Cyrillic (7), 222 Thai (21); anything else the system
    /// script (32).
    static WSE::WritingScriptEnum ConvertCharsetToLumWritingScript(int charset);
    /// The script of a font from its character set and name, through the
    /// writing-system service when one is installed (otherwise the fallback
    /// above). outName, when given, receives fontName (it must hold as many
    /// bytes), for kWindowsPlatform without its language suffix. Other
    /// platforms give 0; so does a service call without memory for the
    /// OBVellSystemUtils instance.
    static WSE::WritingScriptEnum ConvertCharsetToLumWritingScript(int charset,
                                                                   const char* fontName,
                                                                   OBPlatforms platform,
                                                                   char* outName);
    /// A style name of length bytes as a string: without a service, a
    /// WOBString when unicode is not 0 (translated from the system script),
    /// else a COBString of script 1 (Japanese) holding the bytes. With a
    /// service, the bytes are read in the system script and handled as the
    /// UTF-16 overload does. out stays unchanged when memory runs out.
    static void TranslateStyleName(unsigned short length, const char* name, IOBStringPtr& out,
                                   short unicode);
    /// A style name of length UTF-16 units as a string: without a service, a
    /// WOBString of the units when unicode is not 0, else a COBString of
    /// script 1 with the units translated into it. With a service, the
    /// service picks the code page (GetBestCodePage) and converts the units
    /// into it; the result is a COBString of that code page's script, or a
    /// WOBString when the script is kUnicodeScript (39).
    static void TranslateStyleName(unsigned short length, const unsigned short* name,
                                   IOBStringPtr& out, short unicode);
};

/// A stateless facade over the installed writing-system service: each
/// operation forwards to it with the same arguments. Without a service,
/// CharSetToScript answers with the fallback table and every other operation
/// returns 0 and leaves its out-arguments alone. The single instance is made
/// on demand and may be deleted and made again at any time; making and
/// deleting it is not synchronised.
class OMBRA_API OBVellSystemUtils {
public:
    OB_MEMORY_OPERATORS
    /// The instance, made when there is none; null without memory.
    static OBVellSystemUtils* Instance();
    static void DeleteInstance();

    WSE::WritingScriptEnum CharSetToScript(int charset);
    int ScriptToCharset(WSE::WritingScriptEnum script);
    int RemoveWindowsLanguageSuffix(WSE::WritingScriptEnum script, const char* name, char* out);
    WSE::WritingScriptEnum RealToPseudoScript(WSE::WritingScriptEnum script);
    WSE::WritingScriptEnum RealMacScriptToPseudoScript(WSE::WritingScriptEnum script);
    WSE::WritingScriptEnum GetWritingScript(const char* fontName, short flag);
    CPGE::CodePageEnum GetBestCodePage(const unsigned short* text, int length);
    int TextCharToCharExtended(int mode, CPGE::CodePageEnum codePage, const unsigned short* src,
                               int length, char* dst, int& dstLength);
    int ChunkCharToTextCharExtended(int mode, CPGE::CodePageEnum codePage, const char*& src,
                                    int& srcLength, unsigned short* dst, int& dstLength);
    int CharToTextCharExtended(int mode, CPGE::CodePageEnum codePage, const char*& src,
                               int& srcLength, unsigned short* dst, int& dstLength);
    CPGE::CodePageEnum ScriptToMacCodePage(WSE::WritingScriptEnum script);
    CPGE::CodePageEnum ScriptToWinCodePage(WSE::WritingScriptEnum script);
    CPGE::CodePageEnum GetCodePage(const char* fontName, short flag);
    WSE::WritingScriptEnum CodePageToScript(CPGE::CodePageEnum codePage);
    short GetCharacterProperty(unsigned short unit, unsigned short selector, void* out,
                               int* outLength);

private:
    OBVellSystemUtils() = default;
};

/// The current locale of each thread. Readers and writers set it up in
/// their Init and drop it in their Reset; a thread's slot is freed when the
/// thread ends.
class OMBRA_API LocaleUtil {
public:
    /// Gives the calling thread a slot holding kEnglish when it has none.
    static void InitCurrentLocale();
    /// The calling thread's locale; kEnglish when it has no slot.
    static OBL::LocaleIDEnum GetCurrentLocale();
    /// Sets the calling thread's locale, making its slot when needed
    /// (nothing happens when no memory is left for it).
    static void SetCurrentLocale(OBL::LocaleIDEnum locale);
    /// Drops the calling thread's slot.
    static void ResetCurrentLocale();

    /// The writing script whose code page holds the locale's texts best
    /// (kSystemScript for a code that names no locale).
    static WSE::WritingScriptEnum GetLocaleScript(OBL::LocaleIDEnum locale);
    /// The language tag ("en", "ja", …); "" for a code that names no locale.
    static const char* GetLocaleTag(OBL::LocaleIDEnum locale);
};

/// The coding of the character properties (OBCharacterClass::GetCharacterProperty):
/// bits 12-15 a width group, bits 8-11 a category, bits 0-3 a kind within
/// the category. The table is made from Unicode's general categories and
/// East Asian widths by tools/gen/gen_character_classes.py.
namespace OBCC {
enum WidthGroup : unsigned short {
    kNoWidthGroup = 0, ///< ambiguous and neutral widths (Latin-1 letters, U+2014)
    kFullWidth = 1,    ///< East Asian full and wide characters
    kHalfWidth = 2,    ///< ASCII and the half-width forms
};
enum Category : unsigned short {
    kNoCategory = 0,  ///< controls, format characters, unassigned, private use
    kMark = 1,        ///< kinds: 0 non-spacing, 1 spacing, 2 enclosing
    kDigit = 2,       ///< kinds: 0 decimal digit, 1 letter-like number, 2 other number
    kSpace = 3,       ///< kinds: 0 space or tab, 1 line or paragraph break
    kSymbol = 4,      ///< kinds: 0 other, 1 mathematical, 2 currency, 3 modifier
    kLetter = 5,      ///< kinds below
    kPunctuation = 6, ///< kinds below
    kKanaSign = 7,    ///< punctuation, marks and symbols among the kana; kind 9 or 10
};
enum Kind : unsigned short {
    kUpperCase = 1,
    kLowerCase = 2,
    kModifierLetter = 3,
    kOtherLetter = 4,
    kHiragana = 9,
    kKatakana = 10,
    kKanji = 11,
    kBopomofo = 12,
    kHangul = 13,

    kOtherPunctuation = 0,
    kDash = 1,
    kOpenPunctuation = 2,
    kClosePunctuation = 3,
    kInitialQuote = 4,
    kFinalQuote = 5,
    kConnector = 6,
};
constexpr unsigned short WidthOf(unsigned short property) {
    return property >> 12;
}
constexpr unsigned short CategoryOf(unsigned short property) {
    return (property >> 8) & 0xF;
}
constexpr unsigned short KindOf(unsigned short property) {
    return property & 0xF;
}
} // namespace OBCC

/// Character classes of UTF-16 units, for word selection and for the
/// Japanese line-breaking rules (kinsoku). Results are 0 or 1.
class OMBRA_API OBCharacterClass {
public:
    /// The unit's property (see OBCC); 0 for units the table does not cover.
    static unsigned short GetCharacterProperty(unsigned short unit);
    /// The simple other-case counterpart of a cased letter, else 0.
    static unsigned short GetCaseCounterpart(unsigned short unit);
    /// The unit that a full-width or half-width form stands for (U+FF21 gives
    /// U+0041, U+FF66 gives U+30F2, U+3000 gives U+0020), else 0.
    static unsigned short GetWidthCounterpart(unsigned short unit);

    /// 1 when a click on the unit selects a word: not a space and not one of
    /// the word-selection stops (ASCII punctuation, dashes, quotes, U+2026, U+F8FF).
    static short IsClickWordSelect(unsigned short c);
    /// 1 when a word selection that holds a may extend over b: two units that
    /// are not full width, or two full-width units of the same category and kind.
    static short IsClickJapaneseWordSelect(unsigned short a, unsigned short b);
    /// 1 for the 72 units that must not start a line even under loose rules.
    static short Kinsoku_NoHardBreakBefore(unsigned short c);
    /// 1 for the 19 closing punctuation units that must never start a line.
    static short Kinsoku_NoSoftBreakBefore(unsigned short c);
    /// 1 for the 22 opening units that must not end a line.
    static short Kinsoku_NoBreakAfter(unsigned short c);
    /// 1 when no line break may fall between a and b: a digit before '%',
    /// '.' or ',', or '.', ',', '$' and the currency signs ¥ £ ¢ ¤ before a digit.
    static short Kinsoku_NoBreakBetween(unsigned short a, unsigned short b);

protected:
    /// 1 for the units that stay with a digit before them.
    static short Kinsoku_AfterDigitNoBreak(unsigned short c);
    /// 1 for the units that stay with a digit after them.
    static short Kinsoku_BeforeDigitNoBreak(unsigned short c);
};

#endif
