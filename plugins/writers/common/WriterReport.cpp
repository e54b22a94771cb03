#include "WriterReport.h"

#include <ombra/diagnostics.h>

OBWriterReport::OBWriterReport() : counts_(), logged_(false) {}

void OBWriterReport::Add(OBREPORT::KindEnum kind, long long count) {
    if (kind >= 0 && kind < OBREPORT::kKinds && count > 0) counts_[kind] += count;
}

long long OBWriterReport::Count(OBREPORT::KindEnum kind) const {
    return kind >= 0 && kind < OBREPORT::kKinds ? counts_[kind] : 0;
}

void OBWriterReport::Log() {
    if (logged_) return;
    logged_ = true;
    for (int kind = 0; kind < OBREPORT::kKinds; ++kind)
        if (counts_[kind] > 0)
            OBLoggerUtility::LogCount(OBREPORT::TextId(static_cast<OBREPORT::KindEnum>(kind)),
                                      counts_[kind]);
}
