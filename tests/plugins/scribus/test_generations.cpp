// What the model holds for a hand-made document of each generation of the
// format: 1.2 (objects nested in pages, flag bits, control characters), 1.3
// (styles by position, canvas coordinates), 1.4 (named styles, para/trail)
// and 1.5/1.6 (StoryText, nested groups, tables, colour spaces).
#include "ScribusTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace scribus;
using namespace scribus_test;

ParseResult Load(const std::string& name) {
    std::string bytes = Fixture(name);
    EXPECT_FALSE(bytes.empty()) << name;
    ParseResult r = ParseBytes(bytes);
    for (std::size_t i = 0; i < r.document.stories.size(); ++i)
        EXPECT_EQ("", CheckCoverage(r.document.stories[i])) << name << " story " << i;
    return r;
}

const Story& StoryOf(const Document& doc, const std::string& item) {
    int i = ItemNamed(doc, item);
    static const Story none;
    if (i < 0 || doc.items[i].story < 0) {
        ADD_FAILURE() << "no story for " << item;
        return none;
    }
    return doc.stories[doc.items[i].story];
}

const ParagraphStyle* ParaStyle(const Document& doc, const std::string& name) {
    for (const auto& s : doc.paragraphStyles)
        if (s.name == name) return &s;
    return nullptr;
}

const Color* ColorNamed(const Document& doc, const std::string& name) {
    int i = FindColor(doc, name);
    return i < 0 ? nullptr : &doc.colors[i];
}

TEST(ScribusGenerations, Version12PublicationColoursStylesAndLayers) {
    ParseResult r = Load("v12-basic.sla");
    ASSERT_EQ(ParseResult::Status::kOk, r.status);
    EXPECT_TRUE(r.warnings.empty());
    const Document& doc = r.document;
    EXPECT_EQ(Generation::k12, doc.generation);
    EXPECT_EQ("1.2.2", doc.version);
    const Publication& pub = doc.publication;
    EXPECT_DOUBLE_EQ(595.276, pub.pageWidth);
    EXPECT_DOUBLE_EQ(30, pub.margins.right);
    EXPECT_TRUE(pub.facingPages);
    EXPECT_EQ(Unit::kMillimetre, pub.displayUnit);
    EXPECT_EQ("A. Writer", pub.metadata.author);

    const Color* red = ColorNamed(doc, "Red");
    ASSERT_NE(nullptr, red);
    EXPECT_EQ(Color::Space::kCMYK, red->space);
    EXPECT_DOUBLE_EQ(1.0, red->m);
    EXPECT_TRUE(red->hasRGB);
    EXPECT_DOUBLE_EQ(1.0, red->r);

    const ParagraphStyle* heading = ParaStyle(doc, "Heading");
    ASSERT_NE(nullptr, heading);
    EXPECT_EQ(1, heading->attributes.alignment.value_or(-1));
    EXPECT_EQ("Times Bold", heading->attributes.character.font.value_or(""));
    EXPECT_EQ(unsigned(kUnderline), heading->attributes.character.effects.value_or(0));
    const ParagraphStyle* body = ParaStyle(doc, "Body");
    ASSERT_NE(nullptr, body);
    EXPECT_EQ(2, body->attributes.lineSpacingMode.value_or(-1)); // BASE: baseline grid
    ASSERT_EQ(2u, body->attributes.tabs.value_or(std::vector<TabStop>()).size());
    EXPECT_EQ(72, (*body->attributes.tabs)[1].position);
    EXPECT_EQ(1, (*body->attributes.tabs)[1].type);
}

