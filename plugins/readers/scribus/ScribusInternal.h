// Pieces shared by the parser's source files; not part of the parser's API.
#ifndef OMBRA_SCRIBUS_INTERNAL_H
#define OMBRA_SCRIBUS_INTERNAL_H

#include "ScribusParser.h"

#include <ReaderTables.h>

#include <pugixml.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace scribus {
namespace detail {

enum AttrId : std::uint16_t {
#define SCRIBUS_ATTRIBUTE(id, text) id,
#include "ScribusAttributes.def"
    kAttrCount
};

/// The elements the parser reads; kElementCount stands for any other.
enum ElementId : std::uint8_t {
#define SCRIBUS_ELEMENT(id, text) id,
#include "ScribusElements.def"
    kElementCount
};

/// The id of the element name [name, name + length), or kElementCount.
ElementId ElementIdOf(const char* name, std::size_t length);

/// Bytes that follow the NUL of every value in Attrs, in the value's own
/// allocation: handlers read short values 16 bytes at once (Sixteen in
/// ScribusText.h), and AddressSanitizer holds every source to it.
constexpr std::size_t kValuePadding = 16;

/// The known attributes of one element, found in a single pass over its
/// attribute list (elements carry up to a few hundred attributes, so looking
/// each name up separately would be quadratic). Each value is followed by
/// kValuePadding readable bytes after its NUL.
class Attrs {
public:
    Attrs();
    /// Forgets the attributes of the element before.
    void Begin() {
        count_ = 0;
        prefix_ = 0;
        prefixCount_ = 0;
        if (++current_ == 0) Restamp(); // the stamp wrapped
    }
    /// Sets one attribute; the first of duplicates wins, as it does in a tree.
    void Set(AttrId id, const char* value) {
        if (stamp_[id] != current_) {
            stamp_[id] = current_;
            values_[id] = value;
            ids_[count_++] = id;
        }
    }
    /// Set, for an attribute not set since Begin.
    void SetFresh(AttrId id, const char* value) {
        stamp_[id] = current_;
        values_[id] = value;
        ids_[count_++] = id;
    }
    /// Begin, then every known attribute of a tree node, as copies with
    /// their padding.
    void Load(pugi::xml_node node);
    /// The id of the attribute name [name, name + length), or kAttrCount.
    static std::uint32_t AttrIdOf(const char* name, std::size_t length);
    /// The length of the name of id when text starts with it and '=' follows
    /// it, else 0; the text has at least 17 more bytes (a NUL among them
    /// ends it).
    static std::size_t NameLengthAt(AttrId id, const char* text);
    /// The value, or null when the element does not have the attribute.
    const char* Get(AttrId id) const { return stamp_[id] == current_ ? values_[id] : nullptr; }
    bool Has(AttrId id) const { return stamp_[id] == current_; }
    static const char* NameOf(AttrId id);
    /// The attributes set since Begin, in the order they came.
    std::size_t Count() const { return count_; }
    AttrId IdAt(std::size_t i) const { return ids_[i]; }

