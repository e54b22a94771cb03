#include "WriterProblems.h"

#include <ombra/diagnostics.h>

OBWriterProblems::OBWriterProblems() : counts_() {}

void OBWriterProblems::Report(OBERR::ConversionErrorEnum code) {
    unsigned id = OBMessageId(code);
    OBErrorUtils::OBSetGlobalErrorCode(code, id);
    int n = code; // any int may arrive as a code
    int slot = n >= 0 && n < kCodes ? n : 0;
    if (counts_[slot]++ == 0) OBLoggerUtility::LogEntry(id);
}

int OBWriterProblems::Count(OBERR::ConversionErrorEnum code) const {
    int n = code;
    return n >= 0 && n < kCodes ? counts_[n] : 0;
}

int OBWriterProblems::Total() const {
    int total = 0;
    for (int n : counts_)
        total += n;
    return total;
}
