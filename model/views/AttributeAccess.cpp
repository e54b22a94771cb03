// Generic attribute access: one switch per view class over the attributes
// it carries, expanded from the accessor table.
#include <ombra/storedelements.h>
#include <ombra/views.h>

#include <ombra/detail/CastLikely.h>

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

Value* OBGetAttributeValue(Element* e, AN::AttrNameEnum attr, int index) {
    if (!e) return nullptr;
    switch (e->GetElementType()) {
#include <ombra/defs/ViewAccessors.def>
    default:
        return nullptr;
    }
}
