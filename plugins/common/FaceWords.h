// What the words of a font face's name say (bold, italic, where the family
// ends), from one table (FaceWords.def) that readers and writers share.
#ifndef OMBRA_PLUGINS_FACE_WORDS_H
#define OMBRA_PLUGINS_FACE_WORDS_H

#include <cstddef>

namespace obface {

/// Whether a face is bold and italic by the words of its name: a style
/// name alone (styleOnly: "Bold Italic", "W6", "Pr6N B") or a full name
/// ("Hiragino Kaku Gothic ProN W6", "Arial Bold").
void Style(const char* name, std::size_t size, bool styleOnly, bool& bold, bool& italic);

/// The length of the family a full name starts with: the name without the
/// weight and style words that end it ("Kozuka Mincho Pr6N B").
std::size_t FamilyLength(const char* name, std::size_t size);

} // namespace obface

#endif
