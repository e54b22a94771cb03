// The list values. Entries live in blocks from the memory service; a list
// that cannot grow stays as it was.
#include "model/values/ValueInternal.h"

#include <ombra/values.h>

#include <new>

using obvalues_detail::AllocateEntries;
using obvalues_detail::GrowEntries;
using obvalues_detail::NextCapacity;

namespace {

// Replaces (data, count, capacity) with a copy of exactly `count` entries
// of `source`; false, changing nothing, without memory.
template <class T>
bool AssignEntries(T*& data, long long& count, long long& capacity, const T* source,
                   long long sourceCount) {
    T* block = nullptr;
    if (sourceCount > 0) {
        block = AllocateEntries<T>(sourceCount);
        if (!block) return false;
        std::memcpy(static_cast<void*>(block), source,
                    static_cast<std::size_t>(sourceCount) * sizeof(T));
    }
    OBLibFree(data);
    data = block;
    count = sourceCount;
    capacity = sourceCount;
    return true;
}

inline bool InList(int i, long long count) {
    return i >= 0 && i < count;
}

} // namespace

// Every list assigns through its own class's operator=; another class is
// left alone.
#define OB_LIST_ASSIGN_FROM_VALUE(Class)                                                           \
    Value& Class::operator=(Value& other) {                                                        \
        if (Class* same = dynamic_cast<Class*>(&other)) *this = static_cast<const Class&>(*same);  \
        return *this;                                                                              \
    }

// ---------------------------------------------------------------- ValueIdRefList

ValueIdRefList::ValueIdRefList() noexcept
    : Value(VT::ekIdRefList), ids_(nullptr), count_(0), capacity_(0) {}

ValueIdRefList::~ValueIdRefList() {
    OBLibFree(ids_);
}

OB_LIST_ASSIGN_FROM_VALUE(ValueIdRefList)

ValueIdRefList& ValueIdRefList::operator=(const ValueIdRefList& other) {
    if (&other != this && AssignEntries(ids_, count_, capacity_, other.ids_, other.count_))
        SetInitialized(1);
    return *this;
}

short ValueIdRefList::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueIdRefList* same = dynamic_cast<ValueIdRefList*>(other);
    if (!same || same->count_ != count_) return 0;
    for (long long i = 0; i < count_; ++i)
        if (ids_[i] != same->ids_[i]) return 0;
    return 1;
}

short ValueIdRefList::Add(const unsigned& id) {
    if (count_ == capacity_ && !GrowEntries(ids_, count_, capacity_, NextCapacity(capacity_)))
        return 0;
    ids_[count_++] = id;
    SetInitialized(1);
    return 1;
}

unsigned ValueIdRefList::Get(int i) const {
    return IsInitialized() && InList(i, count_) ? ids_[i] : 0u;
}

// ---------------------------------------------------------------- ValueBool16List

ValueBool16List::ValueBool16List() noexcept
    : Value(VT::ekBool16List), flags_(nullptr), count_(0), capacity_(0) {}

ValueBool16List::~ValueBool16List() {
    OBLibFree(flags_);
}

OB_LIST_ASSIGN_FROM_VALUE(ValueBool16List)

ValueBool16List& ValueBool16List::operator=(const ValueBool16List& other) {
    if (&other != this && AssignEntries(flags_, count_, capacity_, other.flags_, other.count_))
        SetInitialized(1);
    return *this;
}

short ValueBool16List::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueBool16List* same = dynamic_cast<ValueBool16List*>(other);
    if (!same || same->count_ != count_) return 0;
    for (long long i = 0; i < count_; ++i)
        if (flags_[i] != same->flags_[i]) return 0;
    return 1;
}

short ValueBool16List::Add(const short& flag) {
    // Chunks of 8, one slot always kept free.
    if (count_ + 1 >= capacity_ && !GrowEntries(flags_, count_, capacity_, count_ + 8)) return 0;
    flags_[count_++] = flag;
    SetInitialized(1);
    return 1;
}

short ValueBool16List::Get(int i) const {
    return IsInitialized() && InList(i, count_) ? flags_[i] : static_cast<short>(0);
}

