#include "TextProblems.h"

#include <ombra/diagnostics.h>

OBTextProblems::OBTextProblems() : counts_() {}

void OBTextProblems::Report(OBERR::ConversionErrorEnum code) {
    unsigned id = OBMessageId(code);
    OBErrorUtils::OBSetGlobalErrorCode(code, id);
    int slot = code >= 0 && code < kCodes ? code : 0;
    if (counts_[slot]++ == 0) OBLoggerUtility::LogEntry(id);
}

int OBTextProblems::Count(OBERR::ConversionErrorEnum code) const {
    return code >= 0 && code < kCodes ? counts_[code] : 0;
}

int OBTextProblems::Total() const {
    int total = 0;
    for (int n : counts_)
        total += n;
    return total;
}
