// From bytes to the document model: inflating, XML (with the repair path
// for damaged files), and the document's parts. Linking items into stories,
// groups and spreads happens in ScribusLinks.cpp.
#include "ScribusInternal.h"
#include "ScribusText.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>

namespace scribus {

using namespace detail;

namespace {

const unsigned kXmlOptions = pugi::parse_default;

bool Is(pugi::xml_node n, const char* name) {
    return std::strcmp(n.name(), name) == 0;
}

Generation GenerationOf(const char* root, const char* version) {
    if (std::strcmp(root, "SCRIBUS") == 0) return Generation::kLegacy;
    if (std::strcmp(root, "SCRIBUSUTF8") == 0) return Generation::k12;
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

class DocumentReader {
public:
    DocumentReader(Context& ctx, Document& doc) : ctx_(ctx), doc_(doc) {}

    void Read(pugi::xml_node root) {
        doc_.version = root.attribute("Version").value();
        doc_.generation = GenerationOf(root.name(), doc_.version.c_str());
        ctx_.latin1 = doc_.generation == Generation::kLegacy;
        ctx_.storyText15 = doc_.generation == Generation::k15;
        pugi::xml_node document = root.child("DOCUMENT");
        if (!document) {
            ctx_.Warn(Warning::Code::kTruncated,
                      "the document has no DOCUMENT element; it is empty");
            return;
        }
        ReadPublication(document);
        Reserve(document);
        bool legacyPages =
            doc_.generation == Generation::kLegacy || doc_.generation == Generation::k12;
        int legacyPageCount = 0, legacyMasterCount = 0;
        for (pugi::xml_node n = document.first_child(); n; n = n.next_sibling()) {
            if (n.type() != pugi::node_element) continue;
            // Items make up nearly all of a large document: they are told
            // apart first.
            const char* name = n.name();
            if (name[0] == 'P' && std::strcmp(name, "PAGEOBJECT") == 0)
                ReadItem(n, ItemSource::kDocumentItems, 0, -1);
            else if (Is(n, "COLOR"))
                ReadColor(n);
            else if (Is(n, "STYLE"))
                ReadParagraphStyle(n);
            else if (Is(n, "CHARSTYLE"))
                ReadCharacterStyle(n);
            else if (Is(n, "LAYERS"))
                ReadLayer(n);
            else if (Is(n, "PageSets"))
                ReadPageSets(n);
            else if (Is(n, "Sections"))
                ReadSections(n);
            else if (Is(n, "TablesOfContents"))
                ReadTocs(n);
            else if (Is(n, "MASTERPAGE"))
                doc_.masterPages.push_back(ReadPage(n));
            else if (Is(n, "PAGE")) {
                Page page = ReadPage(n);
                // 1.2 keeps master pages among the pages, told apart by a name.
                bool master = legacyPages && !page.name.empty();
                std::vector<Page>& list = master ? doc_.masterPages : doc_.pages;
                list.push_back(std::move(page));
                if (legacyPages) {
                    int ordinal = master ? legacyMasterCount++ : legacyPageCount++;
                    ReadLegacyPageItems(n, master, static_cast<int>(list.size()) - 1, ordinal);
                }
            } else if (Is(n, "MASTEROBJECT"))
                ReadItem(n, ItemSource::kMasterItems, 0, -1);
            else if (Is(n, "FRAMEOBJECT"))
                ReadItem(n, ItemSource::kAnchoredItems, 0, -1);
        }
        if (doc_.publication.pageSetIndex >= static_cast<int>(doc_.pageSets.size()) &&
            !doc_.pageSets.empty())
            ctx_.Warn(Warning::Code::kBadReference,
                      "the page layout refers to a page set that does not exist");
        Assemble(ctx_, doc_, sources_, groupIds_, styleByIndex_);
        if (ctx_.sawInvalidUtf8)
            ctx_.Warn(Warning::Code::kEncoding,
                      "some text is not valid UTF-8; those bytes were read as Latin-1");
    }

private:
    // Items are large: the vector is made big enough for all of them at
    // once, so that none is ever moved. Room is left for the groups that
    // documents before 1.5 only name on their members (made after reading,
    // one per group id) and for the members of 1.5 groups, which are not
    // counted here (walking every item's children costs more than it saves).
    // Room that stays unused is address space that is never touched.
    void Reserve(pugi::xml_node document) {
        std::size_t count = 0;
        for (pugi::xml_node n = document.first_child(); n; n = n.next_sibling()) {
            const char* name = n.name();
            if (name[0] == 'P' && std::strcmp(name, "PAGE") == 0) {
                for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
                    ++count;
            } else if (std::strcmp(name, "PAGEOBJECT") == 0 ||
                       std::strcmp(name, "MASTEROBJECT") == 0 ||
                       std::strcmp(name, "FRAMEOBJECT") == 0) {
                ++count;
            }
        }
        count = std::min(count, ctx_.options.maxItems);
        sources_.reserve(count);
        doc_.items.reserve(std::min(count + count / 2 + 16, ctx_.options.maxItems));
    }

    void ReadPublication(pugi::xml_node n) {
        attrs_.Load(n);
        Publication& p = doc_.publication;
        p.pageWidth = Number(
            ctx_, attrs_, attrs_.Has(kAttr_PAGEWIDTH) ? kAttr_PAGEWIDTH : kAttr_PAGEWITH, 595.28);
        p.pageHeight = Number(ctx_, attrs_, kAttr_PAGEHEIGHT, 841.89);
        p.margins.top = Number(ctx_, attrs_, kAttr_BORDERTOP, 0);
        p.margins.left = Number(ctx_, attrs_, kAttr_BORDERLEFT, 0);
        p.margins.bottom = Number(ctx_, attrs_, kAttr_BORDERBOTTOM, 0);
        p.margins.right = Number(ctx_, attrs_, kAttr_BORDERRIGHT, 0);
        p.bleed.top = Number(ctx_, attrs_, kAttr_BleedTop, 0);
        p.bleed.left = Number(ctx_, attrs_, kAttr_BleedLeft, 0);
        p.bleed.bottom = Number(ctx_, attrs_, kAttr_BleedBottom, 0);
        p.bleed.right = Number(ctx_, attrs_, kAttr_BleedRight, 0);
        p.orientation = static_cast<int>(Integer(ctx_, attrs_, kAttr_ORIENTATION, 0));
        p.pageSizeName = String(attrs_, kAttr_PAGESIZE);
        p.firstPageNumber = static_cast<int>(Integer(ctx_, attrs_, kAttr_FIRSTNUM, 1));
        p.pageSetIndex = static_cast<int>(Integer(ctx_, attrs_, kAttr_BOOK, 0));
        if (p.pageSetIndex < 0) p.pageSetIndex = 0;
        p.facingPages = p.pageSetIndex > 0;
        // 1.2 knows only single pages and facing pages, first page left or right.
        ctx_.legacyFirstLeft = Flag(attrs_, kAttr_FIRSTLEFT, false);
        long long unit = Integer(ctx_, attrs_, kAttr_UNITS, 0);
        p.displayUnit = (unit >= 0 && unit <= 5) ? static_cast<Unit>(unit) : Unit::kPoint;
        p.language = String(attrs_, kAttr_LANGUAGE);
        p.defaultFont = String(attrs_, kAttr_DFONT);
        p.defaultFontSize = Number(ctx_, attrs_, kAttr_DSIZE, 12);
        Metadata& m = p.metadata;
        m.title = String(attrs_, kAttr_TITLE);
        m.author = String(attrs_, kAttr_AUTHOR);
        m.subject = String(attrs_, kAttr_SUBJECT);
        m.keywords = String(attrs_, kAttr_KEYWORDS);
        m.comments = String(attrs_, kAttr_COMMENTS);
        m.publisher = String(attrs_, kAttr_PUBLISHER);
        m.date = String(attrs_, kAttr_DOCDATE);
        m.type = String(attrs_, kAttr_DOCTYPE);
        m.format = String(attrs_, kAttr_DOCFORMAT);
        m.identifier = String(attrs_, kAttr_DOCIDENT);
        m.source = String(attrs_, kAttr_DOCSOURCE);
        m.languageInfo = String(attrs_, kAttr_DOCLANGINFO);
        m.relation = String(attrs_, kAttr_DOCRELATION);
        m.coverage = String(attrs_, kAttr_DOCCOVER);
        m.rights = String(attrs_, kAttr_DOCRIGHTS);
        m.contributor = String(attrs_, kAttr_DOCCONTRIB);
        if (ctx_.latin1) {
            // 8-bit documents: re-read the texts as Latin-1 so they are UTF-8 here.
            for (std::string* s :
                 {&m.title, &m.author, &m.subject, &m.keywords, &m.comments, &m.publisher})
                *s = Latin1ToUtf8(*s);
        }
    }

    static std::string Latin1ToUtf8(const std::string& s) {
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

    static bool Hex(const char* s, std::size_t digits, double* out) {
        if (!s || s[0] != '#' || std::strlen(s) < 1 + digits) return false;
        for (std::size_t i = 0; i < digits / 2; ++i) {
            int v = 0;
            for (int k = 0; k < 2; ++k) {
                char c = s[1 + i * 2 + k];
                int d = (c >= '0' && c <= '9')   ? c - '0'
                        : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                        : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                 : -1;
                if (d < 0) return false;
                v = v * 16 + d;
            }
            out[i] = v / 255.0;
        }
        return true;
    }

    void ReadColor(pugi::xml_node n) {
        attrs_.Load(n);
        Color c;
        c.name = String(attrs_, kAttr_NAME);
        if (ctx_.latin1) c.name = Latin1ToUtf8(c.name);
        c.spot = Flag(attrs_, kAttr_Spot, false);
        c.registration = Flag(attrs_, kAttr_Register, false);
        const char* space = attrs_.Get(kAttr_SPACE);
        auto clamp01 = [](double v) { return v < 0 ? 0 : v > 1 ? 1 : v; };
        if (space) { // 1.5: named space, components in their natural ranges
            if (std::strcmp(space, "RGB") == 0) {
                c.space = Color::Space::kRGB;
                c.r = clamp01(Number(ctx_, attrs_, kAttr_R, 0) / 255);
                c.g = clamp01(Number(ctx_, attrs_, kAttr_G, 0) / 255);
                c.b = clamp01(Number(ctx_, attrs_, kAttr_B, 0) / 255);
                c.hasRGB = true;
            } else if (std::strcmp(space, "Lab") == 0) {
                c.space = Color::Space::kLab;
                c.labL = Number(ctx_, attrs_, kAttr_L, 0);
                c.labA = Number(ctx_, attrs_, kAttr_A, 0);
                c.labB = Number(ctx_, attrs_, kAttr_B, 0);
            } else {
                if (std::strcmp(space, "CMYK") != 0)
                    ctx_.WarnOnce(Warning::Code::kUnsupported, std::string("space:") + space,
                                  std::string("colour space \"") + space + "\" is read as CMYK");
                c.space = Color::Space::kCMYK;
                c.c = clamp01(Number(ctx_, attrs_, kAttr_C, 0) / 100);
                c.m = clamp01(Number(ctx_, attrs_, kAttr_M, 0) / 100);
                c.y = clamp01(Number(ctx_, attrs_, kAttr_Y, 0) / 100);
                c.k = clamp01(Number(ctx_, attrs_, kAttr_K, 0) / 100);
            }
        } else {
            // Before 1.5: hex strings; a colour with a CMYK value is defined in
            // CMYK (1.2 writes both, the RGB one being derived).
            double cmyk[4], rgb[3];
            bool hasCmyk = Hex(attrs_.Get(kAttr_CMYK), 8, cmyk);
            bool hasRgb = Hex(attrs_.Get(kAttr_RGB), 6, rgb);
            if (hasRgb) {
                c.r = rgb[0];
                c.g = rgb[1];
                c.b = rgb[2];
                c.hasRGB = true;
            }
            if (hasCmyk) {
                c.space = Color::Space::kCMYK;
                c.c = cmyk[0];
                c.m = cmyk[1];
                c.y = cmyk[2];
                c.k = cmyk[3];
            } else if (hasRgb) {
                c.space = Color::Space::kRGB;
            } else {
                ctx_.Warn(Warning::Code::kBadNumber,
                          "colour \"" + c.name + "\" has no usable value; black is used");
                c.k = 1;
            }
        }
        if (c.name.empty()) {
            ctx_.Warn(Warning::Code::kBadReference, "a colour without a name is skipped");
            return;
        }
        doc_.colors.push_back(std::move(c));
    }

    void ReadParagraphStyle(pugi::xml_node n) {
        attrs_.Load(n);
        ParagraphStyle s;
        s.name = String(attrs_, kAttr_NAME);
        s.basedOn = String(attrs_, kAttr_PARENT);
        s.isDefault = Flag(attrs_, kAttr_DefaultStyle, false);
        ReadParagraphAttributes(ctx_, attrs_, n, s.attributes);
        if (ctx_.latin1) s.name = Latin1ToUtf8(s.name);
        styleByIndex_.push_back(s.name);
        doc_.paragraphStyles.push_back(std::move(s));
    }

    void ReadCharacterStyle(pugi::xml_node n) {
        attrs_.Load(n);
        CharacterStyle s;
        s.name = String(attrs_, kAttr_CNAME);
        s.basedOn = String(attrs_, kAttr_CPARENT);
        s.isDefault = Flag(attrs_, kAttr_DefaultStyle, false);
        ReadCharacterAttributes(ctx_, attrs_, s.attributes);
        doc_.characterStyles.push_back(std::move(s));
    }

    void ReadLayer(pugi::xml_node n) {
        attrs_.Load(n);
        Layer l;
        l.id = static_cast<int>(
            Integer(ctx_, attrs_, kAttr_NUMMER, static_cast<long long>(doc_.layers.size())));
        l.level = static_cast<int>(Integer(ctx_, attrs_, kAttr_LEVEL, l.id));
        l.name = String(attrs_, kAttr_NAME);
        l.visible = Flag(attrs_, kAttr_SICHTBAR, true);
        l.printable = Flag(attrs_, kAttr_DRUCKEN, true);
        l.editable = Flag(attrs_, kAttr_EDIT, true);
        l.flowAround = Flag(attrs_, kAttr_FLOW, true);
        l.outline = Flag(attrs_, kAttr_OUTL, false);
        l.opacity = Number(ctx_, attrs_, kAttr_TRANS, 1);
        l.blendMode = static_cast<int>(Integer(ctx_, attrs_, kAttr_BLEND, 0));
        doc_.layers.push_back(std::move(l));
    }

    void ReadPageSets(pugi::xml_node n) {
        for (pugi::xml_node s = n.child("Set"); s; s = s.next_sibling("Set")) {
            attrs_.Load(s);
            PageSet set;
            set.name = String(attrs_, kAttr_Name);
            set.columns = static_cast<int>(Integer(ctx_, attrs_, kAttr_Columns, 1));
            set.rows = static_cast<int>(Integer(ctx_, attrs_, kAttr_Rows, 1));
            set.firstPage = static_cast<int>(Integer(ctx_, attrs_, kAttr_FirstPage, 0));
            set.gapHorizontal = Number(ctx_, attrs_, kAttr_GapHorizontal, 0);
            set.gapVertical = Number(ctx_, attrs_, kAttr_GapVertical, 0);
            set.gapBelow = Number(ctx_, attrs_, kAttr_GapBelow, 0);
            if (set.columns < 1 || set.columns > 100) {
                ctx_.Warn(Warning::Code::kBadNumber, "page set \"" + set.name + "\" has " +
                                                         std::to_string(set.columns) +
                                                         " columns; 1 is used");
                set.columns = 1;
            }
            if (set.firstPage < 0 || set.firstPage >= set.columns) set.firstPage = 0;
            for (pugi::xml_node pn = s.child("PageNames"); pn; pn = pn.next_sibling("PageNames"))
                set.pageNames.push_back(pn.attribute("Name").value());
            doc_.pageSets.push_back(std::move(set));
        }
    }

    void ReadSections(pugi::xml_node n) {
        for (pugi::xml_node s = n.child("Section"); s; s = s.next_sibling("Section")) {
            attrs_.Load(s);
            Section sec;
            sec.name = String(attrs_, kAttr_Name);
            sec.from = static_cast<int>(Integer(ctx_, attrs_, kAttr_From, 0));
            sec.to = static_cast<int>(Integer(ctx_, attrs_, kAttr_To, 0));
            sec.start = static_cast<int>(Integer(ctx_, attrs_, kAttr_Start, 1));
            sec.type = String(attrs_, kAttr_Type);
            sec.active = Flag(attrs_, kAttr_Active, true);
            sec.reversed = Flag(attrs_, kAttr_Reversed, false);
            doc_.sections.push_back(std::move(sec));
        }
    }

    void ReadTocs(pugi::xml_node n) {
        for (pugi::xml_node t = n.child("TableOfContents"); t;
             t = t.next_sibling("TableOfContents")) {
            attrs_.Load(t);
            TocSetup toc;
            toc.name = String(attrs_, kAttr_Name);
            toc.itemAttributeName = String(attrs_, kAttr_ItemAttributeName);
            toc.frameName = String(attrs_, kAttr_FrameName);
            toc.paragraphStyle = String(attrs_, kAttr_Style);
            toc.numberPlacement = String(attrs_, kAttr_NumberPlacement);
            toc.listNonPrinting = Flag(attrs_, kAttr_ListNonPrinting, false);
            doc_.tablesOfContents.push_back(std::move(toc));
        }
    }

    Page ReadPage(pugi::xml_node n) {
        attrs_.Load(n);
        const Publication& pub = doc_.publication;
        Page p;
        p.name = String(attrs_, kAttr_NAM);
        p.masterName = String(attrs_, kAttr_MNAM);
        if (ctx_.latin1) {
            p.name = Latin1ToUtf8(p.name);
            p.masterName = Latin1ToUtf8(p.masterName);
        }
        p.number = static_cast<int>(Integer(ctx_, attrs_, kAttr_NUM, 0));
        p.x = Number(ctx_, attrs_, kAttr_PAGEXPOS, 0);
        p.y = Number(ctx_, attrs_, kAttr_PAGEYPOS, 0);
        p.width = Number(ctx_, attrs_, kAttr_PAGEWIDTH, pub.pageWidth);
        p.height = Number(ctx_, attrs_, kAttr_PAGEHEIGHT, pub.pageHeight);
        if (p.width <= 0 || p.height <= 0) {
            ctx_.Warn(Warning::Code::kBadNumber,
                      "a page has no size; the document's page size is used");
            p.width = pub.pageWidth;
            p.height = pub.pageHeight;
        }
        p.margins.top = Number(ctx_, attrs_, kAttr_BORDERTOP, pub.margins.top);
        p.margins.left = Number(ctx_, attrs_, kAttr_BORDERLEFT, pub.margins.left);
        p.margins.bottom = Number(ctx_, attrs_, kAttr_BORDERBOTTOM, pub.margins.bottom);
        p.margins.right = Number(ctx_, attrs_, kAttr_BORDERRIGHT, pub.margins.right);
        p.orientation = static_cast<int>(Integer(ctx_, attrs_, kAttr_Orientation, pub.orientation));
        p.sizeName = String(attrs_, kAttr_Size);
        p.position = static_cast<int>(Integer(ctx_, attrs_, kAttr_LEFT, 0));
        NumberList(attrs_.Get(kAttr_HorizontalGuides), p.horizontalGuides, 10000);
        NumberList(attrs_.Get(kAttr_VerticalGuides), p.verticalGuides, 10000);
        return p;
    }

    void ReadLegacyPageItems(pugi::xml_node page, bool master, int pageIndex, int ordinal) {
        int index = 0;
        for (pugi::xml_node n = page.child("PAGEOBJECT"); n; n = n.next_sibling("PAGEOBJECT")) {
            int item =
                ReadItem(n, master ? ItemSource::kMasterItems : ItemSource::kDocumentItems, 0, -1);
            if (item < 0) break;
            ItemSource& src = sources_[static_cast<std::size_t>(item)];
            src.pageOrdinal = ordinal;
            src.indexInScope = index++;
            // Positions in 1.2 are already relative to the page.
            Item& it = doc_.items[static_cast<std::size_t>(item)];
            it.page = pageIndex;
            it.onMasterPage = master;
            src.ownPage = -2; // placed
        }
    }

    static Item::Kind KindOf(long long type) {
        switch (type) {
        case 2:
            return Item::Kind::kImageFrame;
        case 4:
            return Item::Kind::kTextFrame;
        case 5:
            return Item::Kind::kLine;
        case 6:
        case 13:
            return Item::Kind::kPolygon;
        case 7:
        case 15:
            return Item::Kind::kPolyLine;
        case 8:
            return Item::Kind::kPathText;
        case 12:
            return Item::Kind::kGroup;
        case 16:
            return Item::Kind::kTable;
        case 1:
        case 3:
        case 14:
            return Item::Kind::kShape;
        default:
            return Item::Kind::kOther;
        }
    }

    // Reads one item (and, for 1.5 groups and tables, what it contains).
    // Returns its index in Document::items, or -1 when the item limit is hit.
    int ReadItem(pugi::xml_node n, ItemSource::Scope scope, int depth, int parent) {
        if (doc_.items.size() >= ctx_.options.maxItems) {
            ctx_.WarnOnce(Warning::Code::kLimit, "items",
                          "the document has more than " + std::to_string(ctx_.options.maxItems) +
                              " items; the rest are skipped");
            return -1;
        }
        attrs_.Load(n);
        const Attrs& a = attrs_;
        // Items are large: build each in place rather than moving it in.
        int index = static_cast<int>(doc_.items.size());
        doc_.items.emplace_back();
        sources_.emplace_back();
        Item& it = doc_.items.back();
        ItemSource& src = sources_.back();
        src.node = n;
        src.scope = scope;
        src.indexInScope = scopeCount_[scope]++;
        it.rawType = static_cast<int>(Integer(ctx_, a, kAttr_PTYPE, 6));
        it.kind = KindOf(it.rawType);
        it.name = String(a, kAttr_ANNAME);
        it.layer = static_cast<int>(Integer(ctx_, a, kAttr_LAYER, 0));
        it.parent = parent;
        src.canvasX = Number(ctx_, a, kAttr_XPOS, 0);
        src.canvasY = Number(ctx_, a, kAttr_YPOS, 0);
        it.x = src.canvasX;
        it.y = src.canvasY;
        it.width = Number(ctx_, a, kAttr_WIDTH, 0);
        it.height = Number(ctx_, a, kAttr_HEIGHT, 0);
        it.rotation = Number(ctx_, a, kAttr_ROT, 0);
        it.flipH = Flag(a, kAttr_FLIPPEDH, false);
        it.flipV = Flag(a, kAttr_FLIPPEDV, false);
        it.locked = Flag(a, kAttr_LOCK, false);
        it.printable = Flag(a, kAttr_PRINTABLE, true);
        it.fillColor = a.Has(kAttr_PCOLOR) ? String(a, kAttr_PCOLOR) : std::string("None");
        it.fillShade = Number(ctx_, a, kAttr_SHADE, 100);
        it.lineColor = a.Has(kAttr_PCOLOR2) ? String(a, kAttr_PCOLOR2) : std::string("None");
        it.lineShade = Number(ctx_, a, kAttr_SHADE2, 100);
        it.fillOpacity = 1 - Number(ctx_, a, kAttr_TransValue, 0);
        it.lineOpacity = 1 - Number(ctx_, a, kAttr_TransValueS, 0);
        it.lineWidth = Number(ctx_, a, kAttr_PWIDTH, 0);
        it.lineStyle = static_cast<int>(Integer(ctx_, a, kAttr_PLINEART, 1));
        it.lineCap = static_cast<int>(Integer(ctx_, a, kAttr_PLINEEND, 0));
        it.lineJoin = static_cast<int>(Integer(ctx_, a, kAttr_PLINEJOIN, 0));
        it.cornerRadius = Number(ctx_, a, kAttr_RADRECT, 0);
        if (a.Has(kAttr_FRTYPE)) {
            long long frame = Integer(ctx_, a, kAttr_FRTYPE, -1);
            if (frame >= 0 && frame <= 3) it.frameType = static_cast<int>(frame);
        }

        const char* coords = a.Get(kAttr_POCOOR);
        if (coords && *coords)
            CoordinatesToPath(ctx_, coords, it.outline);
        else if (const char* path = a.Get(kAttr_path))
            SvgToPath(ctx_, path, it.outline);
        const char* contour = a.Get(kAttr_COCOOR);
        if (contour && *contour && (!coords || std::strcmp(contour, coords) != 0))
            CoordinatesToPath(ctx_, contour, it.contour);
        else if (const char* copath = a.Get(kAttr_copath)) {
            const char* path = a.Get(kAttr_path);
            if (*copath && (!path || std::strcmp(copath, path) != 0))
                SvgToPath(ctx_, copath, it.contour);
        }

        it.columns = static_cast<int>(Integer(ctx_, a, kAttr_COLUMNS, 1));
        if (it.columns < 1 || it.columns > 1000) it.columns = 1;
        it.columnGap = Number(ctx_, a, kAttr_COLGAP, 0);
        it.textInsets.left = Number(ctx_, a, kAttr_EXTRA, 0);
        it.textInsets.top = Number(ctx_, a, kAttr_TEXTRA, 0);
        it.textInsets.bottom = Number(ctx_, a, kAttr_BEXTRA, 0);
        it.textInsets.right = Number(ctx_, a, kAttr_REXTRA, 0);
        if (a.Has(kAttr_TEXTFLOWMODE))
            it.textFlow = static_cast<int>(Integer(ctx_, a, kAttr_TEXTFLOWMODE, 0));
        else if (Flag(a, kAttr_TEXTFLOW3, false))
            it.textFlow = 3;
        else if (Flag(a, kAttr_TEXTFLOW2, false))
            it.textFlow = 2;
        else if (Flag(a, kAttr_TEXTFLOW, false))
            it.textFlow = 1;
        ReadFrameDefaults(a, it.defaultStyle);

        it.imageFile = String(a, kAttr_PFILE);
        it.imageOffsetX = Number(ctx_, a, kAttr_LOCALX, 0);
        it.imageOffsetY = Number(ctx_, a, kAttr_LOCALY, 0);
        it.imageScaleX = Number(ctx_, a, kAttr_LOCALSCX, 1);
        it.imageScaleY = Number(ctx_, a, kAttr_LOCALSCY, 1);
        it.imageRotation = Number(ctx_, a, kAttr_LOCALROT, 0);
        if (Flag(a, kAttr_isInlineImage, false)) {
            it.imageEmbedded = true;
            it.embeddedImageType = String(a, kAttr_inlineImageExt);
            const char* data = a.Get(kAttr_ImageData);
            std::size_t len = data ? std::strlen(data) : 0;
            if (len > ctx_.options.maxEmbeddedImageBytes)
                ctx_.Warn(Warning::Code::kLimit, "embedded image of " + std::to_string(len) +
                                                     " bytes in item \"" + it.name +
                                                     "\" exceeds the limit; skipped");
            else if (data)
                it.embeddedImageData.assign(data, len);
        }

        it.pathTextType = static_cast<int>(Integer(ctx_, a, kAttr_textPathType, 0));
        it.pathTextFlipped = Flag(a, kAttr_textPathFlipped, false);
        it.pathTextOffset = Number(ctx_, a, kAttr_BASEOF, 0);
        it.isTableCellFrame = Flag(a, kAttr_isTableItem, false);
        it.isGroupControl = Flag(a, kAttr_isGroupControl, false);

        if (Flag(a, kAttr_ANNOTATION, false)) {
            Annotation an;
            an.type = static_cast<int>(Integer(ctx_, a, kAttr_ANTYPE, 0));
            an.actionType = static_cast<int>(Integer(ctx_, a, kAttr_ANACTYP, 0));
            an.name = it.name;
            an.tooltip = String(a, kAttr_ANTOOLTIP);
            an.external = String(a, kAttr_ANEXTERN);
            an.action = String(a, kAttr_ANACTION);
            an.targetPage = static_cast<int>(Integer(ctx_, a, kAttr_ANZIEL, -1));
            it.annotation = std::move(an);
        }

        src.next = Identifier(ctx_, a, kAttr_NEXTITEM, -1);
        src.back = Identifier(ctx_, a, kAttr_BACKITEM, -1);
        src.nextPage = Integer(ctx_, a, kAttr_NEXTPAGE, -1);
        src.backPage = Integer(ctx_, a, kAttr_BACKPAGE, -1);
        src.id = Identifier(ctx_, a, kAttr_ItemID, -1);
        src.anchorId = Identifier(ctx_, a, kAttr_InID, -1);
        src.ownPage = Integer(ctx_, a, kAttr_OwnPage, -1);
        src.masterName = String(a, kAttr_OnMasterPage);
        if (const char* groups = a.Get(kAttr_GROUPS)) {
            numbers_.clear();
            NumberList(groups, numbers_, 1000);
            src.groupsBegin = static_cast<std::uint32_t>(groupIds_.size());
            for (double g : numbers_)
                if (g >= 0 && g < 1e9 && g == static_cast<double>(static_cast<long long>(g)))
                    groupIds_.push_back(static_cast<long long>(g));
            src.groupsCount = static_cast<std::uint32_t>(groupIds_.size() - src.groupsBegin);
        }

        std::vector<double> rowHeights, columnWidths, cellAreas;
        long long rows = -1, columns = -1;
        if (it.kind == Item::Kind::kTable) {
            // Scribus writes the table's size on the item, not on TableData.
            rows = Integer(ctx_, a, kAttr_Rows, -1);
            columns = Integer(ctx_, a, kAttr_Columns, -1);
            NumberList(a.Get(kAttr_RowHeights), rowHeights, 100000);
            NumberList(a.Get(kAttr_ColumnWidths), columnWidths, 100000);
            NumberList(a.Get(kAttr_CellAreas), cellAreas, 400000);
        }
        // The attributes above are all read; children may reuse attrs_.
        for (pugi::xml_node c = n.child("PageItemAttributes").child("ItemAttribute"); c;
             c = c.next_sibling("ItemAttribute")) {
            attrs_.Load(c);
            it.attributes.push_back(
                ItemAttribute{String(attrs_, kAttr_Name), String(attrs_, kAttr_Type),
                              String(attrs_, kAttr_Value), String(attrs_, kAttr_Parameter)});
        }

        if (doc_.items[static_cast<std::size_t>(index)].kind == Item::Kind::kGroup) {
            if (depth >= ctx_.options.maxNesting) {
                ctx_.Warn(Warning::Code::kLimit, "groups are nested deeper than " +
                                                     std::to_string(ctx_.options.maxNesting) +
                                                     " levels; the inner ones are skipped");
            } else {
                for (pugi::xml_node c = n.child("PAGEOBJECT"); c;
                     c = c.next_sibling("PAGEOBJECT")) {
                    int child = ReadItem(c, ItemSource::kGroupMembers, depth + 1, index);
                    if (child < 0) break;
                    doc_.items[static_cast<std::size_t>(index)].children.push_back(child);
                }
            }
        }
        if (doc_.items[static_cast<std::size_t>(index)].kind == Item::Kind::kTable)
            ReadTable(n, index, rowHeights, columnWidths, cellAreas,
                      rows >= 0 ? rows : static_cast<long long>(rowHeights.size()),
                      columns >= 0 ? columns : static_cast<long long>(columnWidths.size()));
        return index;
    }

    void ReadFrameDefaults(const Attrs& a, ParagraphAttributes& d) {
        if (a.Has(kAttr_ALIGN)) {
            long long v = Integer(ctx_, a, kAttr_ALIGN, 0);
            if (v >= 0 && v <= 4) d.alignment = static_cast<int>(v);
        }
        OptionalNumber(ctx_, a, kAttr_LINESP, d.lineSpacing);
        if (a.Has(kAttr_LINESPMode))
            d.lineSpacingMode = static_cast<int>(Integer(ctx_, a, kAttr_LINESPMode, 0));
        CharacterAttributes& c = d.character;
        if (const char* v = a.Get(kAttr_IFONT)) c.font = std::string(v);
        OptionalNumber(ctx_, a, kAttr_ISIZE, c.size);
        if (const char* v = a.Get(kAttr_TXTFILL)) c.fillColor = std::string(v);
        if (const char* v = a.Get(kAttr_TXTSTROKE)) c.strokeColor = std::string(v);
        OptionalNumber(ctx_, a, kAttr_TXTFILLSH, c.fillShade);
        OptionalNumber(ctx_, a, kAttr_TXTSTRSH, c.strokeShade);
        OptionalNumber(ctx_, a, kAttr_TXTSCALE, c.scaleH);
        OptionalNumber(ctx_, a, kAttr_TXTSCALEV, c.scaleV);
        if (a.Has(kAttr_TXTSTYLE))
            c.effects = static_cast<unsigned>(Integer(ctx_, a, kAttr_TXTSTYLE, 0)) & 0x37Fu;
    }

    void ReadTable(pugi::xml_node n, int index, const std::vector<double>& rowHeights,
                   const std::vector<double>& columnWidths, const std::vector<double>& cellAreas,
                   long long rows, long long columns) {
        pugi::xml_node data = n.child("TableData");
        Table t;
        attrs_.Load(data);
        rows = Integer(ctx_, attrs_, kAttr_Rows, rows);
        columns = Integer(ctx_, attrs_, kAttr_Columns, columns);
        t.rows = rows > 1000000 ? -1 : static_cast<int>(rows);
        t.columns = columns > 1000000 ? -1 : static_cast<int>(columns);
        if (t.rows < 0 || t.columns < 0 || static_cast<double>(t.rows) * t.columns > 1e6) {
            ctx_.Warn(Warning::Code::kLimit, "a table claims " + std::to_string(t.rows) + " x " +
                                                 std::to_string(t.columns) +
                                                 " cells; its cells are skipped");
            t.rows = t.columns = 0;
        }
        t.style = String(attrs_, kAttr_Style);
        t.fillColor = String(attrs_, kAttr_FillColor);
        t.rowHeights = rowHeights;
        t.columnWidths = columnWidths;
        // Spans come from the table's list of merged areas: row, column,
        // height and width of each.
        std::unordered_map<long long, std::pair<int, int>> spans;
        for (std::size_t k = 0; k + 3 < cellAreas.size(); k += 4)
            spans[static_cast<long long>(cellAreas[k]) * 1000003 +
                  static_cast<long long>(cellAreas[k + 1])] =
                std::make_pair(std::max(1, static_cast<int>(cellAreas[k + 2])),
                               std::max(1, static_cast<int>(cellAreas[k + 3])));
        const std::size_t maxCells =
            static_cast<std::size_t>(t.rows) * static_cast<std::size_t>(t.columns);
        for (pugi::xml_node c = data.child("Cell"); c && t.rows > 0; c = c.next_sibling("Cell")) {
            if (t.cells.size() >= maxCells) {
                ctx_.Warn(Warning::Code::kLimit,
                          "a table has more cells than rows times columns; the rest are skipped");
                break;
            }
            attrs_.Load(c);
            Cell cell;
            cell.row = static_cast<int>(Integer(ctx_, attrs_, kAttr_Row, -1));
            cell.column = static_cast<int>(Integer(ctx_, attrs_, kAttr_Column, -1));
            if (cell.row < 0 || cell.row >= t.rows || cell.column < 0 || cell.column >= t.columns) {
                ctx_.Warn(Warning::Code::kBadReference,
                          "a table cell lies outside its table; skipped");
                continue;
            }
            cell.style = String(attrs_, kAttr_Style);
            cell.fillColor = String(attrs_, kAttr_FillColor);
            cell.fillShade = Number(ctx_, attrs_, kAttr_FillShade, 100);
            cell.padding.left = Number(ctx_, attrs_, kAttr_LeftPadding, 0);
            cell.padding.right = Number(ctx_, attrs_, kAttr_RightPadding, 0);
            cell.padding.top = Number(ctx_, attrs_, kAttr_TopPadding, 0);
            cell.padding.bottom = Number(ctx_, attrs_, kAttr_BottomPadding, 0);
            auto span = spans.find(static_cast<long long>(cell.row) * 1000003 + cell.column);
            if (span != spans.end()) {
                cell.rowSpan = span->second.first;
                cell.columnSpan = span->second.second;
            }
            Story story;
            story.table = index;
            story.cellRow = cell.row;
            story.cellColumn = cell.column;
            StoryBuilder builder(ctx_, story, styleByIndex_);
            builder.AddFrame(c, nullptr, nullptr);
            builder.Finish();
            cell.story = static_cast<int>(doc_.stories.size());
            doc_.stories.push_back(std::move(story));
            t.cells.push_back(std::move(cell));
        }
        doc_.items[static_cast<std::size_t>(index)].table = std::move(t);
    }

    Context& ctx_;
    Document& doc_;
    Attrs attrs_;
    std::vector<ItemSource> sources_;
    std::vector<long long> groupIds_; // ItemSource::groupsBegin points here
    std::vector<double> numbers_;     // scratch
    std::vector<std::string> styleByIndex_;
    int scopeCount_[4] = {0, 0, 0, 0};
};

bool Load(pugi::xml_document& xml, const char* data, std::size_t size, pugi::xml_parse_result& r) {
    r = xml.load_buffer(data, size, kXmlOptions, pugi::encoding_utf8);
    return static_cast<bool>(r);
}

// Parses a buffer the caller owns and keeps alive, without copying it.
bool LoadInPlace(pugi::xml_document& xml, char* data, std::size_t size, pugi::xml_parse_result& r) {
    r = xml.load_buffer_inplace(data, size, kXmlOptions, pugi::encoding_utf8);
    return static_cast<bool>(r);
}

bool LoadInPlace(pugi::xml_document& xml, std::string& data, pugi::xml_parse_result& r) {
    return LoadInPlace(xml, &data[0], data.size(), r);
}

// owned: the caller's bytes (data itself) when the parse may overwrite them;
// reread then restores them.
void ParseInto(const unsigned char* data, std::size_t size, char* owned, const Reread* reread,
               const ParseOptions& options, ParseResult& result) {
    Context ctx(options, result);
    if (!data || size == 0 || Detect(data, size) != 1) {
        result.status = ParseResult::Status::kNotScribus;
        return;
    }
    bool repaired = false;
    const std::size_t originalSize = size;
    std::string inflated;
    const char* bytes = reinterpret_cast<const char*>(data);
    if (size >= 2 && data[0] == 0x1f && data[1] == 0x8b) {
        std::string error;
        if (!Gunzip(data, size, options.maxInputBytes, inflated, error)) {
            ctx.Warn(Warning::Code::kDecompression,
                     error + "; the " + std::to_string(inflated.size()) + " bytes before are read");
            repaired = true;
        }
        bytes = inflated.data();
        size = inflated.size();
        owned = nullptr;
    } else if (size > options.maxInputBytes) {
        ctx.Warn(Warning::Code::kLimit, "the document is larger than " +
                                            std::to_string(options.maxInputBytes) +
                                            " bytes; only that much is read");
        size = options.maxInputBytes;
        repaired = true;
    }

    std::string fixed; // the repaired text, parsed in place: outlives xml
    pugi::xml_document xml;
    pugi::xml_parse_result r;
    // Inflated bytes are ours and owned ones the caller's to give: parse them
    // where they are. Repair then needs them again, so a failed in-place
    // parse is followed by inflating or reading them anew.
    bool inflatedInput = bytes == inflated.data() && !inflated.empty();
    bool loaded = inflatedInput ? LoadInPlace(xml, inflated, r)
                  : owned       ? LoadInPlace(xml, owned, size, r)
                                : Load(xml, bytes, size, r);
    bool restored = true;
    if (!loaded && inflatedInput) {
        std::string error;
        Gunzip(data, originalSize, options.maxInputBytes, inflated, error);
        bytes = inflated.data();
        size = inflated.size();
    } else if (!loaded && owned) {
        restored = reread && *reread && (*reread)(owned, size);
    }
    if (!loaded && !restored) {
        // The tree keeps what came before the damage.
        repaired = true;
        ctx.Warn(Warning::Code::kMalformedXml,
                 std::string("the XML is not well formed (") + r.description() + " at byte " +
                     std::to_string(r.offset) + "); what came before the damage is read");
    } else if (!loaded) {
        repaired = true;
        // A document without its root's end tag was cut short rather than damaged.
        std::size_t end = size;
        while (end > 0 &&
               (bytes[end - 1] == ' ' || bytes[end - 1] == '\n' || bytes[end - 1] == '\r' ||
                bytes[end - 1] == '\t' || bytes[end - 1] == '\0'))
            --end;
        std::size_t tail = end > 64 ? end - 64 : 0;
        bool cut = std::string(bytes + tail, end - tail).find("</SCRIBUS") == std::string::npos;
        if (cut)
            ctx.Warn(Warning::Code::kTruncated, "the document ends early, at byte " +
                                                    std::to_string(size) +
                                                    "; what it holds is read and the rest closed");
        // Damage before the last bytes is damage, cut or not.
        if (!cut || (r.offset >= 0 && static_cast<std::size_t>(r.offset) < tail))
            ctx.Warn(Warning::Code::kMalformedXml,
                     std::string("the XML is not well formed (") + r.description() + " at byte " +
                         std::to_string(r.offset) + "); it is repaired");
        RepairXml(bytes, size, fixed);
        inflated.clear();
        inflated.shrink_to_fit();
        if (!LoadInPlace(xml, fixed, r))
            ctx.Warn(Warning::Code::kTruncated, std::string("the repaired XML still fails (") +
                                                    r.description() +
                                                    "); what came before that is read");
    }
    pugi::xml_node root = xml.document_element();
    for (pugi::xml_node n = xml.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_element) {
            root = n;
            break;
        }
    if (!root || (std::strcmp(root.name(), "SCRIBUSUTF8NEW") != 0 &&
                  std::strcmp(root.name(), "SCRIBUSUTF8") != 0 &&
                  std::strcmp(root.name(), "SCRIBUS") != 0)) {
        result.status = ParseResult::Status::kNotScribus;
        return;
    }
    DocumentReader reader(ctx, result.document);
    reader.Read(root);
    result.status = repaired ? ParseResult::Status::kRecovered : ParseResult::Status::kOk;
    // Without its DOCUMENT element (cut off before it) nothing was read.
    if (!root.child("DOCUMENT")) result.status = ParseResult::Status::kNotScribus;
}

ParseResult ParseWith(const unsigned char* data, std::size_t size, char* owned,
                      const Reread* reread, const ParseOptions& options) {
    ParseResult result;
    try {
        ParseInto(data, size, owned, reread, options, result);
    } catch (const std::bad_alloc&) {
        // The model is plain standard containers; running out of memory ends
        // the parse with what is known so far discarded.
        result.document = Document();
        result.status = ParseResult::Status::kFailed;
        result.warnings.push_back(
            Warning{Warning::Code::kLimit, "out of memory while reading the document"});
    } catch (const std::exception& e) {
        result.document = Document();
        result.status = ParseResult::Status::kFailed;
        result.warnings.push_back(
            Warning{Warning::Code::kLimit, std::string("reading failed: ") + e.what()});
    }
    return result;
}

} // namespace

ParseResult Parse(const unsigned char* data, std::size_t size, const ParseOptions& options) {
    return ParseWith(data, size, nullptr, nullptr, options);
}

ParseResult ParseBuffer(char* data, std::size_t size, const Reread& reread,
                        const ParseOptions& options) {
    return ParseWith(reinterpret_cast<const unsigned char*>(data), size, data, &reread, options);
}

} // namespace scribus