TEST(ScribusGenerations, Version12PagesSpreadsItemsAndGroups) {
    ParseResult r = Load("v12-basic.sla");
    const Document& doc = r.document;
    ASSERT_EQ(3u, doc.pages.size());
    ASSERT_EQ(1u, doc.masterPages.size());
    EXPECT_EQ("Normal", doc.pages[1].masterName);
    EXPECT_DOUBLE_EQ(595.276, doc.pages[0].width); // 1.2 pages take the document's size
    // Facing pages, first page on the right: [0] [1 2].
    ASSERT_EQ(2u, doc.spreads.size());
    EXPECT_EQ(std::vector<int>({1, 2}), doc.spreads[1].pages);

    int photo = ItemNamed(doc, "Photo");
    ASSERT_GE(photo, 0);
    const Item& p = doc.items[photo];
    EXPECT_EQ(Item::Kind::kImageFrame, p.kind);
    EXPECT_EQ("images/photo.jpg", p.imageFile);
    EXPECT_DOUBLE_EQ(0.5, p.imageScaleX);
    EXPECT_DOUBLE_EQ(15, p.rotation);
    EXPECT_DOUBLE_EQ(300, p.x); // 1.2 positions are page relative already
    ASSERT_TRUE(p.annotation.has_value());
    EXPECT_EQ(8, p.annotation->actionType);
    EXPECT_EQ("http://example.org/", p.annotation->external);

    // GROUPS lists the innermost group first: Star is in 3, which is in 1.
    int star = ItemNamed(doc, "Star"), rule = ItemNamed(doc, "Rule");
    ASSERT_GE(star, 0);
    ASSERT_GE(rule, 0);
    int inner = doc.items[star].parent;
    ASSERT_GE(inner, 0);
    EXPECT_EQ(Item::Kind::kGroup, doc.items[inner].kind);
    int outer = doc.items[inner].parent;
    ASSERT_GE(outer, 0);
    EXPECT_EQ(-1, doc.items[outer].parent);
    EXPECT_EQ(std::vector<int>({inner, rule}), doc.items[outer].children);
    EXPECT_DOUBLE_EQ(120, doc.items[outer].width); // 10..130
    EXPECT_EQ(1, doc.items[star].layer);
    // The page lists top-level items only, the group where it began.
    EXPECT_EQ(std::vector<int>({ItemNamed(doc, "Story start"), photo, outer}), doc.pages[0].items);

    const Item& frame = doc.items[ItemNamed(doc, "Story start")];
    ASSERT_EQ(1u, frame.outline.size());
    EXPECT_EQ(4u, frame.outline[0].points.size());
    EXPECT_DOUBLE_EQ(200, frame.outline[0].points[2].anchor.x);
    EXPECT_EQ(2, frame.columns);
    EXPECT_DOUBLE_EQ(3, frame.textInsets.top);
}

TEST(ScribusGenerations, Version12StoryAcrossPagesWithControlCharacters) {
    ParseResult r = Load("v12-basic.sla");
    const Document& doc = r.document;
    int start = ItemNamed(doc, "Story start"), end = ItemNamed(doc, "Story end");
    ASSERT_GE(start, 0);
    ASSERT_GE(end, 0);
    EXPECT_EQ(start, doc.items[end].prevInChain);
    const Story& s = StoryOf(doc, "Story start");
    EXPECT_EQ(std::vector<int>({start, end}), s.frames);
    // 5 ends a paragraph, 4 is a tab, 30 the page number; the second frame's
    // text follows the first's, and &#x5; works like the raw byte.
    EXPECT_EQ("Title\xC2\xB6"
              "Body text with a\ttab and page #xtcontinues\xC2\xB6Last",
              Shown(s.text));
    ASSERT_EQ(3u, s.paragraphs.size());
    EXPECT_EQ("Heading", doc.Format(s.paragraphs[0]).style); // CAB 5: the first saved style
    EXPECT_EQ("Body", doc.Format(s.paragraphs[2]).style);
    ASSERT_EQ(1u, s.markers.size());
    EXPECT_EQ(Marker::Kind::kPageNumber, s.markers[0].kind);
    // Runs: the title (underlined), body, a superscript "t", body again. The
    // hyphenation bit on "x" is not an effect, so "x" joins the body run.
    ASSERT_EQ(4u, s.runs.size());
    EXPECT_EQ(unsigned(kUnderline), doc.Format(s.runs[0]).local.effects.value_or(0));
    EXPECT_DOUBLE_EQ(2.5, doc.Format(s.runs[0]).local.tracking.value_or(0));
    EXPECT_EQ(unsigned(kSuperscript), doc.Format(s.runs[2]).local.effects.value_or(0));
    EXPECT_EQ(u"t", s.text.substr(s.runs[2].start, s.runs[2].length));

    EXPECT_TRUE(doc.items[ItemNamed(doc, "Folio")].onMasterPage);
    EXPECT_EQ(1, doc.Format(StoryOf(doc, "Folio").paragraphs[0])
                     .local.alignment.value_or(-1)); // CAB 0-4: alignment
}

TEST(ScribusGenerations, CompressedFilesReadLikePlainOnes) {
    for (const char* name : {"v12-basic.sla", "v13.sla", "v14.sla", "v15.sla"}) {
        ParseResult plain = Load(name);
        ParseResult packed = Load(std::string(name) + ".gz");
        EXPECT_EQ(ParseResult::Status::kOk, packed.status) << name;
        ASSERT_EQ(plain.document.stories.size(), packed.document.stories.size()) << name;
        for (std::size_t i = 0; i < plain.document.stories.size(); ++i)
            EXPECT_EQ(plain.document.stories[i].text, packed.document.stories[i].text) << name;
        EXPECT_EQ(plain.document.items.size(), packed.document.items.size()) << name;
    }
}

