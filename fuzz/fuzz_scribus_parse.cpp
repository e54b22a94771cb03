// Scribus detection and parsing on arbitrary bytes: never a crash, a hang or
// a read outside the input.
#include "CompressedMutator.h"
#include "plugins/readers/scribus/ScribusParser.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    scribus::Detect(data, size);
    scribus::ParseOptions limits;
    limits.maxInputBytes = 8u << 20; // keeps each run quick
    limits.maxItems = 20000;
    scribus::ParseResult result = scribus::Parse(data, size, limits);
    // The runs of every story cover its text exactly: what a reader hands
    // on as character positions must never point outside the text.
    for (const auto& story : result.document.stories) {
        uint64_t at = 0;
        for (const auto& run : story.paragraphs) {
            if (run.start != at) __builtin_trap();
            at += run.length;
        }
        if (!story.paragraphs.empty() && at != story.text.size()) __builtin_trap();
        at = 0;
        for (const auto& run : story.runs) {
            if (run.start != at) __builtin_trap();
            at += run.length;
        }
        if (!story.runs.empty() && at != story.text.size()) __builtin_trap();
    }
    return 0;
}
