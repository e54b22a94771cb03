// The parsed model to Elements: stories, their runs and tables, and the
// story list in reading order (see ScribusMapperInternal.h).
#include "ScribusMapperInternal.h"

#include <ombra/messages.h>
#include <ombra/valueutil.h>
#include <ombra/values.h>

#include <algorithm>
#include <cmath>

namespace scribus_mapper {

// A story is kept when one of its frames is; cell stories live in their
// tables. Page-level tables get a story of their own.
void Mapper::CreateStories() {
    storyElements_.assign(doc_.stories.size(), nullptr);
    tableStories_.assign(doc_.items.size(), nullptr);
    pendingStories_.reserve(doc_.stories.size()); // and a few page-level tables
    for (std::size_t s = 0; s < doc_.stories.size(); ++s) {
        const Story& story = doc_.stories[s];
        if (story.table >= 0) continue;
        bool keep = false;
        for (int f : story.frames)
            if (f >= 0 && static_cast<std::size_t>(f) < doc_.items.size() &&
                included_[static_cast<std::size_t>(f)])
                keep = true;
        if (!keep) continue;
        storyElements_[s] = NewParentStory();
    }
    for (std::size_t i = 0; i < doc_.items.size(); ++i)
        if (included_[i] && doc_.items[i].kind == Item::Kind::kTable && doc_.items[i].table &&
            place_[i] != kAnchored)
            tableStories_[i] = NewParentStory();
}

Element* Mapper::NewParentStory() {
    Element* e = b_.Loose(EL::kParentStory);
    if (e) pendingStories_.push_back(e);
    return e;
}

// Which script CJK ideographs belong to: the story's kana or hangul decide,
// else the run's language.
WSE::WritingScriptEnum Mapper::CjkScript(int storyHint, const std::string& language) const {
    if (storyHint >= 0) return static_cast<WSE::WritingScriptEnum>(storyHint);
    return obreader::CjkScriptForLanguage(language.empty() ? doc_.publication.language : language);
}

int Mapper::ParagraphAt(const Story& s, uint32_t position, std::size_t& hint) const {
    while (hint < s.paragraphs.size() &&
           position >= s.paragraphs[hint].start + s.paragraphs[hint].length)
        ++hint;
    return hint < s.paragraphs.size() ? static_cast<int>(hint) : -1;
}

// The page a story shows on when it has one frame there (for variable
// text); -1 otherwise.
int Mapper::SinglePage(const Story& s) const {
    int page = -1;
    for (int f : s.frames) {
        int top = TopItem(f);
        if (top < 0 || place_[static_cast<std::size_t>(top)] != kRegular) return -1;
        int p = placePage_[static_cast<std::size_t>(top)];
        if (page >= 0 && p != page) return -1;
        page = p;
    }
    return page;
}

int Mapper::TopItem(int i) const {
    for (int guard = 0;
         guard <= kMaxDepth && i >= 0 && static_cast<std::size_t>(i) < doc_.items.size(); ++guard) {
        if (place_[static_cast<std::size_t>(i)] != kMember) return i;
        i = doc_.items[static_cast<std::size_t>(i)].parent;
    }
    return -1;
}

void Mapper::ParagraphStyleRef(Element* e, const std::string& style) {
    const std::string& name = style.empty() ? defaultParagraphStyle_ : style;
    if (name.empty()) return;
    if (name == lastStyleName_) {
        b_.Id(e, AN::kParagraphStyleID, lastStyleId_);
        return;
    }
    auto found = paragraphStyles_.find(name);
    if (found != paragraphStyles_.end()) {
        b_.Id(e, AN::kParagraphStyleID, found->second);
        lastStyleName_ = name;
        lastStyleId_ = found->second;
    } else {
        b_.BadReference("the paragraph style \"" + name + "\" does not exist");
    }
}

// The child story with text, runs and anchored objects.
void Mapper::ChildStory(Element* parent, std::size_t index, int frame, int depth) {
    if (depth > kMaxDepth) {
        b_.Report(OBERR::kLimitExceeded);
        return;
    }
    const Story& s = doc_.stories[index];
    Element* child = b_.Child(parent, EL::kChildStory);
    if (!child) return;
    if (!obreader::SetTextStream(b_, child, s.text.data(), s.text.size())) return;
    std::vector<std::pair<uint32_t, int>> tables;
    InlineObjects(child, s, tables);
    obreader::StoryLists lists(b_, child);
    const std::vector<const std::string*>& paragraphStyle = ParagraphRuns(lists, s, frame);
    CharacterRuns(lists, s, paragraphStyle);
    VariableRuns(lists, s);
    for (auto& t : tables)
        if (Element* run = lists.At(EL::kTableRunList, EL::kTableRun, AN::kTextIndex, t.first))
            TableOf(run, doc_.items[static_cast<std::size_t>(t.second)], depth + 1);
}

// Items anchored in the text are named in the story's InlineObjectList;
// tables are collected for their table runs.
void Mapper::InlineObjects(Element* child, const Story& s,
                           std::vector<std::pair<uint32_t, int>>& tables) {
    Value* inline_ = nullptr;
    for (const Marker& m : s.markers) {
        if (m.kind != Marker::Kind::kAnchoredItem || m.item < 0 ||
            static_cast<std::size_t>(m.item) >= doc_.items.size())
            continue;
        const Item& it = doc_.items[static_cast<std::size_t>(m.item)];
        if (it.kind == Item::Kind::kTable && it.table) {
            if (included_[static_cast<std::size_t>(m.item)])
                tables.emplace_back(m.position, m.item);
            continue;
        }
        Element* e = elements_[static_cast<std::size_t>(m.item)];
        if (!e) continue;
        if (!inline_) ValueUtil::CreateValueIdRefList(inline_);
        if (auto* list = dynamic_cast<ValueIdRefList*>(inline_))
            if (!list->Add(e->GetId())) b_.OutOfMemory();
    }
    if (inline_) b_.Put(child, AN::kInlineObjectList, inline_);
}

// One paragraph run per paragraph; the style each paragraph uses (names
// in the document, which outlives the mapper).
const std::vector<const std::string*>& Mapper::ParagraphRuns(obreader::StoryLists& lists,
                                                             const Story& s, int frame) {
    // Frame defaults of old documents stand for the paragraph style where a
    // paragraph has none.
    const Item* defaults = nullptr;
    if (frame >= 0 && static_cast<std::size_t>(frame) < doc_.items.size())
        defaults = &doc_.items[static_cast<std::size_t>(frame)];
    lists.List(EL::kParagraphRunList);
    std::vector<const std::string*>& paragraphStyle = paragraphStyleOf_;
    paragraphStyle.resize(s.paragraphs.size());
    ParagraphAttributes& filled = filled_;
    const ParagraphFormat** filledFrom = filledFrom_;
    if (lists_ < 0) lists_ = AnyLists() ? 1 : 0;
    ListCounters storyCounters;
    for (std::size_t p = 0; p < s.paragraphs.size(); ++p) {
        const ParagraphRun& run = s.paragraphs[p];
        const ParagraphFormat& format = doc_.Format(run);
        const ParagraphFormat* frameFormat =
            format.style.empty() && defaults ? &doc_.Defaults(*defaults) : nullptr;
        const std::string& style = frameFormat ? frameFormat->style : format.style;
        paragraphStyle[p] = &style;
        // An empty last paragraph (after the final U+2029) covers nothing.
        if (run.length == 0) continue;
        Element* e = lists.Entry(EL::kParagraphRunList, EL::kParagraphRun);
        if (!e) continue;
        b_.Int(e, AN::kStartCharacterPosition, run.start);
        b_.Int(e, AN::kEndCharacterPosition, static_cast<long long>(run.start) + run.length);
        ParagraphStyleRef(e, style);
        // Most formats are used as they are: copy only what gets filled in,
        // once for paragraphs in a row that share their formats.
        const ParagraphAttributes* local = &format.local;
        if (frameFormat || local->characterStyle) {
            if (filledFrom[0] != &format || filledFrom[1] != frameFormat) {
                filled = format.local;
                if (frameFormat) Fill(filled, frameFormat->local);
                if (filled.characterStyle)
                    Fill(filled.character, ResolvedCharacterStyle(*filled.characterStyle));
                filledFrom[0] = &format;
                filledFrom[1] = frameFormat;
            }
            local = &filled;
        }
        if (!EmptyParagraph(*local))
            ParagraphAttributesOf(b_.Child(e, EL::kParagraphAttributes), *local);
        if (!Empty(local->character))
            CharacterAttributesOf(b_.Child(e, EL::kCharacterAttributes), local->character,
                                  EffectiveSize(local->character, "", style));
        if (local->tabs && !local->tabs->empty() && !format.local.tabs) Tabs(e, *local->tabs);
        if (lists_) ListMarker(e, ResolvedList(local->list, style), storyCounters);
    }
    return paragraphStyle;
}

// Character runs, cut where the writing script changes.
void Mapper::CharacterRuns(obreader::StoryLists& lists, const Story& s,
                           const std::vector<const std::string*>& paragraphStyle) {
    const std::string none;
    int storyCjk = -2; // what the story tells of its ideographs, once one turns up
    lists.List(EL::kCharacterRunList);
    std::size_t hint = 0;
    int previousScript = -1;
    for (const CharacterRun& run : s.runs) {
        if (run.length == 0) continue;
        const CharacterFormat& format = doc_.Format(run);
        // CJK ideographs are decided once one turns up in the run.
        auto decideCjk = [&]() -> int {
            if (storyCjk == -2) storyCjk = obreader::StoryCjkHint(s.text.data(), s.text.size());
            std::string language = format.local.language ? *format.local.language : std::string();
            if (language.empty() && !format.style.empty()) {
                CharacterAttributes c = ResolvedCharacterStyle(format.style);
                if (c.language) language = *c.language;
            }
            return CjkScript(storyCjk, language);
        };
        obreader::SplitByScript(
            s.text.data(), s.text.size(), run.start, run.start + run.length, previousScript,
            decideCjk, [&](uint32_t start, uint32_t end, int script) {
                int para = ParagraphAt(s, start, hint);
                CharacterRunOf(lists, format, start, end, script,
                               para >= 0 ? *paragraphStyle[static_cast<std::size_t>(para)] : none);
            });
    }
}

// Page numbers and page counts.
void Mapper::VariableRuns(obreader::StoryLists& lists, const Story& s) {
    int page = SinglePage(s);
    for (const Marker& m : s.markers) {
        if (m.kind != Marker::Kind::kPageNumber && m.kind != Marker::Kind::kPageCount) continue;
        Element* v = lists.At(EL::kVariableRunList, EL::kVariableRun, AN::kPos, m.position);
        if (!v) continue;
        bool number = m.kind == Marker::Kind::kPageNumber;
        b_.Enum(v, AN::kVariableType, &ValueUtil::CreateValueAutoVariableEnum,
                number ? AVE::kPageNumber : AVE::kPageCount);
        if (!number)
            b_.Utf8(v, AN::kStaticText, std::to_string(doc_.pages.size()));
        else if (page >= 0)
            b_.Utf8(v, AN::kStaticText, std::to_string(PageNumber(page)));
    }
}

void Mapper::CharacterRunOf(obreader::StoryLists& lists, const CharacterFormat& run, uint32_t start,
                            uint32_t end, int script, const std::string& paragraphStyle) {
    Element* e = lists.Run(EL::kCharacterRunList, EL::kCharacterRun, start, end);
    if (!e) return;
    if (!run.style.empty()) {
        auto found = characterStyles_.find(run.style);
        if (found != characterStyles_.end())
            b_.Id(e, AN::kCharacterStyleID, found->second);
        else
            b_.BadReference("the character style \"" + run.style + "\" does not exist");
    }
    ParagraphStyleRef(e, paragraphStyle);
    Element* attributes = b_.Child(e, EL::kCharacterAttributes);
    // The size matters only to turn a relative baseline shift into a length.
    double size = run.local.baselineShift ? EffectiveSize(run.local, run.style, paragraphStyle) : 0;
    CharacterAttributesOf(attributes, run.local, size);
    b_.Enum(attributes, AN::kWritingScript, &ValueUtil::CreateValueWritingScriptEnum,
            static_cast<WSE::WritingScriptEnum>(script));
}

void Mapper::TableOf(Element* parent, const Item& it, int depth) {
    const Table& t = *it.table;
    Element* table = b_.Child(parent, EL::kTable);
    if (!table) return;
    b_.Int(table, AN::kNumberOfRows, t.rows);
    b_.Int(table, AN::kNumberOfColumns, t.columns);
    b_.Int(table, AN::kHeaderRows, 0);
    b_.Int(table, AN::kFooterRows, 0);
    b_.Rect(table, AN::kBoundingBox, it.x, it.y, it.x + it.width, it.y + it.height);
    unsigned id = 0;
    if (!t.fillColor.empty() && t.fillColor != "None" && ColorId(t.fillColor, id))
        b_.Id(table, AN::kFillId, id);
    Element* rows = b_.Child(table, EL::kTableRowList);
    std::size_t next = 0;
    for (int r = 0; r < t.rows && rows; ++r) {
        Element* row = b_.Child(rows, EL::kTableRow);
        if (!row) break;
        b_.Int(row, AN::kRowNumber, r);
        if (static_cast<std::size_t>(r) < t.rowHeights.size())
            b_.Length(row, AN::kRowHeight, t.rowHeights[static_cast<std::size_t>(r)]);
        Element* cells = b_.Child(row, EL::kTableCellList);
        for (; next < t.cells.size() && t.cells[next].row == r; ++next) {
            const Cell& c = t.cells[next];
            Element* cell = b_.Child(cells, EL::kTableCell);
            if (!cell) continue;
            b_.Int(cell, AN::kRowNumber, c.row);
            b_.Int(cell, AN::kColumnNumber, c.column);
            if (c.rowSpan > 1)
                b_.Int(cell, AN::kEndRowNumber, static_cast<long long>(c.row) + c.rowSpan - 1);
            if (c.columnSpan > 1)
                b_.Int(cell, AN::kEndColumnNumber,
                       static_cast<long long>(c.column) + c.columnSpan - 1);
            if (static_cast<std::size_t>(c.column) < t.columnWidths.size())
                b_.Length(cell, AN::kColumnWidth,
                          t.columnWidths[static_cast<std::size_t>(c.column)]);
            if (c.story >= 0 && static_cast<std::size_t>(c.story) < doc_.stories.size())
                ChildStory(cell, static_cast<std::size_t>(c.story), -1, depth + 1);
        }
        // Cells out of row order: the rest go where they belong.
        while (next < t.cells.size() && t.cells[next].row < r)
            ++next;
    }
}

// ------------------------------------------------------------ story list

Mapper::Order Mapper::Where(int frame, std::size_t sequence, Element* story, int source) const {
    Order o{2, 0, 0, 0, sequence, story, source};
    int top = TopItem(frame);
    if (top < 0) return o;
    const Item& it = doc_.items[static_cast<std::size_t>(frame)];
    Place p = place_[static_cast<std::size_t>(top)];
    if (p == kRegular)
        o.category = 0;
    else if (p == kMaster)
        o.category = 1;
    else
        return o;
    o.page = placePage_[static_cast<std::size_t>(top)];
    o.y = it.y;
    o.x = it.x;
    return o;
}

void Mapper::StoryList() {
    std::vector<Order> order;
    order.reserve(pendingStories_.size()); // every story made comes once
    for (std::size_t s = 0; s < storyElements_.size(); ++s) {
        if (!storyElements_[s]) continue;
        const Story& story = doc_.stories[s];
        // The first frame that is kept decides where the story stands.
        int frame = -1;
        for (int f : story.frames)
            if (f >= 0 && static_cast<std::size_t>(f) < doc_.items.size() &&
                included_[static_cast<std::size_t>(f)]) {
                frame = f;
                break;
            }
        order.push_back(Where(frame, order.size(), storyElements_[s], static_cast<int>(s)));
    }
    for (std::size_t i = 0; i < tableStories_.size(); ++i)
        if (tableStories_[i])
            order.push_back(Where(static_cast<int>(i), order.size(), tableStories_[i],
                                  -1 - static_cast<int>(i)));
    std::stable_sort(order.begin(), order.end(), [](const Order& a, const Order& b) {
        if (a.category != b.category) return a.category < b.category;
        if (a.page != b.page) return a.page < b.page;
        if (std::fabs(a.y - b.y) > 0.5) return a.y < b.y;
        if (std::fabs(a.x - b.x) > 0.5) return a.x < b.x;
        return a.sequence < b.sequence;
    });
    Element* list = order.empty() ? nullptr : b_.Top(EL::kStoryList);
    for (const Order& o : order) {
        // The pending stories belong to this list from now on. They were
        // made in the order of their sequence, so each is found at once.
        if (o.sequence < pendingStories_.size() && pendingStories_[o.sequence] == o.story) {
            pendingStories_[o.sequence] = nullptr;
        } else {
            auto pending = std::find(pendingStories_.begin(), pendingStories_.end(), o.story);
            if (pending != pendingStories_.end()) *pending = nullptr;
        }
        if (!list) {
            b_.Delete(o.story);
            b_.OutOfMemory();
            continue;
        }
        if (!b_.Attach(list, o.story)) continue;
        if (o.source >= 0) {
            const Story& s = doc_.stories[static_cast<std::size_t>(o.source)];
            if (!s.frames.empty() && doc_.items[static_cast<std::size_t>(s.frames.front())].kind ==
                                         Item::Kind::kPathText)
                b_.Bool(o.story, AN::kIsTextOnPath, true);
            ChildStory(o.story, static_cast<std::size_t>(o.source),
                       s.frames.empty() ? -1 : s.frames.front(), 0);
        } else {
            TableStory(o.story, static_cast<std::size_t>(-1 - o.source));
        }
    }
    for (Element* e : pendingStories_)
        if (e) b_.Delete(e);
    pendingStories_.clear();
}

// A table on a page: one U+FFFC whose table run holds the table.
void Mapper::TableStory(Element* story, std::size_t item) {
    Element* child = b_.Child(story, EL::kChildStory);
    if (!child) return;
    const char16_t text[1] = {kObjectReplacement};
    if (!obreader::SetTextStream(b_, child, text, 1)) return;
    obreader::StoryLists lists(b_, child);
    Element* p = lists.Run(EL::kParagraphRunList, EL::kParagraphRun, 0, 1);
    ParagraphStyleRef(p, "");
    Element* c = lists.Run(EL::kCharacterRunList, EL::kCharacterRun, 0, 1);
    ParagraphStyleRef(c, "");
    if (Element* run = lists.At(EL::kTableRunList, EL::kTableRun, AN::kTextIndex, 0))
        TableOf(run, doc_.items[item], 1);
}

} // namespace scribus_mapper
