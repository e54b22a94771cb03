// Stories: text with its paragraph and character ranges, breaks, special
// characters, tables, footnotes, notes, tracked changes, conditional text,
// hyperlink sources and destinations, text variables and anchored items.
#include "IdmlNames.h"
#include "IdmlParser.h"
#include "IdmlXml.h"

#include <ombra/messages.h>

#include <ReaderTables.h>

#include <cstdlib>
#include <cstring>

namespace idml {
namespace parse {

namespace {

constexpr char16_t kParagraphEnd = 0x2029;
constexpr char16_t kLineBreak = 0x2028;
constexpr char16_t kObject = 0xFFFC;
constexpr char16_t kBreak = 0x000C;

bool Is(pugi::xml_node n, const char* name) {
    return std::strcmp(n.name(), name) == 0;
}

// What an element of a story is to the reader.
enum class Tag {
    kOther, // XMLElement and what the reader does not know: its content is read
    kParagraph,
    kCharacters,
    kContent,
    kBr,
    kTable,
    kFootnote,
    kNote,
    kChange,
    kHidden,
    kSource,
    kDestination,
    kVariable,
    kPageItem,
    kSkipped, // holds no text of the story
};

struct TagName {
    const char* name;
    Tag tag;
};

constexpr TagName kTags[] = {
    {"ParagraphStyleRange", Tag::kParagraph},
    {"CharacterStyleRange", Tag::kCharacters},
    {"Content", Tag::kContent},
    {"Br", Tag::kBr},
    {"Table", Tag::kTable},
    {"Footnote", Tag::kFootnote},
    {"Note", Tag::kNote},
    {"Change", Tag::kChange},
    {"HiddenText", Tag::kHidden},
    {"HyperlinkTextSource", Tag::kSource},
    {"CrossReferenceSource", Tag::kSource},
    {"HyperlinkTextDestination", Tag::kDestination},
    {"ParagraphDestination", Tag::kDestination},
    {"TextVariableInstance", Tag::kVariable},
    {"Properties", Tag::kSkipped},
    {"StoryPreference", Tag::kSkipped},
    {"InCopyExportOption", Tag::kSkipped},
    {"GridDataInformation", Tag::kSkipped},
    {"MetadataPacketPreference", Tag::kSkipped},
    {"XMLAttribute", Tag::kSkipped},
    {"XMLComment", Tag::kSkipped},
    {"XMLInstruction", Tag::kSkipped},
    {"DTD", Tag::kSkipped},
    {"PageReference", Tag::kSkipped},
    {"ParaStyleMapping", Tag::kSkipped},
    {"CharStyleMapping", Tag::kSkipped},
    {"TableStyleMapping", Tag::kSkipped},
    {"CellStyleMapping", Tag::kSkipped},
    {"Link", Tag::kSkipped},
};

Tag TagOf(const char* name) {
    static const NameIndex kIndex(kTags);
    const int i = kIndex.Find(name);
    if (i >= 0) return kTags[i].tag;
    return IsPageItem(name) ? Tag::kPageItem : Tag::kOther;
}

// Reads one story (or the text of a cell or footnote) into doc.stories.
class StoryReader {
public:
    StoryReader(Context& ctx, int index) : ctx_(ctx), doc_(ctx.doc), index_(index) {}

    void Read(pugi::xml_node story, int owner) {
        s_.self = xml::Attr(story, "Self");
        s_.owner = owner;
        pugi::xml_node pref = story.child("StoryPreference");
        s_.vertical = std::strcmp(xml::Attr(pref, "StoryOrientation"), "Vertical") == 0;
        s_.frameGrid = std::strcmp(xml::Attr(pref, "FrameType"), "FrameGridType") == 0;
        if (pugi::xml_node grid = story.child("GridDataInformation")) {
            xml::Number(grid, "PointSize", s_.grid.pointSize);
            xml::Number(grid, "LineAki", s_.grid.lineAki);
            xml::Number(grid, "CharacterAki", s_.grid.characterAki);
            xml::Number(grid, "HorizontalScale", s_.grid.scaleX);
            xml::Number(grid, "VerticalScale", s_.grid.scaleY);
        }
        Walk(story, 0);
        Finish();
    }

    /// The text of a cell, footnote or note-free container.
    void ReadNested(pugi::xml_node content, int owner, int depth) {
        s_.owner = owner;
        Walk(content, depth);
        Finish();
    }

private:
    struct Range {
        const std::string* style = nullptr;
        const AttrSet* local = nullptr;
        std::uint8_t flags = 0;
        int change = -1;
    };

