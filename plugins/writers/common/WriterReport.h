// What a writer tells people it dropped: counted summaries by kind
// (WriterReport.def), logged once at the end of a conversion.
#ifndef OMBRA_WRITERS_REPORT_H
#define OMBRA_WRITERS_REPORT_H

#include <ombra/messages.h>

namespace OBREPORT {
enum KindEnum : int {
#define OB_WRITER_REPORT(Ident, Number, English, Japanese) Ident = Number,
#include "WriterReport.def"
};
constexpr int kNumbers[] = {
#define OB_WRITER_REPORT(Ident, Number, English, Japanese) Number,
#include "WriterReport.def"
};
constexpr int MaxNumber(int i = 0, int best = 0) {
    return i == static_cast<int>(sizeof kNumbers / sizeof *kNumbers)
               ? best
               : MaxNumber(i + 1, kNumbers[i] > best ? kNumbers[i] : best);
}
constexpr int kKinds = MaxNumber() + 1;
/// The resource id of a kind's English text (+1 for Japanese).
constexpr unsigned TextId(KindEnum kind) {
    return kOBReportBase + kOBLocaleBlock * static_cast<unsigned>(kind);
}
} // namespace OBREPORT

/// Counts per kind what one conversion dropped. Log hands each kind with a
/// count above 0 to the process's logger (OBLoggerUtility::LogCount), in
/// the table's order, once per conversion.
class OBWriterReport {
public:
    OBWriterReport();
    void Add(OBREPORT::KindEnum kind, long long count = 1);
    long long Count(OBREPORT::KindEnum kind) const;
    /// Logs the counts; later calls log nothing.
    void Log();

private:
    long long counts_[OBREPORT::kKinds];
    bool logged_;
};

#endif
