// The model to Elements: stories in reading order, their text, paragraph
// and character runs, variables, tables and footnotes (see
// IdmlMapperInternal.h; the Japanese runs are in IdmlMapperRuns.cpp).
#include "IdmlMapperInternal.h"
#include "IdmlParser.h"

#include <ombra/messages.h>
#include <ombra/valueutil.h>
#include <ombra/values.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace idml {
namespace mapping {

namespace {

constexpr char16_t kParagraphEnd = 0x2029;
constexpr char16_t kBreak = 0x000C;

AVE::AutoVariableEnum VariableTypeOf(const std::string& type) {
    struct {
        const char* name;
        AVE::AutoVariableEnum type;
    } const kTypes[] = {{"PageCountType", AVE::kPageCount},
                        {"LastPageNumberType", AVE::kPageCount},
                        {"ChapterNumberType", AVE::kChapterNumber},
                        {"XrefChapterNumberType", AVE::kChapterNumber},
                        {"CreationDateType", AVE::kCreationDate},
                        {"ModificationDateType", AVE::kModificationDate},
                        {"OutputDateType", AVE::kOutputDate},
                        {"FileNameType", AVE::kFileName},
                        {"MatchParagraphStyleType", AVE::kRunningHeader},
                        {"MatchCharacterStyleType", AVE::kRunningHeader},
                        {"XrefPageNumberType", AVE::kPageNumber}};
    for (const auto& t : kTypes)
        if (type == t.name) return t.type;
    return AVE::kCustom;
}

} // namespace

// A ParentStory for every story that is kept, made before the frames that
// name it.
void Mapper::CreateStories() {
    stories_.assign(doc_.stories.size(), nullptr);
    pending_.assign(doc_.stories.size(), 0);
    footnoteNumber_.assign(doc_.stories.size(), 0);
    for (std::size_t s = 0; s < doc_.stories.size(); ++s) {
        if (!kept_[s]) continue;
        stories_[s] = b_.Loose(EL::kParentStory);
        pending_[s] = stories_[s] ? 1 : 0;
    }
}

StoryOrder Mapper::Where(int story, std::size_t sequence) const {
    StoryOrder o;
    o.story = story;
    o.sequence = sequence;
    int frame = FirstFrame(story);
    if (frame < 0) return o;
    int top = frame;
    for (int guard = 0;
         guard <= kMaxItemDepth && doc_.items[static_cast<std::size_t>(top)].parent >= 0; ++guard)
        top = doc_.items[static_cast<std::size_t>(top)].parent;
    const Placed& t = placed_[static_cast<std::size_t>(top)];
    if (t.place == Placed::kAnchored) {
        int host = doc_.items[static_cast<std::size_t>(top)].anchorStory;
        for (int guard = 0; guard <= kMaxItemDepth && host >= 0 &&
                            holder_[static_cast<std::size_t>(host)].first >= 0;
             ++guard)
            host = holder_[static_cast<std::size_t>(host)].first;
        o.host = host;
        return o;
    }
    if (t.place != Placed::kRegular && t.place != Placed::kMaster) return o;
    const Placed& f = placed_[static_cast<std::size_t>(frame)];
    o.category = t.place == Placed::kRegular ? 0 : 1;
    o.page = t.page;
    o.y = f.y;
    o.x = doc_.publication.rightToLeft ? -f.x : f.x; // right to left for such bindings
    return o;
}

// Stories by the page of their first frame, top to bottom and across; the
// story of a frame anchored in text right after the story that holds it.
void Mapper::StoryList() {
    std::vector<StoryOrder> order, anchored;
    for (std::size_t s = 0; s < stories_.size(); ++s) {
        if (!stories_[s]) continue;
        StoryOrder o = Where(static_cast<int>(s), order.size() + anchored.size());
        (o.host >= 0 ? anchored : order).push_back(o);
    }
    std::stable_sort(order.begin(), order.end(), [](const StoryOrder& a, const StoryOrder& b) {
        if (a.category != b.category) return a.category < b.category;
        if (a.page != b.page) return a.page < b.page;
        if (std::fabs(a.y - b.y) > 0.5) return a.y < b.y;
        if (std::fabs(a.x - b.x) > 0.5) return a.x < b.x;
        return a.sequence < b.sequence;
    });
    // Each anchored story after its host (hosts that are themselves
    // anchored come first in the walk, so nesting needs no recursion).
    std::vector<int> sequence;
    std::vector<char> placedStory(stories_.size(), 0);
    for (const StoryOrder& o : order) {
        sequence.push_back(o.story);
        placedStory[static_cast<std::size_t>(o.story)] = 1;
    }
    for (std::size_t k = 0; k < sequence.size() && k < stories_.size(); ++k)
        for (auto a = anchored.rbegin(); a != anchored.rend(); ++a)
            if (a->host == sequence[k] && !placedStory[static_cast<std::size_t>(a->story)]) {
                sequence.insert(sequence.begin() + static_cast<long>(k) + 1, a->story);
                placedStory[static_cast<std::size_t>(a->story)] = 1;
            }
    for (const StoryOrder& a : anchored) // hosts that are not kept, or loops
        if (!placedStory[static_cast<std::size_t>(a.story)]) sequence.push_back(a.story);

    Element* list = sequence.empty() ? nullptr : b_.Top(EL::kStoryList);
    for (int s : sequence) {
        Element* story = stories_[static_cast<std::size_t>(s)];
        pending_[static_cast<std::size_t>(s)] = 0;
        // A story that finds no place is deleted, and later references
        // (hyperlinks) must not find it.
        if (!list) {
            b_.Delete(story);
            stories_[static_cast<std::size_t>(s)] = nullptr;
            b_.OutOfMemory();
            continue;
        }
        if (!b_.Attach(list, story)) {
            stories_[static_cast<std::size_t>(s)] = nullptr;
            continue;
        }
        const Story& source = doc_.stories[static_cast<std::size_t>(s)];
        int frame = FirstFrame(s);
        if (frame >= 0 &&
            doc_.items[static_cast<std::size_t>(frame)].kind != Item::Kind::kTextFrame)
            b_.Bool(story, AN::kIsTextOnPath, true);
        b_.Enum(story, AN::kTextDirection, &ValueUtil::CreateValueTextDirectionEnum,
                source.vertical ? TDE::kVertical : TDE::kHorizontal);
        ChildStory(story, s, 0);
    }
    for (std::size_t s = 0; s < pending_.size(); ++s)
        if (pending_[s]) {
            b_.Delete(stories_[s]);
            stories_[s] = nullptr;
            pending_[s] = 0;
        }
}

// The child story with text, runs, tables, footnotes and anchored objects.
void Mapper::ChildStory(Element* parent, int story, int depth) {
    if (depth > kMaxItemDepth || story < 0 ||
        static_cast<std::size_t>(story) >= doc_.stories.size()) {
        b_.Report(OBERR::kLimitExceeded);
        return;
    }
    const Story& s = doc_.stories[static_cast<std::size_t>(story)];
    Element* child = b_.Child(parent, EL::kChildStory);
    if (!child) return;
    if (!obreader::SetTextStream(b_, child, s.text.data(), s.text.size())) return;
    if (s.vertical)
        b_.Enum(child, AN::kTextDirection, &ValueUtil::CreateValueTextDirectionEnum,
                TDE::kVertical);
    obreader::StoryLists lists(b_, child);
    const Ranges paragraphs = ParagraphRanges(s.text);
    std::vector<int> paragraphOf; // per paragraph: its segment
    ParagraphRuns(lists, story, paragraphs, paragraphOf, depth);
    CharacterRuns(lists, s, paragraphs, paragraphOf);
    JapaneseRuns(lists, s, paragraphs, paragraphOf);
    Markers(child, lists, story, depth);
}

Ranges ParagraphRanges(const std::u16string& text) {
    Ranges out;
    std::uint32_t start = 0;
    for (std::uint32_t i = 0; i < text.size(); ++i)
        if (text[i] == kParagraphEnd || text[i] == kBreak) {
            out.emplace_back(start, i + 1);
            start = i + 1;
        }
    if (start < text.size()) out.emplace_back(start, static_cast<std::uint32_t>(text.size()));
    return out;
}

std::size_t SegmentAt(const Story& s, std::size_t segment, std::uint32_t start) {
    while (segment + 1 < s.paragraphs.size() && s.paragraphs[segment + 1].start <= start)
        ++segment;
    return segment;
}

void Mapper::ParagraphRuns(obreader::StoryLists& lists, int story, const Ranges& paragraphs,
                           std::vector<int>& paragraphOf, int depth) {
    const Story& s = doc_.stories[static_cast<std::size_t>(story)];
    lists.List(EL::kParagraphRunList);
    std::size_t segment = 0, marker = 0, tables = 0;
    std::string breakBefore;
    Lists storyLists;
    // A cell's markers were made with its holder's, in reading order.
    std::vector<ListMark> numbered;
    auto cell = cellMarks_.find(story);
    const bool inCell = cell != cellMarks_.end();
    if (inCell) {
        numbered = std::move(cell->second);
        cellMarks_.erase(cell);
    }
    for (std::size_t i = 0; i < paragraphs.size(); ++i) {
        const auto& para = paragraphs[i];
        segment = SegmentAt(s, segment, para.first);
        paragraphOf.push_back(static_cast<int>(segment));
        const ParaSegment& seg = s.paragraphs[segment];
        ListMark mark;
        if (!inCell) {
            mark = ListMarkOf(seg, storyLists);
            NumberCells(s, tables, para.second, storyLists, depth);
        } else if (i < numbered.size()) {
            mark = std::move(numbered[i]);
        }
        Element* e = lists.Run(EL::kParagraphRunList, EL::kParagraphRun, para.first, para.second);
        if (!e) continue;
        const std::string* style = seg.style;
        auto found =
            style ? paragraphStyles_.find(*style) : paragraphStyles_.find(defaultParagraphStyle_);
        if (found != paragraphStyles_.end())
            b_.Id(e, AN::kParagraphStyleID, found->second);
        else if (style)
            b_.BadReference("the paragraph style \"" + *style + "\" does not exist");
        static const AttrSet kNone;
        const AttrSet& local = seg.local ? *seg.local : kNone;
        if (local.HasAny(Where::kPara) || !breakBefore.empty()) {
            Element* attrs = b_.Child(e, EL::kParagraphAttributes);
            WriteAttributes(b_, attrs, local, Where::kPara, *this);
            // The break that ended the paragraph before starts this one anew.
            if (breakBefore == "NextColumn") b_.Bool(attrs, AN::kColumnBreakBefore, true);
            if (breakBefore == "NextFrame") b_.Bool(attrs, AN::kFrameBreakBefore, true);
            if (breakBefore.find("Page") != std::string::npos)
                b_.Bool(attrs, AN::kPageBreakBefore, true);
        }
        if (local.HasAny(Where::kChar))
            WriteAttributes(b_, b_.Child(e, EL::kCharacterAttributes), local, Where::kChar, *this);
        if (local.HasAny(Where::kHyph))
            WriteAttributes(b_, b_.Child(e, EL::kHyphenationAttributes), local, Where::kHyph,
                            *this);
        if (local.HasAny(Where::kJust))
            WriteAttributes(b_, b_.Child(e, EL::kJustificationAttributes), local, Where::kJust,
                            *this);
        if (seg.tabs) Tabs(e, *seg.tabs);
        if (mark.listed) obreader::AddListMarker(b_, e, mark.marker, mark.level, mark.shown);
        breakBefore.clear();
        if (s.text[para.second - 1] == kBreak) {
            while (marker < s.markers.size() && s.markers[marker].position < para.second - 1)
                ++marker;
            if (marker < s.markers.size() && s.markers[marker].position == para.second - 1)
                breakBefore = s.markers[marker].text;
        }
    }
}

void Mapper::CharacterRuns(obreader::StoryLists& lists, const Story& s, const Ranges& paragraphs,
                           const std::vector<int>& paragraphOf) {
    lists.List(EL::kCharacterRunList);
    const int storyCjk = obreader::StoryCjkHint(s.text.data(), s.text.size());
    std::size_t para = 0;
    int previousScript = -1;
    for (const CharRun& run : s.runs) {
        if (run.end <= run.start) continue;
        auto decideCjk = [&]() -> int {
            if (storyCjk >= 0) return storyCjk;
            std::string language = run.local ? LanguageOf(*run.local) : std::string();
            if (language.empty()) language = LanguageOf(Resolved(false, run.style));
            return obreader::CjkScriptForLanguage(language);
        };
        obreader::SplitByScript(
            s.text.data(), s.text.size(), run.start, run.end, previousScript, decideCjk,
            [&](std::uint32_t start, std::uint32_t end, int script) {
                Element* e = lists.Run(EL::kCharacterRunList, EL::kCharacterRun, start, end);
                if (!e) return;
                if (run.style) {
                    auto found = characterStyles_.find(*run.style);
                    if (found != characterStyles_.end())
                        b_.Id(e, AN::kCharacterStyleID, found->second);
                    else
                        b_.BadReference("the character style \"" + *run.style +
                                        "\" does not exist");
                }
                while (para + 1 < paragraphs.size() && paragraphs[para].second <= start)
                    ++para;
                if (para < paragraphOf.size()) {
                    const ParaSegment& seg =
                        s.paragraphs[static_cast<std::size_t>(paragraphOf[para])];
                    auto found =
                        paragraphStyles_.find(seg.style ? *seg.style : defaultParagraphStyle_);
                    if (found != paragraphStyles_.end())
                        b_.Id(e, AN::kParagraphStyleID, found->second);
                }
                Element* attrs = b_.Child(e, EL::kCharacterAttributes);
                if (run.local) WriteAttributes(b_, attrs, *run.local, Where::kChar, *this);
                if (run.flags & kNoteText) b_.Bool(attrs, AN::kIsComment, true);
                if (run.flags & kHiddenText) b_.Bool(attrs, AN::kIsHidden, true);
                if (run.flags & (kInserted | kDeleted)) {
                    b_.Bool(attrs, (run.flags & kDeleted) ? AN::kIsDeleted : AN::kIsInserted, true);
                    const Change& c = s.changes[static_cast<std::size_t>(run.change)];
                    if (!c.author.empty()) b_.Utf8(attrs, AN::kTrackChangeAuthor, c.author);
                    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
                    if (std::sscanf(c.date.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &y, &mo, &d, &h, &mi,
                                    &sec) >= 3 &&
                        y > 0 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31) {
                        Value* v = nullptr;
                        ValueUtil::CreateValueDateTime(y, mo, d, h, mi, sec, v);
                        b_.Put(attrs, AN::kTrackChangeDate, v);
                    }
                }
                b_.Enum(attrs, AN::kWritingScript, &ValueUtil::CreateValueWritingScriptEnum,
                        static_cast<WSE::WritingScriptEnum>(script));
            });
    }
}

// Variables, tables, footnotes and anchored objects, at their U+FFFC.
void Mapper::Markers(Element* child, obreader::StoryLists& lists, int story, int depth) {
    const Story& s = doc_.stories[static_cast<std::size_t>(story)];
    Value* inline_ = nullptr;
    for (const Marker& m : s.markers) {
        using K = Marker::Kind;
        if (m.kind == K::kBreak) continue;
        if (m.kind == K::kAnchor) {
            Element* e = placed_[static_cast<std::size_t>(m.index)].element;
            if (!e) continue;
            if (!inline_) ValueUtil::CreateValueIdRefList(inline_);
            if (auto* ids = dynamic_cast<ValueIdRefList*>(inline_))
                if (!ids->Add(e->GetId())) b_.OutOfMemory();
            continue;
        }
        if (m.kind == K::kTable) {
            if (Element* run =
                    lists.At(EL::kTableRunList, EL::kTableRun, AN::kTextIndex, m.position))
                TableOf(run, m.index, depth + 1);
            continue;
        }
        if (m.kind == K::kFootnote) {
            footnoteNumber_[static_cast<std::size_t>(m.index)] = ++footnotes_;
            if (Element* note =
                    lists.At(EL::kFootnoteList, EL::kFootnote, AN::kPosition, m.position))
                ChildStory(note, m.index, depth + 1);
            continue;
        }
        Element* v = lists.At(EL::kVariableRunList, EL::kVariableRun, AN::kPos, m.position);
        if (!v) continue;
        AVE::AutoVariableEnum type = AVE::kCustom;
        std::string shown = m.text;
        int page = HomePage(story, 0);
        switch (m.kind) {
        case K::kPageNumber:
            type = AVE::kPageNumber;
            if (page >= 0 && !doc_.pages[static_cast<std::size_t>(page)].onMaster)
                shown = doc_.pages[static_cast<std::size_t>(page)].name;
            break;
        case K::kNextPageNumber:
            type = AVE::kNextPageNumber;
            break;
        case K::kPreviousPageNumber:
            type = AVE::kPreviousPageNumber;
            break;
        case K::kSectionName: { // the name of the section the page lies in
            type = AVE::kSectionName;
            int best = -1;
            for (const idml::Section& section : doc_.sections) {
                auto start = pageIndex_.find(section.pageStart);
                if (page >= 0 && start != pageIndex_.end() && start->second <= page &&
                    start->second > best)
                    best = start->second, shown = section.name;
            }
            break;
        }
        case K::kFootnoteNumber:
            if (footnoteNumber_[static_cast<std::size_t>(story)] > 0)
                shown = std::to_string(footnoteNumber_[static_cast<std::size_t>(story)]);
            break;
        default: {
            auto found = doc_.variableTypes.find(m.variable);
            if (found != doc_.variableTypes.end()) type = VariableTypeOf(found->second);
            break;
        }
        }
        b_.Enum(v, AN::kVariableType, &ValueUtil::CreateValueAutoVariableEnum, type);
        if (!shown.empty()) b_.Utf8(v, AN::kStaticText, shown);
    }
    if (inline_) b_.Put(child, AN::kInlineObjectList, inline_);
}

PlacedCells CellsOf(const Table& t) {
    PlacedCells out;
    out.rows = std::max(0, std::min(t.rows, 100000));
    out.columns = std::max(0, std::min(t.columns, 10000));
    for (const Cell& c : t.cells)
        if (c.row >= 0 && c.row < out.rows && c.column >= 0 && c.column < out.columns)
            out.cells.push_back(&c);
    out.outside = t.cells.size() - out.cells.size();
    std::stable_sort(out.cells.begin(), out.cells.end(), [](const Cell* a, const Cell* b) {
        return a->row != b->row ? a->row < b->row : a->column < b->column;
    });
    auto same = [](const Cell* a, const Cell* b) {
        return a->row == b->row && a->column == b->column;
    };
    const std::size_t all = out.cells.size();
    out.cells.erase(std::unique(out.cells.begin(), out.cells.end(), same), out.cells.end());
    out.doubled = all - out.cells.size();
    return out;
}

void Mapper::TableOf(Element* parent, int index, int depth) {
    if (index < 0 || static_cast<std::size_t>(index) >= doc_.tables.size()) return;
    const Table& t = doc_.tables[static_cast<std::size_t>(index)];
    Element* table = b_.Child(parent, EL::kTable);
    if (!table) return;
    const PlacedCells placed = CellsOf(t);
    const int rows = placed.rows;
    b_.Int(table, AN::kNumberOfRows, rows);
    b_.Int(table, AN::kNumberOfColumns, placed.columns);
    b_.Int(table, AN::kHeaderRows, t.headerRows);
    b_.Int(table, AN::kFooterRows, t.footerRows);
    for (std::size_t i = 0; i < placed.outside; ++i)
        b_.Report(OBERR::kBadValue);
    for (std::size_t i = 0; i < placed.doubled; ++i)
        b_.Report(OBERR::kMalformedInput); // two cells in one place: the first stays
    // Cells row by row, each at its top-left position.
    const std::vector<const Cell*>& cells = placed.cells;
    Element* list = b_.Child(table, EL::kTableRowList);
    std::size_t next = 0;
    for (int r = 0; r < rows && list; ++r) {
        Element* row = b_.Child(list, EL::kTableRow);
        if (!row) break;
        b_.Int(row, AN::kRowNumber, r);
        if (static_cast<std::size_t>(r) < t.rowHeights.size() &&
            t.rowHeights[static_cast<std::size_t>(r)] > 0)
            b_.Length(row, AN::kRowHeight, t.rowHeights[static_cast<std::size_t>(r)]);
        b_.Bool(row, AN::kIsHeaderRow, r < t.headerRows);
        Element* rowCells = b_.Child(row, EL::kTableCellList);
        for (; next < cells.size() && cells[next]->row == r; ++next) {
            const Cell& c = *cells[next];
            Element* cell = b_.Child(rowCells, EL::kTableCell);
            if (!cell) continue;
            b_.Int(cell, AN::kRowNumber, c.row);
            b_.Int(cell, AN::kColumnNumber, c.column);
            if (c.rowSpan > 1)
                b_.Int(cell, AN::kEndRowNumber, std::min(rows - 1, c.row + c.rowSpan - 1));
            if (c.columnSpan > 1)
                b_.Int(cell, AN::kEndColumnNumber,
                       std::min(placed.columns - 1, c.column + c.columnSpan - 1));
            if (static_cast<std::size_t>(c.column) < t.columnWidths.size())
                b_.Length(cell, AN::kColumnWidth,
                          t.columnWidths[static_cast<std::size_t>(c.column)]);
            auto style = cellStyles_.find(c.style);
            if (style != cellStyles_.end()) b_.Id(cell, AN::kTableCellStyleID, style->second);
            ChildStory(cell, c.story, depth + 1);
        }
    }
}

} // namespace mapping
} // namespace idml
