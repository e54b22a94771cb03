// The document builder that writers' tests rely on: the trees it makes must
// follow docs/document-model.md, or every test built on them proves nothing.
#include "support/ConversionState.h"
#include "support/DocumentBuilder.h"

#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

using namespace ombra_test;

int Int(Element* e, AN::AttrNameEnum attr) {
    int n = -12345;
    if (auto* v = dynamic_cast<ValueInteger32*>(OBGetAttributeValue(e, attr))) v->Get(n);
    return n;
}

unsigned Id(Element* e, AN::AttrNameEnum attr) {
    unsigned id = kNoId;
    if (auto* v = dynamic_cast<ValueOBID*>(OBGetAttributeValue(e, attr))) v->Get(id);
    return id;
}

std::u16string Text(Element* childStory) {
    OBStream* stream = nullptr;
    if (auto* v = dynamic_cast<ValueStream*>(OBGetAttributeValue(childStory, AN::kTextStream)))
        v->Get(stream);
    std::u16string text;
    if (!stream) return text;
    stream->Seek(0, kSeekFromStart);
    unsigned char pair[2];
    while (stream->XferByte(pair, 2) == 2) text.push_back(static_cast<char16_t>(pair[0] | pair[1] << 8));
    return text;
}

// Checks that the runs of one kind cover [0, length) in order without gaps.
void ExpectCover(Element* childStory, EL::ElementTypeEnum listKind, long long length) {
    Element* list = childStory->GetChild(listKind);
    ASSERT_NE(list, nullptr);
    long long next = 0;
    for (unsigned long long i = 0; i < list->GetChildCount(); ++i) {
        Element* run = list->GetNthChild(i);
        EXPECT_EQ(Int(run, AN::kStartCharacterPosition), next) << "run " << i;
        next = Int(run, AN::kEndCharacterPosition);
    }
    EXPECT_EQ(next, length);
}

class Builder : public ::testing::Test {
protected:
    ConversionState state_;
};

TEST_F(Builder, TopLevelElementsComeInTheOrderReadersYieldThem) {
    DocumentBuilder b;
    b.MetaData("Title", "Author");
    b.AddStory().Link("link", "https://example.org/").EndPara();
    b.AddPage(b.AddSpread(), b.AddMasterPage(b.AddMasterSpread("M"), "A"));
    b.AddParagraphStyle("P");
    b.AddCharacterStyle("C");
    b.AddLayer("L");
    b.AddFont("F");
    b.AddRgbColor("Red", 1, 0, 0);
    std::vector<EL::ElementTypeEnum> kinds;
    for (Element* e : b.Build()) kinds.push_back(e->GetElementType());
    std::vector<EL::ElementTypeEnum> expected = {
        EL::kPublication,        EL::kColorList,          EL::kFontList,
        EL::kLayerList,          EL::kCharacterStyleList, EL::kParagraphStyleList,
        EL::kMasterSpreadList,   EL::kRegularSpreadList,  EL::kStoryList,
        EL::kHyperlinkList};
    EXPECT_EQ(kinds, expected);
    EXPECT_NE(b.Build()[0]->GetChild(EL::kMetaData), nullptr);
    EXPECT_EQ(&b.Build(), &b.Build()) << "built once";
}

