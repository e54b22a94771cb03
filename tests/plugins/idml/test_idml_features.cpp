// The feature matrix: one package per feature (make_packages.py), read as
// the pump reads it, and what the Elements must say about it.
#include "IdmlTestSupport.h"
#include "plugins/PluginTestSupport.h"

#include <ombra/convertor.h>
#include <ombra/messages.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace idml_test;

// "\u2029" and the like, as UTF-8.
const std::string kPara = "\xE2\x80\xA9", kLine = "\xE2\x80\xA8", kObject = "\xEF\xBF\xBC";

Element* Nth(const Reading& r, EL::ElementTypeEnum kind, std::size_t n) {
    std::vector<Element*> all = r.All(kind);
    return n < all.size() ? all[n] : nullptr;
}

Element* StoryWith(const Reading& r, const std::string& text) {
    for (Element* s : r.All(EL::kParentStory))
        if (Text(s) == text) return s;
    return nullptr;
}

using Pairs = std::vector<std::pair<long long, long long>>;

struct Feature {
    const char* package;
    std::vector<std::pair<int, bool>> prefs;
    std::vector<std::string> texts; ///< of the stories, in order
    std::function<void(const Reading&)> check;
    int flaggedRun = -1; ///< the character run that carries flag
    AN::AttrNameEnum flag = AN::kIsComment;
};

void DocumentParts(const Reading& r) {
    Element* meta = Nth(r, EL::kMetaData, 0);
    EXPECT_EQ(Str(meta, AN::kTitle), "Guide");
    EXPECT_EQ(Str(meta, AN::kAuthor), "Ann");
    EXPECT_EQ(Str(meta, AN::kApplication), "Maker 1");
    Element* general = Nth(r, EL::kGeneralPreferences, 0);
    EXPECT_EQ(Int(general, AN::kHorizontalMeasurement), UNITS::LINEAR::kMillimeters);
    Element* section = Nth(r, EL::kSection, 0);
    EXPECT_EQ(Str(section, AN::kName), "Intro");
    EXPECT_EQ(Id(section, AN::kFirstPage), Nth(r, EL::kRegularPage, 0)->GetId());
    EXPECT_EQ(Int(section, AN::kPageFormatBeginsOn), 5);
    std::vector<Element*> colors = r.All(EL::kColor);
    ASSERT_EQ(colors.size(), 6u); // None, Black, Red, Lab, Paper and the tint
    EXPECT_EQ(Flag(colors[0], AN::kIsNone), 1);
    EXPECT_EQ(Member(colors[2], AN::kType), CTE::kSpot);
    EXPECT_EQ(Ratio(Nth(r, EL::kRGB, 0), AN::kRed), 1.0);
    EXPECT_EQ(Flag(colors[4], AN::kIsPaper), 1);
    EXPECT_EQ(Member(colors[5], AN::kType), CTE::kTint);
    EXPECT_EQ(Id(colors[5], AN::kBasedOn), colors[2]->GetId());
    EXPECT_EQ(Ratio(colors[5], AN::kTint), 0.5);
    EXPECT_EQ(Member(Nth(r, EL::kGradient, 0), AN::kType), GTE::kRadial);
    EXPECT_EQ(Str(Nth(r, EL::kInk, 0), AN::kName), "Red");
    Element* kinsoku = Nth(r, EL::kKinsokuTable, 0);
    EXPECT_EQ(Str(kinsoku, AN::kBeginChars), "、。");
    // The paragraph style's Japanese settings, its tab stop and its chain.
    Element* basic = Nth(r, EL::kParagraphStyle, 1);
    EXPECT_EQ(Str(basic, AN::kName), "[Basic Paragraph]");
    EXPECT_EQ(Id(basic, AN::kNext), basic->GetId());
    EXPECT_EQ(Id(basic, AN::kBasedOn), Nth(r, EL::kParagraphStyle, 0)->GetId());
    EXPECT_EQ(Flag(Below(basic, EL::kParagraphAttributes)[0], AN::kAlignToBaselineGrid), 1);
    Element* chars = Below(basic, EL::kCharacterAttributes)[0];
    EXPECT_EQ(Flag(chars, AN::kBreakLineEnd), 1);
    EXPECT_EQ(Str(chars, AN::kMojiKumi), "Tight");
    EXPECT_EQ(Id(Below(basic, EL::kHyphenationAttributes)[0], AN::kCustomKinsokuShori),
              kinsoku->GetId());
    EXPECT_EQ(Member(Below(basic, EL::kJustificationAttributes)[0], AN::kKinsokushori),
              KSE::kPushInFirst);
    Element* tab = Below(basic, EL::kTab)[0];
    EXPECT_EQ(Points(tab, AN::kPosition), 72);
    EXPECT_EQ(Member(tab, AN::kTabAlignment), TAE::kAlignOnCharacter);
    EXPECT_EQ(Str(tab, AN::kLeader), ".");
    // Character styles in a group, based on each other: reported, kept.
    EXPECT_EQ(Str(Nth(r, EL::kCharacterStyle, 2), AN::kName), "G:Loop1");
    // Groups in groups, each name holding its path as InDesign writes them.
    EXPECT_EQ(Str(Nth(r, EL::kCharacterStyle, 4), AN::kName), "H:I:Deep");
    EXPECT_TRUE(r.Logged(OBERR::kBrokenReference));
}

