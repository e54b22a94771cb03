// Generic attribute access: one switch per view class over the attributes
// it carries, expanded from the accessor table.
#include <ombra/storedelements.h>
#include <ombra/views.h>

#include <ombra/detail/CastLikely.h>

namespace {

// Which attributes each kind carries, one bit each: most asks (a walk
// asking every element for its text stream) are of attributes the kind
// does not carry, which this answers before any switch or cast.
constexpr int kAttrWords = (kOBAttrNameCount + 63) / 64;
struct Carried {
    unsigned long long bits[kOBElementTypeCount][kAttrWords];
};

constexpr void Carry(Carried& carried, int kind, int attr) {
    carried.bits[kind][attr / 64] |= 1ULL << (attr % 64);
}

constexpr Carried AllCarried() {
    Carried carried{};
#define OB_VIEW_ACCESSOR(Kind, Attr, ValueType) Carry(carried, EL::k##Kind, AN::k##Attr);
#define OB_VIEW_ACCESSOR_AS(Kind, Name, Attr, ValueType) Carry(carried, EL::k##Kind, AN::k##Attr);
#define OB_VIEW_INDEXED(Kind, Attr, ValueType) Carry(carried, EL::k##Kind, AN::k##Attr);
#include <ombra/defs/ViewAccessors.def>
    return carried;
}
constexpr Carried kCarried = AllCarried();

bool Carries(int kind, int attr) {
    if (static_cast<unsigned>(kind) >= static_cast<unsigned>(kOBElementTypeCount) ||
        static_cast<unsigned>(attr) >= static_cast<unsigned>(kOBAttrNameCount))
        return false;
    return (kCarried.bits[kind][attr / 64] >> (attr % 64)) & 1U;
}

} // namespace

// The element is checked to be an object of its kind's view class before an
// accessor is called: an Element of the same kind that is no view has no
// such virtual function to call. Readers' elements are mostly the stored
// classes, which a type comparison recognises far faster than a cast.
#define OB_VIEW_BEGIN(Kind, HasAccessors)                                                          \
    case EL::k##Kind: {                                                                            \
        OBM##Kind* view = ombra_detail::CastLikely<OBStored##Kind, OBM##Kind>(e);                  \
        if (!view) return nullptr;                                                                 \
        switch (attr) {
#define OB_VIEW_ACCESSOR(Kind, Attr, ValueType)                                                    \
    case AN::k##Attr:                                                                              \
        return view->Get##Attr();
#define OB_VIEW_ACCESSOR_AS(Kind, Name, Attr, ValueType)                                           \
    case AN::k##Attr:                                                                              \
        return view->Get##Name();
#define OB_VIEW_INDEXED(Kind, Attr, ValueType)                                                     \
    case AN::k##Attr:                                                                              \
        return index >= 0 ? view->Get##Attr(index) : nullptr;
#define OB_VIEW_END(Kind)                                                                          \
    default:                                                                                       \
        return nullptr;                                                                            \
        }                                                                                          \
        }

namespace {

// The accessor of e's view for an attribute its kind carries; apart, so
// that the asks answered above cost no frame.
__attribute__((noinline)) Value* Accessed(Element* e, AN::AttrNameEnum attr, int index) {
    switch (e->GetElementType()) {
#include <ombra/defs/ViewAccessors.def>
    default:
        return nullptr;
    }
}

} // namespace

Value* OBGetAttributeValue(Element* e, AN::AttrNameEnum attr, int index) {
    if (!e || !Carries(e->GetElementType(), attr)) return nullptr;
    return Accessed(e, attr, index);
}