TEST_F(Builder, StoryTextIsUtf16WithRunsThatCoverItWithoutGaps) {
    DocumentBuilder b;
    unsigned body = b.AddParagraphStyle("Body");
    unsigned emphasis = b.AddCharacterStyle("Emphasis", kNoId, WSE::kRomanScript);
    StoryBuilder& story = b.AddStory();
    story.Text("Ab ").Text("é日\xF0\x9F\x98\x80", RunStyle::Script(WSE::kJapaneseScript));
    story.EndPara(body).Text("x", RunStyle::Style(emphasis)).Ruby("漢字", "かんじ");
    Element* child = FindFirst(b.Build(), EL::kChildStory);
    ASSERT_NE(child, nullptr);
    std::u16string text = Text(child);
    EXPECT_EQ(text, u"Ab é日\U0001F600\u2029x漢字");
    ExpectCover(child, EL::kParagraphRunList, static_cast<long long>(text.size()));
    ExpectCover(child, EL::kCharacterRunList, static_cast<long long>(text.size()));

    Element* paragraphs = child->GetChild(EL::kParagraphRunList);
    ASSERT_EQ(paragraphs->GetChildCount(), 2u) << "the open last paragraph is closed without U+2029";
    EXPECT_EQ(Id(paragraphs->GetNthChild(0), AN::kParagraphStyleID), body);
    Element* runs = child->GetChild(EL::kCharacterRunList);
    Element* japanese = runs->GetNthChild(1);
    auto* script = dynamic_cast<ValueWritingScriptEnum*>(
        OBGetAttributeValue(japanese->GetChild(EL::kCharacterAttributes), AN::kWritingScript));
    ASSERT_NE(script, nullptr);
    WSE::WritingScriptEnum member = WSE::kRomanScript;
    script->Get(member);
    EXPECT_EQ(member, WSE::kJapaneseScript);
    EXPECT_EQ(Id(japanese, AN::kParagraphStyleID), body);
    EXPECT_EQ(Id(runs->GetNthChild(2), AN::kCharacterStyleID), emphasis);

    Element* ruby = FindFirst(child, EL::kRubiRun);
    ASSERT_NE(ruby, nullptr);
    EXPECT_EQ(Int(ruby, AN::kStartCharacterPosition), 9);
    EXPECT_EQ(Int(ruby, AN::kEndCharacterPosition), 11);
    auto* reading = dynamic_cast<ValueString*>(OBGetAttributeValue(ruby, AN::kRubiText));
    ASSERT_NE(reading, nullptr);
    ASSERT_TRUE(reading->GetPtr()->IsUnicode());
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(reading->GetPtr()->GrabWString())),
              u"かんじ");
}

TEST_F(Builder, AnchoredObjectsStandOnTheirObjectCharacter) {
    DocumentBuilder b;
    StoryBuilder& story = b.AddStory();
    story.Text("a").Footnote("note", true).Variable("7");
    TableBuilder& table = story.AddTable(2, 3);
    table.Cell(0, 0, "wide", 1, 1).Cell(0, 2, "c").Cell(1, 2, "d");
    const std::vector<Element*>& elements = b.Build();
    Element* child = FindFirst(elements, EL::kChildStory);
    std::u16string text = Text(child);
    ASSERT_EQ(text, u"a\uFFFC\uFFFC\uFFFC");
    Element* note = FindFirst(child, EL::kFootnote);
    EXPECT_EQ(Int(note, AN::kPosition), 1);
    auto* endnote = dynamic_cast<ValueBool16*>(OBGetAttributeValue(note, AN::kIsEndNote));
    ASSERT_NE(endnote, nullptr);
    EXPECT_EQ(Text(note->GetChild(EL::kChildStory)), u"note");
    EXPECT_EQ(Int(FindFirst(child, EL::kVariableRun), AN::kPos), 2);
    Element* tableRun = FindFirst(child, EL::kTableRun);
    EXPECT_EQ(Int(tableRun, AN::kTextIndex), 3);
    Element* t = tableRun->GetChild(EL::kTable);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(Int(t, AN::kNumberOfRows), 2);
    EXPECT_EQ(Int(t, AN::kNumberOfColumns), 3);
    std::vector<Element*> rows = FindAll({t}, EL::kTableRow);
    ASSERT_EQ(rows.size(), 2u);
    std::vector<Element*> cells = FindAll({t}, EL::kTableCell);
    ASSERT_EQ(cells.size(), 3u) << "a spanning cell appears once";
    EXPECT_EQ(Int(cells[0], AN::kEndRowNumber), 1);
    EXPECT_EQ(Int(cells[0], AN::kEndColumnNumber), 1);
    EXPECT_EQ(Int(cells[2], AN::kRowNumber), 1);
    EXPECT_EQ(Int(cells[2], AN::kColumnNumber), 2);
    EXPECT_EQ(Text(cells[1]->GetChild(EL::kChildStory)), u"c");
}

