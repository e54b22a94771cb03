// What the HTML writer makes of formatting: a class per paragraph and
// character style with a rule in the stylesheet, CSS declarations for local
// formatting, and the stylesheet itself.
#ifndef OMBRA_HTMLWRITER_STYLES_H
#define OMBRA_HTMLWRITER_STYLES_H

#include "StoryWalker.h"
#include "WriterReport.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The character attributes the writer asks: those of the CSS, those CSS here
// cannot give, and the language.
// clang-format off
#define OB_HTML_RUN_VALUES(X) OB_HTML_CSS_VALUES(X) OB_HTML_OTHER_VALUES(X)
#define OB_HTML_CSS_VALUES(X)                                                                      \
    X(Font) X(FontSize) X(Bold) X(Italics) X(Underline) X(StrikeThru) X(UnderlineType) X(Shade)    \
    X(ColorRef) X(BackgroundShadingColorRef) X(CharacterCase) X(CharacterPosition)                 \
    X(BaselineShift)
#define OB_HTML_OTHER_VALUES(X)                                                                    \
    X(HorizontalScale) X(VerticalScale) X(Outline) X(Shadow) X(RangeKerning) X(Track)              \
    X(DictionaryLanguage)
// clang-format on

/// Texts made of some CSS, each kept with the version of what lay under
/// it: the last few, replaced in turn (documents repeat a few combinations).
class OBHtmlKeptTexts {
public:
    struct Entry {
        unsigned version = 0; // 0 for none
        obwalk::Utf8Text from, to;
    };
    /// What was made of css at version, or null.
    const obwalk::Utf8Text* Find(const obwalk::Utf8Text& css, unsigned version) const {
        for (const Entry& entry : entries_)
            if (entry.version == version && entry.from.Equals(css)) return &entry.to;
        return nullptr;
    }
    /// The entry that holds css from now on, its `to` empty for what is made
    /// of it; Keep then gives it its version.
    Entry& Claim(const obwalk::Utf8Text& css) {
        Entry& entry = entries_[next_];
        next_ = (next_ + 1) % kEntries;
        entry.version = 0; // until it holds the pair
        entry.from.Clear();
        entry.from.Append(css);
        entry.to.Clear();
        return entry;
    }
    static void Keep(Entry& entry, unsigned version) {
        if (!entry.from.Failed() && !entry.to.Failed()) entry.version = version;
    }

private:
    static constexpr int kEntries = 8;
    Entry entries_[kEntries];
    int next_ = 0;
};

class OBHtmlStyles {
public:
    using Name = std::basic_string<char, std::char_traits<char>, obwalk::Allocator<char>>;

    OBHtmlStyles(OBStoryWalker& walker, OBWriterReport& report);

    /// The class of a style, made on first use ("p-Body", "c-Emphasis");
    /// names stay unique. Empty for null.
    const Name& ParagraphClass(Element* paragraphStyle);
    const Name& CharacterClass(Element* characterStyle);

    /// The CSS declarations ("font-size: 12pt; ") of what a source of
    /// formatting sets; bold and italics are left out when asked (they are
    /// strong and em then).
    void ParagraphCss(OBMParagraphAttributes* source, obwalk::Utf8Text& css);
    void CharacterCss(OBMCharacterAttributes* source, obwalk::Utf8Text& css, bool noBold = false,
                      bool noItalics = false);
    /// The declarations of a piece of CSS, in place (the text must outlive
    /// it); beyond kMax they are not kept.
    struct Declarations {
        static constexpr int kMax = 64;
        std::string_view part[kMax];
        unsigned long long head[kMax]; // the first bytes of each, compared first
        int count = 0;
        void Of(const obwalk::Utf8Text& css);
        bool Has(std::string_view declaration) const;
    };
    /// Leaves out of `css` the declarations that `under` (the CSS of what
    /// the element stands in) holds already, word for word.
    static void WithoutRepeats(obwalk::Utf8Text& css, const Declarations& under);
    /// The CSS of what elements stand in (a paragraph's under its runs, a
    /// style's under its paragraphs), the last few texts met, each with its
    /// declarations and a version (from 1) while it is kept: paragraphs
    /// take turns among a few, and what was worked out against one is found
    /// again by its version.
    class Unders {
    public:
        struct Under {
            obwalk::Utf8Text css;
            Declarations declarations;
            unsigned version = 0; // 0 while the entry is empty
        };
        /// The kept entry of this text, made when none holds it.
        const Under& Of(const obwalk::Utf8Text& css);

    private:
        static constexpr int kEntries = 4;
        Under entries_[kEntries];
        int next_ = 0;
        unsigned versions_ = 0;
    };
    /// WithoutRepeats, kept for the last pairs of CSS and `under` met (runs
    /// and paragraphs of a document repeat a few combinations). `under` is
    /// known by its version: a new one for every other text it holds.
    class Repeats {
    public:
        void Apply(obwalk::Utf8Text& css, const Declarations& under, unsigned version);

    private:
        OBHtmlKeptTexts kept_;
    };
    /// The values of those attributes in a source of character formatting,
    /// read at once (a stored element's in one pass over its store).
    struct RunValues {
#define OB_HTML_SLOT(Attr) k##Attr,
        enum : int { OB_HTML_RUN_VALUES(OB_HTML_SLOT) kCount };
#undef OB_HTML_SLOT
        static constexpr int kCssCount = kBaselineShift + 1; // the CSS's come first
        Value* v[kCount] = {};
        /// Which values a view is asked for: those of the CSS, the others
        /// with bold and italics; the rest are left as they are. A stored
        /// element gives all at once.
        enum Part : int { kCss = 1, kOthers = 2, kAll = 3 };
        /// A source's (none for null).
        void Read(OBMCharacterAttributes* source, int parts = kAll);
    };
    /// RunValues::Read, with a resolver's sources read one by one and the
    /// values of each style's kept chain kept here.
    void ReadValues(OBMCharacterAttributes* source, RunValues& values, int parts);
    /// Returns what names the CSS appended among those kept (from 1), or 0.
    unsigned long long CharacterCss(const RunValues& values, obwalk::Utf8Text& css,
                                    bool noBold = false, bool noItalics = false);
    /// Counts what a run's or a paragraph's whole formatting asks for that
    /// CSS here cannot give (scaling, outline, shadow, tracking, drop caps);
    /// of a run's values, only those after the CSS's are read.
    void CountRunLosses(const RunValues& format);
    void CountParagraphLosses(OBMParagraphAttributes* format);

