// The IDML reader's model of one package, between the XML parts and the
// Elements.
//
// The parser (IdmlParser.h) reads the parts one at a time into this model
// and lets each part's XML go; the mapper (IdmlMapper.h) turns the model
// into Elements. References between parts stay as the package writes them
// (the Self ids of styles, swatches, layers, stories, frames); references
// inside the model are indices into the Document's vectors, -1 for none.
// Lengths are points, as in the package; matrices map an item's own space
// to its parent's (spread or group).
#ifndef OMBRA_IDML_MODEL_H
#define OMBRA_IDML_MODEL_H

#include "IdmlAttributes.h"

#include <ReaderGeometry.h>
#include <ReaderItems.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace idml {

using obreader::Matrix;
using obreader::SubPath;

struct TabStop {
    double position = 0;
    std::string alignment; ///< LeftAlign, RightAlign, CenterAlign, CharacterAlign
    std::string character; ///< the alignment character
    std::u16string leader;
};

/// A paragraph, character, object or cell style.
struct Style {
    std::string self, name, basedOn, next;
    AttrSet attrs;
    std::vector<TabStop> tabs;
    bool hasTabs = false;
};

struct Swatch {
    enum class Kind { kColor, kTint, kGradient, kNone, kMixedInk };
    Kind kind = Kind::kColor;
    std::string self, name;
    std::string space; ///< CMYK, RGB or LAB
    std::string model; ///< Process, Spot, Registration
    double values[4] = {0, 0, 0, 0};
    std::string base;  ///< tints: the swatch they lighten
    double tint = 100; ///< tints: percent
    bool radial = false;
    struct Stop {
        std::string color;
        double location = 0, midpoint = 50;
    };
    std::vector<Stop> stops; ///< gradients
};

struct Ink {
    std::string name;
    bool process = false;
};

struct Layer {
    std::string self, name;
    bool visible = true, locked = false, printable = true;
};

struct Font {
    std::string family, name, postscript, style;
    int writingScript = -1;
};

struct Condition {
    std::string self, name;
    bool visible = true;
};

struct Section {
    std::string self, name, pageStart, prefix, style = "Arabic";
    int start = 1;
    bool continueNumbering = false, includePrefix = false;
};

struct KinsokuTable {
    std::string self, name, startChars, endChars;
};

struct Hyperlink {
    std::string self, name, source, destination;
};

/// A hyperlink destination named in designmap.xml (text destinations are
/// in the stories).
struct Destination {
    enum class Kind { kUrl, kPage, kExternalPage };
    Kind kind = Kind::kUrl;
    std::string self, name, url, page;
};

struct Margins {
    double top = 0, left = 0, bottom = 0, right = 0;
};

struct Page {
    std::string self, name, master;
    Matrix transform;                ///< page to spread
    double bounds[4] = {0, 0, 0, 0}; ///< top, left, bottom, right in the page's own space
    Margins margins;
    int columns = 1;
    double gutter = 0;
    int spread = -1;
    bool onMaster = false;
};

/// A frame grid: the size of its cells.
struct Grid {
    double pointSize = 12, lineAki = 9, characterAki = 0, scaleX = 100, scaleY = 100;
};

struct TextPathInfo {
    std::string self, story, previous, next;
    bool flipped = false;
};

struct Item {
    enum class Kind { kTextFrame, kRectangle, kOval, kPolygon, kLine, kGroup, kOther };
    Kind kind = Kind::kRectangle;
    std::string self, name, layer, objectStyle;
    Matrix transform; ///< to the parent's space
    std::vector<SubPath> outline;
    bool visible = true, locked = false, nonPrinting = false;
    std::string fill, stroke;
    double strokeWeight = 0, cornerRadius = 0;
    obreader::TextWrapSpec wrap; ///< its own TextWrapPreference (option kNone: none)
    int wrapSpine = 0;           ///< 1 or -1: wraps on the side towards or away from the spine
    // Text frames.
    std::string story, previous, next;
    int columns = 1;
    double gutter = 0;
    Margins insets;
    bool hasGrid = false; ///< the frame names its grid (used when its story is a frame grid)
    Grid grid;
    std::vector<TextPathInfo> textPaths;
    // Pictures.
    bool picture = false, embedded = false;
    std::string link, format;
    Matrix imageTransform;
    // Where it lies.
    std::vector<int> children; ///< group members, back to front
    int parent = -1;           ///< group
    int spread = -1;           ///< for top-level items
    bool onMaster = false;
    int anchorStory = -1; ///< stories: the story whose text holds it
};

struct Spread {
    std::string self, name;
    bool master = false;
    std::vector<int> pages; ///< indices into Document::pages
    std::vector<int> items; ///< top-level items, back to front
};

