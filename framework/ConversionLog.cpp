// The conversion log and the process-wide logger.
#include <ombra/diagnostics.h>
#include <ombra/memory.h>
#include <ombra/resources.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {
std::atomic<OBConversionLogger*> gLogger{nullptr};
}

OBConversionLogger::OBConversionLogger(OBL::LocaleIDEnum locale)
    : count_(0), entries_(nullptr), capacity_(0), locale_(locale) {}

OBConversionLogger::OBConversionLogger(const OBConversionLogger& other)
    : count_(0), entries_(nullptr), capacity_(0), locale_(other.locale_) {
    *this = other;
}

OBConversionLogger& OBConversionLogger::operator=(const OBConversionLogger& other) {
    if (this == &other) return *this;
    locale_ = other.locale_;
    if (other.count_ > capacity_) {
        auto* fresh = static_cast<Entry*>(
            OBLibAllocate(static_cast<std::size_t>(other.count_) * sizeof(Entry)));
        // Without memory the copy keeps its own entries rather than half of the other's.
        if (!fresh) return *this;
        OBLibFree(entries_);
        entries_ = fresh;
        capacity_ = other.count_;
    }
    if (other.count_ > 0)
        std::memcpy(entries_, other.entries_,
                    static_cast<std::size_t>(other.count_) * sizeof(Entry));
    count_ = other.count_;
    return *this;
}

OBConversionLogger::~OBConversionLogger() {
    OBLibFree(entries_);
}

void OBConversionLogger::AddLogEntry(unsigned int stringId) {
    AddLogEntry(stringId, 1);
}

void OBConversionLogger::AddLogEntry(unsigned int stringId, long long count) {
    if (count < 0) count = 0;
    for (int i = 0; i < count_; ++i)
        if (entries_[i].id == stringId) {
            entries_[i].count += count < LLONG_MAX - entries_[i].count ? count : 0;
            return;
        }
    if (count_ == capacity_) {
        if (capacity_ > INT_MAX / 2) return;
        int grown = capacity_ ? 2 * capacity_ : 16;
        auto* fresh =
            static_cast<Entry*>(OBLibAllocate(static_cast<std::size_t>(grown) * sizeof(Entry)));
        if (!fresh) return;
        if (count_ > 0)
            std::memcpy(fresh, entries_, static_cast<std::size_t>(count_) * sizeof(Entry));
        OBLibFree(entries_);
        entries_ = fresh;
        capacity_ = grown;
    }
    entries_[count_++] = Entry{stringId, count};
}

int OBConversionLogger::GetStringCount() const {
    return count_;
}

COBString OBConversionLogger::GetNthString(int n) const {
    COBString text;
    if (n < 0 || n >= count_) return text;
    OBLoadResourceText(entries_[n].id, locale_, text);
    // "{n}" stands for the count; the text's script is kept, and digits are
    // the same in every code page.
    const char* chars = text.GrabCString();
    if (!chars || !std::strstr(chars, "{n}")) return text;
    char number[24];
    std::snprintf(number, sizeof number, "%lld", entries_[n].count);
    COBString counted(text.GetWSEScript());
    for (const char* c = chars; *c;) {
        const char* mark = std::strstr(c, "{n}");
        const char* stop = mark ? mark : c + std::strlen(c);
        counted.Append(c, static_cast<long long>(stop - c));
        if (!mark) break;
        counted.Append(number, static_cast<long long>(std::strlen(number)));
        c = mark + 3;
    }
    return counted;
}

unsigned int OBConversionLogger::GetNthStringId(int n) const {
    return n >= 0 && n < count_ ? entries_[n].id : 0;
}

long long OBConversionLogger::GetNthCount(int n) const {
    return n >= 0 && n < count_ ? entries_[n].count : 0;
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

void OBLoggerUtility::LogCount(unsigned int stringId, long long count) {
    if (OBConversionLogger* logger = gLogger.load()) logger->AddLogEntry(stringId, count);
}
