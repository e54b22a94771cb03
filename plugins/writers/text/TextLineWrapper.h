// Collects the text of one output line and wraps it at a column, with the
// line-breaking rules of Latin and Japanese text.
#ifndef OMBRA_TEXTWRITER_LINEWRAPPER_H
#define OMBRA_TEXTWRITER_LINEWRAPPER_H

#include "TextEncoder.h"
#include "TextScratch.h"

/// Sits in front of the encoder. Units arrive with their writing script;
/// EndLine ends the line. Without a column they go straight on to the
/// encoder (less soft hyphens); with one they collect into the current line.
///
/// With a column above 0 the line is wrapped as it grows: East Asian wide
/// and full-width characters take two columns, combining marks and
/// zero-width characters none, a tab runs to the next multiple of 8. A line
/// breaks after spaces (which are dropped at the break), after a soft hyphen
/// (written as '-' there; elsewhere soft hyphens are not written), after a
/// hyphen between letters, after a zero-width space, and before or after a
/// wide character (kana, kanji, full-width forms) unless the kinsoku rules of
/// OBCharacterClass forbid it: no closing punctuation, small kana or
/// iteration mark at the start of a line, no opening bracket at its end, no
/// break inside a number. A word longer than the line is cut at the column.
/// A space at the column may hang past it. A surrogate pair is never split.
class OBTextLineWrapper {
public:
    OB_MEMORY_OPERATORS

    enum Flags : unsigned {
        kGlue = 1, ///< no line break before this unit (keeps ruby with its base)
    };

    /// column <= 0: no wrapping.
    OBTextLineWrapper(OBTextEncoder& encoder, int column);
    OBTextLineWrapper(const OBTextLineWrapper&) = delete;
    OBTextLineWrapper& operator=(const OBTextLineWrapper&) = delete;
    ~OBTextLineWrapper();

    void Put(unsigned short unit, WSE::WritingScriptEnum script, unsigned flags = 0);
    /// n units, each with flags.
    void Put(const unsigned short* units, long long n, WSE::WritingScriptEnum script,
             unsigned flags = 0);
    /// Writes the current line, even an empty one, and a line end. When
    /// wrapping, spaces at the end of the line are dropped.
    void EndLine();
    /// True when nothing has been put since the last line end.
    bool IsLineEmpty() const { return column_ == 0 ? unwrappedLineEmpty_ : count_ == 0; }

    /// The columns a unit takes at column `at` (tabs depend on it).
    static int UnitWidth(unsigned short unit, int at);
    /// Whether a line may break between a and b by the rules above (b's
    /// glue and surrogates aside).
    static bool MayBreakBetween(unsigned short before2, unsigned short a, unsigned short b);

private:
    struct Cell {
        unsigned short unit;
        unsigned short flags;
        int script;
    };

    void PutUnwrapped(const unsigned short* units, long long n, WSE::WritingScriptEnum script);
    bool Add(const Cell& cell);
    bool BreakOnce();
    void Emit(int count, bool hyphen);
    void Remove(int count);
    void Recount();

    OBTextEncoder& encoder_;
    int column_;
    Cell* cells_; // from the memory service, capacity_ of them
    int count_;
    int capacity_;
    OBTextScratch<unsigned short> units_;
    OBTextScratch<int> widths_;
    int width_;   // of all cells
    int visible_; // up to the last cell that is not a space
    bool unwrappedLineEmpty_;
};

#endif
