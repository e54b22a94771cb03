// The Scribus reader's internal document model.
//
// The parser (ScribusParser.h) turns the bytes of a Scribus document, of any
// generation from 1.2 to 1.6, into one `scribus::Document`. The model holds
// plain values and indices only; it does not depend on the core, and every
// generation's quirks are resolved here so that the reader maps it to Elements
// without knowing which version wrote the file.
//
// Conventions
// - Lengths are points (1/72 inch), whatever unit the document displays
//   (`Publication::displayUnit` only records the user's choice). Angles are
//   degrees, clockwise, as the page's y axis points down. Shades and scales
//   are percentages (100 = full), opacities 0..1.
// - References between parts are indices into the Document's vectors
//   (`items`, `stories`, `pages`, ...), -1 meaning none. Colours and styles
//   are referred to by name, exactly as the file does; "None" is no colour.
// - An attribute that the file does not set is an empty std::optional, so the
//   mapper can tell "inherits" from "set to the default value".
//
// The parts, and where each goes in the document model:
// - `Publication`: page size, margins, facing pages, first page number,
//   display unit, the page-set (layout) in use, language and metadata. Maps
//   to the publication Element and its metadata.
// - `Color`: the colour list. Each colour keeps its defining space (CMYK, RGB
//   or Lab) with the values in that space, plus the spot and registration
//   flags. Maps to the colour and ink lists.
// - `Layer`: layers, bottom first (`level`), with visible/printable flags.
// - `ParagraphStyle` and `CharacterStyle`: the style lists. `basedOn` names
//   the parent style (BasedOn); attributes are only those the style sets.
//   A paragraph style also carries the character attributes of its paragraph
//   mark (`ParagraphAttributes::character`). Generations before 1.3.4 had no
//   character styles and referred to paragraph styles by position; the parser
//   has already turned those references into names.
// - `Page` (document and master pages) and `Spread`: pages in document order,
//   each with size, margins, position on the canvas, its master page's name
//   and the items placed on it. Spreads are derived from the page set
//   (facing pages: left/right pairs after a lone first page, and so on).
//   Maps to spread and page Elements; master pages to master spreads.
// - `Item`: every page object (text frame, picture, shape, polygon, line,
//   polyline, text on a path, group, table, ...) with its geometry in page
//   coordinates, its outline as Bézier path points relative to the item's
//   top-left corner, fill and stroke, and kind-specific parts. Groups own
//   their members through `children`; the items listed on a page are the
//   top-level ones. Maps to frame/graphic Elements.
// - `Story`: the text of one chain of linked text frames (or of a text on a
//   path, or of a table cell) as UTF-16 in `text`, with `paragraphs` and
//   `runs` that cover the text without gaps: each paragraph run is one
//   paragraph (its terminating kParagraphSeparator included) and refers to a
//   paragraph style by name plus local overrides; each character run refers
//   to a character style by name plus local overrides. Both are formats of
//   the document's lists (`paragraphFormats`, `characterFormats`), named by
//   index, so that a million short paragraphs share the few formats they use. Special characters
//   use the constants below; variable fields (page number, page count) and anchored frames are
//   kObjectReplacement in the text, column and frame breaks kBreak, each with a `Marker` describing
//   it. U+2029 appears only as a paragraph's end. `frames` lists the items through which the story
//   flows, in order. Maps to Story Elements with paragraph and character runs.
// - `Table`: rows, columns and cells of a table item; each cell's text is a
//   Story of its own (`Cell::story`).
// - `Annotation`: a frame's hyperlink or form field; `Item::annotation`.
// - `TocSetup`: the table-of-contents definitions; `Item::attributes` carry
//   the item attributes by which entries are collected.
// - `Section`: page numbering sections.
#ifndef OMBRA_SCRIBUS_MODEL_H
#define OMBRA_SCRIBUS_MODEL_H

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace scribus {

// Characters with a meaning of their own in Story::text.
constexpr char16_t kParagraphSeparator = 0x2029;
constexpr char16_t kLineBreak = 0x2028;
constexpr char16_t kTab = 0x0009;
constexpr char16_t kNoBreakSpace = 0x00A0;
constexpr char16_t kNoBreakHyphen = 0x2011;
constexpr char16_t kSoftHyphen = 0x00AD;
constexpr char16_t kZeroWidthSpace = 0x200B;
constexpr char16_t kZeroWidthNoBreakSpace = 0x2060;
constexpr char16_t kObjectReplacement = 0xFFFC;
constexpr char16_t kBreak = 0x000C; ///< column or frame break

/// Which family of the file format a document was read as.
enum class Generation {
    kUnknown,
    kLegacy, ///< root SCRIBUS: before 1.2, 8-bit text
    k12,     ///< root SCRIBUSUTF8: 1.2.x, objects nested in pages
    k13,     ///< SCRIBUSUTF8NEW up to 1.3.3: styles by index, flag bits
    k14,     ///< 1.3.4 to 1.4.x: named styles, para/trail elements
    k15,     ///< 1.5 and later: StoryText, nested groups, tables
};

enum class Unit { kPoint = 0, kMillimetre, kInch, kPica, kCentimetre, kCicero };

struct Margins {
    double top = 0, left = 0, bottom = 0, right = 0;
};

struct Point {
    double x = 0, y = 0;
};

/// A list of plain values that holds its first N in place, and the rest on
/// the heap once it outgrows them: most stories have one paragraph, one run
/// and one frame, and then take no allocation for them.
template <class T, std::size_t N> class SmallList {
    static_assert(std::is_trivially_copyable<T>::value, "values are copied as bytes");

public:
    SmallList() = default;
    SmallList(std::initializer_list<T> values) { assign(values.begin(), values.end()); }
    SmallList(const SmallList& o) { assign(o.begin(), o.end()); }
    SmallList(SmallList&& o) noexcept { Take(o); }
    SmallList& operator=(const SmallList& o) {
        if (this != &o) assign(o.begin(), o.end());
        return *this;
    }
    SmallList& operator=(SmallList&& o) noexcept {
        if (this != &o) {
            Free();
            Take(o);
        }
        return *this;
    }
    ~SmallList() { Free(); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::size_t capacity() const { return capacity_; }
    T* data() { return heap_ ? heap_ : inline_; }
    const T* data() const { return heap_ ? heap_ : inline_; }
    T* begin() { return data(); }
    T* end() { return data() + size_; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + size_; }
    T& operator[](std::size_t i) { return data()[i]; }
    const T& operator[](std::size_t i) const { return data()[i]; }
    const T& at(std::size_t i) const {
        if (i >= size_) throw std::out_of_range("SmallList::at");
        return data()[i];
    }
    T& front() { return data()[0]; }
    const T& front() const { return data()[0]; }
    T& back() { return data()[size_ - 1]; }
    const T& back() const { return data()[size_ - 1]; }

    void reserve(std::size_t n) {
        if (n > capacity_) Grow(n);
    }
    void push_back(const T& v) {
        const T copy = v; // v may lie in the room Grow frees
        if (size_ == capacity_) Grow(capacity_ < 4 ? 8 : 2 * capacity_);
        data()[size_++] = copy;
    }
    void clear() { size_ = 0; }
    template <class It> void assign(It first, It last) {
        clear();
        reserve(static_cast<std::size_t>(std::distance(first, last)));
        for (; first != last; ++first)
            data()[size_++] = *first;
    }

    friend bool operator==(const SmallList& a, const std::vector<T>& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
    friend bool operator==(const std::vector<T>& b, const SmallList& a) { return a == b; }

private:
    // Room for n values, keeping those there (n above the capacity).
    void Grow(std::size_t n) {
        T* larger = std::allocator<T>().allocate(n);
        std::copy(begin(), end(), larger);
        Free();
        heap_ = larger;
        capacity_ = n;
    }
    void Free() {
        if (heap_) std::allocator<T>().deallocate(heap_, capacity_);
        heap_ = nullptr;
        capacity_ = N;
    }
    // o's values, o left empty (this holds none).
    void Take(SmallList& o) {
        size_ = o.size_;
        if (o.heap_) {
            heap_ = o.heap_;
            capacity_ = o.capacity_;
            o.heap_ = nullptr;
            o.capacity_ = N;
        } else {
            std::copy(o.inline_, o.inline_ + o.size_, inline_);
        }
        o.size_ = 0;
    }

    T* heap_ = nullptr;
    std::size_t size_ = 0, capacity_ = N;
    T inline_[N];
};

/// One anchor of a Bézier path with its two direction points; a corner
/// without handles has all three equal.
struct PathPoint {
    Point left, anchor, right;
};

struct SubPath {
    std::vector<PathPoint> points;
    bool closed = false;
    /// Known to have no handles (every point's direction points on its
    /// anchor); false when not known.
    bool straight = false;
};

/// An item's sub-paths, as a list. The first is held in place: most
/// outlines have one, which then takes one allocation (its points), not two.
class Outline {
public:
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    SubPath& operator[](std::size_t i) { return i == 0 ? first_ : rest_[i - 1]; }
    const SubPath& operator[](std::size_t i) const { return i == 0 ? first_ : rest_[i - 1]; }
    SubPath& front() { return first_; }
    const SubPath& front() const { return first_; }
    SubPath& back() { return (*this)[count_ - 1]; }
    /// A new empty sub-path at the end.
    SubPath& emplace_back() { return count_++ == 0 ? first_ : rest_.emplace_back(); }
    /// Empty, with no room kept.
    void clear() { *this = Outline(); }

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = SubPath;
        using difference_type = std::ptrdiff_t;
        using pointer = const SubPath*;
        using reference = const SubPath&;
        const_iterator(const Outline& o, std::size_t i) : o_(&o), i_(i) {}
        reference operator*() const { return (*o_)[i_]; }
        pointer operator->() const { return &(*o_)[i_]; }
        const_iterator& operator++() {
            ++i_;
            return *this;
        }
        bool operator==(const const_iterator& b) const { return i_ == b.i_; }
        bool operator!=(const const_iterator& b) const { return i_ != b.i_; }

    private:
        const Outline* o_;
        std::size_t i_;
    };
    const_iterator begin() const { return const_iterator(*this, 0); }
    const_iterator end() const { return const_iterator(*this, count_); }

private:
    SubPath first_;
    std::vector<SubPath> rest_;
    std::size_t count_ = 0;
};

struct Metadata {
    std::string title, author, subject, keywords, comments, publisher, date, type, format,
        identifier, source, languageInfo, relation, coverage, rights, contributor;
};

/// A page set: how pages are laid side by side.
struct PageSet {
    std::string name;
    int columns = 1; ///< pages per spread
    int rows = 1;
    int firstPage = 0; ///< position of the first page inside the first spread
    double gapHorizontal = 0, gapVertical = 0, gapBelow = 0;
    std::vector<std::string> pageNames;
};

struct Publication {
    double pageWidth = 0, pageHeight = 0; ///< default page size
    Margins margins;                      ///< default margins
    Margins bleed;
    int orientation = 0;      ///< 0 portrait, 1 landscape
    std::string pageSizeName; ///< "A4", "Letter", "Custom", ...
    bool facingPages = false;
    int pageSetIndex = 0; ///< index into pageSets in use
    int firstPageNumber = 1;
    Unit displayUnit = Unit::kPoint;
    std::string language;
    std::string defaultFont;
    double defaultFontSize = 12;
    Metadata metadata;
};

struct Color {
    enum class Space { kCMYK, kRGB, kLab };
    std::string name;
    Space space = Space::kCMYK;
    double c = 0, m = 0, y = 0, k = 0;   ///< 0..1 (kCMYK)
    double r = 0, g = 0, b = 0;          ///< 0..1 (kRGB)
    double labL = 0, labA = 0, labB = 0; ///< L 0..100, a and b -128..127 (kLab)
    bool spot = false;
    bool registration = false;
};

struct Layer {
    int id = 0;    ///< number items refer to (Item::layer)
    int level = 0; ///< stacking order, 0 at the bottom
    std::string name;
    bool visible = true, printable = true, editable = true, flowAround = true, outline = false;
    double opacity = 1;
    int blendMode = 0;
};

struct TabStop {
    double position = 0;
    int type = 0;        ///< 0 left, 1 right, 2 decimal point, 3 comma, 4 centre
    std::u16string fill; ///< leader character, empty for none
};

/// Character effects, as bits of CharacterAttributes::effects.
enum Effect : unsigned {
    kSuperscript = 1,
    kSubscript = 2,
    kOutline = 4,
    kUnderline = 8,
    kStrikeThrough = 16,
    kAllCaps = 32,
    kSmallCaps = 64,
    kShadowed = 256,
    kUnderlineWords = 512,
};

struct CharacterAttributes {
    std::optional<std::string> font; ///< full face name, "Family Style"
    std::optional<double> size;      ///< points
    std::optional<std::string> fillColor;
    std::optional<double> fillShade;
    std::optional<std::string> strokeColor;
    std::optional<double> strokeShade;
    std::optional<std::string> backgroundColor;
    std::optional<double> backgroundShade;
    std::optional<double> tracking;                        ///< percent of the font size
    std::optional<double> scaleH, scaleV;                  ///< percent
    std::optional<double> baselineShift;                   ///< percent of the font size, up
    std::optional<unsigned> effects;                       ///< Effect bits
    std::optional<double> underlineOffset, underlineWidth; ///< percent; negative: automatic
    std::optional<double> strikeOffset, strikeWidth;
    std::optional<double> shadowX, shadowY, outlineWidth;
    std::optional<std::string> language;
    std::optional<std::string> fontFeatures;
};

/// Bullets and numbers (1.5 on): what the paragraph's marker shows, which
/// Scribus makes at layout and keeps out of the text.
struct ListAttributes {
    std::optional<bool> bullet;
    std::optional<std::string> bulletText;
    std::optional<bool> numbered;
    std::optional<std::string> numbering; ///< the counters' name ("default", "<local block>")
    std::optional<int> format; ///< 0 "1, 2", 2 "i, ii", 3 "I, II", 4 "a, b", 5 "A, B", 9 CJK
    std::optional<int> level;  ///< from 0
    std::optional<int> start;
    std::optional<std::string> prefix, suffix;
    std::optional<int> restart; ///< 0: counts across the document, else per story
};

struct ParagraphAttributes {
    std::optional<int> alignment;       ///< 0 left, 1 centre, 2 right, 3 justified, 4 forced
    std::optional<int> direction;       ///< 0 left to right, 1 right to left
    std::optional<int> lineSpacingMode; ///< 0 fixed, 1 automatic, 2 baseline grid
    std::optional<double> lineSpacing;  ///< points
    std::optional<double> leftIndent, rightIndent, firstIndent;
    std::optional<double> spaceBefore, spaceAfter;
    std::optional<bool> dropCap;
    std::optional<int> dropCapLines;
    std::optional<double> dropCapOffset;
    std::optional<std::vector<TabStop>> tabs;
    std::optional<std::string> characterStyle; ///< style of the paragraph mark
    ListAttributes list;
    CharacterAttributes character; ///< character attributes of the paragraph mark
};

struct ParagraphStyle {
    std::string name;
    std::string basedOn; ///< empty: the default style
    bool isDefault = false;
    ParagraphAttributes attributes;
};

struct CharacterStyle {
    std::string name;
    std::string basedOn;
    bool isDefault = false;
    CharacterAttributes attributes;
};

/// A position in a story that is not plain text: the text holds kBreak there
/// for a break and kObjectReplacement for the others.
struct Marker {
    enum class Kind { kPageNumber, kPageCount, kColumnBreak, kFrameBreak, kAnchoredItem };
    uint32_t position = 0;
    Kind kind = Kind::kPageNumber;
    int item = -1; ///< kAnchoredItem: index into Document::items, -1 when unresolved
};

/// Paragraph formatting as text uses it: a style by name and what the text
/// sets over it. Runs and frames name formats by their index into the
/// document's list, where equal formats are kept once.
struct ParagraphFormat {
    std::string style;         ///< paragraph style name, empty: default
    ParagraphAttributes local; ///< overrides of the style
};

struct CharacterFormat {
    std::string style;         ///< character style name, empty: none
    CharacterAttributes local; ///< overrides of the style
};

struct ParagraphRun {
    uint32_t start = 0, length = 0;
    uint32_t format = 0; ///< index into Document::paragraphFormats
};

struct CharacterRun {
    uint32_t start = 0, length = 0;
    uint32_t format = 0; ///< index into Document::characterFormats
};

struct Story {
    std::u16string text;
    SmallList<ParagraphRun, 1> paragraphs; ///< contiguous, cover all of text
    SmallList<CharacterRun, 1> runs;       ///< contiguous, cover all of text
    std::vector<Marker> markers;
    SmallList<int, 1> frames;                      ///< items the story flows through, in order
    int table = -1, cellRow = -1, cellColumn = -1; ///< for the text of a table cell
};

struct Annotation {
    int type = 0;       ///< 2 button, 3 text field, 4 check box, ..., 10 note, 11 link
    int actionType = 0; ///< 0 none, 1 script, 2 go to page, 7 go to file, 8 URI, ...
    std::string name;
    std::string tooltip;
    std::string external; ///< file or URI of an outside target
    std::string action;   ///< script or destination position
    int targetPage = -1;  ///< page index for a go-to action
};

struct Cell {
    int row = 0, column = 0, rowSpan = 1, columnSpan = 1;
    std::string style;
    std::string fillColor;
    double fillShade = 100;
    Margins padding;
    int story = -1; ///< index into Document::stories
};

struct Table {
    int rows = 0, columns = 0;
    std::vector<double> rowHeights, columnWidths;
    std::string style;
    std::string fillColor;
    std::vector<Cell> cells; ///< row-major; spanned positions are omitted
};

/// A named attribute attached to an item (used by tables of contents).
struct ItemAttribute {
    std::string name, type, value, parameter;
};

struct Item {
    /// Defined below, apart: an Item() is then only given its members'
    /// initial values, not zeroed whole first (items are made by the
    /// thousand).
    Item();

    enum class Kind {
        kTextFrame,
        kImageFrame,
        kShape, ///< rectangle, ellipse or other closed outline
        kPolygon,
        kPolyLine,
        kLine,
        kPathText, ///< text on a path
        kGroup,
        kTable,
        kOther, ///< render frames, symbols, note frames, ...
    };
    Kind kind = Kind::kShape;
    int rawType = 0; ///< PTYPE as stored
    int frameType =
        -1; ///< FRTYPE: 0 rectangle, 1 ellipse, 2 rounded rectangle, 3 free; -1 not stored
    std::string name;
    int page = -1;             ///< owning page (index into pages or masterPages), -1: pasteboard
    bool onMasterPage = false; ///< page indexes Document::masterPages
    int layer = 0;
    int parent = -1;           ///< enclosing group item
    std::vector<int> children; ///< members of a group, bottom first

    // Geometry: top-left corner relative to the page, size, rotation about
    // the top-left corner.
    double x = 0, y = 0, width = 0, height = 0, rotation = 0;
    bool flipH = false, flipV = false;
    Outline outline; ///< relative to (x, y), unrotated

    // Appearance.
    std::string fillColor = "None";
    double fillShade = 100, fillOpacity = 1;
    std::string lineColor = "None";
    double lineShade = 100, lineOpacity = 1, lineWidth = 0;
    int lineStyle = 1, lineCap = 0, lineJoin = 0;
    double cornerRadius = 0;
    bool printable = true, locked = false;

    // Text frames and text on paths.
    int story = -1; ///< index into stories
    int columns = 1;
    double columnGap = 0;
    Margins textInsets;
    int nextInChain = -1, prevInChain = -1; ///< resolved frame links
    int textFlow = 0;                       ///< 0 none, 1 around frame, 2 bounding box, 3 contour
    /// The frame's default paragraph style and attributes: an index into
    /// Document::paragraphFormats, -1 for none.
    int defaults = -1;
    bool pathTextFlipped = false;
    int pathTextType = 0;
    double pathTextOffset = 0;

    // Pictures.
    std::string imageFile;         ///< as stored: relative to the document or absolute
    bool imageEmbedded = false;    ///< image data is inside the file
    std::string embeddedImageType; ///< file extension of the embedded data
    std::string embeddedImageData; ///< as stored (compressed, base64)
    double imageOffsetX = 0, imageOffsetY = 0, imageScaleX = 1, imageScaleY = 1, imageRotation = 0;

    // Rare, and large beside the rest: held apart, so that the thousands of
    // items of a large document take less room.
    std::unique_ptr<Annotation> annotation;
    std::unique_ptr<Table> table;
    std::vector<ItemAttribute> attributes;
    bool isTableCellFrame = false; ///< 1.2 to 1.4 tables are groups of such frames
    bool isGroupControl = false;   ///< 1.3/1.4 item that stands for its group's clip
};

inline Item::Item() = default;

struct Page {
    std::string name;       ///< master pages: their name; pages: usually empty
    std::string masterName; ///< master page this page uses
    int number = 0;         ///< NUM as stored
    double x = 0, y = 0;    ///< position on the canvas
    double width = 0, height = 0;
    Margins margins;
    int orientation = 0;
    std::string sizeName;
    int position = 0; ///< place inside its spread (0 left), as stored
    std::vector<double> horizontalGuides, verticalGuides;
    std::vector<int> items; ///< top-level items on the page, bottom first
};

struct Spread {
    std::vector<int> pages; ///< indices into Document::pages, left to right
};

struct Section {
    std::string name;
    int from = 0, to = 0; ///< page indices
    int start = 1;        ///< number of the first page
    std::string type;     ///< numbering style as stored, e.g. "Type_1_2_3"
    bool active = true, reversed = false;
};

struct TocSetup {
    std::string name;
    std::string itemAttributeName; ///< items with this attribute become entries
    std::string frameName;         ///< item that receives the table
    std::string paragraphStyle;
    std::string numberPlacement; ///< "Beginning", "End" or "NotShown"
    bool listNonPrinting = false;
};

struct Document {
    Generation generation = Generation::kUnknown;
    std::string version; ///< Version attribute as stored
    Publication publication;
    std::vector<PageSet> pageSets;
    std::vector<Color> colors;
    std::vector<Layer> layers;
    std::vector<ParagraphStyle> paragraphStyles;
    std::vector<CharacterStyle> characterStyles;
    std::vector<Page> masterPages;
    std::vector<Page> pages;
    std::vector<Spread> spreads;
    std::vector<Section> sections;
    std::vector<Item> items; ///< all items: pages, master pages, pasteboard, anchored
    std::vector<Story> stories;
    std::vector<TocSetup> tablesOfContents;
    std::vector<ParagraphFormat> paragraphFormats;
    std::vector<CharacterFormat> characterFormats;

    const ParagraphFormat& Format(const ParagraphRun& run) const {
        return paragraphFormats[run.format];
    }
    const CharacterFormat& Format(const CharacterRun& run) const {
        return characterFormats[run.format];
    }
    /// A frame's defaults; empty ones when it has none.
    const ParagraphFormat& Defaults(const Item& frame) const {
        static const ParagraphFormat kNone;
        return frame.defaults >= 0 ? paragraphFormats[static_cast<std::size_t>(frame.defaults)]
                                   : kNone;
    }
};

} // namespace scribus

#endif
