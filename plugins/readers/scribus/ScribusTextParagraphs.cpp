// Where a story's paragraphs end and which format they take: the frames of
// a chain and their default formats, para, trail and DefaultStyle, and the
// last paragraph with the lone surrogates cleaned up.
#include "ScribusText.h"
#include "UnitScan.h"

#include <ombra/utf16.h>

#include <cstdint>
#include <string>
#include <utility>

namespace scribus {
namespace detail {

StoryBuilder::StoryBuilder(Context& ctx, Story& story, const std::vector<std::string>& styleByIndex)
    : ctx_(ctx), story_(story), styleByIndex_(styleByIndex), length_(story.text.size()),
      limit_(ctx.options.maxStoryLength) {}

void StoryBuilder::BeginFrame() {
    frameText_ = length_;
    frameParas_ = story_.paragraphs.size();
    haveDefaults_ = false;
    open_.clear();
}

void StoryBuilder::EndFrame(int* defaults) {
    if (haveDefaults_ && defaults)
        *defaults = static_cast<int>(ctx_.formats.FrameDefaults(defaults_.style, defaults_.local));
}

void StoryBuilder::EndFormat(Role role) {
    formatReader_.End(ctx_);
    if (role == kParagraph) {
        CharacterAttributes none;
        EndParagraph(format_, std::string(), none, formatMemo_);
    } else if (role == kTrail) {
        trail_ = std::move(format_);
        haveTrail_ = true;
    } else {
        defaults_ = std::move(format_);
        haveDefaults_ = true;
    }
}

// The paragraph format of p, which is a copy of the paragraph memo numbered
// memo (or -1): that memo's format is kept while no paragraph memo was
// written over it.
std::uint32_t StoryBuilder::ParagraphFormat(const Para& p, int memo) {
    if (memo < 0) return ctx_.formats.Paragraph(p.style, p.local);
    MemoFormat& known = memoFormats_[memo];
    // Memo k is written when nextParagraphMemo steps from a number that is k
    // modulo 4 (StartFormat).
    const unsigned now = ctx_.nextParagraphMemo;
    if (!known.valid || now - known.since > ((static_cast<unsigned>(memo) - known.since) & 3u)) {
        known.format = ctx_.formats.Paragraph(p.style, p.local);
        known.since = now;
        known.valid = true;
    }
    return known.format;
}

void StoryBuilder::EndParagraph(const Para& p, const std::string& cstyle,
                                const CharacterAttributes& local, int memo) {
    if (full_) return;
    const char16_t sep = kParagraphSeparator;
    // The separator takes the character format of the text before it, so
    // runs stay few.
    if (!story_.runs.empty()) {
        if (Fit(1)) {
            Put(&sep, 1);
            ++story_.runs.back().length;
        }
    } else {
        Append(&sep, 1, cstyle, local);
    }
    if (full_ && length_ == paraStart_) return;
    const std::uint32_t end = static_cast<std::uint32_t>(length_);
    story_.paragraphs.push_back(
        ParagraphRun{paraStart_, end - paraStart_, ParagraphFormat(p, memo)});
    paraStart_ = end;
}

void StoryBuilder::Finish() {
    std::u16string& t = story_.text;
    t.resize(length_); // without its room
    // Surrogates that lost their partner are not text. Decoded text has
    // whole pairs only: a surrogate comes alone from a Unicode attribute, or
    // where the limit cut a pair.
    bool surrogates = (loneSurrogates_ || full_) &&
                      obscan::HasSurrogate(reinterpret_cast<const unsigned short*>(t.data()),
                                           static_cast<long long>(t.size()));
    for (std::size_t i = 0; surrogates && i < t.size(); ++i) {
        if (OBUTF16::IsHighSurrogate(t[i]) && i + 1 < t.size() &&
            OBUTF16::IsLowSurrogate(t[i + 1])) {
            ++i;
        } else if (OBUTF16::IsSurrogate(t[i])) {
            t[i] = 0xFFFD;
            ctx_.WarnOnce(Warning::Code::kEncoding, "surrogate",
                          "a lone surrogate in text is replaced by U+FFFD");
        }
    }
    static const Para kNone;
    const Para& last = haveTrail_ ? trail_ : sawOld_ ? lastOldPara_ : kNone;
    story_.paragraphs.push_back(
        ParagraphRun{paraStart_, static_cast<std::uint32_t>(story_.text.size()) - paraStart_,
                     ctx_.formats.Paragraph(last.style, last.local)});
}

} // namespace detail
} // namespace scribus
