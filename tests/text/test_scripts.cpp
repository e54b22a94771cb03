// Character sets to scripts, the writing-system service and its facade,
// style names, fonts, the per-thread locale, the per-thread text service
// slots, the process-wide translator with its control character tables, the
// character property table, word selection and the kinsoku rules.
#include <ombra/scripts.h>
#include <ombra/textservice.h>

#include "support/TestSupport.h"
#include "text/TextFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

using ombra_test::Ptr;
using ombra_test::U16;

namespace {

WSE::WritingScriptEnum Fallback(int charset) {
    return OBVellHandler::ConvertCharsetToLumWritingScript(charset);
}

int Convert(int charset, const char* name, OBPlatforms platform, char* out = nullptr) {
    return OBVellHandler::ConvertCharsetToLumWritingScript(charset, name, platform, out);
}

TEST(CharsetFallback, MapsTheWindowsCharacterSets) {
    struct Case {
        std::vector<int> charsets;
        int script;
    };
    const Case cases[] = {
        {{0, 1, 2, 77, 254, 255, 256}, 0},
        {{78, 128}, 1},
        {{79, 129, 130}, 3},
        {{80, 134}, 25},
        {{81, 136}, 2},
        {{161}, 6},
        {{162}, 36},
        {{177, 181}, 5},
        {{178, 179}, 4},
        {{180}, 31},
        {{186, 238}, 37},
        {{204}, 7},
        {{222}, 21},
    };
    for (const Case& c : cases)
        for (int charset : c.charsets)
            EXPECT_EQ(Fallback(charset), c.script) << charset;
    for (int charset = 239; charset <= 253; ++charset)
        EXPECT_EQ(Fallback(charset), 32);
    for (int charset : {3, 131, 200, 257, -1, -2147483647 - 1})
        EXPECT_EQ(Fallback(charset), 32) << charset;
}

TEST(CharsetFallback, WithoutAServiceTheNameIsCopiedAndTheFallbackAnswers) {
    ASSERT_EQ(OBVellHandler::GetVellService(), nullptr);
    char out[32];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(Convert(238, "Sans CE", kWindowsPlatform, out), WSE::kBalticScript);
    EXPECT_STREQ(out, "Sans CE");
    EXPECT_EQ(Convert(128, "Mincho", kMacPlatform), WSE::kJapaneseScript);
}

// A writing-system service that answers from fields and records its calls.
class FakeVell : public OBVellService {
public:
    WSE::WritingScriptEnum CharSetToScript(int charset) override {
        Log("CharSetToScript " + std::to_string(charset));
        return charsetScript;
    }
    int ScriptToCharset(WSE::WritingScriptEnum) override { return 0; }
    int RemoveWindowsLanguageSuffix(WSE::WritingScriptEnum script, const char* name,
                                    char* out) override {
        Log("RemoveWindowsLanguageSuffix " + std::to_string(script) + " " + name);
        if (out) {
            std::strcpy(out, name);
            if (char* space = std::strrchr(out, ' ')) *space = 0;
        }
        return suffixScript;
    }
    WSE::WritingScriptEnum RealToPseudoScript(WSE::WritingScriptEnum script) override {
        Log("RealToPseudoScript " + std::to_string(script));
        return static_cast<WSE::WritingScriptEnum>(100 + script);
    }
    WSE::WritingScriptEnum RealMacScriptToPseudoScript(WSE::WritingScriptEnum s) override {
        return s;
    }
    WSE::WritingScriptEnum GetWritingScript(const char* name, short flag) override {
        Log("GetWritingScript " + std::string(name) + " " + std::to_string(flag));
        return nameScript;
    }
    CPGE::CodePageEnum GetBestCodePage(const unsigned short*, int length) override {
        Log("GetBestCodePage " + std::to_string(length));
        return CPGE::kWinJapaneseCodePage;
    }
    // Writes every unit as two bytes, high then low (0x00 high bytes as '.').
    int TextCharToCharExtended(int mode, CPGE::CodePageEnum codePage, const unsigned short* src,
                               int length, char* dst, int& dstLength) override {
        Log("TextCharToCharExtended " + std::to_string(mode) + " " + std::to_string(codePage) +
            " " + std::to_string(length) + " " + std::to_string(dstLength));
        int n = 0;
        for (int i = 0; i < length && n + 2 <= dstLength; ++i) {
            dst[n++] = static_cast<char>(src[i] >> 8 ? src[i] >> 8 : '.');
            dst[n++] = static_cast<char>(src[i] & 0xFF);
        }
        dstLength = n;
        return n;
    }
    int ChunkCharToTextCharExtended(int, CPGE::CodePageEnum, const char*&, int&, unsigned short*,
                                    int&) override {
        return 0;
    }
    int CharToTextCharExtended(int, CPGE::CodePageEnum, const char*&, int&, unsigned short*,
                               int&) override {
        return 0;
    }
    CPGE::CodePageEnum ScriptToMacCodePage(WSE::WritingScriptEnum) override { return {}; }
    CPGE::CodePageEnum ScriptToWinCodePage(WSE::WritingScriptEnum) override { return {}; }
    CPGE::CodePageEnum GetCodePage(const char*, short) override { return {}; }
    WSE::WritingScriptEnum CodePageToScript(CPGE::CodePageEnum) override {
        Log("CodePageToScript");
        return codePageScript;
    }
    short GetCharacterProperty(unsigned short, unsigned short, void*, int*) override { return 0; }

