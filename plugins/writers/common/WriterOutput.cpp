#include "WriterOutput.h"

#include <ombra/streams.h>

#include <cstring>

OBWriterOutput::OBWriterOutput(OBStream* output, OBWriterProblems& problems)
    : output_(output), problems_(problems), written_(0), failed_(false), memoryReported_(false) {}

void OBWriterOutput::Write(obwalk::Utf8Text& text) {
    if (text.Failed() && !memoryReported_) {
        memoryReported_ = true;
        problems_.Report(OBERR::kOutOfMemory);
    }
    Write(text.Data(), text.Size());
    text.Clear();
}

void OBWriterOutput::Write(const char* text) {
    Write(text, static_cast<long long>(std::strlen(text)));
}

void OBWriterOutput::Write(const char* text, long long n) {
    if (failed_ || n <= 0) return;
    long long wrote =
        output_ ? output_->XferByte(reinterpret_cast<unsigned char*>(const_cast<char*>(text)), n)
                : 0;
    if (wrote > 0) written_ += wrote;
    if (!output_ || wrote < n || output_->GetStreamState() == kStreamError) {
        failed_ = true;
        problems_.Report(OBERR::kWriteFailed);
    }
}
