// Two-source resolvers of character, paragraph and hyphenation attributes.
// Their getters are expanded from the rows of <ombra/defs/ViewAccessors.def>
// that belong to the view each resolver derives from.
#ifndef OMBRA_RESOLVERS_H
#define OMBRA_RESOLVERS_H

#include <ombra/views.h>

// Each resolver declares the overrides of its view's accessors, expanded from
// the same table as the view, so both share one slot order.
#define OB_RESOLVE_ROW(Getter, Params, Args) Value* Getter Params override;

/// The effective character attributes of two sources. Every getter asks the
/// primary source first and, when it returns null, the secondary; a null
/// source is skipped, and no source gives null. Since a resolver is itself
/// an OBMCharacterAttributes, resolvers nest into chains of any depth:
/// with R1 = (A, B) and R2 = (R1, C), R2 yields A's value, else B's, else
/// C's. Each level of a chain adds one call to a getter's depth.
///
/// The resolver neither copies nor deletes its sources, which must outlive
/// it; a returned Value belongs to the source that gave it. A chain that
/// leads back to the resolver itself recurses without end: the builder of a
/// chain must not create such a cycle. The resolver is an Element of kind
/// CharacterAttributes without children or attributes of its own.
class OMBRA_API OBMResolveCharacterAttributes : public OBMCharacterAttributes {
public:
    OBMResolveCharacterAttributes(OBMCharacterAttributes* primary,
                                  OBMCharacterAttributes* secondary) noexcept;
    OBMResolveCharacterAttributes(const OBMResolveCharacterAttributes&) = delete;
    OBMResolveCharacterAttributes& operator=(const OBMResolveCharacterAttributes&) = delete;
    ~OBMResolveCharacterAttributes() override;

    /// The sources, fixed at construction (either may be null).
    OBMCharacterAttributes* GetPrimary() const noexcept { return primary_; }
    OBMCharacterAttributes* GetSecondary() const noexcept { return secondary_; }

#define OB_RESOLVE_BASE CharacterAttributes
#include <ombra/detail/ResolverRows.h>
#undef OB_RESOLVE_BASE

private:
    OBMCharacterAttributes* primary_;
    OBMCharacterAttributes* secondary_;
};

/// The effective paragraph attributes of two sources, resolved as
/// OBMResolveCharacterAttributes resolves character attributes. The getter
/// GetHyphenationAndJustificationStyle yields the nearest source's value
/// like any other; the hyphenation settings that it names are resolved
/// separately, with OBMResolveHyphenationAttributes.
class OMBRA_API OBMResolveParagraphAttributes : public OBMParagraphAttributes {
public:
    OBMResolveParagraphAttributes(OBMParagraphAttributes* primary,
                                  OBMParagraphAttributes* secondary) noexcept;
    OBMResolveParagraphAttributes(const OBMResolveParagraphAttributes&) = delete;
    OBMResolveParagraphAttributes& operator=(const OBMResolveParagraphAttributes&) = delete;
    ~OBMResolveParagraphAttributes() override;

    OBMParagraphAttributes* GetPrimary() const noexcept { return primary_; }
    OBMParagraphAttributes* GetSecondary() const noexcept { return secondary_; }

#define OB_RESOLVE_BASE ParagraphAttributes
#include <ombra/detail/ResolverRows.h>
#undef OB_RESOLVE_BASE

private:
    OBMParagraphAttributes* primary_;
    OBMParagraphAttributes* secondary_;
};

/// The effective hyphenation and line-breaking settings of two sources,
/// resolved as OBMResolveCharacterAttributes resolves character attributes.
class OMBRA_API OBMResolveHyphenationAttributes : public OBMHyphenationAttributes {
public:
    OBMResolveHyphenationAttributes(OBMHyphenationAttributes* primary,
                                    OBMHyphenationAttributes* secondary) noexcept;
    OBMResolveHyphenationAttributes(const OBMResolveHyphenationAttributes&) = delete;
    OBMResolveHyphenationAttributes& operator=(const OBMResolveHyphenationAttributes&) = delete;
    ~OBMResolveHyphenationAttributes() override;

    OBMHyphenationAttributes* GetPrimary() const noexcept { return primary_; }
    OBMHyphenationAttributes* GetSecondary() const noexcept { return secondary_; }

#define OB_RESOLVE_BASE HyphenationAttributes
#include <ombra/detail/ResolverRows.h>
#undef OB_RESOLVE_BASE

private:
    OBMHyphenationAttributes* primary_;
    OBMHyphenationAttributes* secondary_;
};

#undef OB_RESOLVE_ROW

#endif
