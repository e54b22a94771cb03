#include "IdmlAttributes.h"
#include "IdmlNames.h"

#include <FaceWords.h>
#include <Languages.h>

#include <ombra/messages.h>
#include <ombra/values.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace idml {

namespace {

using W = Where;
using C = Convert;
using T = Keywords;

const AttrInfo kInfo[] = {
#define IDML_ATTR(Name, WhereTo, Target, How, Keywords)                                            \
    {#Name, W::WhereTo, AN::k##Target, C::How, T::Keywords},
#include "IdmlAttributes.def"
};

struct Keyword {
    const char* text;
    int member;
};

struct KeywordTable {
    const Keyword* words;
    std::size_t count;
    void (*create)(int member, Value*& v);
};

template <class E, void (*Create)(const E&, Value*&)> void Make(int member, Value*& v) {
    Create(static_cast<E>(member), v);
}

#define IDML_TABLE(Name, Enum, Creator, ...)                                                       \
    const Keyword k##Name##Words[] = {__VA_ARGS__};                                                \
    const KeywordTable k##Name = {k##Name##Words, sizeof k##Name##Words / sizeof(Keyword),         \
                                  &Make<Enum, &ValueUtil::Creator>};

IDML_TABLE(Capitalization, CCE::CharacterCaseEnum, CreateValueCharacterCaseEnum,
           {"Normal", CCE::kNormal}, {"SmallCaps", CCE::kSmallCaps}, {"AllCaps", CCE::kAllCaps},
           {"CapToSmallCap", CCE::kAllSmallCaps})
IDML_TABLE(Position, CPE::CharacterPositionEnum, CreateValueCharacterPositionEnum,
           {"Normal", CPE::kNormal}, {"Superscript", CPE::kSuperscript},
           {"Subscript", CPE::kSubscript}, {"OTSuperscript", CPE::kSuperior},
           {"OTSubscript", CPE::kInferior}, {"OTNumerator", CPE::kNumerator},
           {"OTDenominator", CPE::kDenominator})
IDML_TABLE(Direction, DE::DirectionEnum, CreateValueDirectionEnum,
           {"LeftToRightDirection", DE::kLeftToRight}, {"RightToLeftDirection", DE::kRightToLeft})
IDML_TABLE(KentenKind, KKE::KentenKindEnum, CreateValueKentenKindEnum, {"None", KKE::kNone},
           {"KentenSesameDot", KKE::kSesameDot}, {"KentenWhiteSesameDot", KKE::kWhiteSesameDot},
           {"KentenFisheye", KKE::kFisheye}, {"KentenBullseye", KKE::kBullseye},
           {"KentenBlackCircle", KKE::kBlackCircle}, {"KentenWhiteCircle", KKE::kWhiteCircle},
           {"KentenSmallBlackCircle", KKE::kSmallBlackCircle},
           {"KentenSmallWhiteCircle", KKE::kSmallWhiteCircle},
           {"KentenBlackTriangle", KKE::kBlackTriangle},
           {"KentenWhiteTriangle", KKE::kWhiteTriangle}, {"Custom", KKE::kCustom})
IDML_TABLE(Justification, AE::AlignmentEnum, CreateValueAlignmentEnum, {"LeftAlign", AE::kLeft},
           {"CenterAlign", AE::kCenter}, {"RightAlign", AE::kRight},
           {"LeftJustified", AE::kJustify}, {"CenterJustified", AE::kJustifyCenter},
           {"RightJustified", AE::kJustifyRight}, {"FullyJustified", AE::kForceJustify},
           {"ToBindingSide", AE::kTowardsSpine}, {"AwayFromBindingSide", AE::kAwayFromSpine})
IDML_TABLE(StartParagraph, PBE::PageBreakEnum, CreateValuePageBreakEnum, {"Anywhere", PBE::kNone},
           {"NextColumn", PBE::kColumn}, {"NextFrame", PBE::kFrame}, {"NextPage", PBE::kPage},
           {"NextOddPage", PBE::kOddPage}, {"NextEvenPage", PBE::kEvenPage})
IDML_TABLE(CharacterAlignment, CAE::CharacterAlignmentEnum, CreateValueCharacterAlignmentEnum,
           {"AlignBaseline", CAE::kBaseline}, {"AlignEmTop", CAE::kEmBoxTop},
           {"AlignEmCenter", CAE::kEmBoxCenter}, {"AlignEmBottom", CAE::kEmBoxBottom},
           {"AlignICFTop", CAE::kICFTop}, {"AlignICFBottom", CAE::kICFBottom})
IDML_TABLE(KinsokuSet, KSE::KinsokuShoriEnum, CreateValueKinsokuShoriEnum, {"Nothing", KSE::kNone},
           {"HardKinsoku", KSE::kHard}, {"SoftKinsoku", KSE::kSoft})
IDML_TABLE(KinsokuType, KSE::KinsokuShoriEnum, CreateValueKinsokuShoriEnum,
           {"KinsokuPushInFirst", KSE::kPushInFirst}, {"KinsokuPushOutFirst", KSE::kPushOutFirst},
           {"KinsokuPushOutOnly", KSE::kPushOutOnly})
IDML_TABLE(RubyType, RTE::RubyTypeEnum, CreateValueRubyTypeEnum, {"GroupRuby", RTE::kGroup},
           {"PerCharacterRuby", RTE::kPerCharacter})
IDML_TABLE(RubyAlignment, AE::AlignmentEnum, CreateValueAlignmentEnum, {"RubyLeft", AE::kLeft},
           {"RubyCenter", AE::kCenter}, {"RubyRight", AE::kRight},
           {"RubyFullJustify", AE::kJustify}, {"RubyJIS", AE::kOneTwoOne},
           {"RubyEqualAki", AE::kEqualSpacing})
IDML_TABLE(RubyKentenPosition, RKPE::RubyKentenPositionEnum, CreateValueRubyKentenPositionEnum,
           {"AboveRight", RKPE::kAboveRight}, {"BelowLeft", RKPE::kBelowLeft})
IDML_TABLE(RubyParentSpacing, RPSE::RubyParentSpacingEnum, CreateValueRubyParentSpacingEnum,
           {"RubyParentNoAdjustment", RPSE::kNoAdjustment},
           {"RubyParentBothSides", RPSE::kBothSides}, {"RubyParent121Aki", RPSE::kOneTwoOne},
           {"RubyParentEqualAki", RPSE::kEqualSpacing})
IDML_TABLE(RubyOverhang, ROE::RubyOverhangEnum, CreateValueRubyOverhangEnum, {"None", ROE::kNone},
           {"RubyOverhangOneRuby", ROE::kOneRubyCharacter},
           {"RubyOverhangHalfRuby", ROE::kHalfRubyCharacter},
           {"RubyOverhangOneChar", ROE::kOneBaseCharacter},
           {"RubyOverhangHalfChar", ROE::kHalfBaseCharacter},
           {"RubyOverhangNoLimit", ROE::kNoLimit})
IDML_TABLE(AdornmentOverprint, ADOE::AdornmentOverprintEnum, CreateValueAdornmentOverprintEnum,
           {"Auto", ADOE::kAuto}, {"OverprintOn", ADOE::kOn}, {"OverprintOff", ADOE::kOff})
IDML_TABLE(KentenAlignment, AE::AlignmentEnum, CreateValueAlignmentEnum,
           {"AlignKentenLeft", AE::kLeft}, {"AlignKentenCenter", AE::kCenter})
IDML_TABLE(WarichuAlignment, AE::AlignmentEnum, CreateValueAlignmentEnum, {"LeftAlign", AE::kLeft},
           {"CenterAlign", AE::kCenter}, {"RightAlign", AE::kRight},
           {"LeftJustified", AE::kJustify}, {"CenterJustified", AE::kJustifyCenter},
           {"RightJustified", AE::kJustifyRight}, {"FullyJustified", AE::kForceJustify})
// Text wrap (TextWrapPreference), read with EnumMember.
IDML_TABLE(WrapMode, WOE::WrapOptionEnum, CreateValueWrapOptionEnum, {"None", WOE::kNone},
           {"BoundingBoxTextWrap", WOE::kBoundingBox}, {"Contour", WOE::kObjectShape},
           {"JumpObjectTextWrap", WOE::kJumpObject}, {"NextColumnTextWrap", WOE::kNextColumn})
IDML_TABLE(WrapSide, TFE::TextFlowEnum, CreateValueTextFlowEnum, {"BothSides", TFE::kBothSides},
           {"LeftSide", TFE::kLeftSide}, {"RightSide", TFE::kRightSide},
           {"LargestArea", TFE::kLargestArea}, {"SideTowardsSpine", kTowardsSpine},
           {"SideAwayFromSpine", kAwayFromSpine})
#undef IDML_TABLE

// In the order of Table.
const KeywordTable* const kTables[] = {
    nullptr,
    &kCapitalization,
    &kPosition,
    &kDirection,
    &kKentenKind,
    &kJustification,
    &kStartParagraph,
    &kCharacterAlignment,
    &kKinsokuSet,
    &kKinsokuType,
    &kRubyType,
    &kRubyAlignment,
    &kRubyKentenPosition,
    &kRubyParentSpacing,
    &kRubyOverhang,
    &kAdornmentOverprint,
    &kKentenAlignment,
    &kWarichuAlignment,
    &kWrapMode,
    &kWrapSide,
};

const KeywordTable* TableOf(Keywords t) {
    std::size_t i = static_cast<std::size_t>(t);
    return i < sizeof kTables / sizeof kTables[0] ? kTables[i] : nullptr;
}

void WriteEnum(obreader::ElementBuilder& b, Element* e, AN::AttrNameEnum target, Keywords table,
               const std::string& text) {
    const KeywordTable* t = TableOf(table);
    int member = EnumMember(table, text);
    if (!t || member < 0) return; // a keyword the model has no member for is left out
    Value* v = nullptr;
    t->create(member, v);
    b.Put(e, target, v);
}

void WriteChar16(obreader::ElementBuilder& b, Element* e, AN::AttrNameEnum target,
                 const std::string& text) {
    if (text.empty()) return;
    unsigned char c = static_cast<unsigned char>(text[0]);
    if (c >= 0xF0 && c < 0xF5 && text.size() >= 4) {
        // A value holds one UTF-16 unit: the writers' default mark stands for it.
        char name[16];
        std::snprintf(name, sizeof name, "U+%04X",
                      ((c & 0x07u) << 18) | ((text[1] & 0x3Fu) << 12) | ((text[2] & 0x3Fu) << 6) |
                          (text[3] & 0x3Fu));
        b.Report(OBERR::kBadValue, std::string("the custom kenten mark ") + name +
                                       " lies outside the basic plane: the default mark is used");
        return;
    }
    unsigned unit = c;
    if (c >= 0xC0 && c < 0xE0 && text.size() >= 2)
        unit = ((c & 0x1F) << 6) | (text[1] & 0x3F);
    else if (c >= 0xE0 && c < 0xF0 && text.size() >= 3)
        unit = ((c & 0x0F) << 12) | ((text[1] & 0x3F) << 6) | (text[2] & 0x3F);
    else if (c >= 0x80)
        return; // not UTF-8: no single unit stands for it
    Value* v = nullptr;
    ValueUtil::Create(VT::ekChar, v);
    if (auto* ch = dynamic_cast<ValueChar*>(v)) ch->Init(static_cast<unsigned short>(unit));
    b.Put(e, target, v);
}

// The kinds that hold a number. Returns false when the text is none.
bool WriteNumber(obreader::ElementBuilder& b, Element* e, const AttrInfo& info,
                 const std::string& text) {
    double n = 0;
    if (info.convert == C::kLeading && text == "Auto") {
        b.Bool(e, AN::kUseAutoLeading, true);
        return true;
    }
    if (!ParseNumber(text, n)) return false;
    switch (info.convert) {
    case C::kLeading:
        b.Length(e, info.target, n);
        b.Bool(e, AN::kUseAutoLeading, false);
        return true;
    case C::kRatio100:
    case C::kRatio1000:
        b.Percent(e, info.target, n / (info.convert == C::kRatio100 ? 100.0 : 1000.0));
        return true;
    case C::kTint:
        if (n >= 0) b.Percent(e, info.target, n / 100.0);
        return true;
    case C::kAngle:
        b.Angle(e, info.target, n);
        return true;
    case C::kInt:
        b.Int(e, info.target, static_cast<long long>(std::llround(n)));
        return true;
    default:
        b.Length(e, info.target, n);
        return true;
    }
}

// The kinds that name something else of the package.
void WriteReference(obreader::ElementBuilder& b, Element* e, const AttrInfo& info,
                    const std::string& text, References& refs) {
    unsigned id = 0;
    if (info.convert == C::kSwatch) {
        // Keywords ("Text Color") are no swatch of the package.
        if (text.empty() || text == "n" || text.find('/') == std::string::npos) return;
        if (refs.Swatch(text, id))
            b.Id(e, info.target, id);
        else
            b.BadReference("the swatch \"" + text + "\" does not exist");
    } else if (info.convert == C::kMojikumi) {
        std::string name = refs.MojikumiName(text);
        if (!name.empty()) b.Utf8(e, info.target, name);
    } else if (refs.KinsokuTable(text, id)) {
        b.Id(e, info.target, id);
    } else {
        WriteEnum(b, e, AN::kKinsokushori, info.table, text);
    }
}

// One value. Returns false when the text cannot be read as the row wants.
bool WriteOne(obreader::ElementBuilder& b, Element* e, const AttrInfo& info,
              const std::string& text, References& refs) {
    bool flag = false;
    switch (info.convert) {
    case C::kLength:
    case C::kLeading:
    case C::kRatio100:
    case C::kRatio1000:
    case C::kTint:
    case C::kAngle:
    case C::kInt:
        return WriteNumber(b, e, info, text);
    case C::kSwatch:
    case C::kMojikumi:
    case C::kKinsoku:
        WriteReference(b, e, info, text, refs);
        return true;
    case C::kText:
        b.Utf8(e, info.target, text);
        return true;
    case C::kFontStyle: {
        bool bold = false, italic = false;
        obface::Style(text.data(), text.size(), true, bold, italic);
        b.Utf8(e, info.target, text);
        b.Bool(e, AN::kBold, bold);
        b.Bool(e, AN::kItalics, italic);
        return true;
    }
    case C::kNotNone:
        b.Bool(e, info.target, !text.empty() && text != "None" && text != "$ID/None");
        return true;
    case C::kEnum:
        WriteEnum(b, e, info.target, info.table, text);
        return true;
    case C::kBool:
    case C::kStrike:
        if (!ParseBool(text, flag)) return false;
        if (info.convert == C::kBool)
            b.Bool(e, info.target, flag);
        else
            b.Enum(e, info.target, &ValueUtil::CreateValueStrikeThruTypeEnum,
                   flag ? STE::kSingle : STE::kNone);
        return true;
    case C::kOldStyle:
        b.Bool(e, info.target, text.find("Oldstyle") != std::string::npos);
        return true;
    case C::kChar16:
        WriteChar16(b, e, info.target, text);
        return true;
    case C::kLanguage:
        if (DLE::DictionaryLanguageEnum language = oblanguage::FromName(text))
            b.Enum(e, info.target, &ValueUtil::CreateValueDictionaryLanguageEnum, language);
        return true;
    }
    return false;
}

// Huge numbers ("1e+11") stand for "not set" in some styles: left out
// quietly.
bool Sentinel(const std::string& text) {
    double v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    return r.ec == std::errc::result_out_of_range ||
           (r.ec == std::errc() && (!std::isfinite(v) || std::fabs(v) > 1e9));
}

} // namespace

