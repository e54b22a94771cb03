// The walk over one text (a story's, a note's or a cell's): its units and
// their scripts, its runs and anchors in text order, and the events that
// hand them to the writer, position by position.
#include "StoryWalker.h"

#include "UnitScan.h"
#include "WalkFormat.h"

#include <ombra/memory.h>
#include <ombra/streams.h>
#include <ombra/typedstreams.h>
#include <ombra/views.h>

#include <algorithm>
#include <cstdint>
#include <new>

using namespace obwalk;

namespace {

// A story text larger than this is cut (1 GiB of UTF-16).
constexpr long long kMaxTextBytes = 1LL << 30;
// Spans open at once beyond this are dropped: crossing spans are ended and
// resumed around each other, which must stay bounded.
constexpr int kMaxOpenSpans = 32;

constexpr unsigned short kParagraphEnd = 0x2029;
constexpr unsigned short kLineBreak = 0x2028;
constexpr unsigned short kFrameBreak = 0x000C;
constexpr unsigned short kObject = 0xFFFC;
// The most a script held in a byte may be; others need ints.
constexpr int kMostByteScript = 254;

bool IsSpecial(unsigned short c) {
    return c == kParagraphEnd || c == kLineBreak || c == kFrameBreak || c == kObject || c == '\t' ||
           c == '\r' || c == '\n';
}

// An owned block from the memory service.
template <class T> struct Block {
    T* data = nullptr;
    Block() = default;
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    ~Block() { OBLibFree(data); }
    bool Allocate(long long n) {
        data = static_cast<T*>(OBLibAllocate(static_cast<std::size_t>(n) * sizeof(T)));
        return data != nullptr;
    }
};

// Sorts stably; lists mostly arrive in order already, and then stay as
// they are without the sort's buffer and merges.
template <class T, class Less> void SortStably(T* first, int count, Less less) {
    if (count > 1 && !std::is_sorted(first, first + count, less))
        std::stable_sort(first, first + count, less);
}

// Room for one resolver, made and unmade in place as the walk moves on.
// Indices of open spans, outermost first.
struct SpanStack {
    int items[kMaxOpenSpans];
    int count = 0;
    bool Push(int index) {
        if (count >= kMaxOpenSpans) return false;
        items[count++] = index;
        return true;
    }
    int Pop() { return items[--count]; }
};

template <class R> class Slot {
public:
    Slot() = default;
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot() { Clear(); }
    template <class A> A* Make(A* primary, A* secondary) {
        Clear();
        if (!primary || !secondary) return primary ? primary : secondary;
        made_ = new (storage_) R(primary, secondary);
        return made_;
    }
    void Clear() {
        if (made_) made_->~R();
        made_ = nullptr;
    }

private:
    alignas(R) unsigned char storage_[sizeof(R)];
    R* made_ = nullptr;
};

// The kind of Element a list of a ChildStory holds, and the span kind for
// those that become spans; false for lists that hold no runs or anchors.
bool ListedKind(EL::ElementTypeEnum list, EL::ElementTypeEnum& item, int& spanKind) {
    switch (list) {
    case EL::kParagraphRunList:
        item = EL::kParagraphRun;
        return true;
    case EL::kCharacterRunList:
        item = EL::kCharacterRun;
        return true;
    case EL::kRubiRunList:
        item = EL::kRubiRun, spanKind = OBWALK::kRuby;
        return true;
    case EL::kKentenRunList:
        item = EL::kKentenRun, spanKind = OBWALK::kKenten;
        return true;
    case EL::kWarichuRunList:
        item = EL::kWarichuRun, spanKind = OBWALK::kWarichu;
        return true;
    case EL::kTCYRunList:
        item = EL::kTCYRun, spanKind = OBWALK::kTcy;
        return true;
    case EL::kFootnoteList:
        item = EL::kFootnote;
        return true;
    case EL::kTableRunList:
        item = EL::kTableRun;
        return true;
    case EL::kVariableRunList:
        item = EL::kVariableRun;
        return true;
    default:
        return false;
    }
}

} // namespace