    /// Marks the first count attributes set as the element's prefix:
    /// elements of one name with the same nonzero prefix number have the same
    /// prefix attributes, with the same values, in the same order.
    void SetPrefix(std::uint64_t number, std::size_t count) {
        prefix_ = number;
        prefixCount_ = count;
    }
    /// The prefix number; 0 when the element shares its prefix with none.
    std::uint64_t Prefix() const { return prefix_; }
    /// The attributes set after the prefix: [PrefixCount(), Count()).
    std::size_t PrefixCount() const { return prefixCount_; }

private:
    /// Forgets every old value, once in 2^32 elements.
    void Restamp();
    const char* values_[kAttrCount];
    std::uint32_t stamp_[kAttrCount];
    std::uint32_t current_ = 0;
    AttrId ids_[kAttrCount];
    std::size_t count_ = 0;
    std::uint64_t prefix_ = 0;
    std::size_t prefixCount_ = 0;
    std::string copies_; ///< the values Load set, one after the other, then the padding
};

/// Warnings kept back to be given out later, in their order: what a story
/// read while the document streams by says about itself waits for the place
/// the story takes among the document's warnings.
struct HeldWarnings {
    struct Entry {
        Warning::Code code;
        std::string key; ///< empty, or the key of a warning given once
        std::string message;
    };
    std::vector<Entry> entries;
    std::unordered_set<std::string> keys; ///< once-keys already held
    std::size_t plain = 0;                ///< entries without a key
    std::size_t dropped = 0;              ///< plain warnings past the limit: never shown
};

/// The document's paragraph and character formats, each kept once: the
/// index of a format equal to the one given (every field the same, to the
/// bit), made when there is none yet.
class FormatTables {
public:
    explicit FormatTables(Document& doc) : doc_(doc) {}
    std::uint32_t Paragraph(const std::string& style, const ParagraphAttributes& local);
    std::uint32_t Character(const std::string& style, const CharacterAttributes& local);
    /// Paragraph, for the default formats of frames: frames mostly repeat
    /// the one before, with paragraph formats between them.
    std::uint32_t FrameDefaults(const std::string& style, const ParagraphAttributes& local);

private:
    struct Index {
        std::vector<std::uint32_t> slots; // format index + 1; 0 for an empty slot
        std::uint32_t last = 0;           // index + 1 of the format asked for last
        std::uint32_t before = 0;         // and of the other one asked for before it
    };
    template <class F, class A>
    std::uint32_t Find(std::vector<F>& list, Index& index, const std::string& style,
                       const A& local);
    Document& doc_;
    Index paragraphs_, characters_;
    std::uint32_t frameDefaults_ = 0; // paragraph format index + 1 FrameDefaults gave last
};

/// What is known of the format of a text: the index of a format
/// SameCharacter as it, once found.
struct KnownFormat {
    bool valid = false;
    std::uint32_t format = 0;
};

/// A paragraph format element's reading, and its format index once found.
struct ParagraphReading {
    std::string style;
    ParagraphAttributes local;
    bool hasFormat = false;
    std::uint32_t format = 0;
};

/// Collects warnings and holds the limits for one parse.
class Context {
public:
    Context(const ParseOptions& options, ParseResult& result)
        : options(options), result(result), formats(result.document) {}
    void Warn(Warning::Code code, std::string message);
    /// Warns once per code and key, for faults that repeat through a file.
    void WarnOnce(Warning::Code code, const std::string& key, std::string message);
    /// From now on warnings wait in `list` (null: they are given out);
    /// returns where they went before.
    HeldWarnings* Hold(HeldWarnings* list) {
        HeldWarnings* before = held_;
        held_ = list;
        return before;
    }
    /// Gives out what waited in `list`, to wherever warnings go now.
    void Release(HeldWarnings& list);