    void Finish() {
        if (s_.paragraphs.empty() || s_.paragraphs.front().start != 0)
            s_.paragraphs.insert(s_.paragraphs.begin(), ParaSegment());
        if (invalidUtf8_) ctx_.Report(OBERR::kMalformedInput);
        doc_.stories[static_cast<std::size_t>(index_)] = std::move(s_);
    }

    std::uint32_t Position() const { return static_cast<std::uint32_t>(s_.text.size()); }

    // Text in the current range; runs grow while the range stays the same.
    void Append(const char16_t* text, std::size_t n) {
        if (n == 0) return;
        if (s_.text.size() + n > 0x7FFFFFF0u) {
            ctx_.Report(OBERR::kLimitExceeded);
            return;
        }
        std::uint32_t at = Position();
        s_.text.append(text, n);
        if (!s_.runs.empty()) {
            CharRun& last = s_.runs.back();
            if (last.end == at && last.local == range_.local && last.flags == range_.flags &&
                last.change == range_.change && last.style == range_.style) {
                last.end = Position();
                return;
            }
        }
        CharRun run;
        run.start = at;
        run.end = Position();
        run.style = range_.style;
        run.local = range_.local;
        run.flags = range_.flags;
        run.change = range_.change;
        s_.runs.push_back(run);
    }
    void Append(char16_t c) { Append(&c, 1); }

    void Mark(Marker::Kind kind, int index = -1, std::string text = std::string()) {
        idml::Marker m;
        m.position = Position();
        m.kind = kind;
        m.index = index;
        m.text = std::move(text);
        s_.markers.push_back(std::move(m));
        Append(kind == Marker::Kind::kBreak ? kBreak : kObject);
    }

    void Walk(pugi::xml_node n, int depth) {
        if (depth > kMaxTextDepth) {
            ctx_.Report(OBERR::kLimitExceeded);
            return;
        }
        for (pugi::xml_node c : n.children()) {
            if (c.type() != pugi::node_element) continue;
            switch (TagOf(c.name())) {
            case Tag::kParagraph:
                Paragraph(c, depth);
                break;
            case Tag::kCharacters:
                Characters(c, depth);
                break;
            case Tag::kContent:
                Content(c);
                break;
            case Tag::kBr:
                Break();
                break;
            case Tag::kTable:
                TableAt(c, depth);
                break;
            case Tag::kFootnote:
                FootnoteAt(c, depth);
                break;
            case Tag::kNote:
                NoteAt(c, depth);
                break;
            case Tag::kChange:
                ChangeAt(c, depth);
                break;
            case Tag::kHidden:
                Flagged(c, depth, ctx_.options.hiddenConditions, kHiddenText);
                break;
            case Tag::kSource:
                Source(c, depth);
                break;
            case Tag::kDestination:
                doc_.textTargets.push_back({xml::Attr(c, "Self"), index_, Position(), Position()});
                break;
            case Tag::kVariable:
                Variable(c);
                break;
            case Tag::kPageItem:
                Anchor(c);
                break;
            case Tag::kSkipped:
                break;
            case Tag::kOther:
                Walk(c, depth + 1);
                break;
            }
        }
    }

    // The formatting n sets itself, kept with the story; null for none.
    const AttrSet* KeepSet(pugi::xml_node n) {
        AttrSet set;
        xml::ReadAttrSet(n, set);
        if (set.Empty()) return nullptr;
        s_.sets.push_back(std::make_unique<AttrSet>(std::move(set)));
        return s_.sets.back().get();
    }

    void Paragraph(pugi::xml_node n, int depth) {
        if (range_.flags & kNoteText) { // a note's paragraphs stay in the paragraph it sits in
            Walk(n, depth + 1);
            return;
        }
        ParaSegment seg;
        seg.start = Position();
        seg.style = doc_.Intern(xml::Ref(xml::Attr(n, "AppliedParagraphStyle")));
        seg.local = KeepSet(n);
        std::vector<TabStop> tabs;
        if (xml::ReadTabs(n, tabs)) {
            s_.tabs.push_back(std::make_unique<std::vector<TabStop>>(std::move(tabs)));
            seg.tabs = s_.tabs.back().get();
        }
        if (!s_.paragraphs.empty() && s_.paragraphs.back().start == seg.start)
            s_.paragraphs.back() = seg;
        else
            s_.paragraphs.push_back(seg);
        Walk(n, depth + 1);
    }

