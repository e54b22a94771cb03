// The parsed model to Elements: the plan of what is kept, the header,
// colours, fonts, layers and styles (see ScribusMapperInternal.h).
#include "ScribusMapperInternal.h"

#include <FaceWords.h>
#include <Languages.h>
#include <ReaderColors.h>
#include <ReaderStyles.h>

#include <ombra/messages.h>
#include <ombra/valueutil.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace scribus_mapper {

void Fill(CharacterAttributes& into, const CharacterAttributes& from) {
#define SCRIBUS_FILL(f)                                                                            \
    if (!into.f && from.f) into.f = from.f
    SCRIBUS_FILL(font);
    SCRIBUS_FILL(size);
    SCRIBUS_FILL(fillColor);
    SCRIBUS_FILL(fillShade);
    SCRIBUS_FILL(strokeColor);
    SCRIBUS_FILL(strokeShade);
    SCRIBUS_FILL(backgroundColor);
    SCRIBUS_FILL(backgroundShade);
    SCRIBUS_FILL(tracking);
    SCRIBUS_FILL(scaleH);
    SCRIBUS_FILL(scaleV);
    SCRIBUS_FILL(baselineShift);
    SCRIBUS_FILL(effects);
    SCRIBUS_FILL(underlineOffset);
    SCRIBUS_FILL(underlineWidth);
    SCRIBUS_FILL(strikeOffset);
    SCRIBUS_FILL(strikeWidth);
    SCRIBUS_FILL(shadowX);
    SCRIBUS_FILL(shadowY);
    SCRIBUS_FILL(outlineWidth);
    SCRIBUS_FILL(language);
    SCRIBUS_FILL(fontFeatures);
}

void Fill(ListAttributes& into, const ListAttributes& from) {
    SCRIBUS_FILL(bullet);
    SCRIBUS_FILL(bulletText);
    SCRIBUS_FILL(numbered);
    SCRIBUS_FILL(numbering);
    SCRIBUS_FILL(format);
    SCRIBUS_FILL(level);
    SCRIBUS_FILL(start);
    SCRIBUS_FILL(prefix);
    SCRIBUS_FILL(suffix);
    SCRIBUS_FILL(restart);
}

void Fill(ParagraphAttributes& into, const ParagraphAttributes& from) {
    SCRIBUS_FILL(alignment);
    SCRIBUS_FILL(direction);
    SCRIBUS_FILL(lineSpacingMode);
    SCRIBUS_FILL(lineSpacing);
    SCRIBUS_FILL(leftIndent);
    SCRIBUS_FILL(rightIndent);
    SCRIBUS_FILL(firstIndent);
    SCRIBUS_FILL(spaceBefore);
    SCRIBUS_FILL(spaceAfter);
    SCRIBUS_FILL(dropCap);
    SCRIBUS_FILL(dropCapLines);
    SCRIBUS_FILL(dropCapOffset);
    SCRIBUS_FILL(tabs);
    SCRIBUS_FILL(characterStyle);
#undef SCRIBUS_FILL
    Fill(into.list, from.list);
    Fill(into.character, from.character);
}

bool Empty(const CharacterAttributes& a) {
    return !(a.font || a.size || a.fillColor || a.fillShade || a.strokeColor || a.strokeShade ||
             a.backgroundColor || a.backgroundShade || a.tracking || a.scaleH || a.scaleV ||
             a.baselineShift || a.effects || a.language);
}

bool EmptyParagraph(const ParagraphAttributes& a) {
    return !(a.alignment || a.direction || a.lineSpacingMode || a.lineSpacing || a.leftIndent ||
             a.rightIndent || a.firstIndent || a.spaceBefore || a.spaceAfter || a.dropCap ||
             a.tabs);
}

namespace {

template <class S> std::vector<std::size_t> DefaultFirst(const std::vector<S>& styles) {
    return obreader::DefaultFirst(styles, [](const S& s) { return s.isDefault; });
}

} // namespace

Mapper::~Mapper() {
    for (Element* e : pendingStories_)
        delete e;
}

void Mapper::Build() {
    Plan();
    Publication();
    Inks();
    Colors();
    Fonts();
    Layers();
    CharacterStyles();
    ParagraphStyles();
    CreateStories();
    MasterSpreads();
    RegularSpreads();
    ChainLinks();
    StoryList();
    Hyperlinks();
    TablesOfContents();
}