    const ParseOptions& options;
    ParseResult& result;
    /// Calls of Warn and WarnOnce so far: a reading that made none can be
    /// reused for the same attributes.
    std::size_t warnCalls = 0;
    FormatTables formats;
    bool latin1 = false;      ///< text is 8-bit (documents before 1.2)
    bool storyText15 = false; ///< text is written the 1.5 way (see ScribusText.cpp)
    bool sawInvalidUtf8 = false;
    bool legacyFirstLeft = false; ///< 1.2 facing pages start with a left page
    /// 1.2 and before: character flag bits 256 and 512 are no shadow and no
    /// word underline, which came later; 512 marks where a line was broken
    /// at a hyphenation point.
    bool hyphenFlags12 = false;
    std::vector<PathPoint> pathPoints; ///< scratch for the outline being read
    /// What the tables read so far left of the empty rows kept.
    long long emptyRows = obreader::kEmptyRowsPerDocument;
    /// The paragraph formats of story texts read last, with the attributes
    /// they were read from (ScribusText.cpp): frames mostly repeat them.
    struct ParagraphMemo {
        std::uint64_t prefix = 0;    ///< Attrs::Prefix of the element
        std::size_t prefixCount = 0; ///< and Attrs::PrefixCount
        std::string key;             ///< the attributes after the prefix; empty: none
        /// Shared with the paragraphs read from it, which outlive it.
        std::shared_ptr<ParagraphReading> reading;
    };
    ParagraphMemo paragraphMemos[4];
    unsigned nextParagraphMemo = 0;
    /// The reading of a paragraph format element without attributes.
    std::shared_ptr<ParagraphReading> bareParagraph;
    /// Where story texts are decoded before they join their story (it only
    /// grows, and serves every story).
    std::u16string textScratch;
    /// The formats of the story texts read last, with the attributes but CH
    /// they were read from (ScribusText.cpp): stories mostly repeat them.
    struct TextMemo {
        std::uint64_t prefix = 0; ///< Attrs::Prefix of the text
        std::size_t from = 0;     ///< the key covers the attributes from here on
        std::size_t count = 0;    ///< Attrs::Count of the text
        std::string key;
        std::string cstyle;
        CharacterAttributes local;
        KnownFormat known;
        bool valid = false;
    };
    TextMemo textMemos[2];
    unsigned newestTextMemo = 0;

private:
    void Keep(Warning::Code code, const std::string& key, std::string message);
    std::unordered_set<std::string> onceKeys_;
    HeldWarnings* held_ = nullptr;
};

/// True for a finite number within +-1e9.
inline bool InRange(double v) {
    return v <= 1e9 && v >= -1e9; // false for NaN and the infinities as well
}
/// Reads one number at p (a leading '+' allowed); returns the position after
/// it, or null. The text ends with a NUL at or after end.
const char* ReadNumber(const char* p, const char* end, double& out);
// Numbers. Each returns false, leaving the output alone, when the text is
// missing, unreadable, not finite or beyond +-1e9.
bool ParseDouble(const char* text, double& out);
bool ParseInt(const char* text, long long& out);
/// Reads a number attribute; warns about an unreadable value and returns
/// the fallback then.
double Number(Context& ctx, const Attrs& a, AttrId id, double fallback);
long long Integer(Context& ctx, const Attrs& a, AttrId id, long long fallback);
/// Number for count attributes at once (fallback 0): a colour's components.
void Numbers(Context& ctx, const Attrs& a, const AttrId* ids, int count, double* out);
/// Reads an item identifier or a link to one. Scribus 1.5 derives them from
/// addresses, so they take the whole 64-bit range (-1 meaning none).
long long Identifier(Context& ctx, const Attrs& a, AttrId id, long long fallback);
/// Sets field only when the attribute holds a usable number; warns when it
/// holds something else.
void OptionalNumber(Context& ctx, const Attrs& a, AttrId id, std::optional<double>& field);
bool Flag(const Attrs& a, AttrId id, bool fallback);
std::string String(const Attrs& a, AttrId id);
/// The visible character effects (Effect bits) of character flags: 128
/// marks a possible hyphenation point and bits from 1024 on are internal;
/// in 1.2 and before, 256 and 512 are hyphenation marks too.
inline unsigned EffectBits(const Context& ctx, long long flags) {
    return static_cast<unsigned>(flags) & (ctx.hyphenFlags12 ? 0x7Fu : 0x37Fu);
}
/// EffectBits of a flag attribute.
inline unsigned Effects(Context& ctx, const Attrs& a, AttrId id) {
    return EffectBits(ctx, Integer(ctx, a, id, 0));
}
/// A list of numbers separated by spaces or commas; stops at max entries.
void NumberList(const char* text, std::vector<double>& out, std::size_t max);

/// Appends size bytes of UTF-8 (or 8-bit, for old documents) text as UTF-16. Invalid
/// sequences are read as Latin-1 and noted in the context.
void AppendText(Context& ctx, const char* text, std::size_t size, std::u16string& out);
std::u16string ToUtf16(Context& ctx, const char* text);

/// Outlines read their numbers a word at a time: text is an attribute
/// value, or any text with kValuePadding readable bytes after its NUL.
/// Outline from the legacy coordinate list (groups of four points per
/// segment: start, its control point, end, its control point).
void CoordinatesToPath(Context& ctx, const char* text, Outline& out);
/// Outline from SVG path data (M, L, H, V, C, S, Q, T, Z, absolute or relative).
void SvgToPath(Context& ctx, const char* text, Outline& out);

/// Where an item came from, kept beside Document::items while parsing: the
/// raw links and group ids that are resolved once every item is read.
struct ItemSource {
    /// Defined below, apart, as Item's is: not zeroed whole first.
    ItemSource();

