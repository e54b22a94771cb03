// The document reader's parts outside page items: the root and its
// DOCUMENT, colours, styles, layers, page sets, sections, tables of
// contents and pages, each read from its element as it arrives.
#include "ScribusNumberReaders.h"
#include "ScribusReading.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace scribus {
namespace detail {

namespace {

Generation GenerationOf(ElementId root, const char* version) {
    if (root == kElem_SCRIBUS) return Generation::kLegacy;
    if (root == kElem_SCRIBUSUTF8) return Generation::k12;
    int part[3] = {0, 0, 0};
    const char* p = version ? version : "";
    for (int i = 0; i < 3 && *p; ++i) {
        if (*p < '0' || *p > '9') break;
        while (*p >= '0' && *p <= '9') {
            part[i] = part[i] * 10 + (*p - '0');
            if (part[i] > 100000) part[i] = 100000;
            ++p;
        }
        if (*p == '.')
            ++p;
        else
            break;
    }
    if (part[0] == 0 && part[1] == 0) return Generation::k14; // no usable version
    if (part[0] > 1 || part[1] >= 5) return Generation::k15;
    if (part[1] == 3 && part[2] < 4) return Generation::k13;
    if (part[1] < 3) return Generation::k12;
    return Generation::k14;
}

std::string Latin1ToUtf8(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x80)
            out += static_cast<char>(c);
        else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Each byte's value as a hex digit, 16 for any other byte (the NUL that
// ends a value among them).
constexpr std::array<std::uint8_t, 256> kHexValue = [] {
    std::array<std::uint8_t, 256> t{};
    for (std::uint8_t& v : t)
        v = 16;
    for (int c = 0; c < 10; ++c)
        t['0' + c] = static_cast<std::uint8_t>(c);
    for (int c = 0; c < 6; ++c)
        t['a' + c] = t['A' + c] = static_cast<std::uint8_t>(10 + c);
    return t;
}();

// Palettes before 1.5 hold hundreds of these: a table, not a chain of
// comparisons, for each digit.
bool Hex(const char* s, std::size_t digits, double* out) {
    if (!s || s[0] != '#') return false;
    const auto* d = reinterpret_cast<const unsigned char*>(s + 1);
    for (std::size_t i = 0; i < digits; i += 2) {
        const unsigned high = kHexValue[d[i]];
        if (high > 15) return false; // the NUL of a shorter value too
        const unsigned low = kHexValue[d[i + 1]];
        if (low > 15) return false;
        out[i / 2] = static_cast<int>(high * 16 + low) / 255.0;
    }
    return true;
}

double Clamp01(double v) {
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

} // namespace

DocumentReader::DocumentReader(Context& ctx, Document& doc, bool tree) : ctx_(ctx), doc_(doc) {
    state_.tree = tree;
    none_.Begin();
    open_.reserve(64);
}

DocumentReader::~DocumentReader() {}

void DocumentReader::StartInTree(pugi::xml_node node, ElementId id, const Attrs& a) {
    node_ = node;
    Start(id, a);
}

void DocumentReader::Start(ElementId id, const Attrs& a) {
    if (text_) { // the text of a frame or a cell
        HeldWarnings* before = ctx_.Hold(textHold_);
        text_->Start(id, a);
        ctx_.Hold(before);
        ++textDepth_;
    }
    Kind kind = kIgnore;
    if (open_.empty()) {
        if (root_ == kNoRoot) {
            bool scribus =
                id == kElem_SCRIBUSUTF8NEW || id == kElem_SCRIBUSUTF8 || id == kElem_SCRIBUS;
            root_ = scribus ? kScribusRoot : kOtherRoot;
            if (scribus) {
                Root(id, a);
                kind = kRootKind;
            }
        }
    } else if (open_.back() != kIgnore) { // what an ignored element holds is ignored
        kind = Child(open_.back(), id, a);
    }
    open_.push_back(kind);
}

void DocumentReader::End() {
    if (open_.empty()) return;
    const Kind kind = open_.back();
    open_.pop_back();
    if (text_ && textDepth_ > 0) {
        --textDepth_;
        HeldWarnings* before = ctx_.Hold(textHold_);
        text_->End();
        ctx_.Hold(before);
    }
    if (kind != kIgnore) EndOf(kind);
}

// Start and End, for the elements that mean nothing here but maybe to the
// text (nearly all empty ones): the text's handler has both at once.
void DocumentReader::Empty(ElementId id, const Attrs& a) {
    const Kind parent = open_.empty() ? kRootKind : open_.back();
    const bool inert = parent == kIgnore || (parent == kItem && !ItemReads(id));
    if (!inert) {
        Start(id, a);
        End();
        return;
    }
    if (text_) {
        HeldWarnings* before = ctx_.Hold(textHold_);
        text_->Empty(id, a);
        ctx_.Hold(before);
    }
}

void DocumentReader::Root(ElementId id, const Attrs& a) {
    doc_.version = String(a, kAttr_Version);
    doc_.generation = GenerationOf(id, doc_.version.c_str());
    ctx_.latin1 = doc_.generation == Generation::kLegacy;
    ctx_.storyText15 = doc_.generation == Generation::k15;
    legacyPages_ = doc_.generation == Generation::kLegacy || doc_.generation == Generation::k12;
    ctx_.hyphenFlags12 = legacyPages_;
}

DocumentReader::Kind DocumentReader::Child(Kind parent, ElementId id, const Attrs& a) {
    switch (parent) {
    case kRootKind:
        if (id != kElem_DOCUMENT || sawDocument_) return kIgnore;
        sawDocument_ = true;
        ReadPublication(a);
        return kDocumentKind;
    case kDocumentKind:
        return documentDone_ ? kIgnore : DocumentChild(id, a);
    case kStyle:
        if (id == kElem_Tabs) styleFormat_.Tab(ctx_, a);
        return kIgnore;
    case kPageSets:
        if (id != kElem_Set) return kIgnore;
        StartPageSet(a);
        return kSet;
    case kSet:
        if (id == kElem_PageNames) set_.pageNames.push_back(String(a, kAttr_Name));
        return kIgnore;
    case kSections:
        if (id == kElem_Section) ReadSection(a);
        return kIgnore;
    case kTocs:
        if (id == kElem_TableOfContents) ReadToc(a);
        return kIgnore;
    case kLegacyPage:
        return id == kElem_PAGEOBJECT ? LegacyPageItem(a) : kIgnore;
    case kItem:
        return ItemChild(id, a);
    case kItemAttributes:
        if (id == kElem_ItemAttribute)
            doc_.items[static_cast<std::size_t>(items_.back().index)].attributes.push_back(
                ItemAttribute{String(a, kAttr_Name), String(a, kAttr_Type), String(a, kAttr_Value),
                              String(a, kAttr_Parameter)});
        return kIgnore;
    case kTableData:
        return id == kElem_Cell ? StartCell(a) : kIgnore;
    default:
        return kIgnore;
    }
}

DocumentReader::Kind DocumentReader::DocumentChild(ElementId id, const Attrs& a) {
    switch (id) {
    case kElem_PAGEOBJECT:
        return StartItem(a, ItemSource::kDocumentItems, 0, -1);
    case kElem_COLOR:
        ReadColor(a);
        return kIgnore;
    case kElem_STYLE:
        StartStyle(a);
        return kStyle;
    case kElem_CHARSTYLE:
        ReadCharacterStyle(a);
        return kIgnore;
    case kElem_LAYERS:
        ReadLayer(a);
        return kIgnore;
    case kElem_PageSets:
        return kPageSets;
    case kElem_Sections:
        return kSections;
    case kElem_TablesOfContents:
        return kTocs;
    case kElem_MASTERPAGE:
        doc_.masterPages.push_back(ReadPage(a));
        return kIgnore;
    case kElem_PAGE:
        return StartPage(a);
    case kElem_MASTEROBJECT:
        return StartItem(a, ItemSource::kMasterItems, 0, -1);
    case kElem_FRAMEOBJECT:
        return StartItem(a, ItemSource::kAnchoredItems, 0, -1);
    default:
        return kIgnore;
    }
}

void DocumentReader::EndOf(Kind kind) {
    switch (kind) {
    case kDocumentKind:
        documentDone_ = true;
        break;
    case kStyle:
        EndStyle();
        break;
    case kSet:
        doc_.pageSets.push_back(std::move(set_));
        set_ = PageSet();
        break;
    case kItem:
        EndItem();
        break;
    case kCell:
        EndCell();
        break;
    default:
        break;
    }
}

bool DocumentReader::Finish() {
    if (root_ != kScribusRoot) return true;
    if (!sawDocument_) {
        ctx_.Warn(Warning::Code::kTruncated, "the document has no DOCUMENT element; it is empty");
        return true;
    }
    if (doc_.publication.pageSetIndex >= static_cast<int>(doc_.pageSets.size()) &&
        !doc_.pageSets.empty())
        ctx_.Warn(Warning::Code::kBadReference,
                  "the page layout refers to a page set that does not exist");
    // A story read early that named a style by a number no style had then
    // reads otherwise once every style is known.
    for (std::size_t i = 0; i < state_.built.size(); ++i) {
        const long long unknown = state_.built[i].unknownStyleIndex;
        if (unknown >= 5 &&
            static_cast<unsigned long long>(unknown - 5) < state_.styleByIndex.size())
            return false;
    }
    if (!Assemble(ctx_, doc_, state_)) return false;
    if (ctx_.sawInvalidUtf8)
        ctx_.Warn(Warning::Code::kEncoding,
                  "some text is not valid UTF-8; those bytes were read as Latin-1");
    return true;
}

void DocumentReader::ReadPublication(const Attrs& a) {
    Publication& p = doc_.publication;
    p.pageWidth =
        Number(ctx_, a, a.Has(kAttr_PAGEWIDTH) ? kAttr_PAGEWIDTH : kAttr_PAGEWITH, 595.28);
    p.pageHeight = Number(ctx_, a, kAttr_PAGEHEIGHT, 841.89);
    p.margins.top = Number(ctx_, a, kAttr_BORDERTOP, 0);
    p.margins.left = Number(ctx_, a, kAttr_BORDERLEFT, 0);
    p.margins.bottom = Number(ctx_, a, kAttr_BORDERBOTTOM, 0);
    p.margins.right = Number(ctx_, a, kAttr_BORDERRIGHT, 0);
    p.bleed.top = Number(ctx_, a, kAttr_BleedTop, 0);
    p.bleed.left = Number(ctx_, a, kAttr_BleedLeft, 0);
    p.bleed.bottom = Number(ctx_, a, kAttr_BleedBottom, 0);
    p.bleed.right = Number(ctx_, a, kAttr_BleedRight, 0);
    p.orientation = static_cast<int>(Integer(ctx_, a, kAttr_ORIENTATION, 0));
    p.pageSizeName = String(a, kAttr_PAGESIZE);
    p.firstPageNumber = static_cast<int>(Integer(ctx_, a, kAttr_FIRSTNUM, 1));
    p.pageSetIndex = static_cast<int>(Integer(ctx_, a, kAttr_BOOK, 0));
    if (p.pageSetIndex < 0) p.pageSetIndex = 0;
    p.facingPages = p.pageSetIndex > 0;
    // 1.2 knows only single pages and facing pages, first page left or right.
    ctx_.legacyFirstLeft = Flag(a, kAttr_FIRSTLEFT, false);
    long long unit = Integer(ctx_, a, kAttr_UNITS, 0);
    p.displayUnit = (unit >= 0 && unit <= 5) ? static_cast<Unit>(unit) : Unit::kPoint;
    p.language = String(a, kAttr_LANGUAGE);
    p.defaultFont = String(a, kAttr_DFONT);
    p.defaultFontSize = Number(ctx_, a, kAttr_DSIZE, 12);
    ReadMetadata(a);
}

void DocumentReader::ReadMetadata(const Attrs& a) {
    Metadata& m = doc_.publication.metadata;
    m.title = String(a, kAttr_TITLE);
    m.author = String(a, kAttr_AUTHOR);
    m.subject = String(a, kAttr_SUBJECT);
    m.keywords = String(a, kAttr_KEYWORDS);
    m.comments = String(a, kAttr_COMMENTS);
    m.publisher = String(a, kAttr_PUBLISHER);
    m.date = String(a, kAttr_DOCDATE);
    m.type = String(a, kAttr_DOCTYPE);
    m.format = String(a, kAttr_DOCFORMAT);
    m.identifier = String(a, kAttr_DOCIDENT);
    m.source = String(a, kAttr_DOCSOURCE);
    m.languageInfo = String(a, kAttr_DOCLANGINFO);
    m.relation = String(a, kAttr_DOCRELATION);
    m.coverage = String(a, kAttr_DOCCOVER);
    m.rights = String(a, kAttr_DOCRIGHTS);
    m.contributor = String(a, kAttr_DOCCONTRIB);
    if (ctx_.latin1) {
        // 8-bit documents: re-read the texts as Latin-1 so they are UTF-8 here.
        for (std::string* s :
             {&m.title, &m.author, &m.subject, &m.keywords, &m.comments, &m.publisher})
            *s = Latin1ToUtf8(*s);
    }
}

namespace {

// Before 1.5: hex strings; a colour with a CMYK value is defined in CMYK
// (1.2 writes both, the RGB one being derived), so its RGB goes unread.
void ReadHexColor(Context& ctx, const Attrs& a, Color& c) {
    double v[4];
    if (Hex(a.Get(kAttr_CMYK), 8, v)) {
        c.space = Color::Space::kCMYK;
        c.c = v[0], c.m = v[1], c.y = v[2], c.k = v[3];
    } else if (Hex(a.Get(kAttr_RGB), 6, v)) {
        c.space = Color::Space::kRGB;
        c.r = v[0], c.g = v[1], c.b = v[2];
    } else {
        ctx.Warn(Warning::Code::kBadNumber,
                 "colour \"" + c.name + "\" has no usable value; black is used");
        c.k = 1;
    }
}

} // namespace

void DocumentReader::ReadColor(const Attrs& a) {
    // Built in its place: a palette has hundreds of colours, which the
    // vector moves each time it grows. Growing eightfold moves a seventh as
    // many as doubling does: 144 of a 550-colour palette, in 128 KiB.
    std::vector<Color>& colors = doc_.colors;
    if (colors.size() == colors.capacity()) colors.reserve(colors.empty() ? 16 : 8 * colors.size());
    Color& c = colors.emplace_back();
    // Appended to the empty name: cheaper than an assignment, which minds
    // overlapping texts.
    if (const char* name = a.Get(kAttr_NAME)) c.name.append(name);
    if (ctx_.latin1) c.name = Latin1ToUtf8(c.name);
    c.spot = InlineFlag(a, kAttr_Spot, false);
    c.registration = InlineFlag(a, kAttr_Register, false);
    const char* space = a.Get(kAttr_SPACE);
    if (space && space[0] == 'C' && space[1] == 'M' && space[2] == 'Y' && space[3] == 'K' &&
        !space[4]) {
        // Nearly every colour: read here, without a call.
        static const AttrId kCmyk[] = {kAttr_C, kAttr_M, kAttr_Y, kAttr_K};
        double v[4];
        Numbers(ctx_, a, kCmyk, 4, v);
        c.c = Clamp01(v[0] / 100);
        c.m = Clamp01(v[1] / 100);
        c.y = Clamp01(v[2] / 100);
        c.k = Clamp01(v[3] / 100);
    } else if (space) {
        ReadColorSpace(a, space, c);
    } else {
        ReadHexColor(ctx_, a, c);
    }
    if (c.name.empty()) {
        ctx_.Warn(Warning::Code::kBadReference, "a colour without a name is skipped");
        doc_.colors.pop_back();
    }
}

// 1.5: a named space, the components in their natural ranges (CMYK is
// ReadColor's).
void DocumentReader::ReadColorSpace(const Attrs& a, const char* space, Color& c) {
    static const AttrId kCmyk[] = {kAttr_C, kAttr_M, kAttr_Y, kAttr_K};
    static const AttrId kRgb[] = {kAttr_R, kAttr_G, kAttr_B};
    static const AttrId kLab[] = {kAttr_L, kAttr_A, kAttr_B};
    double v[4];
    if (std::strcmp(space, "RGB") == 0) {
        c.space = Color::Space::kRGB;
        Numbers(ctx_, a, kRgb, 3, v);
        c.r = Clamp01(v[0] / 255);
        c.g = Clamp01(v[1] / 255);
        c.b = Clamp01(v[2] / 255);
        return;
    }
    if (std::strcmp(space, "Lab") == 0) {
        c.space = Color::Space::kLab;
        Numbers(ctx_, a, kLab, 3, v);
        c.labL = v[0], c.labA = v[1], c.labB = v[2];
        return;
    }
    ctx_.WarnOnce(Warning::Code::kUnsupported, std::string("space:") + space,
                  std::string("colour space \"") + space + "\" is read as CMYK");
    c.space = Color::Space::kCMYK;
    Numbers(ctx_, a, kCmyk, 4, v);
    c.c = Clamp01(v[0] / 100);
    c.m = Clamp01(v[1] / 100);
    c.y = Clamp01(v[2] / 100);
    c.k = Clamp01(v[3] / 100);
}

void DocumentReader::StartStyle(const Attrs& a) {
    style_ = ParagraphStyle();
    style_.name = String(a, kAttr_NAME);
    style_.basedOn = String(a, kAttr_PARENT);
    style_.isDefault = Flag(a, kAttr_DefaultStyle, false);
    styleFormat_.Start(ctx_, a, style_.attributes);
}

void DocumentReader::EndStyle() {
    styleFormat_.End(ctx_);
    if (ctx_.latin1) style_.name = Latin1ToUtf8(style_.name);
    if (doc_.paragraphStyles.empty()) { // most documents have a few dozen
        state_.styleByIndex.reserve(32);
        doc_.paragraphStyles.reserve(32);
    }
    state_.styleByIndex.push_back(style_.name);
    doc_.paragraphStyles.push_back(std::move(style_));
}

void DocumentReader::ReadCharacterStyle(const Attrs& a) {
    CharacterStyle s;
    s.name = String(a, kAttr_CNAME);
    s.basedOn = String(a, kAttr_CPARENT);
    s.isDefault = Flag(a, kAttr_DefaultStyle, false);
    ReadCharacterAttributes(ctx_, a, s.attributes);
    doc_.characterStyles.push_back(std::move(s));
}

void DocumentReader::ReadLayer(const Attrs& a) {
    Layer l;
    l.id = static_cast<int>(
        Integer(ctx_, a, kAttr_NUMMER, static_cast<long long>(doc_.layers.size())));
    l.level = static_cast<int>(Integer(ctx_, a, kAttr_LEVEL, l.id));
    l.name = String(a, kAttr_NAME);
    l.visible = Flag(a, kAttr_SICHTBAR, true);
    l.printable = Flag(a, kAttr_DRUCKEN, true);
    l.editable = Flag(a, kAttr_EDIT, true);
    l.flowAround = Flag(a, kAttr_FLOW, true);
    l.outline = Flag(a, kAttr_OUTL, false);
    l.opacity = Number(ctx_, a, kAttr_TRANS, 1);
    l.blendMode = static_cast<int>(Integer(ctx_, a, kAttr_BLEND, 0));
    doc_.layers.push_back(std::move(l));
}

void DocumentReader::StartPageSet(const Attrs& a) {
    PageSet& set = set_;
    set = PageSet();
    set.name = String(a, kAttr_Name);
    set.columns = static_cast<int>(Integer(ctx_, a, kAttr_Columns, 1));
    set.rows = static_cast<int>(Integer(ctx_, a, kAttr_Rows, 1));
    set.firstPage = static_cast<int>(Integer(ctx_, a, kAttr_FirstPage, 0));
    set.gapHorizontal = Number(ctx_, a, kAttr_GapHorizontal, 0);
    set.gapVertical = Number(ctx_, a, kAttr_GapVertical, 0);
    set.gapBelow = Number(ctx_, a, kAttr_GapBelow, 0);
    if (set.columns < 1 || set.columns > 100) {
        ctx_.Warn(Warning::Code::kBadNumber, "page set \"" + set.name + "\" has " +
                                                 std::to_string(set.columns) +
                                                 " columns; 1 is used");
        set.columns = 1;
    }
    if (set.firstPage < 0 || set.firstPage >= set.columns) set.firstPage = 0;
}

void DocumentReader::ReadSection(const Attrs& a) {
    Section sec;
    sec.name = String(a, kAttr_Name);
    sec.from = static_cast<int>(Integer(ctx_, a, kAttr_From, 0));
    sec.to = static_cast<int>(Integer(ctx_, a, kAttr_To, 0));
    sec.start = static_cast<int>(Integer(ctx_, a, kAttr_Start, 1));
    sec.type = String(a, kAttr_Type);
    sec.active = Flag(a, kAttr_Active, true);
    sec.reversed = Flag(a, kAttr_Reversed, false);
    doc_.sections.push_back(std::move(sec));
}

void DocumentReader::ReadToc(const Attrs& a) {
    TocSetup toc;
    toc.name = String(a, kAttr_Name);
    toc.itemAttributeName = String(a, kAttr_ItemAttributeName);
    toc.frameName = String(a, kAttr_FrameName);
    toc.paragraphStyle = String(a, kAttr_Style);
    toc.numberPlacement = String(a, kAttr_NumberPlacement);
    toc.listNonPrinting = Flag(a, kAttr_ListNonPrinting, false);
    doc_.tablesOfContents.push_back(std::move(toc));
}

Page DocumentReader::ReadPage(const Attrs& a) {
    const Publication& pub = doc_.publication;
    Page p;
    p.name = String(a, kAttr_NAM);
    p.masterName = String(a, kAttr_MNAM);
    if (ctx_.latin1) {
        p.name = Latin1ToUtf8(p.name);
        p.masterName = Latin1ToUtf8(p.masterName);
    }
    p.number = static_cast<int>(Integer(ctx_, a, kAttr_NUM, 0));
    p.x = Number(ctx_, a, kAttr_PAGEXPOS, 0);
    p.y = Number(ctx_, a, kAttr_PAGEYPOS, 0);
    p.width = Number(ctx_, a, kAttr_PAGEWIDTH, pub.pageWidth);
    p.height = Number(ctx_, a, kAttr_PAGEHEIGHT, pub.pageHeight);
    if (p.width <= 0 || p.height <= 0) {
        ctx_.Warn(Warning::Code::kBadNumber,
                  "a page has no size; the document's page size is used");
        p.width = pub.pageWidth;
        p.height = pub.pageHeight;
    }
    p.margins.top = Number(ctx_, a, kAttr_BORDERTOP, pub.margins.top);
    p.margins.left = Number(ctx_, a, kAttr_BORDERLEFT, pub.margins.left);
    p.margins.bottom = Number(ctx_, a, kAttr_BORDERBOTTOM, pub.margins.bottom);
    p.margins.right = Number(ctx_, a, kAttr_BORDERRIGHT, pub.margins.right);
    p.orientation = static_cast<int>(Integer(ctx_, a, kAttr_Orientation, pub.orientation));
    p.sizeName = String(a, kAttr_Size);
    p.position = static_cast<int>(Integer(ctx_, a, kAttr_LEFT, 0));
    NumberList(a.Get(kAttr_HorizontalGuides), p.horizontalGuides, 10000);
    NumberList(a.Get(kAttr_VerticalGuides), p.verticalGuides, 10000);
    return p;
}

// 1.2 keeps master pages among the pages, told apart by a name, and a
// page's items inside it.
DocumentReader::Kind DocumentReader::StartPage(const Attrs& a) {
    Page page = ReadPage(a);
    const bool master = legacyPages_ && !page.name.empty();
    std::vector<Page>& list = master ? doc_.masterPages : doc_.pages;
    list.push_back(std::move(page));
    if (!legacyPages_) return kIgnore;
    pageMaster_ = master;
    pageIndex_ = static_cast<int>(list.size()) - 1;
    pageOrdinal_ = master ? legacyMasterCount_++ : legacyPageCount_++;
    pageItem_ = 0;
    pageStopped_ = false;
    return kLegacyPage;
}

DocumentReader::Kind DocumentReader::LegacyPageItem(const Attrs& a) {
    if (pageStopped_) return kIgnore;
    Kind kind =
        StartItem(a, pageMaster_ ? ItemSource::kMasterItems : ItemSource::kDocumentItems, 0, -1);
    if (kind != kItem) {
        pageStopped_ = true;
        return kind;
    }
    const std::size_t item = static_cast<std::size_t>(items_.back().index);
    ItemSource& src = state_.sources[item];
    src.pageOrdinal = pageOrdinal_;
    src.indexInScope = pageItem_++;
    // Positions in 1.2 are already relative to the page.
    Item& it = doc_.items[item];
    it.page = pageIndex_;
    it.onMasterPage = pageMaster_;
    src.ownPage = -2; // placed
    return kind;
}

} // namespace detail
} // namespace scribus
