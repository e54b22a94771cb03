#include <ombra/storedelements.h>

#include "model/ElementRoom.h"
#include "model/ElementSlab.h"

#include <ombra/detail/CastLikely.h>

#include <ombra/strings.h>
#include <ombra/streams.h>
#include <ombra/utf8.h>
#include <ombra/valueutil.h>
#include <ombra/values.h>

#include <cstring>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace {

// Values whose destructor frees nothing: in the element's block they need
// no call when the store goes.
template <class C>
constexpr bool kPlain =
    std::is_base_of<ValueEnumBase, C>::value || std::is_same<C, ValueBool16>::value ||
    std::is_same<C, ValueInteger32>::value || std::is_same<C, ValueOBReal>::value ||
    std::is_same<C, ValueOBID>::value || std::is_same<C, ValueLength>::value ||
    std::is_same<C, ValueAngle>::value || std::is_same<C, ValuePercent>::value ||
    std::is_same<C, ValuePoint>::value || std::is_same<C, ValueRectangle>::value;

} // namespace

// Values made in the element's block cost no pool block and no return to
// the pool: a palette's colours, for one, each hold a name and six numbers.
template <class C> C* OBAttributeStore::Room() {
    static_assert(alignof(C) <= 8 && sizeof(C) % 8 == 0, "the next value stays aligned");
    const unsigned used = roomUsed_ + static_cast<unsigned>(sizeof(C));
    if (used <= roomSize_) {
        // Only a store made with room (of a kind in range) gets here.
        if (used == roomSize_) ombra_detail::NoteRoomFilled(kind_, used);
        C* made = new (reinterpret_cast<char*>(this) + room_ + roomUsed_) C;
        // The store's first string in the room, if it needs nothing else
        // ended, is found there at the end with no walk (its place fits the byte).
        if (std::is_same<C, ValueString>::value && owning_ == kOwnsNone && roomUsed_ < 8 * 200)
            owning_ = static_cast<unsigned char>(kOwnsString + roomUsed_ / 8);
        else if (!kPlain<C>)
            owning_ = kOwnsSome;
        roomUsed_ = used;
        return made;
    }
    if (used <= ombra_detail::kMostValueBytes) {
        ombra_detail::NoteValueBytes(kind_, used);
        roomUsed_ = used;
    }
    owning_ = kOwnsSome;
    return new C;
}

inline void OBAttributeStore::Release(Value* value) const noexcept {
    const std::uintptr_t at =
        reinterpret_cast<std::uintptr_t>(value) - reinterpret_cast<std::uintptr_t>(this) - room_;
    if (at < roomSize_)
        value->~Value(); // the block goes with the element
    else
        delete value;
}

namespace {

// The value ValueUtil's creator for these arguments makes, without the
// creator's call in between: a store sets every value a reader reads. Null
// when the pool has no memory.
template <class C, class... Args> Value* Made(C* made, const Args&... args) {
    if (made) made->Init(args...);
    return made;
}

} // namespace

namespace {

// The arena's slab, its only member: carved here in line, so that most
// elements cost no call for their block.
__attribute__((always_inline)) inline void* BlockFor(OBElementArena* arena, std::size_t size) {
    static_assert(std::is_standard_layout<OBElementArena>::value, "the slab is the first word");
    if (!arena) return OBElementAllocate(size);
    if (void* block = ombra_detail::CarveInLine(*reinterpret_cast<void* const*>(arena), size))
        return block;
    return arena->Allocate(size);
}

} // namespace

namespace {

// The vtable of each kind's stored class, noted when the first element of
// the kind is made: an element that carries it is exactly that class, whose
// destructor a tree's release does in line. Any element's kind picks an
// entry (another class's vtable never matches), with no check of its range.
constexpr unsigned kClassEntries = 256;
static_assert(kOBElementTypeCount <= kClassEntries, "every kind has its entry");
std::atomic<const void*> gStoredClasses[kClassEntries];
// Where every stored class holds its store: past the element, as a view
// adds no data.
constexpr std::ptrdiff_t kStoreAt = sizeof(Element);

const void* VtableOf(const Element* e) {
    return *reinterpret_cast<const void* const*>(e);
}

} // namespace

