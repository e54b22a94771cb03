// designmap.xml, the resources (Graphic, Fonts, Styles, Preferences) and the
// package's metadata.
#include "IdmlNames.h"
#include "IdmlParser.h"
#include "IdmlXml.h"

#include <ombra/messages.h>

#include <cstring>
#include <iterator>

namespace idml {
namespace parse {

namespace {

bool Is(pugi::xml_node n, const char* name) {
    return std::strcmp(n.name(), name) == 0;
}

// The part a designmap reference names, "" for one that is not safe.
std::string Source(pugi::xml_node n) {
    return n.attribute("src").value();
}

void ReadHyperlinkParts(Context& ctx, pugi::xml_node n) {
    Document& doc = ctx.doc;
    if (Is(n, "Hyperlink")) {
        Hyperlink h;
        h.self = xml::Attr(n, "Self");
        h.name = xml::DisplayName(xml::Attr(n, "Name"));
        h.source = xml::Ref(xml::Attr(n, "Source"));
        h.destination =
            xml::Ref(n.attribute("Destination") ? xml::Attr(n, "Destination")
                                                : xml::Property(n, "Destination").child_value());
        doc.hyperlinks.push_back(std::move(h));
        return;
    }
    Destination d;
    d.self = xml::Attr(n, "Self");
    if (Is(n, "HyperlinkPageItemSource")) {
        doc.pageItemSources[d.self] = xml::Ref(xml::Attr(n, "SourcePageItem"));
        return;
    }
    d.name = xml::DisplayName(xml::Attr(n, "Name"));
    if (Is(n, "HyperlinkURLDestination")) {
        d.url = xml::Attr(n, "DestinationURL");
    } else if (Is(n, "HyperlinkPageDestination")) {
        d.kind = Destination::Kind::kPage;
        d.page = xml::Ref(xml::Attr(n, "DestinationPage"));
    } else if (Is(n, "HyperlinkExternalPageDestination")) {
        d.kind = Destination::Kind::kExternalPage;
        d.url = xml::Attr(n, "DocumentPath");
        const char* page = xml::Attr(n, "DestinationPageIndex");
        if (*page) d.url += std::string("#page=") + page;
    } else {
        return;
    }
    doc.destinations.push_back(std::move(d));
}

void ReadNumberingList(Context& ctx, pugi::xml_node n) {
    ctx.doc.acrossStories[xml::Attr(n, "Self")] =
        xml::Flag(n, "ContinueNumbersAcrossStories", false);
}

// What designmap.xml holds that the reader reads.
enum class Child {
    kMasterSpread,
    kSpread,
    kStory,
    kGraphic,
    kFonts,
    kStyles,
    kPreferences,
    kLayer,
    kSection,
    kKinsokuTable,
    kMojikumiTable,
    kCondition,
    kTextVariable,
    kNumberingList,
    kHyperlinkPart,
    kOther,
};

Child ChildOf(const char* name) {
    static const char* const kNames[] = {"idPkg:MasterSpread",
                                         "idPkg:Spread",
                                         "idPkg:Story",
                                         "idPkg:Graphic",
                                         "idPkg:Fonts",
                                         "idPkg:Styles",
                                         "idPkg:Preferences",
                                         "Layer",
                                         "Section",
                                         "KinsokuTable",
                                         "MojikumiTable",
                                         "Condition",
                                         "TextVariable",
                                         "NumberingList",
                                         "Hyperlink",
                                         "HyperlinkURLDestination",
                                         "HyperlinkPageDestination",
                                         "HyperlinkExternalPageDestination",
                                         "HyperlinkPageItemSource"};
    static const NameIndex kIndex(kNames, sizeof kNames / sizeof kNames[0]);
    const int i = kIndex.Find(name);
    if (i < 0) return Child::kOther;
    return i >= static_cast<int>(Child::kHyperlinkPart) ? Child::kHyperlinkPart
                                                        : static_cast<Child>(i);
}

void ReadDocumentChild(Context& ctx, pugi::xml_node n, Parts& parts) {
    Document& doc = ctx.doc;
    const Child child = ChildOf(n.name());
    switch (child) {
    case Child::kMasterSpread:
        parts.masterSpreads.push_back(Source(n));
        return;
    case Child::kSpread:
        parts.spreads.push_back(Source(n));
        return;
    case Child::kStory:
        parts.stories.push_back(Source(n));
        return;
    case Child::kGraphic:
        parts.graphic = Source(n);
        return;
    case Child::kFonts:
        parts.fonts = Source(n);
        return;
    case Child::kStyles:
        parts.styles = Source(n);
        return;
    case Child::kPreferences:
        parts.preferences = Source(n);
        return;
    case Child::kOther:
        return;
    default:
        break;
    }
    if (child == Child::kLayer) {
        doc.layers.push_back({xml::Attr(n, "Self"), xml::DisplayName(xml::Attr(n, "Name")),
                              xml::Flag(n, "Visible", true), xml::Flag(n, "Locked", false),
                              xml::Flag(n, "Printable", true)});
    } else if (child == Child::kSection) {
        Section s;
        s.self = xml::Attr(n, "Self");
        s.name = xml::Attr(n, "Name");
        s.pageStart = xml::Ref(xml::Attr(n, "PageStart"));
        s.prefix = xml::Attr(n, "SectionPrefix");
        s.start = static_cast<int>(xml::NumberOr(n, "PageNumberStart", 1));
        s.continueNumbering = xml::Flag(n, "ContinueNumbering", false);
        s.includePrefix = xml::Flag(n, "IncludeSectionPrefix", false);
        const char* style = xml::Attr(n, "PageNumberStyle");
        if (!*style) style = xml::Property(n, "PageNumberStyle").child_value();
        if (*style) s.style = style;
        doc.sections.push_back(std::move(s));
    } else if (child == Child::kKinsokuTable) {
        KinsokuTable k{xml::Attr(n, "Self"), xml::DisplayName(xml::Attr(n, "Name")), "", ""};
        k.startChars = n.attribute("ForbiddenAtStart")
                           ? xml::Attr(n, "ForbiddenAtStart")
                           : xml::Property(n, "ForbiddenAtStart").child_value();
        k.endChars = n.attribute("ForbiddenAtEnd")
                         ? xml::Attr(n, "ForbiddenAtEnd")
                         : xml::Property(n, "ForbiddenAtEnd").child_value();
        doc.kinsokuTables.push_back(std::move(k));
    } else if (child == Child::kMojikumiTable) {
        doc.mojikumiNames[xml::Attr(n, "Self")] = xml::DisplayName(xml::Attr(n, "Name"));
    } else if (child == Child::kCondition) {
        doc.conditions.push_back({xml::Attr(n, "Self"), xml::DisplayName(xml::Attr(n, "Name")),
                                  xml::Flag(n, "Visible", true)});
        doc.conditionShown[doc.conditions.back().self] |= doc.conditions.back().visible;
    } else if (child == Child::kTextVariable) {
        doc.variableTypes[xml::Attr(n, "Self")] = xml::Attr(n, "VariableType");
    } else if (child == Child::kNumberingList) {
        ReadNumberingList(ctx, n);
    } else {
        ReadHyperlinkParts(ctx, n);
    }
}

} // namespace

void ReadDesignmap(Context& ctx, pugi::xml_node root, Parts& parts) {
    ctx.doc.publication.name = xml::Attr(root, "Name");
    ctx.doc.publication.version = xml::Attr(root, "DOMVersion");
    for (pugi::xml_node n : root.children())
        ReadDocumentChild(ctx, n, parts);
}

// ------------------------------------------------------------ Graphic.xml

namespace {

void ReadColorValues(pugi::xml_node n, Swatch& s) {
    const char* text = xml::Attr(n, "ColorValue");
    std::string_view values(text);
    std::size_t at = 0;
    for (int i = 0; i < 4 && at < values.size(); ++i) {
        while (at < values.size() && values[at] == ' ')
            ++at;
        std::size_t end = values.find(' ', at);
        if (end == std::string_view::npos) end = values.size();
        ParseNumber(values.substr(at, end - at), s.values[i]);
        at = end;
    }
}

} // namespace

namespace {

bool IsSwatch(const char* name) {
    static const char* const kNames[] = {"Color", "Tint", "Gradient", "Swatch", "MixedInk"};
    static const NameIndex kIndex(kNames, sizeof kNames / sizeof kNames[0]);
    return kIndex.Find(name) >= 0;
}

} // namespace

void ReadGraphic(Context& ctx, pugi::xml_node root) {
    Document& doc = ctx.doc;
    for (pugi::xml_node n : root.children()) {
        if (Is(n, "Ink")) {
            doc.inks.push_back({xml::DisplayName(xml::Attr(n, "Name")),
                                std::strncmp(xml::Attr(n, "Name"), "$ID/Process ", 12) == 0});
            continue;
        }
        if (!IsSwatch(n.name())) continue;
        Swatch s;
        s.self = xml::Attr(n, "Self");
        s.name = xml::DisplayName(xml::Attr(n, "Name"));
        if (Is(n, "Color")) {
            s.space = xml::Attr(n, "Space");
            s.model = xml::Attr(n, "Model");
            ReadColorValues(n, s);
        } else if (Is(n, "Tint")) {
            s.kind = Swatch::Kind::kTint;
            s.base = xml::Ref(xml::Attr(n, "BaseColor"));
            s.tint = xml::NumberOr(n, "TintValue", 100);
        } else if (Is(n, "Gradient")) {
            s.kind = Swatch::Kind::kGradient;
            s.radial = std::strcmp(xml::Attr(n, "Type"), "Radial") == 0;
            for (pugi::xml_node stop : n.children("GradientStop"))
                s.stops.push_back({xml::Ref(xml::Attr(stop, "StopColor")),
                                   xml::NumberOr(stop, "Location", 0),
                                   xml::NumberOr(stop, "Midpoint", 50)});
        } else if (Is(n, "Swatch")) {
            s.kind = Swatch::Kind::kNone;
        } else if (Is(n, "MixedInk")) {
            s.kind = Swatch::Kind::kMixedInk;
        }
        doc.swatches.push_back(std::move(s));
    }
}

// ------------------------------------------------------------ Fonts.xml

void ReadFonts(Context& ctx, pugi::xml_node root) {
    static const char* const kNames[] = {"FontFamily", "Name", "PostScriptName", "FontStyleName",
                                         "WritingScript"};
    for (pugi::xml_node family : root.children("FontFamily"))
        for (pugi::xml_node f : family.children("Font")) {
            const char* v[5];
            xml::FindAttrs(f, kNames, 5, v);
            Font font;
            font.family = v[0] ? v[0] : "";
            font.name = v[1] ? v[1] : "";
            font.postscript = v[2] ? v[2] : "";
            font.style = v[3] ? v[3] : "";
            double script = -1;
            xml::NumberOf(v[4], script);
            font.writingScript = static_cast<int>(script);
            ctx.doc.fonts.push_back(std::move(font));
        }
}

// ------------------------------------------------------------ Styles.xml

namespace {

// The name of a style or group in the group named prefix ("Group:", or
// empty at the root): InDesign writes the groups' path into the name
// already ("Group:Style"); a name without it gets it.
std::string InGroup(const std::string& prefix, const char* name) {
    std::string display = xml::DisplayName(name);
    return display.compare(0, prefix.size(), prefix) == 0 ? display : prefix + display;
}

// The styles of a group and of the groups it holds; a style in a group is
// named with the groups' names in front ("Group:Style").
void ReadStyleGroup(Context& ctx, pugi::xml_node group, const char* styleTag, const char* groupTag,
                    const std::string& prefix, std::vector<Style>& out, int depth) {
    if (depth > kMaxItemDepth) {
        ctx.Report(OBERR::kLimitExceeded);
        return;
    }
    for (pugi::xml_node n : group.children()) {
        if (Is(n, groupTag)) {
            ReadStyleGroup(ctx, n, styleTag, groupTag, InGroup(prefix, xml::Attr(n, "Name")) + ":",
                           out, depth + 1);
            continue;
        }
        if (!Is(n, styleTag)) continue;
        Style s;
        s.self = xml::Attr(n, "Self");
        s.name = InGroup(prefix, xml::Attr(n, "Name"));
        // A parent given as a name ("$ID/[No paragraph style]") is a style
        // of the same kind by that name.
        pugi::xml_node based = xml::Property(n, "BasedOn");
        s.basedOn = xml::Ref(based.child_value());
        if (!s.basedOn.empty() && std::strcmp(xml::Attr(based, "type"), "string") == 0)
            s.basedOn = std::string(styleTag) + "/" + s.basedOn;
        s.next = xml::Ref(xml::Attr(n, "NextStyle"));
        xml::ReadAttrSet(n, s.attrs);
        s.hasTabs = xml::ReadTabs(n, s.tabs);
        out.push_back(std::move(s));
    }
}

} // namespace

void ReadStyles(Context& ctx, pugi::xml_node root) {
    Document& doc = ctx.doc;
    ReadStyleGroup(ctx, root.child("RootCharacterStyleGroup"), "CharacterStyle",
                   "CharacterStyleGroup", "", doc.characterStyles, 0);
    ReadStyleGroup(ctx, root.child("RootParagraphStyleGroup"), "ParagraphStyle",
                   "ParagraphStyleGroup", "", doc.paragraphStyles, 0);
    ReadStyleGroup(ctx, root.child("RootObjectStyleGroup"), "ObjectStyle", "ObjectStyleGroup", "",
                   doc.objectStyles, 0);
    ReadStyleGroup(ctx, root.child("RootCellStyleGroup"), "CellStyle", "CellStyleGroup", "",
                   doc.cellStyles, 0);
    for (pugi::xml_node n : root.children("NumberingList"))
        ReadNumberingList(ctx, n);
}

// ------------------------------------------------------------ Preferences.xml

const char* const kPreferenceElements[kPreferenceElementCount] = {
    "DocumentPreference", "MarginPreference", "ViewPreference"};

void ReadPreferences(Context& ctx, pugi::xml_node root) {
    for (pugi::xml_node n : root.children("NumberingList"))
        ReadNumberingList(ctx, n);
    Publication& p = ctx.doc.publication;
    pugi::xml_node d = root.child(kPreferenceElements[0]);
    xml::Number(d, "PageWidth", p.pageWidth);
    xml::Number(d, "PageHeight", p.pageHeight);
    p.facingPages = xml::Flag(d, "FacingPages", p.facingPages);
    p.rightToLeft = std::strcmp(xml::Attr(d, "PageBinding"), "RightToLeft") == 0;
    pugi::xml_node m = root.child(kPreferenceElements[1]);
    xml::Number(m, "Top", p.margins.top);
    xml::Number(m, "Bottom", p.margins.bottom);
    xml::Number(m, "Left", p.margins.left);
    xml::Number(m, "Right", p.margins.right);
    pugi::xml_node v = root.child(kPreferenceElements[2]);
    p.horizontalUnits = xml::Attr(v, "HorizontalMeasurementUnits");
    p.verticalUnits = xml::Attr(v, "VerticalMeasurementUnits");
}

// ------------------------------------------------------------ metadata

namespace {

const char* LocalName(pugi::xml_node n) {
    const char* name = n.name();
    const char* colon = std::strchr(name, ':');
    return colon ? colon + 1 : name;
}

// The first element below n whose name is "li" (any prefix).
pugi::xml_node FirstItem(pugi::xml_node n, int depth) {
    if (depth > 32) return pugi::xml_node();
    for (pugi::xml_node c : n.children()) {
        if (std::strcmp(LocalName(c), "li") == 0) return c;
        if (pugi::xml_node found = FirstItem(c, depth + 1)) return found;
    }
    return pugi::xml_node();
}

struct Property {
    const char* local;
    std::string Publication::*field;
};

constexpr Property kProperties[] = {
    {"title", &Publication::title},         {"creator", &Publication::author},
    {"description", &Publication::subject}, {"subject", &Publication::keywords},
    {"CreatorTool", &Publication::creator}, {"CreateDate", &Publication::created},
    {"ModifyDate", &Publication::modified},
};

void Take(Publication& p, unsigned& seen, const char* local, pugi::xml_node value,
          const char* attribute) {
    for (std::size_t i = 0; i < std::size(kProperties); ++i) {
        if ((seen & (1u << i)) || std::strcmp(local, kProperties[i].local) != 0) continue;
        seen |= 1u << i;
        if (attribute) {
            p.*kProperties[i].field = attribute;
        } else {
            pugi::xml_node item = FirstItem(value, 0);
            p.*kProperties[i].field = (item ? item : value).child_value();
        }
    }
}

// The properties of each rdf:Description, as elements or attributes; the
// first of each name gives its text, or the text of its list's first item.
// Property values (histories, thumbnails) are not searched.
void Collect(pugi::xml_node n, Publication& p, unsigned& seen, int depth) {
    if (depth > 8) return;
    for (pugi::xml_node c : n.children()) {
        if (c.type() != pugi::node_element) continue;
        if (std::strcmp(LocalName(c), "Description") != 0) {
            Collect(c, p, seen, depth + 1);
            continue;
        }
        for (pugi::xml_attribute a : c.attributes()) {
            const char* colon = std::strchr(a.name(), ':');
            Take(p, seen, colon ? colon + 1 : a.name(), pugi::xml_node(), a.value());
        }
        for (pugi::xml_node property : c.children())
            if (property.type() == pugi::node_element)
                Take(p, seen, LocalName(property), property, nullptr);
    }
}

} // namespace

void ReadMetadata(Context& ctx, pugi::xml_node root) {
    unsigned seen = 0;
    Collect(root, ctx.doc.publication, seen, 0);
}

} // namespace parse
} // namespace idml
