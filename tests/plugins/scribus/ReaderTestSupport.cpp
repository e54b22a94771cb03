#include "ScribusTestSupport.h"

#include <ombra/storedelements.h>
#include <ombra/strings.h>
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include "support/TestSupport.h"

#include "plugins/PluginTestSupport.h"

#include <memory>

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
        std::unique_ptr<plugin_test::FailHeapAfter> failHeap;
        if (failHeapAfter >= 0) failHeap.reset(new plugin_test::FailHeapAfter(failHeapAfter));
        reader_->Init(stream_, &prefs);
        heapRefused_ = failHeap && plugin_test::FailHeapAfter::Refused(true);
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