void CheckText(const Reading& r) {
    EXPECT_EQ(Ranges(r.top.back(), EL::kParagraphRun),
              (Pairs{{0, 13}, {13, 19}, {19, 25}, {25, 29}}));
    std::vector<Element*> paras = r.All(EL::kParagraphRun);
    EXPECT_EQ(Flag(Below(paras[2], EL::kParagraphAttributes)[0], AN::kColumnBreakBefore), 1);
    EXPECT_EQ(Flag(Below(paras[3], EL::kParagraphAttributes)[0], AN::kPageBreakBefore), 1);
    DocumentParts(r);
}

void CheckVariables(const Reading& r) {
    std::vector<Element*> v = r.All(EL::kVariableRun);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(Int(v[0], AN::kPos), 5);
    EXPECT_EQ(Member(v[0], AN::kVariableType), AVE::kPageNumber);
    EXPECT_EQ(Str(v[0], AN::kStaticText), "5");
    EXPECT_EQ(Member(v[1], AN::kVariableType), AVE::kSectionName);
    EXPECT_EQ(Str(v[1], AN::kStaticText), "Intro");
    EXPECT_EQ(Member(v[2], AN::kVariableType), AVE::kPageCount);
    EXPECT_EQ(Str(v[2], AN::kStaticText), "9");
}

void CheckRuby(const Reading& r) {
    std::vector<Element*> ruby = r.All(EL::kRubiRun);
    EXPECT_EQ(Ranges(r.top.back(), EL::kRubiRun), (Pairs{{0, 2}, {3, 4}, {4, 5}, {5, 7}, {8, 10}}));
    std::vector<std::string> readings;
    for (Element* e : ruby)
        readings.push_back(Str(e, AN::kRubiText));
    EXPECT_EQ(readings,
              (std::vector<std::string>{"かんじ", "とう", "きょう", "おおさか", "こうろう"}));
    Element* first = Below(ruby[0], EL::kRubiAttributes)[0];
    EXPECT_EQ(Member(first, AN::kType), RTE::kGroup);
    EXPECT_EQ(Member(first, AN::kPosition), RKPE::kBelowLeft);
    EXPECT_EQ(Member(first, AN::kOverhang), ROE::kOneRubyCharacter);
    EXPECT_EQ(Member(ruby[0], AN::kAlignment), AE::kOneTwoOne);
    EXPECT_EQ(Points(ruby[0], AN::kFontSize), 6);
    EXPECT_EQ(Member(Below(ruby[1], EL::kRubiAttributes)[0], AN::kType), RTE::kPerCharacter);
}

