// Ready-made element classes for readers: every view kind with its attribute
// values held in the element itself.
#ifndef OMBRA_STOREDELEMENTS_H
#define OMBRA_STOREDELEMENTS_H

#include <ombra/geometry.h>
#include <ombra/views.h>

class IOBString;
class OBStream;

/// The attribute values of one element: (attribute, index) -> Value, owned.
/// A reader sets what the source says; the element's accessors hand the
/// values out. Values go back to their pools when replaced or when the store
/// is destroyed, and streams given to SetStream are deleted with the store.
class OMBRA_API OBAttributeStore {
public:
    OBAttributeStore() noexcept;
    ~OBAttributeStore();
    OBAttributeStore(const OBAttributeStore&) = delete;
    OBAttributeStore& operator=(const OBAttributeStore&) = delete;

    /// Stores `value` for `attr` (entry `index` of a repeated attribute),
    /// replacing and recycling an earlier one. Takes ownership in every case:
    /// returns 0 (and recycles the value) when the value is null or memory
    /// runs out.
    short Set(AN::AttrNameEnum attr, Value* value, int index = 0);
    /// The value for attr/index, or null.
    Value* Find(AN::AttrNameEnum attr, int index = 0) const;
    /// Removes and recycles the value for attr/index; 1 when there was one.
    short Remove(AN::AttrNameEnum attr, int index = 0);
    /// The number of stored values.
    int Count() const { return count_; }
    /// The nth stored value (0 to Count() - 1, in no particular order) with
    /// its attribute and index, so that a reader of many values takes them
    /// in one pass; null past the end.
    Value* Nth(int n, AN::AttrNameEnum& attr, int& index) const {
        if (n < 0 || n >= count_) return nullptr;
        attr = static_cast<AN::AttrNameEnum>(entries_[n].attr);
        index = entries_[n].index;
        return entries_[n].value;
    }

    // Shorthands that create the value through ValueUtil and store it.
    short SetBool(AN::AttrNameEnum attr, bool flag);
    short SetInteger(AN::AttrNameEnum attr, int number, int index = 0);
    short SetReal(AN::AttrNameEnum attr, double number);
    /// A ValueLength in `unit` (ValueLength keeps reals and integers apart).
    short SetLength(AN::AttrNameEnum attr, double length,
                    UNITS::LINEAR::UnitEnum unit = UNITS::LINEAR::kPoints);
    /// A ValueAngle in degrees.
    short SetAngle(AN::AttrNameEnum attr, double degrees);
    /// A ValuePercent ratio: 0.5 is 50 %.
    short SetPercent(AN::AttrNameEnum attr, double ratio, int index = 0);
    /// SetPercent(attrs[i], ratios[i]) for each of the count attributes, in
    /// order; 1 when every one was stored.
    short SetPercents(const AN::AttrNameEnum* attrs, const double* ratios, int count);
    /// A ValueOBID naming another element.
    short SetId(AN::AttrNameEnum attr, unsigned id, int index = 0);
    /// A member of an enumeration in its value class V, one of the classes
    /// of ValueEnums.def (ValueColorTypeEnum, ...).
    template <class V> short SetMember(AN::AttrNameEnum attr, typename V::EnumType member);
    short SetString(AN::AttrNameEnum attr, const IOBString& text);
    /// A ValueString holding a WOBString of the UTF-16 units.
    short SetText(AN::AttrNameEnum attr, const unsigned short* units, long long count);
    /// A ValueString holding a WOBString made from UTF-8 (no text service needed).
    short SetUtf8(AN::AttrNameEnum attr, const char* utf8);
    short SetRect(AN::AttrNameEnum attr, const OBRect& rect,
                  UNITS::LINEAR::UnitEnum unit = UNITS::LINEAR::kPoints);
    short SetPoint(AN::AttrNameEnum attr, const OBPoint& point,
                   UNITS::LINEAR::UnitEnum unit = UNITS::LINEAR::kPoints);
    /// A ValueStream over `stream`; the store owns the stream from now on
    /// and deletes it when destroyed (also when this call fails).
    short SetStream(AN::AttrNameEnum attr, OBStream* stream);

private:
    friend class OBElementRoom;
    struct Entry {
        int attr;
        int index;
        Value* value;
    };
    Entry* Lookup(int attr, int index) const;
    short Append(int attr, int index, Value* value);
    short Put(AN::AttrNameEnum attr, Value* value, int index = 0);
    /// A new value of class C: in the element's own block while it has
    /// room, else from C's pool (null without memory).
    template <class C> C* Room();
    /// Ends a value of this store: one in the element's block is destroyed
    /// in place, any other deleted.
    void Release(Value* value) const noexcept;
    /// Ends the values and frees the lists (the destructor's work, when
    /// there is any).
    void ReleaseValues() const noexcept;

