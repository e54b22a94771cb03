// What the structured writers' conversions (HTML, pandoc) share: the walk
// of the Elements with its problems, report and output, and the guards that
// keep a failing accessor or a lack of memory inside the conversion.
#ifndef OMBRA_WRITERS_WALK_CONVERSION_H
#define OMBRA_WRITERS_WALK_CONVERSION_H

#include "StoryWalker.h"
#include "WriterOutput.h"
#include "WriterReport.h"

class OBWalkConversion : protected OBWalkHandler {
public:
    OB_MEMORY_OPERATORS
    OBWalkConversion(const OBWalkConversion&) = delete;
    OBWalkConversion& operator=(const OBWalkConversion&) = delete;
    ~OBWalkConversion() override;

    /// One top-level Element; null ends the conversion (Finish).
    void PutElement(Element* element);
    /// Writes the document (EndDocument, where the walk stopped before it)
    /// and logs the report; later Elements are ignored.
    void Finish();

    const OBWriterProblems& GetProblems() const { return problems_; }
    const OBWriterReport& GetReport() const { return report_; }
    long long GetBytesWritten() const { return output_.GetBytesWritten(); }
    bool HasWriteFailed() const { return output_.HasFailed(); }

protected:
    /// output is not owned. The walk defers stories and resolves formatting.
    OBWalkConversion(OBStream* output, bool includeHidden);
    /// Counts what the format cannot hold into report_ and logs it.
    virtual void LogReport() = 0;
    /// Counts what neither structured format holds: stories, pictures
    /// beyond those written (picturesWritten), shapes, links of items,
    /// variables and breaks as text, object styles, index and contents
    /// styles.
    void ReportWhatNoMarkupHolds(long long picturesWritten);
    /// Where a link goes, as a URL: its own, or "#page-N" (the page's
    /// number) and "#target-N" for the anchors the writers mark. False,
    /// with no URL, for one that would run a script where it is followed
    /// (javascript:, vbscript:, data:), as a browser reads its scheme.
    bool LinkUrl(const OBWalkLink& link, obwalk::Utf8Text& url) const;

    OBWriterProblems problems_;
    OBWriterReport report_;
    OBWriterOutput output_;
    OBStoryWalker walker_;
    bool written_; // EndDocument has written the document

private:
    bool finished_;
    long long failures_; // Utf8Text::Failures() when the conversion began
};

#endif
