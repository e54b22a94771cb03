#include "DocumentBuilder.h"

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

void SetScript(Element* e, int script) {
    if (!e || script < 0) return;
    Value* v = nullptr;
    ValueUtil::CreateValueWritingScriptEnum(static_cast<WSE::WritingScriptEnum>(script), v);
    Store(e).Set(AN::kWritingScript, v);
}

void SetName(Element* e, const std::string& name) {
    if (e) Store(e).SetUtf8(AN::kName, name.c_str());
}

// The local formatting a RunStyle asks for.
void SetFormat(OBAttributeStore& store, const RunStyle& style) {
    if (style.bold >= 0) store.SetBool(AN::kBold, style.bold != 0);
    if (style.italic >= 0) store.SetBool(AN::kItalics, style.italic != 0);
    if (style.fontSize > 0) store.SetLength(AN::kFontSize, style.fontSize);
    if (style.color != kNoId) store.SetId(AN::kColorRef, style.color);
    if (!style.font.empty()) store.SetUtf8(AN::kFont, style.font.c_str());
}

// Adds child to parent; a child that cannot be added is deleted.
Element* Add(Element* parent, Element* child) {
    if (!parent || !child) return child;
    if (!parent->AddChild(child)) {
        delete child;
        return nullptr;
    }
    return child;
}