struct OBStoryWalker::TextWalk {
    struct Span {
        long long start;
        long long end;
        Element* element;
        int kind; // OBWALK::SpanKind, or the list order for runs
        int link; // index into links_, or -1; for a run, 1 once it gave its units their script
    };
    enum AnchorKind : int { kFootnote = 0, kTable = 1, kVariable = 2 };
    struct Anchor {
        long long position;
        int kind;
        Element* element;
        bool claims; // stands on its own U+FFFC
    };

    OBStoryWalker& w;
    OBWalkText info;
    unsigned story;
    Block<unsigned short> units;          // a copy of the text, where one is needed
    const unsigned short* text = nullptr; // the units read: in units or the stream's own
    // A unit's script in a byte; where some run gives one outside 0..254
    // (bad input) the values are kept in wideScripts instead.
    Block<unsigned char> scripts;
    Block<int> wideScripts;
    OBBaseTypeCollection<Span> paragraphs; // by start
    OBBaseTypeCollection<Span> characterRuns;
    OBBaseTypeCollection<Span> spans;     // by start, then the longer first
    OBBaseTypeCollection<Anchor> anchors; // by position
    SpanStack open;
    SpanStack resume;         // spans to resume at the next paragraph
    long long claimedAt = -1; // the U+FFFC an anchor stood on last
    const OBWalkTarget* targets = nullptr;
    int targetCount = 0;
    ValueIdRefList* inlineItems = nullptr;
    int nextInline = 0;

    // The paragraph and run now, with their formatting.
    OBWalkParagraph paragraph{};
    bool inParagraph = false;
    OBWalkRun run{};
    int runIndex = -1; // into characterRuns by start
    int nextRun = 0;
    Slot<OBMResolveParagraphAttributes> paragraphFormat;
    Slot<OBMResolveCharacterAttributes> paragraphCharacterFormat;
    Slot<OBMResolveCharacterAttributes> runStyleFormat;
    Slot<OBMResolveCharacterAttributes> runFormat;
    bool runStale = true;
    bool runsOverlap = false; // else a run's units all have its script

    TextWalk(OBStoryWalker& walker, unsigned storyId) : w(walker), info(), story(storyId) {}

    bool Load(Element* childStory);
    bool ReadText(OBStream* stream, long long bytes);
    void CollectRuns(Element* childStory);
    void CollectSpans();
    void AssignScripts();
    bool Widen();
    Element* ParagraphAt(long long i) const;
    // Moves a span's start past the paragraph ends it begins with, which
    // would make a piece without text; false when nothing is left.
    bool SpanStart(long long& start, long long end) const {
        while (start < end && text[start] == kParagraphEnd)
            ++start;
        return start < end;
    }
    void Walk();

    // Events.
    const OBWalkRun& RunAt(long long i);
    void BeginParagraph(long long start);
    void EndParagraph(long long end, bool hasEnd);
    void BeginSpan(int index, bool resumed);
    void EndSpansInside(int ruby, SpanStack& inside);
    void EndSpansAt(long long position);
    void EndAllSpans(SpanStack& resumeLater, long long position);
    void ResumeSpans(SpanStack& spansToResume);
    void Anchors(long long i, int& next);
    void Character(long long& i);
    long long NextEvent(long long i, int nextSpan, int nextAnchor, int nextTarget) const;
    OBWalkSpan SpanEvent(int index) const;
};

// ---- loading ------------------------------------------------------------------------

bool OBStoryWalker::TextWalk::Load(Element* childStory) {
    auto* streamValue =
        dynamic_cast<ValueStream*>(OBGetAttributeValue(childStory, AN::kTextStream));
    OBStream* stream = nullptr;
    if (streamValue) streamValue->Get(stream);
    if (!stream) {
        w.problems_.Report(OBERR::kMalformedInput);
        return false;
    }
    long long bytes = stream->Seek(0, kSeekFromEnd);
    stream->Seek(0, kSeekFromStart);
    if (bytes > kMaxTextBytes) {
        w.problems_.Report(OBERR::kLimitExceeded);
        bytes = kMaxTextBytes;
    }
    if (bytes % 2 != 0) {
        w.problems_.Report(OBERR::kMalformedInput);
        --bytes;
    }
    if (bytes > 0) {
        if (!scripts.Allocate(bytes / 2) || !ReadText(stream, bytes)) {
            w.problems_.Report(OBERR::kOutOfMemory);
            return false;
        }
    }
    info.element = childStory;
    info.units = text;
    CollectRuns(childStory);
    AssignScripts();
    info.scripts = scripts.data;
    info.wideScripts = wideScripts.data;
    CollectSpans();
    inlineItems =
        dynamic_cast<ValueIdRefList*>(OBGetAttributeValue(childStory, AN::kInlineObjectList));
    return true;
}

