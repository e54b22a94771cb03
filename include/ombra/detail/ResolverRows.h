// Expands OB_RESOLVE_ROW(Getter, Params, Args) once for every accessor of the
// view OBM<OB_RESOLVE_BASE>, in slot order, from the view-accessor table:
// OB_RESOLVE_ROW(GetFont, (), ()) or OB_RESOLVE_ROW(GetNthX, (int n), (n)).
// No include guard: define both macros, include, and the rows are undefined
// again afterwards (OB_RESOLVE_BASE and OB_RESOLVE_ROW stay the includer's).

#ifndef OB_RESOLVE_IS
// OB_RESOLVE_IS(Base, Kind) is 1 when Kind is Base and 0 otherwise.
#define OB_RESOLVE_SECOND(a, b, ...) b
#define OB_RESOLVE_PROBE(...) OB_RESOLVE_SECOND(__VA_ARGS__, 0, )
#define OB_RESOLVE_IS(Base, Kind) OB_RESOLVE_IS_(Base, Kind)
#define OB_RESOLVE_IS_(Base, Kind) OB_RESOLVE_PROBE(OB_RESOLVE_KIND_##Base##_##Kind)
#define OB_RESOLVE_KIND_CharacterAttributes_CharacterAttributes ~, 1,
#define OB_RESOLVE_KIND_ParagraphAttributes_ParagraphAttributes ~, 1,
#define OB_RESOLVE_KIND_HyphenationAttributes_HyphenationAttributes ~, 1,
#define OB_RESOLVE_IF(cond) OB_RESOLVE_IF_(cond)
#define OB_RESOLVE_IF_(cond) OB_RESOLVE_IF_##cond
#define OB_RESOLVE_IF_1(...) __VA_ARGS__
#define OB_RESOLVE_IF_0(...)
#endif

#define OB_VIEW_ACCESSOR(Kind, Attr, ValueType)                                                    \
    OB_RESOLVE_IF(OB_RESOLVE_IS(OB_RESOLVE_BASE, Kind))(OB_RESOLVE_ROW(Get##Attr, (), ()))
#define OB_VIEW_ACCESSOR_AS(Kind, Name, Attr, ValueType)                                           \
    OB_RESOLVE_IF(OB_RESOLVE_IS(OB_RESOLVE_BASE, Kind))(OB_RESOLVE_ROW(Get##Name, (), ()))
#define OB_VIEW_INDEXED(Kind, Attr, ValueType)                                                     \
    OB_RESOLVE_IF(OB_RESOLVE_IS(OB_RESOLVE_BASE, Kind))(OB_RESOLVE_ROW(Get##Attr, (int n), (n)))
#include <ombra/defs/ViewAccessors.def>
