// What the reader yields for a small hand-made document that has one of
// everything (tests/data/scribus/reader-features.sla): the order and nesting
// of the Elements, their values and units, ids and references, story text
// and runs, and what each preference leaves out.
#include "ScribusTestSupport.h"

#include <ombra/storedelements.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>

namespace {

using namespace scribus_test;

Element* Named(const std::vector<Element*>& elements, const std::string& name) {
    for (Element* e : elements)
        if (Str(e, AN::kName) == name) return e;
    return nullptr;
}

// The stories of the StoryList with their texts, in order.
std::vector<std::pair<Element*, std::u16string>> Stories(const Conversion& c) {
    std::vector<std::pair<Element*, std::u16string>> out;
    for (Element* s : Children(c.TopOf(EL::kStoryList), EL::kParentStory))
        out.emplace_back(s, StoryText(s->GetChild(EL::kChildStory)));
    return out;
}

// The page item of that kind below root whose bounding box starts there.
Element* ItemByBox(Element* root, EL::ElementTypeEnum kind, double left, double top) {
    for (Element* e : Descendants(root, kind)) {
        auto* box = dynamic_cast<ValueRectangle*>(OBGetAttributeValue(e, AN::kBoundingBox));
        OBRect r;
        if (box) box->Get(UNITS::LINEAR::kPoints, r);
        if (box && std::fabs(r.Left() - left) < 1e-6 && std::fabs(r.Top() - top) < 1e-6) return e;
    }
    return nullptr;
}

class ScribusReaderMapping : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(bytes_.empty()); }
    std::string bytes_ = Fixture("reader-features.sla");
};

TEST_F(ScribusReaderMapping, TopLevelElementsComeInTheConventionalOrderWithUniqueIdsAndReferences) {
    Conversion c(bytes_);
    std::vector<EL::ElementTypeEnum> kinds;
    for (Element* e : c.Top())
        kinds.push_back(e->GetElementType());
    std::vector<EL::ElementTypeEnum> expected = {
        EL::kPublication,        EL::kInkList,          EL::kColorList,
        EL::kFontList,           EL::kLayerList,        EL::kCharacterStyleList,
        EL::kParagraphStyleList, EL::kMasterSpreadList, EL::kRegularSpreadList,
        EL::kStoryList,          EL::kHyperlinkList,    EL::kTOCStyleList};
    EXPECT_EQ(kinds, expected);
    EXPECT_EQ(c.Error(), 0);
    EXPECT_EQ(CheckValueTypes(c.Top()), "");

    std::set<unsigned> ids;
    std::vector<Element*> all;
    std::function<void(Element*)> walk = [&](Element* e) {
        EXPECT_TRUE(ids.insert(e->GetId()).second) << "id " << e->GetId() << " twice";
        all.push_back(e);
        for (unsigned long long i = 0; i < e->GetChildCount(); ++i)
            walk(e->GetNthChild(i));
    };
    for (Element* top : c.Top())
        walk(top);
    int references = 0;
    for (Element* e : all) {
        OBAttributeStore* store = OBGetAttributeStore(e);
        for (int a = 0; store && a < AN::kUndefined; ++a)
            if (auto* id =
                    dynamic_cast<ValueOBID*>(store->Find(static_cast<AN::AttrNameEnum>(a)))) {
                unsigned target = 0;
                id->Get(target);
                ++references;
                EXPECT_TRUE(ids.count(target))
                    << OBElementTypeName(e->GetElementType()) << "."
                    << OBAttrNameString(static_cast<AN::AttrNameEnum>(a));
            }
    }
    EXPECT_GT(references, 40);
}