// A process colour of the model in list, with its components as ratios.
Element* NewColor(Element* list, const std::string& name, CME::ColorModelEnum model,
                  EL::ElementTypeEnum kind,
                  std::initializer_list<std::pair<AN::AttrNameEnum, double>> components) {
    Element* color = Add(list, OBCreateStoredElement(EL::kColor));
    if (!color) return nullptr;
    SetName(color, name);
    Value* v = nullptr;
    ValueUtil::CreateValueColorModelEnum(model, v);
    Store(color).Set(AN::kModel, v);
    ValueUtil::CreateValueColorTypeEnum(CTE::kProcess, v);
    Store(color).Set(AN::kType, v);
    if (Element* values = Add(color, OBCreateStoredElement(kind)))
        for (const auto& c : components)
            Store(values).SetPercent(c.first, c.second);
    return color;
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
    Element* child = OBCreateStoredElement(EL::kChildStory);
    if (!child) return nullptr;
    const long long length = Length();

    // The text: UTF-16 little-endian, no mark, no terminator.
    unsigned long long bytes = static_cast<unsigned long long>(length) * 2;
    auto* data = static_cast<unsigned char*>(bytes ? OBLibAllocate(bytes) : nullptr);
    for (long long i = 0; data && i < length; ++i) {
        data[2 * i] = static_cast<unsigned char>(text_[i] & 0xFF);
        data[2 * i + 1] = static_cast<unsigned char>(text_[i] >> 8);
    }
    Store(child).SetStream(AN::kTextStream,
                           OBStreamUtilRef::CreateBufferStreamRead(data, data ? bytes : 0, 1));

    std::vector<Span> paragraphs = paragraphs_;
    if (paragraphStart_ < length)
        paragraphs.push_back({paragraphStart_, length, openParagraphStyle_, -1, std::string(), 0});
    auto paragraphStyleAt = [&](long long position) {
        for (const Span& p : paragraphs)
            if (p.start <= position && position < p.end) return p.id;
        return kNoId;
    };

    // A list with an element of the kind per item, made only for items.
    auto each = [&](const auto& items, EL::ElementTypeEnum listKind, EL::ElementTypeEnum kind,
                    auto&& fill) {
        if (items.empty()) return;
        Element* list = Add(child, OBCreateStoredElement(listKind));
        for (const auto& item : items)
            if (Element* e = Add(list, OBCreateStoredElement(kind))) fill(e, item);
    };
    auto ranges = [&](const std::vector<Span>& spans, EL::ElementTypeEnum listKind,
                      EL::ElementTypeEnum kind, auto&& fill) {
        each(spans, listKind, kind, [&](Element* run, const Span& s) {
            Store(run).SetInteger(AN::kStartCharacterPosition, static_cast<int>(s.start));
            Store(run).SetInteger(AN::kEndCharacterPosition, static_cast<int>(s.end));
            fill(run, s);
        });
    };
    ranges(paragraphs, EL::kParagraphRunList, EL::kParagraphRun, [](Element* run, const Span& p) {
        if (p.id != kNoId) Store(run).SetId(AN::kParagraphStyleID, p.id);
        Add(run, OBCreateStoredElement(EL::kParagraphAttributes));
    });
    size_t runIndex = 0;
    ranges(runs_, EL::kCharacterRunList, EL::kCharacterRun, [&](Element* run, const Span& r) {
        if (r.id != kNoId) Store(run).SetId(AN::kCharacterStyleID, r.id);
        unsigned paragraphStyle = paragraphStyleAt(r.start);
        if (paragraphStyle != kNoId) Store(run).SetId(AN::kParagraphStyleID, paragraphStyle);
        Element* attributes = Add(run, OBCreateStoredElement(EL::kCharacterAttributes));
        SetScript(attributes, r.script);
        if (attributes && runIndex < runFormats_.size())
            SetFormat(Store(attributes), runFormats_[runIndex]);
        ++runIndex;
    });
    ranges(rubies_, EL::kRubiRunList, EL::kRubiRun, [](Element* run, const Span& s) {
        Store(run).SetUtf8(AN::kRubiText, s.text.c_str());
        if (s.kind != 1) return;
        Value* v = nullptr;
        ValueUtil::CreateValueRubyTypeEnum(RTE::kPerCharacter, v);
        if (Element* attributes = Add(run, OBCreateStoredElement(EL::kRubiAttributes)))
            Store(attributes).Set(AN::kType, v);
        else
            ValueUtil::Recycle(v);
    });
    ranges(kentens_, EL::kKentenRunList, EL::kKentenRun, [](Element* run, const Span& s) {
        Value* v = nullptr;
        ValueUtil::CreateValueKentenKindEnum(static_cast<KKE::KentenKindEnum>(s.kind), v);
        Store(run).Set(AN::kKentenKind, v);
        if (s.target & 0xFFFF) {
            auto* character = new ValueChar;
            if (character) character->Init(static_cast<unsigned short>(s.target & 0xFFFF));
            Store(run).Set(AN::kKentenCharacter, character);
        }
        if (s.target >> 16) {
            ValueUtil::CreateValueRubyKentenPositionEnum(RKPE::kBelowLeft, v);
            if (Element* attributes = Add(run, OBCreateStoredElement(EL::kKentenAttributes)))
                Store(attributes).Set(AN::kPosition, v);
            else
                ValueUtil::Recycle(v);
        }
    });
    ranges(warichus_, EL::kWarichuRunList, EL::kWarichuRun, [](Element*, const Span&) {});
    ranges(tcys_, EL::kTCYRunList, EL::kTCYRun, [](Element*, const Span&) {});

    if (vertical_) {
        Value* v = nullptr;
        ValueUtil::CreateValueTextDirectionEnum(TDE::kVertical, v);
        Store(child).Set(AN::kTextDirection, v);
    }
    if (!inlines_.empty()) {
        Value* list = nullptr;
        ValueUtil::CreateValueIdRefList(list);
        if (auto* ids = dynamic_cast<ValueIdRefList*>(list))
            for (unsigned id : inlines_)
                ids->Add(id);
        Store(child).Set(AN::kInlineObjectList, list);
    }
    each(tables_, EL::kTableRunList, EL::kTableRun, [](Element* run, const Anchored& t) {
        Store(run).SetInteger(AN::kTextIndex, static_cast<int>(t.position));
        Add(run, t.table->BuildTable());
    });
    each(variables_, EL::kVariableRunList, EL::kVariableRun, [](Element* run, const Span& v) {
        Store(run).SetInteger(AN::kPos, static_cast<int>(v.start));
        Store(run).SetUtf8(AN::kStaticText, v.text.c_str());
    });
    each(notes_, EL::kFootnoteList, EL::kFootnote, [&](Element* note, const Note& n) {
        Store(note).SetInteger(AN::kPosition, static_cast<int>(n.position));
        Store(note).SetBool(AN::kIsEndNote, n.endnote);
        Add(note, n.text->BuildChildStory(kNoId, hyperlinks));
    });
    if (story != kNoId) {
        for (const Span& l : links_) {
            Element* link = OBCreateStoredElement(EL::kHyperlink);
            Element* source = Add(link, OBCreateStoredElement(EL::kHyperLinkTextSource));
            Element* anchor =
                Add(link, OBCreateStoredElement(l.kind == 1   ? EL::kHyperLinkPageAnchor
                                                : l.kind == 2 ? EL::kHyperLinkTextAnchor
                                                              : EL::kHyperLinkURLAnchor));
            if (!link || !source || !anchor) {
                delete link;
                continue;
            }
            Store(source).SetId(AN::kStory, story);
            Store(source).SetInteger(AN::kStartPosition, static_cast<int>(l.start));
            Store(source).SetInteger(AN::kEndPosition, static_cast<int>(l.end));
            if (l.kind == 1) {
                Store(anchor).SetId(AN::kPage, l.id);
            } else if (l.kind == 2) {
                Store(anchor).SetId(AN::kStory, l.id);
                Store(anchor).SetInteger(AN::kPosition, static_cast<int>(l.target));
            } else
                Store(anchor).SetUtf8(AN::kURL, l.text.c_str());
            Store(link).SetUtf8(AN::kName, Utf8(text_.substr(l.start, l.end - l.start)).c_str());
            Store(link).SetId(AN::kSource, source->GetId());
            Store(link).SetId(AN::kAnchor, anchor->GetId());
            hyperlinks.push_back(link);
        }
    }
    return child;
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
    Element* table = OBCreateStoredElement(EL::kTable);
    if (!table) return nullptr;
    Store(table).SetInteger(AN::kNumberOfRows, rows_);
    Store(table).SetInteger(AN::kNumberOfColumns, columns_);
    Store(table).SetInteger(AN::kHeaderRows, headerRows_);
    Store(table).SetInteger(AN::kFooterRows, footerRows_);
    Element* rows = Add(table, OBCreateStoredElement(EL::kTableRowList));
    std::vector<Element*> unused;
    for (int r = 0; r < rows_; ++r) {
        Element* row = Add(rows, OBCreateStoredElement(EL::kTableRow));
        if (!row) continue;
        Store(row).SetInteger(AN::kRowNumber, r);
        Element* list = Add(row, OBCreateStoredElement(EL::kTableCellList));
        std::vector<const CellEntry*> inRow;
        for (const CellEntry& c : cells_)
            if (c.row == r) inRow.push_back(&c);
        std::stable_sort(inRow.begin(), inRow.end(), [](const CellEntry* a, const CellEntry* b) {
            return a->column < b->column;
        });
        for (const CellEntry* c : inRow) {
            Element* cell = Add(list, OBCreateStoredElement(EL::kTableCell));
            if (!cell) continue;
            Store(cell).SetInteger(AN::kRowNumber, c->row);
            Store(cell).SetInteger(AN::kColumnNumber, c->column);
            if (c->endRow >= 0) Store(cell).SetInteger(AN::kEndRowNumber, c->endRow);
            if (c->endColumn >= 0) Store(cell).SetInteger(AN::kEndColumnNumber, c->endColumn);
            Add(cell, c->text->BuildChildStory(kNoId, unused));
        }
    }
    for (Element* e : unused)
        delete e;
    return table;
}