    void Log(const std::string& call) { calls.push_back(call); }

    WSE::WritingScriptEnum charsetScript = WSE::kCyrillicScript;
    int suffixScript = WSE::kSystemScript;
    WSE::WritingScriptEnum nameScript = WSE::kRomanScript;
    WSE::WritingScriptEnum codePageScript = WSE::kJapaneseScript;
    std::vector<std::string> calls;
};

class WithVellService : public ombra_test::WithTextService {
protected:
    void SetUp() override {
        WithTextService::SetUp();
        OBVellHandler::SetVellService(&vell_);
    }
    void TearDown() override {
        OBVellHandler::SetVellService(nullptr);
        WithTextService::TearDown();
    }
    FakeVell vell_;
};

TEST_F(WithVellService, WindowsNamesLoseTheirSuffixFirst) {
    char out[32] = {};
    EXPECT_EQ(Convert(204, "Sans Cyr", kWindowsPlatform, out), WSE::kCyrillicScript);
    EXPECT_STREQ(out, "Sans");
    EXPECT_EQ(vell_.calls, (std::vector<std::string>{"RemoveWindowsLanguageSuffix 32 Sans Cyr",
                                                     "CharSetToScript 204"}));

    // Character set 0: the name decides.
    vell_.calls.clear();
    vell_.nameScript = WSE::kGreekScript;
    EXPECT_EQ(Convert(0, "Sans Greek", kWindowsPlatform, out), WSE::kGreekScript);
    EXPECT_EQ(vell_.calls.back(), "GetWritingScript Sans Greek 1");

    // A suffix that names a script is the answer.
    vell_.calls.clear();
    vell_.suffixScript = WSE::kHebrewScript;
    EXPECT_EQ(Convert(204, "Sans Hebrew", kWindowsPlatform, out), WSE::kHebrewScript);
    EXPECT_EQ(vell_.calls.size(), 1u);
}

TEST_F(WithVellService, OtherPlatformsAskTheNameFirst) {
    EXPECT_EQ(Convert(161, "Serif", kMacPlatform), WSE::kCyrillicScript);
    EXPECT_EQ(vell_.calls,
              (std::vector<std::string>{"GetWritingScript Serif 1", "CharSetToScript 161"}));
    vell_.calls.clear();
    EXPECT_EQ(Convert(0, "Serif", kMacPlatform), 100);
    EXPECT_EQ(vell_.calls.back(), "RealToPseudoScript 0");
    vell_.nameScript = WSE::kThaiScript;
    EXPECT_EQ(Convert(0, "Thai Serif", kMacPlatform), WSE::kThaiScript);

    // An unknown platform converts nothing, but the name is still copied.
    char out[16] = {};
    EXPECT_EQ(Convert(128, "Rounded", static_cast<OBPlatforms>(3), out), 0);
    EXPECT_STREQ(out, "Rounded");
}

TEST_F(WithVellService, WithoutMemoryForTheFacadeTheAnswerIsZero) {
    ombra_test::SweepAllocationFailures([&] {
        OBVellSystemUtils::DeleteInstance();
        vell_.calls.clear();
        int script = Convert(204, "Sans Cyr", kWindowsPlatform);
        EXPECT_TRUE(script == WSE::kCyrillicScript || (script == 0 && vell_.calls.empty()));
        return script == WSE::kCyrillicScript;
    });
}

TEST(VellSystemUtils, WithoutAServiceAnswersSafely) {
    ASSERT_EQ(OBVellHandler::GetVellService(), nullptr);
    OBVellSystemUtils* utils = OBVellSystemUtils::Instance();
    ASSERT_NE(utils, nullptr);
    int dstLength = 5;
    char dst[4] = {'k', 0, 0, 0};
    unsigned short unit = 'a';
    EXPECT_EQ(utils->TextCharToCharExtended(4, CPGE::kCodePageFromScript, &unit, 1, dst, dstLength),
              0);
    EXPECT_EQ(dstLength, 5);
    EXPECT_EQ(dst[0], 'k');
    OBVellSystemUtils::DeleteInstance();
}

using StyleNames = ombra_test::WithTextService;

// Without a service, bytes are read as Shift JIS and units translated into
// it; with unicode set, both become UTF-16 (bytes read in the system script,
// Windows-1252 here).
TEST_F(StyleNames, WithoutAServiceNamesBecomeJapaneseText) {
    IOBStringPtr out;
    const char name[] = "\x8C\xA9\x8F\x6F\x82\xB5 extra"; // "見出し" in Shift-JIS
    std::u16string units = u"\u898B\u51FA\u3057";
    OBVellHandler::TranslateStyleName(6, name, out, 0);
    ASSERT_TRUE(out.IsValid() && out->IsUnicode() == 0);
    EXPECT_EQ(static_cast<const COBString&>(*out).GetWSEScript(), WSE::kJapaneseScript);
    EXPECT_EQ(U16(static_cast<const COBString&>(*out).GrabAsWString()), units);
    OBVellHandler::TranslateStyleName(3, Ptr(units), out, 0);
    ASSERT_TRUE(out.IsValid() && out->IsUnicode() == 0);
    EXPECT_EQ(static_cast<const COBString&>(*out).GetWSEScript(), WSE::kJapaneseScript);
    EXPECT_STREQ(out->GrabCString(), "\x8C\xA9\x8F\x6F\x82\xB5");

    OBVellHandler::TranslateStyleName(4, "Caf\xE9!", out, 1);
    ASSERT_EQ(out->IsUnicode(), 1);
    EXPECT_EQ(U16(out->GrabWString()), u"Caf\u00E9");
    OBVellHandler::TranslateStyleName(2, Ptr(units), out, 1);
    ASSERT_EQ(out->IsUnicode(), 1);
    EXPECT_EQ(U16(out->GrabWString()), u"\u898B\u51FA");
}

TEST_F(StyleNames, WithoutMemoryTheOutputStaysAsItWas) {
    IOBStringPtr out(new COBString("before"));
    ombra_test::SweepAllocationFailures([&] {
        OBVellHandler::TranslateStyleName(3, "abc", out, 0);
        std::string text = out->GrabCString();
        EXPECT_TRUE(text == "before" || text == "abc") << text;
        return text == "abc";
    });
}

TEST_F(WithVellService, StyleNamesGoThroughTheServicesCodePage) {
    IOBStringPtr out;
    std::u16string name = u"\u898B\u51FAx";
    OBVellHandler::TranslateStyleName(3, Ptr(name), out, 0);
    ASSERT_TRUE(out.IsValid() && out->IsUnicode() == 0);
    const auto& c = static_cast<const COBString&>(*out);
    EXPECT_EQ(c.GetWSEScript(), WSE::kJapaneseScript);
    // Every byte the service wrote is kept, not only as many as there were units.
    EXPECT_EQ(std::string(c.GrabCString(), static_cast<std::size_t>(c.Length())),
              "\x89\x8B\x51\xFA.x");
    EXPECT_EQ(vell_.calls, (std::vector<std::string>{"GetBestCodePage 3", "CodePageToScript",
                                                     "TextCharToCharExtended 4 12 3 6"}));

    // A script of 39 gives UTF-16, read from the bytes in the system script.
    vell_.codePageScript = WSE::kUnicodeScript;
    std::u16string ascii = u"AB";
    OBVellHandler::TranslateStyleName(2, Ptr(ascii), out, 0);
    ASSERT_EQ(out->IsUnicode(), 1);
    EXPECT_EQ(U16(out->GrabWString()), u".A.B");

    // The 8-bit overload reads its bytes in the system script first.
    vell_.codePageScript = WSE::kGreekScript;
    OBVellHandler::TranslateStyleName(2, "\xE9z", out, 0);
    ASSERT_EQ(out->IsUnicode(), 0);
    EXPECT_EQ(static_cast<const COBString&>(*out).GetWSEScript(), WSE::kGreekScript);
    EXPECT_EQ(std::string(out->GrabCString()), ".\xE9.z");
}

TEST_F(StyleNames, FontsCopyTheirNamesDeeply) {
    OBFont empty;
    COBString name("Mincho Pro", WSE::kRomanScript);
    auto* original = new OBFont(name, kStandardEncoding, kCIDFont, 128, CPGE::kWinJapaneseCodePage);
    ASSERT_NE(original, nullptr);
    name.SetCString("changed");
    OBFont copy(*original);
    OBFont moved(std::move(*original));
    OBFont assigned;
    assigned = *original;
    delete original;
    for (const OBFont* font : {&copy, &moved, &assigned}) {
        ASSERT_NE(font->GetName(), nullptr);
        EXPECT_STREQ(font->GetName()->GrabCString(), "Mincho Pro");
        EXPECT_EQ(font->GetCharset(), 128);
        EXPECT_EQ(font->GetCodePage(), CPGE::kWinJapaneseCodePage);
    }
    EXPECT_NE(copy.GetName(), moved.GetName());
    assigned = empty;
    EXPECT_EQ(assigned.GetName(), nullptr);
}

TEST(Locale, EachThreadHasItsOwn) {
    EXPECT_EQ(LocaleUtil::GetCurrentLocale(), OBL::kEnglish);
    LocaleUtil::InitCurrentLocale();
    LocaleUtil::SetCurrentLocale(OBL::kJapanese);
    OBL::LocaleIDEnum seenByOther = OBL::kTurkish, otherAfterSet = OBL::kEnglish;
    std::thread other([&] {
        seenByOther = LocaleUtil::GetCurrentLocale();
        LocaleUtil::InitCurrentLocale();
        LocaleUtil::SetCurrentLocale(OBL::kGerman);
        otherAfterSet = LocaleUtil::GetCurrentLocale();
    });
    other.join();
    EXPECT_EQ(seenByOther, OBL::kEnglish);
    EXPECT_EQ(otherAfterSet, OBL::kGerman);
    EXPECT_EQ(LocaleUtil::GetCurrentLocale(), OBL::kJapanese);
    // Init keeps a slot that exists.
    LocaleUtil::InitCurrentLocale();
    EXPECT_EQ(LocaleUtil::GetCurrentLocale(), OBL::kJapanese);
    LocaleUtil::ResetCurrentLocale();
    EXPECT_EQ(LocaleUtil::GetCurrentLocale(), OBL::kEnglish);
}

TEST(Locale, ASlotGoesBackToTheMemoryServiceWithItsThread) {
    auto& stats = ombra_test::Stats();
    long long allocations = stats.allocations.load(), releases = stats.releases.load();
    std::thread worker([] {
        LocaleUtil::InitCurrentLocale();
        LocaleUtil::SetCurrentLocale(OBL::kFrench);
    });
    worker.join();
    EXPECT_EQ(stats.allocations.load() - allocations, 1);
    EXPECT_EQ(stats.releases.load() - releases, 1);
}

TEST(Locale, ScriptsAndTags) {
    EXPECT_EQ(LocaleUtil::GetLocaleScript(OBL::kKorean), WSE::kKoreanScript);
    EXPECT_EQ(LocaleUtil::GetLocaleScript(OBL::kFrench), WSE::kRomanScript);
    EXPECT_EQ(LocaleUtil::GetLocaleScript(static_cast<OBL::LocaleIDEnum>(15)), WSE::kSystemScript);
    EXPECT_STREQ(LocaleUtil::GetLocaleTag(OBL::kSimplifiedChinese), "zh-Hans");
    EXPECT_STREQ(LocaleUtil::GetLocaleTag(static_cast<OBL::LocaleIDEnum>(-1)), "");
}

std::atomic<int> gDestroyed{0};

// Records what the translator hands on, and answers with a fixed count.
class RecordingService : public OBLumService {
public:
    ~RecordingService() override { ++gDestroyed; }
    long long CharToTextChar(const char* src, long long, unsigned short* dst, long long capacity,
                             WSE::WritingScriptEnum script, CPGE::CodePageEnum codePage) override {
        lastScript = script;
        lastCodePage = codePage;
        lastCapacity = capacity;
        if (src && dst && capacity > 0) dst[0] = static_cast<unsigned char>(src[0]);
        return 1;
    }
    long long TextCharToChar(const unsigned short*, long long, char*, long long,
                             OBFont* font) override {
        lastFont = font;
        return 11;
    }
    long long TextCharToChar_Exact(const unsigned short*, long long, char*, long long, short& exact,
                                   long long& used, OBFont*) override {
        exact = 1;
        used = 4;
        return 12;
    }
    void SetEncoding(int encoding) override { lastEncoding = encoding; }

