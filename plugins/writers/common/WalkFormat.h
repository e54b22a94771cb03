// Formatting through styles: the BasedOn chain of each style as a chain of
// the core's attribute resolvers, built once per style, loops cut, and each
// value of a chain looked up once.
#ifndef OMBRA_WRITERS_WALKFORMAT_H
#define OMBRA_WRITERS_WALKFORMAT_H

#include "WalkValues.h"
#include "WriterProblems.h"

#include <ombra/resolvers.h>

#include <functional>
#include <unordered_map>

class OBStoryWalker;

namespace obwalk {
constexpr bool IsIndexed() {
    return false;
}
constexpr bool IsIndexed(int) {
    return true;
}
} // namespace obwalk

/// A style's resolved formatting, each value looked up once.
#define OB_RESOLVE_BASE CharacterAttributes
#define OB_WALK_KEPT OBWalkKeptCharacter
#include "WalkKept.h"
#define OB_RESOLVE_BASE ParagraphAttributes
#define OB_WALK_KEPT OBWalkKeptParagraph
#include "WalkKept.h"

/// The resolved formatting of the styles of one conversion. A style's chain
/// gives the style's own attributes first, then those of the style it is
/// based on, and so on; a paragraph style's full chain ends with the
/// default style's. Styles named as BasedOn that never arrived, and loops,
/// are reported once per style and cut.
class OBWalkFormats {
public:
    OB_MEMORY_OPERATORS
    OBWalkFormats(OBStoryWalker& walker, OBWriterProblems& problems);
    OBWalkFormats(const OBWalkFormats&) = delete;
    OBWalkFormats& operator=(const OBWalkFormats&) = delete;
    ~OBWalkFormats();

    /// Null for a null style or one without formatting anywhere in its chain.
    OBMParagraphAttributes* Paragraph(Element* paragraphStyle);
    OBMCharacterAttributes* ParagraphCharacter(Element* paragraphStyle);
    OBMCharacterAttributes* Character(Element* characterStyle);

private:
    struct Chain {
        OBMParagraphAttributes* paragraph = nullptr; // the style's own chain
        OBMCharacterAttributes* character = nullptr;
        OBMParagraphAttributes* fullParagraph = nullptr; // and the default style's
        OBMCharacterAttributes* fullCharacter = nullptr;
        int state = 0; // 1 while built, 2 when done
    };
    Chain* Build(Element* style, bool paragraphStyle, int depth);
    OBMParagraphAttributes* Join(OBMParagraphAttributes* primary,
                                 OBMParagraphAttributes* secondary);
    OBMCharacterAttributes* Join(OBMCharacterAttributes* primary,
                                 OBMCharacterAttributes* secondary);
    /// A source in front of which its values are kept once asked for.
    template <class Kept, class View> View* Keep(View* source);

    OBStoryWalker& walker_;
    OBWriterProblems& problems_;
    std::unordered_map<const Element*, Chain, std::hash<const Element*>,
                       std::equal_to<const Element*>,
                       obwalk::Allocator<std::pair<const Element* const, Chain>>>
        chains_;
    // The last character style and paragraph style whose done chain was
    // asked for: a paragraph asks for its style's formats, its runs for
    // their character styles', in turns.
    const Element* lastStyle_[2] = {};
    Chain* lastChain_[2] = {};
    OBBaseTypeCollection<Element*> resolvers_; // owned
};

#endif