// Makes stored elements with the room their kind needed so far in the same
// block: the children's first slots, then the attribute entries.
class OBElementRoom {
public:
    template <class T> static Element* Make(EL::ElementTypeEnum kind, OBElementArena* arena) {
        using Entry = OBAttributeStore::Entry;
        ombra_detail::KindRoom& room = ombra_detail::gKindRoom[kind];
        std::size_t slots = room.childSlots.load(std::memory_order_relaxed);
        const unsigned kInline = OBAttributeStore::kInlineEntries;
        std::size_t entries = ombra_detail::NextEntries(room, kInline);
        if (entries <= kInline) entries = 0;
        static_assert(sizeof(T) % alignof(Entry) == 0, "the room follows the element");
        std::size_t values = ombra_detail::NextValueBytes(room);
        std::size_t size = sizeof(T) + slots * sizeof(Element*) + entries * sizeof(Entry) + values;
        void* block = BlockFor(arena, size);
        if (!block) return nullptr;
        T* made = new (block) T;
        NoteClass(kind, made);
        OBAttributeStore& store = *made;
        store.kind_ = static_cast<short>(kind);
        char* room0 = static_cast<char*>(block) + sizeof(T);
        if (slots) made->LendChildSlots(reinterpret_cast<Element**>(room0), slots);
        if (entries) {
            store.entries_ = reinterpret_cast<Entry*>(room0 + slots * sizeof(Element*));
            store.capacity_ = static_cast<int>(entries);
            store.lent_ = true;
        }
        if (values) {
            char* at = room0 + slots * sizeof(Element*) + entries * sizeof(Entry);
            store.room_ = static_cast<unsigned short>(at - reinterpret_cast<char*>(&store));
            store.roomSize_ = static_cast<unsigned short>(values);
        }
        return made;
    }

    /// Sets a new value of class C made from args, with the common case of
    /// a new attribute and a value that fits the block's room in line and
    /// no frame; any other goes the setters' general way.
    template <class C, class... Args>
    static short Place(OBAttributeStore& store, AN::AttrNameEnum attr, int index, Args... args) {
        const unsigned used = store.roomUsed_ + static_cast<unsigned>(sizeof(C));
        const unsigned bit = OBAttributeStore::SeenBit(attr);
        if (used > store.roomSize_ || (store.seen_ & bit) || store.count_ >= store.capacity_)
            return PlaceAnyhow<C>(store, attr, index, args...);
        // Only a store made with room (of a kind in range) gets here.
        if (used == store.roomSize_) ombra_detail::NoteRoomFilled(store.kind_, used);
        C* made = new (reinterpret_cast<char*>(&store) + store.room_ + store.roomUsed_) C;
        made->Init(args...);
        store.roomUsed_ = used;
        if (!kPlain<C>) store.owning_ = OBAttributeStore::kOwnsSome;
        store.seen_ |= bit;
        store.entries_[store.count_++] = OBAttributeStore::Entry{attr, index, made};
        if (store.count_ == store.capacity_) ombra_detail::NoteEntries(store.kind_, store.count_);
        return 1;
    }

    /// Ends the owned children [at, end) of an element that borrows none:
    /// those of a kind's stored class (and theirs) in line, which does what
    /// their destructors do with no call through them, any other through
    /// its virtual destructor.
    static void EndChildren(Element* const* at, Element* const* end,
                            ombra_detail::ReleasedBlocks& blocks) noexcept {
        for (; at != end; ++at) {
            Element* e = *at;
            if (!e) continue;
            const unsigned entry = static_cast<unsigned>(e->type_) % kClassEntries;
            if (e->borrowed_ ||
                VtableOf(e) != gStoredClasses[entry].load(std::memory_order_relaxed)) {
                delete e;
                continue;
            }
            // As the class's destructor: the store's values, then the children.
            auto& store =
                *reinterpret_cast<OBAttributeStore*>(reinterpret_cast<char*>(e) + kStoreAt);
            if (store.owning_) store.ReleaseValues();
            ElementList& children = e->children_;
            if (children.size()) EndChildren(children.begin(), children.end(), blocks);
            children.~ElementList();
            blocks.Add(e);
        }
    }