    using OBLumService::TextCharToChar;
    using OBLumService::TextCharToChar_Exact;

    int lastScript = -1;
    int lastCodePage = -1;
    long long lastCapacity = -1;
    OBFont* lastFont = nullptr;
    int lastEncoding = -1;
};

class NoFonts : public OBLumFontService {
public:
    ~NoFonts() override { ++gDestroyed; }
    WSE::WritingScriptEnum GetFontScript(const OBFont*) override { return WSE::kRomanScript; }
    CPGE::CodePageEnum GetFontCodePage(const OBFont*) override { return CPGE::kUndefinedCodePage; }
    short IsSymbolFont(const OBFont*) override { return 0; }
    short HasGlyph(const OBFont*, unsigned short) override { return 0; }
    double GetCharWidth(const OBFont*, unsigned short) override { return 0.0; }
    short GetPostScriptName(const OBFont*, char*, long long) override { return 0; }
    void SetEncoding(int) override {}
};

// Runs f on a fresh thread, which starts without services.
template <typename F> void OnNewThread(F f) {
    std::thread t(f);
    t.join();
}

TEST(TextService, TheFirstServiceOfAThreadStays) {
    OnNewThread([] {
        EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);
        RecordingService* first = new RecordingService;
        RecordingService* second = new RecordingService;
        OBLumHandler::SetLumService(first);
        OBLumHandler::SetLumService(second);
        EXPECT_EQ(OBLumHandler::GetLumService(), first);

        NoFonts* font = new NoFonts;
        NoFonts* otherFont = new NoFonts;
        OBLumHandler::SetLumFontService(font);
        OBLumHandler::SetLumFontService(otherFont);
        EXPECT_EQ(OBLumHandler::GetLumFontService(), font);

        // Reset takes both away without deleting them; a new one may follow.
        OBLumHandler::ResetLumService();
        EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);
        EXPECT_EQ(OBLumHandler::GetLumFontService(), nullptr);
        OBLumHandler::SetLumService(second);
        EXPECT_EQ(OBLumHandler::GetLumService(), second);
        OBLumHandler::ResetLumService();
        delete first;
        delete second;
        delete font;
        delete otherFont;
    });
}