// ------------------------------------------------------------ planning

const Layer* Mapper::LayerOf(const Item& it) const {
    auto found = layerIndex_.find(it.layer);
    return found == layerIndex_.end() ? nullptr : &doc_.layers[found->second];
}

bool Mapper::LayerIncluded(const Layer* l) const {
    if (!l) return true;
    if (!l->printable && !options_.nonPrintingLayers) return false;
    if (!l->visible && !options_.hiddenLayers) return false;
    return true;
}

// Decides where each item goes and whether it is kept.
void Mapper::Plan() {
    const std::size_t n = doc_.items.size();
    for (std::size_t i = 0; i < doc_.layers.size(); ++i)
        layerIndex_.emplace(doc_.layers[i].id, i);
    place_.assign(n, kNowhere);
    placePage_.assign(n, -1);
    included_.assign(n, 0);
    anchorStory_.assign(n, -1);
    elements_.assign(n, nullptr);
    for (std::size_t s = 0; s < doc_.stories.size(); ++s)
        for (const Marker& m : doc_.stories[s].markers)
            if (m.kind == Marker::Kind::kAnchoredItem && m.item >= 0 &&
                static_cast<std::size_t>(m.item) < n &&
                anchorStory_[static_cast<std::size_t>(m.item)] < 0)
                anchorStory_[static_cast<std::size_t>(m.item)] = static_cast<int>(s);
    std::vector<char> listed(n, 0);
    auto listPages = [&](const std::vector<Page>& pages, Place where) {
        for (std::size_t p = 0; p < pages.size(); ++p)
            for (int i : pages[p].items)
                if (i >= 0 && static_cast<std::size_t>(i) < n &&
                    !listed[static_cast<std::size_t>(i)]) {
                    listed[static_cast<std::size_t>(i)] = 1;
                    place_[static_cast<std::size_t>(i)] = where;
                    placePage_[static_cast<std::size_t>(i)] = static_cast<int>(p);
                }
    };
    listPages(doc_.pages, kRegular);
    listPages(doc_.masterPages, kMaster);
    for (std::size_t i = 0; i < n; ++i) {
        if (listed[i]) continue;
        const Item& it = doc_.items[i];
        if (it.parent >= 0 && static_cast<std::size_t>(it.parent) < n)
            place_[i] = kMember;
        else if (anchorStory_[i] >= 0) {
            place_[i] = kAnchored;
            anchored_.push_back(i);
        } else
            place_[i] = kPasteboard;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (place_[i] == kMember) continue;
        bool keep = LayerIncluded(LayerOf(doc_.items[i]));
        if (place_[i] == kMaster && !options_.masterItems) keep = false;
        if (place_[i] == kPasteboard && !options_.pasteboardItems) keep = false;
        if (keep) Include(static_cast<int>(i), 0);
    }
}

void Mapper::Include(int i, int depth) {
    const Item& it = doc_.items[static_cast<std::size_t>(i)];
    if (depth > kMaxDepth || included_[static_cast<std::size_t>(i)]) return;
    if (depth > 0 && !LayerIncluded(LayerOf(it))) return;
    included_[static_cast<std::size_t>(i)] = 1;
    for (int c : it.children)
        if (c >= 0 && static_cast<std::size_t>(c) < doc_.items.size() &&
            place_[static_cast<std::size_t>(c)] == kMember)
            Include(c, depth + 1);
}

// ------------------------------------------------------------ header