    static constexpr unsigned char kOwnsNone = 0, kOwnsSome = 1, kOwnsString = 2;
    /// Most elements carry a few values: those need no block of their own.
    static constexpr int kInlineEntries = 4;

    bool OwnsEntries() const { return entries_ != inline_ && !lent_; }
    static unsigned SeenBit(int attr) { return 1u << (static_cast<unsigned>(attr) & 31u); }

    Entry* entries_; // inline_, room in the element's own block or a block of the memory service
    int count_;
    int capacity_;
    OBStream** streams_; // owned; while streamCapacity_ is 0, the one stream itself
    int streamCount_;
    int streamCapacity_;
    short kind_; // of the element made by OBCreateStoredElement, else -1
    bool lent_;  // entries_ is room in the element's own block
    // Which values need their destructor: kOwnsNone, kOwnsSome (one off the
    // block, or one holding memory) or the room's one string (a colour's
    // name) at (owning_ - kOwnsString) * 8 bytes into the room.
    unsigned char owning_;
    unsigned seen_; // bit attr % 32 of every attribute set: most sets need no lookup
    // Room for values in the element's own block: roomSize_ bytes from
    // room_ bytes past this store, roomUsed_ of them taken (or wanted).
    unsigned short room_;
    unsigned short roomSize_;
    unsigned roomUsed_;
    Entry inline_[kInlineEntries];
};

/// OBStored<Kind>: the view OBM<Kind> whose accessors hand out the values
/// stored with OBAttributeStore::Set. Readers create these (or derive from
/// them) instead of writing a class per kind; the element owns its values.
#define OB_VIEW_BEGIN(Kind, HasAccessors)                                                          \
    class OMBRA_API OBStored##Kind : public OBM##Kind, public OBAttributeStore {                   \
    public:                                                                                        \
        OBStored##Kind() noexcept {}                                                               \
        ~OBStored##Kind() override;
#define OB_VIEW_ACCESSOR(Kind, Attr, ValueType)                                                    \
    Value* Get##Attr() override {                                                                  \
        return Find(AN::k##Attr);                                                                  \
    }
#define OB_VIEW_ACCESSOR_AS(Kind, Name, Attr, ValueType)                                           \
    Value* Get##Name() override {                                                                  \
        return Find(AN::k##Attr);                                                                  \
    }
#define OB_VIEW_INDEXED(Kind, Attr, ValueType)                                                     \
    Value* Get##Attr(int n) override {                                                             \
        return Find(AN::k##Attr, n);                                                               \
    }
#define OB_VIEW_END(Kind)                                                                          \
    }                                                                                              \
    ;
#include <ombra/defs/ViewAccessors.def>

/// Hands out the blocks of the elements a reader makes, several to a block
/// of the memory service, which goes back when its last element is deleted
/// (on any thread) and the arena is gone. One thread uses an arena; the
/// elements outlive it.
class OMBRA_API OBElementArena {
public:
    OBElementArena() noexcept : slab_(nullptr) {}
    ~OBElementArena();
    OBElementArena(const OBElementArena&) = delete;
    OBElementArena& operator=(const OBElementArena&) = delete;

    /// A block for an Element of `size` bytes, as OBElementAllocate gives.
    void* Allocate(std::size_t size) noexcept;

private:
    void* slab_;
};

/// A new stored element of `kind` (0 to 227), or null for a kind without a
/// view or when memory runs out. Its store is OBGetAttributeStore(element).
OMBRA_API Element* OBCreateStoredElement(EL::ElementTypeEnum kind);
/// The same in a block from `arena` (a block of its own when arena is null).
OMBRA_API Element* OBCreateStoredElement(EL::ElementTypeEnum kind, OBElementArena* arena);
/// The attribute store of an element made by OBCreateStoredElement or of a
/// class derived from an OBStored class; null for any other element.
OMBRA_API OBAttributeStore* OBGetAttributeStore(Element* element);

#endif
