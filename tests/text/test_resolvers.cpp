// The character, paragraph and hyphenation resolvers: primary before
// secondary, null sources skipped, chains of resolvers in nesting order.
#include <ombra/resolvers.h>
#include <ombra/values.h>

#include "support/ConversionState.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using ombra_test::ConversionState;

// The values a source hands out, by getter name: each of its own, so that
// its address tells which source and which getter made it.
class Values {
public:
    Value* Find(const char* getter) {
        auto at = set_.find(getter);
        return at == set_.end() ? nullptr : at->second.get();
    }
    Value* Set(const std::string& getter) {
        std::unique_ptr<ValueString>& slot = set_[getter];
        if (!slot) slot.reset(new ValueString);
        return slot.get();
    }

private:
    std::map<std::string, std::unique_ptr<ValueString>> set_;
};

// Every getter of a view as (name, member pointer).
template <class View> struct Accessor {
    const char* name;
    Value* (View::*get)();
};

// Sources that set the getters they are told to, each with a value of its own.
#define OB_RESOLVE_BASE CharacterAttributes
struct CharacterSource : OBMCharacterAttributes {
    using View = OBMCharacterAttributes;
#include "text/ResolverSource.h"
};
#undef OB_RESOLVE_BASE
#define OB_RESOLVE_BASE ParagraphAttributes
struct ParagraphSource : OBMParagraphAttributes {
    using View = OBMParagraphAttributes;
#include "text/ResolverSource.h"
};
#undef OB_RESOLVE_BASE
#define OB_RESOLVE_BASE HyphenationAttributes
struct HyphenationSource : OBMHyphenationAttributes {
    using View = OBMHyphenationAttributes;
#include "text/ResolverSource.h"
};
#undef OB_RESOLVE_BASE
const auto kCharacterGetters = CharacterSource::Getters();
const auto kParagraphGetters = ParagraphSource::Getters();
const auto kHyphenationGetters = HyphenationSource::Getters();

// For every getter: the first source in `order` that sets it, or null. The
// sources set getters by a pattern that differs per source, so every getter
// sees a different mix of set and unset sources.
template <class Resolver, class View, class Source>
void ExpectNearestSource(Resolver& resolver, const std::vector<Source*>& order,
                         const std::vector<Accessor<View>>& getters, const char* what) {
    View& view = resolver;
    for (const auto& g : getters) {
        Value* expected = nullptr;
        for (Source* s : order)
            if (s && (expected = s->values.Find(g.name))) break;
        EXPECT_EQ((view.*g.get)(), expected) << what << " " << g.name;
    }
}

template <class Source, class View>
void SetByPattern(Source& source, const std::vector<Accessor<View>>& getters, int modulus,
                  int rest) {
    for (size_t i = 0; i < getters.size(); ++i)
        if (static_cast<int>(i) % modulus == rest) source.values.Set(getters[i].name);
}

// The resolvers override their views' getters in the views' slot order, and
// each getter asks the source getter of the same name, the primary first;
// the two sources set getters by patterns of their own.
template <class Resolver, class Source, class View>
void ExpectPrimaryFirst(const std::vector<Accessor<View>>& getters, const int (&patterns)[4],
                        const char* what) {
    const OBViewClassInfo* info = OBGetViewClass(View::kKind);
    ASSERT_TRUE(info && static_cast<size_t>(info->accessorCount) == getters.size()) << what;
    for (size_t i = 0; i < getters.size(); ++i)
        EXPECT_STREQ(getters[i].name, info->accessors[i].accessor);
    Source a, b;
    SetByPattern(a, getters, patterns[0], patterns[1]);
    SetByPattern(b, getters, patterns[2], patterns[3]);
    Resolver resolver(&a, &b);
    EXPECT_TRUE(resolver.GetPrimary() == &a && resolver.GetSecondary() == &b) << what;
    ExpectNearestSource(resolver, std::vector<Source*>{&a, &b}, getters, what);
}

TEST(Resolvers, PrimaryBeforeSecondaryForEveryGetter) {
    ConversionState state;
    ExpectPrimaryFirst<OBMResolveCharacterAttributes, CharacterSource>(kCharacterGetters,
                                                                       {2, 0, 3, 0}, "character");
    ExpectPrimaryFirst<OBMResolveParagraphAttributes, ParagraphSource>(kParagraphGetters,
                                                                       {4, 1, 3, 2}, "paragraph");
    ExpectPrimaryFirst<OBMResolveHyphenationAttributes, HyphenationSource>(
        kHyphenationGetters, {3, 0, 2, 1}, "hyphenation");
}

// Chains of depth 1 to 4, nested on the primary side, on the secondary side
// and on both, with null sources at several places.
TEST(Resolvers, ChainsFollowTheNestingOrder) {
    ConversionState state;
    CharacterSource s[6];
    const int moduli[] = {2, 3, 5, 4, 7, 3};
    for (int i = 0; i < 6; ++i)
        SetByPattern(s[i], kCharacterGetters, moduli[i], i % moduli[i]);
    using Order = std::vector<CharacterSource*>;

    // Depth 2: R2 = ((A, B), C).
    OBMResolveCharacterAttributes r1(&s[0], &s[1]);
    OBMResolveCharacterAttributes r2(&r1, &s[2]);
    ExpectNearestSource(r2, Order{&s[0], &s[1], &s[2]}, kCharacterGetters, "depth 2");

    // Depth 3 with a null source in the middle: ((A, null), B) then D.
    OBMResolveCharacterAttributes n1(&s[0], nullptr);
    OBMResolveCharacterAttributes n2(&n1, &s[1]);
    OBMResolveCharacterAttributes r3(&n2, &s[3]);
    ExpectNearestSource(r3, Order{&s[0], &s[1], &s[3]}, kCharacterGetters, "depth 3");

    // Depth 4 nested on both sides: ((null, (E, F)), (R2, null)) then a null primary.
    OBMResolveCharacterAttributes ef(&s[4], &s[5]);
    OBMResolveCharacterAttributes left(nullptr, &ef);
    OBMResolveCharacterAttributes right(&r2, nullptr);
    OBMResolveCharacterAttributes top(&left, &right);
    OBMResolveCharacterAttributes r4(nullptr, &top);
    ExpectNearestSource(r4, Order{&s[4], &s[5], &s[0], &s[1], &s[2]}, kCharacterGetters, "depth 4");

    // Sources that are null or set nothing pass every question on.
    OBMResolveCharacterAttributes none(nullptr, nullptr);
    ExpectNearestSource(none, Order{}, kCharacterGetters, "no sources");
    CharacterSource empty;
    OBMResolveCharacterAttributes e1(&empty, &r4);
    OBMResolveCharacterAttributes e2(&e1, &empty);
    ExpectNearestSource(e2, Order{&s[4], &s[5], &s[0], &s[1], &s[2]}, kCharacterGetters,
                        "empty sources");
}

TEST(Resolvers, AResolverIsAnElementThatGoesThroughElement) {
    ConversionState state;
    CharacterSource source;
    Value* font = source.values.Set("GetFont");
    Element* element = new OBMResolveCharacterAttributes(&source, nullptr);
    ASSERT_NE(element, nullptr);
    ASSERT_EQ(element->GetElementType(), EL::kCharacterAttributes);
    EXPECT_EQ(static_cast<OBMCharacterAttributes*>(element)->GetFont(), font);
    delete element; // the source is not the resolver's to delete
    EXPECT_EQ(source.GetFont(), font);
}

} // namespace
