// The walk over one text, shared by the files that make it: the text's
// units and scripts, its runs, spans and anchors, and where the walk stands.
// Inside the writers' common code only.
#ifndef OMBRA_WRITERS_TEXT_WALK_H
#define OMBRA_WRITERS_TEXT_WALK_H

#include "StoryWalker.h"

#include <ombra/memory.h>
#include <ombra/resolvers.h>
#include <ombra/values.h>

#include <algorithm>
#include <cstddef>
#include <new>

namespace obwalk {

// Spans open at once beyond this are dropped: crossing spans are ended and
// resumed around each other, which must stay bounded.
constexpr int kMaxOpenSpans = 32;

constexpr unsigned short kParagraphEnd = 0x2029;

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

// Room for one resolver, made and unmade in place as the walk moves on.
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

} // namespace obwalk

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
    obwalk::Block<unsigned short> units;  // a copy of the text, where one is needed
    const unsigned short* text = nullptr; // the units read: in units or the stream's own
    // A unit's script in a byte; where some run gives one outside 0..254
    // (bad input) the values are kept in wideScripts instead.
    obwalk::Block<unsigned char> scripts;
    obwalk::Block<int> wideScripts;
    OBBaseTypeCollection<Span> paragraphs; // by start
    OBBaseTypeCollection<Span> characterRuns;
    OBBaseTypeCollection<Span> spans;     // by start, then the longer first
    OBBaseTypeCollection<Anchor> anchors; // by position
    obwalk::SpanStack open;
    obwalk::SpanStack resume; // spans to resume at the next paragraph
    long long claimedAt = -1; // the U+FFFC an anchor stood on last
    long long here = 0;       // where the walk stands
    int nextAnchor = 0;       // the first anchor not walked yet
    // The first paragraph end at or after here, and the first table anchor
    // from nextAnchor on, found again only when the walk passes them: a
    // ruby's begin asks for both, and rubies may overlap.
    long long paragraphEndAt = -1;
    int tableAnchor = -1;
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
    obwalk::Slot<OBMResolveParagraphAttributes> paragraphFormat;
    obwalk::Slot<OBMResolveCharacterAttributes> paragraphCharacterFormat;
    obwalk::Slot<OBMResolveCharacterAttributes> runStyleFormat;
    obwalk::Slot<OBMResolveCharacterAttributes> runFormat;
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
        while (start < end && text[start] == obwalk::kParagraphEnd)
            ++start;
        return start < end;
    }
    void Walk();

    // Events.
    const OBWalkRun& RunAt(long long i);
    void BeginParagraph(long long start);
    void EndParagraph(long long end, bool hasEnd);
    void BeginSpan(int index, bool resumed);
    bool RubyCut(int index);
    long long NextParagraphEnd();
    long long NextTable();
    void EndSpansInside(int ruby, obwalk::SpanStack& inside);
    void EndSpansAt(long long position);
    void EndAllSpans(obwalk::SpanStack& resumeLater, long long position);
    void ResumeSpans(obwalk::SpanStack& spansToResume);
    void Anchors(long long i, int& next);
    void Character(long long& i);
    long long NextEvent(long long i, int nextSpan, int nextTarget) const;
    OBWalkSpan SpanEvent(int index, long long at) const;
};

#endif