    /// The base rules, the Japanese constructions, with lists the rule that
    /// hides their own markers and, with classes, one rule per class used.
    void Stylesheet(obwalk::Utf8Text& out, bool classes, bool lists);

private:
    struct Entry {
        Element* style;
        bool paragraph;
        Name name;
    };
    static constexpr std::size_t kNoClass = ~std::size_t(0);
    const Name& ClassOf(Element* style, bool paragraph);
    void Color(unsigned colorId, double shade, const char* property, obwalk::Utf8Text& css);
    /// What the CSS of a source of character formatting depends on.
    struct Facts {
        Value* font = nullptr; // compared by its text
        double size = 0, shade = 1, shift = 0;
        unsigned color = 0, background = 0;
        int strike = 0, underlineType = 0, letterCase = 0, position = 0;
        bool hasSize = false, hasBold = false, bold = false, hasItalics = false, italics = false;
        bool hasUnderline = false, underline = false, hasStrike = false, hasUnderlineType = false;
        bool hasColor = false, hasBackground = false, hasCase = false, hasPosition = false;
        bool hasShift = false;
        bool Same(const Facts& other) const;
    };
    static Facts Read(const RunValues& source);
    void CharacterCss(const Facts& facts, obwalk::Utf8Text& css, bool noBold, bool noItalics);
    // What the last run's losses were read from (the slots after the CSS's
    // up to the language), and what they were.
    static constexpr int kLossValues = RunValues::kDictionaryLanguage - RunValues::kHorizontalScale;
    Value* lossValues_[kLossValues] = {};
    bool lossesKnown_ = false, scaling_ = false, outlineShadow_ = false, tracking_ = false;
    static constexpr int kCssValues = RunValues::kCssCount;
    // The CSS of the facts met lately, each with a hash of its facts but
    // the font (compared by its text, which costs) and of the flags.
    struct Kept {
        Facts facts;
        bool noBold = false, noItalics = false, known = false;
        unsigned long long serial = 0; // new whenever the entry is filled, 0 while it is
        obwalk::Utf8Text css;
    };
    static unsigned long long Hash(const Facts& facts, bool noBold, bool noItalics);
    static constexpr int kKept = 32;
    Kept kept_[kKept];
    unsigned long long keptHashes_[kKept] = {}; // apart, for a short scan
    int nextKept_ = 0;
    // The very values met lately (values stay put while the conversion
    // lasts), by a hash of their addresses: the kept entry they gave while
    // it holds the same serial.
    struct Seen {
        Value* values[kCssValues] = {};
        bool noBold = false, noItalics = false;
        int kept = 0;
        unsigned long long serial = 0; // 0 for none
    };
    static constexpr int kSeen = 64;
    Seen seen_[kSeen];
    unsigned long long keptSerial_ = 0;

    // All the values of a source (depth: the resolvers above it).
    void ReadAll(OBMCharacterAttributes* source, Value** out, int depth);
    // The values of the styles' kept chains, and of the stored elements,
    // met lately: they live, and give the same, while the conversion lasts.
    struct ChainValues {
        const OBMCharacterAttributes* chain = nullptr;
        Value* v[RunValues::kCount] = {};
    };
    static constexpr int kChains = 8, kStored = 4;
    ChainValues chains_[kChains], stored_[kStored];
    int nextChain_ = 0, nextStored_ = 0;

    OBStoryWalker& walker_;
    OBWriterReport& report_;
    std::unordered_map<const Element*, std::size_t, std::hash<const Element*>,
                       std::equal_to<const Element*>,
                       obwalk::Allocator<std::pair<const Element* const, std::size_t>>>
        classes_;
    std::vector<Entry, obwalk::Allocator<Entry>> entries_;
    struct LastClass {
        const Element* style = nullptr;
        std::size_t index = kNoClass;
    };
    LastClass lastClass_[2]; // of character and of paragraph styles, found in classes_
    struct NameHash {
        std::size_t operator()(const Name& name) const noexcept {
            return std::hash<std::string_view>()(std::string_view(name.data(), name.size()));
        }
    };
    std::unordered_set<Name, NameHash, std::equal_to<Name>, obwalk::Allocator<Name>> names_;
    std::unordered_set<unsigned, std::hash<unsigned>, std::equal_to<unsigned>,
                       obwalk::Allocator<unsigned>>
        convertedColors_;
    Name empty_;
    void FontCss(Value* font, obwalk::Utf8Text& css);
    struct FontEntry {
        std::basic_string<char16_t, std::char_traits<char16_t>, obwalk::Allocator<char16_t>> name;
        obwalk::Utf8Text css;
        bool known = false;
    };
    static constexpr int kFonts = 4;
    FontEntry fonts_[kFonts];
    int nextFont_ = 0;
    struct ColorEntry {
        bool known = false;
        unsigned id = 0;
        double shade = 0;
        char text[8] = {}; ///< "#rrggbb", or empty for no colour
    };
    static constexpr unsigned kColorEntries = 16;
    ColorEntry colors_[kColorEntries];
};

#endif
