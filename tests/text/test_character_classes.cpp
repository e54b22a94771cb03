// The character property table, word selection and the kinsoku rules.
#include <ombra/scripts.h>

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

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
