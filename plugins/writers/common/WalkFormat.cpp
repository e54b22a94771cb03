#include "WalkFormat.h"

#include "StoryWalker.h"

#include <ombra/views.h>

using namespace obwalk;

OBWalkFormats::OBWalkFormats(OBStoryWalker& walker, OBWriterProblems& problems)
    : walker_(walker), problems_(problems) {}

OBWalkFormats::~OBWalkFormats() {
    // Later resolvers lean on earlier ones: delete them last to first.
    for (int i = resolvers_.Count() - 1; i >= 0; --i)
        delete resolvers_[i];
}

OBMParagraphAttributes* OBWalkFormats::Join(OBMParagraphAttributes* primary,
                                            OBMParagraphAttributes* secondary) {
    if (!primary || !secondary || primary == secondary) return primary ? primary : secondary;
    auto* joined = new OBMResolveParagraphAttributes(primary, secondary);
    if (!joined || !resolvers_.Add(joined)) {
        delete joined;
        problems_.Report(OBERR::kOutOfMemory);
        return primary;
    }
    return joined;
}

OBMCharacterAttributes* OBWalkFormats::Join(OBMCharacterAttributes* primary,
                                            OBMCharacterAttributes* secondary) {
    if (!primary || !secondary || primary == secondary) return primary ? primary : secondary;
    auto* joined = new OBMResolveCharacterAttributes(primary, secondary);
    if (!joined || !resolvers_.Add(joined)) {
        delete joined;
        problems_.Report(OBERR::kOutOfMemory);
        return primary;
    }
    return joined;
}

template <class Kept, class View> View* OBWalkFormats::Keep(View* source) {
    if (!source) return nullptr;
    auto* kept = new Kept(source);
    if (!kept || !resolvers_.Add(kept)) {
        delete kept;
        problems_.Report(OBERR::kOutOfMemory);
        return source;
    }
    return kept;
}

OBWalkFormats::Chain* OBWalkFormats::Build(Element* style, bool paragraphStyle, int depth) {
    if (!style) return nullptr;
    const int kind = paragraphStyle ? 1 : 0;
    if (style == lastStyle_[kind]) return lastChain_[kind];
    Chain& chain = chains_[style];
    if (chain.state == 2) {
        lastStyle_[kind] = style;
        lastChain_[kind] = &chain; // entries of the map stay where they are
        return &chain;
    }
    if (chain.state == 1 || depth > OBWALK::kMaxDepth) {
        problems_.Report(depth > OBWALK::kMaxDepth ? OBERR::kLimitExceeded
                                                   : OBERR::kBrokenReference); // a loop
        return nullptr;
    }
    chain.state = 1;
    Chain* base = nullptr;
    unsigned basedOn = 0;
    if (GetId(style, AN::kBasedOn, basedOn)) {
        Element* next = paragraphStyle ? walker_.FindParagraphStyle(basedOn)
                                       : walker_.FindCharacterStyle(basedOn);
        if (!next) problems_.Report(OBERR::kBrokenReference);
        base = Build(next, paragraphStyle, depth + 1);
    }
    // The map may have grown while the base was built: look the entry up again.
    Chain& done = chains_[style];
    auto* ownParagraph =
        dynamic_cast<OBMParagraphAttributes*>(style->GetChild(EL::kParagraphAttributes));
    auto* ownCharacter =
        dynamic_cast<OBMCharacterAttributes*>(style->GetChild(EL::kCharacterAttributes));
    done.paragraph =
        Keep<OBWalkKeptParagraph>(Join(ownParagraph, base ? base->paragraph : nullptr));
    done.character =
        Keep<OBWalkKeptCharacter>(Join(ownCharacter, base ? base->character : nullptr));
    done.fullParagraph = done.paragraph;
    done.fullCharacter = done.character;
    Element* fallback = walker_.DefaultParagraphStyle();
    if (paragraphStyle && fallback && fallback != style) {
        if (Chain* defaults = Build(fallback, true, depth + 1)) {
            Chain& joined = chains_[style];
            if (defaults->paragraph && joined.paragraph)
                joined.fullParagraph =
                    Keep<OBWalkKeptParagraph>(Join(joined.paragraph, defaults->paragraph));
            else
                joined.fullParagraph = joined.paragraph ? joined.paragraph : defaults->paragraph;
            if (defaults->character && joined.character)
                joined.fullCharacter =
                    Keep<OBWalkKeptCharacter>(Join(joined.character, defaults->character));
            else
                joined.fullCharacter = joined.character ? joined.character : defaults->character;
        }
    }
    Chain& result = chains_[style];
    result.state = 2;
    return &result;
}

OBMParagraphAttributes* OBWalkFormats::Paragraph(Element* paragraphStyle) {
    Chain* chain = Build(paragraphStyle, true, 0);
    return chain ? chain->fullParagraph : nullptr;
}

OBMCharacterAttributes* OBWalkFormats::ParagraphCharacter(Element* paragraphStyle) {
    Chain* chain = Build(paragraphStyle, true, 0);
    return chain ? chain->fullCharacter : nullptr;
}

OBMCharacterAttributes* OBWalkFormats::Character(Element* characterStyle) {
    Chain* chain = Build(characterStyle, false, 0);
    return chain ? chain->character : nullptr;
}