// The units of a stream of `bytes` bytes (even, from its start) and their
// count; false when there is no memory for them. Bytes the stream holds in
// memory, as UTF-16 can read them, are used where they stand; others are
// read into a copy, turned around on a big-endian machine (the stream holds
// UTF-16LE).
bool OBStoryWalker::TextWalk::ReadText(OBStream* stream, long long bytes) {
    const unsigned short one = 1;
    const bool little = *reinterpret_cast<const unsigned char*>(&one) == 1;
    auto* buffer = dynamic_cast<OBBufferXferBytes*>(stream->GetXferBytes());
    if (little && buffer && buffer->Data() &&
        buffer->Size() >= static_cast<unsigned long long>(bytes) &&
        reinterpret_cast<std::uintptr_t>(buffer->Data()) % alignof(unsigned short) == 0) {
        text = reinterpret_cast<const unsigned short*>(buffer->Data());
        info.length = bytes / 2;
        return true;
    }
    if (!units.Allocate(bytes / 2)) return false;
    long long got = stream->XferByte(reinterpret_cast<unsigned char*>(units.data), bytes);
    stream->Seek(0, kSeekFromStart);
    if (got < bytes) {
        w.problems_.Report(OBERR::kTruncatedInput);
        bytes = got > 0 ? got - got % 2 : 0;
    }
    info.length = bytes / 2;
    if (!little)
        for (long long i = 0; i < info.length; ++i)
            units.data[i] =
                static_cast<unsigned short>((units.data[i] >> 8) | (units.data[i] << 8));
    text = units.data;
    return true;
}

// Runs and anchors, each list in text order; what lies outside the text is
// clamped into it (anchors to its end) and reported.
void OBStoryWalker::TextWalk::CollectRuns(Element* childStory) {
    const long long length = info.length;
    OBWriterProblems& problems = w.problems_;
    auto range = [&](Element* item, long long& start, long long& end) {
        if (!GetRange(item, start, end)) {
            problems.Report(OBERR::kMalformedInput);
            return false;
        }
        if (start < 0 || end > length || start > end) {
            problems.Report(OBERR::kBadValue);
            start = std::max(0LL, std::min(start, length));
            end = std::max(start, std::min(end, length));
        }
        return start < end;
    };
    auto anchor = [&](Element* item, long long position, bool known, int kind, bool malformed) {
        if (!known) {
            problems.Report(malformed ? OBERR::kMalformedInput : OBERR::kBadValue);
            position = length;
        } else if (position < 0 || position >= length) {
            problems.Report(OBERR::kBadValue);
            position = length; // kept, at the end of the text
        } else if (text[position] != kObject) {
            problems.Report(OBERR::kBadValue); // written before the character it names
        }
        bool claims = position < length && text[position] == kObject;
        if (!anchors.Add({position, kind, item, claims})) problems.Report(OBERR::kOutOfMemory);
    };

    int order = 0;
    for (unsigned long long n = 0; n < Children(childStory); ++n) {
        Element* list = Child(childStory, n);
        if (!list) continue;
        EL::ElementTypeEnum itemKind = EL::kParagraphRun;
        int spanKind = -1;
        if (!ListedKind(list->GetElementType(), itemKind, spanKind)) continue;
        for (unsigned long long k = 0; k < Children(list); ++k) {
            Element* item = Child(list, k);
            if (!item || item->GetElementType() != itemKind) {
                problems.Report(OBERR::kMalformedInput);
                continue;
            }
            long long start = 0, end = 0, position = 0;
            bool kept = true;
            if (itemKind == EL::kParagraphRun) {
                if (range(item, start, end)) kept = paragraphs.Add({start, end, item, 0, -1});
            } else if (itemKind == EL::kCharacterRun) {
                if (range(item, start, end))
                    kept = characterRuns.Add({start, end, item, order++, -1});
            } else if (spanKind >= 0) {
                if (range(item, start, end) && SpanStart(start, end))
                    kept = spans.Add({start, end, item, spanKind, -1});
            } else if (itemKind == EL::kFootnote) {
                bool known = GetInt(item, AN::kPosition, position);
                anchor(item, position, known, kFootnote, true);
            } else if (itemKind == EL::kVariableRun) {
                bool known = GetInt(item, AN::kPos, position);
                anchor(item, position, known, kVariable, true);
            } else {
                Element* table = item->GetChild(EL::kTable);
                if (!table) {
                    problems.Report(OBERR::kMalformedInput);
                    continue;
                }
                bool known = GetInt(item, AN::kTextIndex, position);
                anchor(table, position, known, kTable, false);
            }
            if (!kept) problems.Report(OBERR::kOutOfMemory);
        }
    }
    auto byStart = [](const Span& a, const Span& b) { return a.start < b.start; };
    if (paragraphs.Count() > 1) SortStably(&paragraphs[0], paragraphs.Count(), byStart);
    if (anchors.Count() > 1)
        SortStably(&anchors[0], anchors.Count(),
                   [](const Anchor& a, const Anchor& b) { return a.position < b.position; });
}

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