TEST(TextService, ServicesAreThreadLocalAndDeletedWithTheirThread) {
    gDestroyed = 0;
    OBLumService* mine = nullptr;
    OnNewThread([&mine] {
        OBLumHandler::SetLumService(new RecordingService);
        OBLumHandler::SetLumFontService(new NoFonts);
        mine = OBLumHandler::GetLumService();
        EXPECT_NE(mine, nullptr);
        EXPECT_NE(OBLumHandler::GetLumFontService(), nullptr);
        OnNewThread([] {
            EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);
            EXPECT_EQ(OBLumHandler::GetLumFontService(), nullptr);
        });
    });
    EXPECT_EQ(gDestroyed.load(), 2);
    EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);

    // What was reset before the thread ended stays with its owner.
    gDestroyed = 0;
    RecordingService* kept = new RecordingService;
    OnNewThread([kept] {
        OBLumHandler::SetLumService(kept);
        OBLumHandler::ResetLumService();
    });
    EXPECT_EQ(gDestroyed.load(), 0);
    delete kept;
}

TEST(TextService, TheTranslatorForwardsToTheThreadsService) {
    OnNewThread([] {
        OBLumUnicodeTranslator* t = OBLumUnicodeTranslator::Instance();
        unsigned short units[4] = {};
        char bytes[4] = {};
        short exact = 0;
        long long used = 0;
        const unsigned short text[] = {'a', 0};
        // Without a service nothing converts (the strings suite has the rest).
        EXPECT_EQ(t->TextCharToChar(text, 1, bytes, 4, static_cast<OBFont*>(nullptr)), 0);
        EXPECT_EQ(
            t->TextCharToChar_Exact(text, 1, bytes, 4, exact, used, static_cast<OBFont*>(nullptr)),
            0);
        t->SetEncoding(5);

        RecordingService* service = new RecordingService;
        OBLumHandler::SetLumService(service);
        EXPECT_EQ(t->CharToTextChar("z", 1, units, 4, WSE::kGreekScript, CPGE::kCodePageFromScript),
                  1);
        EXPECT_EQ(units[0], 'z');
        EXPECT_EQ(service->lastScript, 6);
        EXPECT_EQ(service->lastCodePage, 54);
        EXPECT_EQ(service->lastCapacity, 4);
        OBFont* font = reinterpret_cast<OBFont*>(&exact);
        EXPECT_EQ(t->TextCharToChar(text, 1, bytes, 4, font), 11);
        EXPECT_EQ(service->lastFont, font);
        EXPECT_EQ(t->TextCharToChar_Exact(text, 1, bytes, 4, exact, used, font), 12);
        EXPECT_EQ(exact, 1);
        EXPECT_EQ(used, 4);
        t->SetEncoding(5);
        EXPECT_EQ(service->lastEncoding, 5);
        // Left installed: deleted when the thread ends.
    });
}

