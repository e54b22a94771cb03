// What the reader yields for a small hand-made document that has one of
// everything (tests/data/scribus/reader-features.sla): the order and nesting
// of the Elements, their values and units, ids and references, story text
// and runs, and what each preference leaves out.
#include "ReaderTestSupport.h"

#include <ombra/storedelements.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>

namespace {

using namespace scribus_reader_test;

std::u16string U(const char* utf8) {
    std::u16string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8); *p;) {
        unsigned c = *p++;
        int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (more) c &= 0x3F >> more;
        while (more-- > 0 && *p) c = (c << 6) | (*p++ & 0x3F);
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

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

// The page item that carries a name among the given kind below root.
Element* ItemByBox(Element* root, EL::ElementTypeEnum kind, double left, double top) {
    for (Element* e : Descendants(root, kind)) {
        auto* box = dynamic_cast<ValueRectangle*>(OBGetAttributeValue(e, AN::kBoundingBox));
        if (!box) continue;
        OBRect r;
        box->Get(UNITS::LINEAR::kPoints, r);
        if (std::fabs(r.Left() - left) < 1e-6 && std::fabs(r.Top() - top) < 1e-6) return e;
    }
    return nullptr;
}

class ScribusReaderMapping : public ::testing::Test {
protected:
    void SetUp() override {
        bytes_ = Fixture("reader-features.sla");
        ASSERT_FALSE(bytes_.empty());
    }
    std::string bytes_;
};

TEST_F(ScribusReaderMapping, YieldsTheTopLevelElementsInTheConventionalOrder) {
    Conversion c(bytes_);
    std::vector<EL::ElementTypeEnum> kinds;
    for (Element* e : c.Top()) kinds.push_back(e->GetElementType());
    std::vector<EL::ElementTypeEnum> expected = {
        EL::kPublication,       EL::kInkList,           EL::kColorList,         EL::kFontList,
        EL::kLayerList,         EL::kCharacterStyleList, EL::kParagraphStyleList, EL::kMasterSpreadList,
        EL::kRegularSpreadList, EL::kStoryList,         EL::kHyperlinkList,     EL::kTOCStyleList};
    EXPECT_EQ(kinds, expected);
    EXPECT_EQ(c.Error(), 0);
    EXPECT_EQ(CheckValueTypes(c.Top()), "");
}

TEST_F(ScribusReaderMapping, IdsAreUniqueAndEveryReferenceArrives) {
    Conversion c(bytes_);
    std::set<unsigned> ids;
    std::vector<Element*> all;
    std::function<void(Element*)> walk = [&](Element* e) {
        EXPECT_TRUE(ids.insert(e->GetId()).second) << "id " << e->GetId() << " twice";
        all.push_back(e);
        for (unsigned long long i = 0; i < e->GetChildCount(); ++i) walk(e->GetNthChild(i));
    };
    for (Element* top : c.Top()) walk(top);
    int references = 0;
    for (Element* e : all) {
        OBAttributeStore* store = OBGetAttributeStore(e);
        for (int a = 0; store && a < AN::kUndefined; ++a)
            if (auto* id = dynamic_cast<ValueOBID*>(store->Find(static_cast<AN::AttrNameEnum>(a)))) {
                unsigned target = 0;
                id->Get(target);
                ++references;
                EXPECT_TRUE(ids.count(target)) << OBElementTypeName(e->GetElementType()) << "."
                                               << OBAttrNameString(static_cast<AN::AttrNameEnum>(a));
            }
    }
    EXPECT_GT(references, 40);
}

TEST_F(ScribusReaderMapping, PublicationAndMetadata) {
    Conversion c(bytes_);
    Element* pub = c.TopOf(EL::kPublication);
    ASSERT_NE(pub, nullptr);
    double v = 0;
    ASSERT_TRUE(Points(pub, AN::kPageWidth, v));
    EXPECT_DOUBLE_EQ(v, 400);
    ASSERT_TRUE(Points(pub, AN::kPageHeight, v));
    EXPECT_DOUBLE_EQ(v, 600);
    ASSERT_TRUE(Points(pub, AN::kLeftMargin, v));
    EXPECT_DOUBLE_EQ(v, 30);
    ASSERT_TRUE(Points(pub, AN::kBottomMargin, v));
    EXPECT_DOUBLE_EQ(v, 50);
    bool flag = false;
    EXPECT_TRUE(Flag(pub, AN::kIsFacingPage, flag) && flag);
    EXPECT_TRUE(Flag(pub, AN::kIsFirstPageRight, flag) && flag);
    long long n = 0;
    EXPECT_TRUE(Int(pub, AN::kStartPageNum, n));
    EXPECT_EQ(n, 7);
    EXPECT_TRUE(Int(pub, AN::kNumberOfSpreads, n));
    EXPECT_EQ(n, 2);
    EXPECT_TRUE(Int(pub, AN::kNumberOfPagesPerSpread, n));
    EXPECT_EQ(n, 2);
    Element* meta = pub->GetChild(EL::kMetaData);
    ASSERT_NE(meta, nullptr);
    EXPECT_EQ(Str(meta, AN::kTitle), "Features");
    EXPECT_EQ(Str(meta, AN::kAuthor), "Ada");
    EXPECT_EQ(Str(meta, AN::kSubject), "Tests");
    EXPECT_NE(OBGetAttributeValue(meta, AN::kCreated), nullptr);
}

TEST_F(ScribusReaderMapping, ColoursInksAndLayers) {
    Conversion c(bytes_);
    std::vector<Element*> colors = Children(c.TopOf(EL::kColorList), EL::kColor);
    ASSERT_EQ(colors.size(), 6u);
    bool flag = false;
    EXPECT_EQ(Str(colors[0], AN::kName), "None");
    EXPECT_TRUE(Flag(colors[0], AN::kIsNone, flag) && flag);
    double r = 0;
    Element* black = Named(colors, "Black");
    EXPECT_EQ(EnumOf(black, AN::kModel), CME::kCMYK);
    EXPECT_EQ(EnumOf(black, AN::kType), CTE::kProcess);
    EXPECT_TRUE(Ratio(black->GetChild(EL::kCMYK), AN::kBlack, r));
    EXPECT_DOUBLE_EQ(r, 1.0);
    Element* red = Named(colors, "Web Red");
    EXPECT_EQ(EnumOf(red, AN::kModel), CME::kRGB);
    EXPECT_TRUE(Ratio(red->GetChild(EL::kRGB), AN::kRed, r));
    EXPECT_DOUBLE_EQ(r, 1.0);
    EXPECT_TRUE(Ratio(red->GetChild(EL::kRGB), AN::kGreen, r));
    EXPECT_DOUBLE_EQ(r, 0.0);
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

    std::vector<Element*> layers = Children(c.TopOf(EL::kLayerList), EL::kLayer);
    ASSERT_EQ(layers.size(), 3u);
    EXPECT_EQ(Str(layers[0], AN::kName), "Background");
    EXPECT_EQ(Str(layers[1], AN::kName), "Hidden");
    EXPECT_EQ(Str(layers[2], AN::kName), "Notes");
    EXPECT_TRUE(Flag(layers[1], AN::kVisible, flag) && !flag);
    EXPECT_TRUE(Flag(layers[1], AN::kLocked, flag) && flag);
    EXPECT_TRUE(Flag(layers[2], AN::kIsNonPrinting, flag) && flag);
    EXPECT_TRUE(Flag(layers[0], AN::kIsNonPrinting, flag) && !flag);
}

TEST_F(ScribusReaderMapping, StylesWithInheritanceAndEveryAttribute) {
    Conversion c(bytes_);
    std::vector<Element*> paragraphs = Children(c.TopOf(EL::kParagraphStyleList), EL::kParagraphStyle);
    ASSERT_EQ(paragraphs.size(), 3u);
    EXPECT_EQ(Str(paragraphs[0], AN::kName), "Default Paragraph Style");
    Element* heading = Named(paragraphs, "Heading");
    unsigned id = 0;
    ASSERT_TRUE(Id(heading, AN::kBasedOn, id));
    EXPECT_EQ(id, paragraphs[0]->GetId());
    Element* pa = heading->GetChild(EL::kParagraphAttributes);
    EXPECT_EQ(EnumOf(pa, AN::kAlignment), AE::kCenter);
    double v = 0;
    EXPECT_TRUE(Points(pa, AN::kSpaceBefore, v));
    EXPECT_DOUBLE_EQ(v, 6);
    Element* ca = heading->GetChild(EL::kCharacterAttributes);
    EXPECT_TRUE(Points(ca, AN::kFontSize, v));
    EXPECT_DOUBLE_EQ(v, 18);
    // From its character style, Emphasis.
    EXPECT_EQ(Str(ca, AN::kFont), "Noto Serif Italic");
    bool flag = false;
    EXPECT_TRUE(Flag(ca, AN::kUnderline, flag) && flag);
    EXPECT_TRUE(Flag(ca, AN::kItalics, flag) && flag);

    Element* defaults = paragraphs[0]->GetChild(EL::kParagraphAttributes);
    EXPECT_EQ(EnumOf(defaults, AN::kLeadingTypeEnum), LTE::kFixed);
    EXPECT_TRUE(Points(defaults, AN::kLeading, v));
    EXPECT_DOUBLE_EQ(v, 14);

    Element* body = Named(paragraphs, "Body");
    Element* bodyAttributes = body->GetChild(EL::kParagraphAttributes);
    EXPECT_EQ(EnumOf(bodyAttributes, AN::kAlignment), AE::kJustify);
    EXPECT_TRUE(Points(bodyAttributes, AN::kLeftIndent, v));
    EXPECT_DOUBLE_EQ(v, 5);
    EXPECT_TRUE(Points(bodyAttributes, AN::kFirstIndent, v));
    EXPECT_DOUBLE_EQ(v, 12);
    std::vector<Element*> tabs = Children(body->GetChild(EL::kTabList), EL::kTab);
    ASSERT_EQ(tabs.size(), 2u);
    EXPECT_TRUE(Points(tabs[0], AN::kPosition, v));
    EXPECT_DOUBLE_EQ(v, 100);
    EXPECT_EQ(EnumOf(tabs[0], AN::kTabAlignment), TAE::kRight);
    EXPECT_EQ(Str(tabs[0], AN::kLeader), ".");
    EXPECT_EQ(EnumOf(tabs[1], AN::kTabAlignment), TAE::kCenter);

    std::vector<Element*> characters = Children(c.TopOf(EL::kCharacterStyleList), EL::kCharacterStyle);
    ASSERT_EQ(characters.size(), 2u);
    EXPECT_EQ(Str(characters[0], AN::kName), "Default Character Style");
    Element* emphasis = characters[1];
    ASSERT_TRUE(Id(emphasis, AN::kBasedOn, id));
    EXPECT_EQ(id, characters[0]->GetId());
    Element* e = emphasis->GetChild(EL::kCharacterAttributes);
    Element* red = Named(Children(c.TopOf(EL::kColorList), EL::kColor), "Web Red");
    ASSERT_TRUE(Id(e, AN::kColorRef, id));
    EXPECT_EQ(id, red->GetId());
    EXPECT_TRUE(Ratio(e, AN::kShade, v));
    EXPECT_DOUBLE_EQ(v, 0.8);
    EXPECT_TRUE(Ratio(e, AN::kRangeKerning, v));
    EXPECT_DOUBLE_EQ(v, 0.05);
    EXPECT_TRUE(Ratio(e, AN::kHorizontalScale, v));
    EXPECT_DOUBLE_EQ(v, 0.9);
    // 10 % of the 10 points it inherits.
    EXPECT_TRUE(Points(e, AN::kBaselineShift, v));
    EXPECT_DOUBLE_EQ(v, 1.0);
    EXPECT_EQ(EnumOf(e, AN::kUnderlineType), UTE::kSingle);
    EXPECT_EQ(EnumOf(e, AN::kStrikeThru), STE::kNone);
    EXPECT_EQ(EnumOf(e, AN::kCharacterCase), CCE::kNormal);

    std::vector<Element*> fonts = Children(c.TopOf(EL::kFontList), EL::kFont);
    ASSERT_EQ(fonts.size(), 2u);
    EXPECT_EQ(Str(fonts[0], AN::kName), "Noto Serif Regular");
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
    double v = 0;
    EXPECT_TRUE(Points(right, AN::kPageWidth, v));
    EXPECT_DOUBLE_EQ(v, 400);
    EXPECT_EQ(Descendants(left->GetChild(EL::kDrawingObjectList), EL::kText).size(), 0u);
    ASSERT_EQ(Descendants(right->GetChild(EL::kDrawingObjectList), EL::kText).size(), 1u);

    std::vector<Element*> spreads = Children(c.TopOf(EL::kRegularSpreadList), EL::kRegularSpread);
    ASSERT_EQ(spreads.size(), 2u);
    std::vector<Element*> first = Children(spreads[0], EL::kRegularPage);
    std::vector<Element*> second = Children(spreads[1], EL::kRegularPage);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(EnumOf(first[0], AN::kPageSide), PSE::kRight);
    EXPECT_EQ(EnumOf(second[0], AN::kPageSide), PSE::kLeft);
    EXPECT_EQ(EnumOf(second[1], AN::kPageSide), PSE::kRight);
    unsigned id = 0;
    ASSERT_TRUE(Id(first[0], AN::kBasedOn, id));
    EXPECT_EQ(id, right->GetId());
    ASSERT_TRUE(Id(second[0], AN::kBasedOn, id));
    EXPECT_EQ(id, left->GetId());
    EXPECT_TRUE(Points(first[0], AN::kTopMargin, v));
    EXPECT_DOUBLE_EQ(v, 40);
    // The pasteboard item lies on the first spread.
    Element* pasteboard = spreads[0]->GetChild(EL::kPasteboardDrawingObjectList);
    ASSERT_NE(pasteboard, nullptr);
    EXPECT_EQ(Descendants(pasteboard, EL::kText).size(), 1u);
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
    for (unsigned long long i = 0; i < page0->GetChild(EL::kDrawingObjectList)->GetChildCount(); ++i)
        kinds.push_back(page0->GetChild(EL::kDrawingObjectList)->GetNthChild(i)->GetElementType());
    EXPECT_EQ(kinds, (std::vector<EL::ElementTypeEnum>{EL::kText, EL::kPicture, EL::kRectangle, EL::kEllipse, EL::kText}));

    Element* intro = ItemByBox(page0, EL::kText, 40, 80);
    Element* more = ItemByBox(page1, EL::kText, 40, 100);
    ASSERT_TRUE(intro && more);
    long long n = 0;
    EXPECT_TRUE(Int(intro, AN::kNumberOfColumns, n));
    EXPECT_EQ(n, 2);
    double v = 0;
    EXPECT_TRUE(Points(intro, AN::kSpaceBetweenColumns, v));
    EXPECT_DOUBLE_EQ(v, 12);
    auto* inset = dynamic_cast<ValueRectangle*>(OBGetAttributeValue(intro, AN::kInsetBox));
    ASSERT_NE(inset, nullptr);
    OBRect r;
    inset->Get(UNITS::LINEAR::kPoints, r);
    EXPECT_EQ(r, OBRect(1, 2, 3, 4));
    unsigned a = 0, b = 0;
    ASSERT_TRUE(Id(intro, AN::kNextTextObject, a));
    EXPECT_EQ(a, more->GetId());
    ASSERT_TRUE(Id(more, AN::kPreviousTextObject, a));
    EXPECT_EQ(a, intro->GetId());
    ASSERT_TRUE(Id(intro, AN::kStory, a) && Id(more, AN::kStory, b));
    EXPECT_EQ(a, b);
    EXPECT_EQ(Children(c.TopOf(EL::kStoryList), EL::kParentStory)[0]->GetId(), a);
    EXPECT_TRUE(Id(intro, AN::kLayer, a));
    EXPECT_EQ(a, layers[0]->GetId());
    EXPECT_TRUE(Id(intro, AN::kRegularPageIdRef, a));
    EXPECT_EQ(a, page0->GetId());
    auto* angle = dynamic_cast<ValueAngle*>(OBGetAttributeValue(more, AN::kRotation));
    ASSERT_NE(angle, nullptr);
    OBReal degrees;
    angle->Get(UNITS::ANGULAR::kDegrees, degrees);
    EXPECT_DOUBLE_EQ(degrees, 270);  // 90 clockwise

    Element* photo = ItemByBox(page0, EL::kPicture, 40, 330);
    ASSERT_NE(photo, nullptr);
    Element* link = photo->GetChild(EL::kLinkInformation);
    ASSERT_NE(link, nullptr);
    auto* file = dynamic_cast<ValueFileSpec*>(OBGetAttributeValue(link, AN::kLinkedFile));
    ASSERT_NE(file, nullptr);
    COBString path;
    file->GetAsString(path);
    EXPECT_STREQ(path.GrabCString(), "images/photo.jpg");
    EXPECT_EQ(EnumOf(photo, AN::kPictureType), PTE::kJPEG);
    EXPECT_TRUE(Ratio(photo, AN::kHorizontalScale, v));
    EXPECT_DOUBLE_EQ(v, 0.5);
    EXPECT_TRUE(Points(photo, AN::kOffsetDown, v));
    EXPECT_DOUBLE_EQ(v, 6);

    Element* box = ItemByBox(page0, EL::kRectangle, 40, 430);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(Id(box, AN::kFillId, a));
    EXPECT_EQ(a, Named(colors, "Gold")->GetId());
    EXPECT_TRUE(Id(box, AN::kStrokeId, a));
    EXPECT_EQ(a, Named(colors, "Black")->GetId());
    EXPECT_TRUE(Id(box, AN::kLayer, a));
    EXPECT_EQ(a, layers[2]->GetId());

    // Text on a path: the path's geometry, its story on the TextPath child.
    std::vector<Element*> paths = Descendants(page1, EL::kBezierTextPath);
    ASSERT_EQ(paths.size(), 1u);
    auto* points = dynamic_cast<ValuePathPointList*>(OBGetAttributeValue(paths[0], AN::kPathPointList));
    ASSERT_NE(points, nullptr);
    EXPECT_EQ(points->NumPathPoints(), 2);
    Element* textPath = paths[0]->GetChild(EL::kTextPath);
    ASSERT_NE(textPath, nullptr);
    EXPECT_TRUE(Id(textPath, AN::kStory, a));
    bool flag = false;
    EXPECT_TRUE(Flag(textPath, AN::kTextOnPathOtherSide, flag) && flag);

    // A group holds its members.
    std::vector<Element*> groups = Descendants(page1, EL::kGroup);
    ASSERT_EQ(groups.size(), 1u);
    ASSERT_EQ(groups[0]->GetChildCount(), 2u);
    Element* line = groups[0]->GetNthChild(0);
    Element* triangle = groups[0]->GetNthChild(1);
    ASSERT_EQ(line->GetElementType(), EL::kLine);
    auto* start = dynamic_cast<ValuePoint*>(OBGetAttributeValue(line, AN::kptStart));
    auto* end = dynamic_cast<ValuePoint*>(OBGetAttributeValue(line, AN::kptEnd));
    ASSERT_TRUE(start && end);
    OBPoint p;
    end->Get(UNITS::LINEAR::kPoints, p);
    EXPECT_NEAR(p.X(), 40, 1e-9);
    EXPECT_NEAR(p.Y(), 450, 1e-9);
    ASSERT_EQ(triangle->GetElementType(), EL::kIrregularPolygon);
    auto* vertices = dynamic_cast<ValueVertexList*>(OBGetAttributeValue(triangle, AN::kVertexList));
    ASSERT_NE(vertices, nullptr);
    EXPECT_EQ(vertices->NumVertices(), 3);
    EXPECT_TRUE(Flag(triangle, AN::kIsClosedPolygon, flag) && flag);

    // The page-level table: a text frame whose story holds only the table.
    Element* prices = ItemByBox(page2, EL::kText, 40, 100);
    ASSERT_NE(prices, nullptr);
    ASSERT_TRUE(Id(prices, AN::kStory, a));
    Element* story = FindId(c.Top(), a);
    ASSERT_NE(story, nullptr);
    EXPECT_EQ(StoryText(story->GetChild(EL::kChildStory)), std::u16string(1, u'\uFFFC'));
}

TEST_F(ScribusReaderMapping, StoriesInReadingOrderWithRunsAndScripts) {
    Conversion c(bytes_);
    auto stories = Stories(c);
    std::vector<std::string> texts;
    for (auto& s : stories) texts.push_back(Utf8(s.second));
    ASSERT_EQ(texts.size(), 8u);
    EXPECT_EQ(texts[0].substr(0, 11), "Openings\xE2\x80\xA9");
    EXPECT_EQ(texts[1], "Hidden words");
    EXPECT_EQ(texts[2], "Along the path");
    EXPECT_EQ(texts[3], "\xEF\xBF\xBC");
    EXPECT_EQ(texts[4], "Above the closing");
    EXPECT_EQ(texts[5], "Closing words");
    EXPECT_EQ(texts[6], "Page \xEF\xBF\xBC");
    EXPECT_EQ(texts[7], "Pasteboard note");
    for (auto& s : stories) EXPECT_EQ(CheckRuns(s.first->GetChild(EL::kChildStory)), "") << Utf8(s.second);

    Element* intro = stories[0].first->GetChild(EL::kChildStory);
    const std::u16string& text = stories[0].second;
    std::vector<Element*> paragraphs = Children(intro->GetChild(EL::kParagraphRunList), EL::kParagraphRun);
    ASSERT_EQ(paragraphs.size(), 3u);
    std::vector<Element*> styles = Children(c.TopOf(EL::kParagraphStyleList), EL::kParagraphStyle);
    unsigned id = 0;
    ASSERT_TRUE(Id(paragraphs[0], AN::kParagraphStyleID, id));
    EXPECT_EQ(id, Named(styles, "Heading")->GetId());
    // No style of its own: the frame's default, Body.
    ASSERT_TRUE(Id(paragraphs[1], AN::kParagraphStyleID, id));
    EXPECT_EQ(id, Named(styles, "Body")->GetId());

    std::vector<Element*> runs = Children(intro->GetChild(EL::kCharacterRunList), EL::kCharacterRun);
    auto runAt = [&](const char* word) -> Element* {
        std::size_t at = text.find(U(word));
        for (Element* r : runs) {
            long long s = 0, e = 0;
            Int(r, AN::kStartCharacterPosition, s);
            Int(r, AN::kEndCharacterPosition, e);
            if (static_cast<long long>(at) >= s && static_cast<long long>(at) < e) return r;
        }
        return nullptr;
    };
    Element* stressed = runAt("stressed");
    ASSERT_NE(stressed, nullptr);
    ASSERT_TRUE(Id(stressed, AN::kCharacterStyleID, id));
    EXPECT_EQ(Str(FindId(c.Top(), id), AN::kName), "Emphasis");
    ASSERT_TRUE(Id(stressed, AN::kParagraphStyleID, id));
    EXPECT_EQ(id, Named(styles, "Body")->GetId());
    Element* big = runAt("big");
    ASSERT_NE(big, nullptr);
    double v = 0;
    EXPECT_TRUE(Points(big->GetChild(EL::kCharacterAttributes), AN::kFontSize, v));
    EXPECT_DOUBLE_EQ(v, 20);
    EXPECT_TRUE(Id(big->GetChild(EL::kCharacterAttributes), AN::kColorRef, id));
    EXPECT_EQ(Str(FindId(c.Top(), id), AN::kName), "Gold");
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
    std::vector<Element*> tableRuns = Descendants(intro->GetChild(EL::kTableRunList), EL::kTableRun);
    ASSERT_EQ(tableRuns.size(), 1u);
    long long at = 0;
    ASSERT_TRUE(Int(tableRuns[0], AN::kTextIndex, at));
    ASSERT_LT(at, static_cast<long long>(text.size()));
    EXPECT_EQ(text[static_cast<std::size_t>(at)], u'\uFFFC');
    std::vector<Element*> cells = Descendants(tableRuns[0]->GetChild(EL::kTable), EL::kTableCell);
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_EQ(Utf8(StoryText(cells[1]->GetChild(EL::kChildStory))), "Right cell");

    // The folio's page number on the master page.
    Element* folio = stories[6].first->GetChild(EL::kChildStory);
    std::vector<Element*> variables = Descendants(folio, EL::kVariableRun);
    ASSERT_EQ(variables.size(), 1u);
    long long pos = 0;
    EXPECT_TRUE(Int(variables[0], AN::kPos, pos));
    EXPECT_EQ(pos, 5);
    EXPECT_EQ(EnumOf(variables[0], AN::kVariableType), AVE::kPageNumber);
}

TEST_F(ScribusReaderMapping, TablesCellsAndSpans) {
    Conversion c(bytes_);
    auto stories = Stories(c);
    ASSERT_GE(stories.size(), 4u);
    Element* table = Descendants(stories[3].first, EL::kTable).at(0);
    long long n = 0;
    EXPECT_TRUE(Int(table, AN::kNumberOfRows, n));
    EXPECT_EQ(n, 2);
    EXPECT_TRUE(Int(table, AN::kNumberOfColumns, n));
    EXPECT_EQ(n, 2);
    std::vector<Element*> rows = Children(table->GetChild(EL::kTableRowList), EL::kTableRow);
    ASSERT_EQ(rows.size(), 2u);
    double v = 0;
    EXPECT_TRUE(Points(rows[1], AN::kRowHeight, v));
    EXPECT_DOUBLE_EQ(v, 30);
    std::vector<Element*> first = Children(rows[0]->GetChild(EL::kTableCellList), EL::kTableCell);
    std::vector<Element*> second = Children(rows[1]->GetChild(EL::kTableCellList), EL::kTableCell);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_TRUE(Int(first[0], AN::kEndColumnNumber, n));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(OBGetAttributeValue(first[0], AN::kEndRowNumber), nullptr);
    EXPECT_TRUE(Int(second[1], AN::kColumnNumber, n));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(Utf8(StoryText(first[0]->GetChild(EL::kChildStory))), "Item and price");
    EXPECT_EQ(Utf8(StoryText(second[1]->GetChild(EL::kChildStory))), "2.50");
    EXPECT_EQ(CheckRuns(second[1]->GetChild(EL::kChildStory)), "");
}

TEST_F(ScribusReaderMapping, HyperlinksAndTableOfContents) {
    Conversion c(bytes_);
    std::vector<Element*> links = Children(c.TopOf(EL::kHyperlinkList), EL::kHyperlink);
    ASSERT_EQ(links.size(), 2u);
    Element* url = links[0]->GetChild(EL::kHyperLinkURLAnchor);
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(Str(url, AN::kURL), "https://example.org/more");
    unsigned id = 0;
    ASSERT_TRUE(Id(links[0], AN::kAnchor, id));
    EXPECT_EQ(id, url->GetId());
    Element* source = links[0]->GetChild(EL::kHyperLinkDOSource);
    ASSERT_TRUE(Id(links[0], AN::kSource, id));
    EXPECT_EQ(id, source->GetId());
    ASSERT_TRUE(Id(source, AN::kObject, id));
    EXPECT_EQ(FindId(c.Top(), id)->GetElementType(), EL::kRectangle);

    Element* page = links[1]->GetChild(EL::kHyperLinkPageAnchor);
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(Id(page, AN::kPage, id));
    std::vector<Element*> spreads = Children(c.TopOf(EL::kRegularSpreadList), EL::kRegularSpread);
    EXPECT_EQ(id, Children(spreads[1], EL::kRegularPage)[1]->GetId());

    std::vector<Element*> tocs = Children(c.TopOf(EL::kTOCStyleList), EL::kTOCStyle);
    ASSERT_EQ(tocs.size(), 1u);
    EXPECT_EQ(Str(tocs[0], AN::kName), "Contents");
    EXPECT_EQ(EnumOf(tocs[0], AN::kTableOfContentsFormat), TOCE::kPageNumberBeforeEntry);
    bool flag = false;
    EXPECT_TRUE(Flag(tocs[0], AN::kIncludeParagraphsOnHiddenLayers, flag) && flag);
    std::vector<Element*> entries = Descendants(tocs[0], EL::kTOCEntry);
    ASSERT_EQ(entries.size(), 1u);
    ASSERT_TRUE(Id(entries[0], AN::kFormatStyleID, id));
    EXPECT_EQ(Str(FindId(c.Top(), id), AN::kName), "Heading");
    ASSERT_TRUE(Id(c.TopOf(EL::kPublication), AN::kTOCStoryID, id));
    EXPECT_EQ(id, Children(c.TopOf(EL::kStoryList), EL::kParentStory)[0]->GetId());
}

void SetFlag(OBPreferenceList& list, int index, short value) {
    OBPreference* p = nullptr;
    list.GetNthPreference(index, &p);
    ASSERT_NE(dynamic_cast<OBBooleanPreference*>(p), nullptr);
    static_cast<OBBooleanPreference*>(p)->SetCurrentValue(value);
}

std::vector<std::string> StoryTexts(const Conversion& c) {
    std::vector<std::string> out;
    for (auto& s : Stories(c)) out.push_back(Utf8(s.second));
    return out;
}

bool Has(const std::vector<std::string>& texts, const std::string& prefix) {
    for (const std::string& t : texts)
        if (t.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

TEST_F(ScribusReaderMapping, PreferencesLeaveOutWhatTheyName) {
    {
        Conversion all(bytes_);
        auto texts = StoryTexts(all);
        EXPECT_TRUE(Has(texts, "Page ") && Has(texts, "Hidden words") && Has(texts, "Pasteboard note"));
    }
    {
        Conversion c(bytes_, [](OBPreferenceList& l) { SetFlag(l, 0, 0); });
        auto texts = StoryTexts(c);
        EXPECT_FALSE(Has(texts, "Page "));
        EXPECT_EQ(texts.size(), 7u);
        std::vector<Element*> masters = Descendants(c.TopOf(EL::kMasterSpreadList), EL::kMasterPage);
        ASSERT_EQ(masters.size(), 2u);  // the pages stay, their items go
        EXPECT_EQ(Descendants(masters[1], EL::kText).size(), 0u);
        EXPECT_EQ(CheckValueTypes(c.Top()), "");
    }
    {
        Conversion c(bytes_, [](OBPreferenceList& l) { SetFlag(l, 1, 0); });
        EXPECT_EQ(Children(c.TopOf(EL::kLayerList), EL::kLayer).size(), 2u);
        EXPECT_EQ(Descendants(c.TopOf(EL::kRegularSpreadList), EL::kRectangle).size(), 0u);
        EXPECT_EQ(Children(c.TopOf(EL::kHyperlinkList), EL::kHyperlink).size(), 1u);
    }
    {
        Conversion c(bytes_, [](OBPreferenceList& l) { SetFlag(l, 2, 0); });
        auto texts = StoryTexts(c);
        EXPECT_FALSE(Has(texts, "Hidden words"));
        EXPECT_EQ(Descendants(c.TopOf(EL::kRegularSpreadList), EL::kEllipse).size(), 0u);
        EXPECT_EQ(Children(c.TopOf(EL::kLayerList), EL::kLayer).size(), 2u);
    }
    {
        Conversion c(bytes_, [](OBPreferenceList& l) { SetFlag(l, 3, 0); });
        auto texts = StoryTexts(c);
        EXPECT_FALSE(Has(texts, "Pasteboard note"));
        EXPECT_EQ(texts.size(), 7u);
    }
}

} // namespace
