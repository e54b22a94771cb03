// The mapper's class, shared by its source files: IdmlMapper.cpp (header,
// colours, fonts, layers, styles), IdmlMapperItems.cpp (where items lie,
// spreads, pages, page items, sections, hyperlinks) and IdmlMapperText.cpp
// and IdmlMapperRuns.cpp (stories and their runs), IdmlMapperLists.cpp
// (bullets and numbers).
#ifndef OMBRA_IDML_MAPPER_INTERNAL_H
#define OMBRA_IDML_MAPPER_INTERNAL_H

#include "IdmlMapper.h"

#include <ReaderGeometry.h>
#include <ReaderLists.h>
#include <ReaderStory.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace idml {
namespace mapping {

/// The Elements a page item became and where it lies.
struct Placed {
    enum Place { kNowhere, kRegular, kMaster, kPasteboard, kMember, kAnchored };
    Place place = kNowhere;
    int page = -1; ///< index into Document::pages; for anchored items, the page they go with
    bool included = false;
    Matrix toPage;       ///< item space to page space
    double x = 0, y = 0; ///< the top-left corner of its bounds on the page
    Element* element = nullptr;
};

/// [start, end) ranges of a story's text.
using Ranges = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

/// The paragraphs of a text: U+2029 and the break character U+000C end theirs.
Ranges ParagraphRanges(const std::u16string& text);

/// The segment of s.paragraphs that a paragraph starting at start lies in,
/// walking on from segment (paragraphs come in order).
std::size_t SegmentAt(const Story& s, std::size_t segment, std::uint32_t start);

/// Where a story stands in reading order.
struct StoryOrder {
    int category = 2; ///< 0 regular page, 1 master page, 2 elsewhere
    int page = 0;
    double y = 0, x = 0;
    std::size_t sequence = 0;
    int story = -1;
    int host = -1; ///< stories of anchored frames: the story whose text holds the frame
};

/// Where the numbers of one numbering list stand, and how each level
/// writes them, per level (1 to 9).
struct ListCounters {
    obreader::ListCounter numbers;
    std::uint8_t format[obreader::ListCounter::kLevels + 1] = {};
};
/// Numbering list Self to its counters.
using Lists = std::unordered_map<std::string, ListCounters>;

/// The marker of one paragraph: none when it is not in a list.
struct ListMark {
    bool listed = false;
    std::string marker;
    int level = 1;
    PNSE::PageNumberingStyleEnum shown = PNSE::kBullet;
};

/// The cells a table holds, row by row and each once: those inside its
/// rows and columns (both capped), the first of two in one place.
struct PlacedCells {
    int rows = 0, columns = 0;
    std::vector<const Cell*> cells;
    std::size_t outside = 0, doubled = 0; ///< the cells left out
};
PlacedCells CellsOf(const Table& t);

class Mapper : public References {
public:
    Mapper(const Document& doc, const MapOptions& options, obreader::ProblemSink& problems,
           ElementList& out)
        : doc_(doc), options_(options), b_(problems, out) {}
    ~Mapper() override;
    void Build();

    // References
    bool Swatch(const std::string& ref, unsigned& id) override;
    bool KinsokuTable(const std::string& ref, unsigned& id) override;
    std::string MojikumiName(const std::string& ref) override;

private:
    // IdmlMapper.cpp
    void Publication();
    void MetaData(Element* publication);
    void Inks();
    void Colors();
    void Gradients();
    void Fonts();
    void Layers();
    bool LayerIncluded(const std::string& layer) const;
    void KinsokuTables();
    void CharacterStyles();
    void ParagraphStyles();
    void OtherStyles();
    void StyleAttributes(Element* e, const Style& s, bool paragraph);
    void Tabs(Element* parent, const std::vector<TabStop>& tabs);
    /// A style's attributes with those of the styles it is based on below.
    const AttrSet& Resolved(bool paragraph, const std::string* self);
    std::string LanguageOf(const AttrSet& set) const;

    // IdmlMapperPlan.cpp
    void Plan();
    void Indexes();
    void PlaceItem(int item, const Matrix& toSpread, int depth);
    bool Bounds(int item, const Matrix& toSpread, double box[4], int depth) const;
    void PageBoxes();
    int PageAt(int spread, const double box[4]) const;
    Matrix PageFromSpread(int page) const;
    void Include(int item, int depth);
    void StoryFrames();
    void KeptStories();
    int HomePage(int story, int depth) const;
    int FirstFrame(int story) const;