void CheckKenten(const Reading& r) {
    std::vector<Element*> runs = r.All(EL::kKentenRun);
    ASSERT_EQ(runs.size(), 13u); // none for a paragraph end alone
    for (int k = 0; k < 11; ++k) {
        EXPECT_EQ(Int(runs[k], AN::kStartCharacterPosition), 2 * k);
        EXPECT_EQ(Member(runs[k], AN::kKentenKind), KKE::kSesameDot + k);
        EXPECT_EQ(Member(Below(runs[k], EL::kKentenAttributes)[0], AN::kPosition),
                  RKPE::kBelowLeft);
    }
    EXPECT_EQ(Member(runs[11], AN::kKentenKind), KKE::kSesameDot); // from its style
    auto* custom = dynamic_cast<ValueChar*>(OBGetAttributeValue(runs[10], AN::kKentenCharacter));
    unsigned short mark = 0;
    if (custom) custom->Get(mark);
    EXPECT_EQ(mark, 0x203B);
    // A mark outside the basic plane: the default one, and a warning.
    EXPECT_EQ(OBGetAttributeValue(runs[12], AN::kKentenCharacter), nullptr);
    EXPECT_TRUE(r.Logged(OBERR::kBadValue));
}

void CheckWarichu(const Reading& r) {
    EXPECT_EQ(Ranges(r.top.back(), EL::kWarichuRun), (Pairs{{2, 6}}));
    Element* attrs = Nth(r, EL::kWarichuAttributes, 0);
    EXPECT_EQ(Int(attrs, AN::kLines), 2);
    EXPECT_EQ(Ratio(attrs, AN::kSize), 0.5);
    EXPECT_EQ(Member(attrs, AN::kAlignment), AE::kCenter);
}

void CheckTcy(const Reading& r) {
    Element* vertical = StoryWith(r, "平成12年3月に123円AB");
    ASSERT_NE(vertical, nullptr);
    EXPECT_EQ(Member(vertical, AN::kTextDirection), TDE::kVertical);
    EXPECT_EQ(Ranges(vertical, EL::kTCYRun), (Pairs{{2, 4}, {5, 6}, {12, 14}}));
    Element* offsets = Below(vertical, EL::kTCYAttributes)[0];
    EXPECT_EQ(Points(offsets, AN::kXOffset), 1);
    EXPECT_EQ(Points(offsets, AN::kYOffset), 2);
    EXPECT_TRUE(Below(StoryWith(r, "平成12年"), EL::kTCYRun).empty()); // horizontal
    // A cell and a note are set as their story is, with its automatic tcy.
    Element* nesting = StoryWith(r, "表" + kObject + kObject);
    for (Element* child : Below(nesting, EL::kChildStory))
        EXPECT_EQ(Member(child, AN::kTextDirection), TDE::kVertical);
    EXPECT_EQ(Ranges(nesting, EL::kTCYRun), (Pairs{{1, 3}, {3, 5}}));
}

void CheckGrid(const Reading& r) {
    Element* frame = Nth(r, EL::kText, 0);
    EXPECT_EQ(Member(frame, AN::kTextDirection), TDE::kVertical);
    Element* grid = Below(frame, EL::kLayoutGridSettings)[0];
    EXPECT_EQ(Flag(grid, AN::kIsGridOn), 1);
    EXPECT_EQ(Points(grid, AN::kGridlineEvery), 18); // 10 pt type, 8 pt line aki
    EXPECT_EQ(Member(Nth(r, EL::kChildStory, 0), AN::kTextDirection), TDE::kVertical);
}

