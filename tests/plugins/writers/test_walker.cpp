// The story walker at its interface: what a handler receives, in which
// order and nesting, for documents that follow the conventions and for
// random ones that break them.
#include "ListNumbers.h"
#include "StoryWalker.h"
#include "UnitScan.h"
#include "WalkLists.h"

#include <ombra/storedelements.h>
#include <ombra/typedstreams.h>
#include <ombra/views.h>

#include "RandomDocument.h"
#include "support/ConversionState.h"
#include "support/DocumentBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace ombra_test;

// Records what the walker hands over as a compact line of events.
class Recorder : public OBWalkHandler {
public:
    explicit Recorder(bool walkNotes) : walkNotes_(walkNotes) {}
    OBStoryWalker* walker = nullptr;
    std::string events;
    std::u16string text;   // text, breaks and objects of every walked text
    std::vector<int> open; // spans open now: kind, then whether cut
    bool nested = true;    // every end matched the innermost begin
    bool cutsKept = true;  // a ruby piece ends as its begin foretold
    bool inParagraph = false;
    int spansAcrossParagraphs = 0;

    void BeginStory(const OBWalkStory& s) override {
        events += "{";
        if (s.vertical) events += "V";
    }
    void EndStory(const OBWalkStory&) override { events += "}"; }
    void BeginParagraph(const OBWalkParagraph& p) override {
        events += "<";
        if (p.style) events += Name(p.style);
        inParagraph = true;
    }
    void EndParagraph(const OBWalkParagraph&) override {
        spansAcrossParagraphs += static_cast<int>(open.size());
        events += ">";
        inParagraph = false;
    }
    void OnText(const unsigned short* units, long long n, const OBWalkRun& run) override {
        text.append(reinterpret_cast<const char16_t*>(units), static_cast<size_t>(n));
        events += Utf8(std::u16string(reinterpret_cast<const char16_t*>(units), n));
        if (run.format && run.local && run.characterStyle) events += "*";
    }
    void OnBreak(OBWALK::BreakKind kind, const OBWalkRun&) override {
        char16_t c = kind == OBWALK::kTab ? u'\t' : kind == OBWALK::kLineBreak ? u'\n' : u'\f';
        text += c;
        events += kind == OBWALK::kTab ? "\\t" : kind == OBWALK::kLineBreak ? "\\n" : "\\f";
    }
    void BeginSpan(const OBWalkSpan& s) override {
        open.push_back(s.kind * 2 + s.cut);
        events += std::string(s.resumed ? "+" : "[") + "LWRKT"[s.kind];
    }
    void EndSpan(const OBWalkSpan& s) override {
        nested = nested && !open.empty() && open.back() / 2 == s.kind;
        cutsKept = cutsKept &&
                   (open.empty() || open.back() % 2 == (s.kind == OBWALK::kRuby && s.continues));
        if (!open.empty()) open.pop_back();
        events += std::string("LWRKT").substr(s.kind, 1) + (s.continues ? "-" : "]");
    }
    void OnTarget(const OBWalkTarget& t) override { events += "#" + std::to_string(t.number); }
    void OnFootnote(const OBWalkNote& note, const OBWalkRun&) override {
        events += "^" + std::to_string(note.number);
        if (walkNotes_ && note.text) walker->Walk(note.text, OBWALK::kNoteText, 1);
    }
    void OnTable(Element* table, const OBWalkRun&) override {
        events += "|T";
        OBWalkTable grid;
        if (!walker->ReadTable(table, grid)) return;
        for (const OBWalkCell& cell : grid.cells) {
            events += "(" + std::to_string(cell.row) + std::to_string(cell.column) +
                      std::to_string(cell.rowSpan) + std::to_string(cell.columnSpan);
            if (cell.text) walker->Walk(cell.text, OBWALK::kCellText, 2);
            events += ")";
        }
    }
    void OnVariable(Element*, const OBWalkRun&) override { events += "$"; }
    void OnPicture(const OBWalkPicture& p) override {
        events += (p.inlined ? "@i:" : "@") + std::string(p.path.Data());
    }
    void OnObject(const OBWalkRun&) override { events += "?"; }