void Mapper::Publication() {
    const scribus::Publication& p = doc_.publication;
    Element* e = b_.Top(EL::kPublication);
    publication_ = e;
    if (!e) return;
    b_.Length(e, AN::kPageWidth, p.pageWidth);
    b_.Length(e, AN::kPageHeight, p.pageHeight);
    b_.Length(e, AN::kTopMargin, p.margins.top);
    b_.Length(e, AN::kBottomMargin, p.margins.bottom);
    b_.Length(e, AN::kLeftMargin, p.margins.left);
    b_.Length(e, AN::kRightMargin, p.margins.right);
    b_.Bool(e, AN::kIsFacingPage, p.facingPages);
    int columns = ColumnsPerSpread();
    if (p.facingPages && !doc_.pages.empty())
        b_.Bool(e, AN::kIsFirstPageRight, doc_.pages[0].position == columns - 1);
    else
        b_.Bool(e, AN::kIsFirstPageRight, true);
    b_.Int(e, AN::kStartPageNum, PageNumber(0));
    b_.Int(e, AN::kNumberOfSpreads, static_cast<long long>(doc_.spreads.size()));
    b_.Int(e, AN::kNumberOfPagesPerSpread, columns);
    b_.Bool(e, AN::kRightToLeftPageBinding, false);
    b_.Enum(e, AN::kFileKind, &ValueUtil::CreateValueFileKindEnum, FKE::kDocument);
    if (!p.metadata.author.empty()) b_.Utf8(e, AN::kAuthorName, p.metadata.author);
    MetaData(e);
}

void Mapper::MetaData(Element* e) {
    const Metadata& m = doc_.publication.metadata;
    if (m.title.empty() && m.author.empty() && m.subject.empty() && m.keywords.empty() &&
        m.comments.empty() && m.date.empty() && m.publisher.empty())
        return;
    Element* meta = b_.Child(e, EL::kMetaData);
    if (!meta) return;
    if (!m.title.empty()) b_.Utf8(meta, AN::kTitle, m.title);
    if (!m.author.empty()) b_.Utf8(meta, AN::kAuthor, m.author);
    if (!m.subject.empty()) b_.Utf8(meta, AN::kSubject, m.subject);
    if (!m.keywords.empty()) b_.Utf8(meta, AN::kKeywords, m.keywords);
    if (!m.comments.empty()) b_.Utf8(meta, AN::kComments, m.comments);
    if (!m.publisher.empty()) b_.Utf8(meta, AN::kCompany, m.publisher);
    b_.Utf8(meta, AN::kApplication, "Scribus " + doc_.version);
    int year = 0, month = 0, day = 0;
    if (std::sscanf(m.date.c_str(), "%4d-%2d-%2d", &year, &month, &day) == 3 && year > 0 &&
        month >= 1 && month <= 12 && day >= 1 && day <= 31) {
        Value* v = nullptr;
        ValueUtil::CreateValueDateTime(year, month, day, 0, 0, 0, v);
        b_.Put(meta, AN::kCreated, v);
    }
    b_.Int(meta, AN::kNumPages, static_cast<long long>(doc_.pages.size()));
}

int Mapper::ColumnsPerSpread() const {
    if (!doc_.publication.facingPages) return 1;
    std::size_t set = static_cast<std::size_t>(doc_.publication.pageSetIndex);
    if (set < doc_.pageSets.size() && doc_.pageSets[set].columns >= 1 &&
        doc_.pageSets[set].columns <= 100)
        return doc_.pageSets[set].columns;
    return 2;
}

// The number a page shows: its section's numbering, else the first page
// number on.
long long Mapper::PageNumber(int index) const {
    for (const Section& s : doc_.sections) {
        if (!s.active || index < s.from || index > s.to) continue;
        return s.reversed ? static_cast<long long>(s.start) + (s.to - index)
                          : static_cast<long long>(s.start) + (index - s.from);
    }
    return static_cast<long long>(doc_.publication.firstPageNumber) + index;
}

// ------------------------------------------------------------ colours

void Mapper::Inks() {
    bool any = false;
    for (const Color& c : doc_.colors)
        any = any || c.spot;
    if (!any) return;
    Element* list = b_.Top(EL::kInkList);
    for (const Color& c : doc_.colors) {
        if (!c.spot) continue;
        Element* ink = b_.Child(list, EL::kInk);
        b_.Utf8(ink, AN::kName, c.name);
        b_.Bool(ink, AN::kPrintInk, true);
    }
}

