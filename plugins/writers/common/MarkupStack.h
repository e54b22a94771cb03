// The inline elements a markup writer has open in a text, each with the
// markup that opens and closes it, and the points in the text where markup
// goes between characters (a ruby's readings, a warichu's line change).
// The HTML and pandoc writers keep their inlines so; it runs per run, so
// it is all inline.
#ifndef OMBRA_WRITERS_MARKUPSTACK_H
#define OMBRA_WRITERS_MARKUPSTACK_H

#include "WalkValues.h"

namespace obwalk {

class MarkupStack {
public:
    /// An open element; its markup lies in the stack's text.
    struct Entry {
        int kind;
        long long open, openLength, close, closeLength;
        long long items; ///< what it holds so far, for writers that separate them
        int group;       ///< a ruby whose reading goes at its end
    };
    /// Markup that goes at a position inside the element at level.
    struct Split {
        long long position;
        int level;
        long long markup, markupLength;
        bool done; ///< written already, out of turn
    };

    int Count() const { return count_; }
    Entry& operator[](int level) { return entries_[level]; }
    Entry& Last() { return entries_[count_ - 1]; }

    /// Whether the element at level was opened with open.
    bool OpenedWith(int level, const Utf8Text& open) const {
        const Entry& entry = entries_[level];
        return entry.openLength == open.Size() &&
               std::memcmp(text_.Data() + entry.open, open.Data(),
                           static_cast<std::size_t>(open.Size())) == 0;
    }

    /// Opens an element of kind (the caller writes open); false when memory
    /// runs out, and nothing is kept.
    bool Push(int kind, const Utf8Text& open, const char* close) {
        Entry entry = {kind, text_.Size(), open.Size(), 0, 0, 0, 0};
        text_.Append(open);
        entry.close = text_.Size();
        text_.Append(close);
        entry.closeLength = text_.Size() - entry.close;
        if (PushAt(entries_, count_, entry)) return true;
        text_.Truncate(entry.open);
        return false;
    }

    /// Closes the last element into out (Count() > 0) and returns it. Its
    /// points not reached go with it.
    Entry Pop(Utf8Text& out) {
        Entry entry = entries_[--count_];
        out.Append(text_.Data() + entry.close, entry.closeLength);
        while (splitEnd_ > splitBegin_ &&
               (splits_[splitEnd_ - 1].done || splits_[splitEnd_ - 1].level >= count_))
            --splitEnd_;
        text_.Truncate(entry.open);
        return entry;
    }

    /// Leaves the elements from count up behind, as a caller that wrote
    /// their close itself.
    void Forget(int count) { count_ = count; }

    /// Markup for position inside the element at level. It lies in the text
    /// above the element's own, so it goes when the element does. False
    /// when memory runs out.
    bool AddSplit(long long position, int level, const Utf8Text& markup) {
        Split split = {position, level, text_.Size(), markup.Size(), false};
        // An element inside another can add points before the outer one's
        // (a ruby in a warichu); at one position the inner one's go first.
        if (splitEnd_ > splitBegin_) {
            const Split& last = splits_[splitEnd_ - 1];
            if (position < last.position || (position == last.position && level > last.level))
                inOrder_ = false;
        }
        text_.Append(markup);
        return PushAt(splits_, splitEnd_, split);
    }

    /// Writes the markup due up to position. The elements opened inside the
    /// split's element close around it: write(markup, length) writes it
    /// while only the elements up to that one count, and
    /// reopening(outer, entry) comes before each of the others opens again.
    /// Only the points of the elements from level `from` up are written.
    template <class Write, class Reopening>
    void Reach(long long position, Utf8Text& out, Write write, Reopening reopening, int from = 0) {
        for (int due; (due = NextDue(position, from)) >= 0;) {
            Split split = splits_[due];
            splits_[due].done = true;
            while (splitBegin_ < splitEnd_ && splits_[splitBegin_].done)
                ++splitBegin_;
            if (split.level >= count_) continue;
            for (int i = count_ - 1; i > split.level; --i)
                out.Append(text_.Data() + entries_[i].close, entries_[i].closeLength);
            int saved = count_;
            count_ = split.level + 1;
            write(text_.Data() + split.markup, split.markupLength);
            count_ = saved;
            for (int i = split.level + 1; i < count_; ++i) {
                reopening(entries_[i - 1], entries_[i]);
                out.Append(text_.Data() + entries_[i].open, entries_[i].openLength);
            }
        }
        if (splitBegin_ == splitEnd_) splitBegin_ = splitEnd_ = 0, inOrder_ = true;
    }

    /// The n units of a run from position, cut at the points inside them:
    /// piece(offset, length) for each piece, reach(position) between them.
    template <class Piece, class ReachAt>
    void Cut(long long position, long long n, Piece piece, ReachAt reach) {
        long long at = position, end = position + n;
        while (at < end) {
            long long stop = end;
            // Points in order (a ruby's, one a character) end the search
            // at the first beyond at, so a run costs its length.
            for (int i = splitBegin_; i < splitEnd_; ++i) {
                if (splits_[i].done || splits_[i].position <= at) continue;
                if (splits_[i].position < stop) stop = splits_[i].position;
                if (inOrder_) break;
            }
            piece(at - position, stop - at);
            at = stop;
            if (at < end) reach(at);
        }
    }

private:
    // The point to write next at position of the elements from level from
    // up, or -1: the first in the queue while it is in order, else the
    // earliest, the innermost at a tie.
    int NextDue(long long position, int from) const {
        if (inOrder_ && from == 0)
            return splitBegin_ < splitEnd_ && splits_[splitBegin_].position <= position
                       ? splitBegin_
                       : -1;
        int due = -1;
        for (int i = splitBegin_; i < splitEnd_; ++i) {
            const Split& s = splits_[i];
            if (s.done || s.position > position || s.level < from) continue;
            if (due < 0 || s.position < splits_[due].position ||
                (s.position == splits_[due].position && s.level > splits_[due].level))
                due = i;
        }
        return due;
    }

    Utf8Text text_;                       // the markup of the elements and points
    OBBaseTypeCollection<Entry> entries_; // the first count_ are open
    int count_ = 0;
    OBBaseTypeCollection<Split> splits_; // those from splitBegin_ to splitEnd_ are due
    int splitBegin_ = 0;
    int splitEnd_ = 0;
    bool inOrder_ = true; // the due points' positions never fall
};

} // namespace obwalk

#endif
