// COBString, WOBString and IOBStringPtr as hosts and plug-ins use them. Rules
// the two kinds share (number parsing, searches, position checks) are shown
// on one kind and only the other's own paths on the other.
#include <ombra/strings.h>

#include "support/TestSupport.h"
#include "text/TextFixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <string>
#include <thread>

using ombra_test::Ptr;
using ombra_test::U16;

namespace {

std::string Bytes(const COBString& s) {
    return std::string(s.GrabCString(), s.Length());
}
std::u16string Units(const WOBString& s) {
    return U16(s.GrabWString(), s.Length());
}

#define EXPECT_INVALID_POSITION(statement)                                                         \
    do {                                                                                           \
        try {                                                                                      \
            statement;                                                                             \
            ADD_FAILURE() << "no exception from " #statement;                                      \
        } catch (const std::out_of_range& e) {                                                     \
            EXPECT_STREQ(e.what(), "invalid string position");                                     \
        }                                                                                          \
    } while (0)

// Restores the process-wide system script after a test changes it.
class SystemScriptGuard {
public:
    SystemScriptGuard() : saved_(COBString::OBGetSystemScript()) {}
    ~SystemScriptGuard() { COBString::OBSetSystemScript(saved_); }

private:
    WSE::WritingScriptEnum saved_;
};

using Strings = ombra_test::WithTextService;

// ---- The system script, equality and order ----------------------------------

TEST_F(Strings, TheSystemScriptMarkerTakesTheProcessWideScript) {
    SystemScriptGuard guard;
    ASSERT_EQ(COBString::OBGetSystemScript(), WSE::kSystemScript);
    EXPECT_EQ(OBGetSystemScript(), 0x40000000);

    COBString::OBSetSystemScript(WSE::kRomanScript);
    COBString roman("x", WSE::kSystemScript);
    EXPECT_EQ(roman.GetWSEScript(), WSE::kRomanScript);
    EXPECT_EQ(OBGetSystemScript(), 0);
    roman.SetScript(WSE::kSystemScript); // the marker itself is kept
    EXPECT_EQ(roman.GetWSEScript(), WSE::kSystemScript);

    SetSystemScript(1);
    // A substring is tagged with the system script, not the source's.
    COBString* sub = COBString("abc", WSE::kCyrillicScript).Substring(1, 1);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->GetWSEScript(), WSE::kJapaneseScript);
    delete sub;
    SetSystemScript(0x40000000);
    EXPECT_EQ(COBString::OBGetSystemScript(), WSE::kSystemScript);
}

TEST_F(Strings, EqualityLooksAtScriptsKindAndBytes) {
    COBString roman("abc", WSE::kRomanScript);
    COBString cyrillic("abc", WSE::kCyrillicScript);
    COBString system("abc", WSE::kRomanScript);
    system.SetScript(WSE::kSystemScript);
    EXPECT_TRUE(roman != cyrillic);
    EXPECT_TRUE(roman == system);
    EXPECT_TRUE(system == cyrillic);
    EXPECT_FALSE(roman == "abcd");
    EXPECT_TRUE(COBString() == static_cast<const char*>(nullptr));
    WOBString wide(Ptr(u"abc"));
    EXPECT_FALSE(roman == wide);
    EXPECT_FALSE(wide == roman);

    // Equal lengths compare up to the first NUL.
    COBString a(WSE::kRomanScript), b(WSE::kRomanScript);
    a.SetXString("x\0y", 3);
    b.SetXString("x\0z", 3);
    EXPECT_TRUE(a == b);
    b.SetXString("x\0zz", 4);
    EXPECT_FALSE(a == b);
}

