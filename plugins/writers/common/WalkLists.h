// Lists: which list a paragraph's marker puts it in, and how the lists of a
// text open, go on and close around its paragraphs, for the writers that
// write lists as lists (HTML, pandoc).
#ifndef OMBRA_WRITERS_WALKLISTS_H
#define OMBRA_WRITERS_WALKLISTS_H

#include "StoryWalker.h"

namespace obwalk {

/// The list of a paragraph with a marker: kNotListed unless its formatting
/// (format, or the run's own without it) says NumberingType; its level is
/// the BN's LevelNumber, its number the last number the marker shows in
/// the style's digits or letters.
OBWalkListItem ListItemOf(Element* paragraphRun, Element* bn, Value* marker,
                          OBMParagraphAttributes* format);

/// The number in the last stretch of the units that the numbering style
/// writes (its digits, numerals, letters or kana), and where that stretch
/// begins and ends; false when there is none.
bool MarkerNumber(const unsigned short* units, long long n, int style, long long& number,
                  long long* start = nullptr, long long* end = nullptr);

/// The lists open in one text, innermost last. A list item at a deeper
/// level than the innermost list opens a list inside that list's item; one
/// at its level goes on in it when its kind, style and number follow on;
/// anything else closes lists until one of these holds. A paragraph in no
/// list closes them all.
class ListNesting {
public:
    /// Levels beyond this count as this.
    static constexpr int kMaxLevel = 10;
    /// What the next paragraph does: close `close` lists (innermost first),
    /// then open a list with it as the first item (`open`), or start a new
    /// item of the innermost (`item`), or, in no list, neither.
    struct Step {
        int close;
        bool open;
        bool item;
    };
    Step Next(const OBWalkListItem& item) const;
    /// Takes the step Next gave for item.
    void Take(const Step& step, const OBWalkListItem& item);
    int Depth() const { return depth_; }
    /// The list open at depth d (0 the outermost): its first item.
    const OBWalkListItem& At(int d) const { return first_[d]; }

private:
    bool GoesOn(const OBWalkListItem& item, int depth) const;

    OBWalkListItem first_[kMaxLevel] = {};
    long long last_[kMaxLevel] = {}; // the number of each one's last item
    int depth_ = 0;
};

} // namespace obwalk

#endif
