// Text that comes as elements of its own rather than as plain ITEXT runs:
// the old generation's ITEXT with its format in attributes and flag bits
// (1.2 to 1.3.3), single characters given by their Unicode code, and the
// characters and markers that 1.5 writes as elements.
#include "ScribusText.h"

#include <ombra/utf16.h>

#include <cstring>
#include <optional>
#include <string>

namespace scribus {
namespace detail {

// Characters and markers written as elements of their own.
void StoryBuilder::Special(ElementId id, const Attrs& a) {
    static const struct {
        ElementId id;
        char16_t ch;
    } kCharacters[] = {
        {kElem_tab, kTab},
        {kElem_breakline, kLineBreak},
        {kElem_nbhyphen, kNoBreakHyphen},
        {kElem_nbspace, kNoBreakSpace},
        {kElem_zwnbspace, kZeroWidthNoBreakSpace},
        {kElem_zwspace, kZeroWidthSpace},
        {kElem_shyphen, kSoftHyphen},
    };
    if (ctx_.storyText15 && id == kElem_shyphen) return;
    for (const auto& c : kCharacters) {
        if (c.id != id) continue;
        CharacterAttributes local;
        ReadCharacterAttributes(ctx_, a, local);
        Append(&c.ch, 1, String(a, kAttr_CPARENT), local);
        return;
    }
    if (id != kElem_breakcol && id != kElem_breakframe && id != kElem_var) return;
    CharacterAttributes local;
    ReadCharacterAttributes(ctx_, a, local);
    Marker::Kind kind =
        id == kElem_breakcol ? Marker::Kind::kColumnBreak : Marker::Kind::kFrameBreak;
    if (id == kElem_var) {
        const char* v = a.Get(kAttr_name);
        if (v && std::strcmp(v, "pgco") == 0)
            kind = Marker::Kind::kPageCount;
        else if (v && std::strcmp(v, "pgno") == 0)
            kind = Marker::Kind::kPageNumber;
        else if (ctx_.storyText15)
            kind = Marker::Kind::kPageCount;
        else {
            ctx_.WarnOnce(Warning::Code::kUnsupported, std::string("var:") + (v ? v : ""),
                          std::string("text variable \"") + (v ? v : "") + "\" is not read");
            return;
        }
    }
    AddMarker(kind, String(a, kAttr_CPARENT), local, -1);
}

StoryBuilder::Para StoryBuilder::ParaFromCab(long long cab) {
    Para p;
    if (cab >= 0 && cab < 5) {
        p.local.alignment = static_cast<int>(cab);
    } else if (cab >= 5 && static_cast<unsigned long long>(cab - 5) < styleByIndex_.size()) {
        p.style = styleByIndex_[static_cast<std::size_t>(cab - 5)];
    } else {
        if (cab >= 5 && (unknownStyleIndex < 0 || cab < unknownStyleIndex)) unknownStyleIndex = cab;
        ctx_.WarnOnce(Warning::Code::kBadReference, "cab:" + std::to_string(cab),
                      "text refers to paragraph style number " + std::to_string(cab) +
                          ", which does not exist; the default style is used");
    }
    return p;
}

void StoryBuilder::OldText(const Attrs& a) {
    CharacterAttributes local;
    if (const char* v = a.Get(kAttr_CFONT)) local.font = std::string(v);
    auto num = [&](AttrId id, std::optional<double>& field, double scale) {
        std::optional<double> v;
        OptionalNumber(ctx_, a, id, v);
        if (v) field = *v * scale;
    };
    num(kAttr_CSIZE, local.size, 1);
    if (const char* v = a.Get(kAttr_CCOLOR)) local.fillColor = std::string(v);
    num(kAttr_CSHADE, local.fillShade, 1);
    if (const char* v = a.Get(kAttr_CSTROKE)) local.strokeColor = std::string(v);
    num(kAttr_CSHADE2, local.strokeShade, 1);
    // Tracking and baseline shift are stored in tenths of a percent.
    num(kAttr_CEXTRA, local.tracking, 0.1);
    num(kAttr_CKERN, local.tracking, 0.1);
    num(kAttr_CSCALE, local.scaleH, 1);
    num(kAttr_CSCALEV, local.scaleV, 1);
    num(kAttr_CBASE, local.baselineShift, 0.1);
    num(kAttr_CULP, local.underlineOffset, 1);
    num(kAttr_CULW, local.underlineWidth, 1);
    num(kAttr_CSTP, local.strikeOffset, 1);
    num(kAttr_CSTW, local.strikeWidth, 1);
    num(kAttr_CSHX, local.shadowX, 1);
    num(kAttr_CSHY, local.shadowY, 1);
    num(kAttr_COUT, local.outlineWidth, 1);
    if (const char* v = a.Get(kAttr_CLANG)) local.language = std::string(v);
    if (a.Has(kAttr_CSTYLE)) local.effects = Effects(ctx_, a, kAttr_CSTYLE);
    Para p = ParaFromCab(Integer(ctx_, a, kAttr_CAB, 0));
    lastOldPara_ = p;
    AppendSliced(a.Get(kAttr_CH), std::string(), local, &p);
}

void StoryBuilder::UnicodeText(const Attrs& a) {
    CharacterAttributes local;
    ReadCharacterAttributes(ctx_, a, local);
    std::string cstyle = String(a, kAttr_CPARENT);
    long long code = 0;
    const char* text = a.Get(kAttr_Unicode);
    if (!ParseInt(text, code) || code <= 0 || code > 0x10FFFF) {
        ctx_.Warn(Warning::Code::kBadNumber,
                  std::string("a text character has the unusable code \"") +
                      std::string(text).substr(0, 40) + "\"; it is skipped");
        return;
    }
    char16_t units[2];
    std::size_t n = 1;
    if (code >= 0x10000) { // Scribus writes surrogates one by one; take a whole code point too
        unsigned short pair[2];
        OBUTF16::Split(static_cast<unsigned>(code), pair);
        units[0] = static_cast<char16_t>(pair[0]);
        units[1] = static_cast<char16_t>(pair[1]);
        n = 2;
    } else if (code == 25) {
        return; // an object mark without its object
    } else if (OBUTF16::IsSurrogate(static_cast<unsigned>(code))) {
        units[0] = static_cast<char16_t>(code);
        loneSurrogates_ = true;
    } else if (code < 0x20 && code != 9 && code != 13 && code != 23 && code != 26 && code != 27 &&
               code != 30) {
        units[0] = u' '; // Scribus shows a blank
    } else {
        units[0] = static_cast<char16_t>(code);
    }
    AppendChars(units, n, 0, cstyle, local, nullptr);
}

} // namespace detail
} // namespace scribus
