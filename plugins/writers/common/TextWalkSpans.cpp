// The spans of a text: hyperlinks and targets joined to the runs that
// make spans, and the events that open, end and resume spans so that they
// nest, around rubies, tables and paragraph ends.
#include "TextWalk.h"

#include <algorithm>

using namespace obwalk;

// Hyperlinks on a story's text and the targets in it join the spans; then
// spans go in the order they begin, the outer first.
void OBStoryWalker::TextWalk::CollectSpans() {
    const long long length = info.length;
    if (info.kind == OBWALK::kStoryText && story != kNoStory) {
        const LinkRange* first = w.linkRanges_.IsEmpty() ? nullptr : &w.linkRanges_[0];
        const LinkRange* last = first + w.linkRanges_.Count();
        const LinkRange* found = std::lower_bound(
            first, last, story, [](const LinkRange& a, unsigned b) { return a.story < b; });
        for (; found != last && found->story == story; ++found) {
            long long start = found->start, end = found->end < 0 ? length : found->end;
            if (start < 0 || end > length || start > end) {
                w.problems_.Report(OBERR::kBadValue);
                start = std::max(0LL, std::min(start, length));
                end = std::max(start, std::min(end, length));
            }
            if (SpanStart(start, end))
                spans.Add(
                    {start, end, w.links_[found->link].hyperlink, OBWALK::kLink, found->link});
        }
        const OBWalkTarget* firstTarget = w.targets_.IsEmpty() ? nullptr : &w.targets_[0];
        const OBWalkTarget* lastTarget = firstTarget + w.targets_.Count();
        targets = std::lower_bound(firstTarget, lastTarget, story,
                                   [](const OBWalkTarget& a, unsigned b) { return a.story < b; });
        while (targets + targetCount != lastTarget && targets[targetCount].story == story)
            ++targetCount;
    }
    for (const Span& s : spans) {
        OBWalkCounts& counts = w.counts_;
        if (s.kind == OBWALK::kRuby) ++counts.rubies;
        if (s.kind == OBWALK::kKenten) ++counts.kentens;
        if (s.kind == OBWALK::kWarichu) ++counts.warichus;
        if (s.kind == OBWALK::kTcy) ++counts.tcys;
    }
    if (spans.Count() > 1)
        SortStably(&spans[0], spans.Count(), [](const Span& a, const Span& b) {
            if (a.start != b.start) return a.start < b.start;
            if (a.end != b.end) return a.end > b.end;
            return a.kind < b.kind;
        });
}

bool OBStoryWalker::UncutSpanAcross(long long position, long long from, long long& start,
                                    long long& end) const {
    if (!currentWalk_ || currentWalk_->spans.IsEmpty()) return false;
    const auto& spans = currentWalk_->spans;
    const TextWalk::Span* first = &spans[0];
    const TextWalk::Span* last = first + spans.Count();
    const TextWalk::Span* s = std::lower_bound(
        first, last, from, [](const TextWalk::Span& a, long long b) { return a.start < b; });
    for (; s != last && s->start < position; ++s)
        if ((s->kind == OBWALK::kRuby || s->kind == OBWALK::kTcy) && s->end > position) {
            start = s->start, end = s->end;
            return true;
        }
    return false;
}

// ---- span events ------------------------------------------------------------------------

OBWalkSpan OBStoryWalker::TextWalk::SpanEvent(int index, long long at) const {
    const Span& s = spans[index];
    OBWalkSpan event = {static_cast<OBWALK::SpanKind>(s.kind),     s.element, s.start, s.end, at,
                        s.link >= 0 ? &w.links_[s.link] : nullptr, false,     false,   false};
    return event;
}

