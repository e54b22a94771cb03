#include "WriterProblems.h"

#include <ombra/diagnostics.h>

OBWriterProblems::OBWriterProblems() : counts_() {}

void OBWriterProblems::Report(OBERR::ConversionErrorEnum code) {
    unsigned id = OBMessageId(code);
    OBErrorUtils::OBSetGlobalErrorCode(code, id);
    int slot = code >= 0 && code < kCodes ? code : 0;
    if (counts_[slot]++ == 0) OBLoggerUtility::LogEntry(id);
}

int OBWriterProblems::Count(OBERR::ConversionErrorEnum code) const {
    return code >= 0 && code < kCodes ? counts_[code] : 0;
}

int OBWriterProblems::Total() const {
    int total = 0;
    for (int n : counts_)
        total += n;
    return total;
}