    /// Ends a kOwnsSome store's values, its entries and streams.
    __attribute__((noinline)) static void EndValues(const OBAttributeStore& store) noexcept {
        // A value's destructor cannot reach the store: the loop keeps its
        // bounds and the room's in registers rather than reading them back
        // after every call.
        const OBAttributeStore::Entry* entry = store.entries_;
        const std::uintptr_t room = reinterpret_cast<std::uintptr_t>(&store) + store.room_;
        const std::uintptr_t roomSize = store.roomSize_;
        for (const auto* end = entry + store.count_; entry != end; ++entry) {
            Value* value = entry->value;
            if (reinterpret_cast<std::uintptr_t>(value) - room < roomSize)
                value->~Value(); // the block goes with the element
            else
                delete value;
        }
        if (store.OwnsEntries()) OBLibFree(store.entries_);
        // Stream values never own their stream: the element does.
        // Most stores hold no stream: their list was never made.
        OBStream** streams = store.streams_;
        if (!streams) return;
        if (store.streamCapacity_ == 0) { // the one stream, held in the list's word
            delete reinterpret_cast<OBStream*>(streams);
            return;
        }
        for (int i = 0; i < store.streamCount_; ++i)
            delete streams[i];
        OBLibFree(streams);
    }

private:
    template <class T> static void NoteClass(EL::ElementTypeEnum kind, T* made) {
        std::atomic<const void*>& known = gStoredClasses[kind];
        if (known.load(std::memory_order_relaxed)) return;
        const char* store = reinterpret_cast<const char*>(static_cast<OBAttributeStore*>(made));
        if (store - reinterpret_cast<const char*>(static_cast<Element*>(made)) == kStoreAt)
            known.store(VtableOf(made), std::memory_order_relaxed);
    }

    template <class C, class... Args>
    __attribute__((noinline)) static short
    PlaceAnyhow(OBAttributeStore& store, AN::AttrNameEnum attr, int index, Args... args) {
        return store.Put(attr, Made(store.Room<C>(), args...), index);
    }
};

OBAttributeStore::OBAttributeStore() noexcept
    : entries_(inline_), count_(0), capacity_(kInlineEntries), streams_(nullptr), streamCount_(0),
      streamCapacity_(0), kind_(-1), lent_(false), owning_(kOwnsNone), seen_(0), room_(0),
      roomSize_(0), roomUsed_(0) {}

// Most stores hold plain values in their element's block only, in entries
// of the store or the block: those end here, with no frame. Streams and
// entries of a store's own come only with a value given to Set or
// SetStream, which makes the store kOwnsSome: any other store holds the
// room's string at most.
OBAttributeStore::~OBAttributeStore() {
    if (owning_) ReleaseValues();
}

// For a store whose owning_ is set.
__attribute__((noinline)) void OBAttributeStore::ReleaseValues() const noexcept {
    if (owning_ != kOwnsSome) { // the room's string alone (a colour's name): no frame
        char* at = reinterpret_cast<char*>(const_cast<OBAttributeStore*>(this)) + room_ +
                   8 * (owning_ - kOwnsString);
        reinterpret_cast<ValueString*>(at)->EndInBlock();
        return;
    }
    OBElementRoom::EndValues(*this);
}

OBAttributeStore::Entry* OBAttributeStore::Lookup(int attr, int index) const {
    if (!(seen_ & SeenBit(attr))) return nullptr;
    for (int i = 0; i < count_; ++i)
        if (entries_[i].attr == attr && entries_[i].index == index) return &entries_[i];
    return nullptr;
}