TEST_F(ScribusReaderMapping, PublicationColoursInksAndLayers) {
    Conversion c(bytes_);
    Element* pub = c.TopOf(EL::kPublication);
    ASSERT_NE(pub, nullptr);
    EXPECT_DOUBLE_EQ(Points(pub, AN::kPageWidth), 400);
    EXPECT_DOUBLE_EQ(Points(pub, AN::kPageHeight), 600);
    EXPECT_DOUBLE_EQ(Points(pub, AN::kLeftMargin), 30);
    EXPECT_DOUBLE_EQ(Points(pub, AN::kBottomMargin), 50);
    EXPECT_EQ(Flag(pub, AN::kIsFacingPage), 1);
    EXPECT_EQ(Flag(pub, AN::kIsFirstPageRight), 1);
    EXPECT_EQ(Int(pub, AN::kStartPageNum), 7);
    EXPECT_EQ(Int(pub, AN::kNumberOfSpreads), 2);
    EXPECT_EQ(Int(pub, AN::kNumberOfPagesPerSpread), 2);
    Element* meta = pub->GetChild(EL::kMetaData);
    EXPECT_EQ(Str(meta, AN::kTitle), "Features");
    EXPECT_EQ(Str(meta, AN::kAuthor), "Ada");
    EXPECT_EQ(Str(meta, AN::kSubject), "Tests");
    EXPECT_NE(OBGetAttributeValue(meta, AN::kCreated), nullptr);

    std::vector<Element*> colors = Children(c.TopOf(EL::kColorList), EL::kColor);
    ASSERT_EQ(colors.size(), 6u);
    EXPECT_EQ(Str(colors[0], AN::kName), "None");
    EXPECT_EQ(Flag(colors[0], AN::kIsNone), 1);
    Element* black = Named(colors, "Black");
    EXPECT_EQ(EnumOf(black, AN::kModel), CME::kCMYK);
    EXPECT_EQ(EnumOf(black, AN::kType), CTE::kProcess);
    EXPECT_DOUBLE_EQ(Ratio(black->GetChild(EL::kCMYK), AN::kBlack), 1.0);
    Element* red = Named(colors, "Web Red");
    EXPECT_EQ(EnumOf(red, AN::kModel), CME::kRGB);
    EXPECT_DOUBLE_EQ(Ratio(red->GetChild(EL::kRGB), AN::kRed), 1.0);
    EXPECT_DOUBLE_EQ(Ratio(red->GetChild(EL::kRGB), AN::kGreen), 0.0);
    Element* lab = Named(colors, "Lab Grey");
    EXPECT_EQ(EnumOf(lab, AN::kModel), CME::kLAB);
    auto* a = dynamic_cast<ValueOBReal*>(OBGetAttributeValue(lab->GetChild(EL::kLAB), AN::kA));
    ASSERT_NE(a, nullptr);
    OBReal av;
    a->Get(av);
    EXPECT_DOUBLE_EQ(av, -10.5);
    EXPECT_EQ(EnumOf(Named(colors, "Gold"), AN::kType), CTE::kSpot);
    EXPECT_EQ(EnumOf(Named(colors, "Registration"), AN::kType), CTE::kRegistration);
    std::vector<Element*> inks = Children(c.TopOf(EL::kInkList), EL::kInk);
    ASSERT_EQ(inks.size(), 1u);
    EXPECT_EQ(Str(inks[0], AN::kName), "Gold");

    // Layers bottom first, by their level.
    std::vector<Element*> layers = Children(c.TopOf(EL::kLayerList), EL::kLayer);
    ASSERT_EQ(layers.size(), 3u);
    EXPECT_EQ(Str(layers[1], AN::kName), "Hidden");
    EXPECT_EQ(Str(layers[2], AN::kName), "Notes");
    EXPECT_EQ(Flag(layers[1], AN::kVisible), 0);
    EXPECT_EQ(Flag(layers[1], AN::kLocked), 1);
    EXPECT_EQ(Flag(layers[2], AN::kIsNonPrinting), 1);
    EXPECT_EQ(Flag(layers[0], AN::kIsNonPrinting), 0);
}