void Mapper::Colors() {
    Element* list = b_.Top(EL::kColorList);
    if (!list) return;
    constexpr std::string_view kNone = "None";
    bool haveNone = false;
    for (const Color& c : doc_.colors)
        haveNone = haveNone || c.name == kNone;
    colors_.Reserve(doc_.colors.size() + 1);
    obreader::ColorSpec entry;
    if (!haveNone) {
        entry.name = "None";
        entry.none = true;
        if (Element* none = obreader::AddColor(b_, list, entry)) colors_.Add(kNone, none->GetId());
    }
    for (const Color& c : doc_.colors) {
        entry.none = c.name == kNone;
        std::fill(entry.values, entry.values + 4, 0.0);
        entry.type = c.registration ? CTE::kRegistration : c.spot ? CTE::kSpot : CTE::kProcess;
        if (c.space == Color::Space::kCMYK) {
            entry.model = CME::kCMYK;
            entry.values[0] = c.c, entry.values[1] = c.m, entry.values[2] = c.y,
            entry.values[3] = c.k;
        } else if (c.space == Color::Space::kRGB) {
            entry.model = CME::kRGB;
            entry.values[0] = c.r, entry.values[1] = c.g, entry.values[2] = c.b;
        } else {
            entry.model = CME::kLAB;
            entry.values[0] = c.labL, entry.values[1] = c.labA, entry.values[2] = c.labB;
        }
        if (Element* e = obreader::AddColor(b_, list, entry, c.name.c_str()))
            colors_.Add(c.name, e->GetId());
    }
}

// Neighbouring items mostly repeat their fill and stroke colours: the last
// two found are compared before the name is hashed.
bool Mapper::ColorId(const std::string& name, unsigned& id) {
    for (const ColorTable::Slot* recent : recentColors_)
        if (recent && recent->name == name) {
            id = recent->id;
            return true;
        }
    const ColorTable::Slot* found = colors_.Find(name);
    if (!found) return false;
    recentColors_[1] = recentColors_[0];
    recentColors_[0] = found;
    id = found->id;
    return true;
}

// ------------------------------------------------------------ fonts, layers

void Mapper::NoteFont(const CharacterAttributes& a) {
    if (a.font) NoteFont(*a.font);
}

void Mapper::NoteFont(const std::string& name) {
    if (name.empty() || fontSet_.Find(name)) return;
    fontSet_.Add(name, 0);
    fonts_.push_back(&name);
}

void Mapper::Fonts() {
    NoteFont(doc_.publication.defaultFont);
    for (const CharacterStyle& s : doc_.characterStyles)
        NoteFont(s.attributes);
    for (const ParagraphStyle& s : doc_.paragraphStyles)
        NoteFont(s.attributes.character);
    for (const Item& it : doc_.items)
        NoteFont(doc_.Defaults(it).local.character);
    for (const Story& s : doc_.stories) {
        for (const ParagraphRun& p : s.paragraphs)
            NoteFont(doc_.Format(p).local.character);
        for (const CharacterRun& r : s.runs)
            NoteFont(doc_.Format(r).local);
    }
    if (fonts_.empty()) return;
    Element* list = b_.Top(EL::kFontList);
    for (const std::string* name : fonts_) {
        Element* f = b_.Child(list, EL::kFont);
        b_.Utf8(f, AN::kName, *name);
    }
}

void Mapper::Layers() {
    if (doc_.layers.empty()) return;
    std::vector<std::size_t> order(doc_.layers.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return doc_.layers[a].level < doc_.layers[b].level;
    });
    Element* list = b_.Top(EL::kLayerList);
    for (std::size_t i : order) {
        const Layer& l = doc_.layers[i];
        if (!LayerIncluded(&l)) continue;
        Element* e = b_.Child(list, EL::kLayer);
        if (!e) continue;
        layers_.emplace(l.id, e->GetId());
        b_.Utf8(e, AN::kName, l.name);
        b_.Bool(e, AN::kVisible, l.visible);
        b_.Bool(e, AN::kIsNonPrinting, !l.printable);
        b_.Bool(e, AN::kLocked, !l.editable);
    }
}

// ------------------------------------------------------------ styles

// The character attributes a style sets, with its parents' below them.
CharacterAttributes Mapper::ResolvedCharacterStyle(const std::string& name) const {
    CharacterAttributes out;
    obreader::FollowChain(
        name,
        [&](const std::string& n) -> const CharacterStyle* {
            const NameTable::Slot* found = characterStyleIndex_.Find(n);
            return found ? &doc_.characterStyles[found->id] : nullptr;
        },
        [&](const CharacterStyle& s) {
            Fill(out, s.attributes);
            return s.basedOn;
        });
    return out;
}