TEST(TextService, ControlBytesTranslateToTheSameUnits) {
    OBLumUnicodeTranslator* t = OBLumUnicodeTranslator::Instance();
    unsigned short out = 0xAAAA;
    EXPECT_EQ(t->TranslateSymbolAndControlChar(0x14, out, 0), 1);
    EXPECT_EQ(out, 0x14);
    EXPECT_EQ(t->TranslateSymbolAndControlChar(0x00, out, 0), 1);
    EXPECT_EQ(out, 0);
    out = 0xAAAA;
    EXPECT_EQ(t->TranslateSymbolAndControlChar(' ', out, 0), 0);
    EXPECT_EQ(t->TranslateSymbolAndControlChar('\x80', out, 0), 0);
    EXPECT_EQ(t->TranslateSymbolAndControlChar('\xFF', out, 0), 0);
    EXPECT_EQ(out, 0xAAAA);
}

TEST(TextService, SpecialSpacesReverseToControlBytes) {
    OBLumUnicodeTranslator* t = OBLumUnicodeTranslator::Instance();
    struct {
        unsigned short unit;
        char byte;
    } rows[] = {{0x2001, 0x15}, {0x2002, 0x13}, {0x2003, 0x14}, {0x2007, 0x17},
                {0x2008, 0x10}, {0x2009, 0x12}, {0x200A, 0x16}, {0x2011, 0x0F},
                {0x0000, 0x00}, {0x001F, 0x1F}, {0x000A, 0x0A}};
    for (const auto& row : rows) {
        char out = 'x';
        EXPECT_EQ(t->ReverseSymbolAndControlChar(row.unit, out, 0), 1) << row.unit;
        EXPECT_EQ(out, row.byte) << row.unit;
    }
    for (unsigned short unit : {0x2004, 0x2005, 0x2006, 0x200B, 0x2010, 0x0020, 0x00A0, 0x3000}) {
        char out = 'x';
        EXPECT_EQ(t->ReverseSymbolAndControlChar(unit, out, 0), 0) << unit;
        EXPECT_EQ(out, 'x');
    }
}

