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
    : ctx_(ctx), story_(&story), styleByIndex_(styleByIndex), length_(story.text.size()),
      limit_(ctx.options.maxStoryLength), scratch_(ctx.textScratch) {}

void StoryBuilder::Restart(Story& story) {
    story_ = &story;
    anchoredIds.clear();
    unknownStyleIndex = -1;
    defaults_.reset();
    format_.shared.reset();
    paraStart_ = 0;
    trail_.reset();
    haveTrail_ = false;
    lastOldPara_.reset();
    full_ = softHyphenPending_ = loneSurrogates_ = false;
    length_ = story.text.size();
    // The formats read before are forgotten: a new story warns afresh.
    localValid_ = false;
    localPrefixes_[0] = localPrefixes_[1] = 0;
    local_.effects.reset();
    known_ = Known();
    cstyle_.clear();
    for (Features& f : features_) {
        f.valid = false;
        f.prefix = 0;
    }
}

void StoryBuilder::BeginFrame() {
    frameText_ = length_;
    frameParas_ = story_->paragraphs.size();
    haveDefaults_ = false;
    depth_ = 0;
}

void StoryBuilder::EndFrame(int* defaults) {
    if (haveDefaults_ && defaults) *defaults = static_cast<int>(ReadingFormat(*defaults_, true));
}

void StoryBuilder::EndFormat(Role role) {
    formatReader_.End(ctx_);
    if (role == kParagraph) {
        CharacterAttributes none;
        EndParagraph(format_, std::string(), none);
    } else if (role == kTrail) {
        trail_ = Taken(format_);
        haveTrail_ = true;
    } else {
        defaults_ = Taken(format_);
        haveDefaults_ = true;
    }
}

// The paragraph format of p. Frames mostly repeat a memo's reading, which
// keeps its format index once found.
std::uint32_t StoryBuilder::ParagraphFormat(const Para& p) const {
    if (p.shared) return ReadingFormat(*p.shared, false);
    return ctx_.formats.Paragraph(p.style, p.local);
}

// The format of r, kept in it once found.
std::uint32_t StoryBuilder::ReadingFormat(ParagraphReading& r, bool frameDefaults) const {
    if (r.hasFormat) return r.format;
    r.format = frameDefaults ? ctx_.formats.FrameDefaults(r.style, r.local)
                             : ctx_.formats.Paragraph(r.style, r.local);
    r.hasFormat = true;
    return r.format;
}

void StoryBuilder::Own(Para& p) {
    if (!p.shared) return;
    p.style = p.shared->style;
    p.local = p.shared->local;
    p.shared.reset();
}

std::shared_ptr<ParagraphReading> StoryBuilder::Taken(Para& from) {
    if (from.shared) return std::move(from.shared);
    auto r = std::make_shared<ParagraphReading>();
    r->style = std::move(from.style);
    r->local = std::move(from.local);
    return r;
}

void StoryBuilder::EndParagraph(const Para& p, const std::string& cstyle,
                                const CharacterAttributes& local) {
    if (full_) return;
    const char16_t sep = kParagraphSeparator;
    // The separator takes the character format of the text before it, so
    // runs stay few.
    if (!story_->runs.empty()) {
        if (Fit(1)) {
            Put(&sep, 1);
            ++story_->runs.back().length;
        }
    } else {
        Append(&sep, 1, cstyle, local);
    }
    if (full_ && length_ == paraStart_) return;
    const std::uint32_t end = static_cast<std::uint32_t>(length_);
    story_->paragraphs.push_back(ParagraphRun{paraStart_, end - paraStart_, ParagraphFormat(p)});
    paraStart_ = end;
}

void StoryBuilder::Finish() {
    std::u16string& t = story_->text;
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
    const std::uint32_t format = haveTrail_ ? ReadingFormat(*trail_, false)
                                            : ParagraphFormat(lastOldPara_ ? *lastOldPara_ : kNone);
    story_->paragraphs.push_back(ParagraphRun{
        paraStart_, static_cast<std::uint32_t>(story_->text.size()) - paraStart_, format});
}

} // namespace detail
} // namespace scribus
