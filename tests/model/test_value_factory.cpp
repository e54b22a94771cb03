// The value factory: the class made for every type code, the typed
// creators, Recycle, running out of memory, the Attribute record, and the
// enumeration values and their creators row by row against their table.
#include <ombra/pools.h>
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

using ombra_test::FailAllocationsAfter;
using UNITS::LINEAR::kInches;
using UNITS::LINEAR::kPoints;

// Whether a value is of the class named in a row of the type table.
template <class C> bool IsOf(Value* v) {
    return dynamic_cast<C*>(v) != nullptr;
}
template <> bool IsOf<void>(Value* v) {
    return v == nullptr;
}

VT::ValueTypeEnum TypeOf(Value* v) {
    VT::ValueTypeEnum type = VT::ekUndefined;
    v->GetType(type);
    return type;
}

// ---------------------------------------------------------------- Create

// Each row's code makes its MadeClass (nothing for void), which reports the
// code of the row whose own class it is; codes outside the table make nothing.
TEST(ValueFactory, EveryCodeMakesTheClassOfItsRow) {
    std::vector<std::string> faults;
#define OB_VALUE_TYPE(Number, Name, ValueClass, MadeClass)                                         \
    {                                                                                              \
        Value* v = reinterpret_cast<Value*>(&faults);                                              \
        ValueUtil::Create(VT::Name, v);                                                            \
        if (Number == 0 ? v != nullptr : !IsOf<MadeClass>(v))                                      \
            faults.push_back(#Name " does not make " #MadeClass);                                  \
        else if (v && std::strcmp(OBFindValueType(TypeOf(v))->valueClass, #MadeClass) != 0)        \
            faults.push_back(#Name " reports the code of another class");                          \
        ValueUtil::Recycle(v);                                                                     \
    }
#include <ombra/defs/ValueTypes.def>
    EXPECT_TRUE(faults.empty()) << faults.front();
    for (int code : {-3, -1, kOBValueTypeCount, kOBValueTypeCount + 4}) {
        Value* v = reinterpret_cast<Value*>(&faults);
        ValueUtil::Create(static_cast<VT::ValueTypeEnum>(code), v);
        EXPECT_EQ(v, nullptr) << code;
    }
}

// ---------------------------------------------------------------- creators

// The payload of a made value, which is recycled.
template <class V, class T> T Payload(Value*& v) {
    T out{};
    static_cast<V*>(v)->Get(out);
    ValueUtil::Recycle(v);
    return out;
}

// The value text suite shows the other creators' payloads: 'A', 1 << 63 as
// a signed 64-bit value, real lengths, fractions, file locations, all four
// fields of a gradient stop and a stream the value does not own.
TEST(ValueCreators, ScalarsKeepTheirBits) {
    Value* v = nullptr;
    ValueUtil::CreateValueChar(static_cast<char>(0xE9), v);
    EXPECT_EQ((Payload<ValueChar, unsigned short>(v)), 0xFFE9); // widened with its sign
    ValueUtil::CreateValueUnInteger32(0xFFFFFFFFu, v);
    EXPECT_EQ(TypeOf(v), VT::ekSignedInt32);
    EXPECT_EQ(static_cast<unsigned>(Payload<ValueInteger32, int>(v)), 0xFFFFFFFFu);
    ValueUtil::CreateValueUnInteger16(0x8001, v);
    EXPECT_EQ(TypeOf(v), VT::ekSignedShort16);
    EXPECT_EQ(static_cast<unsigned short>(Payload<ValueInteger16, short>(v)), 0x8001);
    ValueUtil::CreateValueLength(kPoints, 3, v); // an int is an integral length
    EXPECT_EQ(static_cast<ValueLength*>(v)->IsIntegral(), 1);
    ValueUtil::Recycle(v);
    ValueUtil::Create(VT::ekMeasurement, v); // a made length is an integral 0 points
    int n = -1;
    UNITS::LINEAR::UnitEnum unit = kInches;
    static_cast<ValueLength*>(v)->Get(kPoints, n);
    static_cast<ValueLength*>(v)->GetUnit(unit);
    EXPECT_TRUE(n == 0 && unit == kPoints && static_cast<ValueLength*>(v)->IsIntegral() == 1);
    ValueUtil::Recycle(v);
}

TEST(ValueCreators, RecycleReturnsTheBlockAndClearsThePointer) {
    Value* v = nullptr;
    ValueUtil::Recycle(v);
    EXPECT_EQ(v, nullptr);
    ValueUtil::CreateValueInteger32(5, v);
    void* block = v;
    ValueUtil::Recycle(v);
    EXPECT_EQ(v, nullptr);
    ValueUtil::CreateValueOBID(6u, v); // same size: the same block again
    EXPECT_EQ(static_cast<void*>(v), block);
    ValueUtil::Recycle(v);
}

TEST(ValueCreators, WithoutMemoryTheFactoryYieldsNothing) {
    static_assert(sizeof(ValueLength) == sizeof(ValuePoint), "one pool serves both");
    IPool* pool = OBGetValuePool(sizeof(ValueLength));
    ASSERT_NE(pool, nullptr);
    pool->purge(); // no free blocks left in this size's pool or the thread's cache
    {
        FailAllocationsAfter fail(0);
        EXPECT_EQ(new ValueLength, nullptr);
        Value* v = reinterpret_cast<Value*>(pool);
        ValueUtil::Create(VT::ekMeasurement, v);
        EXPECT_EQ(v, nullptr);
        v = reinterpret_cast<Value*>(pool);
        ValueUtil::CreateValueLength(kPoints, 3, v);
        EXPECT_EQ(v, nullptr);
        ValueUtil::CreateValuePoint(kPoints, 1.0, 2.0, v);
        EXPECT_EQ(v, nullptr);
    }
    Value* v = nullptr;
    ValueUtil::CreateValueLength(kPoints, 3, v);
    EXPECT_NE(v, nullptr);
    ValueUtil::Recycle(v);
}

// ---------------------------------------------------------------- Attribute

// A value that counts how often it is destroyed.
class Counted : public Value {
public:
    explicit Counted(int* deaths) : Value(VT::ekSignedInt32), deaths_(deaths) {}
    ~Counted() override { ++*deaths_; }
    Value& operator=(Value&) override { return *this; }
    short IsEqual(Value* other) override { return Value::IsEqual(other); }

private:
    int* deaths_;
};

TEST(Attributes, CopiesShareButNeverReleaseTwice) {
    int deaths = 0;
    {
        Attribute a(AN::kFontSize, VT::ekMeasurement, new Counted(&deaths));
        EXPECT_EQ(a.OwnsValue(), 1);
    }
    EXPECT_EQ(deaths, 1);
    // Destroy the owner before the copies, or assign its value back to it.
    for (int order = 0; order < 2; ++order) {
        deaths = 0;
        Attribute* owner = new Attribute(AN::kBold, VT::ekBool16, new Counted(&deaths));
        Attribute* copy = new Attribute(*owner);
        Attribute* assigned = new Attribute;
        *assigned = *copy;
        EXPECT_EQ(assigned->GetValue(), owner->GetValue());
        EXPECT_EQ(copy->OwnsValue(), 0);
        EXPECT_EQ(assigned->OwnsValue(), 0);
        if (order == 0) {
            delete copy;
            delete owner;
            EXPECT_EQ(deaths, 1);
        } else {
            *owner = *assigned; // assigning back the value it owns keeps it owned
            EXPECT_EQ(owner->OwnsValue(), 1);
            delete owner;
            delete copy;
        }
        delete assigned;
        EXPECT_EQ(deaths, 1) << order;
    }
}

TEST(Attributes, AssignmentMovesInitAndSetValueKeepOwnershipStraight) {
    int deathsA = 0, deathsB = 0;
    {
        Attribute a(AN::kBold, VT::ekBool16, new Counted(&deathsA));
        Attribute b(AN::kItalics, VT::ekBool16, new Counted(&deathsB));
        a = b; // a's own value is no longer held: released
        EXPECT_EQ(deathsA, 1);
        EXPECT_EQ(a.GetName(), AN::kItalics);
        EXPECT_EQ(a.OwnsValue(), 0);
        const Attribute& self = a;
        a = self;
        Attribute moved(std::move(b));
        EXPECT_EQ(b.GetValue(), nullptr);
        Attribute target(AN::kName, VT::ekString, nullptr);
        target = std::move(moved);
        EXPECT_EQ(target.OwnsValue(), 1);
        EXPECT_EQ(moved.GetValue(), nullptr);
        EXPECT_EQ(deathsB, 0);
    }
    EXPECT_EQ(deathsB, 1);

    // Init creates a fresh value and SetValue adopts.
    Attribute a(AN::kFontSize, VT::ekUndefined, nullptr);
    a.Init(VT::ekMeasurement);
    ASSERT_NE(a.GetValue(), nullptr);
    EXPECT_EQ(TypeOf(a.GetValue()), VT::ekMeasurement);
    EXPECT_EQ(a.GetType(), VT::ekMeasurement);
    Value* first = a.GetValue();
    a.Init(VT::ekAny); // the factory makes nothing for this type
    EXPECT_EQ(a.GetValue(), nullptr);
    ValueUtil::Recycle(first); // Init did not release it: it was the caller's to take

    int deaths = 0;
    Attribute borrower;
    {
        Attribute owner(AN::kBold, VT::ekBool16, new Counted(&deaths));
        borrower = owner;
        borrower.SetValue(borrower.GetValue()); // still the owner's
        EXPECT_EQ(borrower.OwnsValue(), 0);
        borrower.SetValue(new Counted(&deaths)); // adopted
        EXPECT_EQ(borrower.OwnsValue(), 1);
    }
    EXPECT_EQ(deaths, 1);
}

// The members of each enumeration, as numbers.
#define OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)                           \
    const int kMembers##Code[] = {
#define OB_VALUE_ENUM_MEMBER(Space, Member, Number) Space::Member,
#define OB_VALUE_ENUM_END(Code, Space, Enum)                                                       \
    }                                                                                              \
    ;
#include <ombra/defs/ValueEnums.def>

// A class reports its code, starts at kUndefined, round-trips every member
// of its enumeration, compares by member and assigns through Get and Init;
// its creator makes the class with the member set.
template <class C>
void CheckClass(int code, const int* members, int memberCount,
                void (*create)(const typename C::EnumType&, Value*&), const char* name,
                std::vector<std::string>& faults) {
    typedef typename C::EnumType E;
    auto fault = [&](const char* what) { faults.push_back(std::string(name) + ": " + what); };
    C a, b;
    VT::ValueTypeEnum type = VT::ekUndefined;
    a.GetType(type);
    if (type != code || C::kType != code) fault("reports another type");
    E got = static_cast<E>(-1);
    a.Get(got);
    if (got != 0) fault("does not start at 0");
    if (a.IsEqual(&b) != 1) fault("fresh values differ");
    a.Init(static_cast<E>(12345));
    if (a.IsEqual(&b) != 0) fault("compares equal across members");
    Value& base = a;
    b = base;
    b.Get(got);
    if (got != 12345 || b.IsEqual(&a) != 1) fault("assignment");
    // Another enumeration's value with the same member is never equal.
    ValueAlignmentEnum alignment;
    ValueCapStyleEnum cap;
    alignment.Init(static_cast<AE::AlignmentEnum>(12345));
    cap.Init(static_cast<CSE::CapStyleEnum>(12345));
    Value* other = type == VT::ekAlignmentEnum ? static_cast<Value*>(&cap) : &alignment;
    if (a.IsEqual(other) != 0 || other->IsEqual(&a) != 0) fault("equals another enumeration");
    for (int i = 0; i < memberCount; ++i) {
        a.Init(static_cast<E>(members[i]));
        got = static_cast<E>(-1);
        a.Get(got);
        if (got != members[i] || a.GetMember() != members[i]) fault("member round trip");
    }
    Value* made = &a; // the creator replaces it
    create(static_cast<E>(3), made);
    C* typed = dynamic_cast<C*>(made);
    if (!typed) {
        fault("its creator makes another class");
        return;
    }
    typed->Get(got);
    if (got != 3) fault("its creator does not set the member");
    ValueUtil::Recycle(made);
}

TEST(EnumValues, EveryClassAgainstItsTable) {
    std::vector<std::string> faults;
    int classes = 0, members = 0;
#define OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)                           \
    ++classes;                                                                                     \
    members += static_cast<int>(std::size(kMembers##Code));                                        \
    CheckClass<Class>(Code, kMembers##Code, static_cast<int>(std::size(kMembers##Code)),           \
                      &ValueUtil::Creator, #Class, faults);
#define OB_VALUE_ENUM_EXTERNAL(Code, TypeName, Class, Space, Enum, Creator)                        \
    ++classes;                                                                                     \
    CheckClass<Class>(Code, nullptr, 0, &ValueUtil::Creator, #Class, faults);
#include <ombra/defs/ValueEnums.def>

    int count = 0;
    OBGetValueEnums(count);
    EXPECT_EQ(classes, count);
    EXPECT_GT(members, 2 * count);
    EXPECT_TRUE(faults.empty()) << faults.size() << " faults, first: " << faults.front();
}

} // namespace
