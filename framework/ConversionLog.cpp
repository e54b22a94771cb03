// The conversion log, the process-wide logger and the threads' own loggers.
#include <ombra/diagnostics.h>
#include <ombra/memory.h>
#include <ombra/resources.h>

#include <boost/thread/tss.hpp>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>

struct OBConversionLogger::Entry {
    unsigned int id;
    int details;
    int omitted;
    long long count;
};

struct OBConversionLogger::Detail {
    int entry;
    char* text; // from the memory service
};

namespace {

std::atomic<OBConversionLogger*> gLogger{nullptr};

// The pointer is not owned: the thread's end leaves the logger alone.
void KeepLogger(OBConversionLogger*) {}
boost::thread_specific_ptr<OBConversionLogger> gThreadLogger(KeepLogger);

// Grows an array of T from the memory service to hold one more than count.
template <class T> bool Room(T*& items, int count, int& capacity) {
    if (count < capacity) return true;
    if (capacity > INT_MAX / 2) return false;
    int grown = capacity ? 2 * capacity : 16;
    auto* fresh = static_cast<T*>(OBLibAllocate(static_cast<std::size_t>(grown) * sizeof(T)));
    if (!fresh) return false;
    if (count > 0) std::memcpy(fresh, items, static_cast<std::size_t>(count) * sizeof(T));
    OBLibFree(items);
    items = fresh;
    capacity = grown;
    return true;
}

char* CopyText(const char* text) {
    std::size_t n = std::strlen(text);
    auto* copy = static_cast<char*>(OBLibAllocate(n + 1));
    if (copy) std::memcpy(copy, text, n + 1);
    return copy;
}

} // namespace

OBConversionLogger::OBConversionLogger(OBL::LocaleIDEnum locale)
    : count_(0), entries_(nullptr), capacity_(0), details_(nullptr), detailCount_(0),
      detailCapacity_(0), locale_(locale) {}

OBConversionLogger::OBConversionLogger(const OBConversionLogger& other)
    : OBConversionLogger(other.locale_) {
    *this = other;
}

// Without memory for all of the other's entries the copy keeps its own.
OBConversionLogger& OBConversionLogger::operator=(const OBConversionLogger& other) {
    if (this == &other) return *this;
    OBConversionLogger copy(other.locale_);
    for (int i = 0; i < other.count_; ++i) {
        copy.AddLogEntry(other.entries_[i].id);
        if (copy.count_ != i + 1) return *this;
        copy.entries_[i].omitted = other.entries_[i].omitted;
        copy.entries_[i].count = other.entries_[i].count;
    }
    for (int k = 0; k < other.detailCount_; ++k) {
        const Detail& d = other.details_[k];
        int before = copy.detailCount_;
        copy.AddLogEntry(other.entries_[d.entry].id, d.text);
        if (copy.detailCount_ == before) return *this;
    }
    Clear();
    std::swap(count_, copy.count_);
    std::swap(entries_, copy.entries_);
    std::swap(capacity_, copy.capacity_);
    std::swap(details_, copy.details_);
    std::swap(detailCount_, copy.detailCount_);
    std::swap(detailCapacity_, copy.detailCapacity_);
    locale_ = other.locale_;
    return *this;
}

OBConversionLogger::~OBConversionLogger() {
    Clear();
}

void OBConversionLogger::Clear() {
    for (int k = 0; k < detailCount_; ++k)
        OBLibFree(details_[k].text);
    OBLibFree(details_);
    OBLibFree(entries_);
    details_ = nullptr;
    entries_ = nullptr;
    count_ = capacity_ = detailCount_ = detailCapacity_ = 0;
}

int OBConversionLogger::Find(unsigned int stringId) const {
    for (int i = 0; i < count_; ++i)
        if (entries_[i].id == stringId) return i;
    return -1;
}

void OBConversionLogger::AddLogEntry(unsigned int stringId) {
    AddLogCount(stringId, 1);
}

void OBConversionLogger::AddLogCount(unsigned int stringId, long long count) {
    if (count < 0) count = 0;
    int n = Find(stringId);
    if (n >= 0) {
        entries_[n].count += count < LLONG_MAX - entries_[n].count ? count : 0;
        return;
    }
    if (!Room(entries_, count_, capacity_)) return;
    entries_[count_++] = Entry{stringId, 0, 0, count};
}

void OBConversionLogger::AddLogEntry(unsigned int stringId, const char* detail) {
    AddLogEntry(stringId);
    int n = Find(stringId);
    if (n < 0 || !detail || !*detail) return;
    // A detail quotes the input (a name, a value) whatever its length: its
    // first bytes say what it is about.
    char shortened[kMaxDetailBytes + 4];
    std::size_t length = strnlen(detail, kMaxDetailBytes + 1);
    if (length > static_cast<std::size_t>(kMaxDetailBytes)) {
        length = kMaxDetailBytes;
        while (length > 0 && (static_cast<unsigned char>(detail[length]) & 0xC0) == 0x80)
            --length;
        std::memcpy(shortened, detail, length);
        std::memcpy(shortened + length, "\xE2\x80\xA6", 4); // an ellipsis and the end
        detail = shortened;
    }
    for (int k = 0; k < detailCount_; ++k)
        if (details_[k].entry == n && std::strcmp(details_[k].text, detail) == 0) return;
    char* text = nullptr;
    if (entries_[n].details < kMaxDetails && Room(details_, detailCount_, detailCapacity_))
        text = CopyText(detail);
    if (!text) {
        ++entries_[n].omitted;
        return;
    }
    details_[detailCount_++] = Detail{n, text};
    ++entries_[n].details;
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

long long OBConversionLogger::GetNthCount(int n) const {
    return n >= 0 && n < count_ ? entries_[n].count : 0;
}

unsigned int OBConversionLogger::GetNthStringId(int n) const {
    return n >= 0 && n < count_ ? entries_[n].id : 0;
}

int OBConversionLogger::GetDetailCount(int n) const {
    return n >= 0 && n < count_ ? entries_[n].details : 0;
}

const char* OBConversionLogger::GetNthDetail(int n, int k) const {
    if (n < 0 || n >= count_ || k < 0) return nullptr;
    for (int i = 0; i < detailCount_; ++i)
        if (details_[i].entry == n && k-- == 0) return details_[i].text;
    return nullptr;
}

int OBConversionLogger::GetOmittedDetailCount(int n) const {
    return n >= 0 && n < count_ ? entries_[n].omitted : 0;
}

short OBConversionLogger::Reserve(int entries) {
    while (capacity_ < entries)
        if (!Room(entries_, capacity_, capacity_)) return 0;
    return 1;
}

short OBConversionLogger::HasEntry(unsigned int stringId) const {
    return Find(stringId) >= 0 ? 1 : 0;
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

void OBLoggerUtility::SetThreadLogger(OBConversionLogger* logger) {
    gThreadLogger.reset(logger);
}

OBConversionLogger* OBLoggerUtility::GetThreadLogger() {
    return gThreadLogger.get();
}

void OBLoggerUtility::LogEntry(unsigned int stringId) {
    LogEntry(stringId, nullptr);
}

void OBLoggerUtility::LogEntry(unsigned int stringId, const char* detail) {
    OBConversionLogger* logger = gThreadLogger.get();
    if (!logger) logger = gLogger.load();
    if (logger) logger->AddLogEntry(stringId, detail);
}

void OBLoggerUtility::LogCount(unsigned int stringId, long long count) {
    OBConversionLogger* logger = gThreadLogger.get();
    if (!logger) logger = gLogger.load();
    if (logger) logger->AddLogCount(stringId, count);
}
