// A cast for objects that are nearly always of one class.
#ifndef OMBRA_DETAIL_CASTLIKELY_H
#define OMBRA_DETAIL_CASTLIKELY_H

#include <typeinfo>

namespace ombra_detail {

/// p as a Target, as dynamic_cast gives it. When p is exactly a Likely, one
/// comparison of type records says so and spares the cast its walk of the
/// class graph (and, across libraries, its comparison of type names).
/// Likely must derive from Target.
template <class Likely, class Target, class Base> Target* CastLikely(Base* p) {
    if (p && &typeid(*p) == &typeid(Likely)) return static_cast<Likely*>(p);
    return dynamic_cast<Target*>(p);
}

} // namespace ombra_detail

#endif
