// What every reader does with story text (docs/document-model.md, section
// 5): the text as a UTF-16LE stream, the run lists of a ChildStory, and
// character runs cut where the writing script of the text changes.
#ifndef OMBRA_READER_STORY_H
#define OMBRA_READER_STORY_H

#include "ReaderBuilder.h"

#include <ombra/scripts.h>

#include <cstdint>
#include <string>

namespace obreader {

/// Sets childStory's TextStream to the text as UTF-16LE bytes in a buffer
/// stream that the Element owns; false when memory ran out (then the story
/// should get no runs either).
bool SetTextStream(ElementBuilder& b, Element* childStory, const char16_t* text,
                   std::size_t length);

/// The writing script of one character: -1 for characters every script
/// shares (spaces, digits, ASCII punctuation, controls), kUnicodeScript for
/// letters of scripts without a code page, and `cjk` for CJK ideographs and
/// punctuation (Japanese, Chinese or Korean, as the caller decides).
int CharacterScript(unsigned codePoint, int cjk);

/// Japanese when the text has kana, else Korean when it has hangul, else -1:
/// what the ideographs of a story belong to, when the story itself tells.
int StoryCjkHint(const char16_t* text, std::size_t length);

/// The script of CJK ideographs in text of a language ("zh-TW", "zh_Hans",
/// "ko", "ja", ...): Chinese (traditional or simplified), Korean, or
/// Japanese for every other language.
WSE::WritingScriptEnum CjkScriptForLanguage(std::string language);

/// The first position from i on, before end, of a unit that is not ASCII;
/// end when there is none.
std::uint32_t SkipAscii(const char16_t* text, std::uint32_t i, std::uint32_t end);

/// Cuts [start, end) of text into pieces of one writing script and calls
/// piece(start, end, script) for each. Characters every script shares go
/// with the piece they stand in, or with `previous` (the script of the piece
/// before, updated) when a piece has nothing else. decideCjk() is asked
/// once, at the first CJK ideograph, for the script of ideographs.
template <class DecideCjk, class Piece>
void SplitByScript(const char16_t* text, std::size_t length, std::uint32_t start, std::uint32_t end,
                   int& previous, DecideCjk decideCjk, Piece piece) {
    int cjk = -3; // undecided
    if (end > length) end = static_cast<std::uint32_t>(length);
    std::uint32_t pieceStart = start;
    int pieceScript = -1;
    for (std::uint32_t i = start; i <= end; ++i) {
        // ASCII, letters or not, goes with a Roman piece: most text is skipped.
        if (pieceScript == WSE::kRomanScript) i = SkipAscii(text, i, end);
        int script = -1;
        std::uint32_t width = 1;
        if (i < end) {
            unsigned c = text[i];
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < end && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                width = 2;
            }
            script = CharacterScript(c, cjk);
            if (script == -3) {
                cjk = decideCjk();
                script = cjk;
            }
        }
        bool cut = i == end || (script >= 0 && pieceScript >= 0 && script != pieceScript);
        if (cut && i > pieceStart) {
            int use = pieceScript >= 0 ? pieceScript
                      : previous >= 0  ? previous
                                       : static_cast<int>(WSE::kRomanScript);
            piece(pieceStart, i, use);
            previous = use;
            pieceStart = i;
            pieceScript = -1;
        }
        if (script >= 0 && pieceScript < 0) pieceScript = script;
        if (width == 2) ++i;
    }
}

/// The run lists of one ChildStory, each made when first asked for (or
/// opened up front for lists that are always there), in that order.
class StoryLists {
public:
    StoryLists(ElementBuilder& b, Element* childStory) : b_(b), child_(childStory) {}

    /// The list of that kind, made now when it is not there yet.
    Element* List(EL::ElementTypeEnum listKind);
    /// A new entry of the list.
    Element* Entry(EL::ElementTypeEnum listKind, EL::ElementTypeEnum kind) {
        return b_.Child(List(listKind), kind);
    }
    /// A new run of the list covering [start, end); null (and no run) when
    /// memory runs out.
    Element* Run(EL::ElementTypeEnum listKind, EL::ElementTypeEnum kind, long long start,
                 long long end);
    /// A new entry of the list at a position of the text (a table run's
    /// TextIndex, a variable's Pos, a footnote's Position); null (and no
    /// entry) when memory runs out.
    Element* At(EL::ElementTypeEnum listKind, EL::ElementTypeEnum kind, AN::AttrNameEnum attr,
                long long position);

private:
    static constexpr int kMaxLists = 12;
    ElementBuilder& b_;
    Element* child_;
    Element* lists_[kMaxLists] = {};
    EL::ElementTypeEnum kinds_[kMaxLists] = {};
    int count_ = 0;
};

} // namespace obreader

#endif
