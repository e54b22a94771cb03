#include "WalkConversion.h"

#include <cctype>
#include <cstring>
#include <new>

namespace {

OBWalkOptions WalkOptions(bool includeHidden) {
    OBWalkOptions walk;
    walk.includeHidden = includeHidden;
    walk.deferStories = true;
    walk.resolveFormatting = true;
    walk.skipEmptyStories = true;
    return walk;
}

} // namespace

OBWalkConversion::OBWalkConversion(OBStream* output, bool includeHidden)
    : output_(output, problems_), walker_(*this, problems_, WalkOptions(includeHidden)),
      written_(false), finished_(false), failures_(obwalk::Utf8Text::Failures()) {}

OBWalkConversion::~OBWalkConversion() = default;

void OBWalkConversion::PutElement(Element* element) {
    if (finished_) return;
    if (!element) {
        Finish();
        return;
    }
    try {
        walker_.Put(element);
    } catch (const std::bad_alloc&) {
        problems_.Report(OBERR::kOutOfMemory);
    } catch (...) {
        // An element class of another plug-in threw from an accessor.
        problems_.Report(OBERR::kMalformedInput);
    }
}

void OBWalkConversion::Finish() {
    if (finished_) return;
    finished_ = true;
    try {
        walker_.Finish();
    } catch (const std::bad_alloc&) {
        problems_.Report(OBERR::kOutOfMemory);
    } catch (...) {
        problems_.Report(OBERR::kMalformedInput);
    }
    try {
        if (!written_) EndDocument(); // what was walked before the walk stopped
    } catch (...) {
        problems_.Report(OBERR::kOutOfMemory);
    }
    if (obwalk::Utf8Text::Failures() != failures_) problems_.Report(OBERR::kOutOfMemory);
    LogReport();
}

void OBWalkConversion::ReportWhatNoMarkupHolds(long long picturesWritten) {
    const OBWalkCounts& c = walker_.Counts();
    report_.Add(OBREPORT::kStoriesLeftOut, c.storiesLeftOut);
    report_.Add(OBREPORT::kPicturesLeftOut, c.pictures - picturesWritten);
    report_.Add(OBREPORT::kPicturesWithoutLink, c.picturesWithoutLink);
    report_.Add(OBREPORT::kShapesLeftOut, c.shapes);
    report_.Add(OBREPORT::kItemLinksLeftOut, c.itemLinks);
    report_.Add(OBREPORT::kVariablesAsText, c.variables);
    report_.Add(OBREPORT::kBreaksAsLineBreaks, c.breaks);
    report_.Add(OBREPORT::kObjectStylesIgnored, c.objectStyles);
    report_.Add(OBREPORT::kIndexLeftOut, c.indexEntries);
    report_.Add(OBREPORT::kTocStylesLeftOut, c.tocStyles);
}

namespace {

// Whether a URL's scheme runs a script. Browsers drop the spaces and
// control characters before it and every tab and line end in it
// ("java\tscript:"), and read it in any letter case.
bool ScriptUrl(const obwalk::Utf8Text& url) {
    char scheme[16];
    int n = 0;
    long long i = 0;
    while (i < url.Size() && static_cast<unsigned char>(url.Data()[i]) <= ' ')
        ++i;
    for (; i < url.Size(); ++i) {
        const char c = url.Data()[i];
        if (c == '\t' || c == '\n' || c == '\r') continue;
        if (c == ':') break;
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false; // no scheme: a relative URL
        if (n == static_cast<int>(sizeof scheme) - 1) return false;
        scheme[n++] = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (i == url.Size()) return false;
    scheme[n] = 0;
    return std::strcmp(scheme, "javascript") == 0 || std::strcmp(scheme, "vbscript") == 0 ||
           std::strcmp(scheme, "data") == 0;
}

} // namespace

bool OBWalkConversion::LinkUrl(const OBWalkLink& link, obwalk::Utf8Text& url) const {
    if (link.kind == OBWALK::kUrl) {
        if (ScriptUrl(link.url)) return false;
        url.Append(link.url);
    } else if (link.kind == OBWALK::kPage && link.page >= 0 &&
               link.page < walker_.Pages().Count()) {
        url.Append("#page-");
        url.AppendNumber(walker_.Pages()[link.page].number);
    } else if (link.kind == OBWALK::kText) {
        url.Append("#target-");
        url.AppendNumber(link.target);
    }
    return true;
}
