// Building a reader's Elements: the stored elements of every kind, attribute
// setters that report running out of memory, child lists that grow
// geometrically, and the problems a reader meets along the way
// (docs/document-model.md, sections 9 and 10).
#ifndef OMBRA_READER_BUILDER_H
#define OMBRA_READER_BUILDER_H

#include <ombra/messages.h>
#include <ombra/elements.h>
#include <ombra/storedelements.h>
#include <ombra/valueutil.h>

#include <cstddef>
#include <string>

namespace obreader {

/// The value class that holds members of the enumeration M.
template <class M> struct EnumValueOf;
#define OB_VALUE_ENUM_BEGIN(Code, TypeName, ValueClass, Space, Enum, Creator)                      \
    template <> struct EnumValueOf<Space::Enum> { using Type = ValueClass; };
#define OB_VALUE_ENUM_EXTERNAL(Code, TypeName, ValueClass, Space, Enum, Creator)                   \
    OB_VALUE_ENUM_BEGIN(Code, TypeName, ValueClass, Space, Enum, Creator)
#include <ombra/defs/ValueEnums.def>

/// Where a reader reports what it skipped or repaired: an OBERR code.
class ProblemSink {
public:
    virtual ~ProblemSink();
    virtual void Report(int code) = 0;
    /// With what the problem is about (a style, a colour, a page), in English.
    virtual void Report(int code, const std::string& detail) {
        (void)detail;
        Report(code);
    }
};

/// Reports through the conversion log (the code's message id, with the
/// detail) and the calling thread's error code, as every reader does.
class LoggingProblems : public ProblemSink {
public:
    void Report(int code) override;
    void Report(int code, const std::string& detail) override;

private:
    void SetErrorCode(int code);
    bool outOfMemory_ = false;
};

/// Makes Elements and sets their attributes. New top-level Elements are
/// appended to `out`; children go to their parent. When memory runs out the
/// Element or value is left out, what was built stays, and kOutOfMemory is
/// reported once.
class ElementBuilder {
public:
    ElementBuilder(ProblemSink& problems, ElementList& out) : problems_(problems), out_(&out) {}
    ElementBuilder(const ElementBuilder&) = delete;
    ElementBuilder& operator=(const ElementBuilder&) = delete;

    void Report(int code) { problems_.Report(code); }
    void Report(int code, const std::string& detail) { problems_.Report(code, detail); }
    /// kOutOfMemory, reported once per conversion.
    void OutOfMemory();
    /// kBrokenReference: without a detail once per conversion, with one
    /// (what points where) each time, the log keeping each detail once.
    void BadReference();
    void BadReference(const std::string& what) { problems_.Report(OBERR::kBrokenReference, what); }
    bool RanOutOfMemory() const { return outOfMemory_; }

    /// A new top-level Element, or null.
    Element* Top(EL::ElementTypeEnum kind);
    /// A new Element attached to parent, or null (nothing attached).
    Element* Child(Element* parent, EL::ElementTypeEnum kind);
    /// A new Element that belongs to no list yet: Attach or Delete it.
    Element* Loose(EL::ElementTypeEnum kind);
    /// Attaches child to parent; when that fails the child is deleted.
    bool Attach(Element* parent, Element* child);
    /// Deletes the last child of parent (one made a moment ago that cannot
    /// be completed).
    void DropLast(Element* parent);
    /// Every Element the reader deletes goes through here, so that a new
    /// one at the same address (of it or of its children) does not find the
    /// old one's store.
    void Delete(Element* e);

    /// The store of e's attributes (looked up once per run of setters).
    OBAttributeStore* Store(Element* e);
    void Check(short ok) {
        if (!ok) OutOfMemory();
    }

    void Utf8(Element* e, AN::AttrNameEnum a, const std::string& s);
    void Text(Element* e, AN::AttrNameEnum a, const char16_t* units, std::size_t count);
    void Length(Element* e, AN::AttrNameEnum a, double v,
                UNITS::LINEAR::UnitEnum unit = UNITS::LINEAR::kPoints);
    void Bool(Element* e, AN::AttrNameEnum a, bool v);
    /// Clamped to the 32-bit range; false when it could not be stored.
    bool Int(Element* e, AN::AttrNameEnum a, long long v);
    void Percent(Element* e, AN::AttrNameEnum a, double ratio);
    void Angle(Element* e, AN::AttrNameEnum a, double degrees);
    void Real(Element* e, AN::AttrNameEnum a, double v);
    void Id(Element* e, AN::AttrNameEnum a, unsigned id);
    /// Nothing when target is null.
    void IdOf(Element* e, AN::AttrNameEnum a, const Element* target);
    /// Kept as given: an inset box is four distances, not corners to normalise.
    void Rect(Element* e, AN::AttrNameEnum a, double left, double top, double right, double bottom);
    void Point(Element* e, AN::AttrNameEnum a, double x, double y);
    /// Stores v (recycling it when e has no store); a null v means no memory.
    void Put(Element* e, AN::AttrNameEnum a, Value* v);
    /// The member goes into e's block like the other setters; `create` names
    /// the value class, which holds members of M alone.
    template <class M>
    void Enum(Element* e, AN::AttrNameEnum a, void (*create)(const M&, Value*&), M member) {
        (void)create;
        if (auto* st = Store(e)) Check(st->SetMember<typename EnumValueOf<M>::Type>(a, member));
    }

private:
    ProblemSink& problems_;
    ElementList* out_;
    OBElementArena arena_; // the Elements' blocks, several to a block
    Element* storeOwner_ = nullptr;
    OBAttributeStore* store_ = nullptr;
    bool outOfMemory_ = false;
    bool badReference_ = false;
};

} // namespace obreader

#endif
