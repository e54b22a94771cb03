// The typed element views: one class OBM<Kind> per named element kind 0 to
// 227, expanded from <ombra/defs/ViewAccessors.def>.
#ifndef OMBRA_VIEWS_H
#define OMBRA_VIEWS_H

#include <ombra/elements.h>

/// Each view class is an Element of its kind with one virtual accessor per
/// attribute that elements of the kind carry, in the table's slot order
/// (after the destructor). An accessor returns the element's Value for the
/// attribute, or null when the element does not set it; the value stays the
/// element's. The library's own accessors all return null: a reader derives
/// its element classes from the views and overrides the accessors, a writer
/// checks GetElementType and reads through the view of that kind.
///
/// A view adds no data to Element. Its default constructor takes the next
/// id of the calling thread and the view's kind; copy and move construction
/// and assignment are those of Element (same id, type and child pointers,
/// with the ownership rules described there).
#define OB_VIEW_BEGIN(Kind, HasAccessors)                                                          \
    class OMBRA_API OBM##Kind : public Element {                                                   \
    public:                                                                                        \
        /** The element kind of this view. */                                                      \
        static constexpr EL::ElementTypeEnum kKind = EL::k##Kind;                                  \
        OBM##Kind() noexcept : Element(kKind) {}                                                   \
        OBM##Kind(const OBM##Kind& other) noexcept;                                                \
        OBM##Kind(OBM##Kind&& other) noexcept;                                                     \
        OBM##Kind& operator=(const OBM##Kind& other) noexcept;                                     \
        OBM##Kind& operator=(OBM##Kind&& other) noexcept;                                          \
        ~OBM##Kind() override;
#define OB_VIEW_ACCESSOR(Kind, Attr, ValueType) virtual Value* Get##Attr();
#define OB_VIEW_ACCESSOR_AS(Kind, Name, Attr, ValueType) virtual Value* Get##Name();
#define OB_VIEW_INDEXED(Kind, Attr, ValueType) virtual Value* Get##Attr(int n);
#define OB_VIEW_END(Kind)                                                                          \
    }                                                                                              \
    ;
#include <ombra/defs/ViewAccessors.def>

/// Generic access for writers and tools that walk a tree without naming the
/// view classes: the value that element `e` hands out for `attr`, through
/// the accessor of the view class of e's kind (so a plug-in's override
/// answers). `index` selects the entry of an indexed accessor
/// (GetNthColorID(int) and the others; a negative index gives null) and is
/// ignored by the others. Null when e is null, when e's kind carries no
/// such attribute (see OBFindViewAccessor), when e is not an object of its
/// kind's view class, or when the element does not set the attribute. The
/// value stays the element's.
OMBRA_API Value* OBGetAttributeValue(Element* e, AN::AttrNameEnum attr, int index = 0);

#endif