References::~References() {}

const AttrInfo& Info(Attr a) {
    return kInfo[static_cast<std::size_t>(a)];
}

bool FindAttr(const char* name, Attr& out) {
    static const NameIndex kByName(kInfo);
    const int row = kByName.Find(name);
    if (row < 0) return false;
    out = static_cast<Attr>(row);
    return true;
}

namespace {

bool Before(const std::pair<Attr, std::string>& entry, Attr a) {
    return entry.first < a;
}

} // namespace

const std::string* AttrSet::Find(Attr a) const {
    auto at = std::lower_bound(entries_.begin(), entries_.end(), a, Before);
    return at != entries_.end() && at->first == a ? &at->second : nullptr;
}

void AttrSet::Set(Attr a, const char* text) {
    auto at = std::lower_bound(entries_.begin(), entries_.end(), a, Before);
    if (at != entries_.end() && at->first == a)
        at->second = text;
    else
        entries_.emplace(at, a, text);
}

void AttrSet::Builder::Into(AttrSet& out) const {
    std::size_t count = 0;
    for (std::uint64_t word : rows_)
        count += static_cast<std::size_t>(__builtin_popcountll(word));
    out.entries_.clear();
    out.entries_.reserve(count);
    for (std::size_t w = 0; w < sizeof rows_ / sizeof rows_[0]; ++w)
        for (std::uint64_t bits = rows_[w]; bits; bits &= bits - 1) {
            const std::size_t row = w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
            out.entries_.emplace_back(static_cast<Attr>(row), texts_[row]);
        }
}