TEST_F(ScribusReaderMapping, StylesWithInheritanceAndEveryAttribute) {
    Conversion c(bytes_);
    std::vector<Element*> paragraphs =
        Children(c.TopOf(EL::kParagraphStyleList), EL::kParagraphStyle);
    ASSERT_EQ(paragraphs.size(), 3u);
    EXPECT_EQ(Str(paragraphs[0], AN::kName), "Default Paragraph Style");
    Element* heading = Named(paragraphs, "Heading");
    EXPECT_EQ(Id(heading, AN::kBasedOn), paragraphs[0]->GetId());
    Element* pa = heading->GetChild(EL::kParagraphAttributes);
    EXPECT_EQ(EnumOf(pa, AN::kAlignment), AE::kCenter);
    EXPECT_DOUBLE_EQ(Points(pa, AN::kSpaceBefore), 6);
    Element* ca = heading->GetChild(EL::kCharacterAttributes);
    EXPECT_DOUBLE_EQ(Points(ca, AN::kFontSize), 18);
    // From its character style, Emphasis.
    EXPECT_EQ(Str(ca, AN::kFont), "Noto Serif Italic");
    EXPECT_EQ(Flag(ca, AN::kUnderline), 1);
    EXPECT_EQ(Flag(ca, AN::kItalics), 1);

    Element* defaults = paragraphs[0]->GetChild(EL::kParagraphAttributes);
    EXPECT_EQ(EnumOf(defaults, AN::kLeadingTypeEnum), LTE::kFixed);
    EXPECT_DOUBLE_EQ(Points(defaults, AN::kLeading), 14);
    Element* body = Named(paragraphs, "Body");
    Element* bodyAttributes = body->GetChild(EL::kParagraphAttributes);
    EXPECT_EQ(EnumOf(bodyAttributes, AN::kAlignment), AE::kJustify);
    EXPECT_DOUBLE_EQ(Points(bodyAttributes, AN::kLeftIndent), 5);
    EXPECT_DOUBLE_EQ(Points(bodyAttributes, AN::kFirstIndent), 12);
    std::vector<Element*> tabs = Children(body->GetChild(EL::kTabList), EL::kTab);
    ASSERT_EQ(tabs.size(), 2u);
    EXPECT_DOUBLE_EQ(Points(tabs[0], AN::kPosition), 100);
    EXPECT_EQ(EnumOf(tabs[0], AN::kTabAlignment), TAE::kRight);
    EXPECT_EQ(Str(tabs[0], AN::kLeader), ".");
    EXPECT_EQ(EnumOf(tabs[1], AN::kTabAlignment), TAE::kCenter);

    std::vector<Element*> characters =
        Children(c.TopOf(EL::kCharacterStyleList), EL::kCharacterStyle);
    ASSERT_EQ(characters.size(), 2u);
    EXPECT_EQ(Id(characters[1], AN::kBasedOn), characters[0]->GetId());
    Element* e = characters[1]->GetChild(EL::kCharacterAttributes);
    EXPECT_EQ(Id(e, AN::kColorRef),
              Named(Children(c.TopOf(EL::kColorList), EL::kColor), "Web Red")->GetId());
    EXPECT_DOUBLE_EQ(Ratio(e, AN::kShade), 0.8);
    EXPECT_DOUBLE_EQ(Ratio(e, AN::kRangeKerning), 0.05);
    EXPECT_DOUBLE_EQ(Ratio(e, AN::kHorizontalScale), 0.9);
    EXPECT_DOUBLE_EQ(Points(e, AN::kBaselineShift), 1.0); // 10 % of the 10 points it inherits
    EXPECT_EQ(EnumOf(e, AN::kUnderlineType), UTE::kSingle);
    EXPECT_EQ(EnumOf(e, AN::kStrikeThru), STE::kNone);
    EXPECT_EQ(EnumOf(e, AN::kCharacterCase), CCE::kNormal);

    std::vector<Element*> fonts = Children(c.TopOf(EL::kFontList), EL::kFont);
    ASSERT_EQ(fonts.size(), 2u);
    EXPECT_EQ(Str(fonts[1], AN::kName), "Noto Serif Italic");
}

TEST_F(ScribusReaderMapping, SpreadsPagesAndMasterPages) {
    Conversion c(bytes_);
    std::vector<Element*> masters = Children(c.TopOf(EL::kMasterSpreadList), EL::kMasterSpread);
    ASSERT_EQ(masters.size(), 2u);
    Element* left = masters[0]->GetChild(EL::kMasterPage);
    Element* right = masters[1]->GetChild(EL::kMasterPage);
    ASSERT_TRUE(left && right);
    EXPECT_EQ(Str(right, AN::kName), "Right");
    EXPECT_EQ(EnumOf(left, AN::kPageSide), PSE::kLeft);
    EXPECT_EQ(EnumOf(right, AN::kPageSide), PSE::kRight);
    EXPECT_DOUBLE_EQ(Points(right, AN::kPageWidth), 400);
    EXPECT_EQ(Descendants(left->GetChild(EL::kDrawingObjectList), EL::kText).size(), 0u);
    EXPECT_EQ(Descendants(right->GetChild(EL::kDrawingObjectList), EL::kText).size(), 1u);

    std::vector<Element*> spreads = Children(c.TopOf(EL::kRegularSpreadList), EL::kRegularSpread);
    ASSERT_EQ(spreads.size(), 2u);
    std::vector<Element*> first = Children(spreads[0], EL::kRegularPage);
    std::vector<Element*> second = Children(spreads[1], EL::kRegularPage);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(EnumOf(first[0], AN::kPageSide), PSE::kRight);
    EXPECT_EQ(EnumOf(second[0], AN::kPageSide), PSE::kLeft);
    EXPECT_EQ(Id(first[0], AN::kBasedOn), right->GetId());
    EXPECT_EQ(Id(second[0], AN::kBasedOn), left->GetId());
    EXPECT_DOUBLE_EQ(Points(first[0], AN::kTopMargin), 40);
    // The pasteboard item lies on the first spread.
    EXPECT_EQ(Descendants(spreads[0]->GetChild(EL::kPasteboardDrawingObjectList), EL::kText).size(),
              1u);
}

