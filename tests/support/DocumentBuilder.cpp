#include "DocumentBuilder.h"

#include <ReaderBuilder.h>
#include <ReaderColors.h>
#include <ReaderItems.h>
#include <ReaderStory.h>

#include <ombra/files.h>
#include <ombra/memory.h>
#include <ombra/typedstreams.h>
#include <ombra/utf8.h>
#include <ombra/valueutil.h>
#include <ombra/views.h>
#include <ombra/vocabulary.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <set>

namespace ombra_test {

namespace {

OBAttributeStore& Store(Element* e) {
    return *OBGetAttributeStore(e);
}

// Test documents have nothing to report: a builder that stays quiet.
struct Quiet : obreader::ProblemSink {
    void Report(int) override {}
};

} // namespace

struct Building {
    Quiet quiet;
    ElementList unused;
    obreader::ElementBuilder b{quiet, unused};
};

namespace {

void SetScript(obreader::ElementBuilder& b, Element* e, int script) {
    if (script >= 0)
        b.Enum(e, AN::kWritingScript, &ValueUtil::CreateValueWritingScriptEnum,
               static_cast<WSE::WritingScriptEnum>(script));
}

// The local formatting a RunStyle asks for.
void SetFormat(obreader::ElementBuilder& b, Element* e, const RunStyle& style) {
    if (style.bold >= 0) b.Bool(e, AN::kBold, style.bold != 0);
    if (style.italic >= 0) b.Bool(e, AN::kItalics, style.italic != 0);
    if (style.fontSize > 0) b.Length(e, AN::kFontSize, style.fontSize);
    if (style.color != kNoId) b.Id(e, AN::kColorRef, style.color);
    if (!style.font.empty()) b.Utf8(e, AN::kFont, style.font);
}

unsigned IdOf(const Element* e) {
    return e ? e->GetId() : kNoId;
}

} // namespace

// ---- conversions -----------------------------------------------------------

std::u16string Utf16(const std::string& utf8) {
    WOBString text;
    OBStringUtils::ConvertUTF8ToUTF16String(utf8.data(), utf8.size(), text);
    const unsigned short* units = text.GrabWString();
    return std::u16string(reinterpret_cast<const char16_t*>(units),
                          units ? static_cast<size_t>(text.Length()) : 0);
}

std::string Utf8(const std::u16string& units) {
    COBString text;
    OBStringUtils::ConvertUTF16StringToUTF8(reinterpret_cast<const unsigned short*>(units.data()),
                                            units.size(), text);
    const char* bytes = text.GrabCString();
    return std::string(bytes ? bytes : "", bytes ? static_cast<size_t>(text.Length()) : 0);
}

RunStyle RunStyle::Script(WSE::WritingScriptEnum script) {
    return Style(kNoId, script);
}

RunStyle RunStyle::Style(unsigned characterStyle, int script) {
    RunStyle style;
    style.characterStyle = characterStyle;
    style.script = script;
    return style;
}

// ---- TextBuilder -----------------------------------------------------------

TextBuilder::TextBuilder() : paragraphStart_(0), openParagraphStyle_(kNoId) {}
TextBuilder::~TextBuilder() = default;

TextBuilder& TextBuilder::AppendRun(const std::u16string& units, RunStyle style) {
    if (units.empty()) return *this;
    long long start = Length();
    text_ += units;
    runs_.push_back({start, Length(), style.characterStyle, style.script, std::string(), 0});
    runFormats_.push_back(style);
    return *this;
}

long long TextBuilder::AppendObject() {
    long long position = Length();
    AppendRun(std::u16string(1, u'\uFFFC'), RunStyle());
    return position;
}

TextBuilder& TextBuilder::Para(const std::string& utf8, unsigned paragraphStyle, RunStyle style) {
    Text(utf8, style);
    return EndPara(paragraphStyle);
}

TextBuilder& TextBuilder::Text(const std::string& utf8, RunStyle style) {
    return AppendRun(Utf16(utf8), style);
}

TextBuilder& TextBuilder::Units(const std::u16string& units, RunStyle style) {
    return AppendRun(units, style);
}

TextBuilder& TextBuilder::EndPara(unsigned paragraphStyle) {
    text_.push_back(u'\u2029');
    // The paragraph end belongs to the run before it.
    if (!runs_.empty() && runs_.back().end == Length() - 1)
        runs_.back().end = Length();
    else {
        runs_.push_back({Length() - 1, Length(), kNoId, -1, std::string(), 0});
        runFormats_.push_back(RunStyle());
    }
    unsigned style = paragraphStyle != kNoId ? paragraphStyle : openParagraphStyle_;
    paragraphs_.push_back({paragraphStart_, Length(), style, -1, std::string(), 0});
    paragraphStart_ = Length();
    openParagraphStyle_ = kNoId;
    return *this;
}

TextBuilder& TextBuilder::ParaStyle(unsigned paragraphStyle) {
    openParagraphStyle_ = paragraphStyle;
    return *this;
}

TextBuilder& TextBuilder::Mark(std::vector<Span>& spans, const std::string& utf8, RunStyle style,
                               Span span) {
    span.start = Length();
    Text(utf8, style);
    span.end = Length();
    spans.push_back(span);
    return *this;
}

TextBuilder& TextBuilder::Ruby(const std::string& base, const std::string& reading,
                               RunStyle style) {
    return Mark(rubies_, base, style, {0, 0, kNoId, -1, reading, 0});
}

TextBuilder& TextBuilder::RubyPerCharacter(const std::string& base, const std::string& readings,
                                           RunStyle style) {
    return Mark(rubies_, base, style, {0, 0, kNoId, -1, readings, 1});
}

TextBuilder& TextBuilder::Kenten(const std::string& utf8, KKE::KentenKindEnum kind, RunStyle style,
                                 unsigned short character, bool belowLeft) {
    return Mark(kentens_, utf8, style,
                {0, 0, kNoId, -1, std::string(), static_cast<int>(kind),
                 character | (belowLeft ? 1LL << 16 : 0)});
}

TextBuilder& TextBuilder::Warichu(const std::string& utf8, RunStyle style) {
    return Mark(warichus_, utf8, style, {0, 0, kNoId, -1, std::string(), 0});
}

TextBuilder& TextBuilder::Tcy(const std::string& utf8, RunStyle style) {
    return Mark(tcys_, utf8, style, {0, 0, kNoId, -1, std::string(), 0});
}

TextBuilder& TextBuilder::Footnote(const std::string& utf8, bool endnote) {
    AddFootnote(endnote).Text(utf8);
    return *this;
}

TextBuilder& TextBuilder::AddFootnote(bool endnote) {
    long long position = AppendObject();
    notes_.push_back({position, endnote, std::make_unique<TextBuilder>()});
    return *notes_.back().text;
}

TableBuilder& TextBuilder::AddTable(int rows, int columns) {
    long long position = AppendObject();
    tables_.push_back({position, std::make_unique<TableBuilder>(rows, columns)});
    return *tables_.back().table;
}

TextBuilder& TextBuilder::Variable(const std::string& shown) {
    long long position = AppendObject();
    variables_.push_back({position, position + 1, kNoId, -1, shown, 0});
    return *this;
}

TextBuilder& TextBuilder::Link(const std::string& utf8, const std::string& url, RunStyle style) {
    return Mark(links_, utf8, style, {0, 0, kNoId, -1, url, 0});
}

TextBuilder& TextBuilder::PageLink(const std::string& utf8, unsigned page, RunStyle style) {
    return Mark(links_, utf8, style, {0, 0, page, -1, std::string(), 1});
}

TextBuilder& TextBuilder::TextLink(const std::string& utf8, unsigned story, long long position,
                                   RunStyle style) {
    return Mark(links_, utf8, style, {0, 0, story, -1, std::string(), 2, position});
}

TextBuilder& TextBuilder::Inline(unsigned item) {
    AppendObject();
    inlines_.push_back(item);
    return *this;
}

TextBuilder& TextBuilder::Vertical() {
    vertical_ = true;
    return *this;
}

Element* TextBuilder::BuildChildStory(unsigned story, std::vector<Element*>& hyperlinks) const {
    Building building;
    obreader::ElementBuilder& b = building.b;
    Element* child = b.Loose(EL::kChildStory);
    if (!child) return nullptr;
    obreader::SetTextStream(b, child, text_.data(), text_.size());
    std::vector<Span> paragraphs = paragraphs_;
    if (paragraphStart_ < Length())
        paragraphs.push_back(
            {paragraphStart_, Length(), openParagraphStyle_, -1, std::string(), 0});
    auto paragraphStyleAt = [&](long long position) {
        for (const Span& p : paragraphs)
            if (p.start <= position && position < p.end) return p.id;
        return kNoId;
    };
    obreader::StoryLists lists(b, child);
    for (const Span& p : paragraphs) {
        Element* run = lists.Run(EL::kParagraphRunList, EL::kParagraphRun, p.start, p.end);
        if (p.id != kNoId) b.Id(run, AN::kParagraphStyleID, p.id);
        b.Child(run, EL::kParagraphAttributes);
    }
    for (size_t i = 0; i < runs_.size(); ++i) {
        const Span& r = runs_[i];
        Element* run = lists.Run(EL::kCharacterRunList, EL::kCharacterRun, r.start, r.end);
        if (r.id != kNoId) b.Id(run, AN::kCharacterStyleID, r.id);
        unsigned paragraphStyle = paragraphStyleAt(r.start);
        if (paragraphStyle != kNoId) b.Id(run, AN::kParagraphStyleID, paragraphStyle);
        Element* attributes = b.Child(run, EL::kCharacterAttributes);
        SetScript(b, attributes, r.script);
        SetFormat(b, attributes, runFormats_[i]);
    }
    for (const Span& s : rubies_) {
        Element* run = lists.Run(EL::kRubiRunList, EL::kRubiRun, s.start, s.end);
        b.Utf8(run, AN::kRubiText, s.text);
        if (s.kind == 1)
            b.Enum(b.Child(run, EL::kRubiAttributes), AN::kType,
                   &ValueUtil::CreateValueRubyTypeEnum, RTE::kPerCharacter);
    }
    for (const Span& s : kentens_) {
        Element* run = lists.Run(EL::kKentenRunList, EL::kKentenRun, s.start, s.end);
        b.Enum(run, AN::kKentenKind, &ValueUtil::CreateValueKentenKindEnum,
               static_cast<KKE::KentenKindEnum>(s.kind));
        if (s.target & 0xFFFF) {
            auto* character = new ValueChar;
            character->Init(static_cast<unsigned short>(s.target & 0xFFFF));
            b.Put(run, AN::kKentenCharacter, character);
        }
        if (s.target >> 16)
            b.Enum(b.Child(run, EL::kKentenAttributes), AN::kPosition,
                   &ValueUtil::CreateValueRubyKentenPositionEnum, RKPE::kBelowLeft);
    }
    for (const Span& s : warichus_)
        lists.Run(EL::kWarichuRunList, EL::kWarichuRun, s.start, s.end);
    for (const Span& s : tcys_)
        lists.Run(EL::kTCYRunList, EL::kTCYRun, s.start, s.end);
    if (vertical_)
        b.Enum(child, AN::kTextDirection, &ValueUtil::CreateValueTextDirectionEnum, TDE::kVertical);
    if (!inlines_.empty()) {
        Value* list = nullptr;
        ValueUtil::CreateValueIdRefList(list);
        if (auto* ids = dynamic_cast<ValueIdRefList*>(list))
            for (unsigned id : inlines_)
                ids->Add(id);
        b.Put(child, AN::kInlineObjectList, list);
    }
    for (const Anchored& t : tables_)
        b.Attach(lists.At(EL::kTableRunList, EL::kTableRun, AN::kTextIndex, t.position),
                 t.table->BuildTable());
    for (const Span& v : variables_)
        b.Utf8(lists.At(EL::kVariableRunList, EL::kVariableRun, AN::kPos, v.start), AN::kStaticText,
               v.text);
    for (const Note& n : notes_) {
        Element* note = lists.At(EL::kFootnoteList, EL::kFootnote, AN::kPosition, n.position);
        b.Bool(note, AN::kIsEndNote, n.endnote);
        b.Attach(note, n.text->BuildChildStory(kNoId, hyperlinks));
    }
    if (story != kNoId)
        for (const Span& l : links_)
            if (Element* link = BuildLink(b, story, l)) hyperlinks.push_back(link);
    return child;
}

Element* TextBuilder::BuildLink(obreader::ElementBuilder& b, unsigned story, const Span& l) const {
    Element* link = b.Loose(EL::kHyperlink);
    Element* source = b.Child(link, EL::kHyperLinkTextSource);
    Element* anchor = b.Child(link, l.kind == 1   ? EL::kHyperLinkPageAnchor
                                    : l.kind == 2 ? EL::kHyperLinkTextAnchor
                                                  : EL::kHyperLinkURLAnchor);
    if (!source || !anchor) {
        b.Delete(link);
        return nullptr;
    }
    b.Id(source, AN::kStory, story);
    b.Int(source, AN::kStartPosition, l.start);
    b.Int(source, AN::kEndPosition, l.end);
    if (l.kind == 1) {
        b.Id(anchor, AN::kPage, l.id);
    } else if (l.kind == 2) {
        b.Id(anchor, AN::kStory, l.id);
        b.Int(anchor, AN::kPosition, l.target);
    } else
        b.Utf8(anchor, AN::kURL, l.text);
    b.Utf8(link, AN::kName, Utf8(text_.substr(l.start, l.end - l.start)));
    b.Id(link, AN::kSource, source->GetId());
    b.Id(link, AN::kAnchor, anchor->GetId());
    return link;
}

// ---- TableBuilder ------------------------------------------------------------

TableBuilder::TableBuilder(int rows, int columns)
    : rows_(rows), columns_(columns), headerRows_(0) {}
TableBuilder::~TableBuilder() = default;

TableBuilder& TableBuilder::Cell(int row, int column, const std::string& utf8, int endRow,
                                 int endColumn) {
    CellText(row, column, endRow, endColumn).Text(utf8);
    return *this;
}

TextBuilder& TableBuilder::CellText(int row, int column, int endRow, int endColumn) {
    cells_.push_back({row, column, endRow, endColumn, std::make_unique<TextBuilder>()});
    return *cells_.back().text;
}

TableBuilder& TableBuilder::HeaderRows(int n) {
    headerRows_ = n;
    return *this;
}

TableBuilder& TableBuilder::FooterRows(int n) {
    footerRows_ = n;
    return *this;
}

Element* TableBuilder::BuildTable() const {
    Building building;
    obreader::ElementBuilder& b = building.b;
    Element* table = b.Loose(EL::kTable);
    b.Int(table, AN::kNumberOfRows, rows_);
    b.Int(table, AN::kNumberOfColumns, columns_);
    b.Int(table, AN::kHeaderRows, headerRows_);
    b.Int(table, AN::kFooterRows, footerRows_);
    Element* rows = b.Child(table, EL::kTableRowList);
    std::vector<Element*> unused;
    for (int r = 0; r < rows_; ++r) {
        Element* row = b.Child(rows, EL::kTableRow);
        b.Int(row, AN::kRowNumber, r);
        Element* list = b.Child(row, EL::kTableCellList);
        std::vector<const CellEntry*> inRow;
        for (const CellEntry& c : cells_)
            if (c.row == r) inRow.push_back(&c);
        std::stable_sort(inRow.begin(), inRow.end(), [](const CellEntry* a, const CellEntry* b) {
            return a->column < b->column;
        });
        for (const CellEntry* c : inRow) {
            Element* cell = b.Child(list, EL::kTableCell);
            b.Int(cell, AN::kRowNumber, c->row);
            b.Int(cell, AN::kColumnNumber, c->column);
            if (c->endRow >= 0) b.Int(cell, AN::kEndRowNumber, c->endRow);
            if (c->endColumn >= 0) b.Int(cell, AN::kEndColumnNumber, c->endColumn);
            b.Attach(cell, c->text->BuildChildStory(kNoId, unused));
        }
    }
    for (Element* e : unused)
        delete e;
    return table;
}

// ---- DocumentBuilder --------------------------------------------------------

DocumentBuilder::DocumentBuilder()
    : building_(new Building), b_(building_->b), publication_(new OBStoredPublication) {
    Keep(publication_);
    PageSize(612, 792).Margins(36, 36, 36, 36).StartPage(1);
}

DocumentBuilder::~DocumentBuilder() {
    if (!released_) {
        Build();
        for (Element* e : built_)
            delete e;
    }
}

Element* DocumentBuilder::Keep(Element* e) {
    if (e) elements_[e->GetId()] = e;
    return e;
}

Element* DocumentBuilder::List(Element*& list, EL::ElementTypeEnum kind) {
    if (!list) list = b_.Loose(kind);
    return list;
}

Element* DocumentBuilder::Named(Element*& list, EL::ElementTypeEnum listKind,
                                EL::ElementTypeEnum kind, const std::string& name) {
    Element* e = Keep(b_.Child(List(list, listKind), kind));
    b_.Utf8(e, AN::kName, name);
    return e;
}

DocumentBuilder& DocumentBuilder::PageSize(double width, double height,
                                           UNITS::LINEAR::UnitEnum unit) {
    b_.Length(publication_, AN::kPageWidth, width, unit);
    b_.Length(publication_, AN::kPageHeight, height, unit);
    return *this;
}

DocumentBuilder& DocumentBuilder::Margins(double top, double bottom, double left, double right,
                                          UNITS::LINEAR::UnitEnum unit) {
    b_.Length(publication_, AN::kTopMargin, top, unit);
    b_.Length(publication_, AN::kBottomMargin, bottom, unit);
    b_.Length(publication_, AN::kLeftMargin, left, unit);
    b_.Length(publication_, AN::kRightMargin, right, unit);
    return *this;
}

DocumentBuilder& DocumentBuilder::StartPage(int number) {
    b_.Int(publication_, AN::kStartPageNum, number);
    return *this;
}

DocumentBuilder& DocumentBuilder::MetaData(const std::string& title, const std::string& author) {
    MetaDataStore().SetUtf8(AN::kTitle, title.c_str());
    MetaDataStore().SetUtf8(AN::kAuthor, author.c_str());
    return *this;
}

OBAttributeStore& DocumentBuilder::MetaDataStore() {
    Element* meta = publication_->GetChild(EL::kMetaData);
    return Store(meta ? meta : b_.Child(publication_, EL::kMetaData));
}

OBAttributeStore& DocumentBuilder::CharacterFormat(unsigned style) {
    return Store(Find(style)->GetChild(EL::kCharacterAttributes));
}

OBAttributeStore& DocumentBuilder::ParagraphFormat(unsigned paragraphStyle) {
    return Store(Find(paragraphStyle)->GetChild(EL::kParagraphAttributes));
}

unsigned DocumentBuilder::AddRgbColor(const std::string& name, double red, double green,
                                      double blue) {
    obreader::ColorSpec rgb{name, false, CTE::kProcess, CME::kRGB, {red, green, blue, 0}};
    return IdOf(Keep(obreader::AddColor(b_, List(colors_, EL::kColorList), rgb)));
}

unsigned DocumentBuilder::AddCmykColor(const std::string& name, double cyan, double magenta,
                                       double yellow, double black) {
    obreader::ColorSpec cmyk{
        name, false, CTE::kProcess, CME::kCMYK, {cyan, magenta, yellow, black}};
    return IdOf(Keep(obreader::AddColor(b_, List(colors_, EL::kColorList), cmyk)));
}

unsigned DocumentBuilder::AddFont(const std::string& name, WSE::WritingScriptEnum script) {
    Element* font = Named(fonts_, EL::kFontList, EL::kFont, name);
    SetScript(b_, font, script);
    return IdOf(font);
}

unsigned DocumentBuilder::AddLayer(const std::string& name, bool visible, bool printing,
                                   bool locked) {
    Element* layer = Named(layers_, EL::kLayerList, EL::kLayer, name);
    b_.Bool(layer, AN::kVisible, visible);
    b_.Bool(layer, AN::kIsNonPrinting, !printing);
    b_.Bool(layer, AN::kLocked, locked);
    return IdOf(layer);
}

unsigned DocumentBuilder::AddCharacterStyle(const std::string& name, unsigned basedOn, int script) {
    Element* style = Named(characterStyles_, EL::kCharacterStyleList, EL::kCharacterStyle, name);
    if (basedOn != kNoId) b_.Id(style, AN::kBasedOn, basedOn);
    SetScript(b_, b_.Child(style, EL::kCharacterAttributes), script);
    return IdOf(style);
}

unsigned DocumentBuilder::AddParagraphStyle(const std::string& name, unsigned basedOn,
                                            unsigned next, int script) {
    Element* style = Named(paragraphStyles_, EL::kParagraphStyleList, EL::kParagraphStyle, name);
    if (basedOn != kNoId) b_.Id(style, AN::kBasedOn, basedOn);
    if (next != kNoId) b_.Id(style, AN::kNext, next);
    b_.Child(style, EL::kParagraphAttributes);
    SetScript(b_, b_.Child(style, EL::kCharacterAttributes), script);
    return IdOf(style);
}

unsigned DocumentBuilder::AddMasterSpread(const std::string& name) {
    return IdOf(Named(masterSpreads_, EL::kMasterSpreadList, EL::kMasterSpread, name));
}

unsigned DocumentBuilder::AddMasterPage(unsigned masterSpread, const std::string& name,
                                        double width, double height) {
    Element* page = Keep(b_.Child(Find(masterSpread), EL::kMasterPage));
    if (!page) return kNoId;
    b_.Utf8(page, AN::kName, name);
    if (width > 0) b_.Length(page, AN::kPageWidth, width);
    if (height > 0) b_.Length(page, AN::kPageHeight, height);
    containers_[page->GetId()] = b_.Child(page, EL::kDrawingObjectList);
    return page->GetId();
}

unsigned DocumentBuilder::AddSpread() {
    return IdOf(Keep(b_.Child(List(spreads_, EL::kRegularSpreadList), EL::kRegularSpread)));
}

unsigned DocumentBuilder::AddPage(unsigned spread, unsigned master) {
    Element* owner = Find(spread);
    // Pages come before the spread's pasteboard list, if it has one.
    Element* page = b_.Loose(EL::kRegularPage);
    long long pasteboard = -1;
    if (owner) owner->GetChildAndItsPosition(EL::kPasteboardDrawingObjectList, pasteboard);
    if (!owner || !page ||
        !(pasteboard >= 0 ? owner->AddChildBeforePosition(page, pasteboard)
                          : owner->AddChild(page))) {
        b_.Delete(page);
        return kNoId;
    }
    Keep(page);
    if (master != kNoId) b_.Id(page, AN::kBasedOn, master);
    containers_[page->GetId()] = b_.Child(page, EL::kDrawingObjectList);
    return page->GetId();
}

Element* DocumentBuilder::Item(unsigned container, EL::ElementTypeEnum kind, unsigned layer,
                               bool visible) {
    auto found = containers_.find(container);
    Element* target = found != containers_.end() ? found->second : nullptr;
    Element* spread = target ? nullptr : Find(container);
    if (!target && spread && spread->GetElementType() == EL::kRegularSpread)
        target = containers_[container] = b_.Child(spread, EL::kPasteboardDrawingObjectList);
    Element* item = Keep(b_.Child(target, kind));
    if (layer != kNoId) b_.Id(item, AN::kLayer, layer);
    b_.Bool(item, AN::kVisible, visible);
    return item;
}

unsigned DocumentBuilder::AddTextFrame(unsigned container, unsigned story, const OBRect& box,
                                       unsigned layer, bool visible) {
    Element* frame = Item(container, EL::kText, layer, visible);
    if (!frame) return kNoId;
    Store(frame).SetRect(AN::kBoundingBox, box);
    b_.Id(frame, AN::kStory, story);
    b_.Int(frame, AN::kNumberOfColumns, 1);
    frames_[story].push_back(frame);
    return frame->GetId();
}

unsigned DocumentBuilder::AddRectangle(unsigned container, const OBRect& box, unsigned layer) {
    Element* item = Item(container, EL::kRectangle, layer, true);
    if (item) Store(item).SetRect(AN::kBoundingBox, box);
    return IdOf(item);
}

unsigned DocumentBuilder::AddGroup(unsigned container, unsigned layer, bool visible) {
    Element* group = Item(container, EL::kGroup, layer, visible);
    if (group) containers_[group->GetId()] = group;
    return IdOf(group);
}

unsigned DocumentBuilder::AddPicture(unsigned container, const OBRect& box, const std::string& path,
                                     const std::string& alt, unsigned layer) {
    Element* item = Item(container, EL::kPicture, layer, true);
    if (!item) return kNoId;
    Store(item).SetRect(AN::kBoundingBox, box);
    if (!alt.empty()) b_.Utf8(item, AN::kAlternativeText, alt);
    obreader::AddLinkInformation(b_, item, path, false);
    return item->GetId();
}

StoryBuilder& DocumentBuilder::AddStory() {
    storyBuilders_.push_back(std::make_unique<StoryBuilder>());
    StoryBuilder& story = *storyBuilders_.back();
    story.parent_ = Keep(b_.Child(List(stories_, EL::kStoryList), EL::kParentStory));
    story.id_ = story.parent_ ? story.parent_->GetId() : story.id_;
    return story;
}

Element* DocumentBuilder::Find(unsigned id) const {
    auto found = elements_.find(id);
    return found == elements_.end() ? nullptr : found->second;
}

const std::vector<Element*>& DocumentBuilder::Build() {
    if (!built_.empty() || released_) return built_;
    std::vector<Element*> hyperlinks;
    for (auto& story : storyBuilders_) {
        if (!story->parent_) continue;
        b_.Attach(story->parent_, story->BuildChildStory(story->id_, hyperlinks));
        if (story->vertical_)
            b_.Enum(story->parent_, AN::kTextDirection, &ValueUtil::CreateValueTextDirectionEnum,
                    TDE::kVertical);
    }
    for (auto& chain : frames_) {
        for (size_t i = 0; i < chain.second.size(); ++i) {
            if (i > 0) b_.IdOf(chain.second[i], AN::kPreviousTextObject, chain.second[i - 1]);
            if (i + 1 < chain.second.size())
                b_.IdOf(chain.second[i], AN::kNextTextObject, chain.second[i + 1]);
        }
    }
    if (spreads_) {
        b_.Int(publication_, AN::kNumberOfSpreads, spreads_->GetChildCount());
        Element* first = spreads_->GetNthChild(0);
        long long pages = 0;
        for (unsigned long long i = 0; first && i < first->GetChildCount(); ++i)
            if (first->GetNthChild(i)->GetElementType() == EL::kRegularPage) ++pages;
        b_.Int(publication_, AN::kNumberOfPagesPerSpread, pages);
    }
    Element* links = hyperlinks.empty() ? nullptr : b_.Loose(EL::kHyperlinkList);
    for (Element* link : hyperlinks)
        b_.Attach(links, link);
    for (Element* e :
         {static_cast<Element*>(publication_), colors_, fonts_, layers_, characterStyles_,
          paragraphStyles_, masterSpreads_, spreads_, stories_, links})
        if (e) built_.push_back(e);
    return built_;
}

std::vector<Element*> DocumentBuilder::Release() {
    Build();
    released_ = true;
    std::vector<Element*> out;
    out.swap(built_);
    return out;
}

// ---- searching ---------------------------------------------------------------

namespace {
// Depth-first, the root first: the Elements that match (only the first, when first).
void Walk(Element* e, const std::function<bool(Element*)>& match, bool first,
          std::vector<Element*>& out) {
    if (!e || (first && !out.empty())) return;
    if (match(e)) out.push_back(e);
    for (unsigned long long i = 0; i < e->GetChildCount(); ++i)
        Walk(e->GetNthChild(i), match, first, out);
}

std::vector<Element*> Walk(const std::vector<Element*>& roots,
                           const std::function<bool(Element*)>& match, bool first) {
    std::vector<Element*> out;
    for (Element* root : roots)
        Walk(root, match, first, out);
    return out;
}

Element* First(const std::vector<Element*>& roots, const std::function<bool(Element*)>& match) {
    std::vector<Element*> found = Walk(roots, match, true);
    return found.empty() ? nullptr : found[0];
}
} // namespace

Element* FindFirst(Element* root, EL::ElementTypeEnum kind) {
    return FindFirst(std::vector<Element*>{root}, kind);
}

Element* FindFirst(const std::vector<Element*>& roots, EL::ElementTypeEnum kind) {
    return First(roots, [kind](Element* e) { return e->GetElementType() == kind; });
}

std::vector<Element*> FindAll(const std::vector<Element*>& roots, EL::ElementTypeEnum kind) {
    return Walk(
        roots, [kind](Element* e) { return e->GetElementType() == kind; }, false);
}

// ---- the registry of named documents ---------------------------------------------

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

// ---- reading trees -------------------------------------------------------------

std::vector<Element*> Children(Element* e, EL::ElementTypeEnum kind) {
    std::vector<Element*> out;
    for (unsigned long long i = 0; e && i < e->GetChildCount(); ++i)
        if (Element* c = e->GetNthChild(i))
            if (c->GetElementType() == kind) out.push_back(c);
    return out;
}

std::vector<Element*> Descendants(Element* e, EL::ElementTypeEnum kind) {
    return FindAll({e}, kind);
}

namespace {
template <class T> T* ValueOf(Element* e, AN::AttrNameEnum attr) {
    return dynamic_cast<T*>(OBGetAttributeValue(e, attr));
}
} // namespace

Element* FindId(const std::vector<Element*>& roots, unsigned id) {
    return First(roots, [id](Element* e) { return e->GetId() == id; });
}

double Points(Element* e, AN::AttrNameEnum attr) {
    OBReal r = std::nan("");
    if (auto* v = ValueOf<ValueLength>(e, attr)) v->Get(UNITS::LINEAR::kPoints, r);
    return r;
}

double Ratio(Element* e, AN::AttrNameEnum attr) {
    OBReal r = std::nan("");
    if (auto* v = ValueOf<ValuePercent>(e, attr)) v->Get(r);
    return r;
}

long long Int(Element* e, AN::AttrNameEnum attr) {
    int n = -1;
    if (auto* v = ValueOf<ValueInteger32>(e, attr)) v->Get(n);
    return n;
}

int Flag(Element* e, AN::AttrNameEnum attr) {
    short f = -1;
    if (auto* v = ValueOf<ValueBool16>(e, attr)) v->Get(f);
    return f;
}

unsigned Id(Element* e, AN::AttrNameEnum attr) {
    Value* v = OBGetAttributeValue(e, attr);
    if (!v)
        if (OBAttributeStore* store = OBGetAttributeStore(e)) v = store->Find(attr);
    unsigned id = kNoId;
    if (auto* value = dynamic_cast<ValueOBID*>(v)) value->Get(id);
    return id;
}

std::string Str(Element* e, AN::AttrNameEnum attr) {
    auto* v = ValueOf<ValueString>(e, attr);
    WOBString text;
    if (v) v->Get(text);
    const unsigned short* units = text.GrabWString();
    if (!units) return "";
    return Utf8(std::u16string(reinterpret_cast<const char16_t*>(units),
                               static_cast<std::size_t>(text.Length())));
}

int EnumOf(Element* e, AN::AttrNameEnum attr) {
    auto* v = ValueOf<ValueEnumBase>(e, attr);
    return v ? v->GetMember() : -1;
}

std::u16string StoryText(Element* childStory) {
    std::u16string out;
    OBStream* stream = nullptr;
    if (auto* value = ValueOf<ValueStream>(childStory, AN::kTextStream)) value->Get(stream);
    if (!stream) return out;
    stream->Seek(0, kSeekFromStart);
    unsigned char pair[2];
    while (stream->XferByte(pair, 2) == 2)
        out.push_back(static_cast<char16_t>(pair[0] | (pair[1] << 8)));
    return out;
}

namespace {
void CheckTypes(Element* e, std::string& faults) {
    std::string kind = OBElementTypeName(e->GetElementType());
    if (OBAttributeStore* store = OBGetAttributeStore(e)) {
        int found = 0;
        for (int a = 0; a < AN::kUndefined; ++a) {
            auto attr = static_cast<AN::AttrNameEnum>(a);
            Value* v = store->Find(attr);
            if (!v) continue;
            ++found;
            VT::ValueTypeEnum type = VT::ekUndefined;
            v->GetType(type);
            const OBViewAccessorInfo* accessor = OBFindViewAccessor(e->GetElementType(), attr);
            VT::ValueTypeEnum want = accessor ? accessor->valueType : OBAttrDefaultValueType(attr);
            // Only the page-item attributes every item carries may stand
            // where the kind's view has no accessor for them.
            bool allowed = accessor || attr == AN::kLayer || attr == AN::kRegularPageIdRef;
            if (type != want || !allowed)
                faults += kind + "." + OBAttrNameString(attr) + ": type " + OBValueTypeName(type) +
                          ", bound " + OBValueTypeName(want) + (allowed ? "" : " (no accessor)") +
                          "\n";
        }
        if (found != store->Count()) faults += kind + ": values stored under indexes\n";
    } else {
        faults += kind + ": not a stored element\n";
    }
}
} // namespace

std::string CheckValueTypes(const std::vector<Element*>& roots) {
    std::string faults;
    for (Element* e : Walk(
             roots, [](Element*) { return true; }, false))
        CheckTypes(e, faults);
    return faults;
}

std::string CheckRuns(Element* childStory) {
    const long long length = static_cast<long long>(StoryText(childStory).size());
    std::string faults;
    for (EL::ElementTypeEnum list : {EL::kParagraphRunList, EL::kCharacterRunList}) {
        EL::ElementTypeEnum kind =
            list == EL::kParagraphRunList ? EL::kParagraphRun : EL::kCharacterRun;
        long long at = 0;
        for (Element* l : Children(childStory, list))
            for (Element* run : Children(l, kind)) {
                long long start = Int(run, AN::kStartCharacterPosition),
                          end = Int(run, AN::kEndCharacterPosition);
                if (start != at || end <= start || end > length)
                    faults += std::string(OBElementTypeName(kind)) + " [" + std::to_string(start) +
                              ", " + std::to_string(end) + ") where " + std::to_string(at) +
                              " was due\n";
                at = end;
            }
        if (at != length)
            faults += std::string(OBElementTypeName(list)) + " ends at " + std::to_string(at) +
                      " of " + std::to_string(length) + "\n";
    }
    return faults;
}

std::string CheckReferences(const std::vector<Element*>& roots, int* references) {
    std::string faults;
    std::set<unsigned> ids;
    std::vector<Element*> all = Walk(
        roots, [](Element*) { return true; }, false);
    for (Element* e : all)
        if (!ids.insert(e->GetId()).second)
            faults += "id " + std::to_string(e->GetId()) + " twice\n";
    int count = 0;
    for (Element* e : all)
        for (int a = 0; OBGetAttributeStore(e) && a < AN::kUndefined; ++a) {
            auto attr = static_cast<AN::AttrNameEnum>(a);
            unsigned target = kNoId;
            auto* id = dynamic_cast<ValueOBID*>(OBGetAttributeStore(e)->Find(attr));
            if (!id) continue;
            id->Get(target);
            ++count;
            if (!ids.count(target))
                faults += std::string(OBElementTypeName(e->GetElementType())) + "." +
                          OBAttrNameString(attr) + " names nothing\n";
        }
    if (references) *references = count;
    return faults;
}

} // namespace ombra_test