// 8-bit text orders by unsigned bytes; UTF-16 text puts the shorter first.
TEST_F(Strings, OrderingAndCompareDifferBetweenTheKinds) {
    COBString abc("abc", WSE::kRomanScript);
    EXPECT_TRUE(COBString("b", WSE::kCyrillicScript) > abc);
    EXPECT_TRUE(COBString("\xE9", WSE::kRomanScript) > COBString("z", WSE::kRomanScript));
    EXPECT_TRUE(WOBString(Ptr(u"b")) < WOBString(Ptr(u"abc")));
    EXPECT_TRUE(WOBString(Ptr(u"\u00E9")) > WOBString(Ptr(u"z")));

    // Compare gives -1, 0 or 1 with case, the runtime's difference without.
    COBString s("Apple", WSE::kRomanScript);
    EXPECT_EQ(s.Compare(true, COBString("Apple", WSE::kGreekScript)), 0);
    EXPECT_EQ(s.Compare(true, "Ap"), 1);
    EXPECT_EQ(s.Compare(true, "apple"), -1);
    EXPECT_EQ(s.Compare(false, "aPPLE"), 0);
    EXPECT_LT(s.Compare(false, "apply"), 0);
    WOBString w(Ptr(u"Apple"));
    EXPECT_EQ(w.Compare(false, WOBString(Ptr(u"aPPLE"))), 0);
    EXPECT_EQ(WOBString(Ptr(u"\uFF21")).Compare(true, WOBString(Ptr(u"z"))), 1);
    // An 8-bit operand compares by its translation.
    EXPECT_EQ(w.Compare(true, COBString("Apple", WSE::kRomanScript)), 0);
}

// ---- Numbers ---------------------------------------------------------------

TEST_F(Strings, GetAsNumberReadsIntegersThenDecimals) {
    for (const auto& row : ombra_test::ReadTable("text/strings.tsv", "number")) {
        std::string text = row.size() > 2 ? row[2] : "";
        auto expected = static_cast<IOBString::ConversionError>(std::stoi(row[1]));
        auto error = expected ? IOBString::kConversionOK : IOBString::kConversionFailed;
        EXPECT_EQ(COBString(text.c_str(), WSE::kRomanScript).GetAsNumber(&error), std::stoi(row[0]))
            << text;
        EXPECT_EQ(error, expected) << text;
    }
    // UTF-16 text is read through its translation.
    EXPECT_EQ(WOBString(Ptr(u"-42")).GetAsNumber(nullptr), -42);
    // The text counts up to its first NUL; the error pointer may be null.
    COBString c(WSE::kRomanScript);
    c.SetXString("12\0"
                 "34",
                 5);
    EXPECT_EQ(c.GetAsNumber(), 12);

    // GetAsDouble reads the whole text or nothing.
    IOBString::ConversionError error = IOBString::kConversionFailed;
    EXPECT_DOUBLE_EQ(WOBString(Ptr(u"2.5e-1")).GetAsDouble(&error), 0.25);
    EXPECT_EQ(error, IOBString::kConversionOK);
    EXPECT_EQ(COBString("1.5cm", WSE::kRomanScript).GetAsDouble(&error), 0.0);
    EXPECT_EQ(error, IOBString::kConversionFailed);
}

TEST_F(Strings, NumbersAreFormattedPerKind) {
    COBString c("x=", WSE::kRomanScript);
    c.AppendDouble(0.5);
    c.AppendNumber(INT_MIN);
    EXPECT_EQ(Bytes(c), "x=0.500000-2147483648");
    c.Clear();
    c.AppendDouble(1e300); // "%f" gives 308 characters; 38 remain
    EXPECT_EQ(c.Length(), 38);

    WOBString w(Ptr(u"x="));
    w.AppendDouble(0.5);
    w.AppendNumber(-7);
    w.AppendDouble(0.1);
    EXPECT_EQ(Units(w), u"x=0.5-70.10000000000000001");
}

// ---- Editing ---------------------------------------------------------------