    static std::string Name(Element* e) {
        obwalk::Utf8Text name;
        obwalk::GetUtf8(OBGetAttributeValue(e, AN::kName), name);
        return name.Data();
    }

private:
    bool walkNotes_;
};

std::string Walk(const std::vector<Element*>& elements, OBWalkOptions options,
                 OBWriterProblems* problems = nullptr, Recorder* into = nullptr) {
    Recorder local(false);
    Recorder& recorder = into ? *into : local;
    OBWriterProblems own;
    OBStoryWalker walker(recorder, problems ? *problems : own, options);
    recorder.walker = &walker;
    for (Element* e : elements)
        walker.Put(e);
    walker.Put(nullptr);
    return recorder.events;
}

OBWalkOptions Deferred() {
    OBWalkOptions options;
    options.deferStories = true;
    options.resolveFormatting = true;
    return options;
}

class Walker : public ::testing::Test {
protected:
    ConversionState state_;
};

TEST_F(Walker, SpansNestAndSplitAtParagraphEndsTablesAndEachOther) {
    DocumentBuilder b;
    unsigned body = b.AddParagraphStyle("Body");
    StoryBuilder& s = b.AddStory();
    s.Text("a").Kenten("bc").Ruby("de", "r").EndPara(body).Link("x", "u").EndPara(body);
    s.AddTable(2, 3).Cell(0, 0, "c", 1).Cell(1, 2, "d"); // places no cell fills get empty ones
    s.EndPara(body);
    const std::vector<Element*>& e = b.Build();
    // The kenten ends inside the ruby, so it ends before the ruby and goes
    // on in it; the link begins with the kenten and goes on into the next
    // paragraph.
    OBGetAttributeStore(FindFirst(e, EL::kKentenRun))->SetInteger(AN::kEndCharacterPosition, 4);
    OBGetAttributeStore(FindFirst(e, EL::kHyperLinkTextSource))->SetInteger(AN::kStartPosition, 1);
    OBWriterProblems problems;
    EXPECT_EQ(Walk(e, Deferred(), &problems),
              "{<Bodya[L[KbcK-[R+KdK]eR]L-><Body+LxL]><Body|T(0021<Bodyc>)(0111)(0211)(1111)("
              "1211<Bodyd>)>}");
    EXPECT_EQ(problems.Total(), 0);
}

TEST_F(Walker, TargetsLinksNotesVariablesPicturesAndReadingOrder) {
    DocumentBuilder b;
    unsigned page1 = b.AddPage(b.AddSpread()), page2 = b.AddPage(b.AddSpread());
    StoryBuilder& first = b.AddStory();
    StoryBuilder& second = b.AddStory();
    b.AddPicture(page1, OBRect(0, 500, 10, 510), "low.png");
    b.AddPicture(page1, OBRect(0, 10, 10, 20), "high.png");
    b.AddPicture(page2, OBRect(0, 0, 10, 10), "");
    unsigned icon = b.AddPicture(page2, OBRect(0, 0, 1, 1), "icon.png");
    first.Text("ab").TextLink("go", second.Id(), 1).Footnote("n").Variable("7").EndPara();
    second.Vertical().Text("x").Inline(icon).Text("y\u2028z").EndPara();
    b.AddTextFrame(page1, first.Id(), OBRect(0, 100, 100, 200));
    b.AddTextFrame(page2, second.Id(), OBRect(0, 100, 100, 200));
    EXPECT_EQ(Walk(b.Build(), Deferred()),
              "@high.png{<ab[LgoL]^1$>}@low.png@{V<x#1@i:icon.pngy\\nz>}")
        << "pictures by their place on their page, the one in the text where it stands";
}