TEST_F(ScribusReaderMapping, PageItemsWithGeometryAndReferences) {
    Conversion c(bytes_);
    std::vector<Element*> spreads = Children(c.TopOf(EL::kRegularSpreadList), EL::kRegularSpread);
    ASSERT_EQ(spreads.size(), 2u);
    Element* page0 = Children(spreads[0], EL::kRegularPage)[0];
    Element* page1 = Children(spreads[1], EL::kRegularPage)[0];
    Element* page2 = Children(spreads[1], EL::kRegularPage)[1];
    std::vector<Element*> layers = Children(c.TopOf(EL::kLayerList), EL::kLayer);
    std::vector<Element*> colors = Children(c.TopOf(EL::kColorList), EL::kColor);

    // Page items in stacking order.
    std::vector<EL::ElementTypeEnum> kinds;
    Element* objects = page0->GetChild(EL::kDrawingObjectList);
    for (unsigned long long i = 0; i < objects->GetChildCount(); ++i)
        kinds.push_back(objects->GetNthChild(i)->GetElementType());
    EXPECT_EQ(kinds, (std::vector<EL::ElementTypeEnum>{EL::kText, EL::kPicture, EL::kRectangle,
                                                       EL::kEllipse, EL::kText}));

    Element* intro = ItemByBox(page0, EL::kText, 40, 80);
    Element* more = ItemByBox(page1, EL::kText, 40, 100);
    ASSERT_TRUE(intro && more);
    EXPECT_EQ(Int(intro, AN::kNumberOfColumns), 2);
    EXPECT_DOUBLE_EQ(Points(intro, AN::kSpaceBetweenColumns), 12);
    auto* inset = dynamic_cast<ValueRectangle*>(OBGetAttributeValue(intro, AN::kInsetBox));
    ASSERT_NE(inset, nullptr);
    OBRect r;
    inset->Get(UNITS::LINEAR::kPoints, r);
    EXPECT_EQ(r, OBRect(1, 2, 3, 4));
    EXPECT_EQ(Id(intro, AN::kNextTextObject), more->GetId());
    EXPECT_EQ(Id(more, AN::kPreviousTextObject), intro->GetId());
    EXPECT_EQ(Id(intro, AN::kStory), Id(more, AN::kStory));
    EXPECT_EQ(Id(intro, AN::kStory),
              Children(c.TopOf(EL::kStoryList), EL::kParentStory)[0]->GetId());
    EXPECT_EQ(Id(intro, AN::kLayer), layers[0]->GetId());
    EXPECT_EQ(Id(intro, AN::kRegularPageIdRef), page0->GetId());
    auto* angle = dynamic_cast<ValueAngle*>(OBGetAttributeValue(more, AN::kRotation));
    ASSERT_NE(angle, nullptr);
    OBReal degrees;
    angle->Get(UNITS::ANGULAR::kDegrees, degrees);
    EXPECT_DOUBLE_EQ(degrees, 270); // 90 clockwise

    Element* photo = ItemByBox(page0, EL::kPicture, 40, 330);
    ASSERT_NE(photo, nullptr);
    auto* file = dynamic_cast<ValueFileSpec*>(
        OBGetAttributeValue(photo->GetChild(EL::kLinkInformation), AN::kLinkedFile));
    ASSERT_NE(file, nullptr);
    COBString path;
    file->GetAsString(path);
    EXPECT_STREQ(path.GrabCString(), "images/photo.jpg");
    EXPECT_EQ(EnumOf(photo, AN::kPictureType), PTE::kJPEG);
    EXPECT_DOUBLE_EQ(Ratio(photo, AN::kHorizontalScale), 0.5);
    EXPECT_DOUBLE_EQ(Points(photo, AN::kOffsetDown), 6);

    Element* box = ItemByBox(page0, EL::kRectangle, 40, 430);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Id(box, AN::kFillId), Named(colors, "Gold")->GetId());
    EXPECT_EQ(Id(box, AN::kStrokeId), Named(colors, "Black")->GetId());
    EXPECT_EQ(Id(box, AN::kLayer), layers[2]->GetId());

    // Text on a path: the path's geometry, its story on the TextPath child.
    std::vector<Element*> paths = Descendants(page1, EL::kBezierTextPath);
    ASSERT_EQ(paths.size(), 1u);
    auto* points =
        dynamic_cast<ValuePathPointList*>(OBGetAttributeValue(paths[0], AN::kPathPointList));
    ASSERT_NE(points, nullptr);
    EXPECT_EQ(points->NumPathPoints(), 2);
    Element* textPath = paths[0]->GetChild(EL::kTextPath);
    EXPECT_NE(Id(textPath, AN::kStory), kNoId);
    EXPECT_EQ(Flag(textPath, AN::kTextOnPathOtherSide), 1);

    // A group holds its members.
    std::vector<Element*> groups = Descendants(page1, EL::kGroup);
    ASSERT_EQ(groups.size(), 1u);
    ASSERT_EQ(groups[0]->GetChildCount(), 2u);
    Element* line = groups[0]->GetNthChild(0);
    Element* triangle = groups[0]->GetNthChild(1);
    ASSERT_EQ(line->GetElementType(), EL::kLine);
    auto* end = dynamic_cast<ValuePoint*>(OBGetAttributeValue(line, AN::kptEnd));
    ASSERT_TRUE(end && OBGetAttributeValue(line, AN::kptStart));
    OBPoint p;
    end->Get(UNITS::LINEAR::kPoints, p);
    EXPECT_NEAR(p.X(), 40, 1e-9);
    EXPECT_NEAR(p.Y(), 450, 1e-9);
    ASSERT_EQ(triangle->GetElementType(), EL::kIrregularPolygon);
    auto* vertices = dynamic_cast<ValueVertexList*>(OBGetAttributeValue(triangle, AN::kVertexList));
    ASSERT_NE(vertices, nullptr);
    EXPECT_EQ(vertices->NumVertices(), 3);
    EXPECT_EQ(Flag(triangle, AN::kIsClosedPolygon), 1);

    // The page-level table: a text frame whose story holds only the table.
    Element* prices = ItemByBox(page2, EL::kText, 40, 100);
    ASSERT_NE(prices, nullptr);
    Element* story = FindId(c.Top(), Id(prices, AN::kStory));
    ASSERT_NE(story, nullptr);
    EXPECT_EQ(StoryText(story->GetChild(EL::kChildStory)), u"\uFFFC");
}

