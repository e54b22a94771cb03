// The walk over one text (a story's, a note's or a cell's): its units and
// their scripts, its runs and anchors in text order, and the events that
// hand them to the writer, position by position.
#include "TextWalk.h"
#include "WalkLists.h"

#include "UnitScan.h"
#include "WalkFormat.h"

#include <ombra/streams.h>
#include <ombra/typedstreams.h>
#include <ombra/views.h>

#include <algorithm>
#include <cstdint>

using namespace obwalk;

namespace {

// A story text larger than this is cut (1 GiB of UTF-16).
constexpr long long kMaxTextBytes = 1LL << 30;

constexpr unsigned short kLineBreak = 0x2028;
constexpr unsigned short kFrameBreak = 0x000C;
constexpr unsigned short kObject = 0xFFFC;
// The most a script held in a byte may be; others need ints.
constexpr int kMostByteScript = 254;

bool IsSpecial(unsigned short c) {
    return c == kParagraphEnd || c == kLineBreak || c == kFrameBreak || c == kObject || c == '\t' ||
           c == '\r' || c == '\n';
}

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
        return anchors.Add({position, kind, item, claims}) != 0;
    };

    // Once memory runs out the walk stops collecting: each further item would
    // try to grow its list again, and a story of millions of items would
    // spend minutes failing.
    int order = 0;
    bool kept = true;
    for (unsigned long long n = 0; kept && n < Children(childStory); ++n) {
        Element* list = Child(childStory, n);
        if (!list) continue;
        EL::ElementTypeEnum itemKind = EL::kParagraphRun;
        int spanKind = -1;
        if (!ListedKind(list->GetElementType(), itemKind, spanKind)) continue;
        for (unsigned long long k = 0; kept && k < Children(list); ++k) {
            Element* item = Child(list, k);
            if (!item || item->GetElementType() != itemKind) {
                problems.Report(OBERR::kMalformedInput);
                continue;
            }
            long long start = 0, end = 0, position = 0;
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
                kept = anchor(item, position, known, kFootnote, true);
            } else if (itemKind == EL::kVariableRun) {
                bool known = GetInt(item, AN::kPos, position);
                kept = anchor(item, position, known, kVariable, true);
            } else {
                Element* table = item->GetChild(EL::kTable);
                if (!table) {
                    problems.Report(OBERR::kMalformedInput);
                    continue;
                }
                bool known = GetInt(item, AN::kTextIndex, position);
                kept = anchor(table, position, known, kTable, false);
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
void OBStoryWalker::Walk(Element* childStory, OBWALK::TextKind kind, int depth) {
    bool vertical = current_ && current_->vertical;
    WalkText(childStory, kind, depth, kNoStory, vertical);
}

// Position by position: paragraph begins, spans that begin, link targets
// and anchors stand before the character at i; spans that end follow the
// character before their end.
void OBStoryWalker::TextWalk::Walk() {
    const long long length = info.length;
    int nextSpan = 0, nextTarget = 0;
    bool paragraphDue = length > 0;
    for (long long i = 0;;) {
        here = i;
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
            long long limit = NextEvent(i, nextSpan, nextTarget);

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
long long OBStoryWalker::TextWalk::NextEvent(long long i, int nextSpan, int nextTarget) const {
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

// ---- paragraphs and runs ---------------------------------------------------------------

void OBStoryWalker::TextWalk::BeginParagraph(long long start) {
    paragraph = OBWalkParagraph{};
    paragraph.start = start;
    paragraph.run = ParagraphAt(start);
    paragraph.script = info.ScriptAt(start);
    Element* bn = paragraph.run ? paragraph.run->GetChild(EL::kBN) : nullptr;
    if (bn) paragraph.marker = OBGetAttributeValue(bn, AN::kBNString);
    if (w.options_.resolveFormatting) {
        Element* style = w.ParagraphStyleOf(paragraph.run);
        paragraph.style = style;
        Element* run = paragraph.run;
        paragraph.format = paragraphFormat.Make<OBMParagraphAttributes>(
            obwalk::ParagraphAttributesOf(run), w.ParagraphStyleFormat(style));
        paragraph.characterFormat = paragraphCharacterFormat.Make<OBMCharacterAttributes>(
            obwalk::CharacterAttributesOf(run), w.ParagraphStyleCharacterFormat(style));
    }
    if (bn)
        paragraph.list = obwalk::ListItemOf(paragraph.run, bn, paragraph.marker, paragraph.format);
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
