// The order of the reading, the parts a package lacks, and the limits.
#include "IdmlParser.h"
#include "IdmlXml.h"

#include <ombra/messages.h>

#include <unordered_set>

namespace idml {

namespace parse {

void Context::Report(int code) {
    unsigned bit = 1u << (code & 31);
    if (reported_ & bit) return;
    reported_ |= bit;
    problems.Report(code);
}

} // namespace parse

namespace {

using parse::Context;
using parse::Parts;

// A part's bytes; false (reported) when it is missing or unreadable.
bool ReadBytes(Context& ctx, Package& package, const std::string& name, std::string& bytes) {
    switch (package.Read(name, bytes)) {
    case Package::ReadResult::kOk:
        break;
    case Package::ReadResult::kMissing:
        ctx.Report(OBERR::kMalformedInput);
        return false;
    case Package::ReadResult::kDamaged:
        // What inflated before the damage may still hold whole elements.
        ctx.Report(OBERR::kMalformedInput);
        break;
    case Package::ReadResult::kTooLarge:
        ctx.Report(OBERR::kLimitExceeded);
        return false;
    case Package::ReadResult::kOutOfMemory:
        ctx.Report(OBERR::kOutOfMemory);
        return false;
    }
    return true;
}

// A part's XML, parsed; false (reported) when it is missing or unreadable.
bool LoadPart(Context& ctx, Package& package, const std::string& name, bool story,
              std::string& bytes, pugi::xml_document& doc) {
    if (!ReadBytes(ctx, package, name, bytes)) return false;
    bool malformed = false;
    bool any = xml::Load(doc, bytes, story, malformed);
    if (malformed) ctx.Report(OBERR::kMalformedInput);
    return any;
}

// Parts where packages keep them, for a package without designmap.xml, and
// stories designmap.xml does not name.
void FindParts(const Package& package, Parts& parts, bool all) {
    std::unordered_set<std::string> named(parts.stories.begin(), parts.stories.end());
    for (const std::string& name : package.Names()) {
        bool xmlPart = name.size() > 4 && name.compare(name.size() - 4, 4, ".xml") == 0;
        if (!xmlPart) continue;
        if (name.compare(0, 8, "Stories/") == 0 && !named.count(name))
            parts.stories.push_back(name);
        if (!all) continue;
        if (name.compare(0, 8, "Spreads/") == 0) parts.spreads.push_back(name);
        if (name.compare(0, 14, "MasterSpreads/") == 0) parts.masterSpreads.push_back(name);
    }
    if (!all) return;
    parts.graphic = "Resources/Graphic.xml";
    parts.fonts = "Resources/Fonts.xml";
    parts.styles = "Resources/Styles.xml";
    parts.preferences = "Resources/Preferences.xml";
}

// bytes is the buffer the parts are read into one after another: it keeps
// its room from part to part instead of giving it back each time.
template <class Read>
void ReadPart(Context& ctx, Package& package, const std::string& name, std::string& bytes,
              Read read, bool story = false) {
    if (name.empty()) return;
    pugi::xml_document doc;
    if (LoadPart(ctx, package, name, story, bytes, doc)) read(doc.document_element());
}

// Preferences.xml is large, and only a few of its root's children are read:
// when a scan finds the part plain and well formed, only their start tags
// are parsed, as children of a root of their own.
void ReadPreferencesPart(Context& ctx, Package& package, const std::string& name,
                         std::string& bytes) {
    if (name.empty()) return;
    if (!ReadBytes(ctx, package, name, bytes)) return;
    std::string_view tags[parse::kPreferenceElementCount];
    pugi::xml_document doc;
    bool malformed = false;
    if (xml::FindTopChildren(bytes, parse::kPreferenceElements, parse::kPreferenceElementCount,
                             tags)) {
        std::string elements = "<r>";
        for (std::string_view tag : tags)
            if (!tag.empty()) elements.append(tag).append("/>");
        elements.append("</r>");
        bytes.swap(elements);
    }
    bool any = xml::Load(doc, bytes, false, malformed);
    if (malformed) ctx.Report(OBERR::kMalformedInput);
    if (any) parse::ReadPreferences(ctx, doc.document_element());
}

} // namespace

bool ParsePackage(Package& package, const ParseOptions& options, obreader::ProblemSink& problems,
                  Document& doc) {
    Context ctx(options, problems, doc);
    Parts parts;
    std::string bytes;
    bool designmap = package.Has("designmap.xml");
    if (designmap)
        ReadPart(ctx, package, "designmap.xml", bytes,
                 [&](pugi::xml_node root) { parse::ReadDesignmap(ctx, root, parts); });
    else
        ctx.Report(OBERR::kMalformedInput);
    FindParts(package, parts, !designmap);
    if (!designmap && parts.stories.empty() && parts.spreads.empty()) return false;
    if (package.UnsafeNames() || package.DuplicateNames()) ctx.Report(OBERR::kMalformedInput);

    ReadPart(ctx, package, parts.graphic, bytes,
             [&](pugi::xml_node r) { parse::ReadGraphic(ctx, r); });
    ReadPart(ctx, package, parts.fonts, bytes, [&](pugi::xml_node r) { parse::ReadFonts(ctx, r); });
    ReadPart(ctx, package, parts.styles, bytes,
             [&](pugi::xml_node r) { parse::ReadStyles(ctx, r); });
    ReadPreferencesPart(ctx, package, parts.preferences, bytes);
    if (package.Has("META-INF/metadata.xml"))
        ReadPart(ctx, package, "META-INF/metadata.xml", bytes,
                 [&](pugi::xml_node r) { parse::ReadMetadata(ctx, r); });
    std::unordered_set<std::string> seen;
    for (const std::string& name : parts.masterSpreads)
        if (seen.insert(name).second)
            ReadPart(ctx, package, name, bytes,
                     [&](pugi::xml_node r) { parse::ReadSpreads(ctx, r, true); });
    for (const std::string& name : parts.spreads)
        if (seen.insert(name).second)
            ReadPart(ctx, package, name, bytes,
                     [&](pugi::xml_node r) { parse::ReadSpreads(ctx, r, false); });
    for (const std::string& name : parts.stories)
        if (seen.insert(name).second)
            ReadPart(
                ctx, package, name, bytes, [&](pugi::xml_node r) { parse::ReadStories(ctx, r); },
                true);
    return true;
}

void ParseStoryPart(std::string& bytes, const ParseOptions& options,
                    obreader::ProblemSink& problems, Document& doc) {
    Context ctx(options, problems, doc);
    pugi::xml_document xml;
    bool malformed = false;
    if (xml::Load(xml, bytes, true, malformed)) parse::ReadStories(ctx, xml.document_element());
    if (malformed) ctx.Report(OBERR::kMalformedInput);
}

} // namespace idml