// Each character run gives its range its writing script (its own
// formatting, its style's, its paragraph's, the default style's); then the
// runs are put in text order.
void OBStoryWalker::TextWalk::AssignScripts() {
    static const AN::AttrNameEnum kScript = AN::kWritingScript;
    StyleMemo memo;
    for (int k = 0; k < characterRuns.Count(); ++k) {
        const Span& r = characterRuns[k];
        Value* value = nullptr;
        w.CharacterValues(&kScript, &value, 1, r.element, ParagraphAt(r.start), memo);
        auto* script = ValueAs<ValueWritingScriptEnum>(value);
        if (!script) continue;
        WSE::WritingScriptEnum member = WSE::kSystemScript;
        script->Get(member);
        int wide = static_cast<int>(member);
        if (!wideScripts.data && (wide < 0 || wide > kMostByteScript) && !Widen()) {
            w.problems_.Report(OBERR::kOutOfMemory);
            wide = WSE::kSystemScript;
        }
        if (wideScripts.data)
            std::fill(wideScripts.data + r.start, wideScripts.data + r.end, wide);
        else
            obscan::FillBytes(scripts.data + r.start, r.end - r.start,
                              static_cast<unsigned char>(wide));
        characterRuns[k].link = 1;
    }
    if (characterRuns.Count() > 1)
        SortStably(&characterRuns[0], characterRuns.Count(),
                   [](const Span& a, const Span& b) { return a.start < b.start; });
    for (int k = 1; k < characterRuns.Count() && !runsOverlap; ++k)
        runsOverlap = characterRuns[k].start < characterRuns[k - 1].end;
    // The units that no run gave a script have the system's: only the gaps
    // are filled, not the whole text first.
    auto fill = [this](long long from, long long to) {
        if (wideScripts.data)
            std::fill(wideScripts.data + from, wideScripts.data + to,
                      static_cast<int>(WSE::kSystemScript));
        else
            obscan::FillBytes(scripts.data + from, to - from, WSE::kSystemScript);
    };
    long long covered = 0;
    for (const Span& r : characterRuns) {
        if (r.link != 1) continue;
        if (r.start > covered) fill(covered, r.start);
        covered = std::max(covered, r.end);
    }
    if (info.length > covered) fill(covered, info.length);
}

// From bytes to ints, once a script outside a byte's range turns up: what
// the runs so far gave (and what they left unset) goes along.
bool OBStoryWalker::TextWalk::Widen() {
    if (info.length > 0 && !wideScripts.Allocate(info.length)) return false;
    for (long long i = 0; i < info.length; ++i)
        wideScripts.data[i] = scripts.data[i];
    return true;
}