unsigned short P(unsigned short u) {
    return OBCharacterClass::GetCharacterProperty(u);
}

// Reaches the protected digit rules.
struct DigitRules : OBCharacterClass {
    using OBCharacterClass::Kinsoku_AfterDigitNoBreak;
    using OBCharacterClass::Kinsoku_BeforeDigitNoBreak;
};

struct Row {
    unsigned first, last;
    unsigned short property;
};

// The rows that fix the coding of the table.
const Row kFixedRows[] = {
    {0x0009, 0x0009, 0x0300}, {0x0020, 0x0020, 0x2300}, {0x0021, 0x0021, 0x2600},
    {0x002C, 0x002C, 0x2600}, {0x002D, 0x002D, 0x2601}, {0x0030, 0x0039, 0x2200},
    {0x0041, 0x005A, 0x2501}, {0x0061, 0x007A, 0x2502}, {0x00A0, 0x00A0, 0x0300},
    {0x00C0, 0x00C0, 0x0501}, {0x00E0, 0x00E0, 0x0502}, {0x2014, 0x2014, 0x0601},
    {0x2026, 0x2026, 0x0600}, {0x3000, 0x3000, 0x1300}, {0x3001, 0x3001, 0x1600},
    {0x300C, 0x300C, 0x1602}, {0x3042, 0x3042, 0x1509}, {0x30A2, 0x30A2, 0x150A},
    {0x30FC, 0x30FC, 0x150A}, {0x4E00, 0x4E00, 0x150B}, {0x9FA5, 0x9FA5, 0x150B},
    {0xAC00, 0xAC00, 0x150D}, {0xFF10, 0xFF10, 0x1200}, {0xFF21, 0xFF21, 0x1501},
    {0xFF61, 0xFF61, 0x270A}, {0xFF66, 0xFF66, 0x250A}, {0xF8FF, 0xF8FF, 0x0000},
};

TEST(CharacterProperties, EveryFixedRowHasItsValue) {
    for (const Row& row : kFixedRows)
        for (unsigned u = row.first; u <= row.last; ++u)
            EXPECT_EQ(P(static_cast<unsigned short>(u)), row.property) << std::hex << "U+" << u;
}

TEST(CharacterProperties, WholeBlocksAreKanjiAndHangul) {
    for (unsigned u = 0x4E00; u <= 0x9FFF; ++u)
        ASSERT_EQ(P(u), 0x150B) << std::hex << u;
    for (unsigned u = 0xAC00; u <= 0xD7FF; ++u)
        ASSERT_EQ(P(u), 0x150D) << std::hex << u;
}

TEST(CharacterProperties, FollowThePatternOfTheFixedRows) {
    using namespace OBCC;
    // Further kana, kanji, punctuation and symbols take the codes the rows show.
    const Row rows[] = {
        {0x3093, 0x3093, 0x1509}, // hiragana n
        {0x3005, 0x3005, 0x150B}, // ideographic iteration mark joins kanji
        {0x300D, 0x300D, 0x1603}, // closing corner bracket
        {0x201D, 0x201D, 0x0605}, // right double quotation mark
        {0x002B, 0x002B, 0x2401}, // plus: a mathematical symbol
        {0x000A, 0x000A, 0x0301}, // line feed: a break
        {0x0301, 0x0301, 0x0100}, // combining acute accent
        {0x0436, 0x0436, 0x0502}, // Cyrillic small zhe
        {0x05D0, 0x05D0, 0x0504}, // Hebrew alef: a letter without case
        {0x3105, 0x3105, 0x150C}, // bopomofo b
        {0x309B, 0x309B, 0x1709}, // voiced sound mark: a kana sign of hiragana
        {0xFF9E, 0xFF9E, 0x250A}, // half-width voiced sound mark
        {0xFFE5, 0xFFE5, 0x1402}, // full-width yen sign
    };
    for (const Row& row : rows)
        EXPECT_EQ(P(row.first), row.property) << std::hex << row.first;
    EXPECT_EQ(WidthOf(P(0x2460)), kNoWidthGroup); // circled digit one: ambiguous width
    EXPECT_EQ(CategoryOf(P(0x2460)), kDigit);
    EXPECT_EQ(KindOf(P(0x2460)), 2);
    // Controls, format characters, surrogates, private use and unassigned units.
    for (unsigned short u : {0x0000, 0x0007, 0x001B, 0x007F, 0x00AD, 0x200B, 0xD800, 0xDFFF, 0xE000,
                             0xFFFE, 0xFFFF, 0x0378})
        EXPECT_EQ(P(u), 0) << std::hex << u;
}