// ---------------------------------------------------------------- ValueStringList

namespace {

// Handles are not plain data: they are built in place and moved by Swap.
IOBStringPtr* NewHandles(long long n) {
    if (n <= 0 || static_cast<unsigned long long>(n) > (1ull << 40)) return nullptr;
    void* raw = OBLibAllocate(static_cast<std::size_t>(n) * sizeof(IOBStringPtr));
    if (!raw) return nullptr;
    IOBStringPtr* block = static_cast<IOBStringPtr*>(raw);
    for (long long i = 0; i < n; ++i)
        new (&block[i]) IOBStringPtr();
    return block;
}

void DeleteHandles(IOBStringPtr* block, long long n) {
    if (!block) return;
    for (long long i = 0; i < n; ++i)
        block[i].~IOBStringPtr();
    OBLibFree(block);
}

const IOBStringPtr& EmptyHandle() {
    static const IOBStringPtr empty;
    return empty;
}

} // namespace

ValueStringList::ValueStringList() noexcept
    : Value(VT::ekStringList), strings_(nullptr), count_(0), capacity_(0) {}

ValueStringList::~ValueStringList() {
    DeleteHandles(strings_, capacity_);
}

OB_LIST_ASSIGN_FROM_VALUE(ValueStringList)

ValueStringList& ValueStringList::operator=(const ValueStringList& other) {
    if (&other == this) return *this;
    IOBStringPtr* block = nullptr;
    if (other.count_ > 0) {
        block = NewHandles(other.count_);
        if (!block) return *this;
        for (long long i = 0; i < other.count_; ++i) {
            if (!other.strings_[i].IsValid()) continue;
            block[i] = other.strings_[i];
            if (!block[i].IsValid()) { // no memory for a copy
                DeleteHandles(block, other.count_);
                return *this;
            }
        }
    }
    DeleteHandles(strings_, capacity_);
    strings_ = block;
    count_ = other.count_;
    capacity_ = other.count_;
    SetInitialized(1);
    return *this;
}

short ValueStringList::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueStringList* same = dynamic_cast<ValueStringList*>(other);
    if (!same || same->count_ != count_) return 0;
    for (long long i = 0; i < count_; ++i)
        if (!(strings_[i] == same->strings_[i])) return 0;
    return 1;
}

short ValueStringList::Add(const IOBString& text) {
    IOBStringPtr copy;
    copy.CopyString(text);
    if (!copy.IsValid()) return 0;
    if (count_ == capacity_) {
        long long grown = NextCapacity(capacity_);
        IOBStringPtr* block = NewHandles(grown);
        if (!block) return 0;
        for (long long i = 0; i < count_; ++i)
            block[i].Swap(strings_[i]);
        DeleteHandles(strings_, capacity_);
        strings_ = block;
        capacity_ = grown;
    }
    strings_[count_++].Swap(copy);
    SetInitialized(1);
    return 1;
}

const IOBStringPtr& ValueStringList::Get(int i) const {
    return IsInitialized() && InList(i, count_) ? strings_[i] : EmptyHandle();
}

// ---------------------------------------------------------------- ValueRangeList

ValueRangeList::ValueRangeList() noexcept
    : Value(VT::ekRangeList), starts_(nullptr), ends_(nullptr), count_(0), capacity_(0) {}

ValueRangeList::~ValueRangeList() {
    OBLibFree(starts_);
    OBLibFree(ends_);
}

OB_LIST_ASSIGN_FROM_VALUE(ValueRangeList)

ValueRangeList& ValueRangeList::operator=(const ValueRangeList& other) {
    if (&other == this) return *this;
    unsigned* starts = nullptr;
    unsigned* ends = nullptr;
    long long count = 0, capacity = 0, count2 = 0, capacity2 = 0;
    if (!AssignEntries(starts, count, capacity, other.starts_, other.count_)) return *this;
    if (!AssignEntries(ends, count2, capacity2, other.ends_, other.count_)) {
        OBLibFree(starts);
        return *this;
    }
    OBLibFree(starts_);
    OBLibFree(ends_);
    starts_ = starts;
    ends_ = ends;
    count_ = count;
    capacity_ = capacity;
    SetInitialized(1);
    return *this;
}

