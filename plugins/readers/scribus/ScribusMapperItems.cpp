// The parsed model to Elements: master and regular spreads, their page
// items, frame chains, hyperlinks and tables of contents (see
// ScribusMapperInternal.h).
#include "ScribusMapperInternal.h"

#include <ReaderGeometry.h>
#include <ReaderItems.h>

#include <ombra/messages.h>
#include <ombra/valueutil.h>
#include <ombra/values.h>

#include <algorithm>
#include <cmath>

namespace scribus_mapper {

namespace {

bool Same(const scribus::Point& a, const scribus::Point& b) {
    return std::fabs(a.x - b.x) < 1e-6 && std::fabs(a.y - b.y) < 1e-6;
}

} // namespace

void Mapper::MasterSpreads() {
    if (doc_.masterPages.empty()) return;
    Element* list = b_.Top(EL::kMasterSpreadList);
    const int columns = ColumnsPerSpread();
    for (std::size_t m = 0; m < doc_.masterPages.size(); ++m) {
        const Page& page = doc_.masterPages[m];
        Element* spread = b_.Child(list, EL::kMasterSpread);
        b_.Utf8(spread, AN::kName, page.name);
        Element* e = b_.Child(spread, EL::kMasterPage);
        if (!e) continue;
        masterPages_.emplace(page.name, e->GetId());
        b_.Utf8(e, AN::kName, page.name);
        b_.Length(e, AN::kPageWidth, page.width);
        b_.Length(e, AN::kPageHeight, page.height);
        Margins(e, page);
        b_.Enum(e, AN::kOrientation, &ValueUtil::CreateValueTOPOrientationEnum,
                page.orientation == 1 ? TOPO::kLandscape : TOPO::kPortrait);
        if (columns > 1)
            b_.Enum(e, AN::kPageSide, &ValueUtil::CreateValuePageSideEnum,
                    page.position == 0             ? PSE::kLeft
                    : page.position == columns - 1 ? PSE::kRight
                                                   : PSE::kUnknown);
        Items(e, kMaster, static_cast<int>(m), page);
    }
}

void Mapper::Margins(Element* e, const Page& page) {
    b_.Length(e, AN::kTopMargin, page.margins.top);
    b_.Length(e, AN::kBottomMargin, page.margins.bottom);
    b_.Length(e, AN::kLeftMargin, page.margins.left);
    b_.Length(e, AN::kRightMargin, page.margins.right);
}

void Mapper::RegularSpreads() {
    pageElements_.assign(doc_.pages.size(), nullptr);
    if (doc_.pages.empty()) return;
    Element* list = b_.Top(EL::kRegularSpreadList);
    const int columns = ColumnsPerSpread();
    std::vector<char> placed(doc_.pages.size(), 0);
    Element* firstSpread = nullptr;
    for (std::size_t s = 0; s < doc_.spreads.size(); ++s) {
        Element* spread = b_.Child(list, EL::kRegularSpread);
        if (!spread) continue;
        if (!firstSpread) firstSpread = spread;
        b_.Bool(spread, AN::kIsFirstRegularSpread, s == 0);
        b_.Bool(spread, AN::kIsLastRegularSpread, s + 1 == doc_.spreads.size());
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
        Element* spread = b_.Child(list, EL::kRegularSpread);
        if (!firstSpread) firstSpread = spread;
        RegularPage(spread, p, columns);
    }
    // Items on no page lie on the first spread's pasteboard.
    Element* pasteboard = nullptr;
    for (std::size_t i = 0; i < doc_.items.size(); ++i) {
        if (place_[i] != kPasteboard || !included_[i]) continue;
        if (!pasteboard) pasteboard = b_.Child(firstSpread, EL::kPasteboardDrawingObjectList);
        ItemOf(pasteboard, static_cast<int>(i), -1, 0);
    }
    AnchoredItems(nullptr, kPasteboard, -1, pasteboard, firstSpread);
}

void Mapper::RegularPage(Element* spread, std::size_t p, int columns) {
    const Page& page = doc_.pages[p];
    Element* e = b_.Child(spread, EL::kRegularPage);
    if (!e) return;
    pageElements_[p] = e;
    auto master = masterPages_.find(page.masterName);
    if (master != masterPages_.end())
        b_.Id(e, AN::kBasedOn, master->second);
    else if (!page.masterName.empty() && !doc_.masterPages.empty() && options_.masterItems)
        b_.BadReference("page " + std::to_string(p + 1) + " is based on master page \"" +
                        page.masterName + "\", which does not exist");
    Margins(e, page);
    b_.Enum(e, AN::kOrientation, &ValueUtil::CreateValueTOPOrientationEnum,
            page.orientation == 1 ? TOPO::kLandscape : TOPO::kPortrait);
    b_.Enum(e, AN::kPageSide, &ValueUtil::CreateValuePageSideEnum,
            columns == 1                   ? PSE::kRight
            : page.position == 0           ? PSE::kLeft
            : page.position == columns - 1 ? PSE::kRight
                                           : PSE::kUnknown);
    Items(e, kRegular, static_cast<int>(p), page);
}

// Items are large (over half a KB) and the fields mapped for every item span their
// first six cache lines: those of the next item are asked for while this
// one is mapped, so that they arrive in the meantime.
void Mapper::Prefetch(int i) const {
    if (i < 0 || static_cast<std::size_t>(i) >= doc_.items.size()) return;
    const char* p = reinterpret_cast<const char*>(&doc_.items[static_cast<std::size_t>(i)]);
    for (int line = 0; line < 6; ++line)
        __builtin_prefetch(p + 64 * line);
}

void Mapper::Items(Element* page, Place where, int index, const Page& source) {
    Element* list = b_.Child(page, EL::kDrawingObjectList);
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

// Items anchored in text go with the page that shows their story's first
// frame (the pasteboard when there is none).
void Mapper::AnchoredItems(Element* list, Place where, int index, Element* pasteboard,
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
            if (!pasteboard) pasteboard = b_.Child(spread, EL::kPasteboardDrawingObjectList);
            ItemOf(pasteboard, static_cast<int>(i), -1, 0);
        } else {
            ItemOf(list, static_cast<int>(i), where == kRegular ? index : -1, 0);
        }
    }
}

