// The body of a test source for the view View = OBM<OB_RESOLVE_BASE>: every
// getter answers the value `values` holds under its name, and Getters() lists
// them all, as (name, member pointer) in slot order. Both come from the
// resolvers' own rows, as a reader's overrides would. No include guard:
// included once in each source class.
Values values;
#define OB_RESOLVE_ROW(Getter, Params, Args)                                                       \
    Value* Getter Params override {                                                                \
        return values.Find(#Getter);                                                               \
    }
#include <ombra/detail/ResolverRows.h>
#undef OB_RESOLVE_ROW
static std::vector<Accessor<View>> Getters() {
    return {
#define OB_RESOLVE_ROW(Getter, Params, Args) {#Getter, &View::Getter},
#include <ombra/detail/ResolverRows.h>
#undef OB_RESOLVE_ROW
    };
}