TEST_F(ScribusReaderMapping, StoriesInReadingOrderWithRunsScriptsAndTables) {
    Conversion c(bytes_);
    auto stories = Stories(c);
    std::vector<std::string> texts;
    for (auto& s : stories)
        texts.push_back(Shown(s.second));
    ASSERT_EQ(texts.size(), 8u);
    EXPECT_EQ(texts[0].substr(0, 10), "Openings\xC2\xB6");
    EXPECT_EQ(texts, (std::vector<std::string>{texts[0], "Hidden words", "Along the path", "#",
                                               "Above the closing", "Closing words", "Page #",
                                               "Pasteboard note"}));
    for (auto& s : stories)
        EXPECT_EQ(CheckRuns(s.first->GetChild(EL::kChildStory)), "") << Utf8(s.second);

    Element* intro = stories[0].first->GetChild(EL::kChildStory);
    const std::u16string& text = stories[0].second;
    std::vector<Element*> paragraphs =
        Children(intro->GetChild(EL::kParagraphRunList), EL::kParagraphRun);
    ASSERT_EQ(paragraphs.size(), 3u);
    std::vector<Element*> styles = Children(c.TopOf(EL::kParagraphStyleList), EL::kParagraphStyle);
    EXPECT_EQ(Id(paragraphs[0], AN::kParagraphStyleID), Named(styles, "Heading")->GetId());
    // No style of its own: the frame's default, Body.
    EXPECT_EQ(Id(paragraphs[1], AN::kParagraphStyleID), Named(styles, "Body")->GetId());

    std::vector<Element*> runs =
        Children(intro->GetChild(EL::kCharacterRunList), EL::kCharacterRun);
    auto runAt = [&](const char* word) -> Element* {
        long long at = static_cast<long long>(text.find(FromUtf8(word)));
        for (Element* r : runs)
            if (at >= Int(r, AN::kStartCharacterPosition) && at < Int(r, AN::kEndCharacterPosition))
                return r;
        ADD_FAILURE() << "no run at " << word;
        return nullptr;
    };
    Element* stressed = runAt("stressed");
    ASSERT_NE(stressed, nullptr);
    EXPECT_EQ(Str(FindId(c.Top(), Id(stressed, AN::kCharacterStyleID)), AN::kName), "Emphasis");
    EXPECT_EQ(Id(stressed, AN::kParagraphStyleID), Named(styles, "Body")->GetId());
    Element* big = runAt("big");
    ASSERT_NE(big, nullptr);
    EXPECT_DOUBLE_EQ(Points(big->GetChild(EL::kCharacterAttributes), AN::kFontSize), 20);
    EXPECT_EQ(
        Str(FindId(c.Top(), Id(big->GetChild(EL::kCharacterAttributes), AN::kColorRef)), AN::kName),
        "Gold");
    auto script = [&](const char* word) {
        Element* r = runAt(word);
        return r ? EnumOf(r->GetChild(EL::kCharacterAttributes), AN::kWritingScript) : -2;
    };
    EXPECT_EQ(script("Plain"), WSE::kRomanScript);
    EXPECT_EQ(script("Ελληνικά"), WSE::kGreekScript);
    EXPECT_EQ(script("Русский"), WSE::kCyrillicScript);
    EXPECT_EQ(script("日本語"), WSE::kJapaneseScript);
    EXPECT_EQ(script("のテキスト"), WSE::kJapaneseScript);
    EXPECT_EQ(script("עברית"), WSE::kHebrewScript);

    // The inline table stands at its U+FFFC.
    std::vector<Element*> tableRuns =
        Descendants(intro->GetChild(EL::kTableRunList), EL::kTableRun);
    ASSERT_EQ(tableRuns.size(), 1u);
    long long at = Int(tableRuns[0], AN::kTextIndex);
    ASSERT_TRUE(at >= 0 && at < static_cast<long long>(text.size()));
    EXPECT_EQ(text[static_cast<std::size_t>(at)], u'\uFFFC');
    std::vector<Element*> cells = Descendants(tableRuns[0]->GetChild(EL::kTable), EL::kTableCell);
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_EQ(StoryText(cells[1]->GetChild(EL::kChildStory)), u"Right cell");

    // The page-level table: rows, spans and the cells' own stories.
    Element* table = Descendants(stories[3].first, EL::kTable).at(0);
    EXPECT_EQ(Int(table, AN::kNumberOfRows), 2);
    EXPECT_EQ(Int(table, AN::kNumberOfColumns), 2);
    std::vector<Element*> rows = Children(table->GetChild(EL::kTableRowList), EL::kTableRow);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_DOUBLE_EQ(Points(rows[1], AN::kRowHeight), 30);
    std::vector<Element*> top = Children(rows[0]->GetChild(EL::kTableCellList), EL::kTableCell);
    std::vector<Element*> bottom = Children(rows[1]->GetChild(EL::kTableCellList), EL::kTableCell);
    ASSERT_EQ(top.size(), 1u);
    ASSERT_EQ(bottom.size(), 2u);
    EXPECT_EQ(Int(top[0], AN::kEndColumnNumber), 1);
    EXPECT_EQ(OBGetAttributeValue(top[0], AN::kEndRowNumber), nullptr);
    EXPECT_EQ(Int(bottom[1], AN::kColumnNumber), 1);
    EXPECT_EQ(StoryText(top[0]->GetChild(EL::kChildStory)), u"Item and price");
    EXPECT_EQ(StoryText(bottom[1]->GetChild(EL::kChildStory)), u"2.50");
    EXPECT_EQ(CheckRuns(bottom[1]->GetChild(EL::kChildStory)), "");

    // The folio's page number on the master page.
    std::vector<Element*> variables = Descendants(stories[6].first, EL::kVariableRun);
    ASSERT_EQ(variables.size(), 1u);
    EXPECT_EQ(Int(variables[0], AN::kPos), 5);
    EXPECT_EQ(EnumOf(variables[0], AN::kVariableType), AVE::kPageNumber);
}