EL::ElementTypeEnum Mapper::KindOf(const Item& it) {
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

bool Mapper::Curved(const Item& it) {
    if (it.outline.size() > 1) return true;
    for (const SubPath& s : it.outline) {
        if (s.straight) continue; // outlines of lines: most items
        for (const PathPoint& p : s.points)
            if (!Same(p.left, p.anchor) || !Same(p.right, p.anchor)) return true;
    }
    return false;
}

void Mapper::Common(Element* e, const Item& it, int page) {
    obreader::Placement place;
    place.left = it.x, place.top = it.y, place.right = it.x + it.width;
    place.bottom = it.y + it.height;
    place.hasRotation = it.rotation != 0; // most items: the angle is then not written
    if (place.hasRotation) place.rotation = obreader::CounterClockwise(it.rotation);
    obreader::WritePlacement(b_, e, place);
    auto layer = layers_.find(it.layer);
    if (layer != layers_.end()) b_.Id(e, AN::kLayer, layer->second);
    b_.Bool(e, AN::kVisible, true);
    b_.Bool(e, AN::kNonPrinting, !it.printable);
    if (it.flipH) b_.Bool(e, AN::kHorizontalFlipping, true);
    if (it.flipV) b_.Bool(e, AN::kVerticalFlipping, true);
    if (it.locked) b_.Bool(e, AN::kLockPosition, true);
    if (page >= 0 && static_cast<std::size_t>(page) < pageElements_.size() &&
        pageElements_[static_cast<std::size_t>(page)])
        b_.IdOf(e, AN::kRegularPageIdRef, pageElements_[static_cast<std::size_t>(page)]);
}

void Mapper::Paint(Element* e, const Item& it) {
    unsigned id = 0;
    if (ColorId(it.fillColor, id)) b_.Id(e, AN::kFillId, id);
    if (ColorId(it.lineColor, id)) b_.Id(e, AN::kStrokeId, id);
}

void Mapper::ItemOf(Element* list, int index, int page, int depth) {
    if (!list || index < 0 || static_cast<std::size_t>(index) >= doc_.items.size()) return;
    if (depth > kMaxDepth) {
        b_.Report(OBERR::kLimitExceeded);
        return;
    }
    const std::size_t i = static_cast<std::size_t>(index);
    if (elements_[i]) return; // listed once
    const Item& it = doc_.items[i];
    Element* e = b_.Child(list, KindOf(it));
    if (!e) return;
    elements_[i] = e;
    Common(e, it, page);
    switch (e->GetElementType()) {
    case EL::kText:
        TextFrameOf(e, it, i);
        break;
    case EL::kPicture:
        PictureOf(e, it);
        break;
    case EL::kLine:
        LineOf(e, it);
        break;
    case EL::kRectangle:
        Paint(e, it);
        if (it.cornerRadius > 0 || it.frameType == 2)
            b_.Length(e, AN::kCornerRadius, it.cornerRadius);
        break;
    case EL::kEllipse:
        Paint(e, it);
        break;
    case EL::kIrregularPolygon:
        PolygonOf(e, it);
        break;
    case EL::kBezier:
        BezierOf(e, it);
        break;
    case EL::kBezierTextPath: {
        b_.Put(e, AN::kPathPointList, obreader::PathPointList(b_, it.outline, true));
        Element* path = b_.Child(e, EL::kTextPath);
        if (!path) break;
        if (it.story >= 0 && static_cast<std::size_t>(it.story) < storyElements_.size())
            b_.IdOf(path, AN::kStory, storyElements_[static_cast<std::size_t>(it.story)]);
        b_.Length(path, AN::kTextOnPathOffset, it.pathTextOffset);
        b_.Bool(path, AN::kTextOnPathOtherSide, it.pathTextFlipped);
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
    items_[i].outline.clear();
}

void Mapper::TextFrameOf(Element* e, const Item& it, std::size_t i) {
    Element* story = nullptr;
    if (it.kind == Item::Kind::kTable)
        story = tableStories_[i];
    else if (it.story >= 0 && static_cast<std::size_t>(it.story) < storyElements_.size())
        story = storyElements_[static_cast<std::size_t>(it.story)];
    b_.IdOf(e, AN::kStory, story);
    b_.Int(e, AN::kNumberOfColumns, it.columns);
    b_.Length(e, AN::kSpaceBetweenColumns, it.columnGap);
    b_.Rect(e, AN::kInsetBox, it.textInsets.left, it.textInsets.top, it.textInsets.right,
            it.textInsets.bottom);
    b_.Bool(e, AN::kIsThreadedTextFrame, it.prevInChain >= 0 || it.nextInChain >= 0);
}

void Mapper::PictureOf(Element* e, const Item& it) {
    b_.Length(e, AN::kOffsetAcross, it.imageOffsetX);
    b_.Length(e, AN::kOffsetDown, it.imageOffsetY);
    b_.Percent(e, AN::kHorizontalScale, it.imageScaleX);
    b_.Percent(e, AN::kVerticalScale, it.imageScaleY);
    std::string ext = it.imageEmbedded ? it.embeddedImageType : it.imageFile;
    b_.Enum(e, AN::kPictureType, &ValueUtil::CreateValuePictureTypeEnum,
            obreader::PictureTypeOf(ext));
    if (!it.imageFile.empty() || it.imageEmbedded)
        obreader::AddLinkInformation(b_, e, it.imageFile, it.imageEmbedded);
}

void Mapper::LineOf(Element* e, const Item& it) {
    Paint(e, it);
    double r = it.rotation * 3.14159265358979323846 / 180.0;
    double x1 = it.x + it.width * std::cos(r), y1 = it.y + it.width * std::sin(r);
    b_.Point(e, AN::kptStart, it.x, it.y);
    b_.Point(e, AN::kptEnd, x1, y1);
    b_.Rect(e, AN::kBoundingBox, std::min(it.x, x1), std::min(it.y, y1), std::max(it.x, x1),
            std::max(it.y, y1));
    if (it.rotation != 0) b_.Store(e)->Remove(AN::kRotation); // the ends carry the direction
}

void Mapper::PolygonOf(Element* e, const Item& it) {
    Paint(e, it);
    bool closed =
        !it.outline.empty() && it.outline.front().closed && it.kind != Item::Kind::kPolyLine;
    b_.Bool(e, AN::kIsClosedPolygon, closed);
    Value* v = nullptr;
    ValueUtil::Create(VT::ekVertexList, v);
    if (auto* list = dynamic_cast<ValueVertexList*>(v)) {
        if (!it.outline.empty()) {
            const std::vector<PathPoint>& points = it.outline.front().points;
            (void)list->Reserve(static_cast<long long>(points.size())); // else it grows by steps
            for (const PathPoint& p : points)
                if (!list->Add(OBPoint(p.anchor.x, p.anchor.y), UNITS::LINEAR::kPoints))
                    b_.OutOfMemory();
        }
    }
    b_.Put(e, AN::kVertexList, v);
}

void Mapper::BezierOf(Element* e, const Item& it) {
    Paint(e, it);
    bool closed =
        !it.outline.empty() && it.outline.front().closed && it.kind != Item::Kind::kPolyLine;
    b_.Bool(e, AN::kIsClosed, closed);
    b_.Put(e, AN::kPathPointList, obreader::PathPointList(b_, it.outline, false));
    Value* v = nullptr;
    ValueUtil::CreateValueBool16List(v);
    if (auto* flags = dynamic_cast<ValueBool16List*>(v))
        for (const SubPath& s : it.outline)
            if (!flags->Add(
                    static_cast<short>(s.closed && it.kind != Item::Kind::kPolyLine ? 1 : 0)))
                b_.OutOfMemory();
    b_.Put(e, AN::kIsClosedList, v);
}

void Mapper::ChainLinks() {
    for (std::size_t i = 0; i < doc_.items.size(); ++i) {
        Element* e = elements_[i];
        if (!e || e->GetElementType() != EL::kText) continue;
        const Item& it = doc_.items[i];
        if (it.prevInChain >= 0 && static_cast<std::size_t>(it.prevInChain) < doc_.items.size())
            b_.IdOf(e, AN::kPreviousTextObject,
                    elements_[static_cast<std::size_t>(it.prevInChain)]);
        if (it.nextInChain >= 0 && static_cast<std::size_t>(it.nextInChain) < doc_.items.size())
            b_.IdOf(e, AN::kNextTextObject, elements_[static_cast<std::size_t>(it.nextInChain)]);
    }
}

// ------------------------------------------------------------ links, contents

void Mapper::Hyperlinks() {
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
                b_.BadReference("the link of \"" + it.name + "\" goes to page " +
                                std::to_string(a.targetPage + 1) + ", which does not exist");
                continue;
            }
            target = pageElements_[static_cast<std::size_t>(a.targetPage)];
        }
        if (!list) list = b_.Top(EL::kHyperlinkList);
        Element* link = b_.Child(list, EL::kHyperlink);
        if (!link) continue;
        b_.Utf8(link, AN::kName,
                !a.name.empty()      ? a.name
                : !a.tooltip.empty() ? a.tooltip
                                     : it.name);
        Element* source = b_.Child(link, EL::kHyperLinkDOSource);
        b_.IdOf(source, AN::kObject, elements_[i]);
        Element* anchor = b_.Child(link, page ? EL::kHyperLinkPageAnchor : EL::kHyperLinkURLAnchor);
        if (page)
            b_.IdOf(anchor, AN::kPage, target);
        else
            b_.Utf8(anchor, AN::kURL, a.external);
        b_.IdOf(link, AN::kSource, source);
        b_.IdOf(link, AN::kAnchor, anchor);
    }
}