TEST_F(Walker, FormattingResolvesThroughStyleChainsAndCutsLoops) {
    DocumentBuilder b;
    unsigned base = b.AddParagraphStyle("Base");
    unsigned derived = b.AddParagraphStyle("Derived", base);
    unsigned emphasis = b.AddCharacterStyle("Emphasis");
    b.ParagraphFormat(base).SetLength(AN::kLeftIndent, 9);
    b.CharacterFormat(base).SetLength(AN::kFontSize, 11);
    b.CharacterFormat(emphasis).SetBool(AN::kItalics, true);
    b.AddStory().Text("x", RunStyle::Style(emphasis).Bold()).EndPara(derived);
    struct Check : Recorder {
        Check() : Recorder(false) {}
        double indent = 0, size = 0;
        bool bold = false, italic = false;
        void BeginParagraph(const OBWalkParagraph& p) override {
            obwalk::GetLength(p.format->GetLeftIndent(), UNITS::LINEAR::kPoints, indent);
        }
        void OnText(const unsigned short*, long long, const OBWalkRun& r) override {
            obwalk::GetLength(r.format->GetFontSize(), UNITS::LINEAR::kPoints, size);
            obwalk::GetFlag(r.format->GetBold(), bold);
            obwalk::GetFlag(r.format->GetItalics(), italic);
        }
    } check;
    Walk(b.Build(), Deferred(), nullptr, &check);
    EXPECT_EQ(check.indent, 9);
    EXPECT_EQ(check.size, 11);
    EXPECT_TRUE(check.bold && check.italic);

    // Based on each other: reported, and the walk goes on.
    OBGetAttributeStore(b.Find(base))->SetId(AN::kBasedOn, derived);
    OBWriterProblems problems;
    Check again;
    Walk(b.Build(), Deferred(), &problems, &again);
    EXPECT_GE(problems.Count(OBERR::kBrokenReference), 1);
    EXPECT_EQ(again.size, 11);
}

// Scripts beyond what a byte holds (bad input) reach the handler as they
// are, also where runs before them had ordinary ones and runs overlap.
TEST_F(Walker, ScriptsOutsideTheKnownRangeGoThroughUnchanged) {
    DocumentBuilder b;
    b.AddStory()
        .Text("ab", RunStyle::Script(WSE::kGreekScript))
        .Text("cd", RunStyle::Style(kNoId, 300))
        .Text("ef", RunStyle::Style(kNoId, 254))
        .Text("gh")
        .EndPara();
    struct Scripts : Recorder {
        Scripts() : Recorder(false) {}
        std::string seen;
        void BeginParagraph(const OBWalkParagraph& p) override {
            seen += "<" + std::to_string(p.script);
        }
        void OnText(const unsigned short*, long long n, const OBWalkRun& r) override {
            seen += " " + std::to_string(n) + ":" + std::to_string(r.script);
        }
    } scripts;
    Walk(b.Build(), Deferred(), nullptr, &scripts);
    const std::string greek = std::to_string(WSE::kGreekScript);
    const std::string system = std::to_string(WSE::kSystemScript);
    EXPECT_EQ(scripts.seen, "<" + greek + " 2:" + greek + " 2:300 2:254 2:" + system);
}

