// The character, paragraph and hyphenation resolvers: primary before
// secondary, null sources skipped, chains of resolvers in nesting order.
#include <ombra/resolvers.h>
#include <ombra/values.h>

#include "support/ConversionState.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <random>
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

// Random chains up to four deep: each side of a resolver is a source (one
// sets nothing), null or another resolver; a getter answers from the first
// source that sets it in depth-first order, primary before secondary.
TEST(Resolvers, ChainsFollowTheNestingOrder) {
    ConversionState state;
    CharacterSource s[7];
    const int moduli[] = {2, 3, 5, 4, 7, 3};
    for (int i = 0; i < 6; ++i)
        SetByPattern(s[i], kCharacterGetters, moduli[i], i % moduli[i]);
    std::mt19937 rng(7);
    for (int round = 0; round < 60; ++round) {
        std::vector<std::unique_ptr<OBMResolveCharacterAttributes>> made;
        std::vector<CharacterSource*> order;
        std::function<OBMCharacterAttributes*(int)> side =
            [&](int depth) -> OBMCharacterAttributes* {
            unsigned pick = rng() % (depth > 0 ? 10 : 8);
            if (pick < 7) return order.push_back(&s[pick]), &s[pick];
            if (pick == 7) return nullptr;
            OBMCharacterAttributes* primary = side(depth - 1);
            made.emplace_back(new OBMResolveCharacterAttributes(primary, side(depth - 1)));
            return made.back().get();
        };
        OBMCharacterAttributes* primary = side(3);
        OBMResolveCharacterAttributes top(primary, side(3));
        ExpectNearestSource(top, order, kCharacterGetters,
                            ("round " + std::to_string(round)).c_str());
    }
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