// The font size that applies to a run: its own, its styles', the
// paragraph's and the document's default.
double Mapper::EffectiveSize(const CharacterAttributes& local, const std::string& characterStyle,
                             const std::string& paragraphStyle) const {
    if (local.size) return *local.size;
    CharacterAttributes c = ResolvedCharacterStyle(characterStyle);
    if (c.size) return *c.size;
    double size = -1;
    FollowParagraphStyles(paragraphStyle, [&](const ParagraphStyle& s) {
        if (s.attributes.character.size) {
            size = *s.attributes.character.size;
            return std::string();
        }
        if (s.attributes.characterStyle) {
            CharacterAttributes pc = ResolvedCharacterStyle(*s.attributes.characterStyle);
            if (pc.size) {
                size = *pc.size;
                return std::string();
            }
        }
        return s.basedOn;
    });
    if (size >= 0) return size;
    return doc_.publication.defaultFontSize > 0 ? doc_.publication.defaultFontSize : 12;
}

void Mapper::CharacterAttributesOf(Element* e, const CharacterAttributes& a, double size) {
    if (!e) return;
    if (a.font) {
        b_.Utf8(e, AN::kFont, *a.font);
        // Runs in a row mostly have the face the last one had.
        if (*a.font != lastFace_.name) {
            lastFace_.name = *a.font;
            auto found = faceStyles_.find(lastFace_.name);
            if (found == faceStyles_.end()) {
                bool bold = false, italic = false;
                obface::Style(lastFace_.name.data(), lastFace_.name.size(), false, bold, italic);
                found = faceStyles_.emplace(lastFace_.name, std::make_pair(bold, italic)).first;
            }
            lastFace_.bold = found->second.first;
            lastFace_.italic = found->second.second;
        }
        b_.Bool(e, AN::kBold, lastFace_.bold);
        b_.Bool(e, AN::kItalics, lastFace_.italic);
    }
    if (a.size) b_.Length(e, AN::kFontSize, *a.size);
    unsigned id = 0;
    if (a.fillColor) {
        if (ColorId(*a.fillColor, id))
            b_.Id(e, AN::kColorRef, id);
        else
            b_.BadReference("the colour \"" + *a.fillColor + "\" does not exist");
    }
    if (a.fillShade) b_.Percent(e, AN::kShade, *a.fillShade / 100.0);
    if (a.strokeColor && ColorId(*a.strokeColor, id)) b_.Id(e, AN::kStrokeId, id);
    if (a.backgroundColor && ColorId(*a.backgroundColor, id))
        b_.Id(e, AN::kBackgroundShadingColorRef, id);
    if (a.tracking) b_.Percent(e, AN::kRangeKerning, *a.tracking / 100.0);
    if (a.scaleH) b_.Percent(e, AN::kHorizontalScale, *a.scaleH / 100.0);
    if (a.scaleV) b_.Percent(e, AN::kVerticalScale, *a.scaleV / 100.0);
    if (a.baselineShift) b_.Length(e, AN::kBaselineShift, *a.baselineShift / 100.0 * size);
    if (a.effects) Effects(e, *a.effects);
    if (a.language) {
        if (!languageKnown_ || lastLanguageName_ != *a.language) {
            lastLanguage_ = oblanguage::FromName(*a.language);
            lastLanguageName_ = *a.language;
            languageKnown_ = true;
        }
        const DLE::DictionaryLanguageEnum language = lastLanguage_;
        if (language != DLE::kUndefined)
            b_.Enum(e, AN::kDictionaryLanguage, &ValueUtil::CreateValueDictionaryLanguageEnum,
                    language);
    }
}