TEST_F(Strings, PositionsOutsideTheTextThrowAndChangeNothing) {
    COBString c("abc", WSE::kRomanScript);
    EXPECT_INVALID_POSITION(c.Remove(5, 1));
    EXPECT_INVALID_POSITION(c.Truncate(-1));
    EXPECT_INVALID_POSITION(c.Insert("xy", 2, -1));
    EXPECT_INVALID_POSITION(c[3]);
    EXPECT_EQ(Bytes(c), "abc");

    WOBString w(Ptr(u"abc"));
    EXPECT_INVALID_POSITION(w.Insert(static_cast<unsigned short>(u'x'), -1));
    EXPECT_INVALID_POSITION(w.GetChar(-1));
    EXPECT_INVALID_POSITION(w[3] = 'x');
    EXPECT_EQ(Units(w), u"abc");
}

TEST_F(Strings, RemoveTruncateInsertAndSubstringFollowTheirRules) {
    COBString c("abcdef", WSE::kRomanScript);
    c.Remove(-3, 1); // a negative position is 0
    c.Remove(3, -1); // a negative count goes to the end
    c.Remove(3, 5);  // at the end: nothing
    EXPECT_EQ(Bytes(c), "bcd");
    c.Truncate(1); // takes that many off the end
    EXPECT_EQ(Bytes(c), "bc");
    c.Insert('x', 99); // beyond the end: appended
    c.Insert("12345", 2, 2);
    c.Insert(COBString("XYZ", WSE::kRomanScript), 1, 99);
    EXPECT_EQ(Bytes(c), "bXYZc12x");

    EXPECT_EQ(c.Substring(8, 1), nullptr);
    COBString* sub = c.Substring(6, -1);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(Bytes(*sub), "2x");
    delete sub;
    sub = c.Substring(0, 0x100000001LL); // the count is read as 32 bits
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(Bytes(*sub), "b");
    delete sub;

    WOBString w(Ptr(u"abc"));
    w.Insert(Ptr(u"\u65E5\u672C"), 2, 99);
    WOBString xy(Ptr(u"XY"));
    w.Insert(xy, 0, 1);
    w.Remove(1, 2);
    EXPECT_EQ(Units(w), u"Xc\u65E5\u672C");
    WOBString* wsub = w.Substring(2, 1);
    ASSERT_NE(wsub, nullptr);
    EXPECT_EQ(Units(*wsub), u"\u65E5");
    delete wsub;
}

TEST_F(Strings, StripWhiteSpaceRemovesSpacesOnly) {
    struct {
        COBString::WhitespaceType type;
        const char* result;
    } rows[] = {{COBString::kLeadingWhitespace, "a b  "},
                {COBString::kTrailingWhitespace, "  a b"},
                {COBString::kLeadingAndTrailingWhitespace, "a b"},
                {COBString::kAllWhitespace, "ab"}};
    for (const auto& row : rows) {
        COBString s("  a b  ", WSE::kRomanScript);
        s.StripWhiteSpace(row.type);
        EXPECT_EQ(Bytes(s), row.result) << row.type;
        COBString spaces("   ", WSE::kRomanScript);
        spaces.StripWhiteSpace(row.type);
        EXPECT_EQ(Bytes(spaces), "") << row.type;
    }
    COBString tabs("\t a\n ", WSE::kRomanScript);
    tabs.StripWhiteSpace(COBString::kAllWhitespace);
    EXPECT_EQ(Bytes(tabs), "\ta\n");
}

