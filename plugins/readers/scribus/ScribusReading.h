// The document reader: builds the model from the elements as they arrive
// (ScribusDocument.cpp for the document's parts, ScribusItems.cpp for page
// items and tables), then links items into stories, groups and spreads
// (ScribusLinks.cpp).
#ifndef OMBRA_SCRIBUS_READING_H
#define OMBRA_SCRIBUS_READING_H

#include "ScribusText.h"

#include <deque>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace scribus {
namespace detail {

/// A story read from a frame linked to no other while the document streamed
/// by, with what it had to say and the ids of the frames anchored in it.
struct BuiltStory {
    BuiltStory(); // apart, as Item's is: not zeroed whole first
    Story story;
    HeldWarnings warnings;
    std::vector<long long> anchoredIds;
    long long unknownStyleIndex = -1;
};

inline BuiltStory::BuiltStory() = default;

/// A list whose elements stay where they are made (a story being read is
/// pointed to), made sixteen at a time: one allocation each, not one an
/// element.
template <class T> class StableList {
public:
    T& emplace_back() {
        if (size_ == chunks_.size() * kChunk) chunks_.push_back(std::make_unique<T[]>(kChunk));
        ++size_;
        return back();
    }
    T& operator[](std::size_t i) { return chunks_[i / kChunk][i % kChunk]; }
    const T& operator[](std::size_t i) const { return chunks_[i / kChunk][i % kChunk]; }
    T& back() { return (*this)[size_ - 1]; }
    std::size_t size() const { return size_; }

private:
    static constexpr std::size_t kChunk = 16;
    std::vector<std::unique_ptr<T[]>> chunks_;
    std::size_t size_ = 0;
};

/// What reading leaves for the links to be made.
struct ReadState {
    std::vector<ItemSource> sources;
    std::vector<long long> groupIds; // ItemSource::groupsBegin points here
    std::vector<std::string> styleByIndex;
    StableList<BuiltStory> built;
    std::deque<TextRecord> records;
    bool tree = false; ///< frames keep their elements in the tree
};

/// Links frame chains into stories, builds groups from group ids, places
/// items on pages and derives spreads. False when the text of a frame is
/// wanted in a chain but was read on its own: the document must then be
/// read as a tree.
bool Assemble(Context& ctx, Document& doc, ReadState& state);

class DocumentReader : public XmlHandler {
public:
    /// tree: the elements come from a tree (WalkTree), whose nodes text
    /// frames keep.
    DocumentReader(Context& ctx, Document& doc, bool tree);
    ~DocumentReader() override;

    void Start(ElementId id, const Attrs& a) override;
    void StartInTree(pugi::xml_node node, ElementId id, const Attrs& a) override;
    void End() override;
    void ZeroReference() override {
        ctx_.WarnOnce(Warning::Code::kEncoding, "zero",
                      "a reference to the character 0 is replaced by U+FFFD");
    }
    void Empty(ElementId id, const Attrs& a) override;

    /// After the last element: what depends on the whole document. False
    /// when the document must be read as a tree instead.
    bool Finish();
    /// The first element was a Scribus root / it had a DOCUMENT.
    bool SawRoot() const { return root_ == kScribusRoot; }
    bool SawDocument() const { return sawDocument_; }

private:
    enum Kind : std::uint8_t {
        kIgnore,
        kRootKind,
        kDocumentKind,
        kStyle,
        kPageSets,
        kSet,
        kSections,
        kTocs,
        kLegacyPage,
        kItem,
        kItemAttributes,
        kTableData,
        kCell,
    };
    enum RootState { kNoRoot, kScribusRoot, kOtherRoot };

    // What the children of a table item need.
    struct TableState {
        std::vector<double> rowHeights, columnWidths, cellAreas;
        long long rows = -1, columns = -1;
        Table table;
        std::unordered_map<long long, std::pair<int, int>> spans;
        std::size_t maxCells = 0;
    };
    // One item being read, with what its children need.
    struct ItemState {
        ItemState(); // apart, as Item's is: not zeroed whole first
        int index = -1;
        int depth = 0;
        bool group = false, table = false, sawAttributes = false, sawTableData = false;
        bool membersStopped = false, cellsStopped = false;
        StoryBuilder* text = nullptr; // a frame linked to no other, read now: frameText_
        int built = -1;
        TextRecord* record = nullptr;           // a frame of a chain, kept
        std::unique_ptr<TableState> tableState; // tables only: most items are none
    };
    struct CellState {
        Story story;
        Cell cell;
    };