// ---- DocumentBuilder --------------------------------------------------------

DocumentBuilder::DocumentBuilder() : publication_(new OBStoredPublication) {
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
    if (!list) list = OBCreateStoredElement(kind);
    return list;
}

DocumentBuilder& DocumentBuilder::PageSize(double width, double height,
                                           UNITS::LINEAR::UnitEnum unit) {
    publication_->SetLength(AN::kPageWidth, width, unit);
    publication_->SetLength(AN::kPageHeight, height, unit);
    return *this;
}

DocumentBuilder& DocumentBuilder::Margins(double top, double bottom, double left, double right,
                                          UNITS::LINEAR::UnitEnum unit) {
    publication_->SetLength(AN::kTopMargin, top, unit);
    publication_->SetLength(AN::kBottomMargin, bottom, unit);
    publication_->SetLength(AN::kLeftMargin, left, unit);
    publication_->SetLength(AN::kRightMargin, right, unit);
    return *this;
}

DocumentBuilder& DocumentBuilder::StartPage(int number) {
    publication_->SetInteger(AN::kStartPageNum, number);
    return *this;
}

DocumentBuilder& DocumentBuilder::MetaData(const std::string& title, const std::string& author) {
    MetaDataStore().SetUtf8(AN::kTitle, title.c_str());
    MetaDataStore().SetUtf8(AN::kAuthor, author.c_str());
    return *this;
}

OBAttributeStore& DocumentBuilder::MetaDataStore() {
    Element* meta = publication_->GetChild(EL::kMetaData);
    if (!meta) meta = Add(publication_, OBCreateStoredElement(EL::kMetaData));
    return Store(meta);
}

OBAttributeStore& DocumentBuilder::CharacterFormat(unsigned style) {
    return Store(Find(style)->GetChild(EL::kCharacterAttributes));
}

OBAttributeStore& DocumentBuilder::ParagraphFormat(unsigned paragraphStyle) {
    return Store(Find(paragraphStyle)->GetChild(EL::kParagraphAttributes));
}

unsigned DocumentBuilder::AddRgbColor(const std::string& name, double red, double green,
                                      double blue) {
    Element* color = Keep(NewColor(List(colors_, EL::kColorList), name, CME::kRGB, EL::kRGB,
                                   {{AN::kRed, red}, {AN::kGreen, green}, {AN::kBlue, blue}}));
    return color ? color->GetId() : kNoId;
}

