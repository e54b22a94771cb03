// The mapper's class, shared by its three source files: ScribusMapper.cpp
// (header, colours, fonts, layers, styles), ScribusMapperText.cpp (stories
// and tables) and ScribusMapperItems.cpp (pages, page items, links).
// Lengths are points throughout (Scribus stores points whatever unit it
// shows); rotations turn from Scribus's clockwise degrees into the model's
// counter-clockwise ones.
#ifndef OMBRA_SCRIBUS_MAPPER_INTERNAL_H
#define OMBRA_SCRIBUS_MAPPER_INTERNAL_H

#include "ScribusMapper.h"
#include "ScribusNameWords.h"

#include <ReaderBuilder.h>
#include <ReaderLists.h>
#include <ReaderStory.h>
#include <ReaderStyles.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace scribus_mapper {

using namespace scribus;

constexpr int kMaxDepth = 64;

/// Colour ids by name, the first colour of a name kept: open addressing in
/// one block, since every resaved document brings a palette of hundreds.
/// The names are views into the document, which outlives the table.
class ColorTable {
public:
    struct Slot {
        std::string_view name; // null data: a free slot
        unsigned id;
    };
    /// Room for n names; drops what the table held. At most three quarters
    /// full: a palette of 551 names takes 1024 slots, zeroed in one go.
    void Reserve(std::size_t n) {
        std::size_t size = 8;
        while (size < n + n / 3 + 1)
            size *= 2;
        slots_.reset(new Slot[size]()); // all free
        size_ = size;
        count_ = 0;
    }
    void Add(std::string_view name, unsigned id) {
        if (!name.data()) name = ""; // a free slot has none
        if (4 * (count_ + 1) > 3 * size_) Grow();
        Slot& slot = Probe(name);
        if (slot.name.data()) return;
        slot = Slot{name, id};
        ++count_;
    }
    const Slot* Find(std::string_view name) const {
        if (!size_) return nullptr;
        const Slot& slot = const_cast<ColorTable*>(this)->Probe(name);
        return slot.name.data() ? &slot : nullptr;
    }

private:
    // The length and the first and last eight bytes, whole words rather than
    // a byte at a time: a palette's names mostly differ at their ends
    // ("Blue1", "Blue2"), and the probe compares whole names anyway.
    static std::uint64_t HashOf(std::string_view name) {
        const std::size_t n = name.size();
        std::uint64_t a, b;
        scribus::detail::NameWords(name.data(), n, a, b);
        std::uint64_t h = a * 0x9E3779B97F4A7C15u + b + n;
        h ^= h >> 32;
        h *= 0xD6E8FEB86659FD93u;
        return h ^ (h >> 32);
    }
    Slot& Probe(std::string_view name) {
        const std::size_t mask = size_ - 1;
        Slot* const slots = slots_.get();
        for (std::size_t i = static_cast<std::size_t>(HashOf(name)) & mask;; i = (i + 1) & mask)
            if (!slots[i].name.data() || slots[i].name == name) return slots[i];
    }
    void Grow() {
        std::unique_ptr<Slot[]> old = std::move(slots_);
        const std::size_t oldSize = size_;
        Reserve(2 * oldSize);
        for (std::size_t i = 0; i < oldSize; ++i)
            if (old[i].name.data()) Add(old[i].name, old[i].id);
    }

    std::unique_ptr<Slot[]> slots_;
    std::size_t size_ = 0;
    std::size_t count_ = 0;
};

/// The same table for the styles' positions in the document's lists.
using NameTable = ColorTable;

/// Numbering name to its counters.
using ListCounters = std::map<std::string, obreader::ListCounter>;

/// Copies into `into` what it does not set itself.
void Fill(CharacterAttributes& into, const CharacterAttributes& from);
void Fill(ListAttributes& into, const ListAttributes& from);
void Fill(ParagraphAttributes& into, const ParagraphAttributes& from);
bool Empty(const CharacterAttributes& a);
bool EmptyParagraph(const ParagraphAttributes& a);

class Mapper {
public:
    Mapper(Document& doc, const ScribusMapOptions& options, obreader::ProblemSink& problems,
           ElementList& out)
        : doc_(doc), items_(doc.items), options_(options), b_(problems, out) {}
    ~Mapper();
    void Build();

private:
    enum Place { kNowhere, kRegular, kMaster, kPasteboard, kMember, kAnchored };

    // ScribusMapper.cpp
    const Layer* LayerOf(const Item& it) const;
    bool LayerIncluded(const Layer* l) const;
    void Plan();
    void Include(int i, int depth);
    void Publication();
    void MetaData(Element* publication);
    int ColumnsPerSpread() const;
    long long PageNumber(int index) const;
    void Inks();
    void Colors();
    bool ColorId(const std::string& name, unsigned& id);
    void NoteFont(const CharacterAttributes& a);
    void NoteFont(const std::string& name);
    void Fonts();
    void Layers();
    CharacterAttributes ResolvedCharacterStyle(const std::string& name) const;
    // Hands visit each style of a paragraph style's chain (the default
    // style's for none); visit returns the next name, or "" to stop.
    template <class Visit> void FollowParagraphStyles(const std::string& style, Visit visit) const {
        obreader::FollowChain(
            style.empty() ? defaultParagraphStyle_ : style,
            [&](const std::string& n) -> const ParagraphStyle* {
                const NameTable::Slot* found = paragraphStyleIndex_.Find(n);
                return found ? &doc_.paragraphStyles[found->id] : nullptr;
            },
            visit);
    }
    double EffectiveSize(const CharacterAttributes& local, const std::string& characterStyle,
                         const std::string& paragraphStyle) const;
    void CharacterAttributesOf(Element* e, const CharacterAttributes& a, double size);
    void Effects(Element* e, unsigned effects);
    void ParagraphAttributesOf(Element* e, const ParagraphAttributes& a);
    void Tabs(Element* parent, const std::vector<TabStop>& tabs);
    void CharacterStyles();
    void ParagraphStyles();