// The paragraph run that holds position i, or null. Runs that overlap
// (which they should not) are looked through a few back.
Element* OBStoryWalker::TextWalk::ParagraphAt(long long i) const {
    int low = 0, high = paragraphs.Count(); // the first run starting after i
    while (low < high) {
        int middle = low + (high - low) / 2;
        if (paragraphs[middle].start <= i)
            low = middle + 1;
        else
            high = middle;
    }
    for (int k = low - 1; k >= 0 && k >= low - 4; --k)
        if (paragraphs[k].end > i) return paragraphs[k].element;
    return nullptr;
}

// ---- the walk -------------------------------------------------------------------------

void OBStoryWalker::WalkText(Element* childStory, OBWALK::TextKind kind, int depth, unsigned story,
                             bool vertical) {
    if (depth > OBWALK::kMaxDepth) {
        problems_.Report(OBERR::kLimitExceeded);
        return;
    }
    TextWalk walk(*this, story);
    walk.info.kind = kind;
    walk.info.depth = depth;
    walk.info.vertical = vertical;
    if (!walk.Load(childStory)) return;
    counts_.textUnits += walk.info.length;
    if (vertical) counts_.verticalUnits += walk.info.length;
    // The text walked now, for the handler; the one around it again after.
    struct Current {
        OBStoryWalker& walker;
        const OBWalkText* text;
        const TextWalk* walk;
        ~Current() {
            walker.current_ = text;
            walker.currentWalk_ = walk;
        }
    } current{*this, current_, currentWalk_};
    current_ = &walk.info;
    currentWalk_ = &walk;
    handler_.BeginText(walk.info);
    walk.Walk();
    handler_.EndText(walk.info);
}

Element* OBStoryWalker::ParagraphRunAt(long long position) const {
    return currentWalk_ ? currentWalk_->ParagraphAt(position) : nullptr;
}

bool OBStoryWalker::RubyAcross(long long position, long long from, long long& start,
                               long long& end) const {
    if (!currentWalk_ || currentWalk_->spans.IsEmpty()) return false;
    const auto& spans = currentWalk_->spans;
    const TextWalk::Span* first = &spans[0];
    const TextWalk::Span* last = first + spans.Count();
    const TextWalk::Span* s = std::lower_bound(
        first, last, from, [](const TextWalk::Span& a, long long b) { return a.start < b; });
    for (; s != last && s->start < position; ++s)
        if (s->kind == OBWALK::kRuby && s->end > position) {
            start = s->start, end = s->end;
            return true;
        }
    return false;
}

void OBStoryWalker::Walk(Element* childStory, OBWALK::TextKind kind, int depth) {
    bool vertical = current_ && current_->vertical;
    WalkText(childStory, kind, depth, kNoStory, vertical);
}

// Position by position: paragraph begins, spans that begin, link targets
// and anchors stand before the character at i; spans that end follow the
// character before their end.
void OBStoryWalker::TextWalk::Walk() {
    const long long length = info.length;
    int nextSpan = 0, nextAnchor = 0, nextTarget = 0;
    bool paragraphDue = length > 0;
    for (long long i = 0;;) {
        if (paragraphDue && i < length) {
            paragraphDue = false;
            BeginParagraph(i);
            ResumeSpans(resume);
        }
        while (nextSpan < spans.Count() && spans[nextSpan].start <= i)
            BeginSpan(nextSpan++, false);
        for (; nextTarget < targetCount && targets[nextTarget].position <= i; ++nextTarget)
            w.handler_.OnTarget(targets[nextTarget]);
        Anchors(i, nextAnchor);
        if (i == length) break;
        if (text[i] == kParagraphEnd) {
            EndAllSpans(resume, i + 1);
            EndParagraph(i + 1, true);
            paragraphDue = true;
            ++i;
            continue;
        }
        if (IsSpecial(text[i])) {
            Character(i);
        } else {
            const OBWalkRun& r = RunAt(i);
            long long limit = NextEvent(i, nextSpan, nextAnchor, nextTarget);

            // Up to the next special character (of those the scan finds,
            // the ones that are) or change of script.
            long long j = obscan::FindControl(text, i + 1, limit);
            while (j < limit && !IsSpecial(text[j]))
                j = obscan::FindControl(text, j + 1, limit);
            // The text goes no further than the run that holds i: where
            // runs do not overlap, its script goes as far.
            if (runsOverlap)
                j = wideScripts.data
                        ? obscan::FindOther(wideScripts.data, i + 1, j, wideScripts.data[i])
                        : obscan::FindOtherByte(scripts.data, i + 1, j, scripts.data[i]);
            w.handler_.OnText(text + i, j - i, r);
            i = j;
        }
        EndSpansAt(i);
    }
    if (inParagraph) EndParagraph(length, false);
    EndAllSpans(resume, length);
}