void CheckTable(const Reading& r) {
    EXPECT_EQ(Int(Nth(r, EL::kTableRun, 0), AN::kTextIndex), 6);
    Element* table = Nth(r, EL::kTable, 0);
    EXPECT_EQ(Int(table, AN::kNumberOfRows), 3);
    EXPECT_EQ(Int(table, AN::kHeaderRows), 1);
    EXPECT_EQ(Flag(Nth(r, EL::kTableRow, 0), AN::kIsHeaderRow), 1);
    std::vector<Element*> cells = r.All(EL::kTableCell);
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(Int(cells[0], AN::kEndColumnNumber), 1);
    EXPECT_EQ(Int(cells[1], AN::kEndRowNumber), 2);
    EXPECT_EQ(Int(cells[3], AN::kRowNumber), 2);
    EXPECT_EQ(Int(cells[3], AN::kColumnNumber), 1);
    EXPECT_EQ(Text(Below(cells[1], EL::kChildStory)[0]), "Tall");
    EXPECT_EQ(Points(cells[2], AN::kColumnWidth), 50);
}

void CheckFootnote(const Reading& r) {
    Element* note = Nth(r, EL::kFootnote, 0);
    EXPECT_EQ(Int(note, AN::kPosition), 4);
    EXPECT_EQ(Text(Below(note, EL::kChildStory)[0]), kObject + " Note");
    EXPECT_EQ(Str(Below(note, EL::kVariableRun)[0], AN::kStaticText), "1");
}

void CheckHyperlinks(const Reading& r) {
    std::vector<Element*> links = r.All(EL::kHyperlink);
    ASSERT_EQ(links.size(), 3u); // the fourth points nowhere
    EXPECT_TRUE(r.Logged(OBERR::kBrokenReference));
    Element* story = Nth(r, EL::kParentStory, 0);
    Pairs ranges;
    for (Element* s : r.All(EL::kHyperLinkTextSource)) {
        ranges.emplace_back(Int(s, AN::kStartPosition), Int(s, AN::kEndPosition));
        EXPECT_EQ(Id(s, AN::kStory), story->GetId());
    }
    EXPECT_EQ(ranges, (Pairs{{4, 8}, {13, 17}, {17, 20}}));
    EXPECT_EQ(Str(Nth(r, EL::kHyperLinkURLAnchor, 0), AN::kURL), "https://example.org/");
    EXPECT_EQ(Id(Nth(r, EL::kHyperLinkPageAnchor, 0), AN::kPage),
              Nth(r, EL::kRegularPage, 0)->GetId());
    EXPECT_EQ(Int(Nth(r, EL::kHyperLinkTextAnchor, 0), AN::kPosition), 17);
    EXPECT_EQ(Id(links[0], AN::kSource), Nth(r, EL::kHyperLinkTextSource, 0)->GetId());
}

void CheckChanges(const Reading& r) {
    Element* inserted = Below(Nth(r, EL::kCharacterRun, 1), EL::kCharacterAttributes)[0];
    EXPECT_EQ(Flag(inserted, AN::kIsInserted), 1);
    EXPECT_EQ(Str(inserted, AN::kTrackChangeAuthor), "Ann");
    EXPECT_NE(OBGetAttributeValue(inserted, AN::kTrackChangeDate), nullptr);
}