TEST_F(Strings, AppendHonoursCountsAndTheTerminatorRule) {
    COBString c(WSE::kRomanScript);
    c.Append("hello", IOBString::kUpToTerminator);
    c.Append(", world", 2);
    c.Append(static_cast<const char*>(nullptr), 3);
    c.Append("ignored", -1);
    c.Append(COBString("12345", WSE::kRomanScript), 3);
    c.Append("\0x", 2); // an explicit count takes NULs too
    EXPECT_EQ(Bytes(c), std::string("hello, 123\0x", 12));
    COBString& result = c + COBString("b", WSE::kRomanScript);
    EXPECT_EQ(&result, &c); // + changes its left operand

    WOBString w;
    w.Append(Ptr(u"\u65E5\u672C\u8A9E"), 2);
    w.Append(Ptr(u"!"), IOBString::kUpToTerminator);
    w.Append(WOBString(Ptr(u"abc")), 2);
    EXPECT_EQ(Units(w), u"\u65E5\u672C!ab");

    // Text may append and insert itself, also past its buffer.
    c = "abcd";
    for (int i = 0; i < 6; ++i)
        c.Append(c.GrabCString(), c.Length());
    std::string all;
    for (int i = 0; i < 64; ++i)
        all += "abcd";
    EXPECT_EQ(Bytes(c), all);
    c = "abcd";
    c.Insert(c, 2, 4);
    EXPECT_EQ(Bytes(c), "ababcdcd");
    c.SetCString(c.GrabCString() + 2);
    EXPECT_EQ(Bytes(c), "abcdcd");
    WOBString xy(Ptr(u"xy"));
    xy.Append(xy);
    xy.Insert(xy, 1, 2);
    EXPECT_EQ(Units(xy), u"xxyyxy");
}

TEST_F(Strings, SearchesFollowTheirRules) {
    COBString c("abcabc", WSE::kRomanScript);
    COBString bc("bc", WSE::kRomanScript), none(WSE::kRomanScript);
    EXPECT_EQ(c.IndexOfString(bc, 2), 4);
    EXPECT_EQ(c.IndexOfString(none, 3), 3);
    EXPECT_EQ(c.IndexOfString(none, 7), -1);
    EXPECT_EQ(c.IndexOfString(static_cast<const char*>(nullptr), 0), -1);
    EXPECT_FALSE(c.Contains(bc, 5));
    EXPECT_TRUE(c.Contains(static_cast<const IOBString&>(WOBString(Ptr(u"cab"))), 0));
    EXPECT_EQ(c.IndexOfCharacter('c', 6), -1);
    EXPECT_EQ(c.LastIndexOfString(bc, 3), 1);
    EXPECT_EQ(c.LastIndexOfString(none, 100), 6);
    EXPECT_EQ(c.LastIndexOfString(COBString("abcabcabc", WSE::kRomanScript), 100), -1);
    EXPECT_EQ(COBString(WSE::kRomanScript).LastIndexOfCharacter('a'), -1);

    WOBString w(Ptr(u"\u65E5a\u65E5a"));
    EXPECT_EQ(w.LastIndexOfString(WOBString(Ptr(u"\u65E5a")), 10), 2);
    EXPECT_TRUE(w.Contains(static_cast<const IOBString&>(COBString("a", WSE::kRomanScript))));
}

TEST_F(Strings, CharactersAndFixedBuffers) {
    COBString c("\xE9z", WSE::kRomanScript);
    EXPECT_EQ(c[0], 0xE9);
    char buf[3] = {'#', '#', '#'};
    c.GetCString(buf, 2); // no room for the NUL: untouched
    EXPECT_EQ(buf[0], '#');
    c.GetCString(buf, 3);
    EXPECT_STREQ(buf, "\xE9z");
    unsigned char p[4] = {9, 9, 9, 9};
    c.GetPString(p, 2);
    EXPECT_EQ(p[0], 9);
    c.GetPString(p, 3);
    EXPECT_EQ(p[0], 2);
    EXPECT_EQ(p[2], 'z');
    const unsigned char pascal[] = {3, 'x', 'y', 'z', 'w'};
    c.SetPString(pascal);
    EXPECT_EQ(Bytes(c), "xyz");
    c.SetHexChar(0);
    c.SetPString(nullptr);
    EXPECT_EQ(c.Length(), 1);

    std::string longText(300, 'q');
    COBString big(longText.c_str(), WSE::kRomanScript);
    std::string pbuf(400, '\0');
    big.GetPString(reinterpret_cast<unsigned char*>(&pbuf[0]), 400);
    EXPECT_EQ(static_cast<unsigned char>(pbuf[0]), 255);

    WOBString w(Ptr(u"ab"));
    w[0] = u'X';
    EXPECT_EQ(Units(w), u"Xb");
    w.SetX16String(Ptr(u"a\0b"), 3);
    EXPECT_EQ(w.Length(), 3);
}