TEST(ScribusGenerations, Version13CanvasCoordinatesAndIndexedStyles) {
    ParseResult r = Load("v13.sla");
    ASSERT_EQ(ParseResult::Status::kOk, r.status);
    const Document& doc = r.document;
    EXPECT_EQ(Generation::k13, doc.generation);
    EXPECT_EQ(Unit::kInch, doc.publication.displayUnit);

    int second = ItemNamed(doc, "Second");
    ASSERT_GE(second, 0);
    EXPECT_EQ(1, doc.items[second].page);
    EXPECT_DOUBLE_EQ(20, doc.items[second].x); // 120 on the canvas, page at 100
    EXPECT_DOUBLE_EQ(40, doc.items[second].y);
    EXPECT_DOUBLE_EQ(25, doc.pages[1].margins.left);
    int folio = ItemNamed(doc, "Folio");
    ASSERT_GE(folio, 0);
    EXPECT_TRUE(doc.items[folio].onMasterPage);
    EXPECT_DOUBLE_EQ(10, doc.items[folio].x);
    EXPECT_EQ(std::vector<int>({folio}), doc.masterPages[0].items);

    const Story& s = StoryOf(doc, "First");
    EXPECT_EQ(&s, &StoryOf(doc, "Second"));
    EXPECT_EQ("Article 1\t\t1\xC2\xB6Second paragraph", Shown(s.text));
    ASSERT_EQ(2u, s.paragraphs.size());
    EXPECT_EQ("Article", doc.Format(s.paragraphs[0]).style);
    ASSERT_EQ(1u, s.runs.size());
    const CharacterAttributes& c = doc.Format(s.runs[0]).local;
    EXPECT_EQ("Blue", c.fillColor.value_or(""));
    EXPECT_EQ(80, c.fillShade.value_or(0));
    EXPECT_EQ(unsigned(kStrikeThrough), c.effects.value_or(0));
    EXPECT_DOUBLE_EQ(3, c.baselineShift.value_or(0));
    const ParagraphStyle* article = ParaStyle(doc, "Article");
    ASSERT_NE(nullptr, article);
    ASSERT_EQ(1u, article->attributes.tabs.value_or(std::vector<TabStop>()).size());
    EXPECT_EQ(u".", (*article->attributes.tabs)[0].fill);

    ASSERT_EQ(1u, doc.sections.size());
    EXPECT_EQ(5, doc.sections[0].start);
    EXPECT_EQ("Type_i_ii_iii", doc.sections[0].type);
    // The page set "Double sided" starts on the right.
    ASSERT_EQ(2u, doc.spreads.size());
    EXPECT_EQ(1u, doc.spreads[1].pages.size());
}

TEST(ScribusGenerations, Version14NamedStylesAndSpecialCharacters) {
    ParseResult r = Load("v14.sla");
    ASSERT_EQ(ParseResult::Status::kOk, r.status);
    EXPECT_TRUE(r.warnings.empty());
    const Document& doc = r.document;
    EXPECT_EQ(Generation::k14, doc.generation);

    const ParagraphStyle* heading = ParaStyle(doc, "Heading");
    ASSERT_NE(nullptr, heading);
    EXPECT_EQ("Body", heading->basedOn);
    EXPECT_EQ(unsigned(kAllCaps), heading->attributes.character.effects.value_or(0));
    const ParagraphStyle* body = ParaStyle(doc, "Body");
    ASSERT_NE(nullptr, body);
    EXPECT_EQ("Body chars", body->attributes.characterStyle.value_or(""));
    ASSERT_EQ(2u, body->attributes.tabs.value_or(std::vector<TabStop>()).size());
    EXPECT_EQ(4, (*body->attributes.tabs)[1].type);
    ASSERT_EQ(3u, doc.characterStyles.size());
    const CharacterStyle& emphasis = doc.characterStyles[2];
    EXPECT_EQ("Body chars", emphasis.basedOn);
    EXPECT_EQ(unsigned(kUnderline | kStrikeThrough), emphasis.attributes.effects.value_or(0));
    EXPECT_FALSE(doc.characterStyles[1].attributes.effects.has_value()); // "inherit" sets nothing

    const Story& s = StoryOf(doc, "Chapter");
    EXPECT_EQ("Chapter one\xC2\xB6It was a dark night.\tTabbed|new line\xC2\xA0"
              "end\xC2\xB6Page # of #",
              Shown(s.text));
    ASSERT_EQ(3u, s.paragraphs.size());
    EXPECT_EQ("Heading", doc.Format(s.paragraphs[0]).style);
    EXPECT_EQ(3, doc.Format(s.paragraphs[1]).local.alignment.value_or(-1));
    EXPECT_EQ("Body", doc.Format(s.paragraphs[2]).style); // from the first frame's trail
    ASSERT_EQ(2u, s.markers.size());
    EXPECT_EQ(Marker::Kind::kPageCount, s.markers[1].kind);
    bool emphasised = false, smallCaps = false;
    for (const CharacterRun& run : s.runs) {
        std::u16string part = s.text.substr(run.start, run.length);
        if (doc.Format(run).style == "Emphasis") emphasised = part == u"dark";
        if (doc.Format(run).local.effects.value_or(0) == kSmallCaps) smallCaps = part == u"Page ";
    }
    EXPECT_TRUE(emphasised);
    EXPECT_TRUE(smallCaps);
}

