// The conversion log and the process-wide logger.
#include <ombra/diagnostics.h>
#include <ombra/memory.h>
#include <ombra/resources.h>

#include <atomic>
#include <climits>
#include <cstring>

namespace {
std::atomic<OBConversionLogger*> gLogger{nullptr};
}

OBConversionLogger::OBConversionLogger(OBL::LocaleIDEnum locale)
    : count_(0), ids_(nullptr), capacity_(0), locale_(locale) {}

OBConversionLogger::OBConversionLogger(const OBConversionLogger& other)
    : count_(0), ids_(nullptr), capacity_(0), locale_(other.locale_) {
    *this = other;
}

OBConversionLogger& OBConversionLogger::operator=(const OBConversionLogger& other) {
    if (this == &other) return *this;
    locale_ = other.locale_;
    if (other.count_ > capacity_) {
        auto* fresh = static_cast<unsigned int*>(
            OBLibAllocate(static_cast<std::size_t>(other.count_) * sizeof(unsigned int)));
        // Without memory the copy keeps its own entries rather than half of the other's.
        if (!fresh) return *this;
        OBLibFree(ids_);
        ids_ = fresh;
        capacity_ = other.count_;
    }
    if (other.count_ > 0)
        std::memcpy(ids_, other.ids_,
                    static_cast<std::size_t>(other.count_) * sizeof(unsigned int));
    count_ = other.count_;
    return *this;
}

OBConversionLogger::~OBConversionLogger() {
    OBLibFree(ids_);
}

void OBConversionLogger::AddLogEntry(unsigned int stringId) {
    for (int i = 0; i < count_; ++i)
        if (ids_[i] == stringId) return;
    if (count_ == capacity_) {
        if (capacity_ > INT_MAX / 2) return;
        int grown = capacity_ ? 2 * capacity_ : 16;
        auto* fresh = static_cast<unsigned int*>(
            OBLibAllocate(static_cast<std::size_t>(grown) * sizeof(unsigned int)));
        if (!fresh) return;
        if (count_ > 0)
            std::memcpy(fresh, ids_, static_cast<std::size_t>(count_) * sizeof(unsigned int));
        OBLibFree(ids_);
        ids_ = fresh;
        capacity_ = grown;
    }
    ids_[count_++] = stringId;
}

int OBConversionLogger::GetStringCount() const {
    return count_;
}

COBString OBConversionLogger::GetNthString(int n) const {
    COBString text;
    if (n >= 0 && n < count_) OBLoadResourceText(ids_[n], locale_, text);
    return text;
}

unsigned int OBConversionLogger::GetNthStringId(int n) const {
    return n >= 0 && n < count_ ? ids_[n] : 0;
}

void OBConversionLogger::SetLocale(OBL::LocaleIDEnum locale) {
    locale_ = locale;
}

OBL::LocaleIDEnum OBConversionLogger::GetLocale() const {
    return locale_;
}

void OBLoggerUtility::SetLogger(OBConversionLogger* logger) {
    gLogger.store(logger);
}

OBConversionLogger* OBLoggerUtility::GetLogger() {
    return gLogger.load();
}

void OBLoggerUtility::LogEntry(unsigned int stringId) {
    if (OBConversionLogger* logger = gLogger.load()) logger->AddLogEntry(stringId);
}
