// What the plug-ins' suites share: files read whole, a heap that refuses
// one allocation on demand (FailingHeap.cpp, linked into the programs that
// use it: every form of operator new and, while a FailHeapAfter lives,
// pugixml's allocations go through it) and a reader run as the pump runs it.
#ifndef OMBRA_TESTS_PLUGINS_SUPPORT_H
#define OMBRA_TESTS_PLUGINS_SUPPORT_H

#include <ombra/convertor.h>
#include <ombra/diagnostics.h>
#include <ombra/elements.h>
#include <ombra/memory.h>
#include <ombra/messages.h>
#include <ombra/preferences.h>
#include <ombra/typedstreams.h>

#include "support/DocumentBuilder.h"

#include <cstddef>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace plugin_test {

/// The whole file, or an empty string when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

/// Refuses the n-th allocation from now (0 = the next); the others succeed.
class FailHeapAfter {
public:
    explicit FailHeapAfter(long long n);
    ~FailHeapAfter();
    FailHeapAfter(const FailHeapAfter&) = delete;
    FailHeapAfter& operator=(const FailHeapAfter&) = delete;
    /// Whether an allocation was refused since; with `needed`, only one
    /// whose caller has no way without it (a nothrow new's caller has one,
    /// std::stable_sort's buffer say, and loses nothing).
    static bool Refused(bool needed = false);
};

/// An allocation from that heap, for a memory service that fails with it.
void* HeapAllocate(std::size_t n);

/// What a convertor makes of bytes; ok is ExtractData's answer, and the
/// conversion log's string ids land in log when given.
inline std::string ConvertBytes(OBConvertor* convertor, const std::string& bytes,
                                const Preferences* options, short& ok,
                                std::vector<unsigned>* log = nullptr) {
    OBConversionLogger logger;
    OBLoggerUtility::SetLogger(&logger);
    OBBufferStreamRead input(bytes.data(), bytes.size());
    OBMemXferBytes xfer;
    OBStream* output = OBStreamUtilRef::CreateMemoryStreamWrite(&xfer);
    ok = convertor->ExtractData(&input, output, options);
    delete output;
    OBLoggerUtility::SetLogger(nullptr);
    for (int i = 0; log && i < logger.GetStringCount(); ++i)
        log->push_back(logger.GetNthStringId(i));
    std::string text(static_cast<std::size_t>(xfer.Tell()), '\0');
    xfer.Seek(0, kSeekFromStart);
    if (!text.empty()) text.resize(static_cast<std::size_t>(xfer.Read(&text[0], text.size())));
    return text;
}

/// A reader run over bytes as the pump runs it (CanImportThis, then
/// GetStreamPrefs, `adjust` on the preference list, Init, the Elements);
/// everything stays until it is destroyed, which resets the reader. Without
/// memory for the reader or the stream nothing is converted. With
/// failAfter >= 0 the failAfter-th allocation of Init on the heap fails and,
/// with `failing` (a service on HeapAllocate), the memory service's too.
template <class Reader> class ReaderRun {
public:
    explicit ReaderRun(const std::string& bytes,
                       const std::function<void(OBPreferenceList&)>& adjust = nullptr,
                       long long failAfter = -1, OBMemoryService* failing = nullptr)
        : bytes_(bytes), reader_(new Reader),
          stream_(OBStreamUtilRef::CreateBufferStreamRead(bytes_.data(), bytes_.size())) {
        OBLoggerUtility::SetLogger(&logger_);
        if (!reader_ || !stream_) return; // no memory for them
        recognised = reader_->CanImportThis(stream_);
        OBPreferenceList prefs;
        reader_->GetStreamPrefs(stream_, &prefs);
        if (adjust) adjust(prefs);
        OBMemoryService* saved = OBMemoryHandler::GetMemoryService();
        if (failAfter >= 0 && failing) OBMemoryHandler::SetMemoryService(failing);
        {
            std::unique_ptr<FailHeapAfter> heap(failAfter >= 0 ? new FailHeapAfter(failAfter)
                                                               : nullptr);
            reader_->Init(stream_, &prefs);
            heapRefused = heap && FailHeapAfter::Refused(true);
        }
        OBMemoryHandler::SetMemoryService(saved);
        for (Element* e = reader_->GetFirstElement(); e; e = reader_->GetNextElement())
            top.push_back(e);
        error = OBErrorUtils::OBGetGlobalErrorCode();
        for (int i = 0; i < logger_.GetStringCount(); ++i) {
            log.push_back(logger_.GetNthStringId(i));
            for (int k = 0; k < logger_.GetDetailCount(i); ++k)
                details += std::string(logger_.GetNthDetail(i, k)) + "\n";
        }
    }
    ~ReaderRun() {
        if (reader_) reader_->Reset();
        OBLoggerUtility::SetLogger(nullptr);
        delete reader_;
        delete stream_;
    }
    ReaderRun(const ReaderRun&) = delete;
    ReaderRun& operator=(const ReaderRun&) = delete;

    bool Logged(int code) const {
        for (unsigned id : log)
            if (id == OBMessageId(code)) return true;
        return false;
    }
    /// The top-level Element of that kind, or null.
    Element* TopOf(EL::ElementTypeEnum kind) const {
        for (Element* e : top)
            if (e->GetElementType() == kind) return e;
        return nullptr;
    }
    /// The Elements of a kind below the top-level ones, in document order.
    std::vector<Element*> All(EL::ElementTypeEnum kind) const {
        std::vector<Element*> out;
        for (Element* e : top)
            for (Element* f : ombra_test::Descendants(e, kind))
                out.push_back(f);
        return out;
    }

    short recognised = 0;
    std::vector<Element*> top;
    std::vector<unsigned> log; ///< the conversion log's string ids
    std::string details;       ///< what the notes are about, one a line
    int error = 0;             ///< the per-thread error code after the last Element
    bool heapRefused = false;  ///< whether the heap refused one Init needed

private:
    std::string bytes_;
    Reader* reader_;
    OBStream* stream_;
    OBConversionLogger logger_;
};

} // namespace plugin_test

#endif
