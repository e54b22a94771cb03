#include "ScribusTestSupport.h"

#include <ombra/storedelements.h>
#include <ombra/strings.h>
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include "support/TestSupport.h"

#include <pugixml.hpp>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>

// The heap of this binary can refuse from the n-th allocation on: every
// form of operator new and pugixml's allocations go through Allocate. A
// refused nothrow new does not count as refused: its callers have a way
// without the memory (std::stable_sort's buffer), and nothing is lost.
namespace {

std::atomic<long long> gHeapCountdown{-1};
std::atomic<bool> gHeapRefused{false};

void* Allocate(std::size_t n, bool counts = true) {
    if (gHeapCountdown.load() >= 0 && gHeapCountdown.fetch_sub(1) <= 0) {
        if (counts) gHeapRefused = true;
        return nullptr;
    }
    return std::malloc(n ? n : 1);
}

// Failing the heap for the life of the object.
class FailHeapAfter {
public:
    explicit FailHeapAfter(long long n) {
        gHeapRefused = false;
        pugi::set_memory_management_functions([](std::size_t n) { return Allocate(n); }, std::free);
        gHeapCountdown = n;
    }
    ~FailHeapAfter() { gHeapCountdown = -1; }
};

} // namespace

// ThreadSanitizer brings its own operator new; the heap sweeps do not run
// under it.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define OMBRA_SANITIZER_OWNS_NEW 1
#endif
#endif
#ifndef OMBRA_SANITIZER_OWNS_NEW
void* operator new(std::size_t n) {
    if (void* p = Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n, false);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n, false);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
#endif

namespace scribus_test {

Conversion::Conversion(const std::string& bytes,
                       const std::function<void(OBPreferenceList&)>& adjust,
                       long long failHeapAfter)
    : bytes_(bytes), reader_(new ScribusReader), stream_(nullptr), error_(0) {
    stream_ = OBStreamUtilRef::CreateBufferStreamRead(bytes_.data(), bytes_.size());
    OBLoggerUtility::SetLogger(&logger_);
    if (!reader_ || !stream_) return; // no memory for them
    OBPreferenceList prefs;
    reader_->GetStreamPrefs(stream_, &prefs);
    if (adjust) adjust(prefs);
    {
        std::unique_ptr<FailHeapAfter> failHeap;
        if (failHeapAfter >= 0) failHeap.reset(new FailHeapAfter(failHeapAfter));
        reader_->Init(stream_, &prefs);
        heapRefused_ = gHeapRefused;
    }
    for (Element* e = reader_->GetFirstElement(); e; e = reader_->GetNextElement())
        top_.push_back(e);
    error_ = OBErrorUtils::OBGetGlobalErrorCode();
    for (int i = 0; i < logger_.GetStringCount(); ++i)
        log_.push_back(logger_.GetNthStringId(i));
}

Conversion::~Conversion() {
    if (reader_) reader_->Reset();
    OBLoggerUtility::SetLogger(nullptr);
    delete reader_;
    delete stream_;
}

Element* Conversion::TopOf(EL::ElementTypeEnum kind) const {
    for (Element* e : top_)
        if (e->GetElementType() == kind) return e;
    return nullptr;
}

bool Conversion::Logged(int code) const {
    for (unsigned id : log_)
        if (id == OBMessageId(code)) return true;
    return false;
}

} // namespace scribus_test
