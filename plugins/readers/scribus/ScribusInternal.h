// Pieces shared by the parser's source files; not part of the parser's API.
#ifndef OMBRA_SCRIBUS_INTERNAL_H
#define OMBRA_SCRIBUS_INTERNAL_H

#include "ScribusParser.h"

#include <pugixml.hpp>

#include <cstdint>
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

/// The known attributes of one element, found in a single pass over its
/// attribute list (elements carry up to a few hundred attributes, so looking
/// each name up separately would be quadratic).
class Attrs {
public:
    Attrs();
    void Load(pugi::xml_node node);
    /// The value, or null when the element does not have the attribute.
    const char* Get(AttrId id) const { return stamp_[id] == current_ ? values_[id] : nullptr; }
    bool Has(AttrId id) const { return stamp_[id] == current_; }
    static const char* NameOf(AttrId id);

private:
    const char* values_[kAttrCount];
    std::uint32_t stamp_[kAttrCount];
    std::uint32_t current_ = 0;
};

/// Collects warnings and holds the limits for one parse.
class Context {
public:
    Context(const ParseOptions& options, ParseResult& result) : options(options), result(result) {}
    void Warn(Warning::Code code, std::string message);
    /// Warns once per code and key, for faults that repeat through a file.
    void WarnOnce(Warning::Code code, const std::string& key, std::string message);

    const ParseOptions& options;
    ParseResult& result;
    bool latin1 = false;      ///< text is 8-bit (documents before 1.2)
    bool storyText15 = false; ///< text is written the 1.5 way (see ScribusText.cpp)
    bool sawInvalidUtf8 = false;
    bool legacyFirstLeft = false;      ///< 1.2 facing pages start with a left page
    std::vector<PathPoint> pathPoints; ///< scratch for the outline being read

private:
    std::unordered_set<std::string> onceKeys_;
};

/// True for a finite number within +-1e9.
bool InRange(double v);
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
/// Reads an item identifier or a link to one. Scribus 1.5 derives them from
/// addresses, so they take the whole 64-bit range (-1 meaning none).
long long Identifier(Context& ctx, const Attrs& a, AttrId id, long long fallback);
/// Sets field only when the attribute holds a usable number; warns when it
/// holds something else.
void OptionalNumber(Context& ctx, const Attrs& a, AttrId id, std::optional<double>& field);
bool Flag(const Attrs& a, AttrId id, bool fallback);
std::string String(const Attrs& a, AttrId id);
/// A list of numbers separated by spaces or commas; stops at max entries.
void NumberList(const char* text, std::vector<double>& out, std::size_t max);

/// Appends UTF-8 (or 8-bit, for old documents) text as UTF-16. Invalid
/// sequences are read as Latin-1 and noted in the context.
void AppendText(Context& ctx, const char* text, std::u16string& out);
std::u16string ToUtf16(Context& ctx, const char* text);

/// Outline from the legacy coordinate list (groups of four points per
/// segment: start, its control point, end, its control point).
void CoordinatesToPath(Context& ctx, const char* text, std::vector<SubPath>& out);
/// Outline from SVG path data (M, L, H, V, C, S, Q, T, Z, absolute or relative).
void SvgToPath(Context& ctx, const char* text, std::vector<SubPath>& out);

/// Where an item came from, kept beside Document::items while parsing: the
/// raw links and group ids that are resolved once every item is read.
struct ItemSource {
    enum Scope { kDocumentItems, kMasterItems, kAnchoredItems, kGroupMembers };
    pugi::xml_node node;
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
};

/// Links frame chains into stories, builds groups from group ids, places
/// items on pages and derives spreads.
void Assemble(Context& ctx, Document& doc, std::vector<ItemSource>& sources,
              const std::vector<long long>& groupIds, const std::vector<std::string>& styleByIndex);

bool SameCharacter(const CharacterAttributes& a, const CharacterAttributes& b);
bool SameParagraph(const ParagraphAttributes& a, const ParagraphAttributes& b);

/// Character attributes written the 1.3.4+ way (FONT, FONTSIZE, FCOLOR, ...).
void ReadCharacterAttributes(Context& ctx, const Attrs& a, CharacterAttributes& out);
/// Paragraph attributes written the 1.3.4+ way, and their tab stops.
void ReadParagraphAttributes(Context& ctx, const Attrs& a, pugi::xml_node node,
                             ParagraphAttributes& out);
/// Effect bits from a FEATURES list ("inherit underline smallcaps").
bool FeaturesToEffects(const char* text, unsigned& effects);

} // namespace detail
} // namespace scribus

#endif