void CheckItems(const Reading& r) {
    std::vector<Element*> frames = r.All(EL::kText);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(Id(frames[0], AN::kNextTextObject), frames[1]->GetId());
    EXPECT_EQ(Id(frames[1], AN::kPreviousTextObject), frames[0]->GetId());
    EXPECT_NEAR(Degrees(frames[2], AN::kRotation), 30, 1e-9);
    EXPECT_NE(OBGetAttributeValue(frames[2], AN::kTransformationMatrix), nullptr);
    Element* group = Nth(r, EL::kGroup, 0);
    ASSERT_EQ(group->GetChildCount(), 2u);
    auto* start =
        dynamic_cast<ValuePoint*>(OBGetAttributeValue(group->GetNthChild(1), AN::kptStart));
    OBReal x = 0, y = 0;
    if (start) start->Get(UNITS::LINEAR::kPoints, x, y);
    EXPECT_EQ(x, 310); // moved with its group
    EXPECT_EQ(y, 500);
    EXPECT_EQ(Id(Nth(r, EL::kEllipse, 0), AN::kFillId), r.All(EL::kColor)[2]->GetId());
    Element* picture = Nth(r, EL::kPicture, 0);
    EXPECT_EQ(Member(picture, AN::kPictureType), PTE::kJPEG);
    EXPECT_EQ(Ratio(picture, AN::kHorizontalScale), 0.5);
    EXPECT_EQ(Flag(Below(picture, EL::kLinkInformation)[0], AN::kIsLinkActive), 1);
    auto* vertices = dynamic_cast<ValueVertexList*>(
        OBGetAttributeValue(Nth(r, EL::kIrregularPolygon, 0), AN::kVertexList));
    ASSERT_NE(vertices, nullptr);
    EXPECT_EQ(vertices->NumVertices(), 3);
    Element* path = Nth(r, EL::kTextPath, 0);
    EXPECT_EQ(Id(path, AN::kStory), StoryWith(r, "Round")->GetId());
    EXPECT_EQ(Flag(path, AN::kTextOnPathOtherSide), 1);
    EXPECT_EQ(Flag(StoryWith(r, "Round"), AN::kIsTextOnPath), 1);
}

void CheckPlacement(const Reading& r) {
    EXPECT_EQ(Id(Nth(r, EL::kRegularPage, 0), AN::kBasedOn), Nth(r, EL::kMasterPage, 0)->GetId());
    EXPECT_EQ(Str(Nth(r, EL::kVariableRun, 0), AN::kStaticText), ""); // on a master page
    EXPECT_EQ(Nth(r, EL::kPasteboardDrawingObjectList, 0)->GetChildCount(), 1u);
}

void CheckAnchored(const Reading& r) {
    auto* ids = dynamic_cast<ValueIdRefList*>(
        OBGetAttributeValue(Nth(r, EL::kChildStory, 0), AN::kInlineObjectList));
    ASSERT_NE(ids, nullptr);
    EXPECT_EQ(ids->Count(), 2);
    Element* page = Below(Nth(r, EL::kRegularPage, 0), EL::kDrawingObjectList)[0];
    EXPECT_EQ(page->GetChildCount(), 3u); // the host's frame, the rectangle, the frame
}

void CheckCjk(const Reading& r) {
    std::vector<int> scripts, bold;
    for (Element* run : r.All(EL::kCharacterRun)) {
        Element* attrs = Below(run, EL::kCharacterAttributes)[0];
        scripts.push_back(Member(attrs, AN::kWritingScript));
        bold.push_back(Flag(attrs, AN::kBold));
    }
    std::vector<int> expected = {WSE::kKoreanScript, WSE::kRomanScript, WSE::kTradChineseScript};
    expected.resize(11, WSE::kJapaneseScript);
    EXPECT_EQ(scripts, expected);
    // FontStyle W6, W3, B, Pr6N R, DB, EB-KL, M, Bold Italic: bold from W6 and DB on.
    EXPECT_EQ(bold, (std::vector<int>{-1, -1, -1, 1, 0, 1, 0, 1, 1, 0, 1}));
}