unsigned DocumentBuilder::AddCmykColor(const std::string& name, double cyan, double magenta,
                                       double yellow, double black) {
    Element* color = Keep(NewColor(
        List(colors_, EL::kColorList), name, CME::kCMYK, EL::kCMYK,
        {{AN::kCyan, cyan}, {AN::kMagenta, magenta}, {AN::kYellow, yellow}, {AN::kBlack, black}}));
    return color ? color->GetId() : kNoId;
}

unsigned DocumentBuilder::AddFont(const std::string& name, WSE::WritingScriptEnum script) {
    Element* font = Keep(Add(List(fonts_, EL::kFontList), OBCreateStoredElement(EL::kFont)));
    if (!font) return kNoId;
    SetName(font, name);
    SetScript(font, script);
    return font->GetId();
}

unsigned DocumentBuilder::AddLayer(const std::string& name, bool visible, bool printing,
                                   bool locked) {
    Element* layer = Keep(Add(List(layers_, EL::kLayerList), OBCreateStoredElement(EL::kLayer)));
    if (!layer) return kNoId;
    SetName(layer, name);
    Store(layer).SetBool(AN::kVisible, visible);
    Store(layer).SetBool(AN::kIsNonPrinting, !printing);
    Store(layer).SetBool(AN::kLocked, locked);
    return layer->GetId();
}

unsigned DocumentBuilder::AddCharacterStyle(const std::string& name, unsigned basedOn, int script) {
    Element* style = Keep(Add(List(characterStyles_, EL::kCharacterStyleList),
                              OBCreateStoredElement(EL::kCharacterStyle)));
    if (!style) return kNoId;
    SetName(style, name);
    if (basedOn != kNoId) Store(style).SetId(AN::kBasedOn, basedOn);
    SetScript(Add(style, OBCreateStoredElement(EL::kCharacterAttributes)), script);
    return style->GetId();
}

unsigned DocumentBuilder::AddParagraphStyle(const std::string& name, unsigned basedOn,
                                            unsigned next, int script) {
    Element* style = Keep(Add(List(paragraphStyles_, EL::kParagraphStyleList),
                              OBCreateStoredElement(EL::kParagraphStyle)));
    if (!style) return kNoId;
    SetName(style, name);
    if (basedOn != kNoId) Store(style).SetId(AN::kBasedOn, basedOn);
    if (next != kNoId) Store(style).SetId(AN::kNext, next);
    Add(style, OBCreateStoredElement(EL::kParagraphAttributes));
    SetScript(Add(style, OBCreateStoredElement(EL::kCharacterAttributes)), script);
    return style->GetId();
}

unsigned DocumentBuilder::AddMasterSpread(const std::string& name) {
    Element* spread = Keep(
        Add(List(masterSpreads_, EL::kMasterSpreadList), OBCreateStoredElement(EL::kMasterSpread)));
    if (!spread) return kNoId;
    SetName(spread, name);
    return spread->GetId();
}

unsigned DocumentBuilder::AddMasterPage(unsigned masterSpread, const std::string& name,
                                        double width, double height) {
    Element* page = Keep(Add(Find(masterSpread), OBCreateStoredElement(EL::kMasterPage)));
    if (!page) return kNoId;
    SetName(page, name);
    if (width > 0) Store(page).SetLength(AN::kPageWidth, width);
    if (height > 0) Store(page).SetLength(AN::kPageHeight, height);
    containers_[page->GetId()] = Add(page, OBCreateStoredElement(EL::kDrawingObjectList));
    return page->GetId();
}

unsigned DocumentBuilder::AddSpread() {
    Element* spread = Keep(
        Add(List(spreads_, EL::kRegularSpreadList), OBCreateStoredElement(EL::kRegularSpread)));
    return spread ? spread->GetId() : kNoId;
}

unsigned DocumentBuilder::AddPage(unsigned spread, unsigned master) {
    Element* owner = Find(spread);
    // Pages come before the spread's pasteboard list, if it has one.
    Element* page = OBCreateStoredElement(EL::kRegularPage);
    long long pasteboard = -1;
    if (owner) owner->GetChildAndItsPosition(EL::kPasteboardDrawingObjectList, pasteboard);
    if (!owner || !page ||
        !(pasteboard >= 0 ? owner->AddChildBeforePosition(page, pasteboard)
                          : owner->AddChild(page))) {
        delete page;
        return kNoId;
    }
    Keep(page);
    if (master != kNoId) Store(page).SetId(AN::kBasedOn, master);
    containers_[page->GetId()] = Add(page, OBCreateStoredElement(EL::kDrawingObjectList));
    return page->GetId();
}