    // ScribusDocument.cpp
    Kind DocumentChild(ElementId id, const Attrs& a);
    Kind Child(Kind parent, ElementId id, const Attrs& a);
    void EndOf(Kind kind);
    void Root(ElementId id, const Attrs& a);
    void ReadPublication(const Attrs& a);
    void ReadMetadata(const Attrs& a);
    void ReadColor(const Attrs& a);
    void ReadColorSpace(const Attrs& a, const char* space, Color& c);
    void StartStyle(const Attrs& a);
    void EndStyle();
    void ReadCharacterStyle(const Attrs& a);
    void ReadLayer(const Attrs& a);
    void StartPageSet(const Attrs& a);
    void ReadSection(const Attrs& a);
    void ReadToc(const Attrs& a);
    Page ReadPage(const Attrs& a);
    Kind StartPage(const Attrs& a);
    Kind LegacyPageItem(const Attrs& a);

    // ScribusItems.cpp
    Kind StartItem(const Attrs& a, ItemSource::Scope scope, int depth, int parent);
    void ReadItemShape(const Attrs& a, Item& it, ItemSource& src);
    void ReadItemFrame(const Attrs& a, Item& it);
    void ReadItemContent(const Attrs& a, Item& it);
    void ReadItemLinks(const Attrs& a, ItemSource& src);
    int FrameDefaults(const Attrs& a);
    void ReadFrameDefaults(const Attrs& a, ParagraphAttributes& d);
    /// builder, built for story or restarted on it.
    StoryBuilder& Builder(std::optional<StoryBuilder>& builder, Story& story);
    void StartText(ItemState& state, ItemSource& src);
    void EndItem();
    Kind ItemChild(ElementId id, const Attrs& a);
    /// The elements inside an item that ItemChild reads; the rest are only
    /// the text's.
    static bool ItemReads(ElementId id) {
        return id == kElem_PageItemAttributes || id == kElem_PAGEOBJECT || id == kElem_TableData;
    }
    void StartTable(ItemState& state, const Attrs& a);
    void KeepRowsHeld(Table& t);
    Kind StartCell(const Attrs& a);
    void EndCell();

    Context& ctx_;
    Document& doc_;
    ReadState state_;
    Attrs none_; // the attributes of an element that is not there
    std::vector<Kind> open_;
    std::vector<ItemState> items_;
    // The cell and the text of the frame being read now: there is one of
    // each at a time (frames hold no items, cells no cells), kept here
    // rather than in allocations of their own. The builders serve frame
    // after frame and cell after cell.
    std::optional<CellState> cell_;
    std::optional<StoryBuilder> frameText_, cellText_;
    // The handler of the text being read (a frame's or a cell's) and how deep
    // below its element the elements are.
    XmlHandler* text_ = nullptr;
    HeldWarnings* textHold_ = nullptr;
    int textDepth_ = 0;
    pugi::xml_node node_; // the element being started, in a tree
    RootState root_ = kNoRoot;
    bool sawDocument_ = false, documentDone_ = false;
    bool legacyPages_ = false;
    int legacyPageCount_ = 0, legacyMasterCount_ = 0;
    // The legacy page being read: its index, whether a master, its ordinal,
    // the next item's position on it, and whether the item limit stopped it.
    int pageIndex_ = -1, pageOrdinal_ = 0, pageItem_ = 0;
    bool pageMaster_ = false, pageStopped_ = false;
    ParagraphStyle style_;
    ParagraphFormatReader styleFormat_;
    PageSet set_;
    std::vector<double> numbers_; // scratch
    Outline contour_;             // scratch: an item's contour, read for its warnings
    int scopeCount_[4] = {0, 0, 0, 0};
    // The format of frames whose only default attribute is an alignment (or
    // none: the first), once known.
    int alignmentDefaults_[6] = {-1, -1, -1, -1, -1, -1};
};

inline DocumentReader::ItemState::ItemState() = default;

} // namespace detail
} // namespace scribus

#endif