void Mapper::Effects(Element* e, unsigned f) {
    b_.Enum(e, AN::kCharacterPosition, &ValueUtil::CreateValueCharacterPositionEnum,
            (f & kSuperscript) ? CPE::kSuperscript
            : (f & kSubscript) ? CPE::kSubscript
                               : CPE::kNormal);
    b_.Enum(e, AN::kCharacterCase, &ValueUtil::CreateValueCharacterCaseEnum,
            (f & kAllCaps)     ? CCE::kAllCaps
            : (f & kSmallCaps) ? CCE::kSmallCaps
                               : CCE::kNormal);
    bool underline = (f & (kUnderline | kUnderlineWords)) != 0;
    b_.Bool(e, AN::kUnderline, underline);
    b_.Enum(e, AN::kUnderlineType, &ValueUtil::CreateValueUnderlineTypeEnum,
            (f & kUnderlineWords) ? UTE::kWordsOnly
            : underline           ? UTE::kSingle
                                  : UTE::kNone);
    b_.Enum(e, AN::kStrikeThru, &ValueUtil::CreateValueStrikeThruTypeEnum,
            (f & kStrikeThrough) ? STE::kSingle : STE::kNone);
    b_.Bool(e, AN::kOutline, (f & kOutline) != 0);
    b_.Bool(e, AN::kShadow, (f & kShadowed) != 0);
}

void Mapper::ParagraphAttributesOf(Element* e, const ParagraphAttributes& a) {
    if (!e) return;
    if (a.alignment) {
        static const AE::AlignmentEnum kAlign[] = {AE::kLeft, AE::kCenter, AE::kRight, AE::kJustify,
                                                   AE::kForceJustify};
        if (*a.alignment >= 0 && *a.alignment <= 4)
            b_.Enum(e, AN::kAlignment, &ValueUtil::CreateValueAlignmentEnum, kAlign[*a.alignment]);
    }
    if (a.direction)
        b_.Enum(e, AN::kDirection, &ValueUtil::CreateValueDirectionEnum,
                *a.direction == 1 ? DE::kRightToLeft : DE::kLeftToRight);
    int mode = a.lineSpacingMode ? *a.lineSpacingMode : 0;
    if (a.lineSpacingMode) {
        b_.Enum(e, AN::kLeadingTypeEnum, &ValueUtil::CreateValueLeadingTypeEnum,
                mode == 1 ? LTE::kAuto : LTE::kFixed);
        b_.Bool(e, AN::kLockToBaselineGrid, mode == 2);
    }
    if (a.lineSpacing && mode == 0) b_.Length(e, AN::kLeading, *a.lineSpacing);
    if (a.leftIndent) b_.Length(e, AN::kLeftIndent, *a.leftIndent);
    if (a.rightIndent) b_.Length(e, AN::kRightIndent, *a.rightIndent);
    if (a.firstIndent) b_.Length(e, AN::kFirstIndent, *a.firstIndent);
    if (a.spaceBefore) b_.Length(e, AN::kSpaceBefore, *a.spaceBefore);
    if (a.spaceAfter) b_.Length(e, AN::kSpaceAfter, *a.spaceAfter);
    if (a.dropCap) {
        if (*a.dropCap) {
            b_.Int(e, AN::kDropCapNumberOfLines, a.dropCapLines ? *a.dropCapLines : 2);
            b_.Int(e, AN::kDropCapNumberOfCharacters, 1);
            if (a.dropCapOffset) b_.Length(e, AN::kDropCapDistanceFromText, *a.dropCapOffset);
        } else {
            b_.Int(e, AN::kDropCapNumberOfLines, 0);
        }
    }
}

void Mapper::Tabs(Element* parent, const std::vector<TabStop>& tabs) {
    static const TAE::TabAlignmentEnum kAlign[] = {TAE::kLeft, TAE::kRight, TAE::kDecimal,
                                                   TAE::kAlignOnCharacter, TAE::kCenter};
    Element* list = b_.Child(parent, EL::kTabList);
    for (const TabStop& t : tabs) {
        Element* tab = b_.Child(list, EL::kTab);
        if (!tab) continue;
        b_.Length(tab, AN::kPosition, t.position);
        TAE::TabAlignmentEnum align = t.type >= 1 && t.type <= 4 ? kAlign[t.type] : TAE::kLeft;
        b_.Enum(tab, AN::kTabAlignment, &ValueUtil::CreateValueTabAlignmentEnum, align);
        if (t.type == 3) {
            Value* v = nullptr;
            ValueUtil::CreateValueChar(',', v);
            b_.Put(tab, AN::kAlignOn, v);
        }
        if (!t.fill.empty()) b_.Text(tab, AN::kLeader, t.fill.data(), t.fill.size());
    }
}

