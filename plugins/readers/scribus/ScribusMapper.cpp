// The parsed model to Elements. Lengths are points throughout (Scribus
// stores points whatever unit it shows); rotations turn from Scribus's
// clockwise degrees into the model's counter-clockwise ones.
#include "ScribusMapper.h"

#include <ombra/utf16.h>
#include <ombra/memory.h>
#include <ombra/messages.h>
#include <ombra/storedelements.h>
#include <ombra/typedstreams.h>
#include <ombra/valueutil.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

ScribusProblemSink::~ScribusProblemSink() {}

int ScribusCharacterScript(unsigned c, WSE::WritingScriptEnum cjk) {
    if (c < 0x80) return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') ? WSE::kRomanScript : -1;
    if (c < 0xC0) return -1; // Latin-1 signs: every code page has most of them
    if (c <= 0x24F) return (c == 0xD7 || c == 0xF7) ? -1 : WSE::kRomanScript;
    if (c >= 0x1E00 && c <= 0x1EFF) return WSE::kRomanScript;
    if ((c >= 0x370 && c <= 0x3FF) || (c >= 0x1F00 && c <= 0x1FFF)) return WSE::kGreekScript;
    if (c >= 0x400 && c <= 0x52F) return WSE::kCyrillicScript;
    if ((c >= 0x590 && c <= 0x5FF) || (c >= 0xFB1D && c <= 0xFB4F)) return WSE::kHebrewScript;
    if ((c >= 0x600 && c <= 0x6FF) || (c >= 0x750 && c <= 0x77F) || (c >= 0x8A0 && c <= 0x8FF) ||
        (c >= 0xFB50 && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF))
        return WSE::kArabicScript;
    if (c >= 0xE00 && c <= 0xE7F) return WSE::kThaiScript;
    if ((c >= 0x2000 && c <= 0x206F) || c == 0xFFFC || c == 0xFEFF)
        return -1; // punctuation, spaces, marks
    if ((c >= 0x3040 && c <= 0x30FF) || (c >= 0x31F0 && c <= 0x31FF) ||
        (c >= 0xFF66 && c <= 0xFF9F))
        return WSE::kJapaneseScript;
    if ((c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F) ||
        (c >= 0xAC00 && c <= 0xD7AF))
        return WSE::kKoreanScript;
    if ((c >= 0x3000 && c <= 0x303F) || (c >= 0x3400 && c <= 0x4DBF) ||
        (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF))
        return cjk;
    if (c >= 0x2070 && c <= 0x2BFF) return -1; // signs, arrows, mathematical and technical symbols
    return WSE::kUnicodeScript;
}

namespace {

using namespace scribus;

constexpr int kMaxDepth = 64;

// Copies into `into` what it does not set itself.
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

bool EndsWith(const std::string& s, const char* suffix) {
    std::size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i])
            return false;
    return true;
}

bool HasWord(const std::string& s, const char* word) {
    std::string lower;
    for (char c : s)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find(word) != std::string::npos;
}

double CounterClockwise(double clockwise) {
    double a = std::fmod(-clockwise, 360.0);
    if (a < 0) a += 360.0;
    return a == 0 ? 0 : a; // no negative zero
}

class Mapper {
public:
    Mapper(const Document& doc, const ScribusMapOptions& options, ScribusProblemSink& problems)
        : doc_(doc), options_(options), problems_(problems) {}

