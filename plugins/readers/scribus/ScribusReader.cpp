// The Scribus reader plug-in (scribus.obrd, reader id 17): recognises
// Scribus documents of every generation, plain or gzip compressed, by their
// content, and yields them as Elements (docs/document-model.md).
//
// Preferences (GetStreamPrefs; display names at OBReaderResourceBase(17) +
// 16 x index + locale, in scribus.strings):
//   0  Boolean  "Include master-page items"    (1)
//   1  Boolean  "Include non-printing layers"  (1)
//   2  Boolean  "Include hidden layers"        (1)
//   3  Boolean  "Include pasteboard items"     (1)
// The pump switches on constituent 14 of a group at index 3 of a reader's
// list; index 3 here is a plain Boolean, so that adjustment leaves the list
// alone. New preferences go after index 3, and index 3 stays no group.
#include "ScribusMapper.h"
#include "ScribusParser.h"
#include "ScribusReader.h"

#include <ReaderPreferences.h>

#include <ombra/diagnostics.h>
#include <ombra/messages.h>
#include <ombra/valueutil.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

int CodeOf(scribus::Warning::Code code) {
    using C = scribus::Warning::Code;
    switch (code) {
    case C::kMalformedXml:
        return OBERR::kMalformedInput;
    case C::kTruncated:
        return OBERR::kTruncatedInput;
    case C::kDecompression:
        return OBERR::kMalformedInput;
    case C::kBadNumber:
        return OBERR::kBadValue;
    case C::kBadReference:
    case C::kChainLoop:
    case C::kChainDangling:
        return OBERR::kBrokenReference;
    case C::kLimit:
        return OBERR::kLimitExceeded;
    case C::kEncoding:
        return OBERR::kMalformedInput;
    case C::kUnsupported:
        return OBERR::kUnsupportedFeature;
    case C::kOutOfMemory:
        return OBERR::kOutOfMemory;
    }
    return OBERR::kMalformedInput;
}

constexpr bool kPreferenceDefaults[ScribusReader::kPreferenceCount] = {true, true, true, true};

} // namespace

ScribusReader::ScribusReader() : OBListReader(kReaderId, kPreferenceDefaults, kPreferenceCount) {}

ScribusReader::~ScribusReader() = default;

// Touches no member: probes run beside conversions on the same object.
short ScribusReader::CanImportThis(OBStream* input) {
    if (!input) return 0;
    const long long position = input->Tell();
    if (position < 0) return 0;
    unsigned char head[scribus::kDetectBytes];
    long long n = input->XferByte(head, static_cast<long long>(sizeof head));
    input->Seek(position, kSeekFromStart);
    if (n <= 0) return 0;
    return scribus::Detect(head, static_cast<std::size_t>(n)) == 1 ? 1 : 0;
}

void ScribusReader::Read(OBStream* input, const bool* flags) {
    ScribusMapOptions options;
    options.masterItems = flags[0];
    options.nonPrintingLayers = flags[1];
    options.hiddenLayers = flags[2];
    options.pasteboardItems = flags[3];
    Convert(input, options);
}

namespace {

// A stream the parser reads as it goes, and from the start again when it
// has to repair the document.
class StreamInput : public scribus::Input {
public:
    StreamInput(OBStream* stream, long long start) : stream_(stream), start_(start) {}
    long long Read(char* data, std::size_t size) override {
        long long n =
            stream_->XferByte(reinterpret_cast<unsigned char*>(data), static_cast<long long>(size));
        return n > 0 ? n : 0; // a failed read ends the input, as it ends a document
    }
    bool Rewind() override { return stream_->Seek(start_, kSeekFromStart) == start_; }

private:
    OBStream* stream_;
    long long start_;
};

// The whole input, up to the parser's limit, for a stream that cannot go
// back or that is larger than the limit.
std::string ReadWhole(OBStream* input, std::size_t limit, obreader::ProblemSink& problems) {
    std::string bytes;
    try {
        for (std::size_t chunk = 65536;; chunk = std::min<std::size_t>(chunk * 2, 1 << 24)) {
            const std::size_t size = bytes.size();
            bytes.resize(size + chunk);
            long long n = input->XferByte(reinterpret_cast<unsigned char*>(&bytes[size]),
                                          static_cast<long long>(chunk));
            bytes.resize(size + static_cast<std::size_t>(n > 0 ? n : 0));
            if (bytes.size() > limit) {
                bytes.resize(limit);
                problems.Report(OBERR::kLimitExceeded);
                break;
            }
            if (n < static_cast<long long>(chunk)) break;
        }
    } catch (const std::bad_alloc&) {
        problems.Report(OBERR::kOutOfMemory);
    }
    return bytes;
}

} // namespace

void ScribusReader::Convert(OBStream* input, const ScribusMapOptions& options) {
    obreader::LoggingProblems problems;
    if (!input) {
        problems.Report(OBERR::kUnreadableInput);
        return;
    }
    const scribus::ParseOptions limits;
    const long long start = input->Tell();
    const long long end = start >= 0 ? input->Seek(0, kSeekFromEnd) : -1;
    if (start >= 0) input->Seek(start, kSeekFromStart);
    try {
        scribus::ParseResult parsed;
        if (start >= 0 && end >= start &&
            static_cast<unsigned long long>(end - start) <= limits.maxInputBytes) {
            StreamInput in(input, start);
            parsed = scribus::Parse(in, limits);
        } else {
            std::string bytes = ReadWhole(input, limits.maxInputBytes, problems);
            if (bytes.empty()) {
                problems.Report(OBERR::kUnreadableInput);
                return;
            }
            parsed = scribus::Parse(reinterpret_cast<const unsigned char*>(bytes.data()),
                                    bytes.size(), limits);
        }
        for (const scribus::Warning& w : parsed.warnings)
            problems.Report(CodeOf(w.code), w.message);
        switch (parsed.status) {
        case scribus::ParseResult::Status::kNotScribus:
            problems.Report(OBERR::kUnreadableInput);
            return;
        case scribus::ParseResult::Status::kFailed:
            // A failure says why in its warning, reported above.
            if (parsed.warnings.empty()) problems.Report(OBERR::kUnreadableInput);
            return;
        default:
            break;
        }
        version_ = parsed.document.version;
        ScribusBuildElements(parsed.document, options, problems, elements_);
    } catch (const std::bad_alloc&) {
        problems.Report(OBERR::kOutOfMemory);
    }
}

void ScribusReader::GetFormats(Format*& formats, short& count) {
    count = 2;
    formats = new Format[2];
    if (!formats) {
        count = 0;
        return;
    }
    formats[0] = Format("Scribus", 0x534C4120u /* 'SLA ' */, 0x53435242u /* 'SCRB' */);
    formats[1] = Format("Scribus gz", 0x534C415Au /* 'SLAZ' */, 0x53435242u);
}

OB_DECLARE_READER(ScribusReader)
OB_DECLARE_PLUGIN_VERSION(1, 0)
