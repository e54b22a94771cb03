// Preferences: the six kinds, their display texts from the registered
// resource module, and the owning list with its look-ups by position and type.
#include <ombra/preferences.h>
#include <ombra/resources.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

/// Registers a string table as the resource module for one test.
class ResourceModule {
public:
    ResourceModule() : handle_(&table_) { OBConnectionUtility::SetCurrentHandle(&handle_); }
    ~ResourceModule() { OBConnectionUtility::SetCurrentHandle(nullptr); }
    OBStringTable& Table() { return table_; }

private:
    OBStringTable table_;
    HINSTANCE handle_;
};

/// A value handed out by a preference, released when the holder goes.
class Held {
public:
    Held() = default;
    ~Held() { ValueUtil::Recycle(value_); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    Value*& Ref() { return value_; }
    Value* Get() const { return value_; }
    template <class Class> Class* As() const { return dynamic_cast<Class*>(value_); }

private:
    Value* value_ = nullptr;
};

short BoolOf(const Held& held) {
    short flag = -1;
    if (auto* b = held.As<ValueBool16>()) b->Get(flag);
    return flag;
}

int IntOf(const Held& held) {
    int n = -1;
    if (auto* i = held.As<ValueInteger32>()) i->Get(n);
    return n;
}

double RealOf(const Held& held) {
    OBReal r(-1.0);
    if (auto* v = held.As<ValueOBReal>()) v->Get(r);
    return r.Value();
}

std::string TextOf(const Held& held) {
    IOBStringPtr text;
    if (auto* s = held.As<ValueString>()) s->Get(text);
    return text.IsValid() ? std::string(text->GrabCString()) : std::string("<none>");
}

VT::ValueTypeEnum TypeOf(const OBPreference* p) {
    VT::ValueTypeEnum type = VT::ekUndefined;
    p->GetType(type);
    return type;
}

OBPreference* Nth(const OBPreferenceList& list, int n) {
    OBBooleanPreference sentinel(0, 0); // must be overwritten
    OBPreference* p = &sentinel;
    list.GetNthPreference(n, &p);
    return p;
}

OBPreference* NthOfType(const OBPreferenceList& list, int n, VT::ValueTypeEnum type) {
    OBBooleanPreference sentinel(0, 0);
    OBPreference* p = &sentinel;
    list.GetNthPreferenceOfType(n, type, &p);
    return p;
}

// The defaults reach a host through the Value interface (below).
TEST(PreferenceKinds, TypeCodesAndStartingValues) {
    OBBooleanPreference flag(1, 100);
    EXPECT_EQ(TypeOf(&flag), VT::ekBool16);
    EXPECT_EQ(flag.GetCurrentValue(), 0) << "current starts at 0 whatever the default";

    OBGroupPreference group(200);
    EXPECT_EQ(TypeOf(&group), VT::ekBool16);
    OBPreferenceList* constituents = reinterpret_cast<OBPreferenceList*>(&group);
    group.GetConstituentPreferenceList(&constituents);
    EXPECT_EQ(constituents, nullptr);

    OBIntegerPreference number(42, 300);
    EXPECT_EQ(TypeOf(&number), VT::ekSignedInt32);
    number.SetMaximumValue(20);
    number.SetCurrentValue(99); // bounds are stored, never enforced
    EXPECT_EQ(number.GetCurrentValue(), 99);

    OBRealPreference real(2.5, 400);
    EXPECT_EQ(TypeOf(&real), VT::ekOBReal);
    EXPECT_DOUBLE_EQ(real.GetCurrentValue().Value(), 0.0);

    OBStringPreference text(COBString("abc"), 500);
    EXPECT_EQ(TypeOf(&text), VT::ekString);
    EXPECT_EQ(text.GetCurrentString(), nullptr) << "the current value starts absent";

    OBEnumPreference choice(COBString("Default"), 600, 0, nullptr, OBL::kJapanese);
    EXPECT_EQ(TypeOf(&choice), VT::ekEnum);
    EXPECT_TRUE(choice.GetCurrentValue().IsNull());
}

TEST(PreferenceValues, BooleansAndGroupsTradeInValueBool16Only) {
    OBBooleanPreference flag(1, 100);
    OBGroupPreference group(200, 1);
    for (OBPreference* p : std::initializer_list<OBPreference*>{&flag, &group}) {
        Held def;
        p->GetDefaultValue(def.Ref());
        EXPECT_EQ(BoolOf(def), 1);

        Held number, on;
        ValueUtil::CreateValueInteger32(1, number.Ref());
        p->SetCurrentValue(number.Ref());
        Held after;
        p->GetCurrentValue(after.Ref());
        EXPECT_EQ(BoolOf(after), 0) << "a ValueInteger32 changes nothing";
        Value* none = nullptr;
        p->SetCurrentValue(none);
        ValueUtil::CreateValueBool16(1, on.Ref());
        p->SetCurrentValue(on.Ref());
        EXPECT_NE(on.Get(), nullptr) << "the caller keeps its value";
        Held set;
        p->GetCurrentValue(set.Ref());
        EXPECT_EQ(BoolOf(set), 1);
    }
    EXPECT_EQ(flag.GetCurrentValue(), 1);
    EXPECT_EQ(group.GetCurrentValue(), 1);
}

TEST(PreferenceValues, NumbersAndTheirBounds) {
    OBIntegerPreference number(42, 300);
    Held def, in, lower, upper;
    number.GetDefaultValue(def.Ref());
    EXPECT_EQ(IntOf(def), 42);
    ValueUtil::CreateValueInteger32(7, in.Ref());
    number.SetCurrentValue(in.Ref());
    ValueUtil::CreateValueInteger32(-3, lower.Ref());
    number.SetMinimumValue(lower.Ref());
    ValueUtil::CreateValueInteger32(9, upper.Ref());
    number.SetMaximumValue(upper.Ref());
    Held real;
    ValueUtil::CreateValueOBReal(5.5, real.Ref());
    number.SetMaximumValue(real.Ref()); // a ValueOBReal is not taken
    number.SetCurrentValue(real.Ref());
    EXPECT_EQ(number.GetCurrentValue(), 7);
    EXPECT_EQ(number.GetMinimumValue(), -3);
    EXPECT_EQ(number.GetMaximumValue(), 9);
    // The bounds are written into the caller's value; nothing is created.
    number.GetMinimumValue(in.Get());
    EXPECT_EQ(IntOf(in), -3);
    number.GetMaximumValue(nullptr);

    OBRealPreference measure(2.5, 400);
    Held realDefault, current;
    measure.GetDefaultValue(realDefault.Ref());
    EXPECT_DOUBLE_EQ(RealOf(realDefault), 2.5);
    measure.SetCurrentValue(real.Ref());
    measure.SetMinimumValue(real.Ref());
    measure.SetMaximumValue(in.Ref()); // a ValueInteger32 is not taken
    measure.GetCurrentValue(current.Ref());
    EXPECT_DOUBLE_EQ(RealOf(current), 5.5);
    EXPECT_DOUBLE_EQ(measure.GetMinimumValue().Value(), 5.5);
    EXPECT_DOUBLE_EQ(measure.GetMaximumValue().Value(), 0.0);
}

TEST(PreferenceValues, StringsAndEnumerationsTradeInValueString) {
    OBStringPreference text(COBString("abc"), 500);
    Held def, current;
    text.GetDefaultValue(def.Ref());
    EXPECT_EQ(TextOf(def), "abc");
    text.GetCurrentValue(current.Ref());
    EXPECT_EQ(current.Get(), nullptr) << "no value while the current text is absent";
    Held wide;
    ValueUtil::CreateValueString(WOBString(reinterpret_cast<const unsigned short*>(u"xyz")),
                                 wide.Ref());
    text.SetCurrentValue(wide.Ref());
    ASSERT_NE(text.GetCurrentString(), nullptr);
    EXPECT_EQ(text.GetCurrentString()->IsUnicode(), 1) << "a copy keeps its kind";
    Held flag;
    ValueUtil::CreateValueBool16(1, flag.Ref());
    text.SetCurrentValue(flag.Ref()); // not a string: ignored
    EXPECT_EQ(text.GetCurrentString()->IsUnicode(), 1);

    OBEnumPreference choice(COBString("Default"), 600, 0, nullptr, OBL::kEnglish);
    Held choiceDefault, narrow, empty;
    choice.GetDefaultValue(choiceDefault.Ref());
    EXPECT_EQ(TextOf(choiceDefault), "Default");
    choice.GetCurrentValue(empty.Ref());
    EXPECT_EQ(TextOf(empty), "");
    ValueUtil::CreateValueString(COBString("Unicode UTF16"), narrow.Ref());
    choice.SetCurrentValue(narrow.Ref());
    EXPECT_STREQ(choice.GetCurrentValue().GrabCString(), "Unicode UTF16");
    choice.SetCurrentValue(wide.Ref());
    EXPECT_STREQ(choice.GetCurrentValue().GrabCString(), "Unicode UTF16")
        << "UTF-16 text is not an entry";
    Held blank;
    ValueUtil::Create(VT::ekString, blank.Ref()); // a string value holding no string
    choice.SetCurrentValue(blank.Ref());
    EXPECT_STREQ(choice.GetCurrentValue().GrabCString(), "Unicode UTF16");
}

// How texts are loaded is the resource suite's; here, which id is asked:
// the base plus the locale, and entries counted from zero within the array.
TEST(PreferenceNames, ComeFromTheRegisteredModuleByIdPlusLocale) {
    const unsigned ids[] = {2000, 2016, 2032};
    OBEnumPreference choice(COBString("A"), 1900, 3, OBEnumPreference::CopyEntryIds(ids, 3),
                            OBL::kEnglish);
    EXPECT_EQ(choice.GetNumberOfEnumerations(), 3);
    EXPECT_EQ(choice.GetNthEnumerationID(3), 0u);

    COBString text;
    ResourceModule module;
    module.Table().SetString(1002, "Formate behalten");
    OBBooleanPreference(0, 1000).GetMenuName(text, OBL::kGerman);
    EXPECT_STREQ(text.GrabCString(), "Formate behalten");
    module.Table().SetString(2000, "Unicode UTF8");
    module.Table().SetString(2033, "Standard (ja)");
    choice.GetNthEnumerationString(0, text, OBL::kEnglish);
    EXPECT_STREQ(text.GrabCString(), "Unicode UTF8");
    choice.GetNthEnumerationString(2, text, OBL::kJapanese);
    EXPECT_STREQ(text.GrabCString(), "Standard (ja)");
    for (int outside : {3, -1, 1 << 30}) {
        text = "unchanged";
        choice.GetNthEnumerationString(outside, text, OBL::kEnglish);
        EXPECT_STREQ(text.GrabCString(), "unchanged") << outside;
    }

    // Without an id array there are no entries, whatever the count said.
    OBEnumPreference empty(COBString("A"), 1900, 5, nullptr, OBL::kEnglish);
    EXPECT_EQ(empty.GetNumberOfEnumerations(), 0);
    empty.GetNthEnumerationString(0, text, OBL::kEnglish);
    EXPECT_STREQ(text.GrabCString(), "unchanged");
}

TEST(PreferenceList, GrowsAndKeepsOrder) {
    OBPreferenceList list;
    OBPreference* added[25];
    for (int i = 0; i < 25; ++i) {
        added[i] = new OBIntegerPreference(i, 100 + i);
        ASSERT_EQ(list.Add(added[i]), 1);
    }
    EXPECT_GE(list.GetCapacity(), 25);
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(Nth(list, i), added[i]);
    EXPECT_EQ(Nth(list, 25), nullptr);
    EXPECT_EQ(Nth(list, -1), nullptr);
    list.GetNthPreference(0, nullptr); // a null out-argument is ignored
}

TEST(PreferenceList, CountsGroupsAmongTheBooleans) {
    OBPreferenceList list;
    OBPreference* group = new OBGroupPreference(2);
    OBPreference* number = new OBIntegerPreference(0, 3);
    list.Add(new OBBooleanPreference(0, 1));
    list.Add(group);
    list.Add(number);
    EXPECT_EQ(list.GetNumberOfBooleanPreferences(), 2);
    EXPECT_EQ(list.GetNumberOfIntegerResources(), 1);
    EXPECT_EQ(list.GetNumberOfEnumerationPreferences(), 0);
    EXPECT_EQ(NthOfType(list, 2, VT::ekBool16), group);
    EXPECT_EQ(NthOfType(list, 3, VT::ekBool16), nullptr);
    EXPECT_EQ(NthOfType(list, 0, VT::ekBool16), nullptr) << "counting starts at 1";
    EXPECT_EQ(NthOfType(list, 1, VT::ekSignedInt32), number);
    EXPECT_EQ(NthOfType(list, 1, VT::ekEnum), nullptr);
}

TEST(PreferenceList, OwnsWhatItHoldsAndRefusesWhatItCannot) {
    long long before = ombra_test::Stats().releases;
    {
        OBPreferenceList list;
        OBGroupPreference* group = new OBGroupPreference(1);
        OBPreferenceList* inner = new OBPreferenceList;
        inner->Add(new OBStringPreference(COBString("x"), 2));
        group->SetConstituentPreferenceList(inner);
        EXPECT_EQ(list.Add(group), 1);
        EXPECT_EQ(list.Add(group), 0) << "the same object twice would be deleted twice";
        EXPECT_EQ(list.Add(nullptr), 0);
        EXPECT_EQ(list.GetNumberOfPreferences(), 1);
    }
    // group, inner list and its array, the string preference and its string, the outer array
    EXPECT_GE(ombra_test::Stats().releases - before, 6);

    // Without room a preference is not added, and is released (the sanitizer
    // build finds a leak otherwise); the list keeps its order.
    ombra_test::SweepAllocationFailures([] {
        OBPreferenceList list;
        int added = 0;
        for (int i = 0; i < 12; ++i) {
            OBPreference* p = new OBBooleanPreference(0, static_cast<unsigned>(i));
            if (list.Add(p) == 1) ++added;
        }
        EXPECT_EQ(list.GetNumberOfPreferences(), added);
        for (int i = 0; i < added; ++i) {
            OBPreference* p = nullptr;
            list.GetNthPreference(i, &p);
            EXPECT_NE(p, nullptr);
        }
        return added == 12;
    });
}

} // namespace