// Set's own path covers a store with room; this one grows it.
__attribute__((noinline)) short OBAttributeStore::Append(int attr, int index, Value* value) {
    if (count_ == capacity_) {
        int grown = capacity_ * 2;
        Entry* bigger = static_cast<Entry*>(OBLibAllocate(sizeof(Entry) * grown));
        if (!bigger) return 0;
        if (count_) std::memcpy(bigger, entries_, sizeof(Entry) * count_);
        if (OwnsEntries()) OBLibFree(entries_);
        entries_ = bigger;
        capacity_ = grown;
        lent_ = false;
        ombra_detail::NoteEntries(kind_, grown);
    }
    entries_[count_++] = Entry{attr, index, value};
    return 1;
}

short OBAttributeStore::Set(AN::AttrNameEnum attr, Value* value, int index) {
    if (!value) return 0;
    owning_ = kOwnsSome; // a value from elsewhere, or one whose attribute is set already
    if (Entry* e = Lookup(attr, index)) {
        if (e->value != value) Release(e->value);
        e->value = value;
        return 1;
    }
    seen_ |= SeenBit(attr);
    if (__builtin_expect(count_ < capacity_, 1)) {
        entries_[count_++] = Entry{attr, index, value};
        if (count_ == capacity_) ombra_detail::NoteEntries(kind_, count_);
        return 1;
    }
    if (Append(attr, index, value)) return 1;
    Release(value);
    return 0;
}

// Set for a value just made, with the common case of an attribute new to a
// store with room in line.
inline short OBAttributeStore::Put(AN::AttrNameEnum attr, Value* value, int index) {
    unsigned bit = SeenBit(attr);
    if (value && !(seen_ & bit) && count_ < capacity_) {
        seen_ |= bit;
        entries_[count_++] = Entry{attr, index, value};
        if (count_ == capacity_) ombra_detail::NoteEntries(kind_, count_);
        return 1;
    }
    return Set(attr, value, index);
}

Value* OBAttributeStore::Find(AN::AttrNameEnum attr, int index) const {
    Entry* e = Lookup(attr, index);
    return e ? e->value : nullptr;
}

short OBAttributeStore::Remove(AN::AttrNameEnum attr, int index) {
    Entry* e = Lookup(attr, index);
    if (!e) return 0;
    owning_ = kOwnsSome; // the room's string may be the one gone
    Release(e->value);
    *e = entries_[--count_];
    return 1;
}

short OBAttributeStore::SetBool(AN::AttrNameEnum attr, bool flag) {
    return OBElementRoom::Place<ValueBool16>(*this, attr, 0, static_cast<short>(flag ? 1 : 0));
}

short OBAttributeStore::SetInteger(AN::AttrNameEnum attr, int number, int index) {
    return OBElementRoom::Place<ValueInteger32>(*this, attr, index, number);
}

short OBAttributeStore::SetReal(AN::AttrNameEnum attr, double number) {
    return OBElementRoom::Place<ValueOBReal>(*this, attr, 0, OBReal(number));
}

short OBAttributeStore::SetLength(AN::AttrNameEnum attr, double length,
                                  UNITS::LINEAR::UnitEnum unit) {
    return OBElementRoom::Place<ValueLength>(*this, attr, 0, unit, OBReal(length));
}

short OBAttributeStore::SetAngle(AN::AttrNameEnum attr, double degrees) {
    return OBElementRoom::Place<ValueAngle>(*this, attr, 0, UNITS::ANGULAR::kDegrees,
                                            OBReal(degrees));
}

short OBAttributeStore::SetPercent(AN::AttrNameEnum attr, double ratio, int index) {
    return OBElementRoom::Place<ValuePercent>(*this, attr, index, OBReal(ratio));
}