    enum Scope { kDocumentItems, kMasterItems, kAnchoredItems, kGroupMembers };
    Scope scope = kDocumentItems;
    int indexInScope = 0; ///< position among the items of its scope
    int pageOrdinal = -1; ///< 1.2: position of the enclosing PAGE among its kind
    long long next = -1, back = -1, nextPage = -1, backPage = -1;
    long long id = -1;       ///< ItemID (1.5)
    long long anchorId = -1; ///< InID of an anchored frame (1.5)
    /// GROUPS, innermost first (before 1.5): entries of the parse's one list
    /// of group ids, so that no item needs a list of its own.
    std::uint32_t groupsBegin = 0, groupsCount = 0;
    double canvasX = 0, canvasY = 0;
    long long ownPage = -1;
    std::string masterName; ///< OnMasterPage
    /// A text frame's text: the story read from it as the document streamed
    /// by (a frame linked to no other), its elements kept for later (a frame
    /// of a chain), or its element in the tree.
    int built = -1, record = -1;
    pugi::xml_node node;
};

inline ItemSource::ItemSource() = default;

bool SameCharacter(const CharacterAttributes& a, const CharacterAttributes& b);
bool SameParagraph(const ParagraphAttributes& a, const ParagraphAttributes& b);

/// Character attributes written the 1.3.4+ way (FONT, FONTSIZE, FCOLOR, ...).
void ReadCharacterAttributes(Context& ctx, const Attrs& a, CharacterAttributes& out);
/// ReadCharacterAttributes in two parts: every field but the effects, then
/// the effects (FEATURES, EFFECT).
void ReadCharacterFields(Context& ctx, const Attrs& a, CharacterAttributes& out);
void ReadCharacterEffects(Context& ctx, const Attrs& a, CharacterAttributes& out);
/// The texts of every attribute ReadCharacterFields reads, as one key: equal
/// keys give equal fields (and equal warnings).
void CharacterFieldsKey(const Attrs& a, std::string& key);
/// Whether the attributes have the key.
bool SameCharacterFieldsKey(const Attrs& a, const std::string& key);
/// Whether an attribute ReadCharacterFields reads is among those set from
/// the from-th on.
bool HasCharacterField(const Attrs& a, std::size_t from);

/// Reads an element of paragraph formatting (a style, a paragraph's end, a
/// frame's defaults) as it streams by: its attributes at its start, tab
/// stops from its Tabs children, and at its end what the character
/// attributes had to say, which follows what the tab stops said.
class ParagraphFormatReader {
public:
    void Start(Context& ctx, const Attrs& a, ParagraphAttributes& out);
    /// Start for a format already read into out (that gave no warnings).
    void Resume(ParagraphAttributes& out);
    /// A Tabs child.
    void Tab(Context& ctx, const Attrs& a);
    void End(Context& ctx);

private:
    ParagraphAttributes* out_ = nullptr;
    std::vector<TabStop> stops_;
    bool sawTabs_ = false, full_ = false;
    HeldWarnings held_;
};

/// Effect bits from a FEATURES list ("inherit underline smallcaps").
bool FeaturesToEffects(const char* text, unsigned& effects);

} // namespace detail
} // namespace scribus

#endif