// Random documents, many breaking the conventions: spans always nest and
// close within their paragraph, and every character of every text comes
// out once, in order.
TEST_F(Walker, RandomDocumentsLoseNoTextAndKeepSpansNested) {
    for (unsigned seed = 1; seed <= 150; ++seed) {
        DocumentBuilder b;
        writers_test::RandomDocument(seed).Build(b);
        const std::vector<Element*>& e = b.Build();
        std::u16string expected;
        for (Element* story : FindAll(e, EL::kParentStory)) {
            std::u16string text = StoryText(story->GetChild(EL::kChildStory));
            for (std::size_t i = 0; i < text.size(); ++i)
                if (text[i] != u'\uFFFC' && text[i] != u'\u2029' &&
                    !(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n'))
                    expected += text[i] == u'\r' || text[i] == u'\u2028' ? u'\n' : text[i];
        }
        struct StoriesOnly : Recorder {
            StoriesOnly() : Recorder(false) {}
            void OnTable(Element*, const OBWalkRun&) override {}
        } recorder;
        OBWalkOptions options = Deferred();
        options.includeHidden = true;
        Walk(e, options, nullptr, &recorder);
        std::u16string got;
        for (char16_t c : recorder.text)
            if (c != u'\uFFFC') got += c;
        EXPECT_EQ(Utf8(got), Utf8(expected)) << "seed " << seed;
        EXPECT_TRUE(recorder.nested && recorder.open.empty()) << "seed " << seed;
        EXPECT_TRUE(recorder.cutsKept) << "seed " << seed;
        EXPECT_EQ(recorder.spansAcrossParagraphs, 0) << "seed " << seed;
    }
}

// One pass over a stored element's values gives what its accessors give,
// whatever was set, replaced or removed, at index 0 or another.
TEST(CharacterValueList, OnePassGivesWhatTheAccessorsGive) {
    const AN::AttrNameEnum attrs[] = {AN::kBold, AN::kFont, AN::kTrack, AN::kName};
    obwalk::CharacterValueList list(attrs, 3);
    std::mt19937 random(15);
    for (int round = 0; round < 200; ++round) {
        std::unique_ptr<Element> e(OBCreateStoredElement(EL::kCharacterAttributes));
        for (int n = 0; n < 12; ++n) {
            AN::AttrNameEnum attr = attrs[random() % 4];
            int index = random() % 3 == 0 ? 1 : 0;
            if (random() % 4 == 0 || !OBGetAttributeStore(e.get())->SetInteger(attr, n, index))
                OBGetAttributeStore(e.get())->Remove(attr, index);
        }
        Value* out[3];
        ASSERT_TRUE(list.ReadStored(static_cast<OBMCharacterAttributes*>(e.get()), out));
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(out[k], OBGetAttributeValue(e.get(), attrs[k])) << round << " " << k;
    }
}

// Enumeration values read through the class an attribute mostly has give
// what the general look-up gives, whatever class a value is of.
TEST(WalkEnums, TheLikelyClassReadsAsAnyOther) {
    // Made as readers make them, in the library.
    std::unique_ptr<Element> e(OBCreateStoredElement(EL::kCharacterAttributes));
    OBAttributeStore* store = OBGetAttributeStore(e.get());
    store->SetMember<ValueStrikeThruTypeEnum>(AN::kStrikeThru, STE::StrikeThruTypeEnum(2));
    store->SetMember<ValueCharacterCaseEnum>(AN::kCharacterCase, CCE::CharacterCaseEnum(3));
    store->SetBool(AN::kBold, true);
    for (AN::AttrNameEnum attr : {AN::kStrikeThru, AN::kCharacterCase, AN::kBold, AN::kFont}) {
        Value* v = store->Find(attr);
        int general = -1, likely = -1;
        bool found = obwalk::GetEnum(v, general);
        EXPECT_EQ(obwalk::GetEnumOf<ValueStrikeThruTypeEnum>(v, likely), found) << attr;
        EXPECT_EQ(likely, general) << attr;
    }
}

// The scans find what a plain loop finds, wherever it stands in a block of
// eight, sixteen or thirty-two (or four), from wherever they start, in
// text with many and with few of what they look for.
TEST(UnitScan, FindsWhatAPlainLoopFinds) {
    const unsigned short kUnits[] = {0x00,   0x09,   0x0D,   0x0E,   0x2027, 0x2028, 0x2029, 0xFFFC,
                                     0xFFFD, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xAD,   'a',
                                     ' ',    '!',    '~',    0x7F,   '"',    '\\',   0x8000, 0x20};
    std::mt19937 random(17);
    for (int round = 0; round < 400; ++round) {
        std::vector<unsigned short> u(random() % 80);
        std::vector<int> scripts(u.size());
        std::vector<unsigned char> bytes(u.size());
        const unsigned plain = round % 2 ? 3 : 60; // one in this many is not 'x'
        for (std::size_t i = 0; i < u.size(); ++i)
            u[i] = random() % plain ? 'x' : kUnits[random() % 24], scripts[i] = random() % 8 == 0;
        const long long n = static_cast<long long>(u.size());
        for (std::size_t i = 0; i < u.size(); ++i)
            bytes[i] = static_cast<unsigned char>(scripts[i] ? 0xFF : 0x20);
        auto control = [](unsigned c) {
            return c < 0x0E || c == 0x2028 || c == 0x2029 || c == 0xFFFC;
        };
        EXPECT_EQ(
            obscan::HasSurrogate(u.data(), n),
            std::any_of(u.begin(), u.end(), [](unsigned c) { return c >= 0xD800 && c <= 0xDFFF; }));
        EXPECT_EQ(obscan::FindUnitOrSurrogate(u.data(), n, 0xAD),
                  std::find_if(u.begin(), u.end(), [](unsigned c) {
                      return c == 0xAD || (c >= 0xD800 && c <= 0xDFFF);
                  }) - u.begin());
        for (long long from = 0; from <= n; ++from) {
            EXPECT_EQ(obscan::FindUnit(u.data(), from, n, 0xAD),
                      std::find(u.begin() + from, u.end(), 0xAD) - u.begin());
            EXPECT_EQ(obscan::FindControl(u.data(), from, n),
                      std::find_if(u.begin() + from, u.end(), control) - u.begin());
            EXPECT_EQ(obscan::FindOther(scripts.data(), from, n, 0),
                      std::find(scripts.begin() + from, scripts.end(), 1) - scripts.begin());
            std::string narrow(static_cast<std::size_t>(n - from) + 8, '\0');
            const long long end = obscan::NarrowPlain(u.data(), from, n, &narrow[0]);
            EXPECT_EQ(end, std::find_if(u.begin() + from, u.end(), [](unsigned c) {
                               return c <= ' ' || c >= 0x7F || c == '"' || c == '\\';
                           }) - u.begin());
            EXPECT_TRUE(std::equal(u.begin() + from, u.begin() + end, narrow.begin()));
            EXPECT_EQ(obscan::FindOtherByte(bytes.data(), from, n, 0x20),
                      std::find(bytes.begin() + from, bytes.end(), 0xFF) - bytes.begin());
        }
        std::vector<unsigned char> filled(u.size() + 2, 1);
        obscan::FillBytes(filled.data() + 1, n, 7);
        EXPECT_EQ(std::count(filled.begin(), filled.end(), 7), n);
        EXPECT_TRUE(filled.front() == 1 && filled.back() == 1);
    }
}

// Random runs of list paragraphs: after each, the innermost list is the
// paragraph's (its level and kind), levels grow inward, every listed
// paragraph is an item exactly once, and a numbered list's items count on
// by one.
TEST(WalkLists, NestingKeepsLevelsKindsAndNumbersInOrder) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        obwalk::ListNesting lists;
        std::vector<OBWalkListItem> open; // each list's last item
        int listed = 0, items = 0;
        for (int n = 0; n < 40; ++n) {
            const int kinds[] = {OBWALK::kNotListed, OBWALK::kBulleted, OBWALK::kNumbered};
            OBWalkListItem item{static_cast<OBWALK::ListKind>(kinds[random() % 3]),
                                1 + static_cast<int>(random() % 4),
                                random() % 2 ? PNSE::kArabic : PNSE::kLowerRoman,
                                1 + static_cast<long long>(random() % 3)};
            const obwalk::ListNesting::Step step = lists.Next(item);
            ASSERT_LE(step.close, lists.Depth());
            open.resize(open.size() - static_cast<std::size_t>(step.close));
            lists.Take(step, item);
            if (item.kind == OBWALK::kNotListed) {
                EXPECT_TRUE(open.empty() && !step.open && !step.item);
                continue;
            }
            ++listed;
            ASSERT_NE(step.open, step.item);
            if (step.item) {
                ASSERT_FALSE(open.empty());
                if (item.kind == OBWALK::kNumbered) {
                    EXPECT_EQ(item.number, open.back().number + 1);
                }
                open.back() = item;
            } else {
                open.push_back(item);
            }
            ++items;
            ASSERT_EQ(static_cast<int>(open.size()), lists.Depth());
            EXPECT_EQ(lists.At(lists.Depth() - 1).level, item.level);
            EXPECT_EQ(lists.At(lists.Depth() - 1).kind, item.kind);
            for (int d = 1; d < lists.Depth(); ++d)
                EXPECT_LT(lists.At(d - 1).level, lists.At(d).level);
        }
        EXPECT_EQ(items, listed);
    }
}

