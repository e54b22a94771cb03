// Tables and pictures anchored in a text, as a pandoc Table and an Image
// (in a Para of its own when the picture is not inline).
#include "PandocConversion.h"
#include "PandocInlines.h"

#include <cctype>
#include <cstring>

using namespace obwalk;
using namespace obpandoc;

void OBPandocConversion::OnTable(Element* table, const OBWalkRun&) {
    if (blockCount_ == 0) return;
    CloseParagraph();
    CloseStyleDiv();
    Top().table = true;
    const OBWalkText* text = walker_.CurrentText();
    int depth = text ? text->depth + 1 : 1;
    OBWalkTable grid;
    if (depth > OBWALK::kMaxDepth) {
        problems_.Report(OBERR::kLimitExceeded);
        return;
    }
    if (!walker_.ReadTable(table, grid) || grid.columns <= 0) return;
    Item();
    out_.Append("{\"t\":\"Table\",\"c\":[[\"\",[],[]],[null,[]],[");
    for (int c = 0; c < grid.columns; ++c)
        out_.Append(c ? ",[{\"t\":\"AlignDefault\"},{\"t\":\"ColWidthDefault\"}]"
                      : "[{\"t\":\"AlignDefault\"},{\"t\":\"ColWidthDefault\"}]");
    out_.Append("],");
    int bounds[4] = {0, grid.headerRows, grid.rows.Count() - grid.footerRows, grid.rows.Count()};
    static const char* const kOpen[] = {"[[\"\",[],[]],[", "[[[\"\",[],[]],0,[],[",
                                        "[[\"\",[],[]],["};
    static const char* const kClose[] = {"]],", "]]],", "]]"};
    for (int part = 0; part < 3; ++part) {
        out_.Append(kOpen[part]);
        for (int r = bounds[part]; r < bounds[part + 1]; ++r) {
            const OBWalkRow row = grid.rows[r];
            out_.Append(r > bounds[part] ? ",[[\"\",[],[]],[" : "[[\"\",[],[]],[");
            for (int k = row.firstCell; k < row.firstCell + row.cellCount; ++k) {
                const OBWalkCell cell = grid.cells[k];
                out_.Append(k > row.firstCell ? ",[[\"\",[],[]],{\"t\":\"AlignDefault\"},"
                                              : "[[\"\",[],[]],{\"t\":\"AlignDefault\"},");
                out_.AppendNumber(cell.rowSpan);
                out_.Append(',');
                out_.AppendNumber(cell.columnSpan);
                out_.Append(",[");
                // The cell's blocks, in a list of their own.
                int base = frames_.Count();
                bool pushed = frames_.Push(kList, Utf8Text(), "");
                if (cell.text && pushed) walker_.Walk(cell.text, OBWALK::kCellText, depth + 1);
                frames_.Forget(base);
                out_.Append("]]");
            }
            out_.Append("]]");
        }
        out_.Append(kClose[part]);
    }
    out_.Append("]}");
    Flush(false);
}

namespace {

// pandoc reads a local picture by its path, escapes undone, but not by a
// file: URL with an escape in it ("a%20b.jpg"): a file of this machine
// goes by its path. A drive's stays a URL, since no path here reaches it.
void PandocTarget(const Utf8Text& url, Utf8Text& target) {
    const char* s = url.Data();
    const bool local =
        url.Size() > 8 && std::strncmp(s, "file:///", 8) == 0 &&
        !(url.Size() > 9 && std::isalpha(static_cast<unsigned char>(s[8])) && s[9] == ':');
    if (local)
        target.Append(s + 7, url.Size() - 7);
    else
        target.Append(url);
}

} // namespace

void OBPandocConversion::OnPicture(const OBWalkPicture& picture) {
    ++pictures_;
    if (picture.path.IsEmpty()) return; // counted by the walker
    Utf8Text image, url, target, width;
    Utf8Text located;
    LocatePicture(picture.path, options_.documentFolder, located);
    PathToUrl(located, options_.pictureFolder, url);
    PandocTarget(url, target);
    double points = picture.box.Width().Value();
    if (points > 0 && points < 1e6) {
        width.AppendReal(points, 2);
        width.Append("pt");
    }
    image.Append("{\"t\":\"Image\",\"c\":[");
    Attr(image, "", nullptr, width.IsEmpty() ? nullptr : "width", &width);
    image.Append(",[");
    Inlines(image, picture.alt);
    image.Append("],[");
    Quoted(image, target);
    image.Append(",\"\"]]}");
    Utf8Text href;
    if (picture.link && linkDepth_ == 0 && !LinkUrl(*picture.link, href))
        report_.Add(OBREPORT::kScriptLinksLeftOut);
    if (picture.inlined) {
        if (blockCount_ == 0) return;
        EnsureParagraph();
    } else {
        PageAnchors(picture.page, false);
        Utf8Text open;
        open.Append("{\"t\":\"Para\",\"c\":[");
        Open(kBlockFrame, open, "]}");
    }
    if (!href.IsEmpty()) {
        Utf8Text open, close;
        open.Append("{\"t\":\"Link\",\"c\":[[\"\",[],[]],[");
        close.Append("],[");
        Quoted(close, href);
        close.Append(",\"\"]]}");
        Open(kSpanFrame, open, close.Data());
    }
    Leaf(image);
    if (!href.IsEmpty()) Close();
    if (!picture.inlined) Close();
}