short ValueRangeList::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueRangeList* same = dynamic_cast<ValueRangeList*>(other);
    if (!same || same->count_ != count_) return 0;
    for (long long i = 0; i < count_; ++i)
        if (starts_[i] != same->starts_[i] || ends_[i] != same->ends_[i]) return 0;
    return 1;
}

short ValueRangeList::Add(unsigned start, unsigned end) {
    if (count_ == capacity_) {
        // Both arrays grow, or neither does.
        long long grown = NextCapacity(capacity_);
        unsigned* starts = AllocateEntries<unsigned>(grown);
        unsigned* ends = starts ? AllocateEntries<unsigned>(grown) : nullptr;
        if (!ends) {
            OBLibFree(starts);
            return 0;
        }
        if (count_ > 0) {
            std::memcpy(starts, starts_, static_cast<std::size_t>(count_) * sizeof(unsigned));
            std::memcpy(ends, ends_, static_cast<std::size_t>(count_) * sizeof(unsigned));
        }
        OBLibFree(starts_);
        OBLibFree(ends_);
        starts_ = starts;
        ends_ = ends;
        capacity_ = grown;
    }
    starts_[count_] = start;
    ends_[count_] = end;
    ++count_;
    SetInitialized(1);
    return 1;
}

void ValueRangeList::Get(int i, unsigned& start, unsigned& end) const {
    if (!IsInitialized() || !InList(i, count_)) return;
    start = starts_[i];
    end = ends_[i];
}

// ---------------------------------------------------------------- the point lists

namespace {

bool Convert(UNITS::LINEAR::UnitEnum from, const OBPoint& point, UNITS::LINEAR::UnitEnum to,
             OBPoint& out) {
    return obvalues_detail::ConvertPoint(from, point, to, out);
}
bool Convert(UNITS::LINEAR::UnitEnum from, const OBPathPoint& point, UNITS::LINEAR::UnitEnum to,
             OBPathPoint& out) {
    return obvalues_detail::ConvertPathPoint(from, point, to, out);
}

// Entry i of a point list whose entries are in `from`, converted into `to`;
// out stays as it is outside the list.
template <class Point>
void GetPoint(UNITS::LINEAR::UnitEnum from, const Point* points, long long count, int i,
              UNITS::LINEAR::UnitEnum to, Point& out) {
    Point converted;
    if (InList(i, count) && Convert(from, points[i], to, converted)) out = converted;
}

} // namespace

// ValueVertexList and ValuePathPointList are one implementation: one unit
// for the whole list (the first Add's), entries converted on reading; equal
// when both hold as many entries, equal when read in the first list's unit.
#define OB_POINT_LIST(Class, Point, Type)                                                          \
    Class::Class() noexcept                                                                        \
        : Value(Type), unit_(UNITS::LINEAR::kPoints), points_(nullptr), count_(0), capacity_(0) {} \
    Class::~Class() {                                                                              \
        OBLibFree(points_);                                                                        \
    }                                                                                              \
    OB_LIST_ASSIGN_FROM_VALUE(Class)                                                               \
    Class& Class::operator=(const Class& other) {                                                  \
        if (&other != this &&                                                                      \
            AssignEntries(points_, count_, capacity_, other.points_, other.count_)) {              \
            unit_ = other.unit_;                                                                   \
            SetInitialized(1);                                                                     \
        }                                                                                          \
        return *this;                                                                              \
    }                                                                                              \
    short Class::IsEqual(Value* other) {                                                           \
        Class* same = dynamic_cast<Class*>(other);                                                 \
        if (!Value::IsEqual(other) || !same || same->count_ != count_) return 0;                   \
        UNITS::LINEAR::UnitEnum unit = unit_;                                                      \
        for (long long i = 0; i < count_; ++i) {                                                   \
            Point theirs(OBPoint(__builtin_nan(""), 0.0));                                         \
            same->Get(static_cast<int>(i), unit, theirs);                                          \
            if (!(points_[i] == theirs)) return 0;                                                 \
        }                                                                                          \
        return 1;                                                                                  \
    }                                                                                              \
    short Class::Add(const Point& point, UNITS::LINEAR::UnitEnum unit) {                           \
        if (__builtin_expect(count_ == capacity_, 0)) return AddGrown(point, unit);                \
        if (count_ == 0) unit_ = unit;                                                             \
        points_[count_++] = point;                                                                 \
        SetInitialized(1);                                                                         \
        return 1;                                                                                  \
    }                                                                                              \
    /* Out of Add's way, so that Add needs no frame of its own. */                                 \
    __attribute__((noinline)) short Class::AddGrown(const Point& point,                            \
                                                    UNITS::LINEAR::UnitEnum unit) {                \
        if (!GrowEntries(points_, count_, capacity_, NextCapacity(capacity_))) return 0;           \
        return Add(point, unit);                                                                   \
    }                                                                                              \
    short Class::Reserve(long long n) {                                                            \
        return n <= capacity_ || GrowEntries(points_, count_, capacity_, n) ? 1 : 0;               \
    }                                                                                              \
    void Class::Get(int i, UNITS::LINEAR::UnitEnum& unit, Point& point) const {                    \
        if (IsInitialized()) GetPoint(unit_, points_, count_, i, unit, point);                     \
    }

