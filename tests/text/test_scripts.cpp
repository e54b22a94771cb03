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
#include <functional>
#include <map>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

using ombra_test::Ptr;
using ombra_test::U16;

namespace {

int Convert(int charset, const char* name, OBPlatforms platform, char* out = nullptr) {
    return OBVellHandler::ConvertCharsetToLumWritingScript(charset, name, platform, out);
}

TEST(CharsetFallback, WithoutAServiceTheNameIsCopiedTheWindowsSetsMapAndNothingConverts) {
    for (const auto& row : ombra_test::ReadTable("text/characters.tsv", "fallback")) {
        std::istringstream charsets(row[1]);
        for (int charset; charsets >> charset;)
            EXPECT_EQ(OBVellHandler::ConvertCharsetToLumWritingScript(charset), std::stoi(row[0]))
                << charset;
    }

    ASSERT_EQ(OBVellHandler::GetVellService(), nullptr);
    char out[32];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(Convert(238, "Sans CE", kWindowsPlatform, out), WSE::kBalticScript);
    EXPECT_STREQ(out, "Sans CE");
    EXPECT_EQ(Convert(128, "Mincho", kMacPlatform), WSE::kJapaneseScript);

    OBVellSystemUtils* utils = OBVellSystemUtils::Instance();
    ASSERT_NE(utils, nullptr);
    int dstLength = 5;
    unsigned short unit = 'a';
    EXPECT_EQ(utils->TextCharToCharExtended(4, CPGE::kCodePageFromScript, &unit, 1, out, dstLength),
              0);
    EXPECT_EQ(dstLength, 5);
    EXPECT_EQ(out[0], 'S');
    OBVellSystemUtils::DeleteInstance();
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

TEST_F(WithVellService, WindowsNamesLoseTheirSuffixFirstOtherPlatformsAskTheNameFirst) {
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

    // Other platforms ask the name first.
    vell_.calls.clear();
    vell_.nameScript = WSE::kRomanScript;
    EXPECT_EQ(Convert(161, "Serif", kMacPlatform), WSE::kCyrillicScript);
    EXPECT_EQ(vell_.calls,
              (std::vector<std::string>{"GetWritingScript Serif 1", "CharSetToScript 161"}));
    vell_.calls.clear();
    EXPECT_EQ(Convert(0, "Serif", kMacPlatform), 100);
    EXPECT_EQ(vell_.calls.back(), "RealToPseudoScript 0");
    vell_.nameScript = WSE::kThaiScript;
    EXPECT_EQ(Convert(0, "Thai Serif", kMacPlatform), WSE::kThaiScript);

    // An unknown platform converts nothing, but the name is still copied.
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

using StyleNames = ombra_test::WithTextService;

// Without a service, bytes are read as Shift JIS and units translated into
// it; with unicode set, both become UTF-16 (bytes read in the system script,
// Windows-1252 here).
TEST_F(StyleNames, WithoutAServiceNamesBecomeJapaneseText) {
    IOBStringPtr out;
    auto japanese = [&out] {
        return out.IsValid() && out->IsUnicode() == 0 &&
               static_cast<const COBString&>(*out).GetWSEScript() == WSE::kJapaneseScript;
    };
    const char name[] = "\x8C\xA9\x8F\x6F\x82\xB5 extra"; // "見出し" in Shift-JIS
    std::u16string units = u"\u898B\u51FA\u3057";
    OBVellHandler::TranslateStyleName(6, name, out, 0);
    ASSERT_TRUE(japanese());
    EXPECT_EQ(U16(static_cast<const COBString&>(*out).GrabAsWString()), units);
    OBVellHandler::TranslateStyleName(3, Ptr(units), out, 0);
    ASSERT_TRUE(japanese());
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

// A thread's slot comes from the memory service and goes back with its thread.
TEST(Locale, EachThreadHasItsOwn) {
    EXPECT_EQ(LocaleUtil::GetCurrentLocale(), OBL::kEnglish);
    LocaleUtil::InitCurrentLocale();
    LocaleUtil::SetCurrentLocale(OBL::kJapanese);
    auto& stats = ombra_test::Stats();
    long long allocations = stats.allocations.load(), releases = stats.releases.load();
    OBL::LocaleIDEnum seenByOther = OBL::kTurkish, otherAfterSet = OBL::kEnglish;
    std::thread other([&] {
        seenByOther = LocaleUtil::GetCurrentLocale();
        LocaleUtil::InitCurrentLocale();
        LocaleUtil::SetCurrentLocale(OBL::kGerman);
        otherAfterSet = LocaleUtil::GetCurrentLocale();
    });
    other.join();
    EXPECT_EQ(stats.allocations.load() - allocations, 1);
    EXPECT_EQ(stats.releases.load() - releases, 1);
    EXPECT_EQ(seenByOther, OBL::kEnglish);
    EXPECT_EQ(otherAfterSet, OBL::kGerman);
    EXPECT_EQ(LocaleUtil::GetCurrentLocale(), OBL::kJapanese);
    // Init keeps a slot that exists.
    LocaleUtil::InitCurrentLocale();
    EXPECT_EQ(LocaleUtil::GetCurrentLocale(), OBL::kJapanese);
    LocaleUtil::ResetCurrentLocale();
    EXPECT_EQ(LocaleUtil::GetCurrentLocale(), OBL::kEnglish);
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

// Each test thread starts without services.
TEST(TextService, TheFirstServiceOfAThreadStaysAndGoesWithIt) {
    RecordingService first, *second = new RecordingService;
    NoFonts font, otherFont;
    gDestroyed = 0;
    std::thread([&] {
        EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);
        OBLumHandler::SetLumService(&first);
        OBLumHandler::SetLumService(second);
        EXPECT_EQ(OBLumHandler::GetLumService(), &first);
        OBLumHandler::SetLumFontService(&font);
        OBLumHandler::SetLumFontService(&otherFont);
        EXPECT_EQ(OBLumHandler::GetLumFontService(), &font);

        // Reset takes both away without deleting them; a new one may follow.
        OBLumHandler::ResetLumService();
        EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);
        EXPECT_EQ(OBLumHandler::GetLumFontService(), nullptr);
        OBLumHandler::SetLumService(second);
        EXPECT_EQ(OBLumHandler::GetLumService(), second);
        OBLumHandler::ResetLumService();
    }).join();
    EXPECT_EQ(gDestroyed.load(), 0)
        << "what was reset before the thread ended stays with its owner";
    delete second;
    // Services are thread-local and deleted with their thread.
    gDestroyed = 0;
    OBLumService* mine = nullptr;
    std::thread([&mine] {
        OBLumHandler::SetLumService(new RecordingService);
        OBLumHandler::SetLumFontService(new NoFonts);
        mine = OBLumHandler::GetLumService();
        EXPECT_NE(mine, nullptr);
        EXPECT_NE(OBLumHandler::GetLumFontService(), nullptr);
        std::thread([] {
            EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);
            EXPECT_EQ(OBLumHandler::GetLumFontService(), nullptr);
        }).join();
    }).join();
    EXPECT_EQ(gDestroyed.load(), 2);
    EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);
}

TEST(TextService, TheTranslatorForwardsToTheThreadsService) {
    std::thread([] {
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
    }).join();
}

unsigned short P(unsigned short u) {
    return OBCharacterClass::GetCharacterProperty(u);
}

// Reaches the protected digit rules.
struct DigitRules : OBCharacterClass {
    using OBCharacterClass::Kinsoku_AfterDigitNoBreak;
    using OBCharacterClass::Kinsoku_BeforeDigitNoBreak;
};

std::u16string Units(const char* table) {
    return ombra_test::UnitsOf(ombra_test::ReadTable("text/characters.tsv", table).at(0).at(0));
}

TEST(CharacterProperties, EveryRowHasItsValue) {
    for (const auto& row : ombra_test::ReadTable("text/characters.tsv", "property")) {
        std::u16string first = ombra_test::UnitsOf(row[0]), last = ombra_test::UnitsOf(row[1]);
        for (unsigned u = first[0]; u <= last[0]; ++u)
            EXPECT_EQ(P(u), ombra_test::UnitsOf(row[2])[0]) << std::hex << "U+" << u;
    }
    using namespace OBCC;
    EXPECT_EQ(WidthOf(P(0x2460)), kNoWidthGroup); // circled digit one: ambiguous width
    EXPECT_EQ(CategoryOf(P(0x2460)), kDigit);
    EXPECT_EQ(KindOf(P(0x2460)), 2);
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

TEST(WordSelection, SpacesAndStopsEndAWord) {
    EXPECT_EQ(OBCharacterClass::IsClickWordSelect(0x3000), 0);
    EXPECT_EQ(OBCharacterClass::IsClickWordSelect(0x2019), 1); // apostrophe inside words
    std::u16string list = Units("stops");
    std::set<unsigned short> stops(list.begin(), list.end());
    ASSERT_EQ(stops.size(), 37u);
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        bool space = OBCC::CategoryOf(P(u)) == OBCC::kSpace;
        short expected = (space || stops.count(static_cast<unsigned short>(u))) ? 0 : 1;
        ASSERT_EQ(OBCharacterClass::IsClickWordSelect(u), expected) << std::hex << u;
    }
}

// Checks that exactly the units of `members` pass `rule`.
void ExpectExactly(short (*rule)(unsigned short), const std::u16string& members, std::size_t size,
                   const char* name) {
    std::set<unsigned short> set(members.begin(), members.end());
    ASSERT_EQ(set.size(), size) << name;
    for (unsigned u = 0; u <= 0xFFFF; ++u)
        ASSERT_EQ(rule(static_cast<unsigned short>(u)), set.count(u) ? 1 : 0)
            << name << std::hex << " U+" << u;
}

TEST(Kinsoku, ListsHoldExactlyTheirUnits) {
    ExpectExactly(OBCharacterClass::Kinsoku_NoSoftBreakBefore, Units("soft"), 19, "soft");
    ExpectExactly(OBCharacterClass::Kinsoku_NoHardBreakBefore, Units("hard"), 72, "hard");
    ExpectExactly(OBCharacterClass::Kinsoku_NoBreakAfter, Units("after"), 22, "after");
    ExpectExactly(DigitRules::Kinsoku_AfterDigitNoBreak, u"%.,", 3, "after digit");
    ExpectExactly(DigitRules::Kinsoku_BeforeDigitNoBreak, u".,\u00A5$\u00A3\u00A2\u00A4", 7,
                  "before digit");
}

// Each rule answers as its table rows say.
TEST(CharacterProperties, PairRulesFollowTheirTable) {
    OBLumUnicodeTranslator* t = OBLumUnicodeTranslator::Instance();
    using Rule = std::function<int(unsigned short, unsigned short)>;
    const std::map<std::string, Rule> rules = {
        {"case",
         [](unsigned short a, unsigned short) { return OBCharacterClass::GetCaseCounterpart(a); }},
        {"width",
         [](unsigned short a, unsigned short) { return OBCharacterClass::GetWidthCounterpart(a); }},
        {"word", OBCharacterClass::IsClickJapaneseWordSelect},
        {"between", OBCharacterClass::Kinsoku_NoBreakBetween},
        {"control",
         [t](unsigned short a, unsigned short) {
             unsigned short out = 0xAAAA;
             short done = t->TranslateSymbolAndControlChar(static_cast<char>(a), out, 0);
             return done ? out : out == 0xAAAA ? -1 : -2;
         }},
        {"reverse", [t](unsigned short a, unsigned short) {
             char out = 'x';
             short done = t->ReverseSymbolAndControlChar(a, out, 0);
             return done ? static_cast<unsigned char>(out) : out == 'x' ? -1 : -2;
         }}};
    auto unit = [](const std::string& field) {
        return field.empty() ? 0 : ombra_test::UnitsOf(field)[0];
    };
    for (const auto& row : ombra_test::ReadTable("text/characters.tsv", "pair"))
        EXPECT_EQ(rules.at(row[0])(unit(row[1]), unit(row[2])), std::stoi(row[3], nullptr, 0))
            << row[0] << " " << row[1] << " " << row[2];
}

} // namespace