    // ScribusMapperText.cpp
    void CreateStories();
    Element* NewParentStory();
    WSE::WritingScriptEnum CjkScript(int storyHint, const std::string& language) const;
    int ParagraphAt(const Story& s, uint32_t position, std::size_t& hint) const;
    int SinglePage(const Story& s) const;
    int TopItem(int i) const;
    void ParagraphStyleRef(Element* e, const std::string& style);
    void ChildStory(Element* parent, std::size_t index, int frame, int depth);
    void InlineObjects(Element* child, const Story& s,
                       std::vector<std::pair<uint32_t, int>>& tables);
    const std::vector<const std::string*>& ParagraphRuns(obreader::StoryLists& lists,
                                                         const Story& s, int frame);
    void CharacterRuns(obreader::StoryLists& lists, const Story& s,
                       const std::vector<const std::string*>& paragraphStyle);
    void VariableRuns(obreader::StoryLists& lists, const Story& s);
    void CharacterRunOf(obreader::StoryLists& lists, const CharacterFormat& run, uint32_t start,
                        uint32_t end, int script, const std::string& paragraphStyle);
    void TableOf(Element* parent, const Item& it, int depth);

    // ScribusMapperLists.cpp
    bool AnyLists() const;
    ListAttributes ResolvedList(const ListAttributes& local, const std::string& style) const;
    void ListMarker(Element* run, const ListAttributes& list, ListCounters& story);
    void StoryList();
    void TableStory(Element* story, std::size_t item);

    // ScribusMapperItems.cpp
    void MasterSpreads();
    void Margins(Element* e, const Page& page);
    void RegularSpreads();
    void RegularPage(Element* spread, std::size_t p, int columns);
    void Prefetch(int i) const;
    void Items(Element* page, Place where, int index, const Page& source);
    void AnchoredItems(Element* list, Place where, int index, Element* pasteboard, Element* spread);
    static EL::ElementTypeEnum KindOf(const Item& it);
    static bool Curved(const Item& it);
    void Common(Element* e, const Item& it, int page);
    void Paint(Element* e, const Item& it);
    void ItemOf(Element* list, int index, int page, int depth);
    void TextFrameOf(Element* e, const Item& it, std::size_t i);
    void PictureOf(Element* e, const Item& it);
    void LineOf(Element* e, const Item& it);
    void PolygonOf(Element* e, const Item& it);
    void BezierOf(Element* e, const Item& it);
    void ChainLinks();
    void Hyperlinks();
    void TablesOfContents();

    struct Order {
        int category; // 0 regular page, 1 master page, 2 elsewhere
        int page;
        double y, x;
        std::size_t sequence;
        Element* story;
        int source; // story index, or -1 - item index for a table's story
    };
    Order Where(int frame, std::size_t sequence, Element* story, int source) const;

    const Document& doc_;
    std::vector<Item>& items_; // doc_'s, to release what their Elements hold
    const ScribusMapOptions& options_;
    obreader::ElementBuilder b_;

    std::unordered_map<int, std::size_t> layerIndex_;
    std::vector<Place> place_;
    std::vector<int> placePage_;
    std::vector<char> included_;
    std::vector<int> anchorStory_;
    std::vector<std::size_t> anchored_;    // items placed in text, in order
    std::vector<Element*> elements_;       // per item, once built
    std::vector<Element*> storyElements_;  // per story, for the kept ones
    std::vector<Element*> tableStories_;   // per item, for page-level tables
    std::vector<Element*> pendingStories_; // made, not yet in the story list
    std::vector<Element*> pageElements_;
    Element* publication_ = nullptr;

    // Colour names are the document's own, which outlives the mapper.
    ColorTable colors_;
    std::unordered_map<std::string, unsigned> characterStyles_, paragraphStyles_, masterPages_;
    const ColorTable::Slot* recentColors_[2] = {nullptr, nullptr}; // into colors_
    // The last language name looked up and what it named: runs and styles
    // mostly repeat it.
    std::string lastLanguageName_;
    bool languageKnown_ = false;
    DLE::DictionaryLanguageEnum lastLanguage_ = DLE::kUndefined;
    std::unordered_map<int, unsigned> layers_;
    NameTable characterStyleIndex_, paragraphStyleIndex_; // views into the document
    std::string defaultParagraphStyle_;
    // Stories: ParagraphRuns' styles of the paragraphs (reused), and the
    // paragraph style ParagraphStyleRef found last (runs mostly repeat it).
    std::vector<const std::string*> paragraphStyleOf_;
    std::string lastStyleName_;
    unsigned lastStyleId_ = 0;
    // A paragraph format's own attributes with what it lacks, its storage
    // reused; the formats (the document's) it was made of.
    ParagraphAttributes filled_;
    const ParagraphFormat* filledFrom_[2] = {nullptr, nullptr};
    int lists_ = -1;                        // whether any paragraph is in a list; -1 until asked
    ListCounters documentCounters_;         // of the numberings that count across stories
    NameTable fontSet_;                     // views into the document
    std::vector<const std::string*> fonts_; // the document's names, in order
    struct Face {
        std::string name;
        bool bold = false, italic = false;
    } lastFace_; // what the last face name CharacterAttributesOf met says
    // What each face name met says, bold and italic: runs change faces often.
    std::unordered_map<std::string, std::pair<bool, bool>> faceStyles_;
};

} // namespace scribus_mapper

#endif