void CheckWrap(const Reading& r) {
    // Each rectangle's Option and TextFlow, kUndefined without TextWrapSettings.
    const std::vector<int> kOptions = {WOE::kBoundingBox, WOE::kObjectShape, WOE::kJumpObject,
                                       WOE::kNextColumn,  WOE::kBoundingBox, WOE::kBoundingBox,
                                       WOE::kObjectShape, WOE::kUndefined,   WOE::kUndefined,
                                       WOE::kUndefined,   WOE::kBoundingBox, WOE::kBoundingBox};
    const std::vector<int> kFlows = {TFE::kBothSides,   TFE::kLeftSide,  TFE::kRightSide,
                                     TFE::kLargestArea, TFE::kLeftSide,  TFE::kRightSide,
                                     TFE::kBothSides,   TFE::kUndefined, TFE::kUndefined,
                                     TFE::kUndefined,   TFE::kRightSide, TFE::kLeftSide};
    std::vector<int> options, flows;
    std::vector<Element*> wraps;
    for (Element* shape : r.All(EL::kRectangle)) {
        std::vector<Element*> w = Below(shape, EL::kTextWrapSettings);
        options.push_back(w.empty() ? WOE::kUndefined : Member(w[0], AN::kOption));
        flows.push_back(w.empty() ? TFE::kUndefined : Member(w[0], AN::kTextFlow));
        wraps.insert(wraps.end(), w.begin(), w.end());
    }
    ASSERT_EQ(options, kOptions);
    EXPECT_EQ(flows, kFlows);
    const AN::AttrNameEnum kSides[] = {AN::kTopStandoff, AN::kLeftStandoff, AN::kBottomStandoff,
                                       AN::kRightStandoff};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Points(wraps[0], kSides[i]), i + 1);
        EXPECT_EQ(Points(wraps[6], kSides[i]), 0); // damaged
    }
    EXPECT_EQ(Flag(wraps[0], AN::kWrapText), 1);
    EXPECT_EQ(Flag(wraps[0], AN::kInvert), 1);
    EXPECT_EQ(Flag(wraps[1], AN::kOutsideEdgesOnly), 0); // it includes inside edges
    EXPECT_EQ(Flag(wraps[6], AN::kOutsideEdgesOnly), 1);
    EXPECT_TRUE(r.Logged(OBERR::kBadValue));
}

const Feature kFeatures[] = {
    {"text", {}, {"One" + kLine + "line\ttab" + kPara + "Two\tx\fThree\fFour"}, CheckText},
    {"variables", {}, {"Page " + kObject + " of " + kObject + " " + kObject}, CheckVariables},
    {"ruby", {}, {}, CheckRuby},
    {"kenten", {}, {}, CheckKenten},
    {"warichu", {}, {}, CheckWarichu},
    {"tcy", {}, {}, CheckTcy},
    {"grid", {}, {}, CheckGrid},
    {"table", {}, {"Before" + kObject + "after"}, CheckTable},
    {"footnote", {}, {"Body" + kObject + " end"}, CheckFootnote},
    {"hyperlinks", {}, {}, CheckHyperlinks},
    {"hyperlinks-many",
     {},
     {},
     [](const Reading& r) {
         std::vector<Element*> urls = r.All(EL::kHyperLinkURLAnchor);
         ASSERT_EQ(urls.size(), 3000u);
         for (std::size_t i : {0, 1234, 2999}) {
             EXPECT_EQ(Str(urls[i], AN::kURL), "https://example.org/" + std::to_string(i));
             EXPECT_EQ(Int(Nth(r, EL::kHyperLinkTextSource, i), AN::kStartPosition), i);
         }
     }},
    {"notes", {}, {"AB"}, nullptr},
    {"notes", {{4, true}}, {"Anote" + kLine + "twoB"}, nullptr, 1, AN::kIsComment},
    {"conditions", {}, {"Shown both"}, nullptr},
    {"conditions", {{5, true}}, {"Shown hidden both"}, nullptr, 1, AN::kIsHidden},
    {"changes", {}, {"Kept new"}, CheckChanges},
    {"changes", {{6, true}}, {"Kept newold"}, nullptr, 2, AN::kIsDeleted},
    {"items", {}, {"Turned", "Chained", "Round"}, CheckItems},
    {"placement", {}, {"Body", "Hidden", "Folio " + kObject, "Aside"}, CheckPlacement},
    {"placement",
     {{0, false}, {2, false}, {3, false}},
     {"Body"},
     [](const Reading& r) { EXPECT_EQ(r.All(EL::kLayer).size(), 1u); }},
    {"anchored", {}, {"Before" + kObject + kObject + "after", "Inside"}, CheckAnchored},
    {"cjk", {}, {}, CheckCjk},
    {"wrap", {}, {}, CheckWrap},
    {"mimetype-second", {}, {"Second"}, nullptr},
    {"no-mimetype", {}, {"None"}, nullptr},
};