void Mapper::TablesOfContents() {
    if (doc_.tablesOfContents.empty()) return;
    Element* list = b_.Top(EL::kTOCStyleList);
    for (const TocSetup& t : doc_.tablesOfContents) {
        Element* style = b_.Child(list, EL::kTOCStyle);
        if (!style) continue;
        b_.Utf8(style, AN::kName, t.name);
        TOCE::TableOfContentsFormatEnum format =
            t.numberPlacement == "Beginning"  ? TOCE::kPageNumberBeforeEntry
            : t.numberPlacement == "NotShown" ? TOCE::kNoPageNumber
                                              : TOCE::kPageNumberAfterEntry;
        b_.Enum(style, AN::kTableOfContentsFormat, &ValueUtil::CreateValueTableOfContentsFormatEnum,
                format);
        b_.Bool(style, AN::kIncludeParagraphsOnHiddenLayers, t.listNonPrinting);
        Element* entries = b_.Child(style, EL::kTOCEntryList);
        Element* entry = b_.Child(entries, EL::kTOCEntry);
        b_.Int(entry, AN::kLevel, 1);
        b_.Enum(entry, AN::kTableOfContentsFormat, &ValueUtil::CreateValueTableOfContentsFormatEnum,
                format);
        auto found = paragraphStyles_.find(t.paragraphStyle);
        if (found != paragraphStyles_.end())
            b_.Id(entry, AN::kFormatStyleID, found->second);
        else if (!t.paragraphStyle.empty())
            b_.BadReference("table of contents \"" + t.name + "\" lists paragraph style \"" +
                            t.paragraphStyle + "\", which does not exist");
        // The frame that receives the table names the publication's contents story.
        for (std::size_t i = 0; i < doc_.items.size() && publication_; ++i) {
            const Item& it = doc_.items[i];
            if (it.name != t.frameName || it.story < 0 ||
                static_cast<std::size_t>(it.story) >= storyElements_.size() ||
                !storyElements_[static_cast<std::size_t>(it.story)])
                continue;
            b_.IdOf(publication_, AN::kTOCStoryID,
                    storyElements_[static_cast<std::size_t>(it.story)]);
            break;
        }
    }
}

} // namespace scribus_mapper