// ---------------------------------------------------------------- stories

/// Flags of a character range.
enum RunFlags : std::uint8_t {
    kNoteText = 1,   ///< the text of a note
    kInserted = 2,   ///< tracked as inserted
    kDeleted = 4,    ///< tracked as deleted
    kHiddenText = 8, ///< hidden by its conditions
};

struct CharRun {
    std::uint32_t start = 0, end = 0;
    const std::string* style = nullptr; ///< character style Self (Document::Intern), or none
    const AttrSet* local = nullptr;     ///< into Story::sets
    std::uint8_t flags = 0;
    int change = -1; ///< into Story::changes, for inserted and deleted text
};

/// Where a paragraph style range starts: the paragraphs that begin from
/// here on take its style and formatting.
struct ParaSegment {
    std::uint32_t start = 0;
    const std::string* style = nullptr; ///< paragraph style Self (Document::Intern), or none
    const AttrSet* local = nullptr;
    const std::vector<TabStop>* tabs = nullptr;
};

struct Change {
    std::string author, date;
};

struct Marker {
    enum class Kind {
        kPageNumber,
        kNextPageNumber,
        kPreviousPageNumber,
        kSectionName,
        kFootnoteNumber,
        kVariable,
        kAnchor,
        kTable,
        kFootnote,
        kBreak, ///< a column, frame or page break
    };
    std::uint32_t position = 0;
    Kind kind = Kind::kPageNumber;
    int index = -1;       ///< kAnchor: item; kTable: table; kFootnote: story
    std::string text;     ///< kVariable: the text shown; kBreak: the ParagraphBreakType keyword
    std::string variable; ///< kVariable: the TextVariable's Self
};

struct Cell {
    int row = 0, column = 0, rowSpan = 1, columnSpan = 1;
    std::string style;
    int story = -1;
};

struct Table {
    int rows = 0, columns = 0, headerRows = 0, footerRows = 0;
    std::vector<double> rowHeights, columnWidths;
    std::string style;
    std::vector<Cell> cells;
};

struct TextRange {
    std::string self;
    int story = -1; ///< the story whose text holds it
    std::uint32_t start = 0, end = 0;
};

struct Story {
    std::string self;
    bool vertical = false, frameGrid = false, damaged = false;
    Grid grid;
    int owner = -1; ///< cells and footnotes: the story that holds them
    std::u16string text;
    std::vector<ParaSegment> paragraphs;
    std::vector<CharRun> runs;
    std::vector<Marker> markers;
    std::vector<Change> changes;
    std::vector<std::unique_ptr<AttrSet>> sets;              ///< the runs' formatting
    std::vector<std::unique_ptr<std::vector<TabStop>>> tabs; ///< the segments' tab stops
};

struct Publication {
    double pageWidth = 612, pageHeight = 792;
    Margins margins;
    bool facingPages = false, rightToLeft = false;
    std::string name, version, horizontalUnits, verticalUnits;
    std::string title, author, subject, keywords, creator, created, modified;
};

struct Document {
    Publication publication;
    std::vector<Swatch> swatches;
    std::vector<Ink> inks;
    std::vector<Font> fonts;
    std::vector<Layer> layers; ///< as designmap.xml lists them
    std::vector<Condition> conditions;
    /// Condition Self to whether one of that Self is shown: looked up per run.
    std::unordered_map<std::string, bool> conditionShown;
    std::vector<Section> sections;
    std::vector<KinsokuTable> kinsokuTables;
    std::unordered_map<std::string, std::string> mojikumiNames; ///< Self to name
    std::unordered_map<std::string, std::string> variableTypes; ///< TextVariable Self to type
    /// NumberingList Self: whether its numbers go on across stories.
    std::unordered_map<std::string, bool> acrossStories;
    std::vector<Style> characterStyles, paragraphStyles, objectStyles, cellStyles;
    std::vector<Spread> spreads; ///< master spreads first, then the document's
    std::vector<Page> pages;
    std::vector<Item> items;
    std::vector<Story> stories;
    std::vector<Table> tables;
    std::vector<Hyperlink> hyperlinks;
    std::vector<Destination> destinations;
    std::vector<TextRange> sources;     ///< hyperlink and cross-reference sources in text
    std::vector<TextRange> textTargets; ///< text and paragraph destinations
    std::unordered_map<std::string, std::string> pageItemSources; ///< Self to page item Self

    /// One copy of each style reference the runs name; null for "".
    const std::string* Intern(const std::string& s) {
        return s.empty() ? nullptr : &*interned_.insert(s).first;
    }

private:
    std::unordered_set<std::string> interned_;
};

} // namespace idml

#endif