    // Whether the conditions named are all hidden (and there are some).
    bool HiddenByConditions(const char* names) const {
        std::string list(names);
        bool any = false;
        for (std::size_t at = 0; at < list.size();) {
            std::size_t end = list.find(' ', at);
            if (end == std::string::npos) end = list.size();
            std::string name = list.substr(at, end - at);
            at = end + 1;
            if (name.empty()) continue;
            auto found = doc_.conditionShown.find(name);
            if (found == doc_.conditionShown.end()) continue;
            if (found->second) return false;
            any = true;
        }
        return any;
    }

    void Characters(pugi::xml_node n, int depth) {
        Range saved = range_;
        range_.style = doc_.Intern(xml::Ref(xml::Attr(n, "AppliedCharacterStyle")));
        range_.local = KeepSet(n);
        if (HiddenByConditions(xml::Attr(n, "AppliedConditions"))) {
            if (!ctx_.options.hiddenConditions) {
                range_ = saved;
                return;
            }
            range_.flags |= kHiddenText;
        }
        Walk(n, depth + 1);
        range_ = saved;
    }

    void Content(pugi::xml_node n) {
        for (pugi::xml_node c : n.children()) {
            if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
                scratch_.clear();
                xml::AppendUtf8(c.value(), scratch_, invalidUtf8_);
                if (range_.flags & kNoteText)
                    for (char16_t& ch : scratch_)
                        if (ch == kParagraphEnd) ch = kLineBreak;
                Append(scratch_.data(), scratch_.size());
            } else if (c.type() == pugi::node_pi && std::strcmp(c.name(), "ACE") == 0) {
                Special(std::atoi(c.value()));
            }
        }
    }

    // The special characters IDML writes as processing instructions.
    void Special(int code) {
        const std::string* type =
            range_.local ? range_.local->Find(Attr::kPageNumberType) : nullptr;
        switch (code) {
        case 18: // the page number
            Mark(type && *type == "NextPageNumber"       ? Marker::Kind::kNextPageNumber
                 : type && *type == "PreviousPageNumber" ? Marker::Kind::kPreviousPageNumber
                                                         : Marker::Kind::kPageNumber);
            break;
        case 19: // the section's name
            Mark(Marker::Kind::kSectionName);
            break;
        case 4: // the number of the footnote this text belongs to
            Mark(Marker::Kind::kFootnoteNumber);
            break;
        case 8: // right indent tab
            Append(u'\t');
            break;
        default: // end nested style, indent to here: no character of their own
            break;
        }
    }

    void Break() {
        const std::string* next =
            range_.local ? range_.local->Find(Attr::kParagraphBreakType) : nullptr;
        if (range_.flags & kNoteText)
            Append(kLineBreak);
        else if (next && !next->empty() && *next != "Anywhere")
            Mark(Marker::Kind::kBreak, -1, *next);
        else
            Append(kParagraphEnd);
    }

    // A nested story (cell, footnote) read by a reader of its own.
    int Nested(pugi::xml_node content, int depth) {
        const int index = static_cast<int>(doc_.stories.size());
        doc_.stories.emplace_back();
        StoryReader nested(ctx_, index);
        nested.range_.flags = range_.flags & (kInserted | kDeleted | kHiddenText);
        // Its text is set in the orientation of the story around it.
        nested.s_.vertical = s_.vertical;
        // A tracked change around the table or note covers its text too,
        // and each story keeps the changes its runs name.
        if (range_.change >= 0) {
            nested.range_.change = static_cast<int>(nested.s_.changes.size());
            nested.s_.changes.push_back(s_.changes[static_cast<std::size_t>(range_.change)]);
        }
        nested.ReadNested(content, index_, depth + 1);
        return index;
    }

