// The library's accessors: a view of its own sets no attribute.
#include <ombra/views.h>

#define OB_VIEW_ACCESSOR(Kind, Attr, ValueType)                                                    \
    Value* OBM##Kind::Get##Attr() {                                                                \
        return nullptr;                                                                            \
    }
#define OB_VIEW_ACCESSOR_AS(Kind, Name, Attr, ValueType)                                           \
    Value* OBM##Kind::Get##Name() {                                                                \
        return nullptr;                                                                            \
    }
#define OB_VIEW_INDEXED(Kind, Attr, ValueType)                                                     \
    Value* OBM##Kind::Get##Attr(int) {                                                             \
        return nullptr;                                                                            \
    }
#include <ombra/defs/ViewAccessors.def>
