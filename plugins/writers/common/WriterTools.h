// What the structured writers (HTML, pandoc) read the same way: the
// publication's metadata, headings by style, languages, colours, kenten
// marks, picture paths and font names.
#ifndef OMBRA_WRITERS_TOOLS_H
#define OMBRA_WRITERS_TOOLS_H

#include "StoryWalker.h"

namespace obwalk {

/// The publication's metadata as UTF-8; dates as YYYY-MM-DD (with the time
/// when it is not midnight); pages 0 when unknown.
struct DocumentInfo {
    Utf8Text title, author, subject, keywords, comments, created, modified;
    long long pages = 0;
};
/// From the MetaData, the Publication where it says more, else the pages.
void ReadDocumentInfo(OBStoryWalker& walker, DocumentInfo& info);

/// The heading level a paragraph style stands for (1 to 6), or 0: by its
/// name ("Title", "Heading 2", "見出し3", "h1", ...) or the name of a style
/// it is based on.
int HeadingLevel(OBStoryWalker& walker, Element* paragraphStyle);

/// The tag of a DictionaryLanguage value, or null.
const char* DictionaryLanguageTag(Value* language);
/// The language tag (BCP 47) of text: its script's where the script names a
/// language by itself, else what its formatting (when given) says, else null.
const char* TextLanguage(int script, OBMCharacterAttributes* format);
/// The same from the formatting's DictionaryLanguage value.
const char* TextLanguage(int script, Value* language);

/// A colour as sRGB 0 to 255 with the tint and shade applied; converted is
/// set for colours not given in RGB. False for no colour, None or one
/// whose components are unknown.
bool ColorRgb(Element* color, double shade, int rgb[3], bool& converted);

/// The CSS text-emphasis of a KentenRun: "text-emphasis: filled sesame;
/// text-emphasis-position: over right" and the like; false when the run
/// asks for no marks.
bool KentenCss(Element* kentenRun, Utf8Text& css);
/// The HTML start tag of a RubiRun: "<ruby>", with ruby-position under
/// for readings below (left in vertical text).
const char* RubyStartTag(Element* rubiRun);

/// A picture's path as the document stores it, as a URL: relative paths
/// stay relative, backslashes become slashes, drive and old Mac paths
/// become file URLs, and characters a URL cannot hold are escaped. A path
/// inside `base` (a folder) is made relative to it.
void PathToUrl(const Utf8Text& path, const Utf8Text& base, Utf8Text& url);

/// Where a linked picture lies on this machine, for a document whose file
/// is in documentFolder: a relative link is read from documentFolder; an
/// absolute path or a file: URL is kept when something is there. A link
/// that leads nowhere is looked for by its file name in documentFolder's
/// Links folder (where packaged documents keep their pictures), then in
/// documentFolder itself. Other URLs, and every link when documentFolder
/// is empty, stay. found receives the path (or, unchanged, the link).
void LocatePicture(const Utf8Text& link, const Utf8Text& documentFolder, Utf8Text& found);

/// The family of a font name as readers give it ("DejaVu Serif Bold"
/// gives "DejaVu Serif").
void FontFamily(Value* font, Utf8Text& family);

/// The language most of the stories' text is in (their writing scripts by
/// their character runs; text whose script names no language counts
/// against the others), else the default style's dictionary language, or
/// null. For deferred stories, once the walk has begun. units, when given,
/// receives how many units the character runs cover.
const char* DocumentLanguage(OBStoryWalker& walker, long long* units = nullptr);

/// The pages (indices) that hyperlinks go to; false when memory ran out.
bool LinkedPages(OBStoryWalker& walker, OBBaseTypeCollection<int>& pages);

/// Whether a character is set wide (kanji, kana, full-width forms): ruby
/// readings after such a base go in full-width parentheses.
bool IsIdeographic(unsigned short unit);

/// Whether a ruby's readings are one per base character (its
/// RubiAttributes say kPerCharacter), and the readings: one per character
/// separated by spaces, or the whole text.
bool PerCharacterRuby(Element* rubiRun);

/// Whether a character style is known to set nothing: no formatting of its
/// own, and based on no style or on one that sets nothing, as IDML's
/// "[None]" and the styles based on it alone are. False when that cannot
/// be told (an element made outside the core's stored elements, a chain
/// deeper than OBWALK::kMaxDepth).
bool SetsNothing(OBStoryWalker& walker, Element* characterStyle);

/// The characters of units [start, end): a surrogate pair counts once.
long long CountCharacters(const unsigned short* units, long long start, long long end);
/// Where the character at `at` ends, within `end`.
long long NextCharacter(const unsigned short* units, long long at, long long end);

/// Pairs a per-character ruby's readings (separated by spaces) with the
/// characters of its base: each Next gives where a base character ends and
/// the units [from, to) of its reading.
class RubyPairs {
public:
    RubyPairs(const unsigned short* base, long long start, long long end,
              const unsigned short* reading, long long length);
    /// One reading per base character, and at least one.
    bool Matches() const { return matches_; }
    bool Next(long long& baseEnd, long long& from, long long& to);

private:
    const unsigned short* base_;
    const unsigned short* reading_;
    long long at_, end_, i_, length_;
    bool matches_;
};

/// The readings of a per-character ruby span, each with where its base
/// character ends: reading(baseEnd, units, n) for each character of the
/// piece that begins here (a cut ruby's pieces each carry their own).
/// False, and none, for a span outside the text, a ruby read whole, or
/// readings that do not pair with the base characters.
template <class Reading>
bool PerCharacterReadings(const OBWalkText* text, const OBWalkSpan& span, Reading reading) {
    WOBString readings;
    if (!text || !PerCharacterRuby(span.element) ||
        !GetUnits(OBGetAttributeValue(span.element, AN::kRubiText), readings))
        return false;
    const unsigned short* r = readings.GrabWString();
    RubyPairs pairs(text->units, span.start, span.end, r, readings.Length());
    if (!pairs.Matches()) return false;
    long long at = 0, from = 0, to = 0;
    while (pairs.Next(at, from, to))
        if (!span.resumed || at > span.at) reading(at, r + from, to - from);
    return true;
}

/// Whether a ruby's piece is its base alone: it is cut off before the ruby
/// ends, and the reading goes with the last piece, unless the readings are
/// one per base character and so go with their characters.
inline bool BaseAlone(const OBWalkText* text, const OBWalkSpan& span) {
    return span.cut &&
           !PerCharacterReadings(text, span, [](long long, const unsigned short*, long long) {});
}

/// Whether a variable is the number a footnote's text begins with (some
/// readers put the note's number there): the writers number notes
/// themselves, so they leave it out.
bool IsNoteNumber(const OBWalkText* text, const OBWalkRun& run);

} // namespace obwalk

#endif