void Mapper::CharacterStyles() {
    if (!doc_.characterStyles.empty()) characterStyleIndex_.Reserve(doc_.characterStyles.size());
    for (std::size_t i = 0; i < doc_.characterStyles.size(); ++i)
        characterStyleIndex_.Add(doc_.characterStyles[i].name, static_cast<unsigned>(i));
    if (doc_.characterStyles.empty()) return;
    Element* list = b_.Top(EL::kCharacterStyleList);
    obreader::MadeStyles made;
    for (std::size_t i : DefaultFirst(doc_.characterStyles)) {
        const CharacterStyle& s = doc_.characterStyles[i];
        Element* e = b_.Child(list, EL::kCharacterStyle);
        if (!e) continue;
        characterStyles_.emplace(s.name, e->GetId());
        made.emplace_back(e, i);
        b_.Utf8(e, AN::kName, s.name);
        double size =
            s.attributes.size ? *s.attributes.size : EffectiveSize(s.attributes, s.basedOn, "");
        CharacterAttributesOf(b_.Child(e, EL::kCharacterAttributes), s.attributes, size);
    }
    const auto& styles = doc_.characterStyles;
    obreader::LinkStyles(
        b_, made, characterStyles_, AN::kBasedOn, "character",
        [&](std::size_t i) -> const std::string& { return styles[i].basedOn; },
        [&](std::size_t i) -> const std::string& { return styles[i].name; });
}

void Mapper::ParagraphStyles() {
    if (!doc_.paragraphStyles.empty()) paragraphStyleIndex_.Reserve(doc_.paragraphStyles.size());
    for (std::size_t i = 0; i < doc_.paragraphStyles.size(); ++i) {
        paragraphStyleIndex_.Add(doc_.paragraphStyles[i].name, static_cast<unsigned>(i));
        if (doc_.paragraphStyles[i].isDefault && defaultParagraphStyle_.empty())
            defaultParagraphStyle_ = doc_.paragraphStyles[i].name;
    }
    if (doc_.paragraphStyles.empty()) return;
    Element* list = b_.Top(EL::kParagraphStyleList);
    obreader::MadeStyles made;
    for (std::size_t i : DefaultFirst(doc_.paragraphStyles)) {
        const ParagraphStyle& s = doc_.paragraphStyles[i];
        Element* e = b_.Child(list, EL::kParagraphStyle);
        if (!e) continue;
        paragraphStyles_.emplace(s.name, e->GetId());
        made.emplace_back(e, i);
        b_.Utf8(e, AN::kName, s.name);
        ParagraphAttributesOf(b_.Child(e, EL::kParagraphAttributes), s.attributes);
        // The paragraph's character style lies below what the paragraph
        // style sets itself. The first style is the default one, and the
        // document's language is what it says. A copy only for either.
        const bool first = made.size() == 1 && !doc_.publication.language.empty();
        CharacterAttributes filled;
        if (s.attributes.characterStyle || first) filled = s.attributes.character;
        if (s.attributes.characterStyle)
            Fill(filled, ResolvedCharacterStyle(*s.attributes.characterStyle));
        if (first && !filled.language) filled.language = doc_.publication.language;
        const CharacterAttributes& character =
            s.attributes.characterStyle || first ? filled : s.attributes.character;
        if (!Empty(character))
            CharacterAttributesOf(b_.Child(e, EL::kCharacterAttributes), character,
                                  EffectiveSize(character, "", s.name));
        if (s.attributes.tabs && !s.attributes.tabs->empty()) Tabs(e, *s.attributes.tabs);
    }
    const auto& styles = doc_.paragraphStyles;
    obreader::LinkStyles(
        b_, made, paragraphStyles_, AN::kBasedOn, "paragraph",
        [&](std::size_t i) -> const std::string& { return styles[i].basedOn; },
        [&](std::size_t i) -> const std::string& { return styles[i].name; });
}

} // namespace scribus_mapper

void ScribusBuildElements(scribus::Document& doc, const ScribusMapOptions& options,
                          obreader::ProblemSink& problems, ElementList& out) {
    scribus_mapper::Mapper mapper(doc, options, problems, out);
    try {
        mapper.Build();
    } catch (const std::bad_alloc&) {
        // The bookkeeping ran out of memory: what was built stays.
        problems.Report(OBERR::kOutOfMemory);
    }
}