TEST(IdmlFeatures, EachPackageYieldsWhatItHolds) {
    for (const Feature& f : kFeatures) {
        SCOPED_TRACE(f.package);
        Reading r(Package(std::string("features/") + f.package), f.prefs);
        EXPECT_EQ(r.recognised, 1);
        EXPECT_EQ(CheckStories(r.top), "");
        if (!f.texts.empty()) {
            EXPECT_EQ(r.Texts(), f.texts);
        }
        if (f.check) f.check(r);
        if (f.flaggedRun >= 0) {
            Element* run = Nth(r, EL::kCharacterRun, static_cast<std::size_t>(f.flaggedRun));
            EXPECT_EQ(Flag(Below(run, EL::kCharacterAttributes)[0], f.flag), 1);
        }
    }
}

// Bullets and numbers come from attributes, not the text: the reader makes
// each marker, in reading order, and the text writer puts it first.
TEST(IdmlFeatures, ListParagraphsShowTheirMarkers) {
    OBConvertorManager manager(OMBRA_READER_DIR, OMBRA_WRITER_DIR);
    ErrorCode error = kNoError;
    OBConvertor* convertor = manager.GetConvertor(1, error);
    ASSERT_NE(convertor, nullptr);
    Preferences utf8{0, "", 0, "", 0, 0, -1, 0};
    short ok = 0;
    EXPECT_EQ(plugin_test::ConvertBytes(convertor, Package("features/lists"), &utf8, ok),
              "\xE2\x96\xA0\tApple\r\n\xE2\x96\xA0\tPear\r\nPlain\r\n1.\tOne\r\n1.a)\tSub\r\n"
              "1.b)\tSub\r\n2.\tTwo\r\n2.a)\tSub\r\nIV.\tFour\r\n^V\xE2\x80\x94"
              "Five\r\n1.\tAcross\r\n\r\n1.\tAgain\r\n\u0662.\tIndic\r\n2.\tAcross\r\n\r\n"
              "\u5341\u4E5D\u3001\u9805\u76EE\r\n(\u30A2)\u7D30\u76EE\r\n(\u30A4)\u7D30\u76EE\r\n"
              "\u4E8C\u5341\u3001\u9805\u76EE\r\n\u2460\u7D30\u76EE\r\n"
              "\r\n1.\tFirst\r\n2.\tRow\r\n3.\tRow 4.\tInner\r\n5.\tLast\r\n");
    EXPECT_EQ(ok, 1);
    // Each list paragraph says its kind of list, for writers that write lists.
    Reading r(Package("features/lists"));
    std::vector<int> kinds;
    for (Element* run : r.All(EL::kParagraphRun)) {
        Element* attributes = run->GetChild(EL::kParagraphAttributes);
        kinds.push_back(attributes ? Member(attributes, AN::kNumberingType) : -1);
    }
    const int bullet = PNSE::kBullet, arabic = PNSE::kArabic, alpha = PNSE::kLowerAlpha,
              roman = PNSE::kUpperRoman, kanji = PNSE::kKanji, kana = PNSE::kKatakana,
              circled = PNSE::kCircledArabic, indic = PNSE::kArabicIndic;
    EXPECT_EQ(kinds, (std::vector<int>{bullet, bullet, -1,     arabic, alpha,   alpha,  arabic,
                                       alpha,  roman,  roman,  arabic, arabic,  indic,  arabic,
                                       kanji,  kana,   kana,   kanji,  circled, arabic, -1,
                                       arabic, arabic, arabic, arabic}));
}

} // namespace