TEST(ScribusGenerations, Version14ChainsGroupsPathTextAndContents) {
    ParseResult r = Load("v14.sla");
    const Document& doc = r.document;
    int chapter = ItemNamed(doc, "Chapter"), cont = ItemNamed(doc, "Chapter cont"),
        end = ItemNamed(doc, "Chapter end");
    ASSERT_GE(chapter, 0);
    // NEXTITEM counts page objects only; the text is all in the first frame.
    EXPECT_EQ(std::vector<int>({chapter, cont, end}), StoryOf(doc, "Chapter").frames);
    EXPECT_EQ(3u, doc.stories.size()); // folio, chapter, path text

    int curve = ItemNamed(doc, "Curve");
    ASSERT_GE(curve, 0);
    EXPECT_EQ(Item::Kind::kPathText, doc.items[curve].kind);
    EXPECT_TRUE(doc.items[curve].pathTextFlipped);
    EXPECT_DOUBLE_EQ(2.5, doc.items[curve].pathTextOffset);
    EXPECT_EQ("Along the path", Shown(StoryOf(doc, "Curve").text));
    EXPECT_DOUBLE_EQ(50, doc.items[curve].outline.at(0).points.at(0).right.x); // control point

    int control = ItemNamed(doc, "Group control"), square = ItemNamed(doc, "Square");
    int group = doc.items[control].parent;
    ASSERT_GE(group, 0);
    EXPECT_TRUE(doc.items[control].isGroupControl);
    EXPECT_EQ(std::vector<int>({control, square}), doc.items[group].children);

    int folio = ItemNamed(doc, "Folio");
    EXPECT_EQ(1, doc.items[folio].page); // master "Normal Right", at 600,20
    EXPECT_DOUBLE_EQ(300, doc.items[folio].x);

    ASSERT_EQ(1u, doc.tablesOfContents.size());
    EXPECT_EQ("TOC", doc.tablesOfContents[0].itemAttributeName);
    EXPECT_EQ("TOC frame", doc.tablesOfContents[0].frameName);
    EXPECT_TRUE(doc.tablesOfContents[0].listNonPrinting);
    ASSERT_EQ(1u, doc.items[chapter].attributes.size());
    EXPECT_EQ("Chapter one", doc.items[chapter].attributes[0].value);

    EXPECT_EQ(1, doc.pages[2].position);
}

