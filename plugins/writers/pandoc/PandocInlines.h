// Pieces of pandoc JSON that the pandoc conversion's files share.
#ifndef OMBRA_PANDOCWRITER_INLINES_H
#define OMBRA_PANDOCWRITER_INLINES_H

#include "WalkConversion.h"

namespace obpandoc {

/// text as a JSON string, in quotes.
void Quoted(obwalk::Utf8Text& out, const obwalk::Utf8Text& text);

/// UTF-8 text as pandoc inlines (a Str for each word, a Space for each run
/// of spaces), comma-separated, without brackets.
void Inlines(obwalk::Utf8Text& out, const obwalk::Utf8Text& text);

} // namespace obpandoc

#endif