void OBStoryWalker::TextWalk::BeginSpan(int index, bool resumed) {
    SpanStack inside;
    const bool ruby = spans[index].kind == OBWALK::kRuby;
    if (ruby) EndSpansInside(index, inside);
    const bool cut = ruby && RubyCut(index);
    if (!open.Push(index)) {
        w.problems_.Report(OBERR::kLimitExceeded);
        return;
    }
    OBWalkSpan event = SpanEvent(index, here);
    event.resumed = resumed;
    event.cut = cut;
    w.handler_.BeginSpan(event);
    while (inside.count > 0)
        BeginSpan(inside.Pop(), true);
}

// Whether the piece of a ruby that begins here ends before the ruby: a
// paragraph end or a table before its end cuts it, and so does a span
// open around it that ends first (a crossing ruby).
bool OBStoryWalker::TextWalk::RubyCut(int index) {
    const long long end = spans[index].end;
    for (int k = 0; k < open.count; ++k)
        if (spans[open.items[k]].end < end) return true;
    // A paragraph end that is the ruby's last character ends it whole.
    return NextParagraphEnd() < end - 1 || NextTable() < end;
}

long long OBStoryWalker::TextWalk::NextParagraphEnd() {
    if (paragraphEndAt < here)
        paragraphEndAt = std::find(text + here, text + info.length, kParagraphEnd) - text;
    return paragraphEndAt;
}

// The position of the first table anchor not walked yet; past the text
// when none is left.
long long OBStoryWalker::TextWalk::NextTable() {
    if (tableAnchor < nextAnchor) {
        tableAnchor = nextAnchor;
        while (tableAnchor < anchors.Count() && anchors[tableAnchor].kind != kTable)
            ++tableAnchor;
    }
    return tableAnchor < anchors.Count() ? anchors[tableAnchor].position : info.length + 1;
}

// A ruby's base is never cut: the spans open where it begins that end
// inside it end before it and go on inside it, with those opened inside
// them (up to another ruby, which crossing rubies cut).
void OBStoryWalker::TextWalk::EndSpansInside(int ruby, SpanStack& inside) {
    int lowest = open.count;
    for (int k = open.count - 1; k >= 0 && spans[open.items[k]].kind != OBWALK::kRuby; --k)
        if (spans[open.items[k]].end < spans[ruby].end) lowest = k;
    while (open.count > lowest) {
        int index = open.Pop();
        OBWalkSpan event = SpanEvent(index, here);
        event.continues = true;
        inside.Push(index);
        w.handler_.EndSpan(event);
    }
}

// Ends the spans that end at position; the spans opened inside one of
// them that go on are ended first and resumed after it.
void OBStoryWalker::TextWalk::EndSpansAt(long long position) {
    here = position;
    int lowest = -1;
    for (int k = 0; k < open.count && lowest < 0; ++k)
        if (spans[open.items[k]].end <= position) lowest = k;
    if (lowest < 0) return;
    SpanStack goOn;
    while (open.count > lowest) {
        int index = open.Pop();
        OBWalkSpan event = SpanEvent(index, position);
        event.continues = spans[index].end > position;
        if (event.continues) goOn.Push(index);
        w.handler_.EndSpan(event);
    }
    while (goOn.count > 0)
        BeginSpan(goOn.Pop(), true);
}

// Ends every open span; those that go on past position are kept to resume.
void OBStoryWalker::TextWalk::EndAllSpans(SpanStack& resumeLater, long long position) {
    SpanStack goOn;
    while (open.count > 0) {
        int index = open.Pop();
        OBWalkSpan event = SpanEvent(index, position);
        event.continues = spans[index].end > position;
        if (event.continues) goOn.Push(index);
        w.handler_.EndSpan(event);
    }
    resumeLater.count = 0;
    while (goOn.count > 0)
        resumeLater.Push(goOn.Pop());
}

void OBStoryWalker::TextWalk::ResumeSpans(SpanStack& spansToResume) {
    for (int k = 0; k < spansToResume.count; ++k)
        BeginSpan(spansToResume.items[k], true);
    spansToResume.count = 0;
}