TEST_F(Strings, SettersLeaveTheTextForNullOrEmptySources) {
    COBString c("keep", WSE::kRomanScript);
    c.SetCString(nullptr);
    c.SetWString(Ptr(u""));
    c.SetXString(Ptr(u"abc"), 0);
    c.SetWAsCString(nullptr);
    EXPECT_EQ(Bytes(c), "keep");
    c.SetCString("");
    EXPECT_TRUE(c.IsNull());

    WOBString w(Ptr(u"keep"));
    w.SetCString("");
    w.SetWString(nullptr);
    w.SetXString("abc", 0);
    w.SetCAsWString(nullptr);
    EXPECT_EQ(Units(w), u"keep");
    w.SetWString(Ptr(u""));
    EXPECT_TRUE(w.IsNull());
    w.SetXString("a\0b", 3); // the translation counts up to its first 0 unit
    EXPECT_EQ(Units(w), u"a");
    w.SetHexChar(0xE9);
    EXPECT_EQ(Units(w), u"\u00E9");
}

TEST_F(Strings, CaseMappingUsesTheRuntime) {
    COBString c("Mixed Case 1", WSE::kRomanScript);
    c.ToUpper();
    EXPECT_EQ(Bytes(c), "MIXED CASE 1");
    WOBString w(Ptr(u"Mixed \u65E5"));
    w.ToLower();
    EXPECT_EQ(Units(w), u"mixed \u65E5");
}

// ---- Translation between the kinds -----------------------------------------

TEST_F(Strings, EightBitTextTranslatesWithItsScript) {
    COBString japanese("\x93\xFA\x96\x7B", WSE::kJapaneseScript);
    EXPECT_EQ(U16(japanese.GrabWString()), u"\u65E5\u672C");
    COBString same("\x93\xFA\x96\x7B", WSE::kRomanScript);
    EXPECT_EQ(U16(same.GrabWString()), u"\u201C\u00FA\u2013{");

    COBString cyrillic(WSE::kCyrillicScript);
    cyrillic.SetWString(Ptr(u"\u041C\u0438\u0440"));
    EXPECT_EQ(Bytes(cyrillic), "\xCC\xE8\xF0");
    cyrillic.Append(static_cast<unsigned short>(0x65E5)); // no bytes for it in Cyrillic
    cyrillic.AppendWAsCString(Ptr(u"\u0430\0\u0431"), 3); // stops at the 0 unit
    EXPECT_EQ(Bytes(cyrillic), "\xCC\xE8\xF0?\xE0");
    cyrillic.SetXString(Ptr(u"\U0001F600"), 2);
    EXPECT_EQ(Bytes(cyrillic), "?");
}