// A colour's components: new attributes of one store, which mostly has room
// for all of them at once. Percentages need no destructor, so they are
// written past the store's ends in one pass and taken only when every
// attribute proved new.
short OBAttributeStore::SetPercents(const AN::AttrNameEnum* attrs, const double* ratios,
                                    int count) {
    constexpr unsigned kSize = sizeof(ValuePercent);
    static_assert(kPlain<ValuePercent>, "an untaken value needs no end");
    const unsigned used = roomUsed_ + kSize * static_cast<unsigned>(count);
    if (count > 0 && count <= capacity_ - count_ && used <= roomSize_) {
        char* const at = reinterpret_cast<char*>(this) + room_ + roomUsed_;
        Entry* const entry = entries_ + count_;
        unsigned seen = seen_, clash = 0;
        for (int i = 0; i < count; ++i) {
            const unsigned bit = SeenBit(attrs[i]);
            clash |= seen & bit;
            seen |= bit;
            auto* v = new (at + i * kSize) ValuePercent;
            v->Init(OBReal(ratios[i]));
            entry[i] = Entry{attrs[i], 0, v};
        }
        if (!clash) {
            if (used == roomSize_) ombra_detail::NoteRoomFilled(kind_, used);
            count_ += count;
            if (count_ == capacity_) ombra_detail::NoteEntries(kind_, count_);
            roomUsed_ = used;
            seen_ = seen;
            return 1;
        }
    }
    // One at a time: an attribute may be set already or share its bit, or
    // a value find no room, which the kind's room then learns from.
    short ok = 1;
    for (int i = 0; i < count; ++i)
        ok &= SetPercent(attrs[i], ratios[i]);
    return ok;
}

short OBAttributeStore::SetId(AN::AttrNameEnum attr, unsigned id, int index) {
    return OBElementRoom::Place<ValueOBID>(*this, attr, index, id);
}

template <class V>
short OBAttributeStore::SetMember(AN::AttrNameEnum attr, typename V::EnumType member) {
    return OBElementRoom::Place<V>(*this, attr, 0, member);
}
#define OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)                           \
    template short OBAttributeStore::SetMember<Class>(AN::AttrNameEnum, Space::Enum);
#define OB_VALUE_ENUM_EXTERNAL(Code, TypeName, Class, Space, Enum, Creator)                        \
    OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)
#include <ombra/defs/ValueEnums.def>

short OBAttributeStore::SetString(AN::AttrNameEnum attr, const IOBString& text) {
    Value* v = nullptr;
    ValueUtil::CreateValueString(text, v);
    owning_ = kOwnsSome;
    return Put(attr, v);
}

// The text goes straight into a new value's own string, with no string
// in between to copy it from.
short OBAttributeStore::SetText(AN::AttrNameEnum attr, const unsigned short* units,
                                long long count) {
    if (!units && count) return 0;
    auto* v = Room<ValueString>();
    if (!v) return 0;
    WOBString* text = v->HoldUnitsInside();
    if (units && count > 0) {
        text->SetXString(units, count);
        if (text->Length() != count) { // no memory for the text
            owning_ = kOwnsSome;       // v, never stored, may be the room's string
            Release(v);
            return 0;
        }
    }
    return Put(attr, v);
}

short OBAttributeStore::SetUtf8(AN::AttrNameEnum attr, const char* utf8) {
    auto* v = Room<ValueString>();
    if (!v) return 0;
    std::size_t n = utf8 ? std::strlen(utf8) : 0;
    if (v->HoldAsciiInside(utf8, n)) return Put(attr, v);
    WOBString* text = v->HoldUnitsInside();
    if (n && !OBStringUtils::ConvertUTF8ToUTF16String(utf8, n, *text)) {
        owning_ = kOwnsSome; // v, never stored, may be the room's string
        Release(v);
        return 0;
    }
    return Put(attr, v);
}

short OBAttributeStore::SetRect(AN::AttrNameEnum attr, const OBRect& rect,
                                UNITS::LINEAR::UnitEnum unit) {
    return OBElementRoom::Place<ValueRectangle>(*this, attr, 0, unit, rect);
}