TEST_F(ScribusReaderMapping, HyperlinksAndTableOfContents) {
    Conversion c(bytes_);
    std::vector<Element*> links = Children(c.TopOf(EL::kHyperlinkList), EL::kHyperlink);
    ASSERT_EQ(links.size(), 2u);
    Element* url = links[0]->GetChild(EL::kHyperLinkURLAnchor);
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(Str(url, AN::kURL), "https://example.org/more");
    EXPECT_EQ(Id(links[0], AN::kAnchor), url->GetId());
    Element* source = links[0]->GetChild(EL::kHyperLinkDOSource);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(Id(links[0], AN::kSource), source->GetId());
    Element* object = FindId(c.Top(), Id(source, AN::kObject));
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetElementType(), EL::kRectangle);
    std::vector<Element*> spreads = Children(c.TopOf(EL::kRegularSpreadList), EL::kRegularSpread);
    EXPECT_EQ(Id(links[1]->GetChild(EL::kHyperLinkPageAnchor), AN::kPage),
              Children(spreads.at(1), EL::kRegularPage).at(1)->GetId());

    std::vector<Element*> tocs = Children(c.TopOf(EL::kTOCStyleList), EL::kTOCStyle);
    ASSERT_EQ(tocs.size(), 1u);
    EXPECT_EQ(Str(tocs[0], AN::kName), "Contents");
    EXPECT_EQ(EnumOf(tocs[0], AN::kTableOfContentsFormat), TOCE::kPageNumberBeforeEntry);
    EXPECT_EQ(Flag(tocs[0], AN::kIncludeParagraphsOnHiddenLayers), 1);
    std::vector<Element*> entries = Descendants(tocs[0], EL::kTOCEntry);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(Str(FindId(c.Top(), Id(entries[0], AN::kFormatStyleID)), AN::kName), "Heading");
    EXPECT_EQ(Id(c.TopOf(EL::kPublication), AN::kTOCStoryID),
              Children(c.TopOf(EL::kStoryList), EL::kParentStory)[0]->GetId());
}