OB_POINT_LIST(ValueVertexList, OBPoint, VT::ekVertexList)
OB_POINT_LIST(ValuePathPointList, OBPathPoint, VT::ekPathPointList)
#undef OB_POINT_LIST

// ---------------------------------------------------------------- ValueGradientStopList

ValueGradientStopList::ValueGradientStopList() noexcept
    : Value(VT::ekGradientStopList), stops_(nullptr), count_(0), capacity_(0) {}

ValueGradientStopList::~ValueGradientStopList() {
    OBLibFree(stops_);
}

OB_LIST_ASSIGN_FROM_VALUE(ValueGradientStopList)

ValueGradientStopList& ValueGradientStopList::operator=(const ValueGradientStopList& other) {
    if (&other != this && AssignEntries(stops_, count_, capacity_, other.stops_, other.count_))
        SetInitialized(1);
    return *this;
}

short ValueGradientStopList::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueGradientStopList* same = dynamic_cast<ValueGradientStopList*>(other);
    if (!same || same->count_ != count_) return 0;
    for (long long i = 0; i < count_; ++i) {
        const OBGradientStop& a = stops_[i];
        const OBGradientStop& b = same->stops_[i];
        if (a.colorRef != b.colorRef || !(a.location == b.location) ||
            !(a.midpoint == b.midpoint) || !(a.tint == b.tint))
            return 0;
    }
    return 1;
}

short ValueGradientStopList::Add(OBReal location, OBReal midpoint, unsigned colorRef, OBReal tint) {
    OBGradientStop stop;
    stop.location = location;
    stop.midpoint = midpoint;
    stop.colorRef = colorRef;
    stop.tint = tint;
    return Add(stop);
}

short ValueGradientStopList::Add(OBGradientStop stop) {
    if (count_ == capacity_ && !GrowEntries(stops_, count_, capacity_, NextCapacity(capacity_)))
        return 0;
    stops_[count_++] = stop;
    SetInitialized(1);
    return 1;
}

void ValueGradientStopList::Get(int i, OBReal& tint) {
    if (IsInitialized() && InList(i, count_)) tint = stops_[i].tint;
}

void ValueGradientStopList::Get(int i, OBReal& location, OBReal& midpoint, unsigned& colorRef) {
    if (!IsInitialized() || !InList(i, count_)) return;
    location = stops_[i].location;
    midpoint = stops_[i].midpoint;
    colorRef = stops_[i].colorRef;
}

void ValueGradientStopList::Get(int i, OBGradientStop& stop) {
    if (IsInitialized() && InList(i, count_)) stop = stops_[i];
}

long long ValueGradientStopList::NumGradientStops() {
    return count_;
}