TEST(CharacterProperties, FullWidthFormsMatchTheirAsciiCounterparts) {
    for (unsigned u = 0xFF01; u <= 0xFF5E; ++u) {
        unsigned short ascii = static_cast<unsigned short>(u - 0xFEE0);
        ASSERT_EQ(OBCharacterClass::GetWidthCounterpart(u), ascii) << std::hex << u;
        EXPECT_EQ(P(u) & 0x0FFF, P(ascii) & 0x0FFF) << std::hex << u;
        EXPECT_EQ(OBCC::WidthOf(P(u)), OBCC::kFullWidth);
        EXPECT_EQ(OBCC::WidthOf(P(ascii)), OBCC::kHalfWidth);
    }
}

TEST(CharacterProperties, PagesOutsideTheTableReadAsZero) {
    // CJK extension A and Devanagari are not covered; Ethiopic neither.
    EXPECT_EQ(P(0x3400), 0);
    EXPECT_EQ(P(0x0915), 0);
    EXPECT_EQ(P(0x1200), 0);
    EXPECT_EQ(OBCharacterClass::GetCaseCounterpart(0x0915), 0);
    EXPECT_EQ(OBCharacterClass::GetWidthCounterpart(0x3400), 0);
}

TEST(CharacterProperties, Counterparts) {
    EXPECT_EQ(OBCharacterClass::GetCaseCounterpart('z'), 'Z');
    EXPECT_EQ(OBCharacterClass::GetCaseCounterpart(0x00E9), 0x00C9);
    EXPECT_EQ(OBCharacterClass::GetCaseCounterpart(0x0416), 0x0436);
    EXPECT_EQ(OBCharacterClass::GetCaseCounterpart(0xFF21), 0xFF41);
    EXPECT_EQ(OBCharacterClass::GetCaseCounterpart('1'), 0);
    EXPECT_EQ(OBCharacterClass::GetCaseCounterpart(0x3042), 0);
    EXPECT_EQ(OBCharacterClass::GetWidthCounterpart(0xFF66), 0x30F2);
    EXPECT_EQ(OBCharacterClass::GetWidthCounterpart(0x3000), 0x0020);
    EXPECT_EQ(OBCharacterClass::GetWidthCounterpart('A'), 0);
    EXPECT_EQ(OBCharacterClass::GetWidthCounterpart(0x3042), 0);
}

const std::vector<unsigned short> kWordStops = {
    0x002C, 0x002E, 0x003A, 0x0022, 0x003B, 0x0028, 0x0029, 0x0021, 0x003F, 0x002F,
    0x005C, 0x003C, 0x003E, 0x0040, 0x0023, 0x0025, 0x002A, 0x005E, 0x0026, 0x002B,
    0x003D, 0x007B, 0x007D, 0x005B, 0x005D, 0x007C, 0x0060, 0x007E, 0x002D, 0x2011,
    0x2013, 0x2014, 0xF8FF, 0x2026, 0x201C, 0x201D, 0x2018};

TEST(WordSelection, SpacesAndStopsEndAWord) {
    EXPECT_EQ(OBCharacterClass::IsClickWordSelect(0x3000), 0);
    EXPECT_EQ(OBCharacterClass::IsClickWordSelect(0x2019), 1); // apostrophe inside words
    std::set<unsigned short> stops(kWordStops.begin(), kWordStops.end());
    ASSERT_EQ(stops.size(), 37u);
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        bool space = OBCC::CategoryOf(P(u)) == OBCC::kSpace;
        short expected = (space || stops.count(static_cast<unsigned short>(u))) ? 0 : 1;
        ASSERT_EQ(OBCharacterClass::IsClickWordSelect(u), expected) << std::hex << u;
    }
}

