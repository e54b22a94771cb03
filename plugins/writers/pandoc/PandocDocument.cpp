// The pandoc document around the stories: its start and end, its
// metadata, the report and the anchors of linked pages.
#include "PandocConversion.h"
#include "PandocInlines.h"

#include <algorithm>

using namespace obwalk;
using namespace obpandoc;

void OBPandocConversion::BeginDocument() {
    language_ = DocumentLanguage(walker_);
    if (!LinkedPages(walker_, linkedPages_)) problems_.Report(OBERR::kOutOfMemory);
    if (linkedPages_.Count() > 1)
        std::sort(&linkedPages_[0], &linkedPages_[0] + linkedPages_.Count());
    begun_ = true;
    out_.Append("{\"blocks\":");
    Utf8Text open;
    open.Append('[');
    Open(kList, open, "]");
}

void OBPandocConversion::EndDocument() {
    if (written_) return;
    written_ = true;
    if (!begun_) BeginDocument();
    PageAnchors(walker_.Pages().Count() - 1, true);
    CloseTo(0);
    WriteMeta();
    out_.Append(",\"pandoc-api-version\":[1,22,2,1]}\n");
    Flush(true);
}

namespace {

// Whether text holds more than spaces (and, in a list, the commas or
// semicolons between items): a field of nothing is left out, since a key
// without its value is no JSON.
bool HasContent(const Utf8Text& text, bool list) {
    const char* s = text.Data();
    for (long long i = 0; i < text.Size(); ++i)
        if (s[i] != ' ' && !(list && (s[i] == ',' || s[i] == ';'))) return true;
    return false;
}

} // namespace

void OBPandocConversion::WriteMeta() {
    DocumentInfo info;
    ReadDocumentInfo(walker_, info);
    out_.Append(",\"meta\":{");
    bool first = true;
    auto field = [&](const char* key, const Utf8Text& text, bool list) {
        if (!HasContent(text, list)) return;
        if (!first) out_.Append(',');
        first = false;
        out_.Append('"');
        out_.Append(key);
        out_.Append(list ? "\":{\"t\":\"MetaList\",\"c\":[" : "\":");
        // A list's items are separated by commas or semicolons.
        const char* s = text.Data();
        long long n = text.Size(), from = 0;
        for (long long i = 0; i <= n; ++i) {
            if (list && i < n && s[i] != ',' && s[i] != ';') continue;
            if (!list && i < n) continue;
            while (from < i && s[from] == ' ')
                ++from;
            long long to = i;
            while (to > from && s[to - 1] == ' ')
                --to;
            if (to > from) {
                if (list && out_.Data()[out_.Size() - 1] != '[') out_.Append(',');
                Utf8Text part;
                part.Append(s + from, to - from);
                out_.Append("{\"t\":\"MetaInlines\",\"c\":[");
                Inlines(out_, part);
                out_.Append("]}");
            }
            from = i + 1;
        }
        if (list) out_.Append("]}");
    };
    field("title", info.title, false);
    field("author", info.author, true);
    field("date", !info.created.IsEmpty() ? info.created : info.modified, false);
    field("keywords", info.keywords, true);
    field("subject", info.subject, false);
    field("description", info.comments, false);
    if (language_) {
        if (!first) out_.Append(',');
        first = false;
        out_.Append("\"lang\":{\"t\":\"MetaString\",\"c\":\"");
        out_.Append(language_);
        out_.Append("\"}");
    }
    // Vertical text runs right to left, and so do its pages (EPUB's spine).
    if (walker_.Counts().MostlyVertical()) {
        if (!first) out_.Append(',');
        out_.Append("\"page-progression-direction\":{\"t\":\"MetaString\",\"c\":\"rtl\"}");
    }
    out_.Append('}');
}

void OBPandocConversion::LogReport() {
    const OBWalkCounts& c = walker_.Counts();
    ReportWhatNoMarkupHolds(pictures_);
    report_.Add(OBREPORT::kWarichuInParentheses, c.warichus);
    report_.Add(OBREPORT::kKentenApproximated, c.kentens);
    report_.Add(OBREPORT::kTcyApproximated, c.tcys);
    if (options_.ruby == OBPANDOC::kRubyParentheses) report_.Add(OBREPORT::kRubyAsText, c.rubies);
    if (options_.ruby == OBPANDOC::kRubyBaseOnly) report_.Add(OBREPORT::kRubyLeftOut, c.rubies);
    // Paragraphs and runs name their styles; what the styles say is left to
    // the target's own styles.
    report_.Add(OBREPORT::kFormattingLeftOut,
                walker_.ParagraphStyleCount() + walker_.CharacterStyleCount());
    report_.Log();
}

// Links to pages go to anchors in the first paragraph of the page's first
// story (or, for pages no story begins on, the next one).
void OBPandocConversion::PageAnchors(int page, bool atEnd) {
    const int* linked = linkedPages_.IsEmpty() ? nullptr : &linkedPages_[0];
    for (int p = lastPage_ + 1; p <= page && p < walker_.Pages().Count(); ++p)
        if (std::binary_search(linked, linked + linkedPages_.Count(), p) && !dueAnchors_.Add(p))
            problems_.Report(OBERR::kOutOfMemory);
    if (page > lastPage_) lastPage_ = page;
    if (atEnd && !dueAnchors_.IsEmpty()) {
        Utf8Text open;
        open.Append("{\"t\":\"Para\",\"c\":[");
        Open(kBlockFrame, open, "]}");
        WriteDueAnchors();
        Close();
    }
}