TEST_F(Builder, EveryReferenceNamesAnElementOfTheTree) {
    DocumentBuilder b;
    unsigned layer = b.AddLayer("L");
    unsigned base = b.AddParagraphStyle("Base");
    unsigned derived = b.AddParagraphStyle("Derived", base, base);
    unsigned master = b.AddMasterPage(b.AddMasterSpread("M"), "A", 100, 200);
    unsigned spread = b.AddSpread();
    unsigned page = b.AddPage(spread, master);
    StoryBuilder& story = b.AddStory();
    story.Para("text", derived).PageLink("to the page", page);
    unsigned first = b.AddTextFrame(page, story.Id(), OBRect(0, 0, 10, 10), layer);
    unsigned second = b.AddTextFrame(b.AddGroup(page, layer), story.Id(), OBRect(0, 20, 10, 30));
    unsigned loose = b.AddTextFrame(spread, story.Id(), OBRect());
    const std::vector<Element*>& elements = b.Build();

    std::set<unsigned> ids;
    std::vector<Element*> stack(elements.begin(), elements.end());
    while (!stack.empty()) {
        Element* e = stack.back();
        stack.pop_back();
        EXPECT_TRUE(ids.insert(e->GetId()).second) << "ids are unique";
        for (unsigned long long i = 0; i < e->GetChildCount(); ++i) stack.push_back(e->GetNthChild(i));
    }
    EXPECT_EQ(Id(b.Find(derived), AN::kBasedOn), base);
    EXPECT_EQ(Id(b.Find(derived), AN::kNext), base);
    EXPECT_EQ(Id(b.Find(page), AN::kBasedOn), master);
    EXPECT_EQ(Id(b.Find(first), AN::kStory), story.Id());
    EXPECT_NE(OBGetAttributeStore(b.Find(first))->Find(AN::kLayer), nullptr);
    EXPECT_EQ(Id(b.Find(first), AN::kNextTextObject), second);
    EXPECT_EQ(Id(b.Find(second), AN::kPreviousTextObject), first);
    EXPECT_EQ(Id(b.Find(loose), AN::kPreviousTextObject), second);
    EXPECT_NE(FindFirst(b.Find(spread), EL::kPasteboardDrawingObjectList), nullptr);
    EXPECT_EQ(b.Find(spread)->GetNthChild(0)->GetElementType(), EL::kRegularPage);

    Element* link = FindFirst(elements, EL::kHyperlink);
    ASSERT_NE(link, nullptr);
    Element* source = FindFirst(link, EL::kHyperLinkTextSource);
    Element* anchor = FindFirst(link, EL::kHyperLinkPageAnchor);
    ASSERT_NE(source, nullptr);
    ASSERT_NE(anchor, nullptr);
    EXPECT_EQ(Id(link, AN::kSource), source->GetId());
    EXPECT_EQ(Id(link, AN::kAnchor), anchor->GetId());
    EXPECT_EQ(Id(source, AN::kStory), story.Id());
    EXPECT_EQ(Int(source, AN::kStartPosition), 5);
    EXPECT_EQ(Int(source, AN::kEndPosition), 16);
    EXPECT_EQ(Id(anchor, AN::kPage), page);
}

TEST_F(Builder, ReleasedElementsBelongToTheCaller) {
    std::vector<Element*> released;
    {
        DocumentBuilder b;
        b.AddStory().Para("kept after the builder");
        released = b.Release();
    }
    Element* child = FindFirst(released, EL::kChildStory);
    EXPECT_EQ(Text(child), u"kept after the builder\u2029");
    for (Element* e : released) delete e;
}

TEST_F(Builder, NamedDocumentsAreFoundByTheInputThatNamesThem) {
    EXPECT_TRUE(HasTestDocument("minimal"));
    EXPECT_TRUE(HasTestDocument("sample"));
    EXPECT_EQ(TestDocumentName(TestDocumentInput("sample")), "sample");
    EXPECT_EQ(TestDocumentName("ombra-test-document:a b"), "a");
    EXPECT_EQ(TestDocumentName("something else"), "");
    {
        ScopedTestDocument scoped("builder-test", [](DocumentBuilder& b) { b.AddStory().Para("x"); });
        EXPECT_TRUE(HasTestDocument("builder-test"));
        DocumentBuilder b;
        EXPECT_TRUE(BuildTestDocument("builder-test", b));
        EXPECT_NE(FindFirst(b.Build(), EL::kParentStory), nullptr);
    }
    EXPECT_FALSE(HasTestDocument("builder-test"));
    DocumentBuilder b;
    EXPECT_FALSE(BuildTestDocument("builder-test", b));
}

} // namespace
