// Helpers for the text writer's suites: an output stream that captures or
// refuses bytes, the thread set-up a conversion needs, and one call that
// runs a builder-made document through OBTextConversion.
#ifndef OMBRA_TESTS_TEXTWRITER_SUPPORT_H
#define OMBRA_TESTS_TEXTWRITER_SUPPORT_H

#include "TextConversion.h"
#include "TextWriterOptions.h"

#include <ombra/convertorlumservice.h>
#include <ombra/diagnostics.h>
#include <ombra/scripts.h>
#include <ombra/typedstreams.h>
#include <ombra/utf8.h>

#include "support/ConversionState.h"
#include "support/DocumentBuilder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace textwriter_test {

using namespace ombra_test;

/// An output stream that keeps what it is given in a std::string (off the
/// memory service, so it works while allocations fail) and, when told,
/// refuses everything after the first `accept` bytes.
class CaptureOutput : public OBXferBytes {
public:
    explicit CaptureOutput(long long accept = -1) : accept_(accept) { stream_.SetXferBytes(this); }
    CaptureOutput(const CaptureOutput&) = delete;
    CaptureOutput& operator=(const CaptureOutput&) = delete;
    unsigned long long Read(void*, unsigned long long) override { return 0; }
    unsigned long long Write(const void* buffer, unsigned long long count) override {
        ++writes_;
        unsigned long long room =
            accept_ < 0 ? count : static_cast<unsigned long long>(accept_) - bytes_.size();
        unsigned long long take = count < room ? count : room;
        bytes_.append(static_cast<const char*>(buffer), take);
        if (take < count) state_ = kStreamError;
        return take;
    }
    unsigned long long Seek(long long, OBSeekFromWhere) override { return bytes_.size(); }
    unsigned long long Tell() override { return bytes_.size(); }
    void Flush() override {}
    OBStreamState GetStreamState() override { return state_; }
    void SetEndOfStream() override {}

    OBStream* Stream() { return &stream_; }
    const std::string& Data() const { return bytes_; }
    int Writes() const { return writes_; }

private:
    long long accept_;
    std::string bytes_;
    OBStreamState state_ = kStreamOK;
    int writes_ = 0;
    COBStreamWrite stream_;
};

/// Installs a conversion logger for the lifetime of the object.
class Logger {
public:
    Logger() { OBLoggerUtility::SetLogger(&logger_); }
    ~Logger() { OBLoggerUtility::SetLogger(nullptr); }
    bool Has(OBERR::ConversionErrorEnum code) const {
        for (int i = 0; i < logger_.GetStringCount(); ++i)
            if (logger_.GetNthStringId(i) == OBMessageId(code)) return true;
        return false;
    }

private:
    OBConversionLogger logger_;
};

/// What one conversion made.
struct Result {
    std::string bytes;
    OBTextProblems problems;
    long long replaced = 0;
    long long written = 0;
    bool failed = false;
    int stories = 0;
    int leftOut = 0;
    int lastErrorCode = 0;

    int Count(OBERR::ConversionErrorEnum code) const { return problems.Count(code); }
};

/// The fixture of the direct suites: the thread's conversion state (element
/// ids, error code), the core's text service (unless the thread has one)
/// and a logger.
class TextWriterTest : public ::testing::Test {
protected:
    TextWriterTest() {
        OBErrorUtils::OBResetErrorUtils();
        OBErrorUtils::OBInitErrorUtils();
        if (!OBLumHandler::GetLumService()) {
            service_ = new OBConvertorLumService;
            OBLumHandler::SetLumService(service_);
        }
    }
    ~TextWriterTest() override {
        if (service_) {
            OBLumHandler::ResetLumService();
            delete service_;
        }
        OBErrorUtils::OBResetErrorUtils();
    }

    using Setter = std::function<void(OBTextWriterOptions&)>;

    /// UTF-8 and LF line ends, the easiest to read in expectations, changed
    /// by `set`.
    static OBTextWriterOptions Plain(const Setter& set = nullptr) {
        OBTextWriterOptions options;
        options.encoding = OBTW::kUTF8;
        options.platform = OBTW::kUnix;
        if (set) set(options);
        return options;
    }

    /// The bytes of the builder's document with Plain(set).
    std::string Write(DocumentBuilder& builder, const Setter& set = nullptr) {
        return Convert(builder.Build(), Plain(set)).bytes;
    }

    /// Runs every Element of the builder's document through a conversion.
    Result Convert(DocumentBuilder& builder, const OBTextWriterOptions& options,
                   OBStream* output = nullptr) {
        return Convert(builder.Build(), options, output);
    }
    Result Convert(const std::vector<Element*>& elements, const OBTextWriterOptions& options,
                   OBStream* output = nullptr) {
        CaptureOutput capture;
        OBTextConversion conversion(output ? output : capture.Stream(), options);
        for (Element* e : elements)
            conversion.PutElement(e);
        conversion.PutElement(nullptr);
        Result result;
        result.bytes = capture.Data();
        result.problems = conversion.GetProblems();
        result.replaced = conversion.GetReplacedCharacters();
        result.written = conversion.GetBytesWritten();
        result.failed = conversion.HasWriteFailed();
        result.stories = conversion.GetStoriesWritten();
        result.leftOut = conversion.GetStoriesLeftOut();
        result.lastErrorCode = OBErrorUtils::OBGetGlobalErrorCode();
        return result;
    }

    ombra_test::ConversionState state_;
    OBConvertorLumService* service_ = nullptr;
    Logger logger_;
};

} // namespace textwriter_test

#endif