    void TableAt(pugi::xml_node n, int depth) {
        if (depth > kMaxTextDepth) {
            ctx_.Report(OBERR::kLimitExceeded);
            return;
        }
        Table t;
        t.headerRows = static_cast<int>(xml::NumberOr(n, "HeaderRowCount", 0));
        t.footerRows = static_cast<int>(xml::NumberOr(n, "FooterRowCount", 0));
        // Each count is at most 1e9: their sum does not fit an int.
        const long long claimed = static_cast<long long>(t.headerRows) + t.footerRows +
                                  static_cast<long long>(xml::NumberOr(n, "BodyRowCount", 0));
        t.columns = static_cast<int>(xml::NumberOr(n, "ColumnCount", 0));
        t.style = xml::Ref(xml::Attr(n, "AppliedTableStyle"));
        for (pugi::xml_node r : n.children("Row"))
            t.rowHeights.push_back(xml::NumberOr(r, "SingleRowHeight", 0));
        for (pugi::xml_node c : n.children("Column"))
            t.columnWidths.push_back(xml::NumberOr(c, "SingleColumnWidth", 0));
        if (claimed <= 0) t.rows = static_cast<int>(t.rowHeights.size());
        if (t.columns <= 0) t.columns = static_cast<int>(t.columnWidths.size());
        for (pugi::xml_node c : n.children("Cell")) {
            Cell cell;
            // "column:row"
            const char* name = xml::Attr(c, "Name");
            const char* colon = std::strchr(name, ':');
            if (!colon) {
                ctx_.Report(OBERR::kBadValue);
                continue;
            }
            cell.column = std::atoi(name);
            cell.row = std::atoi(colon + 1);
            cell.rowSpan = static_cast<int>(xml::NumberOr(c, "RowSpan", 1));
            cell.columnSpan = static_cast<int>(xml::NumberOr(c, "ColumnSpan", 1));
            cell.style = xml::Ref(xml::Attr(c, "AppliedCellStyle"));
            cell.story = Nested(c, depth);
            t.cells.push_back(cell);
        }
        if (claimed > 0) {
            const obreader::RowsKept r(claimed, t.rowHeights.size(), t.cells, ctx_.emptyRows);
            if (r.Cut()) {
                ctx_.problems.Report(OBERR::kLimitExceeded, r.Note());
                // The header's rows lead the claim and the footer's end it.
                const long long footer = r.Kept() - r.KeptBefore(claimed - t.footerRows);
                t.headerRows = static_cast<int>(r.KeptBefore(t.headerRows));
                t.footerRows = static_cast<int>(footer);
            }
            r.Apply(t);
        }
        const int index = static_cast<int>(doc_.tables.size());
        doc_.tables.push_back(std::move(t));
        Mark(Marker::Kind::kTable, index);
    }

    void FootnoteAt(pugi::xml_node n, int depth) {
        int story = Nested(n, depth);
        Mark(Marker::Kind::kFootnote, story);
    }

    void NoteAt(pugi::xml_node n, int depth) {
        if (!ctx_.options.notes) return;
        Flagged(n, depth, true, kNoteText);
    }

    void ChangeAt(pugi::xml_node n, int depth) {
        bool deleted = std::strcmp(xml::Attr(n, "ChangeType"), "DeletedText") == 0;
        if (deleted && !ctx_.options.deletedChanges) return;
        Range saved = range_;
        range_.flags |= deleted ? kDeleted : kInserted;
        range_.change = static_cast<int>(s_.changes.size());
        s_.changes.push_back({xml::Attr(n, "UserName"), xml::Attr(n, "Date")});
        Walk(n, depth + 1);
        range_ = saved;
    }

    void Flagged(pugi::xml_node n, int depth, bool wanted, std::uint8_t flag) {
        if (!wanted) return;
        Range saved = range_;
        range_.flags |= flag;
        Walk(n, depth + 1);
        range_ = saved;
    }

    void Source(pugi::xml_node n, int depth) {
        std::uint32_t start = Position();
        Walk(n, depth + 1);
        doc_.sources.push_back({xml::Attr(n, "Self"), index_, start, Position()});
    }

    void Variable(pugi::xml_node n) {
        idml::Marker m;
        m.position = Position();
        m.kind = Marker::Kind::kVariable;
        m.text = xml::Attr(n, "ResultText");
        m.variable = xml::Ref(xml::Attr(n, "AssociatedTextVariable"));
        s_.markers.push_back(std::move(m));
        Append(kObject);
    }

    void Anchor(pugi::xml_node n) {
        int item = ReadItem(ctx_, n, -1, 0);
        if (item < 0) return;
        doc_.items[static_cast<std::size_t>(item)].anchorStory = index_;
        Mark(Marker::Kind::kAnchor, item);
    }

    Context& ctx_;
    Document& doc_;
    const int index_;
    Story s_;
    Range range_;
    std::u16string scratch_;
    bool invalidUtf8_ = false;
};

} // namespace

void ReadStories(Context& ctx, pugi::xml_node root) {
    Document& doc = ctx.doc;
    auto read = [&](pugi::xml_node story) {
        std::string self = xml::Attr(story, "Self");
        if (!self.empty() && !ctx.storySelves.insert(self).second) {
            ctx.Report(OBERR::kMalformedInput); // the same story twice: the first stays
            return;
        }
        const int index = static_cast<int>(doc.stories.size());
        doc.stories.emplace_back();
        StoryReader(ctx, index).Read(story, -1);
    };
    if (Is(root, "Story")) {
        read(root);
        return;
    }
    for (pugi::xml_node story : root.children("Story"))
        read(story);
}

} // namespace parse
} // namespace idml
