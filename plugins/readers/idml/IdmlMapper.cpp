// The model to Elements: the header, colours and gradients, fonts, layers,
// kinsoku tables and styles (see IdmlMapperInternal.h).
#include "IdmlMapperInternal.h"

#include <ReaderColors.h>
#include <ReaderStyles.h>

#include <ombra/messages.h>
#include <ombra/valueutil.h>
#include <ombra/values.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>

namespace idml {
namespace mapping {

namespace {

// "2025-11-20T08:00:00+01:00" as a date value (the zone is dropped).
Value* DateOf(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    int n = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s);
    if (n < 3 || y <= 0 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 ||
        mi > 59 || s < 0 || s > 60)
        return nullptr;
    Value* v = nullptr;
    ValueUtil::CreateValueDateTime(y, mo, d, h, mi, s, v);
    return v;
}

int UnitOf(const std::string& unit) {
    struct {
        const char* name;
        UNITS::LINEAR::UnitEnum unit;
    } const kUnits[] = {{"Points", UNITS::LINEAR::kPoints},
                        {"Picas", UNITS::LINEAR::kPicas},
                        {"Inches", UNITS::LINEAR::kInches},
                        {"InchesDecimal", UNITS::LINEAR::kDecimalInches},
                        {"Millimeters", UNITS::LINEAR::kMillimeters},
                        {"Centimeters", UNITS::LINEAR::kCentimeters},
                        {"Ciceros", UNITS::LINEAR::kCiceros},
                        {"Pixels", UNITS::LINEAR::kPixels},
                        {"Q", UNITS::LINEAR::kQ},
                        {"Ha", UNITS::LINEAR::kHa}};
    for (const auto& u : kUnits)
        if (unit == u.name) return u.unit;
    return -1;
}

} // namespace

Mapper::~Mapper() {
    for (std::size_t s = 0; s < pending_.size(); ++s)
        if (pending_[s]) delete stories_[s];
}

void Mapper::Build() {
    Plan();
    Publication();
    Inks();
    Colors();
    Gradients();
    Fonts();
    Layers();
    KinsokuTables();
    CharacterStyles();
    ParagraphStyles();
    OtherStyles();
    CreateStories();
    MasterSpreads();
    RegularSpreads();
    ChainLinks();
    Sections();
    StoryList();
    Hyperlinks();
}

// ------------------------------------------------------------ header

void Mapper::Publication() {
    const idml::Publication& p = doc_.publication;
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
    int spreads = 0, perSpread = 1, firstPage = -1;
    for (const Spread& s : doc_.spreads) {
        if (s.master) continue;
        ++spreads;
        if (static_cast<int>(s.pages.size()) > perSpread)
            perSpread = static_cast<int>(s.pages.size());
        if (firstPage < 0 && !s.pages.empty()) firstPage = s.pages.front();
    }
    bool firstRight = true;
    if (p.facingPages && firstPage >= 0) {
        const Page& page = doc_.pages[static_cast<std::size_t>(firstPage)];
        bool left = page.transform.tx + page.bounds[1] < 0; // left of the spine
        firstRight = p.rightToLeft ? left : !left;
    }
    b_.Bool(e, AN::kIsFirstPageRight, firstRight);
    b_.Int(e, AN::kStartPageNum, doc_.sections.empty() ? 1 : doc_.sections.front().start);
    b_.Int(e, AN::kNumberOfSpreads, spreads);
    b_.Int(e, AN::kNumberOfPagesPerSpread, perSpread);
    b_.Bool(e, AN::kRightToLeftPageBinding, p.rightToLeft);
    b_.Enum(e, AN::kFileKind, &ValueUtil::CreateValueFileKindEnum, FKE::kDocument);
    if (!p.author.empty()) b_.Utf8(e, AN::kAuthorName, p.author);
    if (Value* v = DateOf(p.created)) b_.Put(e, AN::kCreationDateTime, v);
    if (Value* v = DateOf(p.modified)) b_.Put(e, AN::kLastSavedDateTime, v);
    MetaData(e);
    int across = UnitOf(p.horizontalUnits), down = UnitOf(p.verticalUnits);
    if (across >= 0 || down >= 0) {
        Element* g = b_.Child(e, EL::kGeneralPreferences);
        if (across >= 0) b_.Int(g, AN::kHorizontalMeasurement, across);
        if (down >= 0) b_.Int(g, AN::kVerticalMeasurement, down);
    }
}

void Mapper::MetaData(Element* e) {
    const idml::Publication& p = doc_.publication;
    if (p.title.empty() && p.author.empty() && p.subject.empty() && p.keywords.empty() &&
        p.creator.empty() && p.created.empty() && p.modified.empty())
        return;
    Element* meta = b_.Child(e, EL::kMetaData);
    if (!meta) return;
    if (!p.title.empty()) b_.Utf8(meta, AN::kTitle, p.title);
    if (!p.author.empty()) b_.Utf8(meta, AN::kAuthor, p.author);
    if (!p.subject.empty()) b_.Utf8(meta, AN::kSubject, p.subject);
    if (!p.keywords.empty()) b_.Utf8(meta, AN::kKeywords, p.keywords);
    if (!p.creator.empty()) b_.Utf8(meta, AN::kApplication, p.creator);
    if (Value* v = DateOf(p.created)) b_.Put(meta, AN::kCreated, v);
    if (Value* v = DateOf(p.modified)) b_.Put(meta, AN::kModified, v);
    int pages = 0;
    for (const Page& page : doc_.pages)
        pages += page.onMaster ? 0 : 1;
    b_.Int(meta, AN::kNumPages, pages);
}

// ------------------------------------------------------------ colours

void Mapper::Inks() {
    bool any = false;
    for (const Ink& ink : doc_.inks)
        any = any || !ink.process;
    if (!any) return;
    Element* list = b_.Top(EL::kInkList);
    for (const Ink& ink : doc_.inks) {
        if (ink.process) continue;
        Element* e = b_.Child(list, EL::kInk);
        b_.Utf8(e, AN::kName, ink.name);
        b_.Bool(e, AN::kPrintInk, true);
    }
}

namespace {

// A colour of the package as the model's colour.
obreader::ColorSpec SpecOf(const idml::Swatch& s) {
    obreader::ColorSpec c;
    c.name = s.name.empty() ? s.self.substr(s.self.find('/') + 1) : s.name;
    c.type = s.model == "Spot"           ? CTE::kSpot
             : s.model == "Registration" ? CTE::kRegistration
                                         : CTE::kProcess;
    if (s.space == "RGB") {
        c.model = CME::kRGB;
        for (int i = 0; i < 3; ++i)
            c.values[i] = s.values[i] / 255.0;
    } else if (s.space == "LAB") {
        c.model = CME::kLAB;
        for (int i = 0; i < 3; ++i)
            c.values[i] = s.values[i];
    } else {
        c.model = CME::kCMYK;
        for (int i = 0; i < 4; ++i)
            c.values[i] = s.values[i] / 100.0;
    }
    return c;
}

} // namespace

void Mapper::Colors() {
    Element* list = b_.Top(EL::kColorList);
    if (!list) return;
    // None first, whether the package names it or not.
    obreader::ColorSpec none;
    none.name = "None";
    none.none = true;
    if (Element* e = obreader::AddColor(b_, list, none)) {
        swatches_["Swatch/None"] = e->GetId();
        for (const idml::Swatch& s : doc_.swatches)
            if (s.kind == idml::Swatch::Kind::kNone) swatches_[s.self] = e->GetId();
    }
    std::unordered_map<std::string_view, const idml::Swatch*> bySelf;
    for (const idml::Swatch& s : doc_.swatches)
        bySelf.emplace(s.self, &s);
    for (const idml::Swatch& s : doc_.swatches) {
        if (s.kind != idml::Swatch::Kind::kColor) continue;
        Element* e = obreader::AddColor(b_, list, SpecOf(s));
        if (!e) continue;
        swatches_.emplace(s.self, e->GetId());
        if (s.self == "Color/Paper") b_.Bool(e, AN::kIsPaper, true);
    }
    // Tints after their colours: the base colour's model, lightened.
    for (const idml::Swatch& s : doc_.swatches) {
        if (s.kind != idml::Swatch::Kind::kTint) continue;
        auto base = bySelf.find(s.base);
        auto baseId = swatches_.find(s.base);
        if (base == bySelf.end() || baseId == swatches_.end() ||
            base->second->kind != idml::Swatch::Kind::kColor) {
            b_.BadReference("tint \"" + s.self + "\" is based on \"" + s.base +
                            "\", which is no colour of the package");
            continue;
        }
        obreader::ColorSpec tint = SpecOf(*base->second);
        tint.name = s.name.empty() ? s.self.substr(s.self.find('/') + 1) : s.name;
        Element* e = obreader::AddColor(b_, list, tint);
        if (!e) continue;
        swatches_.emplace(s.self, e->GetId());
        b_.Enum(e, AN::kOriginalType, &ValueUtil::CreateValueColorTypeEnum, tint.type);
        b_.Enum(e, AN::kType, &ValueUtil::CreateValueColorTypeEnum, CTE::kTint);
        b_.Id(e, AN::kBasedOn, baseId->second);
        b_.Percent(e, AN::kTint, s.tint / 100.0);
    }
}

void Mapper::Gradients() {
    Element* list = nullptr;
    for (const idml::Swatch& s : doc_.swatches) {
        if (s.kind != idml::Swatch::Kind::kGradient) continue;
        if (!list) list = b_.Top(EL::kGradientList);
        Element* e = b_.Child(list, EL::kGradient);
        if (!e) continue;
        swatches_.emplace(s.self, e->GetId());
        b_.Utf8(e, AN::kName, s.name.empty() ? s.self.substr(s.self.find('/') + 1) : s.name);
        b_.Enum(e, AN::kType, &ValueUtil::CreateValueGradientTypeEnum,
                s.radial ? GTE::kRadial : GTE::kLinear);
        Value* v = nullptr;
        ValueUtil::CreateValueGradientStopList(v);
        if (auto* stops = dynamic_cast<ValueGradientStopList*>(v))
            for (const idml::Swatch::Stop& stop : s.stops) {
                unsigned id = 0;
                if (!Swatch(stop.color, id))
                    b_.BadReference("gradient \"" + s.self + "\" uses the swatch \"" + stop.color +
                                    "\", which does not exist");
                if (!stops->Add(stop.location / 100.0, stop.midpoint / 100.0, id, 1.0))
                    b_.OutOfMemory();
            }
        b_.Put(e, AN::kGradientStopList, v);
    }
}

bool Mapper::Swatch(const std::string& ref, unsigned& id) {
    auto found = swatches_.find(ref);
    if (found == swatches_.end()) return false;
    id = found->second;
    return true;
}

// ------------------------------------------------------------ fonts, layers

void Mapper::Fonts() {
    if (doc_.fonts.empty()) return;
    Element* list = b_.Top(EL::kFontList);
    for (const Font& f : doc_.fonts) {
        Element* e = b_.Child(list, EL::kFont);
        b_.Utf8(e, AN::kName, f.name.empty() ? f.family : f.name);
        if (!f.postscript.empty()) b_.Utf8(e, AN::kPSName, f.postscript);
        if (!f.family.empty()) b_.Utf8(e, AN::kAltName, f.family);
#define IDML_SCRIPT(name, value, codePage)                                                         \
    if (f.writingScript == value)                                                                  \
        b_.Enum(e, AN::kWritingScript, &ValueUtil::CreateValueWritingScriptEnum, WSE::name);
#define OB_WRITING_SCRIPT IDML_SCRIPT
#include <ombra/defs/WritingScripts.def>
#undef IDML_SCRIPT
    }
}

bool Mapper::LayerIncluded(const std::string& layer) const {
    auto found = layerIndex_.find(layer);
    if (found == layerIndex_.end()) return true;
    const Layer& l = doc_.layers[static_cast<std::size_t>(found->second)];
    if (!l.printable && !options_.nonPrintingLayers) return false;
    if (!l.visible && !options_.hiddenLayers) return false;
    return true;
}

// designmap.xml lists layers top first; the model wants them bottom first.
void Mapper::Layers() {
    if (doc_.layers.empty()) return;
    Element* list = b_.Top(EL::kLayerList);
    for (std::size_t k = doc_.layers.size(); k-- > 0;) {
        const Layer& l = doc_.layers[k];
        if (!LayerIncluded(l.self)) continue;
        Element* e = b_.Child(list, EL::kLayer);
        if (!e) continue;
        layers_.emplace(l.self, e->GetId());
        b_.Utf8(e, AN::kName, l.name);
        b_.Bool(e, AN::kVisible, l.visible);
        b_.Bool(e, AN::kIsNonPrinting, !l.printable);
        b_.Bool(e, AN::kLocked, l.locked);
    }
}

void Mapper::KinsokuTables() {
    if (doc_.kinsokuTables.empty()) return;
    Element* list = b_.Top(EL::kKinsokuTableList);
    for (const idml::KinsokuTable& k : doc_.kinsokuTables) {
        Element* e = b_.Child(list, EL::kKinsokuTable);
        if (!e) continue;
        kinsoku_.emplace(k.self, e->GetId());
        b_.Utf8(e, AN::kName, k.name);
        if (!k.startChars.empty()) b_.Utf8(e, AN::kBeginChars, k.startChars);
        if (!k.endChars.empty()) b_.Utf8(e, AN::kEndChars, k.endChars);
    }
}

bool Mapper::KinsokuTable(const std::string& ref, unsigned& id) {
    auto found = kinsoku_.find(ref);
    if (found == kinsoku_.end()) return false;
    id = found->second;
    return true;
}

std::string Mapper::MojikumiName(const std::string& ref) {
    auto found = doc_.mojikumiNames.find(ref);
    if (found != doc_.mojikumiNames.end()) return found->second;
    if (ref.empty() || ref == "Nothing" || ref == "n" || ref.find('/') != std::string::npos)
        return std::string();
    return ref; // one of the built-in sets, by its keyword
}

// ------------------------------------------------------------ styles

const AttrSet& Mapper::Resolved(bool paragraph, const std::string* self) {
    static const AttrSet kEmpty;
    if (!self) return kEmpty;
    auto& index = paragraph ? paragraphIndex_ : characterIndex_;
    auto found = index.find(*self);
    if (found == index.end()) return kEmpty;
    const std::size_t i = static_cast<std::size_t>(found->second);
    auto& done = paragraph ? resolvedParagraphDone_ : resolvedCharacterDone_;
    auto& sets = paragraph ? resolvedParagraph_ : resolvedCharacter_;
    if (done[i]) return sets[i];
    const std::vector<Style>& styles = paragraph ? doc_.paragraphStyles : doc_.characterStyles;
    AttrSet out;
    bool ok = obreader::FollowChain(
        *self,
        [&](const std::string& name) -> const Style* {
            auto at = index.find(name);
            return at == index.end() ? nullptr : &styles[static_cast<std::size_t>(at->second)];
        },
        [&](const Style& s) {
            out.FillFrom(s.attrs);
            return s.basedOn;
        });
    if (!ok) b_.BadReference("style \"" + *self + "\" is based on styles that form a loop");
    done[i] = 1;
    sets[i] = std::move(out);
    return sets[i];
}

void Mapper::StyleAttributes(Element* e, const Style& s, bool paragraph) {
    if (paragraph) {
        if (s.attrs.HasAny(Where::kPara))
            WriteAttributes(b_, b_.Child(e, EL::kParagraphAttributes), s.attrs, Where::kPara,
                            *this);
        if (s.attrs.HasAny(Where::kHyph))
            WriteAttributes(b_, b_.Child(e, EL::kHyphenationAttributes), s.attrs, Where::kHyph,
                            *this);
        if (s.attrs.HasAny(Where::kJust))
            WriteAttributes(b_, b_.Child(e, EL::kJustificationAttributes), s.attrs, Where::kJust,
                            *this);
    }
    if (s.attrs.HasAny(Where::kChar) || !paragraph)
        WriteAttributes(b_, b_.Child(e, EL::kCharacterAttributes), s.attrs, Where::kChar, *this);
    if (paragraph && s.hasTabs) Tabs(e, s.tabs);
}

void Mapper::Tabs(Element* parent, const std::vector<TabStop>& tabs) {
    Element* list = b_.Child(parent, EL::kTabList);
    for (const TabStop& t : tabs) {
        Element* tab = b_.Child(list, EL::kTab);
        if (!tab) continue;
        b_.Length(tab, AN::kPosition, t.position);
        TAE::TabAlignmentEnum align =
            t.alignment == "RightAlign"    ? TAE::kRight
            : t.alignment == "CenterAlign" ? TAE::kCenter
            : t.alignment == "CharacterAlign"
                ? (t.character == "." ? TAE::kDecimal : TAE::kAlignOnCharacter)
                : TAE::kLeft;
        b_.Enum(tab, AN::kTabAlignment, &ValueUtil::CreateValueTabAlignmentEnum, align);
        if (align == TAE::kAlignOnCharacter && t.character.size() == 1) {
            Value* v = nullptr;
            ValueUtil::CreateValueChar(t.character[0], v);
            b_.Put(tab, AN::kAlignOn, v);
        }
        if (!t.leader.empty()) b_.Text(tab, AN::kLeader, t.leader.data(), t.leader.size());
    }
}

namespace {

// The default style ("[No ... style]") first, then the others in order.
std::vector<std::size_t> DefaultFirst(const std::vector<Style>& styles) {
    return obreader::DefaultFirst(
        styles, [](const Style& s) { return s.self.find("$ID/[No") != std::string::npos; });
}

} // namespace

void Mapper::CharacterStyles() {
    for (std::size_t i = 0; i < doc_.characterStyles.size(); ++i)
        characterIndex_.emplace(doc_.characterStyles[i].self, static_cast<int>(i));
    resolvedCharacter_.resize(doc_.characterStyles.size());
    resolvedCharacterDone_.assign(doc_.characterStyles.size(), 0);
    if (doc_.characterStyles.empty()) return;
    Element* list = b_.Top(EL::kCharacterStyleList);
    obreader::MadeStyles made;
    for (std::size_t i : DefaultFirst(doc_.characterStyles)) {
        const Style& s = doc_.characterStyles[i];
        Element* e = b_.Child(list, EL::kCharacterStyle);
        if (!e) continue;
        characterStyles_.emplace(s.self, e->GetId());
        made.emplace_back(e, i);
        b_.Utf8(e, AN::kName, s.name);
        StyleAttributes(e, s, false);
        Resolved(false, &s.self); // reports a chain that loops
    }
    const auto& styles = doc_.characterStyles;
    obreader::LinkStyles(
        b_, made, characterStyles_, AN::kBasedOn, "character",
        [&](std::size_t i) -> const std::string& { return styles[i].basedOn; },
        [&](std::size_t i) -> const std::string& { return styles[i].self; });
}

void Mapper::ParagraphStyles() {
    for (std::size_t i = 0; i < doc_.paragraphStyles.size(); ++i)
        paragraphIndex_.emplace(doc_.paragraphStyles[i].self, static_cast<int>(i));
    resolvedParagraph_.resize(doc_.paragraphStyles.size());
    resolvedParagraphDone_.assign(doc_.paragraphStyles.size(), 0);
    if (doc_.paragraphStyles.empty()) return;
    Element* list = b_.Top(EL::kParagraphStyleList);
    obreader::MadeStyles made;
    for (std::size_t i : DefaultFirst(doc_.paragraphStyles)) {
        const Style& s = doc_.paragraphStyles[i];
        Element* e = b_.Child(list, EL::kParagraphStyle);
        if (!e) continue;
        if (defaultParagraphStyle_.empty()) defaultParagraphStyle_ = s.self;
        paragraphStyles_.emplace(s.self, e->GetId());
        made.emplace_back(e, i);
        b_.Utf8(e, AN::kName, s.name);
        StyleAttributes(e, s, true);
        Resolved(true, &s.self); // reports a chain that loops
    }
    // Each style's BasedOn, then its Next, as the problems were always told.
    const auto& styles = doc_.paragraphStyles;
    auto self = [&](std::size_t i) -> const std::string& { return styles[i].self; };
    for (const auto& m : made) {
        const obreader::MadeStyles one(1, m);
        obreader::LinkStyles(
            b_, one, paragraphStyles_, AN::kBasedOn, "paragraph",
            [&](std::size_t i) -> const std::string& { return styles[i].basedOn; }, self);
        obreader::LinkStyles(
            b_, one, paragraphStyles_, AN::kNext, "paragraph",
            [&](std::size_t i) -> const std::string& { return styles[i].next; }, self);
    }
}

// Object styles and cell styles: names and chains, and what a cell style
// sets of a cell.
void Mapper::OtherStyles() {
    for (int kind = 0; kind < 2; ++kind) {
        const std::vector<Style>& styles = kind == 0 ? doc_.objectStyles : doc_.cellStyles;
        if (styles.empty()) continue;
        Element* list = b_.Top(kind == 0 ? EL::kObjectStyleList : EL::kTableCellStyleList);
        std::unordered_map<std::string, unsigned> ids;
        std::vector<std::pair<Element*, const Style*>> made;
        for (const Style& s : styles) {
            Element* e = b_.Child(list, kind == 0 ? EL::kObjectStyle : EL::kTableCellStyle);
            if (!e) continue;
            ids.emplace(s.self, e->GetId());
            made.emplace_back(e, &s);
            b_.Utf8(e, AN::kName, s.name); // cell styles keep it in their store
        }
        for (auto& m : made) {
            auto found = ids.find(m.second->basedOn);
            if (found != ids.end() && found->second != m.first->GetId())
                b_.Id(m.first, AN::kBasedOn, found->second);
        }
        if (kind == 1) cellStyles_ = std::move(ids);
    }
}

std::string Mapper::LanguageOf(const AttrSet& set) const {
    const std::string* lang = set.Find(Attr::kAppliedLanguage);
    if (!lang) return std::string();
    if (lang->find("Japanese") != std::string::npos) return "ja";
    if (lang->find("Korean") != std::string::npos) return "ko";
    if (lang->find("Chinese") != std::string::npos)
        return lang->find("Traditional") != std::string::npos ? "zh-Hant" : "zh";
    return "en";
}

} // namespace mapping

void BuildElements(const Document& doc, const MapOptions& options, obreader::ProblemSink& problems,
                   ElementList& out) {
    mapping::Mapper mapper(doc, options, problems, out);
    try {
        mapper.Build();
    } catch (const std::bad_alloc&) {
        // The bookkeeping ran out of memory: what was built stays.
        problems.Report(OBERR::kOutOfMemory);
    }
}

} // namespace idml