TEST_F(ScribusReaderMapping, PreferencesLeaveOutWhatTheyName) {
    // Each preference switched off in turn; the texts of the stories left.
    auto convert =
        [&](int off,
            const std::function<void(const Conversion&, const std::vector<std::string>&)>& check) {
            Conversion c(bytes_, [off](OBPreferenceList& l) {
                OBPreference* p = nullptr;
                l.GetNthPreference(off, &p);
                if (auto* flag = dynamic_cast<OBBooleanPreference*>(p))
                    flag->SetCurrentValue(short(0));
            });
            std::vector<std::string> texts;
            for (auto& s : Stories(c))
                texts.push_back(Shown(s.second));
            EXPECT_EQ(CheckValueTypes(c.Top()), "");
            check(c, texts);
        };
    auto has = [](const std::vector<std::string>& texts, const std::string& text) {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    };
    convert(-1, [&](const Conversion&, const std::vector<std::string>& texts) {
        EXPECT_TRUE(has(texts, "Page #") && has(texts, "Hidden words") &&
                    has(texts, "Pasteboard note"));
    });
    convert(0, [&](const Conversion& c, const std::vector<std::string>& texts) {
        EXPECT_FALSE(has(texts, "Page #"));
        EXPECT_EQ(texts.size(), 7u);
        std::vector<Element*> masters =
            Descendants(c.TopOf(EL::kMasterSpreadList), EL::kMasterPage);
        ASSERT_EQ(masters.size(), 2u); // the pages stay, their items go
        EXPECT_EQ(Descendants(masters[1], EL::kText).size(), 0u);
    });
    convert(1, [&](const Conversion& c, const std::vector<std::string>&) {
        EXPECT_EQ(Children(c.TopOf(EL::kLayerList), EL::kLayer).size(), 2u);
        EXPECT_EQ(Descendants(c.TopOf(EL::kRegularSpreadList), EL::kRectangle).size(), 0u);
        EXPECT_EQ(Children(c.TopOf(EL::kHyperlinkList), EL::kHyperlink).size(), 1u);
    });
    convert(2, [&](const Conversion& c, const std::vector<std::string>& texts) {
        EXPECT_FALSE(has(texts, "Hidden words"));
        EXPECT_EQ(Descendants(c.TopOf(EL::kRegularSpreadList), EL::kEllipse).size(), 0u);
        EXPECT_EQ(Children(c.TopOf(EL::kLayerList), EL::kLayer).size(), 2u);
    });
    convert(3, [&](const Conversion&, const std::vector<std::string>& texts) {
        EXPECT_FALSE(has(texts, "Pasteboard note"));
        EXPECT_EQ(texts.size(), 7u);
    });
}

