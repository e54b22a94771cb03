// The registry of named test documents that the document reader plug-in
// builds, with the recipes every suite finds there.
#include "DocumentBuilder.h"

#include <ombra/valueutil.h>

#include <mutex>
#include <utility>

namespace ombra_test {

namespace {

void Minimal(DocumentBuilder& b) {
    unsigned body = b.AddParagraphStyle("Normal");
    StoryBuilder& story = b.AddStory();
    story.Para("Hello, world.", body);
    b.AddTextFrame(b.AddPage(b.AddSpread()), story.Id(), OBRect(36, 36, 576, 756));
}

void Sample(DocumentBuilder& b) {
    b.MetaData("Ombra sample", "Ombra tests");
    b.AddCmykColor("Black", 0, 0, 0, 1);
    b.AddRgbColor("Red", 1, 0, 0);
    b.AddFont("Helvetica");
    b.AddFont("MS Mincho", WSE::kJapaneseScript);
    unsigned text = b.AddLayer("Text");
    unsigned notes = b.AddLayer("Notes", false);
    unsigned normal = b.AddParagraphStyle("Normal");
    unsigned heading = b.AddParagraphStyle("Heading", normal);
    unsigned body = b.AddParagraphStyle("Body", normal);
    unsigned japanese = b.AddParagraphStyle("Japanese", body, kNoId, WSE::kJapaneseScript);
    unsigned emphasis = b.AddCharacterStyle("Emphasis");

    unsigned masters = b.AddMasterSpread("A-Master");
    unsigned master = b.AddMasterPage(masters, "A");
    unsigned spread = b.AddSpread();
    unsigned page1 = b.AddPage(spread, master);
    unsigned page2 = b.AddPage(spread, master);

    StoryBuilder& article = b.AddStory();
    article.Para("Ombra sample", heading);
    article.Text("Plain text with ").Text("emphasis", RunStyle::Style(emphasis));
    article.Text(" and a note").Footnote("The note's text.");
    article.Text(".").EndPara(body);
    article.Text("Prices:").EndPara(body);
    TableBuilder& table = article.AddTable(2, 3).HeaderRows(1);
    table.Cell(0, 0, "Item").Cell(0, 1, "Count").Cell(0, 2, "Price");
    table.Cell(1, 0, "Pens").Cell(1, 1, "12").Cell(1, 2, "3.50");
    article.EndPara(body);
    article.Text("See ").Link("the project page", "https://example.org/ombra");
    article.Text(".").EndPara(body);
    b.AddTextFrame(page1, article.Id(), OBRect(36, 36, 576, 756), text);

    StoryBuilder& jp = b.AddStory();
    RunStyle ja = RunStyle::Script(WSE::kJapaneseScript);
    jp.Text("これは", ja).Ruby("漢字", "かんじ", ja).Text("です。", ja).EndPara(japanese);
    jp.Kenten("強調", KKE::kSesameDot, ja).Text("と", ja).Tcy("12", ja).EndPara(japanese);
    b.AddTextFrame(page2, jp.Id(), OBRect(36, 36, 576, 756), text);

    StoryBuilder& hidden = b.AddStory();
    hidden.Para("Editor's note: check the prices.", body);
    b.AddTextFrame(page1, hidden.Id(), OBRect(400, 700, 576, 756), notes);

    StoryBuilder& running = b.AddStory();
    running.Para("Running head", normal);
    b.AddTextFrame(master, running.Id(), OBRect(36, 10, 576, 30));
}

void SetDate(OBAttributeStore& store, AN::AttrNameEnum attr, int year, int month, int day) {
    Value* v = nullptr;
    ValueUtil::CreateValueDateTime(year, month, day, 9, 30, 0, v);
    store.Set(attr, v);
}

// Styles with formatting, a heading hierarchy and every inline feature.
void FeatureArticle(DocumentBuilder& b, StoryBuilder& article, unsigned target, unsigned page2,
                    unsigned inlinePicture) {
    unsigned red = b.AddRgbColor("Red", 1, 0, 0);
    unsigned blue = b.AddCmykColor("Blue", 1, 0.5, 0, 0);
    unsigned normal = b.AddParagraphStyle("Normal");
    b.ParagraphFormat(normal).SetLength(AN::kLeading, 12);
    b.CharacterFormat(normal).SetUtf8(AN::kFont, "DejaVu Serif");
    b.CharacterFormat(normal).SetLength(AN::kFontSize, 10);
    unsigned title = b.AddParagraphStyle("Title", normal);
    b.CharacterFormat(title).SetLength(AN::kFontSize, 24);
    b.CharacterFormat(title).SetBool(AN::kBold, true);
    b.ParagraphFormat(title).SetLength(AN::kSpaceAfter, 12);
    Value* v = nullptr;
    ValueUtil::CreateValueAlignmentEnum(AE::kCenter, v);
    b.ParagraphFormat(title).Set(AN::kAlignment, v);
    unsigned heading = b.AddParagraphStyle("Heading 2", normal);
    b.CharacterFormat(heading).SetLength(AN::kFontSize, 14);
    b.CharacterFormat(heading).SetId(AN::kColorRef, blue);
    b.ParagraphFormat(heading).SetLength(AN::kSpaceBefore, 6);
    unsigned body = b.AddParagraphStyle("Body", normal);
    b.ParagraphFormat(body).SetLength(AN::kFirstIndent, 12);
    ValueUtil::CreateValueAlignmentEnum(AE::kJustify, v);
    b.ParagraphFormat(body).Set(AN::kAlignment, v);
    unsigned quote = b.AddParagraphStyle("Quote", body);
    b.ParagraphFormat(quote).SetLength(AN::kLeftIndent, 24);
    b.ParagraphFormat(quote).SetLength(AN::kRightIndent, 24);
    b.CharacterFormat(quote).SetBool(AN::kItalics, true);
    unsigned emphasis = b.AddCharacterStyle("Emphasis");
    b.CharacterFormat(emphasis).SetBool(AN::kItalics, true);
    unsigned strong = b.AddCharacterStyle("Strong Emphasis", emphasis);
    b.CharacterFormat(strong).SetBool(AN::kBold, true);
    b.CharacterFormat(strong).SetId(AN::kColorRef, red);

    article.Para("Ombra features", title);
    article.Text("Plain, ").Text("emphasis", RunStyle::Style(emphasis)).Text(", ");
    article.Text("strong", RunStyle::Style(strong)).Text(", local ");
    article.Text("bold", RunStyle().Bold()).Text(" and ");
    article.Text("red", RunStyle().Color(red).Size(12)).Text(".").EndPara(body);
    article.Para("Tables", heading);
    TableBuilder& table = article.AddTable(4, 3).HeaderRows(1).FooterRows(1);
    table.Cell(0, 0, "Item").Cell(0, 1, "Count").Cell(0, 2, "Price");
    table.Cell(1, 0, "Pens and pencils", -1, 1).Cell(1, 2, "3.50", 2, -1);
    table.Cell(2, 0, "Ink").Cell(2, 1, "2");
    table.CellText(3, 0, -1, 1).Text("Total").EndPara().Text("(two lines)");
    table.Cell(3, 2, "7.00");
    article.EndPara(body);
    article.Text("A note").Footnote("The note's text.").Text(" and an endnote");
    article.Footnote("The endnote's text.", true).Text(".").EndPara(body);
    article.Text("Links: ").Link("a web page", "https://example.org/ombra?a=1&b=<2>");
    article.Text(", ").PageLink("page 2", page2).Text(" and ");
    article.TextLink("the Japanese story", target, 3).Text(".").EndPara(body);
    article.Text("Page ").Variable("1").Text(" of ").Variable("3").Text(".").EndPara(body);
    article.Text("A picture in the text: ").Inline(inlinePicture).Text(".").EndPara(body);
    article.Marker("\u2022\t", PNSE::kBullet).Text("A bulleted item.").EndPara(body);
    article.Marker("1.\t", PNSE::kArabic).Text("A numbered item").EndPara(body);
    article.Marker("a)\t", PNSE::kLowerAlpha, 2).Text("and one inside it.").EndPara(body);
    article.Text("Quoted\u2028with a line break\tand a tab.").EndPara(quote);
    article.Text("Special <characters> & \"quotes\" 'too', soft\u00ADhyphen, no-break\u00A0space.");
    article.EndPara(body);
    article.Text("Before a column break\fafter it").EndPara(body);
}

void Features(DocumentBuilder& b) {
    b.MetaData("Ombra features", "Ombra tests");
    OBAttributeStore& meta = b.MetaDataStore();
    meta.SetUtf8(AN::kSubject, "What the writers express");
    meta.SetUtf8(AN::kKeywords, "ruby, kenten, tables");
    SetDate(meta, AN::kCreated, 2024, 5, 17);
    SetDate(meta, AN::kModified, 2024, 6, 1);
    meta.SetInteger(AN::kNumPages, 3);
    b.AddFont("DejaVu Serif");
    b.AddFont("Noto Serif CJK JP", WSE::kJapaneseScript);
    unsigned text = b.AddLayer("Text");
    unsigned hidden = b.AddLayer("Hidden", false);
    unsigned master = b.AddMasterPage(b.AddMasterSpread("A-Master"), "A");
    unsigned spread = b.AddSpread();
    unsigned page1 = b.AddPage(spread, master);
    unsigned page2 = b.AddPage(spread, master);
    unsigned page3 = b.AddPage(b.AddSpread(), master);

    StoryBuilder& article = b.AddStory();
    StoryBuilder& japanese = b.AddStory();
    StoryBuilder& vertical = b.AddStory();
    b.AddPicture(page1, OBRect(36, 600, 300, 756), "images/photo.jpg", "A photo");
    unsigned icon = b.AddPicture(page1, OBRect(0, 0, 12, 12), "C:\\Pictures\\icon.png");
    b.AddPicture(page2, OBRect(36, 600, 300, 756), "");
    FeatureArticle(b, article, japanese.Id(), page2, icon);
    b.AddTextFrame(page1, article.Id(), OBRect(36, 36, 576, 580), text);

    unsigned style = b.AddParagraphStyle("Japanese", kNoId, kNoId, WSE::kJapaneseScript);
    b.CharacterFormat(style).SetUtf8(AN::kFont, "Noto Serif CJK JP");
    RunStyle ja = RunStyle::Script(WSE::kJapaneseScript);
    japanese.Text("これは", ja).Ruby("漢字", "かんじ", ja).Text("と", ja);
    japanese.RubyPerCharacter("東京", "とう きょう", ja).Text("です。", ja).EndPara(style);
    japanese.Kenten("強調", KKE::kSesameDot, ja).Text("、", ja);
    japanese.Kenten("丸", KKE::kWhiteCircle, ja, 0, true).Text("、", ja);
    japanese.Kenten("星", KKE::kCustom, ja, 0x2605).Text("と", ja).Tcy("12", ja).Text("月", ja);
    japanese.Warichu("割注の例です", ja).Text("。", ja).EndPara(style);
    b.AddTextFrame(page2, japanese.Id(), OBRect(36, 36, 576, 580), text);

    vertical.Vertical().Text("縦書きの", ja).Ruby("文章", "ぶんしょう", ja).Text("で", ja);
    vertical.Tcy("2024", ja).Text("年、", ja).Kenten("圏点", KKE::kBlackCircle, ja);
    vertical.Warichu("二行の割注", ja).Text("。", ja).EndPara(style);
    b.AddTextFrame(page3, vertical.Id(), OBRect(36, 36, 576, 756), text);

    StoryBuilder& hiddenStory = b.AddStory();
    hiddenStory.Para("On a hidden layer.");
    b.AddTextFrame(page1, hiddenStory.Id(), OBRect(400, 700, 576, 756), hidden);
    StoryBuilder& running = b.AddStory();
    running.Text("Running head, page ").Variable("").EndPara();
    b.AddTextFrame(master, running.Id(), OBRect(36, 10, 576, 30));
    StoryBuilder& pasteboard = b.AddStory();
    pasteboard.Para("On the pasteboard.");
    b.AddTextFrame(spread, pasteboard.Id(), OBRect(-200, 36, -20, 100));
}

struct Registry {
    std::mutex lock;
    std::map<std::string, DocumentRecipe> recipes{
        {"minimal", Minimal}, {"sample", Sample}, {"features", Features}};
    std::vector<int> errorCodes;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

// Runs f on the registry under its lock.
template <class F> auto Locked(F f) {
    std::lock_guard<std::mutex> guard(TheRegistry().lock);
    return f(TheRegistry());
}

} // namespace

void RegisterTestDocument(const std::string& name, DocumentRecipe recipe) {
    Locked([&](Registry& r) { r.recipes[name] = std::move(recipe); });
}

void UnregisterTestDocument(const std::string& name) {
    Locked([&](Registry& r) { r.recipes.erase(name); });
}

bool HasTestDocument(const std::string& name) {
    return Locked([&](Registry& r) { return r.recipes.count(name) > 0; });
}

bool BuildTestDocument(const std::string& name, DocumentBuilder& builder) {
    DocumentRecipe recipe = Locked([&](Registry& r) {
        auto found = r.recipes.find(name);
        return found == r.recipes.end() ? DocumentRecipe() : found->second;
    });
    if (recipe) recipe(builder);
    return static_cast<bool>(recipe);
}

std::string TestDocumentInput(const std::string& name) {
    return std::string(kTestDocumentPrefix) + name + "\n";
}

std::string TestDocumentName(const std::string& input) {
    const std::string prefix = kTestDocumentPrefix;
    if (input.compare(0, prefix.size(), prefix) != 0) return std::string();
    size_t end = input.find_first_of(" \t\r\n", prefix.size());
    return input.substr(prefix.size(),
                        end == std::string::npos ? std::string::npos : end - prefix.size());
}

ScopedTestDocument::ScopedTestDocument(const std::string& name, DocumentRecipe recipe)
    : name_(name) {
    RegisterTestDocument(name, std::move(recipe));
}

ScopedTestDocument::~ScopedTestDocument() {
    UnregisterTestDocument(name_);
}

std::vector<int> ReaderErrorCodes() {
    return Locked([](Registry& r) { return r.errorCodes; });
}

void NoteReaderErrorCode(int code) {
    Locked([&](Registry& r) { r.errorCodes.push_back(code); });
}

void ClearReaderObservations() {
    Locked([](Registry& r) { r.errorCodes.clear(); });
}

} // namespace ombra_test
