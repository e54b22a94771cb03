// The resolvers' getters, one per row of their view in the accessor table:
// the primary source's value when it sets one, else the secondary's.
#include <ombra/resolvers.h>

#define OB_RESOLVE_ROW(Getter, Params, Args)                                                       \
    Value* OB_RESOLVE_CLASS::Getter Params {                                                       \
        if (primary_)                                                                              \
            if (Value* value = primary_->Getter Args) return value;                                \
        return secondary_ ? secondary_->Getter Args : nullptr;                                     \
    }

// ---- OBMResolveCharacterAttributes ----

OBMResolveCharacterAttributes::OBMResolveCharacterAttributes(
    OBMCharacterAttributes* primary, OBMCharacterAttributes* secondary) noexcept
    : primary_(primary), secondary_(secondary) {}

OBMResolveCharacterAttributes::~OBMResolveCharacterAttributes() = default;

#define OB_RESOLVE_CLASS OBMResolveCharacterAttributes
#define OB_RESOLVE_BASE CharacterAttributes
#include <ombra/detail/ResolverRows.h>
#undef OB_RESOLVE_BASE
#undef OB_RESOLVE_CLASS

// ---- OBMResolveParagraphAttributes ----

OBMResolveParagraphAttributes::OBMResolveParagraphAttributes(
    OBMParagraphAttributes* primary, OBMParagraphAttributes* secondary) noexcept
    : primary_(primary), secondary_(secondary) {}

OBMResolveParagraphAttributes::~OBMResolveParagraphAttributes() = default;

#define OB_RESOLVE_CLASS OBMResolveParagraphAttributes
#define OB_RESOLVE_BASE ParagraphAttributes
#include <ombra/detail/ResolverRows.h>
#undef OB_RESOLVE_BASE
#undef OB_RESOLVE_CLASS

// ---- OBMResolveHyphenationAttributes ----

OBMResolveHyphenationAttributes::OBMResolveHyphenationAttributes(
    OBMHyphenationAttributes* primary, OBMHyphenationAttributes* secondary) noexcept
    : primary_(primary), secondary_(secondary) {}

OBMResolveHyphenationAttributes::~OBMResolveHyphenationAttributes() = default;

#define OB_RESOLVE_CLASS OBMResolveHyphenationAttributes
#define OB_RESOLVE_BASE HyphenationAttributes
#include <ombra/detail/ResolverRows.h>
#undef OB_RESOLVE_BASE
#undef OB_RESOLVE_CLASS

#undef OB_RESOLVE_ROW

// Each resolver overrides exactly its view's getters.
#define OB_RESOLVE_ROW(Getter, Params, Args) +1
#define OB_RESOLVE_BASE CharacterAttributes
constexpr int kCharacterGetters = 0
#include <ombra/detail/ResolverRows.h>
    ;
#undef OB_RESOLVE_BASE
#define OB_RESOLVE_BASE ParagraphAttributes
constexpr int kParagraphGetters = 0
#include <ombra/detail/ResolverRows.h>
    ;
#undef OB_RESOLVE_BASE
#define OB_RESOLVE_BASE HyphenationAttributes
constexpr int kHyphenationGetters = 0
#include <ombra/detail/ResolverRows.h>
    ;
#undef OB_RESOLVE_BASE
#undef OB_RESOLVE_ROW
static_assert(kCharacterGetters == 81, "character attributes");
static_assert(kParagraphGetters == 77, "paragraph attributes");
static_assert(kHyphenationGetters == 12, "hyphenation attributes");