// The next position after i where something other than text happens.
long long OBStoryWalker::TextWalk::NextEvent(long long i, int nextSpan, int nextAnchor,
                                             int nextTarget) const {
    long long limit = info.length;
    if (nextSpan < spans.Count()) limit = std::min(limit, spans[nextSpan].start);
    if (nextAnchor < anchors.Count()) limit = std::min(limit, anchors[nextAnchor].position);
    if (nextTarget < targetCount) limit = std::min(limit, targets[nextTarget].position);
    for (int k = 0; k < open.count; ++k)
        limit = std::min(limit, spans[open.items[k]].end);
    if (runIndex >= 0) limit = std::min(limit, characterRuns[runIndex].end);
    if (nextRun < characterRuns.Count()) limit = std::min(limit, characterRuns[nextRun].start);
    return limit > i ? limit : i + 1;
}

// One character with a meaning: a line or frame break, a tab, or U+FFFC.
void OBStoryWalker::TextWalk::Character(long long& i) {
    unsigned short c = text[i];
    const OBWalkRun& r = RunAt(i);
    switch (c) {
    case kObject: {
        if (claimedAt == i) break; // an anchor took it
        Element* item = nullptr;
        if (inlineItems && nextInline < inlineItems->Count())
            item = w.items_.Find(inlineItems->Get(nextInline++));
        if (item && item->GetElementType() == EL::kPicture)
            w.WalkPicture(item, -1, true);
        else
            w.handler_.OnObject(r);
        break;
    }
    case '\r':
        if (i + 1 < info.length && text[i + 1] == '\n') break; // CR LF is one break
        w.handler_.OnBreak(OBWALK::kLineBreak, r);
        break;
    case '\n':
    case kLineBreak:
        w.handler_.OnBreak(OBWALK::kLineBreak, r);
        break;
    case '\t':
        w.handler_.OnBreak(OBWALK::kTab, r);
        break;
    default:
        ++w.counts_.breaks;
        w.handler_.OnBreak(OBWALK::kFrameBreak, r);
        break;
    }
    ++i;
}

void OBStoryWalker::TextWalk::Anchors(long long i, int& next) {
    while (next < anchors.Count() && anchors[next].position <= i) {
        const Anchor& a = anchors[next++];
        const OBWalkRun& r = RunAt(i);
        if (a.claims) claimedAt = a.position;
        if (a.kind == kFootnote) {
            bool endnote = false;
            GetFlag(OBGetAttributeValue(a.element, AN::kIsEndNote), endnote);
            OBWalkNote note = {a.element, a.element->GetChild(EL::kChildStory), ++w.noteNumber_,
                               endnote};
            ++w.counts_.notes;
            w.handler_.OnFootnote(note, r);
        } else if (a.kind == kVariable) {
            ++w.counts_.variables;
            w.handler_.OnVariable(a.element, r);
        } else {
            // A table is a block: the spans around it end before it and go on after.
            ++w.counts_.tables;
            SpanStack around;
            EndAllSpans(around, i);
            w.handler_.OnTable(a.element, RunAt(i));
            ResumeSpans(around);
        }
    }
}

// ---- paragraphs, runs and spans ---------------------------------------------------------