Element* DocumentBuilder::Item(unsigned container, EL::ElementTypeEnum kind, unsigned layer,
                               bool visible) {
    auto found = containers_.find(container);
    Element* target = found != containers_.end() ? found->second : nullptr;
    Element* spread = target ? nullptr : Find(container);
    if (!target && spread && spread->GetElementType() == EL::kRegularSpread)
        target = containers_[container] =
            Add(spread, OBCreateStoredElement(EL::kPasteboardDrawingObjectList));
    Element* item = target ? Keep(Add(target, OBCreateStoredElement(kind))) : nullptr;
    if (item && layer != kNoId) Store(item).SetId(AN::kLayer, layer);
    if (item) Store(item).SetBool(AN::kVisible, visible);
    return item;
}

unsigned DocumentBuilder::AddTextFrame(unsigned container, unsigned story, const OBRect& box,
                                       unsigned layer, bool visible) {
    Element* frame = Item(container, EL::kText, layer, visible);
    if (!frame) return kNoId;
    Store(frame).SetRect(AN::kBoundingBox, box);
    Store(frame).SetId(AN::kStory, story);
    Store(frame).SetInteger(AN::kNumberOfColumns, 1);
    frames_[story].push_back(frame);
    return frame->GetId();
}

unsigned DocumentBuilder::AddRectangle(unsigned container, const OBRect& box, unsigned layer) {
    Element* item = Item(container, EL::kRectangle, layer, true);
    if (item) Store(item).SetRect(AN::kBoundingBox, box);
    return item ? item->GetId() : kNoId;
}

unsigned DocumentBuilder::AddGroup(unsigned container, unsigned layer, bool visible) {
    Element* group = Item(container, EL::kGroup, layer, visible);
    if (!group) return kNoId;
    containers_[group->GetId()] = group;
    return group->GetId();
}

unsigned DocumentBuilder::AddPicture(unsigned container, const OBRect& box, const std::string& path,
                                     const std::string& alt, unsigned layer) {
    Element* item = Item(container, EL::kPicture, layer, true);
    if (!item) return kNoId;
    Store(item).SetRect(AN::kBoundingBox, box);
    if (!alt.empty()) Store(item).SetUtf8(AN::kAlternativeText, alt.c_str());
    Element* link = Add(item, OBCreateStoredElement(EL::kLinkInformation));
    if (link && !path.empty()) {
        OBSysFileRef file(path.c_str());
        Value* v = nullptr;
        ValueUtil::CreateValueFileSpec(file, v);
        Store(link).Set(AN::kLinkedFile, v);
    }
    return item->GetId();
}

StoryBuilder& DocumentBuilder::AddStory() {
    storyBuilders_.push_back(std::make_unique<StoryBuilder>());
    StoryBuilder& story = *storyBuilders_.back();
    story.parent_ =
        Keep(Add(List(stories_, EL::kStoryList), OBCreateStoredElement(EL::kParentStory)));
    if (story.parent_) story.id_ = story.parent_->GetId();
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
        Add(story->parent_, story->BuildChildStory(story->id_, hyperlinks));
        if (story->vertical_) {
            Value* v = nullptr;
            ValueUtil::CreateValueTextDirectionEnum(TDE::kVertical, v);
            Store(story->parent_).Set(AN::kTextDirection, v);
        }
    }
    for (auto& chain : frames_) {
        for (size_t i = 0; i < chain.second.size(); ++i) {
            if (i > 0)
                Store(chain.second[i]).SetId(AN::kPreviousTextObject, chain.second[i - 1]->GetId());
            if (i + 1 < chain.second.size())
                Store(chain.second[i]).SetId(AN::kNextTextObject, chain.second[i + 1]->GetId());
        }
    }
    if (spreads_) {
        publication_->SetInteger(AN::kNumberOfSpreads, static_cast<int>(spreads_->GetChildCount()));
        Element* first = spreads_->GetNthChild(0);
        long long pages = 0;
        for (unsigned long long i = 0; first && i < first->GetChildCount(); ++i)
            if (first->GetNthChild(i)->GetElementType() == EL::kRegularPage) ++pages;
        publication_->SetInteger(AN::kNumberOfPagesPerSpread, static_cast<int>(pages));
    }
    Element* links = nullptr;
    if (!hyperlinks.empty()) {
        links = OBCreateStoredElement(EL::kHyperlinkList);
        for (Element* link : hyperlinks)
            if (!Add(links, link)) delete link;
    }
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
