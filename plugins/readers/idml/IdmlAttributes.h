// The formatting attributes of IDML styles and text ranges (the table in
// IdmlAttributes.def): sets of them as the package writes them, and how each
// becomes an attribute value of the document model.
#ifndef OMBRA_IDML_ATTRIBUTES_H
#define OMBRA_IDML_ATTRIBUTES_H

#include <ReaderBuilder.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace idml {

enum class Attr : std::uint16_t {
#define IDML_ATTR(Name, Where, Target, Convert, Table) k##Name,
#include "IdmlAttributes.def"
    kCount
};

/// The Element an attribute goes to (see IdmlAttributes.def).
enum class Where : std::uint8_t {
    kChar,
    kPara,
    kHyph,
    kJust,
    kRubi,
    kRubiAttr,
    kKenten,
    kKentenAttr,
    kWarichuAttr,
    kNone
};

enum class Convert : std::uint8_t {
    kLength,    ///< points
    kText,      ///< the text itself
    kFontStyle, ///< the style name, and Bold and Italics from its words
    kLeading,   ///< points, or UseAutoLeading for "Auto"
    kRatio100,  ///< a percentage
    kRatio1000, ///< thousandths of an em
    kNotNone,   ///< on unless "None"
    kEnum,      ///< a keyword of the row's table
    kBool,      ///< "true" or "1", "false" or "0"
    kStrike,    ///< on or off as a strike-through type
    kSwatch,    ///< a swatch reference, as the colour's id
    kTint,      ///< a percentage; -1 (inherit) is left out
    kOldStyle,  ///< an OpenType figure style, as old-style figures or not
    kAngle,     ///< degrees
    kMojikumi,  ///< a mojikumi table reference or keyword, as its name
    kInt,
    kKinsoku,  ///< a kinsoku table reference (its id) or set keyword (Kinsokushori)
    kChar16,   ///< the first character
    kLanguage, ///< a language name, as the language it names
};

enum class Keywords : std::uint8_t {
    kNoTable,
    kCapitalization,
    kPosition,
    kDirection,
    kKentenKind,
    kJustification,
    kStartParagraph,
    kCharacterAlignment,
    kKinsokuSet,
    kKinsokuType,
    kRubyType,
    kRubyAlignment,
    kRubyKentenPosition,
    kRubyParentSpacing,
    kRubyOverhang,
    kAdornmentOverprint,
    kKentenAlignment,
    kWarichuAlignment,
    kWrapMode, ///< TextWrapMode, as WrapOptionEnum
    kWrapSide, ///< TextWrapSide, as TextFlowEnum or a SpineSide
};

/// kWrapSide's members for the sides that depend on the page's side.
enum SpineSide { kTowardsSpine = 100, kAwayFromSpine };

struct AttrInfo {
    const char* name;
    Where where;
    AN::AttrNameEnum target;
    Convert convert;
    Keywords table;
};

const AttrInfo& Info(Attr a);
/// The row of an attribute name; false for names the reader does not read.
bool FindAttr(const char* name, Attr& out);

/// Attributes as the package writes them: (row, text), sorted by row.
class AttrSet {
public:
    const std::string* Find(Attr a) const;
    /// Sets or replaces.
    void Set(Attr a, const char* text);
    /// Gathers texts in any order, the later of two for the same attribute
    /// counting, and replaces a set's content by them in row order: linear
    /// in the texts, whatever their order.
    class Builder {
    public:
        void Add(Attr a, const char* text) {
            const auto row = static_cast<std::size_t>(a);
            rows_[row / 64] |= std::uint64_t{1} << (row % 64);
            texts_[row] = text;
        }
        void Into(AttrSet& out) const;

    private:
        static constexpr std::size_t kRows = static_cast<std::size_t>(Attr::kCount);
        std::uint64_t rows_[(kRows + 63) / 64] = {};
        const char* texts_[kRows]; // read only where rows_ has the row
    };
    /// Takes what other sets and this set does not.
    void FillFrom(const AttrSet& other);
    bool Empty() const { return entries_.empty(); }
    bool HasAny(Where where) const;
    const std::vector<std::pair<Attr, std::string>>& Entries() const { return entries_; }
    bool operator==(const AttrSet& other) const { return entries_ == other.entries_; }

private:
    std::vector<std::pair<Attr, std::string>> entries_;
};

/// What attribute values refer to, resolved by the mapper.
class References {
public:
    virtual ~References();
    /// The id of a swatch's Element; false for a reference that points nowhere.
    virtual bool Swatch(const std::string& ref, unsigned& id) = 0;
    virtual bool KinsokuTable(const std::string& ref, unsigned& id) = 0;
    /// The name of a mojikumi table reference ("" when unknown).
    virtual std::string MojikumiName(const std::string& ref) = 0;
};

/// Writes the attributes of the set that go to `where` onto e. Values that
/// cannot be read are left out; references that point nowhere are reported.
void WriteAttributes(obreader::ElementBuilder& b, Element* e, const AttrSet& set, Where where,
                     References& refs);

bool ParseNumber(std::string_view text, double& out);
/// "true" or "1", "false" or "0".
bool ParseBool(std::string_view text, bool& out);
/// The member a keyword stands for in the table, or -1.
int EnumMember(Keywords table, std::string_view keyword);

} // namespace idml

#endif