// Frames at one height read left to right; a page number shows its page's
// number; of a shape's subpaths only those closed by Z are closed, and none
// of a polyline's.
TEST(ScribusReaderMappingDetails, ReadingOrderPageNumbersAndClosedSubpaths) {
    auto item = [](const char* kind, const char* x, const char* y, const std::string& rest) {
        return std::string("<PAGEOBJECT OwnPage=\"0\" PTYPE=\"") + kind + "\" XPOS=\"" + x +
               "\" YPOS=\"" + y + "\" WIDTH=\"50\" HEIGHT=\"50\" " + rest;
    };
    std::string items =
        item("4", "200", "10",
             "><StoryText><ITEXT CH=\"right\xE9\xBF\xBF\xEA\x80\x80\"/><trail/></StoryText>"
             "</PAGEOBJECT>") +
        item("4", "10", "10",
             "><StoryText><ITEXT CH=\"left \"/><var name=\"pgno\"/><trail/></StoryText>"
             "</PAGEOBJECT>") +
        item("6", "10", "100", "path=\"M0 0 C5 5 5 5 10 0 Z M20 0 C25 5 25 5 30 0\"/>") +
        item("7", "10", "200", "path=\"M0 0 C5 5 5 5 10 0 Z\"/>");
    Conversion c("<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT ANZPAGES=\"1\" FIRSTNUM=\"4\" "
                 "PAGEWIDTH=\"300\" PAGEHEIGHT=\"300\"><PAGE PAGEXPOS=\"0\" PAGEYPOS=\"0\" "
                 "PAGEWIDTH=\"300\" PAGEHEIGHT=\"300\" NUM=\"0\"/>" +
                 items + "</DOCUMENT></SCRIBUSUTF8NEW>");
    std::vector<Element*> stories = Children(c.TopOf(EL::kStoryList), EL::kParentStory);
    ASSERT_EQ(stories.size(), 2u);
    EXPECT_EQ(StoryText(stories[0]->GetChild(EL::kChildStory)), u"left \uFFFC");
    std::vector<Element*> numbers = Descendants(stories[0], EL::kVariableRun);
    ASSERT_EQ(numbers.size(), 1u);
    EXPECT_EQ(Str(numbers[0], AN::kStaticText), "4");
    // The last ideograph of the block is CJK text, the first Yi syllable not.
    std::vector<Element*> runs = Descendants(stories[1], EL::kCharacterRun);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(EnumOf(runs[1]->GetChild(EL::kCharacterAttributes), AN::kWritingScript),
              WSE::kJapaneseScript);
    EXPECT_EQ(EnumOf(runs[2]->GetChild(EL::kCharacterAttributes), AN::kWritingScript),
              WSE::kUnicodeScript);

    std::vector<Element*> curves = Descendants(c.TopOf(EL::kRegularSpreadList), EL::kBezier);
    ASSERT_EQ(curves.size(), 2u); // the shape, then the polyline
    auto closed = [&](Element* e) {
        std::vector<short> flags;
        auto* list = dynamic_cast<ValueBool16List*>(OBGetAttributeValue(e, AN::kIsClosedList));
        for (long long i = 0; list && i < list->Count(); ++i)
            flags.push_back(list->Get(static_cast<int>(i)));
        return flags;
    };
    EXPECT_EQ(closed(curves[0]), (std::vector<short>{1, 0}));
    EXPECT_EQ(closed(curves[1]), (std::vector<short>{0}));
}

// An item anchored in the text of a frame inside a group lies on the page
// that shows the frame, and says which page that is.
TEST(ScribusReaderMappingDetails, AnchoredItemsGoWithTheirTextsPage) {
    Conversion c(
        "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT ANZPAGES=\"1\" PAGEWIDTH=\"300\" "
        "PAGEHEIGHT=\"300\"><PAGE PAGEXPOS=\"0\" PAGEYPOS=\"0\" PAGEWIDTH=\"300\" "
        "PAGEHEIGHT=\"300\" NUM=\"0\"/>"
        "<PAGEOBJECT OwnPage=\"0\" PTYPE=\"12\" XPOS=\"10\" YPOS=\"10\" WIDTH=\"90\" HEIGHT=\"90\">"
        "<PAGEOBJECT OwnPage=\"0\" PTYPE=\"4\" XPOS=\"10\" YPOS=\"10\" WIDTH=\"50\" HEIGHT=\"50\">"
        "<StoryText><ITEXT CH=\"a\"/><ITEXT COBJ=\"7001\"/><ITEXT CH=\"b\"/><trail/></StoryText>"
        "</PAGEOBJECT></PAGEOBJECT>"
        "<FRAMEOBJECT OwnPage=\"-1\" PTYPE=\"6\" FRTYPE=\"0\" InID=\"7001\" XPOS=\"0\" "
        "YPOS=\"0\" WIDTH=\"10\" HEIGHT=\"10\"/></DOCUMENT></SCRIBUSUTF8NEW>");
    Element* page = Descendants(c.TopOf(EL::kRegularSpreadList), EL::kRegularPage).at(0);
    std::vector<Element*> anchored = Descendants(page, EL::kRectangle);
    ASSERT_EQ(anchored.size(), 1u);
    EXPECT_EQ(Id(anchored[0], AN::kRegularPageIdRef), page->GetId());
}

} // namespace