void AttrSet::FillFrom(const AttrSet& other) {
    if (other.entries_.empty()) return;
    std::vector<std::pair<Attr, std::string>> merged;
    merged.reserve(entries_.size() + other.entries_.size());
    auto a = entries_.begin();
    auto b = other.entries_.begin();
    while (a != entries_.end() || b != other.entries_.end()) {
        if (b == other.entries_.end() || (a != entries_.end() && a->first < b->first))
            merged.push_back(std::move(*a++));
        else if (a == entries_.end() || b->first < a->first)
            merged.push_back(*b++);
        else
            merged.push_back(std::move(*a++)), ++b;
    }
    entries_.swap(merged);
}

bool AttrSet::HasAny(Where where) const {
    for (const auto& entry : entries_)
        if (Info(entry.first).where == where) return true;
    return false;
}

void WriteAttributes(obreader::ElementBuilder& b, Element* e, const AttrSet& set, Where where,
                     References& refs) {
    if (!e) return;
    for (const auto& entry : set.Entries()) {
        const AttrInfo& info = Info(entry.first);
        if (info.where == where && !WriteOne(b, e, info, entry.second, refs) &&
            !Sentinel(entry.second))
            b.Report(OBERR::kBadValue);
    }
}

bool ParseNumber(std::string_view text, double& out) {
    const char* first = text.data();
    const char* last = first + text.size();
    while (first < last && (*first == ' ' || *first == '\t'))
        ++first;
    if (first < last && *first == '+') ++first;
    double v = 0;
    auto result = std::from_chars(first, last, v);
    if (result.ec != std::errc() || !std::isfinite(v) || std::fabs(v) > 1e9) return false;
    out = v;
    return true;
}

bool ParseBool(std::string_view text, bool& out) {
    if (text == "true" || text == "1") {
        out = true;
        return true;
    }
    if (text == "false" || text == "0") {
        out = false;
        return true;
    }
    return false;
}

int EnumMember(Keywords table, std::string_view keyword) {
    const KeywordTable* t = TableOf(table);
    if (!t) return -1;
    for (std::size_t i = 0; i < t->count; ++i)
        if (keyword == t->words[i].text) return t->words[i].member;
    return -1;
}

} // namespace idml
