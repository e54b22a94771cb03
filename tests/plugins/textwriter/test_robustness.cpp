// Trees that break the document-model conventions and output that fails:
// the text writer writes what it can, reports what it skipped or repaired,
// and never crashes (memory running out: the writers' sweep, test_writers).
#include "TextWriterTestSupport.h"

#include <ombra/valueutil.h>

#include <algorithm>

namespace {

using namespace textwriter_test;

OBAttributeStore& Store(Element* e) {
    return *OBGetAttributeStore(e);
}

class BrokenTrees : public TextWriterTest {};

TEST_F(BrokenTrees, StoriesWithoutTextAreLeftOutAndTheOthersWritten) {
    DocumentBuilder b;
    for (const char* text : {"one", "two", "three", "four"})
        b.AddStory().Para(text);
    std::vector<Element*> stories = FindAll(b.Build(), EL::kParentStory);
    Store(stories[1]->GetChild(EL::kChildStory)).Remove(AN::kTextStream);
    stories[2]->RemoveAllChildren(true);
    Result r = Convert(b, Plain());
    EXPECT_EQ(r.bytes, "one\n\nfour\n");
    EXPECT_EQ(r.Count(OBERR::kMalformedInput), 2);
    EXPECT_TRUE(logger_.Has(OBERR::kMalformedInput));
}

TEST_F(BrokenTrees, RunsAndAnchorsOutsideTheTextAreRepairedNotLost) {
    DocumentBuilder b;
    unsigned body = b.AddParagraphStyle("Body");
    StoryBuilder& story = b.AddStory();
    story.Text("abc", RunStyle::Script(WSE::kJapaneseScript)).Footnote("note").EndPara(body);
    story.Text("xyz").AddTable(1, 1).Cell(0, 0, "cell");
    story.EndPara(body);
    const std::vector<Element*>& elements = b.Build();
    Element* text = FindFirst(elements, EL::kChildStory);
    Store(FindFirst(text, EL::kCharacterRun)).SetInteger(AN::kEndCharacterPosition, 1000);
    Store(FindFirst(text, EL::kParagraphRun)).SetInteger(AN::kStartCharacterPosition, -5);
    Store(FindFirst(text, EL::kFootnote)).SetInteger(AN::kPosition, 99);
    Store(FindFirst(text, EL::kTableRun)).SetInteger(AN::kTextIndex, 5); // 'x', not U+FFFC
    // A run of another position type.
    Store(FindAll(elements, EL::kCharacterRun)[1]).SetUtf8(AN::kStartCharacterPosition, "six");
    Result r = Convert(elements, Plain([](auto& o) { o.markStyles = true; }));
    EXPECT_EQ(r.bytes, "[Body] abc\ncell\n[Body] xyz\n[1]\n\n[1] [Body] note\n")
        << "the table goes before the character its run names, the note to the end";
    EXPECT_EQ(r.Count(OBERR::kBadValue), 4);
    EXPECT_EQ(r.Count(OBERR::kMalformedInput), 1);
}

TEST_F(BrokenTrees, ReferencesToIdsThatNeverArriveCountAsAbsent) {
    DocumentBuilder b;
    unsigned normal = b.AddParagraphStyle("Normal");
    unsigned layer = b.AddLayer("Text");
    unsigned master = b.AddMasterPage(b.AddMasterSpread("M"), "A", 100, 100);
    unsigned page = b.AddPage(b.AddSpread(), master);
    StoryBuilder& story = b.AddStory();
    story.Text("styled", RunStyle::Style(b.AddCharacterStyle("Emphasis"))).EndPara(normal);
    unsigned frame = b.AddTextFrame(page, story.Id(), OBRect(), layer);
    const std::vector<Element*>& elements = b.Build();
    Store(FindFirst(elements, EL::kParagraphRun)).SetId(AN::kParagraphStyleID, 4242);
    Store(FindFirst(elements, EL::kCharacterRun)).SetId(AN::kCharacterStyleID, 4343);
    Store(b.Find(frame)).SetId(AN::kLayer, 4444);
    Store(b.Find(page)).SetId(AN::kBasedOn, 4545);
    Result r = Convert(elements, Plain([](auto& o) { o.markStyles = o.reportGeometry = true; }));
    EXPECT_EQ(r.bytes, "Page size: 612 x 792 pt\nMargins: top 36, bottom 36, left 36, right 36 pt\n"
                       "Page 1: 612 x 792 pt\n\n[Normal] styled\n");
    EXPECT_GE(r.Count(OBERR::kBrokenReference), 4);
    EXPECT_TRUE(logger_.Has(OBERR::kBrokenReference));
}

TEST_F(BrokenTrees, ElementsOfTheWrongKindAreSkipped) {
    DocumentBuilder b;
    b.AddLayer("Text");
    b.AddParagraphStyle("Body");
    StoryBuilder& story = b.AddStory();
    story.Para("kept").AddTable(1, 1).Cell(0, 0, "in a table");
    story.EndPara();
    TableBuilder& table = b.AddStory().AddTable(1, 1);
    table.Cell(0, 0, "cell");
    const std::vector<Element*>& elements = b.Build();
    FindFirst(elements, EL::kStoryList)->AddChild(OBCreateStoredElement(EL::kColor));
    FindFirst(elements, EL::kLayerList)->AddChild(OBCreateStoredElement(EL::kInk));
    FindFirst(elements, EL::kParagraphStyleList)->AddChild(new Element(EL::kCharacterStyle));
    FindFirst(elements, EL::kCharacterRunList)->AddChild(OBCreateStoredElement(EL::kLayer));
    FindAll(elements, EL::kTableRowList)[1]->AddChild(OBCreateStoredElement(EL::kTableCell));
    FindAll(elements, EL::kTableRun)[0]->RemoveAllChildren(true); // a TableRun without its Table

    std::vector<Element*> fed(elements.begin(), elements.end());
    Element undefined;                                           // a plain Element of no kind
    Element plainStory(EL::kParentStory);                        // a ParentStory that is no view
    plainStory.AddChild(OBCreateStoredElement(EL::kChildStory)); // with a text that has no stream
    fed.insert(fed.begin(), &undefined);
    fed.push_back(&plainStory);
    Result r = Convert(fed, Plain());
    EXPECT_EQ(r.bytes, "kept\n\n\ncell\n") << "the paragraph of the lost table stays empty";
    EXPECT_EQ(r.Count(OBERR::kMalformedInput), 7);
}

TEST_F(BrokenTrees, ATextStreamOfAnOddLengthLosesOnlyItsLastByte) {
    DocumentBuilder b;
    b.AddStory().Para("replaced");
    Element* text = FindFirst(b.Build(), EL::kChildStory);
    static const char kOdd[] = {'a', 0, 'b', 0, 'c'};
    Store(text).SetStream(AN::kTextStream, OBStreamUtilRef::CreateBufferStreamRead(kOdd, 5));
    Result r = Convert(b, Plain());
    EXPECT_EQ(r.bytes, "ab\n");
    EXPECT_EQ(r.Count(OBERR::kMalformedInput), 1);
    EXPECT_GE(r.Count(OBERR::kBadValue), 1) << "the runs reach past the shortened text";
}

TEST_F(BrokenTrees, StyleLoopsAndDeepNestingEndInsteadOfRunningAway) {
    DocumentBuilder b;
    unsigned a = b.AddParagraphStyle("A");
    unsigned bStyle = b.AddParagraphStyle("B", a);
    Store(b.Find(a)).SetId(AN::kBasedOn, bStyle);
    unsigned page = b.AddPage(b.AddSpread());
    unsigned group = page;
    for (int i = 0; i < 100; ++i)
        group = b.AddGroup(group);
    StoryBuilder& deep = b.AddStory();
    deep.Para("under a hundred groups", bStyle);
    b.AddTextFrame(group, deep.Id(), OBRect());
    StoryBuilder& tables = b.AddStory();
    TextBuilder* cell = &tables;
    for (int i = 0; i < 40; ++i) {
        cell->Text("t");
        cell = &cell->AddTable(1, 1).CellText(0, 0);
    }
    cell->Text("bottom");
    Result r = Convert(b, Plain());
    EXPECT_EQ(r.bytes.substr(0, 24), "under a hundred groups\n\n");
    EXPECT_EQ(r.bytes.find("bottom"), std::string::npos)
        << "nesting past the limit is not followed";
    EXPECT_GE(r.Count(OBERR::kLimitExceeded), 2);
    EXPECT_GE(r.Count(OBERR::kBrokenReference), 1) << "the BasedOn loop";
}

TEST_F(BrokenTrees, ElementsOutOfOrderOrOutsideTheirListsAreWrittenAndNoneAfterTheEnd) {
    DocumentBuilder b;
    unsigned hidden = b.AddLayer("Hidden", false);
    unsigned page = b.AddPage(b.AddSpread());
    StoryBuilder& story = b.AddStory();
    story.Para("on a hidden layer");
    b.AddTextFrame(page, story.Id(), OBRect(), hidden);
    std::vector<Element*> reversed = b.Build();
    std::reverse(reversed.begin(), reversed.end());
    Result r = Convert(reversed, Plain());
    EXPECT_EQ(r.bytes, "on a hidden layer\n") << "its frame was not known when the story came";

    // A ParentStory or a ChildStory on its own, outside a StoryList.
    DocumentBuilder single;
    single.AddStory().Para("alone");
    Element* parent = FindFirst(single.Build(), EL::kParentStory);
    EXPECT_EQ(Convert({parent, parent->GetChild(EL::kChildStory)}, Plain()).bytes,
              "alone\n\nalone\n");

    // The end marker ends the conversion once: what follows it is not written.
    CaptureOutput out;
    OBTextConversion conversion(out.Stream(), Plain());
    for (Element* e : single.Build())
        conversion.PutElement(e);
    conversion.PutElement(nullptr);
    conversion.PutElement(nullptr);
    for (Element* e : single.Build())
        conversion.PutElement(e);
    conversion.Finish();
    EXPECT_EQ(out.Data(), "alone\n");
}

// ---- output ---------------------------------------------------------------

class FailingOutput : public TextWriterTest {};

TEST_F(FailingOutput, AStreamThatRefusesBytesOrNoneStopsTheWritingOnce) {
    DocumentBuilder b;
    StoryBuilder& story = b.AddStory();
    for (int i = 0; i < 2000; ++i)
        story.Para("a paragraph of some length");
    CaptureOutput out(10);
    Result r = Convert(b, Plain(), out.Stream());
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(out.Data(), "a paragrap");
    EXPECT_EQ(out.Writes(), 1) << "nothing is offered after the first refusal";
    EXPECT_EQ(r.written, 10);
    EXPECT_EQ(r.Count(OBERR::kWriteFailed), 1);
    EXPECT_EQ(r.lastErrorCode, OBERR::kWriteFailed);
    EXPECT_TRUE(logger_.Has(OBERR::kWriteFailed));

    OBTextConversion none(nullptr, Plain()); // no stream at all is a failed write too
    for (Element* e : b.Build())
        none.PutElement(e);
    none.PutElement(nullptr);
    EXPECT_TRUE(none.HasWriteFailed());
    EXPECT_EQ(none.GetProblems().Count(OBERR::kWriteFailed), 1);
}

} // namespace