short OBAttributeStore::SetPoint(AN::AttrNameEnum attr, const OBPoint& point,
                                 UNITS::LINEAR::UnitEnum unit) {
    return OBElementRoom::Place<ValuePoint>(*this, attr, 0, unit, point);
}

short OBAttributeStore::SetStream(AN::AttrNameEnum attr, OBStream* stream) {
    if (!stream) return 0;
    if (streamCount_ == 0) {
        // Nearly every store holds one stream at most: it lies in the list's
        // own word (capacity 0) until a second one makes the list.
        streams_ = reinterpret_cast<OBStream**>(stream);
        streamCount_ = 1;
    } else {
        if (streamCount_ == streamCapacity_ || streamCapacity_ == 0) {
            int grown = streamCapacity_ ? streamCapacity_ * 2 : 2;
            auto** bigger = static_cast<OBStream**>(OBLibAllocate(sizeof(OBStream*) * grown));
            if (!bigger) {
                delete stream;
                return 0;
            }
            if (streamCapacity_ == 0) {
                bigger[0] = reinterpret_cast<OBStream*>(streams_);
            } else {
                std::memcpy(bigger, streams_, sizeof(OBStream*) * streamCount_);
                OBLibFree(streams_);
            }
            streams_ = bigger;
            streamCapacity_ = grown;
        }
        streams_[streamCount_++] = stream;
    }
    Value* v = nullptr;
    ValueUtil::CreateValueStream(stream, v);
    owning_ = kOwnsSome;
    return Put(attr, v);
}

#define OB_VIEW_END(Kind) OBStored##Kind::~OBStored##Kind() = default;
#include <ombra/defs/ViewAccessors.def>

namespace ombra_detail {
KindRoom gKindRoom[kRoomKinds];
} // namespace ombra_detail

namespace {

// One maker per kind with a view, looked up rather than switched to: the
// switch's own frame cost more than the jump.
using Maker = Element* (*)(EL::ElementTypeEnum, OBElementArena*);
struct Makers {
    Maker of[kOBElementTypeCount];
};
static_assert(kOBElementTypeCount <= ombra_detail::kRoomKinds, "every kind has its room");

constexpr Makers AllMakers() {
    Makers makers{};
#define OB_VIEW_BEGIN(Kind, HasAccessors)                                                          \
    makers.of[EL::k##Kind] = &OBElementRoom::Make<OBStored##Kind>;
#include <ombra/defs/ViewAccessors.def>
    return makers;
}
constexpr Makers kMakers = AllMakers();

} // namespace

void ombra_detail::EndOwnedChildren(Element* const* first, Element* const* last) noexcept {
    ReleasedBlocks blocks;
    OBElementRoom::EndChildren(first, last, blocks);
}

Element* OBCreateStoredElement(EL::ElementTypeEnum kind) {
    return OBCreateStoredElement(kind, nullptr);
}

Element* OBCreateStoredElement(EL::ElementTypeEnum kind, OBElementArena* arena) {
    const auto at = static_cast<unsigned>(kind);
    if (at >= static_cast<unsigned>(kOBElementTypeCount) || !kMakers.of[at]) return nullptr;
    return kMakers.of[at](kind, arena);
}

// Readers ask for the store of every element they make: the element's own
// kind names the class it most likely is, which a type comparison confirms
// far faster than a cross-cast finds the store.
OBAttributeStore* OBGetAttributeStore(Element* element) {
    if (!element) return nullptr;
    switch (element->GetName()) {
#define OB_VIEW_BEGIN(Kind, HasAccessors)                                                          \
    case EL::k##Kind:                                                                              \
        return ombra_detail::CastLikely<OBStored##Kind, OBAttributeStore>(element);
#include <ombra/defs/ViewAccessors.def>
    default:
        break;
    }
    return dynamic_cast<OBAttributeStore*>(element);
}