void OBStoryWalker::TextWalk::BeginParagraph(long long start) {
    paragraph = OBWalkParagraph{};
    paragraph.start = start;
    paragraph.run = ParagraphAt(start);
    paragraph.script = info.ScriptAt(start);
    if (w.options_.resolveFormatting) {
        Element* style = w.ParagraphStyleOf(paragraph.run);
        paragraph.style = style;
        Element* run = paragraph.run;
        paragraph.format = paragraphFormat.Make<OBMParagraphAttributes>(
            obwalk::ParagraphAttributesOf(run), w.ParagraphStyleFormat(style));
        paragraph.characterFormat = paragraphCharacterFormat.Make<OBMCharacterAttributes>(
            obwalk::CharacterAttributesOf(run), w.ParagraphStyleCharacterFormat(style));
    }
    inParagraph = true;
    runStale = true;
    w.handler_.BeginParagraph(paragraph);
}

void OBStoryWalker::TextWalk::EndParagraph(long long end, bool hasEnd) {
    paragraph.end = end;
    paragraph.hasEnd = hasEnd;
    inParagraph = false;
    w.handler_.EndParagraph(paragraph);
}

// The run that holds i, with its formatting: the run's own attributes, its
// character style's chain, then the paragraph's.
const OBWalkRun& OBStoryWalker::TextWalk::RunAt(long long i) {
    bool moved = false;
    while (nextRun < characterRuns.Count() && characterRuns[nextRun].start <= i) {
        runIndex = nextRun++;
        moved = true;
    }
    if (runIndex >= 0 && characterRuns[runIndex].end <= i) {
        runIndex = -1;
        moved = true;
    }
    run.script = info.ScriptAt(i);
    run.position = i;
    if (!moved && !runStale) return run;
    runStale = false;
    run.run = runIndex >= 0 ? characterRuns[runIndex].element : nullptr;
    if (!w.options_.resolveFormatting) return run;
    run.local = obwalk::CharacterAttributesOf(run.run);
    run.characterStyle = nullptr;
    unsigned id = 0;
    if (run.run && GetId(run.run, AN::kCharacterStyleID, id)) {
        run.characterStyle = w.characterStyles_.Find(id);
        if (!run.characterStyle) w.problems_.Report(OBERR::kBrokenReference);
    }
    OBMCharacterAttributes* styled = runStyleFormat.Make<OBMCharacterAttributes>(
        w.CharacterStyleFormat(run.characterStyle), paragraph.characterFormat);
    run.inherited = styled;
    run.format = runFormat.Make<OBMCharacterAttributes>(run.local, styled);
    return run;
}

OBWalkSpan OBStoryWalker::TextWalk::SpanEvent(int index) const {
    const Span& s = spans[index];
    OBWalkSpan event = {static_cast<OBWALK::SpanKind>(s.kind),     s.element, s.start, s.end,
                        s.link >= 0 ? &w.links_[s.link] : nullptr, false,     false};
    return event;
}

void OBStoryWalker::TextWalk::BeginSpan(int index, bool resumed) {
    SpanStack inside;
    if (spans[index].kind == OBWALK::kRuby) EndSpansInside(index, inside);
    if (!open.Push(index)) {
        w.problems_.Report(OBERR::kLimitExceeded);
        return;
    }
    OBWalkSpan event = SpanEvent(index);
    event.resumed = resumed;
    w.handler_.BeginSpan(event);
    while (inside.count > 0)
        BeginSpan(inside.Pop(), true);
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
        OBWalkSpan event = SpanEvent(index);
        event.continues = true;
        inside.Push(index);
        w.handler_.EndSpan(event);
    }
}

// Ends the spans that end at position; the spans opened inside one of
// them that go on are ended first and resumed after it.
void OBStoryWalker::TextWalk::EndSpansAt(long long position) {
    int lowest = -1;
    for (int k = 0; k < open.count && lowest < 0; ++k)
        if (spans[open.items[k]].end <= position) lowest = k;
    if (lowest < 0) return;
    SpanStack goOn;
    while (open.count > lowest) {
        int index = open.Pop();
        OBWalkSpan event = SpanEvent(index);
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
        OBWalkSpan event = SpanEvent(index);
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