TEST_F(Strings, RenderingsAreMadeOnceAndRenewedAfterAChange) {
    COBString c("\x93\xFA", WSE::kJapaneseScript);
    EXPECT_EQ(U16(c.GrabWString()), u"\u65E5");
    c.Append("\x96\x7B", 2);
    EXPECT_EQ(U16(c.GrabWString()), u"\u65E5\u672C");

    // Write access alone keeps the rendering (and pointers to it); writing
    // through the own bytes is seen by the next rendering.
    const unsigned short* before = c.GrabWString();
    c.GrabCString();
    EXPECT_EQ(c.GrabWString(), before);
    c.GrabCString()[0] = 'A';
    c.GrabCString()[1] = 'B';
    EXPECT_EQ(U16(c.GrabWString()), u"AB\u672C");

    // A WOBString keeps its first rendering whatever script is asked later.
    WOBString w(Ptr(u"\u65E5\u672C"));
    const char* sjis = w.GrabAsCString(WSE::kJapaneseScript, CPGE::kCodePageFromScript);
    EXPECT_STREQ(sjis, "\x93\xFA\x96\x7B");
    EXPECT_EQ(w.GrabAsCString(WSE::kCyrillicScript, CPGE::kCodePageFromScript), sjis);
    w[1] = w[1];
    EXPECT_EQ(w.GrabAsCString(WSE::kJapaneseScript, CPGE::kCodePageFromScript), sjis);
    w[0] = 0x8A9E;
    EXPECT_STREQ(w.GrabAsCString(WSE::kJapaneseScript, CPGE::kCodePageFromScript),
                 "\x8C\xEA\x96\x7B");
    w.Append(static_cast<unsigned short>(u'!'));
    EXPECT_STREQ(w.GrabCString(), "?\?!"); // the system script is Windows-1252 here
}

TEST_F(Strings, MixedKindsConvertIntoTheTargetsForm) {
    WOBString w("caf\xE9"); // 8-bit text for a WOBString is in the system script
    w.Append('\xE9');       // a single char is widened with its sign
    EXPECT_EQ(Units(w), u"caf\u00E9\uFFE9");
    w.Clear();
    w.AppendTranslate("\xCF", 1, WSE::kCyrillicScript);
    w.AppendTranslate(nullptr, 1, WSE::kCyrillicScript);
    COBString japanese("\x93\xFA", WSE::kJapaneseScript);
    w.Append(japanese);
    EXPECT_EQ(Units(w), u"\u041F\u65E5");

    COBString cyrillic("a", WSE::kCyrillicScript);
    cyrillic.Append(WOBString(Ptr(u"\u041F\u0440")));
    EXPECT_EQ(Bytes(cyrillic), "a\xCF\xF0");
    static_cast<IOBString&>(cyrillic) = WOBString(Ptr(u"\u0416")); // keeps its script
    EXPECT_EQ(Bytes(cyrillic), "\xC6");
    static_cast<IOBString&>(cyrillic) = WOBString();
    EXPECT_TRUE(cyrillic.IsNull());
    static_cast<IOBString&>(cyrillic) = japanese;
    EXPECT_EQ(cyrillic.GetWSEScript(), WSE::kJapaneseScript);
    EXPECT_EQ(Bytes(cyrillic), "\x93\xFA");
}

TEST_F(Strings, CopiesAndClonesAreIndependent) {
    COBString c("abc", WSE::kGreekScript);
    COBString copy(c);
    copy.Append('d');
    EXPECT_EQ(Bytes(c), "abc");
    COBString assigned(WSE::kRomanScript);
    assigned = c;
    const COBString& self = assigned;
    assigned = self;
    EXPECT_EQ(assigned.GetWSEScript(), WSE::kGreekScript);
    EXPECT_EQ(Bytes(assigned), "abc");
    IOBString* clone = c.Clone();
    ASSERT_NE(clone, nullptr);
    EXPECT_TRUE(*clone == c);
    clone->Clear();
    EXPECT_EQ(c.Length(), 3);
    delete clone;

    WOBString w(Ptr(u"a\0b"), 3);
    WOBString wcopy(w); // up to the first 0 unit
    EXPECT_EQ(wcopy.Length(), 1);
    IOBString* wclone = w.Clone(); // the whole text
    ASSERT_NE(wclone, nullptr);
    EXPECT_EQ(wclone->Length(), 3);
    delete wclone;
}

// ---- IOBStringPtr ----------------------------------------------------------

