// The per-thread error code and error string id.
#include <ombra/diagnostics.h>
#include <ombra/resources.h>

#include <ombra/messages.h>

#include "framework/FrameworkInternal.h"

#include <boost/thread/tss.hpp>

#include <memory>
#include <new>

namespace {

struct ErrorValues {
    OB_MEMORY_OPERATORS
    int code = 0;
    unsigned int stringId = 0;
};

boost::thread_specific_ptr<ErrorValues> gErrorValues;

// The thread's values, made when needed; null when no memory is left.
ErrorValues* Values() {
    if (!gErrorValues.get()) {
        std::unique_ptr<ErrorValues> fresh(new ErrorValues); // freed if the slot throws
        gErrorValues.reset(fresh.get());
        static_cast<void>(fresh.release()); // the slot owns it now
    }
    return gErrorValues.get();
}

} // namespace

void OBErrorUtils::OBSetGlobalErrorCode(int code, unsigned int stringId) {
    if (ErrorValues* values = Values()) {
        values->code = code;
        values->stringId = stringId;
    }
}

int OBErrorUtils::OBGetGlobalErrorCode() {
    ErrorValues* values = Values();
    return values ? values->code : 0;
}

unsigned int OBErrorUtils::OBGetGlobalErrorStringId() {
    ErrorValues* values = Values();
    return values ? values->stringId : 0;
}

COBString OBErrorUtils::OBGetGlobalErrorString() {
    COBString text;
    OBLoadResourceText(OBGetGlobalErrorStringId(), LocaleUtil::GetCurrentLocale(), text);
    return text;
}

void OBErrorUtils::OBInitErrorUtils() {
    Values();
}

void OBErrorUtils::OBResetErrorUtils() {
    gErrorValues.reset();
}

bool obframework::ReportEscapedException() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        OBLoggerUtility::LogEntry(OBMessageId(OBERR::kOutOfMemory));
        OBErrorUtils::OBSetGlobalErrorCode(OBERR::kOutOfMemory, OBMessageId(OBERR::kOutOfMemory));
        return true;
    } catch (...) {
        return false;
    }
}