TEST(WordSelection, JapaneseWordsStayInOneKind) {
    EXPECT_EQ(OBCharacterClass::IsClickJapaneseWordSelect(0x3042, 0x3044), 1);
    EXPECT_EQ(OBCharacterClass::IsClickJapaneseWordSelect(0x3042, 0x30A2), 0);
    // Katakana with its prolonged sound mark, kanji with the iteration mark.
    EXPECT_EQ(OBCharacterClass::IsClickJapaneseWordSelect(0x30A2, 0x30FC), 1);
    EXPECT_EQ(OBCharacterClass::IsClickJapaneseWordSelect(0x4EBA, 0x3005), 1);
    EXPECT_EQ(OBCharacterClass::IsClickJapaneseWordSelect(0x4EBA, 0x3042), 0);
    // Full-width Latin letters of either case belong together only by case.
    EXPECT_EQ(OBCharacterClass::IsClickJapaneseWordSelect(0xFF21, 0xFF22), 1);
    EXPECT_EQ(OBCharacterClass::IsClickJapaneseWordSelect(0xFF21, 0xFF41), 0);
    // Half-width katakana runs on with anything not full width.
    EXPECT_EQ(OBCharacterClass::IsClickJapaneseWordSelect(0xFF66, 'a'), 1);
    EXPECT_EQ(OBCharacterClass::IsClickJapaneseWordSelect(0xFF66, 0x30A2), 0);
}

const std::vector<unsigned short> kSoft = {0x3001, 0x3002, 0xFF0C, 0xFF0E, 0xFF1A, 0xFF1B, 0xFF1F,
                                           0xFF01, 0x2019, 0x201D, 0xFF09, 0x3015, 0xFF3D, 0xFF5D,
                                           0x3009, 0x300B, 0x300D, 0x300F, 0x3011};
const std::vector<unsigned short> kHardExtra = {
    0x3005, 0x30FC, 0x3041, 0x3043, 0x3045, 0x3047, 0x3049, 0x3063, 0x3083, 0x3085, 0x3087,
    0x308E, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30C3, 0x30E3, 0x30E5, 0x30E7, 0x30EE,
    0x30F5, 0x30F6, 0x309B, 0x309C, 0x30FD, 0x30FE, 0x309D, 0x309E, 0x2015, 0x2010, 0x00B0,
    0x2032, 0x2033, 0x2103, 0x2109, 0x00A2, 0xFF05, 0x2030, 0x002E, 0x002C, 0x003A, 0x003B,
    0x0021, 0x003F, 0x0029, 0x005D, 0x007D, 0x003E, 0x0027, 0x0022, 0x002D};
const std::vector<unsigned short> kAfter = {
    0x2018, 0x201C, 0xFF08, 0x3014, 0xFF3B, 0xFF5B, 0x3008, 0x300A, 0x300C, 0x300E, 0x3010,
    0xFFE5, 0xFF04, 0x00A3, 0xFF20, 0x00A7, 0x3012, 0x266F, 0x0028, 0x005B, 0x007B, 0x003C};

// Checks that exactly the units of `members` pass `rule`.
void ExpectExactly(short (*rule)(unsigned short), const std::vector<unsigned short>& members,
                   std::size_t size, const char* name) {
    std::set<unsigned short> set(members.begin(), members.end());
    ASSERT_EQ(set.size(), size) << name;
    for (unsigned u = 0; u <= 0xFFFF; ++u)
        ASSERT_EQ(rule(static_cast<unsigned short>(u)), set.count(u) ? 1 : 0)
            << name << std::hex << " U+" << u;
}

TEST(Kinsoku, ListsHoldExactlyTheirUnits) {
    std::vector<unsigned short> hard = kSoft;
    hard.insert(hard.end(), kHardExtra.begin(), kHardExtra.end());
    ExpectExactly(OBCharacterClass::Kinsoku_NoSoftBreakBefore, kSoft, 19, "soft");
    ExpectExactly(OBCharacterClass::Kinsoku_NoHardBreakBefore, hard, 72, "hard");
    ExpectExactly(OBCharacterClass::Kinsoku_NoBreakAfter, kAfter, 22, "after");
    ExpectExactly(DigitRules::Kinsoku_AfterDigitNoBreak, {0x25, 0x2E, 0x2C}, 3, "after digit");
    ExpectExactly(DigitRules::Kinsoku_BeforeDigitNoBreak,
                  {0x2E, 0x2C, 0xA5, 0x24, 0xA3, 0xA2, 0xA4}, 7, "before digit");
}

TEST(Kinsoku, NumbersStayWithTheirSigns) {
    EXPECT_EQ(OBCharacterClass::Kinsoku_NoBreakBetween('1', '%'), 1);
    EXPECT_EQ(OBCharacterClass::Kinsoku_NoBreakBetween('$', '5'), 1);
    EXPECT_EQ(OBCharacterClass::Kinsoku_NoBreakBetween('1', '2'), 0);
    EXPECT_EQ(OBCharacterClass::Kinsoku_NoBreakBetween('a', '%'), 0);
    EXPECT_EQ(OBCharacterClass::Kinsoku_NoBreakBetween(0x00A5, '0'), 1);
    EXPECT_EQ(OBCharacterClass::Kinsoku_NoBreakBetween('0', '$'), 0);    // the digit rule wins
    EXPECT_EQ(OBCharacterClass::Kinsoku_NoBreakBetween(0xFF11, '%'), 0); // ASCII digits only
}

} // namespace