TEST_F(Strings, HandlesCopyDeeply) {
    IOBStringPtr wide(true);
    wide->SetWString(Ptr(u"\u65E5"));
    IOBStringPtr copy(wide);
    ASSERT_TRUE(copy.IsValid());
    EXPECT_EQ(copy->IsUnicode(), 1);
    EXPECT_TRUE(copy == wide);
    copy->Append(static_cast<unsigned short>(u'x'));
    EXPECT_EQ(wide->Length(), 1);

    IOBStringPtr narrow(new COBString("n", WSE::kHebrewScript));
    IOBStringPtr empty;
    narrow = empty; // a handle holding nothing changes nothing
    ASSERT_TRUE(narrow.IsValid());
    const IOBStringPtr& same = narrow;
    narrow = same;
    copy = narrow;
    ASSERT_TRUE(copy.IsValid());
    EXPECT_EQ(static_cast<COBString*>(copy.GetPtr())->GetWSEScript(), WSE::kHebrewScript);
    copy = static_cast<const IOBString*>(nullptr);
    EXPECT_FALSE(copy.IsValid());
    EXPECT_FALSE(narrow == copy);

    narrow = narrow.GetPtr(); // a copy of its own string
    EXPECT_STREQ(narrow->GrabCString(), "n");
    IOBStringPtr taken;
    taken.Release(narrow);
    EXPECT_FALSE(narrow.IsValid());
    EXPECT_STREQ(taken->GrabCString(), "n");
}

// ---- Without a text service or memory ---------------------------------------

TEST(StringsWithoutService, ConversionsProduceNothingUntilAServiceIsThere) {
    std::thread([] {
        COBString c("\xE9", WSE::kRomanScript);
        EXPECT_EQ(U16(c.GrabWString()), u"");
        WOBString w(Ptr(u"\u00E9"));
        EXPECT_STREQ(w.GrabCString(), "");
        COBString keep("keep", WSE::kRomanScript);
        keep.SetWString(Ptr(u"new"));
        EXPECT_EQ(Bytes(keep), "keep");

        OBLumHandler::SetLumService(new OBConvertorLumService);
        EXPECT_EQ(U16(c.GrabWString()), u"\u00E9"); // the failure was not kept
        EXPECT_STREQ(w.GrabCString(), "\xE9");
    }).join();
}

// Strings edited while memory runs out (texts past what a string holds
// without a buffer of its own): each edit is whole or not made, a string
// whose storage could not be had is empty but works, and renderings come
// back once memory does.
TEST_F(Strings, RunningOutOfMemoryLeavesStringsWorking) {
    const std::string more(60, 'd');
    const std::u16string wide = u"xyz-0123456789-0123456789";
    ombra_test::SweepAllocationFailures([&] {
        COBString* c = new COBString("abc", WSE::kJapaneseScript);
        WOBString* w = new WOBString(Ptr(wide.c_str()));
        if (!c || !w) {
            delete c;
            delete w;
            return false;
        }
        std::string before = Bytes(*c);
        c->Append(more.c_str(), 60);
        EXPECT_TRUE(Bytes(*c) == before + more || Bytes(*c) == before);
        std::u16string units = Units(*w);
        w->Insert(static_cast<unsigned short>(u'!'), 0);
        w->AppendDouble(1.5);
        EXPECT_TRUE(Units(*w) == u"!" + units + u"1.5" || Units(*w) == u"!" + units ||
                    Units(*w) == units);
        IOBStringPtr handle(c->Clone());
        IOBStringPtr copy(handle);
        EXPECT_TRUE(!copy.IsValid() || Bytes(*static_cast<COBString*>(copy.GetPtr())) == Bytes(*c));
        COBString* sub = c->Substring(0, 1);
        bool ok = Bytes(*c) == "abc" + more && Units(*w) == u"!" + wide + u"1.5" &&
                  copy.IsValid() && sub && U16(c->GrabWString()).size() == 63;
        std::string kept = Bytes(*c);
        c->Remove(0, 1); // needs no memory
        EXPECT_EQ(Bytes(*c), kept.empty() ? kept : kept.substr(1));
        delete sub;
        delete c;
        delete w;
        return ok;
    });
}

} // namespace
