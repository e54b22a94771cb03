// The builders of story text and tables: runs, paragraphs, spans and
// anchored things made into a ChildStory, cells into a Table.
#include "DocumentBuilder.h"
#include "DocumentBuilderInternal.h"

#include <ReaderStory.h>

#include <ombra/utf8.h>

#include <algorithm>

namespace ombra_test {

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
    paragraphs_.push_back(
        {paragraphStart_, Length(), style, -1, openMarker_, openListKind_, openListLevel_});
    paragraphStart_ = Length();
    openParagraphStyle_ = kNoId;
    openMarker_.clear();
    openListKind_ = 0;
    return *this;
}

TextBuilder& TextBuilder::Marker(const std::string& utf8, int numberingType, int level) {
    openMarker_ = utf8;
    openListKind_ = numberingType;
    openListLevel_ = level;
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
    marked_ = &spans;
    return *this;
}

TextBuilder& TextBuilder::Over(long long n) {
    marked_->back().end += n;
    return *this;
}

TextBuilder& TextBuilder::Ruby(const std::string& base, const std::string& reading, RunStyle style,
                               bool below) {
    return Mark(rubies_, base, style, {0, 0, kNoId, -1, reading, 0, below});
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
        paragraphs.push_back({paragraphStart_, Length(), openParagraphStyle_, -1, openMarker_,
                              openListKind_, openListLevel_});
    auto paragraphStyleAt = [&](long long position) {
        for (const Span& p : paragraphs)
            if (p.start <= position && position < p.end) return p.id;
        return kNoId;
    };
    obreader::StoryLists lists(b, child);
    for (const Span& p : paragraphs) {
        Element* run = lists.Run(EL::kParagraphRunList, EL::kParagraphRun, p.start, p.end);
        if (p.id != kNoId) b.Id(run, AN::kParagraphStyleID, p.id);
        Element* attributes = b.Child(run, EL::kParagraphAttributes);
        if (p.kind)
            b.Enum(attributes, AN::kNumberingType, &ValueUtil::CreateValuePNSEnum,
                   static_cast<PNSE::PageNumberingStyleEnum>(p.kind));
        if (p.text.empty()) continue;
        Element* bn = b.Child(run, EL::kBN);
        b.Utf8(bn, AN::kBNString, p.text);
        b.Int(bn, AN::kLevelNumber, static_cast<int>(p.target));
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
        else if (s.target)
            b.Enum(b.Child(run, EL::kRubiAttributes), AN::kPosition,
                   &ValueUtil::CreateValueRubyKentenPositionEnum, RKPE::kBelowLeft);
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

} // namespace ombra_test