// Much of 1.5 is checked on the documents Scribus wrote (test_real_documents.cpp);
// here what those do not hold.
TEST(ScribusGenerations, Version15StoryTextTablesGroupsAndColourSpaces) {
    ParseResult r = Load("v15.sla");
    ASSERT_EQ(ParseResult::Status::kOk, r.status);
    EXPECT_TRUE(r.warnings.empty());
    const Document& doc = r.document;
    EXPECT_EQ(Generation::k15, doc.generation);
    EXPECT_EQ("Ünïcode ✓", doc.publication.metadata.title);
    EXPECT_EQ("multi\nline", doc.publication.metadata.comments);
    EXPECT_DOUBLE_EQ(8.5, doc.publication.bleed.top);
    ASSERT_NE(nullptr, ColorNamed(doc, "Gold"));
    EXPECT_DOUBLE_EQ(0.6, ColorNamed(doc, "Gold")->y);
    EXPECT_EQ("Gold", doc.characterStyles[1].attributes.backgroundColor.value_or(""));
    EXPECT_EQ("+liga", doc.characterStyles[1].attributes.fontFeatures.value_or(""));

    // Chained by ItemID, across the nested group that lies between them.
    int lead = ItemNamed(doc, "Lead"), follow = ItemNamed(doc, "Follow");
    const Story& s = StoryOf(doc, "Lead");
    EXPECT_EQ(std::vector<int>({lead, follow}), s.frames);
    EXPECT_EQ(3, doc.Defaults(doc.items[lead]).local.alignment.value_or(-1));
    EXPECT_EQ("Default Paragraph Style", doc.Defaults(doc.items[lead]).style);
    const std::u16string expected =
        u"Grüße stark \U0001D11E\t\u2028\u00A0\u2011\u200B\u2060\u2029Seite \uFFFC/\uFFFC\f\fEnde";
    EXPECT_EQ(expected, s.text);
    EXPECT_EQ("Arabic", doc.Format(s.paragraphs.at(0)).style);
    ASSERT_EQ(4u, s.markers.size());
    EXPECT_EQ(Marker::Kind::kFrameBreak, s.markers[3].kind);
    ASSERT_TRUE(doc.items[lead].annotation.has_value());
    EXPECT_EQ(2, doc.items[lead].annotation->targetPage);
    EXPECT_EQ("Go on", doc.items[lead].annotation->tooltip);

    // Positions inside nested groups stay page relative; curves keep their
    // control points.
    int zigzag = ItemNamed(doc, "Zigzag");
    EXPECT_EQ(1, doc.items[zigzag].page);
    EXPECT_DOUBLE_EQ(140, doc.items[zigzag].x);
    EXPECT_EQ(std::vector<int>({ItemNamed(doc, "Outer group")}), doc.pages[1].items);
    const SubPath& round = doc.items[ItemNamed(doc, "Circle")].outline.at(0);
    EXPECT_TRUE(round.closed);
    ASSERT_EQ(4u, round.points.size());
    EXPECT_DOUBLE_EQ(38.8, round.points[0].right.x);
    EXPECT_DOUBLE_EQ(11.2, round.points[0].left.x);
    EXPECT_FALSE(doc.items[zigzag].outline.at(0).closed);

    const Table& t = doc.items[ItemNamed(doc, "Prices")].table.value();
    EXPECT_EQ(std::vector<double>({100, 100}), t.columnWidths);
    ASSERT_EQ(3u, t.cells.size());
    EXPECT_EQ(2, t.cells[0].columnSpan);
    EXPECT_EQ("Gold", t.cells[0].fillColor);
    EXPECT_DOUBLE_EQ(3, t.cells[0].padding.top);
    EXPECT_EQ(2,
              doc.Format(doc.stories[t.cells[2].story].paragraphs[0]).local.alignment.value_or(-1));

    const Item& logo = doc.items[ItemNamed(doc, "Logo")];
    EXPECT_TRUE(logo.imageEmbedded);
    EXPECT_EQ("png", logo.embeddedImageType);
    EXPECT_EQ("eJzLSM3JyVcozy/KSQEAGgQEXQ==", logo.embeddedImageData);

    // 1.6 reads as the latest generation.
    ParseResult v16 = Load("v16.sla");
    EXPECT_EQ("1.6.1", v16.document.version);
    EXPECT_EQ(Generation::k15, v16.document.generation);
    EXPECT_EQ(expected, StoryOf(v16.document, "Lead").text);
}

// The document's language (which decides the script of CJK text that says
// nothing else) and an outline of several subpaths, each closed only by Z.
TEST(ScribusGenerations, LanguageAndOpenSubpathsAsWritten) {
    ParseResult r = ParseBytes(
        "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT LANGUAGE=\"zh_TW\"><PAGE/>"
        "<PAGEOBJECT PTYPE=\"7\" OwnPage=\"0\" ANNAME=\"two\" path=\"M0,0 L10,0\tM20 0 L30 0 Z\"/>"
        "</DOCUMENT></SCRIBUSUTF8NEW>");
    EXPECT_EQ(r.document.publication.language, "zh_TW");
    ASSERT_GE(ItemNamed(r.document, "two"), 0);
    const Item& two = r.document.items[ItemNamed(r.document, "two")];
    ASSERT_EQ(two.outline.size(), 2u); // commas and tabs separate numbers too
    EXPECT_EQ(two.outline[0].points.size(), 2u);
    EXPECT_FALSE(two.outline[0].closed);
    EXPECT_TRUE(two.outline[1].closed);
}

} // namespace