// ---- the walker's look-ups --------------------------------------------------------

OBWalkFormats* OBStoryWalker::Formats() {
    if (!formats_) {
        formats_ = new OBWalkFormats(*this, problems_);
        if (!formats_) problems_.Report(OBERR::kOutOfMemory);
    }
    return formats_;
}

OBMParagraphAttributes* OBStoryWalker::ParagraphStyleFormat(Element* paragraphStyle) {
    OBWalkFormats* formats = Formats();
    return formats ? formats->Paragraph(paragraphStyle) : nullptr;
}

OBMCharacterAttributes* OBStoryWalker::ParagraphStyleCharacterFormat(Element* paragraphStyle) {
    OBWalkFormats* formats = Formats();
    return formats ? formats->ParagraphCharacter(paragraphStyle) : nullptr;
}

OBMCharacterAttributes* OBStoryWalker::CharacterStyleFormat(Element* characterStyle) {
    OBWalkFormats* formats = Formats();
    return formats ? formats->Character(characterStyle) : nullptr;
}

Value* OBStoryWalker::StyleChainValue(Element* style, bool paragraphStyle, AN::AttrNameEnum attr) {
    for (int depth = 0; style && depth <= OBWALK::kMaxDepth; ++depth) {
        if (Value* v = OBGetAttributeValue(style->GetChild(EL::kCharacterAttributes), attr))
            return v;
        unsigned basedOn = 0;
        if (!GetId(style, AN::kBasedOn, basedOn)) return nullptr;
        Element* next =
            paragraphStyle ? paragraphStyles_.Find(basedOn) : characterStyles_.Find(basedOn);
        if (!next) problems_.Report(OBERR::kBrokenReference);
        if (next == style) return nullptr;
        style = next;
    }
    if (style) problems_.Report(OBERR::kBrokenReference); // a loop of BasedOn
    return nullptr;
}

Value* OBStoryWalker::CharacterValue(AN::AttrNameEnum attr, Element* characterRun,
                                     Element* paragraphRun) {
    if (Value* v = OBGetAttributeValue(characterRun->GetChild(EL::kCharacterAttributes), attr))
        return v;
    return StyleValue(attr, characterRun, paragraphRun);
}

void OBStoryWalker::CharacterValues(const AN::AttrNameEnum* attrs, Value** values, int n,
                                    Element* characterRun, Element* paragraphRun, StyleMemo& memo) {
    Element* own = characterRun->GetChild(EL::kCharacterAttributes);
    bool pending = false;
    for (int k = 0; k < n; ++k)
        pending = !(values[k] = OBGetAttributeValue(own, attrs[k])) || pending;
    if (!pending) return;
    StyleMemo key;
    key.hasCharacterStyle = GetId(characterRun, AN::kCharacterStyleID, key.characterStyle);
    key.hasParagraphStyle = GetId(characterRun, AN::kParagraphStyleID, key.paragraphStyle);
    key.paragraphRun = paragraphRun;
    StyleValues(attrs, values, n, characterRun, key, memo);
}

void OBStoryWalker::StyleValues(const AN::AttrNameEnum* attrs, Value** values, int n,
                                Element* characterRun, const StyleMemo& key, StyleMemo& memo) {
    if (!memo.Same(key)) memo = key;
    for (int k = 0; k < n; ++k) {
        if (values[k]) continue;
        if (!memo.known[k]) {
            int before = problems_.Total();
            memo.values[k] = StyleValue(attrs[k], characterRun, key.paragraphRun);
            memo.reports[k] = problems_.Total() - before;
            memo.known[k] = true;
        } else {
            for (int r = 0; r < memo.reports[k]; ++r) // made again, as a fresh look-up makes them
                problems_.Report(OBERR::kBrokenReference);
        }
        values[k] = memo.values[k];
    }
}

// What the styles under a character run give: its character style's chain,
// the paragraph run's own attributes, its paragraph style's chain, the
// default style's. Problems found are broken references, nothing else.
Value* OBStoryWalker::StyleValue(AN::AttrNameEnum attr, Element* characterRun,
                                 Element* paragraphRun) {
    unsigned id = 0;
    if (GetId(characterRun, AN::kCharacterStyleID, id)) {
        Element* style = characterStyles_.Find(id);
        if (!style) problems_.Report(OBERR::kBrokenReference);
        if (Value* v = StyleChainValue(style, false, attr)) return v;
    }
    if (paragraphRun)
        if (Value* v = OBGetAttributeValue(paragraphRun->GetChild(EL::kCharacterAttributes), attr))
            return v;
    Element* paragraphStyle = nullptr;
    if ((paragraphRun && GetId(paragraphRun, AN::kParagraphStyleID, id)) ||
        GetId(characterRun, AN::kParagraphStyleID, id)) {
        paragraphStyle = paragraphStyles_.Find(id);
        if (!paragraphStyle) problems_.Report(OBERR::kBrokenReference);
    }
    if (Value* v = StyleChainValue(paragraphStyle, true, attr)) return v;
    if (defaultParagraphStyle_ != paragraphStyle)
        return StyleChainValue(defaultParagraphStyle_, true, attr);
    return nullptr;
}