    // IdmlMapperItems.cpp
    void MasterSpreads();
    void RegularSpreads();
    Element* PageElement(Element* spread, int page, bool master);
    bool LeftPage(int page) const;
    void Paint(Element* e, const Item& it);
    void Items(Element* list, int page, bool pasteboard, int spread);
    void ItemOf(Element* list, int item, int page, int depth);
    EL::ElementTypeEnum KindOf(const Item& it) const;
    void Common(Element* e, const Item& it, int page);
    void TextFrameOf(Element* e, const Item& it);
    void PictureOf(Element* e, const Item& it);
    void WrapOf(Element* e, const Item& it, int page);
    void PathsOf(Element* e, const Item& it, const std::vector<SubPath>& outline);
    void TextPathOf(Element* list, const Item& it, const std::vector<SubPath>& outline);
    void ChainLinks();
    void Sections();
    void Hyperlinks();
    Element* LinkSource(Element* link, const std::string& ref);
    Element* LinkAnchor(Element* link, const std::string& ref);
    bool TextPosition(int story, std::uint32_t position, int& top, std::uint32_t& at) const;

    // IdmlMapperText.cpp
    void CreateStories();
    void StoryList();
    StoryOrder Where(int story, std::size_t sequence) const;
    void ChildStory(Element* parent, int story, int depth);
    void ParagraphRuns(obreader::StoryLists& lists, int story, const Ranges& paragraphs,
                       std::vector<int>& paragraphOf, int depth);
    void CharacterRuns(obreader::StoryLists& lists, const Story& s, const Ranges& paragraphs,
                       const std::vector<int>& paragraphOf);
    void Markers(Element* child, obreader::StoryLists& lists, int story, int depth);
    void TableOf(Element* parent, int table, int depth);

    // IdmlMapperLists.cpp
    /// The marker of a paragraph of seg; storyLists counts the lists that
    /// start again in each story.
    ListMark ListMarkOf(const ParaSegment& seg, Lists& storyLists);
    /// Numbers the paragraphs in the cells of the tables anchored in s
    /// before to, from its marker next on, nested tables too, with the
    /// counters of the story that holds them: into cellMarks_, for the
    /// cells' stories to take.
    void NumberCells(const Story& s, std::size_t& next, std::uint32_t to, Lists& storyLists,
                     int depth);

    // IdmlMapperRuns.cpp
    struct Sources; // where a run's formatting comes from, nearest first
    void JapaneseRuns(obreader::StoryLists& lists, const Story& s, const Ranges& paragraphs,
                      const std::vector<int>& paragraphOf);
    Sources SourcesOf(const Story& s, const CharRun* run, int segment);
    void Ruby(obreader::StoryLists& lists, const Story& s, std::uint32_t start, std::uint32_t end,
              const AttrSet& set);
    void Kenten(obreader::StoryLists& lists, std::uint32_t start, std::uint32_t end,
                const AttrSet& set);
    void Tcy(obreader::StoryLists& lists, const Story& s, const Ranges& paragraphs,
             const std::vector<int>& paragraphOf, Ranges& explicitTcy,
             std::vector<AttrSet>& explicitSets);

    const Document& doc_;
    const MapOptions& options_;
    obreader::ElementBuilder b_;

    std::unordered_map<std::string, unsigned> swatches_, kinsoku_, layers_, characterStyles_,
        paragraphStyles_, cellStyles_;
    std::unordered_map<std::string, int> layerIndex_, characterIndex_, paragraphIndex_, pageIndex_,
        storyIndex_, itemIndex_;
    std::vector<AttrSet> resolvedCharacter_, resolvedParagraph_;
    std::vector<char> resolvedCharacterDone_, resolvedParagraphDone_;
    std::string defaultParagraphStyle_;
    Lists acrossStories_; ///< lists whose numbers go on across stories
    std::unordered_map<int, std::vector<ListMark>> cellMarks_; ///< per cell story, its paragraphs'

    std::vector<Placed> placed_;
    /// PageAt(): per spread, its pages' boxes in spread space by left edge
    /// (those of no finite box, which hold nothing, left out), and the widest.
    struct PageBox {
        double l, t, r, b;
        int order, page;
    };
    struct SpreadPages {
        std::vector<PageBox> boxes;
        double widest = 0;
    };
    std::vector<SpreadPages> spreadPages_;
    /// Per page: the top-level items placed on it, with their spread, in the
    /// spread's order, so that each page's drawing list takes only its own.
    std::vector<std::vector<std::pair<int, int>>> onPage_;
    std::vector<Element*> pages_;               ///< per page
    std::vector<std::vector<int>> storyFrames_; ///< per story: frames and paths, in chain order
    std::vector<char> kept_;                    ///< per story
    std::vector<std::pair<int, std::uint32_t>> holder_; ///< per nested story: story and position
    std::vector<Element*> stories_;                     ///< ParentStory per kept top-level story
    std::vector<char> pending_;       ///< per story: made, not yet in the story list
    std::vector<int> footnoteNumber_; ///< per story (footnotes)
    std::unordered_map<std::string, std::vector<Element*>> masterPages_; ///< per master spread
    /// Hyperlinks(): the first of doc_.sources, destinations and textTargets with each Self.
    std::unordered_map<std::string_view, std::size_t> sourceAt_, destinationAt_, targetAt_;
    std::vector<std::vector<int>> anchoredOn_; ///< per page + 1: items anchored in text there
    int footnotes_ = 0;
    Element* publication_ = nullptr;
};

} // namespace mapping
} // namespace idml

#endif
