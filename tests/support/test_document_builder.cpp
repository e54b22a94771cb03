// The document builder that writers' tests rely on: the trees it makes must
// follow docs/document-model.md, or every test built on them proves nothing.
#include "support/ConversionState.h"
#include "support/DocumentBuilder.h"

#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <gtest/gtest.h>

namespace {

using namespace ombra_test;

// Ids are unique, every reference names an Element of the tree, values have
// their bound types, the runs of every text (stories, notes, cells) cover it
// in order without gaps, and each anchored object stands on its U+FFFC.
void ExpectConventions(const std::vector<Element*>& elements) {
    EXPECT_EQ(CheckValueTypes(elements), "");
    EXPECT_EQ(CheckReferences(elements), "");
    for (Element* child : FindAll(elements, EL::kChildStory)) {
        std::u16string text = StoryText(child);
        EXPECT_EQ(CheckRuns(child), "") << Utf8(text);
        for (auto [listKind, attr] :
             {std::pair<EL::ElementTypeEnum, AN::AttrNameEnum>{EL::kFootnoteList, AN::kPosition},
              {EL::kTableRunList, AN::kTextIndex},
              {EL::kVariableRunList, AN::kPos}}) {
            Element* anchored = child->GetChild(listKind);
            for (unsigned long long i = 0; anchored && i < anchored->GetChildCount(); ++i)
                EXPECT_EQ(text.at(Int(anchored->GetNthChild(i), attr)), u'\uFFFC');
        }
    }
}

class Builder : public ::testing::Test {
protected:
    ConversionState state_;
};

TEST_F(Builder, TheSampleFollowsTheConventions) {
    DocumentBuilder b;
    ASSERT_TRUE(BuildTestDocument("sample", b));
    const std::vector<Element*>& elements = b.Build();
    std::vector<EL::ElementTypeEnum> kinds;
    for (Element* e : elements)
        kinds.push_back(e->GetElementType());
    EXPECT_EQ(kinds, (std::vector<EL::ElementTypeEnum>{
                         EL::kPublication, EL::kColorList, EL::kFontList, EL::kLayerList,
                         EL::kCharacterStyleList, EL::kParagraphStyleList, EL::kMasterSpreadList,
                         EL::kRegularSpreadList, EL::kStoryList, EL::kHyperlinkList}));
    EXPECT_EQ(&b.Build(), &elements) << "built once";

    ExpectConventions(elements);
    EXPECT_GE(FindAll(elements, EL::kChildStory).size(), 10u);
}

TEST_F(Builder, TextsRunsTablesAndFramesAreWhereTheCallsPutThem) {
    DocumentBuilder b;
    unsigned layer = b.AddLayer("L");
    unsigned body = b.AddParagraphStyle("Body");
    unsigned emphasis = b.AddCharacterStyle("Emphasis", kNoId, WSE::kRomanScript);
    unsigned master = b.AddMasterPage(b.AddMasterSpread("M"), "A", 100, 200);
    unsigned spread = b.AddSpread();
    unsigned page = b.AddPage(spread, master);
    StoryBuilder& story = b.AddStory();
    story.Text("Ab ").Text("é日😀", RunStyle::Script(WSE::kJapaneseScript)).EndPara(body);
    story.Text("x", RunStyle::Style(emphasis)).Ruby("漢字", "かんじ").Footnote("note", true);
    story.Variable("7");
    story.AddTable(2, 3).Cell(0, 0, "wide", 1, 1).Cell(0, 2, "c").Cell(1, 2, "d");
    unsigned first = b.AddTextFrame(page, story.Id(), OBRect(0, 0, 10, 10), layer);
    unsigned second = b.AddTextFrame(b.AddGroup(page, layer), story.Id(), OBRect(0, 20, 10, 30));
    unsigned loose = b.AddTextFrame(spread, story.Id(), OBRect());
    story.PageLink("to the page", page);
    const std::vector<Element*>& elements = b.Build();
    ExpectConventions(elements);

    Element* child = FindFirst(elements, EL::kChildStory);
    EXPECT_EQ(StoryText(child), u"Ab é日\U0001F600\u2029x漢字\uFFFC\uFFFC\uFFFCto the page");
    Element* paragraphs = child->GetChild(EL::kParagraphRunList);
    ASSERT_EQ(paragraphs->GetChildCount(), 2u)
        << "the open last paragraph is closed without U+2029";
    EXPECT_EQ(Id(paragraphs->GetNthChild(0), AN::kParagraphStyleID), body);
    Element* japanese = child->GetChild(EL::kCharacterRunList)->GetNthChild(1);
    auto* script = dynamic_cast<ValueWritingScriptEnum*>(
        OBGetAttributeValue(japanese->GetChild(EL::kCharacterAttributes), AN::kWritingScript));
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(script->GetMember(), WSE::kJapaneseScript);
    EXPECT_EQ(Id(japanese, AN::kParagraphStyleID), body);
    EXPECT_EQ(Id(child->GetChild(EL::kCharacterRunList)->GetNthChild(2), AN::kCharacterStyleID),
              emphasis);
    // Ruby over its base; a spanning cell given once, at its top left.
    EXPECT_EQ(Int(FindFirst(child, EL::kRubiRun), AN::kStartCharacterPosition), 9);
    EXPECT_EQ(Int(FindFirst(child, EL::kRubiRun), AN::kEndCharacterPosition), 11);
    std::vector<Element*> cells = FindAll({FindFirst(child, EL::kTable)}, EL::kTableCell);
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(Int(cells[0], AN::kEndColumnNumber), 1);

    // Frames of one story are chained in the order they were added; pages
    // come before the spread's pasteboard.
    EXPECT_EQ(Id(b.Find(page), AN::kBasedOn), master);
    EXPECT_EQ(Id(b.Find(first), AN::kLayer), layer);
    EXPECT_EQ(Id(b.Find(first), AN::kNextTextObject), second);
    EXPECT_EQ(Id(b.Find(second), AN::kPreviousTextObject), first);
    EXPECT_EQ(Id(b.Find(loose), AN::kPreviousTextObject), second);
    EXPECT_EQ(b.Find(spread)->GetNthChild(0)->GetElementType(), EL::kRegularPage);
    EXPECT_NE(FindFirst(b.Find(spread), EL::kPasteboardDrawingObjectList), nullptr);
    Element* source = FindFirst(elements, EL::kHyperLinkTextSource);
    EXPECT_EQ(Id(source, AN::kStory), story.Id());
    EXPECT_EQ(Int(source, AN::kStartPosition), 14);
    EXPECT_EQ(Int(source, AN::kEndPosition), 25);
    EXPECT_EQ(Id(FindFirst(elements, EL::kHyperLinkPageAnchor), AN::kPage), page);
}

TEST_F(Builder, ReleasedElementsAndNamedDocumentsBelongToTheCaller) {
    std::vector<Element*> released;
    {
        DocumentBuilder b;
        b.AddStory().Para("kept after the builder");
        released = b.Release();
    }
    EXPECT_EQ(StoryText(FindFirst(released, EL::kChildStory)), u"kept after the builder\u2029");
    for (Element* e : released)
        delete e;

    EXPECT_TRUE(HasTestDocument("minimal"));
    EXPECT_EQ(TestDocumentName(TestDocumentInput("sample")), "sample");
    EXPECT_EQ(TestDocumentName("ombra-test-document:a b"), "a");
    EXPECT_EQ(TestDocumentName("something else"), "");
    {
        ScopedTestDocument scoped("builder-test",
                                  [](DocumentBuilder& b) { b.AddStory().Para("x"); });
        DocumentBuilder b;
        EXPECT_TRUE(BuildTestDocument("builder-test", b));
        EXPECT_NE(FindFirst(b.Build(), EL::kParentStory), nullptr);
    }
    DocumentBuilder b;
    EXPECT_FALSE(BuildTestDocument("builder-test", b));
}

} // namespace
