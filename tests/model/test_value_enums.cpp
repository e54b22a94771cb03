// The enumeration values and their creators, checked row by row against
// their table.
#include <ombra/values.h>
#include <ombra/valueutil.h>

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

namespace {

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

TEST(EnumValues, DifferentEnumerationsNeverCompareEqual) {
    ValueAlignmentEnum alignment;
    ValueCapStyleEnum cap;
    alignment.Init(AE::kLeft);
    cap.Init(static_cast<CSE::CapStyleEnum>(AE::kLeft));
    EXPECT_EQ(alignment.GetMember(), cap.GetMember());
    EXPECT_EQ(alignment.IsEqual(&cap), 0);
    EXPECT_EQ(cap.IsEqual(&alignment), 0);
}

} // namespace
