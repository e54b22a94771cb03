// The special members of the view classes: each view's destructor is its
// key function, so its vtable is emitted here, once.
#include <ombra/views.h>

#define OB_VIEW_BEGIN(Kind, HasAccessors)                                                          \
    OBM##Kind::OBM##Kind(const OBM##Kind& other) noexcept : Element(other) {}                      \
    OBM##Kind::OBM##Kind(OBM##Kind&& other) noexcept : Element(static_cast<Element&&>(other)) {}   \
    OBM##Kind& OBM##Kind::operator=(const OBM##Kind& other) noexcept {                             \
        Element::operator=(other);                                                                 \
        return *this;                                                                              \
    }                                                                                              \
    OBM##Kind& OBM##Kind::operator=(OBM##Kind&& other) noexcept {                                  \
        Element::operator=(static_cast<Element&&>(other));                                         \
        return *this;                                                                              \
    }                                                                                              \
    OBM##Kind::~OBM##Kind() = default;
#include <ombra/defs/ViewAccessors.def>
