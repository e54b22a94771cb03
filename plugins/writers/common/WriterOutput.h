// The output end of the structured writers: UTF-8 text collected in memory
// and handed to the output stream in blocks.
#ifndef OMBRA_WRITERS_OUTPUT_H
#define OMBRA_WRITERS_OUTPUT_H

#include "WalkValues.h"
#include "WriterProblems.h"

class OBStream;

/// Writes text to a stream. When the stream refuses bytes (it takes fewer
/// than offered or its state turns to kStreamError), or there is none, it
/// reports OBERR::kWriteFailed once and writes nothing more; when memory
/// runs out for the text, OBERR::kOutOfMemory once.
class OBWriterOutput {
public:
    OB_MEMORY_OPERATORS
    /// output is not owned.
    OBWriterOutput(OBStream* output, OBWriterProblems& problems);
    OBWriterOutput(const OBWriterOutput&) = delete;
    OBWriterOutput& operator=(const OBWriterOutput&) = delete;

    /// Writes the text and empties it.
    void Write(obwalk::Utf8Text& text);
    void Write(const char* text);
    void Write(const char* text, long long n);
    bool HasFailed() const { return failed_; }
    long long GetBytesWritten() const { return written_; }

private:
    OBStream* output_;
    OBWriterProblems& problems_;
    long long written_;
    bool failed_;
    bool memoryReported_;
};

#endif
