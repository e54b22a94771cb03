// Master spreads and spreads: their pages and page items (frames, shapes,
// pictures, groups, text on paths), also those anchored in stories.
#include "IdmlNames.h"
#include "IdmlParser.h"
#include "IdmlXml.h"

#include <ombra/messages.h>

#include <cmath>
#include <cstring>

namespace idml {
namespace parse {

namespace {

bool Is(pugi::xml_node n, const char* name) {
    return std::strcmp(n.name(), name) == 0;
}

struct KindName {
    const char* name;
    Item::Kind kind;
};

const KindName kItemKinds[] = {
    {"TextFrame", Item::Kind::kTextFrame}, {"Rectangle", Item::Kind::kRectangle},
    {"Oval", Item::Kind::kOval},           {"Polygon", Item::Kind::kPolygon},
    {"GraphicLine", Item::Kind::kLine},    {"Group", Item::Kind::kGroup},
    {"Button", Item::Kind::kOther},        {"MultiStateObject", Item::Kind::kOther},
    {"FormField", Item::Kind::kOther},     {"EPSText", Item::Kind::kOther},
    {"CheckBox", Item::Kind::kOther},      {"ComboBox", Item::Kind::kOther},
    {"ListBox", Item::Kind::kOther},       {"RadioButton", Item::Kind::kOther},
    {"TextBox", Item::Kind::kOther},       {"SignatureField", Item::Kind::kOther},
};

const KindName* KindOf(const char* name) {
    static const NameIndex kIndex(kItemKinds);
    const int i = kIndex.Find(name);
    return i < 0 ? nullptr : &kItemKinds[i];
}

const char* const kGraphicTags[] = {"Image", "PDF", "EPS", "PICT", "WMF", "ImportedPage", "SVG"};

void ReadGrid(pugi::xml_node n, Grid& g) {
    xml::Number(n, "PointSize", g.pointSize);
    xml::Number(n, "LineAki", g.lineAki);
    xml::Number(n, "CharacterAki", g.characterAki);
    xml::Number(n, "HorizontalScale", g.scaleX);
    xml::Number(n, "VerticalScale", g.scaleY);
}

// After ReadCommon, which reads the frame's story and neighbours.
void ReadTextFrame(pugi::xml_node n, Item& it) {
    pugi::xml_node pref = n.child("TextFramePreference");
    it.columns = static_cast<int>(xml::NumberOr(pref, "TextColumnCount", 1));
    if (it.columns < 1 || it.columns > 40) it.columns = 1;
    xml::Number(pref, "TextColumnGutter", it.gutter);
    double inset[4] = {0, 0, 0, 0};
    int i = 0;
    for (pugi::xml_node v : xml::Property(pref, "InsetSpacing").children("ListItem"))
        if (i < 4) ParseNumber(v.child_value(), inset[i++]);
    if (i == 1) inset[1] = inset[2] = inset[3] = inset[0];
    it.insets = {inset[0], inset[1], inset[2], inset[3]};
    if (pugi::xml_node grid = n.child("GridDataInformation")) {
        it.hasGrid = true;
        ReadGrid(grid, it.grid);
    }
}

// The item's own text wrap. What cannot be read is reported: an unknown
// mode leaves the item without wrap, an unknown side wraps both sides, an
// unusable offset is 0.
void ReadWrap(Context& ctx, pugi::xml_node n, Item& it) {
    pugi::xml_node pref = n.child("TextWrapPreference");
    if (!pref) return;
    const char* mode = xml::Attr(pref, "TextWrapMode");
    const int option = *mode ? EnumMember(Keywords::kWrapMode, mode) : WOE::kNone;
    if (option < 0) ctx.Report(OBERR::kBadValue);
    if (option <= WOE::kNone) return;
    obreader::TextWrapSpec& w = it.wrap;
    w.option = static_cast<WOE::WrapOptionEnum>(option);
    const char* side = xml::Attr(pref, "TextWrapSide");
    int flow = *side ? EnumMember(Keywords::kWrapSide, side) : TFE::kBothSides;
    if (flow < 0) ctx.Report(OBERR::kBadValue);
    it.wrapSpine = flow == kTowardsSpine ? 1 : flow == kAwayFromSpine ? -1 : 0;
    if (flow > 0 && !it.wrapSpine) w.flow = static_cast<TFE::TextFlowEnum>(flow);
    w.invert = xml::Flag(pref, "Inverse", false);
    w.outsideEdgesOnly = !xml::Flag(pref.child("ContourOption"), "IncludeInsideEdges", false);
    pugi::xml_node offset = xml::Property(pref, "TextWrapOffset");
    const char* const names[] = {"Top", "Left", "Bottom", "Right"};
    double* const standoffs[] = {&w.top, &w.left, &w.bottom, &w.right};
    for (int i = 0; i < 4; ++i) {
        pugi::xml_attribute a = offset.attribute(names[i]);
        double v = 0;
        if (a && (!ParseNumber(a.value(), v) || std::fabs(v) > obreader::kMaxStandoff))
            ctx.Report(OBERR::kBadValue);
        else
            *standoffs[i] = v;
    }
}

bool IsGraphic(const char* name) {
    for (const char* tag : kGraphicTags)
        if (std::strcmp(name, tag) == 0) return true;
    return false;
}

void ReadGraphicIn(pugi::xml_node n, Item& it) {
    for (pugi::xml_node g : n.children()) {
        if (g.type() != pugi::node_element || !IsGraphic(g.name())) continue;
        it.picture = true;
        xml::ReadMatrix(xml::Attr(g, "ItemTransform"), it.imageTransform);
        pugi::xml_node link = g.child("Link");
        it.link = xml::Attr(link, "LinkResourceURI");
        it.format = xml::DisplayName(xml::Attr(link, "LinkResourceFormat"));
        it.embedded = xml::Property(g, "Contents") ||
                      std::strcmp(xml::Attr(link, "StoredState"), "Embedded") == 0;
        return;
    }
}

// The attributes of a page item, read in one pass.
enum ItemAttr {
    kSelf,
    kName,
    kItemLayer,
    kAppliedObjectStyle,
    kVisible,
    kLocked,
    kNonprinting,
    kFillColor,
    kStrokeColor,
    kStrokeWeight,
    kItemTransform,
    kTopLeftCornerOption,
    kTopLeftCornerRadius,
    kParentStory,
    kPreviousTextFrame,
    kNextTextFrame,
    kItemAttrs
};

const char* const kItemAttrNames[kItemAttrs] = {"Self",
                                                "Name",
                                                "ItemLayer",
                                                "AppliedObjectStyle",
                                                "Visible",
                                                "Locked",
                                                "Nonprinting",
                                                "FillColor",
                                                "StrokeColor",
                                                "StrokeWeight",
                                                "ItemTransform",
                                                "TopLeftCornerOption",
                                                "TopLeftCornerRadius",
                                                "ParentStory",
                                                "PreviousTextFrame",
                                                "NextTextFrame"};

void ReadCommon(pugi::xml_node n, Item& it) {
    const char* v[kItemAttrs];
    xml::FindAttrs(n, kItemAttrNames, kItemAttrs, v);
    auto text = [&](ItemAttr a) { return v[a] ? v[a] : ""; };
    it.self = text(kSelf);
    it.name = xml::DisplayName(text(kName));
    it.layer = xml::Ref(text(kItemLayer));
    it.objectStyle = xml::Ref(text(kAppliedObjectStyle));
    it.visible = xml::FlagOf(v[kVisible], true);
    it.locked = xml::FlagOf(v[kLocked], false);
    it.nonPrinting = xml::FlagOf(v[kNonprinting], false);
    it.fill = xml::Ref(text(kFillColor));
    it.stroke = xml::Ref(text(kStrokeColor));
    xml::NumberOf(v[kStrokeWeight], it.strokeWeight);
    xml::ReadMatrix(text(kItemTransform), it.transform);
    if (it.kind == Item::Kind::kTextFrame) {
        it.story = xml::Ref(text(kParentStory));
        it.previous = xml::Ref(text(kPreviousTextFrame));
        it.next = xml::Ref(text(kNextTextFrame));
    }
    xml::ReadOutline(n, it.outline);
    const char* corner = text(kTopLeftCornerOption);
    if (*corner && std::strcmp(corner, "None") != 0)
        xml::NumberOf(v[kTopLeftCornerRadius], it.cornerRadius);
    for (pugi::xml_node path : n.children("TextPath"))
        it.textPaths.push_back({xml::Attr(path, "Self"), xml::Ref(xml::Attr(path, "ParentStory")),
                                xml::Ref(xml::Attr(path, "PreviousTextFrame")),
                                xml::Ref(xml::Attr(path, "NextTextFrame")),
                                std::strcmp(xml::Attr(path, "FlipPathEffect"), "Flipped") == 0});
}

void ReadPage(Context& ctx, pugi::xml_node n, int spread, bool master) {
    Page p;
    p.self = xml::Attr(n, "Self");
    p.name = xml::DisplayName(xml::Attr(n, "Name"));
    p.master = xml::Ref(xml::Attr(n, "AppliedMaster"));
    p.spread = spread;
    p.onMaster = master;
    xml::ReadMatrix(xml::Attr(n, "ItemTransform"), p.transform);
    std::string_view bounds = xml::Attr(n, "GeometricBounds");
    std::size_t at = 0;
    for (int i = 0; i < 4 && at <= bounds.size(); ++i) {
        std::size_t end = bounds.find(' ', at);
        if (end == std::string_view::npos) end = bounds.size();
        ParseNumber(bounds.substr(at, end - at), p.bounds[i]);
        at = end + 1;
    }
    pugi::xml_node m = n.child("MarginPreference");
    xml::Number(m, "Top", p.margins.top);
    xml::Number(m, "Left", p.margins.left);
    xml::Number(m, "Bottom", p.margins.bottom);
    xml::Number(m, "Right", p.margins.right);
    p.columns = static_cast<int>(xml::NumberOr(m, "ColumnCount", 1));
    xml::Number(m, "ColumnGutter", p.gutter);
    ctx.doc.spreads[static_cast<std::size_t>(spread)].pages.push_back(
        static_cast<int>(ctx.doc.pages.size()));
    ctx.doc.pages.push_back(std::move(p));
}

} // namespace

bool IsPageItem(const char* name) {
    return KindOf(name) != nullptr;
}

int ReadItem(Context& ctx, pugi::xml_node n, int parent, int depth) {
    const KindName* kind = KindOf(n.name());
    if (!kind) return -1;
    if (depth > kMaxItemDepth) {
        ctx.Report(OBERR::kLimitExceeded);
        return -1;
    }
    Document& doc = ctx.doc;
    const int index = static_cast<int>(doc.items.size());
    doc.items.emplace_back();
    {
        Item& it = doc.items.back();
        it.kind = kind->kind;
        it.parent = parent;
        ReadCommon(n, it);
        ReadWrap(ctx, n, it);
        if (it.kind == Item::Kind::kTextFrame) ReadTextFrame(n, it);
        ReadGraphicIn(n, it);
    }
    // Members of groups and the content of buttons, after their holder.
    for (pugi::xml_node c : n.children()) {
        if (!IsPageItem(c.name())) continue;
        int child = ReadItem(ctx, c, index, depth + 1);
        if (child >= 0) doc.items[static_cast<std::size_t>(index)].children.push_back(child);
    }
    return index;
}

void ReadSpreads(Context& ctx, pugi::xml_node root, bool master) {
    Document& doc = ctx.doc;
    for (pugi::xml_node n : root.children()) {
        if (!Is(n, master ? "MasterSpread" : "Spread")) continue;
        Spread s;
        s.self = xml::Attr(n, "Self");
        s.name = xml::DisplayName(xml::Attr(n, "Name"));
        s.master = master;
        const int spread = static_cast<int>(doc.spreads.size());
        doc.spreads.push_back(std::move(s));
        for (pugi::xml_node c : n.children()) {
            if (Is(c, "Page")) {
                ReadPage(ctx, c, spread, master);
                continue;
            }
            int item = ReadItem(ctx, c, -1, 0);
            if (item < 0) continue;
            doc.items[static_cast<std::size_t>(item)].spread = spread;
            doc.items[static_cast<std::size_t>(item)].onMaster = master;
            doc.spreads[static_cast<std::size_t>(spread)].items.push_back(item);
        }
    }
}

} // namespace parse
} // namespace idml
