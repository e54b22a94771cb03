// What the builders of DocumentBuilder.h share: an ElementBuilder that
// reports nothing, and the values every run and style may set.
#ifndef OMBRA_TESTS_SUPPORT_DOCUMENTBUILDERINTERNAL_H
#define OMBRA_TESTS_SUPPORT_DOCUMENTBUILDERINTERNAL_H

#include "DocumentBuilder.h"

#include <ReaderBuilder.h>

#include <ombra/valueutil.h>
#include <ombra/vocabulary.h>

namespace ombra_test {

// Test documents have nothing to report: a builder that stays quiet.
struct Quiet : obreader::ProblemSink {
    void Report(int) override {}
};

struct Building {
    Quiet quiet;
    ElementList unused;
    obreader::ElementBuilder b{quiet, unused};
};

inline void SetScript(obreader::ElementBuilder& b, Element* e, int script) {
    if (script >= 0)
        b.Enum(e, AN::kWritingScript, &ValueUtil::CreateValueWritingScriptEnum,
               static_cast<WSE::WritingScriptEnum>(script));
}

// The local formatting a RunStyle asks for.
inline void SetFormat(obreader::ElementBuilder& b, Element* e, const RunStyle& style) {
    if (style.bold >= 0) b.Bool(e, AN::kBold, style.bold != 0);
    if (style.italic >= 0) b.Bool(e, AN::kItalics, style.italic != 0);
    if (style.fontSize > 0) b.Length(e, AN::kFontSize, style.fontSize);
    if (style.color != kNoId) b.Id(e, AN::kColorRef, style.color);
    if (!style.font.empty()) b.Utf8(e, AN::kFont, style.font);
}

} // namespace ombra_test

#endif