    void Build(ElementList& out) {
        out_ = &out;
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

private:
    // ------------------------------------------------------------ elements

    void OutOfMemory() {
        if (!outOfMemory_) problems_.Report(OBERR::kOutOfMemory);
        outOfMemory_ = true;
    }

    Element* Top(EL::ElementTypeEnum kind) {
        Element* e = OBCreateStoredElement(kind);
        if (!e) {
            OutOfMemory();
            return nullptr;
        }
        long long before = out_->size();
        out_->Append(e);
        if (out_->size() == before) {
            Delete(e);
            OutOfMemory();
            return nullptr;
        }
        return e;
    }

    // A new element attached to parent, or null (nothing attached).
    Element* Child(Element* parent, EL::ElementTypeEnum kind) {
        if (!parent) return nullptr;
        Element* e = OBCreateStoredElement(kind);
        if (!e) {
            OutOfMemory();
            return nullptr;
        }
        if (!parent->AddChild(e)) {
            Delete(e);
            OutOfMemory();
            return nullptr;
        }
        return e;
    }

    // Attributes come in runs on one element: its store is looked up once
    // per run rather than through a cross-cast per attribute.
    OBAttributeStore* Store(Element* e) {
        if (e != storeOwner_) {
            storeOwner_ = e;
            store_ = e ? OBGetAttributeStore(e) : nullptr;
        }
        return store_;
    }

    // Every element the mapper deletes goes through here, so that a new one
    // at the same address does not find the old one's store.
    void Delete(Element* e) {
        if (e == storeOwner_) storeOwner_ = nullptr, store_ = nullptr;
        delete e;
    }

    void Check(short ok) {
        if (!ok) OutOfMemory();
    }
    void Utf8(Element* e, AN::AttrNameEnum a, const std::string& s) {
        if (auto* st = Store(e)) Check(st->SetUtf8(a, s.c_str()));
    }
    void Length(Element* e, AN::AttrNameEnum a, double v) {
        if (auto* st = Store(e)) Check(st->SetLength(a, v, UNITS::LINEAR::kPoints));
    }
    void Bool(Element* e, AN::AttrNameEnum a, bool v) {
        if (auto* st = Store(e)) Check(st->SetBool(a, v));
    }
    void Int(Element* e, AN::AttrNameEnum a, long long v) {
        if (v > 2147483647LL) v = 2147483647LL;
        if (v < -2147483647LL) v = -2147483647LL;
        if (auto* st = Store(e)) Check(st->SetInteger(a, static_cast<int>(v)));
    }
    void Percent(Element* e, AN::AttrNameEnum a, double ratio) {
        if (auto* st = Store(e)) Check(st->SetPercent(a, ratio));
    }
    void Angle(Element* e, AN::AttrNameEnum a, double degrees) {
        if (auto* st = Store(e)) Check(st->SetAngle(a, degrees));
    }
    void Id(Element* e, AN::AttrNameEnum a, unsigned id) {
        if (auto* st = Store(e)) Check(st->SetId(a, id));
    }
    void IdOf(Element* e, AN::AttrNameEnum a, const Element* target) {
        if (target) Id(e, a, target->GetId());
    }
    // Kept as given: an inset box is four distances, not corners to normalise.
    void Rect(Element* e, AN::AttrNameEnum a, double left, double top, double right,
              double bottom) {
        if (!e) return;
        Value* v = nullptr;
        ValueUtil::CreateValueRectangle(UNITS::LINEAR::kPoints, left, top, right, bottom, v);
        Put(e, a, v);
    }
    void Point(Element* e, AN::AttrNameEnum a, double x, double y) {
        if (auto* st = Store(e)) Check(st->SetPoint(a, OBPoint(x, y)));
    }
    void Real(Element* e, AN::AttrNameEnum a, double v) {
        if (auto* st = Store(e)) Check(st->SetReal(a, v));
    }
    void Put(Element* e, AN::AttrNameEnum a, Value* v) {
        if (!v) {
            OutOfMemory();
            return;
        }
        if (auto* st = Store(e))
            Check(st->Set(a, v));
        else
            ValueUtil::Recycle(v);
    }
    template <class M>
    void Enum(Element* e, AN::AttrNameEnum a, void (*create)(const M&, Value*&), M member) {
        if (!e) return;
        Value* v = nullptr;
        create(member, v);
        Put(e, a, v);
    }

    // ------------------------------------------------------------ planning

    enum Place { kNowhere, kRegular, kMaster, kPasteboard, kMember, kAnchored };

    const Layer* LayerOf(const Item& it) const {
        auto found = layerIndex_.find(it.layer);
        return found == layerIndex_.end() ? nullptr : &doc_.layers[found->second];
    }

    bool LayerIncluded(const Layer* l) const {
        if (!l) return true;
        if (!l->printable && !options_.nonPrintingLayers) return false;
        if (!l->visible && !options_.hiddenLayers) return false;
        return true;
    }

    // Decides where each item goes and whether it is kept.
    void Plan() {
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

    void Include(int i, int depth) {
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

    void Publication() {
        const scribus::Publication& p = doc_.publication;
        Element* e = Top(EL::kPublication);
        publication_ = e;
        if (!e) return;
        Length(e, AN::kPageWidth, p.pageWidth);
        Length(e, AN::kPageHeight, p.pageHeight);
        Length(e, AN::kTopMargin, p.margins.top);
        Length(e, AN::kBottomMargin, p.margins.bottom);
        Length(e, AN::kLeftMargin, p.margins.left);
        Length(e, AN::kRightMargin, p.margins.right);
        Bool(e, AN::kIsFacingPage, p.facingPages);
        int columns = ColumnsPerSpread();
        if (p.facingPages && !doc_.pages.empty())
            Bool(e, AN::kIsFirstPageRight, doc_.pages[0].position == columns - 1);
        else
            Bool(e, AN::kIsFirstPageRight, true);
        Int(e, AN::kStartPageNum, PageNumber(0));
        Int(e, AN::kNumberOfSpreads, static_cast<long long>(doc_.spreads.size()));
        Int(e, AN::kNumberOfPagesPerSpread, columns);
        Bool(e, AN::kRightToLeftPageBinding, false);
        Enum(e, AN::kFileKind, &ValueUtil::CreateValueFileKindEnum, FKE::kDocument);
        if (!p.metadata.author.empty()) Utf8(e, AN::kAuthorName, p.metadata.author);

        const Metadata& m = p.metadata;
        if (m.title.empty() && m.author.empty() && m.subject.empty() && m.keywords.empty() &&
            m.comments.empty() && m.date.empty() && m.publisher.empty())
            return;
        Element* meta = Child(e, EL::kMetaData);
        if (!meta) return;
        if (!m.title.empty()) Utf8(meta, AN::kTitle, m.title);
        if (!m.author.empty()) Utf8(meta, AN::kAuthor, m.author);
        if (!m.subject.empty()) Utf8(meta, AN::kSubject, m.subject);
        if (!m.keywords.empty()) Utf8(meta, AN::kKeywords, m.keywords);
        if (!m.comments.empty()) Utf8(meta, AN::kComments, m.comments);
        if (!m.publisher.empty()) Utf8(meta, AN::kCompany, m.publisher);
        Utf8(meta, AN::kApplication, "Scribus " + doc_.version);
        int year = 0, month = 0, day = 0;
        if (std::sscanf(m.date.c_str(), "%4d-%2d-%2d", &year, &month, &day) == 3 && year > 0 &&
            month >= 1 && month <= 12 && day >= 1 && day <= 31) {
            Value* v = nullptr;
            ValueUtil::CreateValueDateTime(year, month, day, 0, 0, 0, v);
            Put(meta, AN::kCreated, v);
        }
        Int(meta, AN::kNumPages, static_cast<long long>(doc_.pages.size()));
    }

    int ColumnsPerSpread() const {
        if (!doc_.publication.facingPages) return 1;
        std::size_t set = static_cast<std::size_t>(doc_.publication.pageSetIndex);
        if (set < doc_.pageSets.size() && doc_.pageSets[set].columns >= 1 &&
            doc_.pageSets[set].columns <= 100)
            return doc_.pageSets[set].columns;
        return 2;
    }

    // The number a page shows: its section's numbering, else the first
    // page number on.
    long long PageNumber(int index) const {
        for (const Section& s : doc_.sections) {
            if (!s.active || index < s.from || index > s.to) continue;
            return s.reversed ? static_cast<long long>(s.start) + (s.to - index)
                              : static_cast<long long>(s.start) + (index - s.from);
        }
        return static_cast<long long>(doc_.publication.firstPageNumber) + index;
    }

    // ------------------------------------------------------------ colours

    void Inks() {
        bool any = false;
        for (const Color& c : doc_.colors)
            any = any || c.spot;
        if (!any) return;
        Element* list = Top(EL::kInkList);
        for (const Color& c : doc_.colors) {
            if (!c.spot) continue;
            Element* ink = Child(list, EL::kInk);
            Utf8(ink, AN::kName, c.name);
            Bool(ink, AN::kPrintInk, true);
        }
    }

    void Colors() {
        Element* list = Top(EL::kColorList);
        if (!list) return;
        bool haveNone = false;
        for (const Color& c : doc_.colors)
            haveNone = haveNone || c.name == "None";
        if (!haveNone) {
            Element* none = Child(list, EL::kColor);
            if (none) {
                colors_["None"] = none->GetId();
                Utf8(none, AN::kName, "None");
                Bool(none, AN::kIsNone, true);
                Enum(none, AN::kType, &ValueUtil::CreateValueColorTypeEnum, CTE::kNone);
            }
        }
        for (const Color& c : doc_.colors) {
            Element* e = Child(list, EL::kColor);
            if (!e) continue;
            colors_.emplace(c.name, e->GetId());
            Utf8(e, AN::kName, c.name);
            if (c.name == "None") {
                Bool(e, AN::kIsNone, true);
                Enum(e, AN::kType, &ValueUtil::CreateValueColorTypeEnum, CTE::kNone);
                continue;
            }
            Enum(e, AN::kType, &ValueUtil::CreateValueColorTypeEnum,
                 c.registration ? CTE::kRegistration
                 : c.spot       ? CTE::kSpot
                                : CTE::kProcess);
            if (c.space == Color::Space::kCMYK) {
                Enum(e, AN::kModel, &ValueUtil::CreateValueColorModelEnum, CME::kCMYK);
                Element* k = Child(e, EL::kCMYK);
                Percent(k, AN::kCyan, c.c);
                Percent(k, AN::kMagenta, c.m);
                Percent(k, AN::kYellow, c.y);
                Percent(k, AN::kBlack, c.k);
            } else if (c.space == Color::Space::kRGB) {
                Enum(e, AN::kModel, &ValueUtil::CreateValueColorModelEnum, CME::kRGB);
                Element* k = Child(e, EL::kRGB);
                Percent(k, AN::kRed, c.r);
                Percent(k, AN::kGreen, c.g);
                Percent(k, AN::kBlue, c.b);
            } else {
                Enum(e, AN::kModel, &ValueUtil::CreateValueColorModelEnum, CME::kLAB);
                Element* k = Child(e, EL::kLAB);
                Real(k, AN::kLightness, c.labL);
                Real(k, AN::kA, c.labA);
                Real(k, AN::kB, c.labB);
            }
        }
    }

    // Neighbouring items mostly repeat their fill and stroke colours: the
    // last two found are compared before the name is hashed.
    bool ColorId(const std::string& name, unsigned& id) {
        for (const auto* recent : recentColors_)
            if (recent && recent->first == name) {
                id = recent->second;
                return true;
            }
        auto found = colors_.find(name);
        if (found == colors_.end()) return false;
        recentColors_[1] = recentColors_[0];
        recentColors_[0] = &*found;
        id = found->second;
        return true;
    }

    // ------------------------------------------------------------ fonts, layers

    void NoteFont(const CharacterAttributes& a) {
        if (a.font && !a.font->empty() && fontSet_.insert(*a.font).second)
            fonts_.push_back(*a.font);
    }

    void Fonts() {
        if (!doc_.publication.defaultFont.empty() &&
            fontSet_.insert(doc_.publication.defaultFont).second)
            fonts_.push_back(doc_.publication.defaultFont);
        for (const CharacterStyle& s : doc_.characterStyles)
            NoteFont(s.attributes);
        for (const ParagraphStyle& s : doc_.paragraphStyles)
            NoteFont(s.attributes.character);
        for (const Item& it : doc_.items)
            NoteFont(it.defaultStyle.character);
        for (const Story& s : doc_.stories) {
            for (const ParagraphRun& p : s.paragraphs)
                NoteFont(p.local.character);
            for (const CharacterRun& r : s.runs)
                NoteFont(r.local);
        }
        if (fonts_.empty()) return;
        Element* list = Top(EL::kFontList);
        for (const std::string& name : fonts_) {
            Element* f = Child(list, EL::kFont);
            Utf8(f, AN::kName, name);
        }
    }

    void Layers() {
        if (doc_.layers.empty()) return;
        std::vector<std::size_t> order(doc_.layers.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return doc_.layers[a].level < doc_.layers[b].level;
        });
        Element* list = Top(EL::kLayerList);
        for (std::size_t i : order) {
            const Layer& l = doc_.layers[i];
            if (!LayerIncluded(&l)) continue;
            Element* e = Child(list, EL::kLayer);
            if (!e) continue;
            layers_.emplace(l.id, e->GetId());
            Utf8(e, AN::kName, l.name);
            Bool(e, AN::kVisible, l.visible);
            Bool(e, AN::kIsNonPrinting, !l.printable);
            Bool(e, AN::kLocked, !l.editable);
        }
    }

    // ------------------------------------------------------------ styles

    // The character attributes a style sets, with its parents' below them.
    CharacterAttributes ResolvedCharacterStyle(const std::string& name) const {
        CharacterAttributes out;
        std::string current = name;
        for (int guard = 0; guard < kMaxDepth && !current.empty(); ++guard) {
            auto found = characterStyleIndex_.find(current);
            if (found == characterStyleIndex_.end()) break;
            const CharacterStyle& s = doc_.characterStyles[found->second];
            Fill(out, s.attributes);
            current = s.basedOn;
        }
        return out;
    }

    // The font size that applies to a run: its own, its styles', the
    // paragraph's and the document's default.
    double EffectiveSize(const CharacterAttributes& local, const std::string& characterStyle,
                         const std::string& paragraphStyle) const {
        if (local.size) return *local.size;
        CharacterAttributes c = ResolvedCharacterStyle(characterStyle);
        if (c.size) return *c.size;
        std::string current = paragraphStyle.empty() ? defaultParagraphStyle_ : paragraphStyle;
        for (int guard = 0; guard < kMaxDepth && !current.empty(); ++guard) {
            auto found = paragraphStyleIndex_.find(current);
            if (found == paragraphStyleIndex_.end()) break;
            const ParagraphStyle& s = doc_.paragraphStyles[found->second];
            if (s.attributes.character.size) return *s.attributes.character.size;
            if (s.attributes.characterStyle) {
                CharacterAttributes pc = ResolvedCharacterStyle(*s.attributes.characterStyle);
                if (pc.size) return *pc.size;
            }
            current = s.basedOn;
        }
        return doc_.publication.defaultFontSize > 0 ? doc_.publication.defaultFontSize : 12;
    }

    void CharacterAttributesOf(Element* e, const CharacterAttributes& a, double size) {
        if (!e) return;
        if (a.font) {
            Utf8(e, AN::kFont, *a.font);
            Bool(e, AN::kBold,
                 HasWord(*a.font, "bold") || HasWord(*a.font, "black") ||
                     HasWord(*a.font, "heavy"));
            Bool(e, AN::kItalics, HasWord(*a.font, "italic") || HasWord(*a.font, "oblique"));
        }
        if (a.size) Length(e, AN::kFontSize, *a.size);
        unsigned id = 0;
        if (a.fillColor) {
            if (ColorId(*a.fillColor, id))
                Id(e, AN::kColorRef, id);
            else
                BadReference();
        }
        if (a.fillShade) Percent(e, AN::kShade, *a.fillShade / 100.0);
        if (a.strokeColor && ColorId(*a.strokeColor, id)) Id(e, AN::kStrokeId, id);
        if (a.backgroundColor && ColorId(*a.backgroundColor, id))
            Id(e, AN::kBackgroundShadingColorRef, id);
        if (a.tracking) Percent(e, AN::kRangeKerning, *a.tracking / 100.0);
        if (a.scaleH) Percent(e, AN::kHorizontalScale, *a.scaleH / 100.0);
        if (a.scaleV) Percent(e, AN::kVerticalScale, *a.scaleV / 100.0);
        if (a.baselineShift) Length(e, AN::kBaselineShift, *a.baselineShift / 100.0 * size);
        if (a.effects) {
            unsigned f = *a.effects;
            Enum(e, AN::kCharacterPosition, &ValueUtil::CreateValueCharacterPositionEnum,
                 (f & kSuperscript) ? CPE::kSuperscript
                 : (f & kSubscript) ? CPE::kSubscript
                                    : CPE::kNormal);
            Enum(e, AN::kCharacterCase, &ValueUtil::CreateValueCharacterCaseEnum,
                 (f & kAllCaps)     ? CCE::kAllCaps
                 : (f & kSmallCaps) ? CCE::kSmallCaps
                                    : CCE::kNormal);
            bool underline = (f & (kUnderline | kUnderlineWords)) != 0;
            Bool(e, AN::kUnderline, underline);
            Enum(e, AN::kUnderlineType, &ValueUtil::CreateValueUnderlineTypeEnum,
                 (f & kUnderlineWords) ? UTE::kWordsOnly
                 : underline           ? UTE::kSingle
                                       : UTE::kNone);
            Enum(e, AN::kStrikeThru, &ValueUtil::CreateValueStrikeThruTypeEnum,
                 (f & kStrikeThrough) ? STE::kSingle : STE::kNone);
            Bool(e, AN::kOutline, (f & kOutline) != 0);
            Bool(e, AN::kShadow, (f & kShadowed) != 0);
        }
    }

    void ParagraphAttributesOf(Element* e, const ParagraphAttributes& a) {
        if (!e) return;
        if (a.alignment) {
            static const AE::AlignmentEnum kAlign[] = {AE::kLeft, AE::kCenter, AE::kRight,
                                                       AE::kJustify, AE::kForceJustify};
            if (*a.alignment >= 0 && *a.alignment <= 4)
                Enum(e, AN::kAlignment, &ValueUtil::CreateValueAlignmentEnum, kAlign[*a.alignment]);
        }
        if (a.direction)
            Enum(e, AN::kDirection, &ValueUtil::CreateValueDirectionEnum,
                 *a.direction == 1 ? DE::kRightToLeft : DE::kLeftToRight);
        int mode = a.lineSpacingMode ? *a.lineSpacingMode : 0;
        if (a.lineSpacingMode) {
            Enum(e, AN::kLeadingTypeEnum, &ValueUtil::CreateValueLeadingTypeEnum,
                 mode == 1 ? LTE::kAuto : LTE::kFixed);
            Bool(e, AN::kLockToBaselineGrid, mode == 2);
        }
        if (a.lineSpacing && mode == 0) Length(e, AN::kLeading, *a.lineSpacing);
        if (a.leftIndent) Length(e, AN::kLeftIndent, *a.leftIndent);
        if (a.rightIndent) Length(e, AN::kRightIndent, *a.rightIndent);
        if (a.firstIndent) Length(e, AN::kFirstIndent, *a.firstIndent);
        if (a.spaceBefore) Length(e, AN::kSpaceBefore, *a.spaceBefore);
        if (a.spaceAfter) Length(e, AN::kSpaceAfter, *a.spaceAfter);
        if (a.dropCap) {
            if (*a.dropCap) {
                Int(e, AN::kDropCapNumberOfLines, a.dropCapLines ? *a.dropCapLines : 2);
                Int(e, AN::kDropCapNumberOfCharacters, 1);
                if (a.dropCapOffset) Length(e, AN::kDropCapDistanceFromText, *a.dropCapOffset);
            } else {
                Int(e, AN::kDropCapNumberOfLines, 0);
            }
        }
    }

    void Tabs(Element* parent, const std::vector<TabStop>& tabs) {
        Element* list = Child(parent, EL::kTabList);
        for (const TabStop& t : tabs) {
            Element* tab = Child(list, EL::kTab);
            if (!tab) continue;
            Length(tab, AN::kPosition, t.position);
            TAE::TabAlignmentEnum align = TAE::kLeft;
            switch (t.type) {
            case 1:
                align = TAE::kRight;
                break;
            case 2:
                align = TAE::kDecimal;
                break;
            case 3:
                align = TAE::kAlignOnCharacter;
                break;
            case 4:
                align = TAE::kCenter;
                break;
            default:
                break;
            }
            Enum(tab, AN::kTabAlignment, &ValueUtil::CreateValueTabAlignmentEnum, align);
            if (t.type == 3) {
                Value* v = nullptr;
                ValueUtil::CreateValueChar(',', v);
                Put(tab, AN::kAlignOn, v);
            }
            if (!t.fill.empty())
                if (auto* st = Store(tab))
                    Check(st->SetText(AN::kLeader,
                                      reinterpret_cast<const unsigned short*>(t.fill.data()),
                                      static_cast<long long>(t.fill.size())));
        }
    }

    template <class S> std::vector<std::size_t> DefaultFirst(const std::vector<S>& styles) {
        std::vector<std::size_t> order;
        for (std::size_t i = 0; i < styles.size(); ++i)
            if (styles[i].isDefault) order.push_back(i);
        for (std::size_t i = 0; i < styles.size(); ++i)
            if (!styles[i].isDefault) order.push_back(i);
        return order;
    }

    void CharacterStyles() {
        for (std::size_t i = 0; i < doc_.characterStyles.size(); ++i)
            characterStyleIndex_.emplace(doc_.characterStyles[i].name, i);
        if (doc_.characterStyles.empty()) return;
        Element* list = Top(EL::kCharacterStyleList);
        std::vector<std::pair<Element*, std::size_t>> made;
        for (std::size_t i : DefaultFirst(doc_.characterStyles)) {
            const CharacterStyle& s = doc_.characterStyles[i];
            Element* e = Child(list, EL::kCharacterStyle);
            if (!e) continue;
            characterStyles_.emplace(s.name, e->GetId());
            made.emplace_back(e, i);
            Utf8(e, AN::kName, s.name);
            double size =
                s.attributes.size ? *s.attributes.size : EffectiveSize(s.attributes, s.basedOn, "");
            CharacterAttributesOf(Child(e, EL::kCharacterAttributes), s.attributes, size);
        }
        for (auto& m : made) {
            const std::string& parent = doc_.characterStyles[m.second].basedOn;
            if (parent.empty()) continue;
            auto found = characterStyles_.find(parent);
            if (found != characterStyles_.end() && found->second != m.first->GetId())
                Id(m.first, AN::kBasedOn, found->second);
            else
                BadReference();
        }
    }

    void ParagraphStyles() {
        for (std::size_t i = 0; i < doc_.paragraphStyles.size(); ++i) {
            paragraphStyleIndex_.emplace(doc_.paragraphStyles[i].name, i);
            if (doc_.paragraphStyles[i].isDefault && defaultParagraphStyle_.empty())
                defaultParagraphStyle_ = doc_.paragraphStyles[i].name;
        }
        if (doc_.paragraphStyles.empty()) return;
        Element* list = Top(EL::kParagraphStyleList);
        std::vector<std::pair<Element*, std::size_t>> made;
        for (std::size_t i : DefaultFirst(doc_.paragraphStyles)) {
            const ParagraphStyle& s = doc_.paragraphStyles[i];
            Element* e = Child(list, EL::kParagraphStyle);
            if (!e) continue;
            paragraphStyles_.emplace(s.name, e->GetId());
            made.emplace_back(e, i);
            Utf8(e, AN::kName, s.name);
            ParagraphAttributesOf(Child(e, EL::kParagraphAttributes), s.attributes);
            // The paragraph's character style lies below what the paragraph
            // style sets itself.
            CharacterAttributes character = s.attributes.character;
            if (s.attributes.characterStyle)
                Fill(character, ResolvedCharacterStyle(*s.attributes.characterStyle));
            if (!Empty(character))
                CharacterAttributesOf(Child(e, EL::kCharacterAttributes), character,
                                      EffectiveSize(character, "", s.name));
            if (s.attributes.tabs && !s.attributes.tabs->empty()) Tabs(e, *s.attributes.tabs);
        }
        for (auto& m : made) {
            const std::string& parent = doc_.paragraphStyles[m.second].basedOn;
            if (parent.empty()) continue;
            auto found = paragraphStyles_.find(parent);
            if (found != paragraphStyles_.end() && found->second != m.first->GetId())
                Id(m.first, AN::kBasedOn, found->second);
            else
                BadReference();
        }
    }

    void BadReference() {
        if (!badReference_) problems_.Report(OBERR::kBrokenReference);
        badReference_ = true;
    }

    // ------------------------------------------------------------ stories

    // A story is kept when one of its frames is; cell stories live in their
    // tables. Page-level tables get a story of their own.
    void CreateStories() {
        storyElements_.assign(doc_.stories.size(), nullptr);
        tableStories_.assign(doc_.items.size(), nullptr);
        for (std::size_t s = 0; s < doc_.stories.size(); ++s) {
            const Story& story = doc_.stories[s];
            if (story.table >= 0) continue;
            bool keep = false;
            for (int f : story.frames)
                if (f >= 0 && static_cast<std::size_t>(f) < doc_.items.size() &&
                    included_[static_cast<std::size_t>(f)])
                    keep = true;
            if (!keep) continue;
            storyElements_[s] = NewParentStory();
        }
        for (std::size_t i = 0; i < doc_.items.size(); ++i)
            if (included_[i] && doc_.items[i].kind == Item::Kind::kTable && doc_.items[i].table &&
                place_[i] != kAnchored)
                tableStories_[i] = NewParentStory();
    }

    Element* NewParentStory() {
        Element* e = OBCreateStoredElement(EL::kParentStory);
        if (!e)
            OutOfMemory();
        else
            pendingStories_.push_back(e);
        return e;
    }

    // The whole text as UTF-16LE bytes in a buffer stream the element owns.
    void TextStream(Element* child, const char16_t* text, std::size_t length) {
        unsigned long long bytes = static_cast<unsigned long long>(length) * 2;
        unsigned char* buffer = static_cast<unsigned char*>(OBLibAllocate(bytes ? bytes : 2));
        if (!buffer) {
            OutOfMemory();
            return;
        }
        for (std::size_t i = 0; i < length; ++i) {
            buffer[2 * i] = static_cast<unsigned char>(text[i] & 0xFF);
            buffer[2 * i + 1] = static_cast<unsigned char>(text[i] >> 8);
        }
        OBStream* stream = OBStreamUtilRef::CreateBufferStreamRead(buffer, bytes, 1);
        if (!stream) {
            OutOfMemory();
            return;
        }
        if (auto* st = Store(child))
            Check(st->SetStream(AN::kTextStream, stream));
        else
            delete stream;
    }

    // Which script CJK ideographs belong to: the story's kana or hangul
    // decide, else the run's language.
    WSE::WritingScriptEnum CjkScript(int storyHint, const std::string& language) const {
        if (storyHint >= 0) return static_cast<WSE::WritingScriptEnum>(storyHint);
        std::string lang = language.empty() ? doc_.publication.language : language;
        for (char& ch : lang)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (lang.compare(0, 2, "zh") == 0)
            return (lang.find("tw") != std::string::npos || lang.find("hk") != std::string::npos ||
                    lang.find("hant") != std::string::npos)
                       ? WSE::kTradChineseScript
                       : WSE::kSimpChineseScript;
        if (lang.compare(0, 2, "ko") == 0) return WSE::kKoreanScript;
        return WSE::kJapaneseScript;
    }

    int ParagraphAt(const Story& s, uint32_t position, std::size_t& hint) const {
        while (hint < s.paragraphs.size() &&
               position >= s.paragraphs[hint].start + s.paragraphs[hint].length)
            ++hint;
        return hint < s.paragraphs.size() ? static_cast<int>(hint) : -1;
    }

    // The page a story shows on when it has one frame there (for variable
    // text); -1 otherwise.
    int SinglePage(const Story& s) const {
        int page = -1;
        for (int f : s.frames) {
            int top = TopItem(f);
            if (top < 0 || place_[static_cast<std::size_t>(top)] != kRegular) return -1;
            int p = placePage_[static_cast<std::size_t>(top)];
            if (page >= 0 && p != page) return -1;
            page = p;
        }
        return page;
    }

    int TopItem(int i) const {
        for (int guard = 0;
             guard <= kMaxDepth && i >= 0 && static_cast<std::size_t>(i) < doc_.items.size();
             ++guard) {
            if (place_[static_cast<std::size_t>(i)] != kMember) return i;
            i = doc_.items[static_cast<std::size_t>(i)].parent;
        }
        return -1;
    }

    void ParagraphStyleRef(Element* e, const std::string& style) {
        const std::string& name = style.empty() ? defaultParagraphStyle_ : style;
        if (name.empty()) return;
        auto found = paragraphStyles_.find(name);
        if (found != paragraphStyles_.end())
            Id(e, AN::kParagraphStyleID, found->second);
        else
            BadReference();
    }

    // The child story with text, runs and anchored objects.
    void ChildStory(Element* parent, std::size_t index, int frame, int depth) {
        if (depth > kMaxDepth) {
            problems_.Report(OBERR::kLimitExceeded);
            return;
        }
        const Story& s = doc_.stories[index];
        Element* child = Child(parent, EL::kChildStory);
        if (!child) return;
        TextStream(child, s.text.data(), s.text.size());

        // Frame defaults of old documents stand for the paragraph style
        // where a paragraph has none.
        const Item* defaults = nullptr;
        if (frame >= 0 && static_cast<std::size_t>(frame) < doc_.items.size())
            defaults = &doc_.items[static_cast<std::size_t>(frame)];

        Value* inline_ = nullptr;
        std::vector<std::pair<uint32_t, int>> tables;
        for (const Marker& m : s.markers) {
            if (m.kind != Marker::Kind::kAnchoredItem || m.item < 0 ||
                static_cast<std::size_t>(m.item) >= doc_.items.size())
                continue;
            const Item& it = doc_.items[static_cast<std::size_t>(m.item)];
            if (it.kind == Item::Kind::kTable && it.table) {
                if (included_[static_cast<std::size_t>(m.item)])
                    tables.emplace_back(m.position, m.item);
                continue;
            }
            Element* e = elements_[static_cast<std::size_t>(m.item)];
            if (!e) continue;
            if (!inline_) ValueUtil::CreateValueIdRefList(inline_);
            if (auto* list = dynamic_cast<ValueIdRefList*>(inline_))
                if (!list->Add(e->GetId())) OutOfMemory();
        }
        if (inline_) Put(child, AN::kInlineObjectList, inline_);

        Element* paragraphs = Child(child, EL::kParagraphRunList);
        std::vector<std::string> paragraphStyle(s.paragraphs.size());
        for (std::size_t p = 0; p < s.paragraphs.size(); ++p) {
            const ParagraphRun& run = s.paragraphs[p];
            // An empty last paragraph (after the final U+2029) covers nothing.
            Element* e = run.length > 0 ? Child(paragraphs, EL::kParagraphRun) : nullptr;
            std::string style = run.style;
            ParagraphAttributes local = run.local;
            if (style.empty() && defaults) {
                style = defaults->defaultParagraphStyle;
                Fill(local, defaults->defaultStyle);
            }
            paragraphStyle[p] = style;
            if (!e) continue;
            Int(e, AN::kStartCharacterPosition, run.start);
            Int(e, AN::kEndCharacterPosition, static_cast<long long>(run.start) + run.length);
            ParagraphStyleRef(e, style);
            if (local.characterStyle)
                Fill(local.character, ResolvedCharacterStyle(*local.characterStyle));
            if (!EmptyParagraph(local))
                ParagraphAttributesOf(Child(e, EL::kParagraphAttributes), local);
            if (!Empty(local.character))
                CharacterAttributesOf(Child(e, EL::kCharacterAttributes), local.character,
                                      EffectiveSize(local.character, "", style));
            if (local.tabs && !local.tabs->empty() && !run.local.tabs) Tabs(e, *local.tabs);
        }

        int storyCjk = -1;
        for (char16_t ch : s.text) {
            if ((ch >= 0x3040 && ch <= 0x30FF) || (ch >= 0xFF66 && ch <= 0xFF9F)) {
                storyCjk = WSE::kJapaneseScript;
                break;
            }
            if (ch >= 0xAC00 && ch <= 0xD7AF && storyCjk < 0) storyCjk = WSE::kKoreanScript;
        }
        Element* characters = Child(child, EL::kCharacterRunList);
        std::size_t hint = 0;
        int previousScript = -1;
        for (const CharacterRun& run : s.runs) {
            if (run.length == 0) continue;
            // CJK ideographs are decided once one turns up in the run.
            int cjk = -3;
            auto decideCjk = [&]() {
                std::string language = run.local.language ? *run.local.language : std::string();
                if (language.empty() && !run.style.empty()) {
                    CharacterAttributes c = ResolvedCharacterStyle(run.style);
                    if (c.language) language = *c.language;
                }
                cjk = CjkScript(storyCjk, language);
            };
            // Pieces of the run that share one writing script; characters
            // that every script has go with the piece they stand in.
            uint32_t end = run.start + run.length;
            if (end > s.text.size()) end = static_cast<uint32_t>(s.text.size());
            uint32_t pieceStart = run.start;
            int pieceScript = -1;
            for (uint32_t i = run.start; i <= end; ++i) {
                int script = -1;
                uint32_t width = 1;
                if (i < end) {
                    unsigned c = s.text[i];
                    if (OBUTF16::IsHighSurrogate(c) && i + 1 < end &&
                        OBUTF16::IsLowSurrogate(s.text[i + 1])) {
                        c = OBUTF16::Combine(c, s.text[i + 1]);
                        width = 2;
                    }
                    script = ScribusCharacterScript(c, static_cast<WSE::WritingScriptEnum>(cjk));
                    if (script == -3) {
                        decideCjk();
                        script = cjk;
                    }
                }
                bool cut = i == end || (script >= 0 && pieceScript >= 0 && script != pieceScript);
                if (cut && i > pieceStart) {
                    int use = pieceScript >= 0      ? pieceScript
                              : previousScript >= 0 ? previousScript
                                                    : WSE::kRomanScript;
                    int para = ParagraphAt(s, pieceStart, hint);
                    CharacterRunOf(characters, run, pieceStart, i, use,
                                   para >= 0 ? paragraphStyle[static_cast<std::size_t>(para)]
                                             : std::string());
                    previousScript = use;
                    pieceStart = i;
                    pieceScript = -1;
                }
                if (script >= 0 && pieceScript < 0) pieceScript = script;
                if (width == 2) ++i;
            }
        }

        Element* variables = nullptr;
        int page = SinglePage(s);
        for (const Marker& m : s.markers) {
            if (m.kind != Marker::Kind::kPageNumber && m.kind != Marker::Kind::kPageCount) continue;
            if (!variables) variables = Child(child, EL::kVariableRunList);
            Element* v = Child(variables, EL::kVariableRun);
            if (!v) continue;
            Int(v, AN::kPos, m.position);
            bool number = m.kind == Marker::Kind::kPageNumber;
            Enum(v, AN::kVariableType, &ValueUtil::CreateValueAutoVariableEnum,
                 number ? AVE::kPageNumber : AVE::kPageCount);
            if (!number)
                Utf8(v, AN::kStaticText, std::to_string(doc_.pages.size()));
            else if (page >= 0)
                Utf8(v, AN::kStaticText, std::to_string(PageNumber(page)));
        }

        if (!tables.empty()) {
            Element* list = Child(child, EL::kTableRunList);
            for (auto& t : tables) {
                Element* run = Child(list, EL::kTableRun);
                if (!run) continue;
                Int(run, AN::kTextIndex, t.first);
                TableOf(run, doc_.items[static_cast<std::size_t>(t.second)], depth + 1);
            }
        }
    }

    void CharacterRunOf(Element* list, const CharacterRun& run, uint32_t start, uint32_t end,
                        int script, const std::string& paragraphStyle) {
        Element* e = Child(list, EL::kCharacterRun);
        if (!e) return;
        Int(e, AN::kStartCharacterPosition, start);
        Int(e, AN::kEndCharacterPosition, end);
        if (!run.style.empty()) {
            auto found = characterStyles_.find(run.style);
            if (found != characterStyles_.end())
                Id(e, AN::kCharacterStyleID, found->second);
            else
                BadReference();
        }
        ParagraphStyleRef(e, paragraphStyle);
        Element* attributes = Child(e, EL::kCharacterAttributes);
        // The size matters only to turn a relative baseline shift into a length.
        double size =
            run.local.baselineShift ? EffectiveSize(run.local, run.style, paragraphStyle) : 0;
        CharacterAttributesOf(attributes, run.local, size);
        Enum(attributes, AN::kWritingScript, &ValueUtil::CreateValueWritingScriptEnum,
             static_cast<WSE::WritingScriptEnum>(script));
    }

    void TableOf(Element* parent, const Item& it, int depth) {
        const Table& t = *it.table;
        Element* table = Child(parent, EL::kTable);
        if (!table) return;
        Int(table, AN::kNumberOfRows, t.rows);
        Int(table, AN::kNumberOfColumns, t.columns);
        Int(table, AN::kHeaderRows, 0);
        Int(table, AN::kFooterRows, 0);
        Rect(table, AN::kBoundingBox, it.x, it.y, it.x + it.width, it.y + it.height);
        unsigned id = 0;
        if (!t.fillColor.empty() && t.fillColor != "None" && ColorId(t.fillColor, id))
            Id(table, AN::kFillId, id);
        Element* rows = Child(table, EL::kTableRowList);
        std::size_t next = 0;
        for (int r = 0; r < t.rows && rows; ++r) {
            Element* row = Child(rows, EL::kTableRow);
            if (!row) break;
            Int(row, AN::kRowNumber, r);
            if (static_cast<std::size_t>(r) < t.rowHeights.size())
                Length(row, AN::kRowHeight, t.rowHeights[static_cast<std::size_t>(r)]);
            Element* cells = Child(row, EL::kTableCellList);
            for (; next < t.cells.size() && t.cells[next].row == r; ++next) {
                const Cell& c = t.cells[next];
                Element* cell = Child(cells, EL::kTableCell);
                if (!cell) continue;
                Int(cell, AN::kRowNumber, c.row);
                Int(cell, AN::kColumnNumber, c.column);
                if (c.rowSpan > 1)
                    Int(cell, AN::kEndRowNumber, static_cast<long long>(c.row) + c.rowSpan - 1);
                if (c.columnSpan > 1)
                    Int(cell, AN::kEndColumnNumber,
                        static_cast<long long>(c.column) + c.columnSpan - 1);
                if (static_cast<std::size_t>(c.column) < t.columnWidths.size())
                    Length(cell, AN::kColumnWidth,
                           t.columnWidths[static_cast<std::size_t>(c.column)]);
                if (c.story >= 0 && static_cast<std::size_t>(c.story) < doc_.stories.size())
                    ChildStory(cell, static_cast<std::size_t>(c.story), -1, depth + 1);
            }
            // Cells out of row order: the rest go where they belong.
            while (next < t.cells.size() && t.cells[next].row < r)
                ++next;
        }
    }

    // ------------------------------------------------------------ pages

    void MasterSpreads() {
        if (doc_.masterPages.empty()) return;
        Element* list = Top(EL::kMasterSpreadList);
        const int columns = ColumnsPerSpread();
        for (std::size_t m = 0; m < doc_.masterPages.size(); ++m) {
            const Page& page = doc_.masterPages[m];
            Element* spread = Child(list, EL::kMasterSpread);
            Utf8(spread, AN::kName, page.name);
            Element* e = Child(spread, EL::kMasterPage);
            if (!e) continue;
            masterPages_.emplace(page.name, e->GetId());
            Utf8(e, AN::kName, page.name);
            Length(e, AN::kPageWidth, page.width);
            Length(e, AN::kPageHeight, page.height);
            Margins(e, page);
            Enum(e, AN::kOrientation, &ValueUtil::CreateValueTOPOrientationEnum,
                 page.orientation == 1 ? TOPO::kLandscape : TOPO::kPortrait);
            if (columns > 1)
                Enum(e, AN::kPageSide, &ValueUtil::CreateValuePageSideEnum,
                     page.position == 0             ? PSE::kLeft
                     : page.position == columns - 1 ? PSE::kRight
                                                    : PSE::kUnknown);
            Items(e, kMaster, static_cast<int>(m), page);
        }
    }

    void Margins(Element* e, const Page& page) {
        Length(e, AN::kTopMargin, page.margins.top);
        Length(e, AN::kBottomMargin, page.margins.bottom);
        Length(e, AN::kLeftMargin, page.margins.left);
        Length(e, AN::kRightMargin, page.margins.right);
    }

    void RegularSpreads() {
        pageElements_.assign(doc_.pages.size(), nullptr);
        if (doc_.pages.empty()) return;
        Element* list = Top(EL::kRegularSpreadList);
        const int columns = ColumnsPerSpread();
        std::vector<char> placed(doc_.pages.size(), 0);
        Element* firstSpread = nullptr;
        for (std::size_t s = 0; s < doc_.spreads.size(); ++s) {
            Element* spread = Child(list, EL::kRegularSpread);
            if (!spread) continue;
            if (!firstSpread) firstSpread = spread;
            Bool(spread, AN::kIsFirstRegularSpread, s == 0);
            Bool(spread, AN::kIsLastRegularSpread, s + 1 == doc_.spreads.size());
            for (int p : doc_.spreads[s].pages) {
                if (p < 0 || static_cast<std::size_t>(p) >= doc_.pages.size() ||
                    placed[static_cast<std::size_t>(p)])
                    continue;
                placed[static_cast<std::size_t>(p)] = 1;
                RegularPage(spread, static_cast<std::size_t>(p), columns);
            }
        }
        // Pages that no spread holds get one each.
        for (std::size_t p = 0; p < doc_.pages.size(); ++p) {
            if (placed[p]) continue;
            Element* spread = Child(list, EL::kRegularSpread);
            if (!firstSpread) firstSpread = spread;
            RegularPage(spread, p, columns);
        }
        // Items on no page lie on the first spread's pasteboard.
        Element* pasteboard = nullptr;
        for (std::size_t i = 0; i < doc_.items.size(); ++i) {
            if (place_[i] != kPasteboard || !included_[i]) continue;
            if (!pasteboard) pasteboard = Child(firstSpread, EL::kPasteboardDrawingObjectList);
            ItemOf(pasteboard, static_cast<int>(i), -1, 0);
        }
        AnchoredItems(nullptr, kPasteboard, -1, pasteboard, firstSpread);
    }

    void RegularPage(Element* spread, std::size_t p, int columns) {
        const Page& page = doc_.pages[p];
        Element* e = Child(spread, EL::kRegularPage);
        if (!e) return;
        pageElements_[p] = e;
        auto master = masterPages_.find(page.masterName);
        if (master != masterPages_.end())
            Id(e, AN::kBasedOn, master->second);
        else if (!page.masterName.empty() && !doc_.masterPages.empty() && options_.masterItems)
            BadReference();
        Margins(e, page);
        Enum(e, AN::kOrientation, &ValueUtil::CreateValueTOPOrientationEnum,
             page.orientation == 1 ? TOPO::kLandscape : TOPO::kPortrait);
        Enum(e, AN::kPageSide, &ValueUtil::CreateValuePageSideEnum,
             columns == 1                   ? PSE::kRight
             : page.position == 0           ? PSE::kLeft
             : page.position == columns - 1 ? PSE::kRight
                                            : PSE::kUnknown);
        Items(e, kRegular, static_cast<int>(p), page);
    }

    // Items are large (1.6 KB) and the fields mapped for every item span
    // their first six cache lines: those of the next item are asked for
    // while this one is mapped, so that they arrive in the meantime.
    void Prefetch(int i) const {
        if (i < 0 || static_cast<std::size_t>(i) >= doc_.items.size()) return;
        const char* p = reinterpret_cast<const char*>(&doc_.items[static_cast<std::size_t>(i)]);
        for (int line = 0; line < 6; ++line)
            __builtin_prefetch(p + 64 * line);
    }

    void Items(Element* page, Place where, int index, const Page& source) {
        Element* list = Child(page, EL::kDrawingObjectList);
        for (std::size_t k = 0; k < source.items.size(); ++k) {
            if (k + 1 < source.items.size()) Prefetch(source.items[k + 1]);
            int i = source.items[k];
            if (i >= 0 && static_cast<std::size_t>(i) < doc_.items.size() &&
                included_[static_cast<std::size_t>(i)] &&
                place_[static_cast<std::size_t>(i)] == where &&
                placePage_[static_cast<std::size_t>(i)] == index)
                ItemOf(list, i, where == kRegular ? index : -1, 0);
        }
        AnchoredItems(list, where, index, nullptr, nullptr);
    }

    // Items anchored in text go with the page that shows their story's
    // first frame (the pasteboard when there is none).
    void AnchoredItems(Element* list, Place where, int index, Element* pasteboard,
                       Element* spread) {
        for (std::size_t i : anchored_) {
            if (!included_[i] || elements_[i]) continue;
            const Item& it = doc_.items[i];
            if (it.kind == Item::Kind::kTable && it.table) continue; // tables stand in the text
            int story = anchorStory_[i];
            int frame = -1;
            for (int guard = 0; guard < kMaxDepth && story >= 0; ++guard) {
                const Story& s = doc_.stories[static_cast<std::size_t>(story)];
                if (!s.frames.empty()) {
                    frame = TopItem(s.frames.front());
                    break;
                }
                story = s.table >= 0 ? anchorStory_[static_cast<std::size_t>(s.table)] : -1;
            }
            Place p = frame >= 0 ? place_[static_cast<std::size_t>(frame)] : kPasteboard;
            int pageIndex = frame >= 0 ? placePage_[static_cast<std::size_t>(frame)] : -1;
            if (p != kRegular && p != kMaster) p = kPasteboard;
            if (p != where || (where != kPasteboard && pageIndex != index)) continue;
            if (where == kPasteboard) {
                if (!pasteboard) pasteboard = Child(spread, EL::kPasteboardDrawingObjectList);
                ItemOf(pasteboard, static_cast<int>(i), -1, 0);
            } else {
                ItemOf(list, static_cast<int>(i), where == kRegular ? index : -1, 0);
            }
        }
    }

    static EL::ElementTypeEnum KindOf(const Item& it) {
        switch (it.kind) {
        case Item::Kind::kTextFrame:
        case Item::Kind::kTable:
            return EL::kText;
        case Item::Kind::kImageFrame:
            return EL::kPicture;
        case Item::Kind::kLine:
            return EL::kLine;
        case Item::Kind::kGroup:
            return EL::kGroup;
        case Item::Kind::kPathText:
            return EL::kBezierTextPath;
        case Item::Kind::kPolyLine:
            return Curved(it) ? EL::kBezier : EL::kIrregularPolygon;
        case Item::Kind::kShape:
        case Item::Kind::kPolygon:
        case Item::Kind::kOther:
            if (it.frameType == 1 || (it.frameType < 0 && it.rawType == 1)) return EL::kEllipse;
            if (it.frameType == 0 || it.frameType == 2 || (it.frameType < 0 && it.rawType == 3))
                return EL::kRectangle;
            return Curved(it) ? EL::kBezier : EL::kIrregularPolygon;
        }
        return EL::kBezier;
    }

    static bool Same(const scribus::Point& a, const scribus::Point& b) {
        return std::fabs(a.x - b.x) < 1e-6 && std::fabs(a.y - b.y) < 1e-6;
    }

    static bool Curved(const Item& it) {
        if (it.outline.size() > 1) return true;
        for (const SubPath& s : it.outline)
            for (const PathPoint& p : s.points)
                if (!Same(p.left, p.anchor) || !Same(p.right, p.anchor)) return true;
        return false;
    }

    void Common(Element* e, const Item& it, int page) {
        Rect(e, AN::kBoundingBox, it.x, it.y, it.x + it.width, it.y + it.height);
        if (it.rotation != 0) Angle(e, AN::kRotation, CounterClockwise(it.rotation));
        auto layer = layers_.find(it.layer);
        if (layer != layers_.end()) Id(e, AN::kLayer, layer->second);
        Bool(e, AN::kVisible, true);
        Bool(e, AN::kNonPrinting, !it.printable);
        if (it.flipH) Bool(e, AN::kHorizontalFlipping, true);
        if (it.flipV) Bool(e, AN::kVerticalFlipping, true);
        if (it.locked) Bool(e, AN::kLockPosition, true);
        if (page >= 0 && static_cast<std::size_t>(page) < pageElements_.size() &&
            pageElements_[static_cast<std::size_t>(page)])
            IdOf(e, AN::kRegularPageIdRef, pageElements_[static_cast<std::size_t>(page)]);
    }

    void Paint(Element* e, const Item& it) {
        unsigned id = 0;
        if (ColorId(it.fillColor, id)) Id(e, AN::kFillId, id);
        if (ColorId(it.lineColor, id)) Id(e, AN::kStrokeId, id);
    }

    Value* PathPoints(const Item& it, bool firstOnly) {
        Value* v = nullptr;
        ValueUtil::CreateValuePathPointList(v);
        auto* list = dynamic_cast<ValuePathPointList*>(v);
        if (!list) {
            OutOfMemory();
            return v;
        }
        for (const SubPath& s : it.outline) {
            for (const PathPoint& p : s.points)
                if (!list->Add(OBPathPoint(OBPoint(p.left.x, p.left.y),
                                           OBPoint(p.anchor.x, p.anchor.y),
                                           OBPoint(p.right.x, p.right.y)),
                               UNITS::LINEAR::kPoints)) {
                    OutOfMemory();
                    return v;
                }
            if (firstOnly) break;
        }
        return v;
    }

    void ItemOf(Element* list, int index, int page, int depth) {
        if (!list || index < 0 || static_cast<std::size_t>(index) >= doc_.items.size()) return;
        if (depth > kMaxDepth) {
            problems_.Report(OBERR::kLimitExceeded);
            return;
        }
        const std::size_t i = static_cast<std::size_t>(index);
        if (elements_[i]) return; // listed once
        const Item& it = doc_.items[i];
        Element* e = Child(list, KindOf(it));
        if (!e) return;
        elements_[i] = e;
        Common(e, it, page);
        switch (e->GetElementType()) {
        case EL::kText: {
            Element* story = nullptr;
            if (it.kind == Item::Kind::kTable)
                story = tableStories_[i];
            else if (it.story >= 0 && static_cast<std::size_t>(it.story) < storyElements_.size())
                story = storyElements_[static_cast<std::size_t>(it.story)];
            IdOf(e, AN::kStory, story);
            Int(e, AN::kNumberOfColumns, it.columns);
            Length(e, AN::kSpaceBetweenColumns, it.columnGap);
            Rect(e, AN::kInsetBox, it.textInsets.left, it.textInsets.top, it.textInsets.right,
                 it.textInsets.bottom);
            Bool(e, AN::kIsThreadedTextFrame, it.prevInChain >= 0 || it.nextInChain >= 0);
            break;
        }
        case EL::kPicture: {
            Length(e, AN::kOffsetAcross, it.imageOffsetX);
            Length(e, AN::kOffsetDown, it.imageOffsetY);
            Percent(e, AN::kHorizontalScale, it.imageScaleX);
            Percent(e, AN::kVerticalScale, it.imageScaleY);
            std::string ext = it.imageEmbedded ? it.embeddedImageType : it.imageFile;
            Enum(e, AN::kPictureType, &ValueUtil::CreateValuePictureTypeEnum, PictureType(ext));
            if (!it.imageFile.empty() || it.imageEmbedded) {
                Element* link = Child(e, EL::kLinkInformation);
                Bool(link, AN::kStoreCopyInPublication, it.imageEmbedded);
                if (link && !it.imageFile.empty()) {
                    OBSysFileRef file(it.imageFile.c_str());
                    Value* v = nullptr;
                    ValueUtil::CreateValueFileSpec(file, v);
                    Put(link, AN::kLinkedFile, v);
                    Bool(link, AN::kIsLinkActive, true);
                }
            }
            break;
        }
        case EL::kLine: {
            Paint(e, it);
            double r = it.rotation * 3.14159265358979323846 / 180.0;
            double x1 = it.x + it.width * std::cos(r), y1 = it.y + it.width * std::sin(r);
            Point(e, AN::kptStart, it.x, it.y);
            Point(e, AN::kptEnd, x1, y1);
            Rect(e, AN::kBoundingBox, std::min(it.x, x1), std::min(it.y, y1), std::max(it.x, x1),
                 std::max(it.y, y1));
            if (it.rotation != 0) Store(e)->Remove(AN::kRotation); // the ends carry the direction
            break;
        }
        case EL::kRectangle:
            Paint(e, it);
            if (it.cornerRadius > 0 || it.frameType == 2)
                Length(e, AN::kCornerRadius, it.cornerRadius);
            break;
        case EL::kEllipse:
            Paint(e, it);
            break;
        case EL::kIrregularPolygon: {
            Paint(e, it);
            bool closed = !it.outline.empty() && it.outline.front().closed &&
                          it.kind != Item::Kind::kPolyLine;
            Bool(e, AN::kIsClosedPolygon, closed);
            Value* v = nullptr;
            ValueUtil::Create(VT::ekVertexList, v);
            if (auto* list = dynamic_cast<ValueVertexList*>(v)) {
                if (!it.outline.empty())
                    for (const PathPoint& p : it.outline.front().points)
                        if (!list->Add(OBPoint(p.anchor.x, p.anchor.y), UNITS::LINEAR::kPoints))
                            OutOfMemory();
            }
            Put(e, AN::kVertexList, v);
            break;
        }
        case EL::kBezier: {
            Paint(e, it);
            bool closed = !it.outline.empty() && it.outline.front().closed &&
                          it.kind != Item::Kind::kPolyLine;
            Bool(e, AN::kIsClosed, closed);
            Put(e, AN::kPathPointList, PathPoints(it, false));
            Value* v = nullptr;
            ValueUtil::CreateValueBool16List(v);
            if (auto* flags = dynamic_cast<ValueBool16List*>(v))
                for (const SubPath& s : it.outline)
                    if (!flags->Add(static_cast<short>(
                            s.closed && it.kind != Item::Kind::kPolyLine ? 1 : 0)))
                        OutOfMemory();
            Put(e, AN::kIsClosedList, v);
            break;
        }
        case EL::kBezierTextPath: {
            Put(e, AN::kPathPointList, PathPoints(it, true));
            Element* path = Child(e, EL::kTextPath);
            if (!path) break;
            if (it.story >= 0 && static_cast<std::size_t>(it.story) < storyElements_.size())
                IdOf(path, AN::kStory, storyElements_[static_cast<std::size_t>(it.story)]);
            Length(path, AN::kTextOnPathOffset, it.pathTextOffset);
            Bool(path, AN::kTextOnPathOtherSide, it.pathTextFlipped);
            break;
        }
        case EL::kGroup:
            for (std::size_t k = 0; k < it.children.size(); ++k) {
                if (k + 1 < it.children.size()) Prefetch(it.children[k + 1]);
                int c = it.children[k];
                if (c >= 0 && static_cast<std::size_t>(c) < doc_.items.size() &&
                    included_[static_cast<std::size_t>(c)] &&
                    place_[static_cast<std::size_t>(c)] == kMember)
                    ItemOf(e, c, page, depth + 1);
            }
            break;
        default:
            break;
        }
    }

    static PTE::PictureTypeEnum PictureType(const std::string& file) {
        struct {
            const char* ext;
            PTE::PictureTypeEnum type;
        } const kTypes[] = {{".png", PTE::kPNG},   {".jpg", PTE::kJPEG},  {".jpeg", PTE::kJPEG},
                            {".tif", PTE::kTIFF},  {".tiff", PTE::kTIFF}, {".gif", PTE::kGIF},
                            {".bmp", PTE::kBMP},   {".eps", PTE::kEPS},   {".ps", PTE::kEPS},
                            {".pdf", PTE::kPDF},   {".psd", PTE::kPSD},   {".svg", PTE::kSVG},
                            {".wmf", PTE::kWMF},   {".emf", PTE::kEMF},   {".pct", PTE::kPICT},
                            {".pict", PTE::kPICT}, {".pcx", PTE::kPCX},   {".jp2", PTE::kJPEG2000}};
        std::string name = file;
        if (!name.empty() && name[0] != '.' && name.find('.') == std::string::npos)
            name = "." + name;
        for (const auto& t : kTypes)
            if (EndsWith(name, t.ext)) return t.type;
        return PTE::kUnknown;
    }

    void ChainLinks() {
        for (std::size_t i = 0; i < doc_.items.size(); ++i) {
            Element* e = elements_[i];
            if (!e || e->GetElementType() != EL::kText) continue;
            const Item& it = doc_.items[i];
            if (it.prevInChain >= 0 && static_cast<std::size_t>(it.prevInChain) < doc_.items.size())
                IdOf(e, AN::kPreviousTextObject,
                     elements_[static_cast<std::size_t>(it.prevInChain)]);
            if (it.nextInChain >= 0 && static_cast<std::size_t>(it.nextInChain) < doc_.items.size())
                IdOf(e, AN::kNextTextObject, elements_[static_cast<std::size_t>(it.nextInChain)]);
        }
    }

    // ------------------------------------------------------------ story list

    struct Order {
        int category; // 0 regular page, 1 master page, 2 elsewhere
        int page;
        double y, x;
        std::size_t sequence;
        Element* story;
        int source; // story index, or -1 - item index for a table's story
    };

    Order Where(int frame, std::size_t sequence, Element* story, int source) const {
        Order o{2, 0, 0, 0, sequence, story, source};
        int top = TopItem(frame);
        if (top < 0) return o;
        const Item& it = doc_.items[static_cast<std::size_t>(frame)];
        Place p = place_[static_cast<std::size_t>(top)];
        if (p == kRegular)
            o.category = 0;
        else if (p == kMaster)
            o.category = 1;
        else
            return o;
        o.page = placePage_[static_cast<std::size_t>(top)];
        o.y = it.y;
        o.x = it.x;
        return o;
    }

    void StoryList() {
        std::vector<Order> order;
        for (std::size_t s = 0; s < storyElements_.size(); ++s) {
            if (!storyElements_[s]) continue;
            const Story& story = doc_.stories[s];
            // The first frame that is kept decides where the story stands.
            int frame = -1;
            for (int f : story.frames)
                if (f >= 0 && static_cast<std::size_t>(f) < doc_.items.size() &&
                    included_[static_cast<std::size_t>(f)]) {
                    frame = f;
                    break;
                }
            order.push_back(Where(frame, order.size(), storyElements_[s], static_cast<int>(s)));
        }
        for (std::size_t i = 0; i < tableStories_.size(); ++i)
            if (tableStories_[i])
                order.push_back(Where(static_cast<int>(i), order.size(), tableStories_[i],
                                      -1 - static_cast<int>(i)));
        std::stable_sort(order.begin(), order.end(), [](const Order& a, const Order& b) {
            if (a.category != b.category) return a.category < b.category;
            if (a.page != b.page) return a.page < b.page;
            if (std::fabs(a.y - b.y) > 0.5) return a.y < b.y;
            if (std::fabs(a.x - b.x) > 0.5) return a.x < b.x;
            return a.sequence < b.sequence;
        });
        Element* list = order.empty() ? nullptr : Top(EL::kStoryList);
        for (const Order& o : order) {
            // The pending stories belong to this list from now on.
            auto pending = std::find(pendingStories_.begin(), pendingStories_.end(), o.story);
            if (pending != pendingStories_.end()) pendingStories_.erase(pending);
            if (!list || !list->AddChild(o.story)) {
                Delete(o.story);
                OutOfMemory();
                continue;
            }
            if (o.source >= 0) {
                const Story& s = doc_.stories[static_cast<std::size_t>(o.source)];
                if (!s.frames.empty() &&
                    doc_.items[static_cast<std::size_t>(s.frames.front())].kind ==
                        Item::Kind::kPathText)
                    Bool(o.story, AN::kIsTextOnPath, true);
                ChildStory(o.story, static_cast<std::size_t>(o.source),
                           s.frames.empty() ? -1 : s.frames.front(), 0);
            } else {
                TableStory(o.story, static_cast<std::size_t>(-1 - o.source));
            }
        }
        for (Element* e : pendingStories_)
            Delete(e);
        pendingStories_.clear();
    }

    // A table on a page: one U+FFFC whose table run holds the table.
    void TableStory(Element* story, std::size_t item) {
        Element* child = Child(story, EL::kChildStory);
        if (!child) return;
        const char16_t text[1] = {kObjectReplacement};
        TextStream(child, text, 1);
        Element* paragraphs = Child(child, EL::kParagraphRunList);
        Element* p = Child(paragraphs, EL::kParagraphRun);
        Int(p, AN::kStartCharacterPosition, 0);
        Int(p, AN::kEndCharacterPosition, 1);
        ParagraphStyleRef(p, "");
        Element* characters = Child(child, EL::kCharacterRunList);
        Element* c = Child(characters, EL::kCharacterRun);
        Int(c, AN::kStartCharacterPosition, 0);
        Int(c, AN::kEndCharacterPosition, 1);
        ParagraphStyleRef(c, "");
        Element* runs = Child(child, EL::kTableRunList);
        Element* run = Child(runs, EL::kTableRun);
        if (!run) return;
        Int(run, AN::kTextIndex, 0);
        TableOf(run, doc_.items[item], 1);
    }

    // ------------------------------------------------------------ links, contents

    void Hyperlinks() {
        Element* list = nullptr;
        for (std::size_t i = 0; i < doc_.items.size(); ++i) {
            const Item& it = doc_.items[i];
            if (!it.annotation || !elements_[i]) continue;
            const Annotation& a = *it.annotation;
            bool page = a.actionType == 2;
            bool uri = (a.actionType == 7 || a.actionType == 8) && !a.external.empty();
            if (!page && !uri) continue;
            Element* target = nullptr;
            if (page) {
                if (a.targetPage < 0 ||
                    static_cast<std::size_t>(a.targetPage) >= pageElements_.size() ||
                    !pageElements_[static_cast<std::size_t>(a.targetPage)]) {
                    BadReference();
                    continue;
                }
                target = pageElements_[static_cast<std::size_t>(a.targetPage)];
            }
            if (!list) list = Top(EL::kHyperlinkList);
            Element* link = Child(list, EL::kHyperlink);
            if (!link) continue;
            Utf8(link, AN::kName,
                 !a.name.empty()      ? a.name
                 : !a.tooltip.empty() ? a.tooltip
                                      : it.name);
            Element* source = Child(link, EL::kHyperLinkDOSource);
            IdOf(source, AN::kObject, elements_[i]);
            Element* anchor =
                Child(link, page ? EL::kHyperLinkPageAnchor : EL::kHyperLinkURLAnchor);
            if (page)
                IdOf(anchor, AN::kPage, target);
            else
                Utf8(anchor, AN::kURL, a.external);
            IdOf(link, AN::kSource, source);
            IdOf(link, AN::kAnchor, anchor);
        }
    }

    void TablesOfContents() {
        if (doc_.tablesOfContents.empty()) return;
        Element* list = Top(EL::kTOCStyleList);
        for (const TocSetup& t : doc_.tablesOfContents) {
            Element* style = Child(list, EL::kTOCStyle);
            if (!style) continue;
            Utf8(style, AN::kName, t.name);
            TOCE::TableOfContentsFormatEnum format =
                t.numberPlacement == "Beginning"  ? TOCE::kPageNumberBeforeEntry
                : t.numberPlacement == "NotShown" ? TOCE::kNoPageNumber
                                                  : TOCE::kPageNumberAfterEntry;
            Enum(style, AN::kTableOfContentsFormat,
                 &ValueUtil::CreateValueTableOfContentsFormatEnum, format);
            Bool(style, AN::kIncludeParagraphsOnHiddenLayers, t.listNonPrinting);
            Element* entries = Child(style, EL::kTOCEntryList);
            Element* entry = Child(entries, EL::kTOCEntry);
            Int(entry, AN::kLevel, 1);
            Enum(entry, AN::kTableOfContentsFormat,
                 &ValueUtil::CreateValueTableOfContentsFormatEnum, format);
            auto found = paragraphStyles_.find(t.paragraphStyle);
            if (found != paragraphStyles_.end())
                Id(entry, AN::kFormatStyleID, found->second);
            else if (!t.paragraphStyle.empty())
                BadReference();
            // The frame that receives the table names the publication's contents story.
            for (std::size_t i = 0; i < doc_.items.size() && publication_; ++i) {
                const Item& it = doc_.items[i];
                if (it.name != t.frameName || it.story < 0 ||
                    static_cast<std::size_t>(it.story) >= storyElements_.size() ||
                    !storyElements_[static_cast<std::size_t>(it.story)])
                    continue;
                IdOf(publication_, AN::kTOCStoryID,
                     storyElements_[static_cast<std::size_t>(it.story)]);
                break;
            }
        }
    }

    const Document& doc_;
    const ScribusMapOptions& options_;
    ScribusProblemSink& problems_;
    ElementList* out_ = nullptr;
    Element* storeOwner_ = nullptr;
    OBAttributeStore* store_ = nullptr;
    bool outOfMemory_ = false;
    bool badReference_ = false;

    std::unordered_map<int, std::size_t> layerIndex_;
    std::vector<Place> place_;
    std::vector<int> placePage_;
    std::vector<char> included_;
    std::vector<int> anchorStory_;
    std::vector<std::size_t> anchored_;    // items placed in text, in order
    std::vector<Element*> elements_;       // per item, once built
    std::vector<Element*> storyElements_;  // per story, for the kept ones
    std::vector<Element*> tableStories_;   // per item, for page-level tables
    std::vector<Element*> pendingStories_; // made, not yet in the story list
    std::vector<Element*> pageElements_;
    Element* publication_ = nullptr;

    std::unordered_map<std::string, unsigned> colors_, characterStyles_, paragraphStyles_,
        masterPages_;
    const std::pair<const std::string, unsigned>* recentColors_[2] = {nullptr,
                                                                      nullptr}; // into colors_
    std::unordered_map<int, unsigned> layers_;
    std::unordered_map<std::string, std::size_t> characterStyleIndex_, paragraphStyleIndex_;
    std::string defaultParagraphStyle_;
    std::unordered_set<std::string> fontSet_;
    std::vector<std::string> fonts_;

public:
    ~Mapper() {
        for (Element* e : pendingStories_)
            delete e;
    }
};

} // namespace

void ScribusBuildElements(const Document& doc, const ScribusMapOptions& options,
                          ScribusProblemSink& problems, ElementList& out) {
    Mapper mapper(doc, options, problems);
    try {
        mapper.Build(out);
    } catch (const std::bad_alloc&) {
        // The bookkeeping ran out of memory: what was built stays.
        problems.Report(OBERR::kOutOfMemory);
    }
}
