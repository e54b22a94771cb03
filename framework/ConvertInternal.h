// What the files of the convenience layer (<ombra/convert.h>) share.
#ifndef OMBRA_FRAMEWORK_CONVERTINTERNAL_H
#define OMBRA_FRAMEWORK_CONVERTINTERNAL_H

#include <ombra/convert.h>
#include <ombra/convertor.h>
#include <ombra/memory.h>
#include <ombra/plugin.h>
#include <ombra/streams.h>

#include <string>

namespace obconvert {

/// Output bytes in one block from the memory service that doubles as it
/// fills; a write that finds no memory stores nothing and sets kStreamError.
class GrowingBytes : public OBXferBytes {
public:
    OB_MEMORY_OPERATORS
    GrowingBytes() = default;
    GrowingBytes(const GrowingBytes&) = delete;
    GrowingBytes& operator=(const GrowingBytes&) = delete;
    ~GrowingBytes() override;

    unsigned long long Read(void* buffer, unsigned long long count) override;
    unsigned long long Write(const void* buffer, unsigned long long count) override;
    unsigned long long Seek(long long offset, OBSeekFromWhere from) override;
    unsigned long long Tell() override { return position_; }
    void Flush() override {}
    OBStreamState GetStreamState() override { return state_; }
    void SetEndOfStream() override { size_ = position_; }

    const unsigned char* Data() const { return data_; }
    unsigned long long Size() const { return size_; }

private:
    unsigned char* data_ = nullptr;
    unsigned long long size_ = 0;
    unsigned long long capacity_ = 0;
    unsigned long long position_ = 0;
    OBStreamState state_ = kStreamOK;
};

/// Fills result with a failure; returns it.
ombra::Result& Fail(ombra::Result& result, ombra::Status status, const std::string& subject,
                    int systemError = 0);

/// The input as a stream, or null with result filled in: a regular file of
/// PathInput::kSmallest bytes or more read as the reader asks (a PathInput),
/// anything else over its bytes read whole into memory.
OBStream* OpenSource(const ombra::Source& source, ombra::Result& result);
/// Writes a whole output; false with result filled in.
bool WriteSink(const ombra::Sink& sink, const unsigned char* data, unsigned long long size,
               ombra::Result& result);

/// A convertor of the layer's own, made for one call: the shared plug-in
/// managers, and the writer given (a plug-in's root or a writer of the
/// layer's). The pump is the core's ExtractData.
class CallConvertor : public OBConvertor {
public:
    CallConvertor(ReaderManager* readers, OBWriter* writer);
    ~CallConvertor() override;
    bool Ready() const { return data_ != nullptr; }
    OBReader* Reader() const { return data_ ? data_->reader : nullptr; }
};

/// Whether writer names a format written through pandoc.
bool WrittenThroughPandoc(const std::string& writer);
/// The options for the pandoc writer, whose document pandoc turns into the
/// format options name.
ombra::Options PandocWriterOptions(const ombra::Options& options);
/// Converts with the pandoc writer into memory and writes what pandoc makes
/// of its document: kPandocFailed when pandoc is missing or fails.
ombra::Result ConvertThroughPandoc(const ombra::Converter& converter, const ombra::Source& input,
                                   const ombra::Sink& output, const ombra::Options& options);

/// A writer of the layer that collects a publication's metadata.
OBWriter* NewMetadataWriter(ombra::Metadata& metadata);

/// UTF-8 of a string of the core (8-bit text read in its script).
std::string Utf8Of(const IOBString* text);

} // namespace obconvert

#endif
