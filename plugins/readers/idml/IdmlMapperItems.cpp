// The model to Elements: master and regular spreads, their pages and page
// items, frame chains, sections and hyperlinks (see IdmlMapperInternal.h).
#include "IdmlMapperInternal.h"
#include "IdmlParser.h"

#include <ReaderItems.h>

#include <ombra/messages.h>
#include <ombra/valueutil.h>
#include <ombra/values.h>

#include <algorithm>
#include <cmath>

namespace idml {
namespace mapping {

namespace {

bool Straight(const std::vector<SubPath>& outline) {
    if (outline.size() != 1) return false;
    for (const obreader::PathPoint& p : outline.front().points)
        if (std::fabs(p.left.x - p.anchor.x) > 1e-6 || std::fabs(p.left.y - p.anchor.y) > 1e-6 ||
            std::fabs(p.right.x - p.anchor.x) > 1e-6 || std::fabs(p.right.y - p.anchor.y) > 1e-6)
            return false;
    return true;
}

} // namespace

bool Mapper::LeftPage(int page) const {
    const Page& p = doc_.pages[static_cast<std::size_t>(page)];
    obreader::Point a = p.transform.Apply({p.bounds[1], p.bounds[0]});
    obreader::Point b = p.transform.Apply({p.bounds[3], p.bounds[2]});
    return (a.x + b.x) / 2 < 0; // the binding spine runs along x = 0
}

Element* Mapper::PageElement(Element* spread, int page, bool master) {
    const Page& p = doc_.pages[static_cast<std::size_t>(page)];
    Element* e = b_.Child(spread, master ? EL::kMasterPage : EL::kRegularPage);
    if (!e) return nullptr;
    pages_[static_cast<std::size_t>(page)] = e;
    double width = p.bounds[3] - p.bounds[1], height = p.bounds[2] - p.bounds[0];
    if (master) {
        b_.Utf8(e, AN::kName, p.name);
        b_.Length(e, AN::kPageWidth, width);
        b_.Length(e, AN::kPageHeight, height);
    }
    b_.Length(e, AN::kTopMargin, p.margins.top);
    b_.Length(e, AN::kBottomMargin, p.margins.bottom);
    b_.Length(e, AN::kLeftMargin, p.margins.left);
    b_.Length(e, AN::kRightMargin, p.margins.right);
    b_.Int(e, AN::kNumberOfColumns, p.columns);
    b_.Length(e, AN::kSpaceBetweenColumns, p.gutter);
    b_.Enum(e, AN::kOrientation, &ValueUtil::CreateValueTOPOrientationEnum,
            width > height ? TOPO::kLandscape : TOPO::kPortrait);
    b_.Enum(e, AN::kPageSide, &ValueUtil::CreateValuePageSideEnum,
            !doc_.publication.facingPages ? PSE::kRight
            : LeftPage(page)              ? PSE::kLeft
                                          : PSE::kRight);
    return e;
}

void Mapper::MasterSpreads() {
    pages_.assign(doc_.pages.size(), nullptr);
    anchoredOn_.assign(doc_.pages.size() + 1, std::vector<int>());
    for (std::size_t i = 0; i < doc_.items.size(); ++i)
        if (placed_[i].place == Placed::kAnchored && placed_[i].included)
            anchoredOn_[static_cast<std::size_t>(placed_[i].page) + 1].push_back(
                static_cast<int>(i));
    Element* list = nullptr;
    for (std::size_t s = 0; s < doc_.spreads.size(); ++s) {
        const Spread& spread = doc_.spreads[s];
        if (!spread.master) continue;
        if (!list) list = b_.Top(EL::kMasterSpreadList);
        Element* e = b_.Child(list, EL::kMasterSpread);
        b_.Utf8(e, AN::kName, spread.name);
        std::vector<Element*>& made = masterPages_[spread.self];
        for (int p : spread.pages) {
            Element* page = PageElement(e, p, true);
            made.push_back(page);
            if (page && options_.masterItems) Items(page, p, false, static_cast<int>(s));
        }
    }
    // Masters based on other masters, once all are made.
    for (std::size_t p = 0; p < doc_.pages.size(); ++p) {
        const Page& page = doc_.pages[p];
        if (!page.onMaster || page.master.empty() || !pages_[p]) continue;
        auto found = masterPages_.find(page.master);
        if (found != masterPages_.end() && !found->second.empty() && found->second.front())
            b_.IdOf(pages_[p], AN::kBasedOn, found->second.front());
        else
            b_.BadReference("master page \"" + page.self + "\" is based on the master \"" +
                            page.master + "\", which does not exist");
    }
}

void Mapper::RegularSpreads() {
    int count = 0, done = 0;
    for (const Spread& s : doc_.spreads)
        count += s.master ? 0 : 1;
    if (count == 0) return;
    Element* list = b_.Top(EL::kRegularSpreadList);
    for (std::size_t s = 0; s < doc_.spreads.size(); ++s) {
        const Spread& spread = doc_.spreads[s];
        if (spread.master) continue;
        Element* e = b_.Child(list, EL::kRegularSpread);
        b_.Bool(e, AN::kIsFirstRegularSpread, done == 0);
        b_.Bool(e, AN::kIsLastRegularSpread, done + 1 == count);
        for (int p : spread.pages) {
            Element* page = PageElement(e, p, false);
            if (!page) continue;
            // A page uses the master page on its side of a master spread.
            const Page& source = doc_.pages[static_cast<std::size_t>(p)];
            auto master = masterPages_.find(source.master);
            if (master != masterPages_.end() && !master->second.empty()) {
                const std::vector<Element*>& pages = master->second;
                Element* m = pages.size() > 1 && !LeftPage(p) ? pages.back() : pages.front();
                b_.IdOf(page, AN::kBasedOn, m);
            } else if (!source.master.empty() && options_.masterItems) {
                b_.BadReference("page \"" + source.self + "\" is based on the master \"" +
                                source.master + "\", which does not exist");
            }
            Items(page, p, false, static_cast<int>(s));
        }
        Items(e, -1, true, done == 0 ? -2 - static_cast<int>(s) : static_cast<int>(s));
        ++done;
    }
}

// The drawing list of a page (or the pasteboard list of a spread; spread
// -2 - s for the first spread, which also takes the anchored items that
// have no page).
void Mapper::Items(Element* parent, int page, bool pasteboard, int spread) {
    bool first = spread <= -2;
    if (first) spread = -2 - spread;
    Element* list = pasteboard ? nullptr : b_.Child(parent, EL::kDrawingObjectList);
    if (pasteboard) {
        for (int i : doc_.spreads[static_cast<std::size_t>(spread)].items) {
            const Placed& p = placed_[static_cast<std::size_t>(i)];
            if (!p.included || p.place != Placed::kPasteboard) continue;
            if (!list) list = b_.Child(parent, EL::kPasteboardDrawingObjectList);
            ItemOf(list, i, -1, 0);
        }
    } else {
        for (const std::pair<int, int>& on : onPage_[static_cast<std::size_t>(page)])
            if (on.first == spread && placed_[static_cast<std::size_t>(on.second)].included)
                ItemOf(list, on.second, page, 0);
    }
    if (pasteboard && !first) return;
    for (int i : anchoredOn_[static_cast<std::size_t>(page) + 1]) {
        if (!list) list = b_.Child(parent, EL::kPasteboardDrawingObjectList);
        ItemOf(list, i, page, 0);
    }
}

EL::ElementTypeEnum Mapper::KindOf(const Item& it) const {
    using K = Item::Kind;
    if (it.kind == K::kTextFrame) return EL::kText;
    if (it.picture) return EL::kPicture;
    if (!it.textPaths.empty()) return EL::kBezierTextPath;
    if (it.kind == K::kGroup || (it.kind == K::kOther && !it.children.empty())) return EL::kGroup;
    if (it.kind == K::kRectangle) return EL::kRectangle;
    if (it.kind == K::kOval) return EL::kEllipse;
    bool straight = Straight(it.outline);
    if (it.kind == K::kLine && straight && it.outline.front().points.size() == 2) return EL::kLine;
    return straight ? EL::kIrregularPolygon : EL::kBezier;
}

void Mapper::Paint(Element* e, const Item& it) {
    unsigned id = 0;
    if (!it.fill.empty() && Swatch(it.fill, id)) b_.Id(e, AN::kFillId, id);
    if (!it.stroke.empty() && Swatch(it.stroke, id)) b_.Id(e, AN::kStrokeId, id);
    for (const std::string* swatch : {&it.fill, &it.stroke})
        if (!swatch->empty() && !Swatch(*swatch, id))
            b_.BadReference("item \"" + it.self + "\" is painted with the swatch \"" + *swatch +
                            "\", which does not exist");
}

void Mapper::Common(Element* e, const Item& it, int page) {
    auto layer = layers_.find(it.layer);
    if (layer != layers_.end()) b_.Id(e, AN::kLayer, layer->second);
    b_.Bool(e, AN::kVisible, it.visible);
    b_.Bool(e, AN::kNonPrinting, it.nonPrinting);
    if (it.locked) b_.Bool(e, AN::kLockPosition, true);
    if (page >= 0 && !doc_.pages[static_cast<std::size_t>(page)].onMaster)
        b_.IdOf(e, AN::kRegularPageIdRef, pages_[static_cast<std::size_t>(page)]);
}

void Mapper::ItemOf(Element* list, int item, int page, int depth) {
    if (!list) return;
    if (depth > kMaxItemDepth) {
        b_.Report(OBERR::kLimitExceeded);
        return;
    }
    Placed& p = placed_[static_cast<std::size_t>(item)];
    if (!p.included || p.element) return; // listed once
    const Item& it = doc_.items[static_cast<std::size_t>(item)];
    Element* e = b_.Child(list, KindOf(it));
    if (!e) return;
    p.element = e;
    std::vector<SubPath> outline = it.outline;
    obreader::Placement place = obreader::PlaceOutline(p.toPage, outline);
    double box[4];
    if (outline.empty() && Bounds(item, p.toPage, box, 0)) // groups: their members' extent
        place.left = box[0], place.top = box[1], place.right = box[2], place.bottom = box[3];
    obreader::WritePlacement(b_, e, place);
    Common(e, it, page);
    switch (e->GetElementType()) {
    case EL::kText:
        TextFrameOf(e, it);
        if (!it.textPaths.empty()) TextPathOf(list, it, outline);
        break;
    case EL::kPicture:
        PictureOf(e, it);
        break;
    case EL::kGroup:
        for (int c : it.children)
            ItemOf(e, c, page, depth + 1);
        break;
    case EL::kLine: {
        Paint(e, it);
        obreader::Point a = p.toPage.Apply(it.outline.front().points[0].anchor);
        obreader::Point b = p.toPage.Apply(it.outline.front().points[1].anchor);
        b_.Point(e, AN::kptStart, a.x, a.y);
        b_.Point(e, AN::kptEnd, b.x, b.y);
        b_.Rect(e, AN::kBoundingBox, std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x),
                std::max(a.y, b.y));
        if (OBAttributeStore* st = b_.Store(e)) { // the ends carry the direction
            st->Remove(AN::kRotation);
            st->Remove(AN::kTransformationMatrix);
        }
        break;
    }
    case EL::kRectangle:
        Paint(e, it);
        if (it.cornerRadius > 0) b_.Length(e, AN::kCornerRadius, it.cornerRadius);
        break;
    case EL::kEllipse:
        Paint(e, it);
        break;
    case EL::kBezierTextPath:
        TextPathOf(nullptr, it, outline);
        break;
    default:
        Paint(e, it);
        PathsOf(e, it, outline);
        break;
    }
    if (it.wrap.option != WOE::kNone) WrapOf(e, it, page);
}

// The side towards or away from the spine is left or right by the side of
// the item's page, as its PageSide says (a right page, the spine at its
// left, when the item is on no page or the document has no facing pages).
void Mapper::WrapOf(Element* e, const Item& it, int page) {
    obreader::TextWrapSpec wrap = it.wrap;
    if (it.wrapSpine != 0) {
        const bool spineAtRight = page >= 0 && doc_.publication.facingPages && LeftPage(page);
        wrap.flow = spineAtRight == (it.wrapSpine > 0) ? TFE::kRightSide : TFE::kLeftSide;
    }
    obreader::AddTextWrap(b_, e, wrap);
}

void Mapper::TextFrameOf(Element* e, const Item& it) {
    auto found = storyIndex_.find(it.story);
    const Story* story = nullptr;
    if (found != storyIndex_.end()) {
        story = &doc_.stories[static_cast<std::size_t>(found->second)];
        b_.IdOf(e, AN::kStory, stories_[static_cast<std::size_t>(found->second)]);
    }
    b_.Int(e, AN::kNumberOfColumns, it.columns);
    b_.Length(e, AN::kSpaceBetweenColumns, it.gutter);
    b_.Rect(e, AN::kInsetBox, it.insets.left, it.insets.top, it.insets.right, it.insets.bottom);
    b_.Bool(e, AN::kIsThreadedTextFrame, !it.previous.empty() || !it.next.empty());
    if (!story) return;
    b_.Enum(e, AN::kTextDirection, &ValueUtil::CreateValueTextDirectionEnum,
            story->vertical ? TDE::kVertical : TDE::kHorizontal);
    if (!story->frameGrid) return;
    // A frame grid: cells of the grid's type size, lines (columns in
    // vertical text) one type size and the line aki apart.
    const Grid& g = it.hasGrid ? it.grid : story->grid;
    double across = g.pointSize * (story->vertical ? g.scaleX : g.scaleY) / 100.0;
    double pitch = across + g.lineAki;
    Element* grid = b_.Child(e, EL::kLayoutGridSettings);
    b_.Bool(grid, AN::kIsGridOn, true);
    if (pitch > 0) b_.Length(grid, AN::kGridlineEvery, pitch);
    b_.Length(e, AN::kRowHeight, pitch);
}

void Mapper::PictureOf(Element* e, const Item& it) {
    PTE::PictureTypeEnum type = obreader::PictureTypeOf(it.format);
    if (type == PTE::kUnknown) type = obreader::PictureTypeOf(it.link);
    b_.Enum(e, AN::kPictureType, &ValueUtil::CreateValuePictureTypeEnum, type);
    const Matrix& m = it.imageTransform;
    b_.Length(e, AN::kOffsetAcross, m.tx);
    b_.Length(e, AN::kOffsetDown, m.ty);
    b_.Percent(e, AN::kHorizontalScale, std::hypot(m.a, m.b));
    b_.Percent(e, AN::kVerticalScale, std::hypot(m.c, m.d));
    if (!it.link.empty() || it.embedded) obreader::AddLinkInformation(b_, e, it.link, it.embedded);
}

void Mapper::PathsOf(Element* e, const Item& it, const std::vector<SubPath>& outline) {
    bool closed = !outline.empty() && outline.front().closed;
    if (e->GetElementType() == EL::kIrregularPolygon) {
        b_.Bool(e, AN::kIsClosedPolygon, closed);
        Value* v = nullptr;
        ValueUtil::Create(VT::ekVertexList, v);
        if (auto* list = dynamic_cast<ValueVertexList*>(v))
            for (const obreader::PathPoint& p : outline.front().points)
                if (!list->Add(OBPoint(p.anchor.x, p.anchor.y), UNITS::LINEAR::kPoints))
                    b_.OutOfMemory();
        b_.Put(e, AN::kVertexList, v);
        return;
    }
    b_.Bool(e, AN::kIsClosed, closed);
    b_.Put(e, AN::kPathPointList, obreader::PathPointList(b_, outline, false));
    Value* v = nullptr;
    ValueUtil::CreateValueBool16List(v);
    if (auto* flags = dynamic_cast<ValueBool16List*>(v))
        for (const SubPath& s : outline)
            if (!flags->Add(static_cast<short>(s.closed ? 1 : 0))) b_.OutOfMemory();
    b_.Put(e, AN::kIsClosedList, v);
    (void)it;
}

// Text on the item's path: the item itself when it is a shape (list null),
// else a path of its own beside the frame.
void Mapper::TextPathOf(Element* list, const Item& it, const std::vector<SubPath>& outline) {
    Element* holder =
        list ? nullptr : placed_[static_cast<std::size_t>(itemIndex_[it.self])].element;
    for (const TextPathInfo& path : it.textPaths) {
        Element* e = holder;
        if (!e) {
            e = b_.Child(list, EL::kBezierTextPath);
            if (Element* frame = placed_[static_cast<std::size_t>(itemIndex_[it.self])].element)
                if (OBAttributeStore* st = OBGetAttributeStore(frame))
                    if (Value* box = st->Find(AN::kBoundingBox)) {
                        Value* copy = nullptr;
                        ValueUtil::Create(VT::ekRect, copy);
                        if (copy) *copy = *box;
                        b_.Put(e, AN::kBoundingBox, copy);
                    }
        }
        if (!e) continue;
        b_.Put(e, AN::kPathPointList, obreader::PathPointList(b_, outline, true));
        Element* t = b_.Child(e, EL::kTextPath);
        auto found = storyIndex_.find(path.story);
        if (found != storyIndex_.end())
            b_.IdOf(t, AN::kStory, stories_[static_cast<std::size_t>(found->second)]);
        else
            b_.BadReference("text path \"" + path.self + "\" shows the story \"" + path.story +
                            "\", which does not exist");
        b_.Bool(t, AN::kTextOnPathOtherSide, path.flipped);
        holder = nullptr;
        if (!list) break; // a shape shows one path
    }
}

void Mapper::ChainLinks() {
    for (std::size_t i = 0; i < doc_.items.size(); ++i) {
        Element* e = placed_[i].element;
        const Item& it = doc_.items[i];
        if (!e || it.kind != Item::Kind::kTextFrame) continue;
        for (int k = 0; k < 2; ++k) {
            auto found = itemIndex_.find(k == 0 ? it.previous : it.next);
            if (found != itemIndex_.end())
                b_.IdOf(e, k == 0 ? AN::kPreviousTextObject : AN::kNextTextObject,
                        placed_[static_cast<std::size_t>(found->second)].element);
        }
    }
}

// ------------------------------------------------------------ sections

void Mapper::Sections() {
    if (doc_.sections.empty()) return;
    struct {
        const char* name;
        PNSE::PageNumberingStyleEnum style;
    } const kStyles[] = {{"Arabic", PNSE::kArabic},
                         {"UpperRoman", PNSE::kUpperRoman},
                         {"LowerRoman", PNSE::kLowerRoman},
                         {"UpperLetters", PNSE::kUpperAlpha},
                         {"LowerLetters", PNSE::kLowerAlpha},
                         {"SingleLeadingZeros", PNSE::kArabicLeadingZeros},
                         {"FullWidthArabic", PNSE::kFullWidthArabic},
                         {"Kanji", PNSE::kKanji}};
    Element* list = b_.Top(EL::kSectionList);
    for (const idml::Section& s : doc_.sections) {
        Element* e = b_.Child(list, EL::kSection);
        if (!e) continue;
        b_.Utf8(e, AN::kName, s.name);
        auto page = pageIndex_.find(s.pageStart);
        if (page != pageIndex_.end())
            b_.IdOf(e, AN::kFirstPage, pages_[static_cast<std::size_t>(page->second)]);
        else
            b_.BadReference("section \"" + s.name + "\" starts at the page \"" + s.pageStart +
                            "\", which does not exist");
        for (const auto& style : kStyles)
            if (s.style == style.name)
                b_.Enum(e, AN::kPageNumberingStyle, &ValueUtil::CreateValuePNSEnum, style.style);
        if (!s.prefix.empty()) b_.Utf8(e, AN::kPrefix, s.prefix);
        b_.Bool(e, AN::kDisplayPrefix, s.includePrefix);
        b_.Int(e, AN::kPageFormatBeginsOn, s.start);
    }
}

} // namespace mapping
} // namespace idml