// List numbers as each style writes them (the readers' markers), and read
// back from markers with text around them (the writers' lists).
TEST(WalkLists, MarkersGiveBackTheirNumbers) {
    const struct {
        int style;
        long long n;
        const char* written;
    } kSpellings[] = {
        {PNSE::kArabic, -3, "-3"},
        {PNSE::kArabicLeadingZeros, 7, "007"},
        {PNSE::kFullWidthArabic, 12, "\uFF11\uFF12"},
        {PNSE::kUpperRoman, 1999, "MCMXCIX"},
        {PNSE::kLowerRoman, 3888, "mmmdccclxxxviii"},
        {PNSE::kUpperRoman, 4000, "4000"},
        {PNSE::kLowerAlpha, 27, "aa"},
        {PNSE::kUpperAlpha, 702, "ZZ"},
        {PNSE::kCircledArabic, 21, "\u3251"},
        {PNSE::kCircledArabic, 51, "51"},
        {PNSE::kKanji, 0, "\u3007"},
        {PNSE::kKanji, 11, "\u5341\u4E00"},                            // 十一
        {PNSE::kKanji, 20, "\u4E8C\u5341"},                            // 二十
        {PNSE::kKanji, 1105, "\u5343\u767E\u4E94"},                    // 千百五
        {PNSE::kKanji, 10000, "\u4E00\u4E07"},                         // 一万
        {PNSE::kKanji, 300000002, "\u4E09\u5104\u4E8C"},               // 三億二
        {PNSE::kHiragana, 2, "\u3044"},                                // い
        {PNSE::kHiragana, 49, "\u3042\u3042"},                         // ああ
        {PNSE::kKatakana, 48, "\u30F3"},                               // ン
        {PNSE::kHiraganaIroha, 2, "\u308D"},                           // ろ
        {PNSE::kKatakanaIroha, 47, "\u30B9"},                          // ス
        {PNSE::kHebrew, 16, "\u05D8\u05D6"},                           // טז
        {PNSE::kHebrew, 115, "\u05E7\u05D8\u05D5"},                    // קטו
        {PNSE::kHebrew, 999, "\u05EA\u05EA\u05E7\u05E6\u05D8"},        // תתקצט
        {PNSE::kHebrew, 2745, "\u05D1\u05F3\u05EA\u05E9\u05DE\u05D4"}, // ב׳תשמה
        {PNSE::kArabicAbjad, 29, "\u0623\u0623"},                      // أأ
        {PNSE::kArabicIndic, 1024, "\u0661\u0660\u0662\u0664"},        // ١٠٢٤
        {PNSE::kArabicAlphabet, 3, "\u062A"},                          // ت
        {PNSE::kBullet, 5, "5"},
    };
    for (const auto& s : kSpellings) {
        std::string out;
        oblist::AppendNumber(out, s.n, s.style, s.style == PNSE::kArabicLeadingZeros ? 3 : 0);
        EXPECT_EQ(out, s.written) << s.style << " " << s.n;
    }
    // Every style, read back through the text around a number; what a style
    // cannot write is written (and read) in Arabic digits.
    for (int style = PNSE::kArabic; style <= PNSE::kArabicAlphabet; ++style)
        for (long long n : {1LL, 4LL, 9LL, 10LL, 14LL, 27LL, 49LL, 50LL, 702LL, 1999LL, 3888LL,
                            10001LL, 999999999LL}) {
            std::string text = "Step (";
            oblist::AppendNumber(text, n, style);
            text += ").";
            const std::u16string units = ombra_test::Utf16(text);
            long long number = 0;
            const auto* u = reinterpret_cast<const unsigned short*>(units.data());
            const long long size = static_cast<long long>(units.size());
            const bool read = obwalk::MarkerNumber(u, size, style, number) ||
                              obwalk::MarkerNumber(u, size, PNSE::kArabic, number);
            ASSERT_TRUE(read) << text;
            EXPECT_EQ(number, n) << text;
        }
}

} // namespace
