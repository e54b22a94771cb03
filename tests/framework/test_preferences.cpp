// Preferences: the six kinds, their display texts from the registered
// resource module, and the owning list; the string resources themselves:
// tables in memory and from files, the registered module, the fixed buffer
// and display texts as 8-bit strings in the script that holds them.
#include <ombra/convertorlumservice.h>
#include <ombra/preferences.h>
#include <ombra/resources.h>
#include <ombra/utf8.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>

#include "support/TestSupport.h"
#include "text/TextFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

using ombra_test::U16;

namespace {

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

// The held value when it has the class V, else fallback.
template <class V, class T> T Of(const Held& held, T fallback) {
    if (auto* v = held.As<V>()) v->Get(fallback);
    return fallback;
}
short BoolOf(const Held& held) {
    return Of<ValueBool16>(held, short(-1));
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

// The n-th preference (of the type, counted from 1, when given).
OBPreference* Nth(const OBPreferenceList& list, int n, VT::ValueTypeEnum type = VT::ekUndefined) {
    OBBooleanPreference sentinel(0, 0); // must be overwritten
    OBPreference* p = &sentinel;
    if (type == VT::ekUndefined)
        list.GetNthPreference(n, &p);
    else
        list.GetNthPreferenceOfType(n, type, &p);
    return p;
}

// Each kind's type code, default and starting value (current starts at 0,
// or absent, whatever the default), and what it takes as its current value.
TEST(PreferenceValues, BooleansAndGroupsTradeInValueBool16Only) {
    OBBooleanPreference flag(1, 100);
    OBGroupPreference group(200, 1);
    OBPreferenceList* constituents = reinterpret_cast<OBPreferenceList*>(&group);
    group.GetConstituentPreferenceList(&constituents);
    EXPECT_EQ(constituents, nullptr);
    for (OBPreference* p : std::initializer_list<OBPreference*>{&flag, &group}) {
        Held def, start;
        p->GetDefaultValue(def.Ref());
        p->GetCurrentValue(start.Ref());
        EXPECT_EQ(BoolOf(def) * 10 + BoolOf(start), 10);
        EXPECT_EQ(TypeOf(p), VT::ekBool16);

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
    EXPECT_EQ(TypeOf(&number), VT::ekSignedInt32);
    Held def, in, lower, upper;
    number.GetDefaultValue(def.Ref());
    EXPECT_EQ(Of<ValueInteger32>(def, -1), 42);
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
    number.SetCurrentValue(99); // bounds are stored, never enforced
    EXPECT_EQ(number.GetCurrentValue(), 99);
    // The bounds are written into the caller's value; nothing is created.
    number.GetMinimumValue(in.Get());
    EXPECT_EQ(Of<ValueInteger32>(in, -1), -3);
    number.GetMaximumValue(nullptr);

    OBRealPreference measure(2.5, 400);
    EXPECT_EQ(TypeOf(&measure), VT::ekOBReal);
    EXPECT_DOUBLE_EQ(measure.GetCurrentValue().Value(), 0.0);
    Held realDefault, current;
    measure.GetDefaultValue(realDefault.Ref());
    EXPECT_DOUBLE_EQ(Of<ValueOBReal>(realDefault, OBReal(-1.0)).Value(), 2.5);
    measure.SetCurrentValue(real.Ref());
    measure.SetMinimumValue(real.Ref());
    measure.SetMaximumValue(in.Ref()); // a ValueInteger32 is not taken
    measure.GetCurrentValue(current.Ref());
    EXPECT_DOUBLE_EQ(Of<ValueOBReal>(current, OBReal(-1.0)).Value(), 5.5);
    EXPECT_DOUBLE_EQ(measure.GetMinimumValue().Value(), 5.5);
    EXPECT_DOUBLE_EQ(measure.GetMaximumValue().Value(), 0.0);
}

TEST(PreferenceValues, StringsAndEnumerationsTradeInValueString) {
    OBStringPreference text(COBString("abc"), 500);
    EXPECT_EQ(TypeOf(&text), VT::ekString);
    EXPECT_EQ(text.GetCurrentString(), nullptr);
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
    EXPECT_EQ(TypeOf(&choice), VT::ekEnum);
    EXPECT_TRUE(choice.GetCurrentValue().IsNull());
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
    EXPECT_EQ(Nth(list, 2, VT::ekBool16), group);
    EXPECT_EQ(Nth(list, 3, VT::ekBool16), nullptr);
    EXPECT_EQ(Nth(list, 0, VT::ekBool16), nullptr) << "counting starts at 1";
    EXPECT_EQ(Nth(list, 1, VT::ekSignedInt32), number);
    EXPECT_EQ(Nth(list, 1, VT::ekEnum), nullptr);
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

    // Growing, and without room a preference is not added, and is released
    // (the sanitizer build finds a leak otherwise); the list keeps its order.
    ombra_test::SweepAllocationFailures([] {
        OBPreferenceList list;
        std::vector<OBPreference*> added;
        for (int i = 0; i < 25; ++i) {
            OBPreference* p = new OBIntegerPreference(i, 100 + static_cast<unsigned>(i));
            if (list.Add(p) == 1) added.push_back(p);
        }
        int count = static_cast<int>(added.size());
        EXPECT_EQ(list.GetNumberOfPreferences(), count);
        EXPECT_GE(list.GetCapacity(), count);
        for (int i = -1; i <= count; ++i)
            EXPECT_EQ(Nth(list, i), i >= 0 && i < count ? added[std::size_t(i)] : nullptr);
        list.GetNthPreference(0, nullptr); // a null out-argument is ignored
        return count == 25;
    });
}

std::string DataFile(const char* name) {
    return std::string(OMBRA_TEST_DATA_DIR) + "/resources/" + name;
}

std::vector<std::pair<int, OBRES::ProblemEnum>> Problems(const OBStringTable& table) {
    std::vector<std::pair<int, OBRES::ProblemEnum>> problems;
    for (int i = 0; i < table.GetProblemCount(); ++i) {
        int line = 0;
        OBRES::ProblemEnum kind = OBRES::kNoProblem;
        EXPECT_EQ(table.GetProblem(i, line, kind), 1);
        problems.emplace_back(line, kind);
    }
    return problems;
}

TEST(StringTable, LoadsAGoodFile) {
    OBStringTable table;
    ASSERT_EQ(table.LoadFile(DataFile("good.txt").c_str()), 1);
    EXPECT_EQ(table.GetProblemCount(), 0);
    EXPECT_EQ(table.GetStringCount(), 7);
    EXPECT_STREQ(table.GetString(1000), "Out of memory");
    EXPECT_STREQ(table.GetString(1001), "メモリが不足しています");
    EXPECT_STREQ(table.GetString(1016), "Line one\nLine two\tTabbed \\ backslash");
    EXPECT_STREQ(table.GetString(2000), "literal\ttab inside");
    EXPECT_STREQ(table.GetString(2001), "");
    EXPECT_EQ(table.GetString(1002), nullptr);
    EXPECT_STREQ(table.GetString(3009), "한국어 텍스트");
}

TEST(StringTable, ReportsBadLinesAndKeepsTheGoodOnes) {
    OBStringTable table;
    ASSERT_EQ(table.LoadFile(DataFile("bad.txt").c_str()), 1);
    using P = OBRES::ProblemEnum;
    std::vector<std::pair<int, P>> expected = {
        {2, OBRES::kMissingTab}, {3, OBRES::kBadId},        {4, OBRES::kBadId},
        {5, OBRES::kBadId},      {6, OBRES::kBadId},        {7, OBRES::kBadEscape},
        {8, OBRES::kBadEscape},  {9, OBRES::kBadUTF8},      {10, OBRES::kBadUTF8},
        {11, OBRES::kBadUTF8},   {12, OBRES::kDuplicateId},
    };
    EXPECT_EQ(Problems(table), expected);
    EXPECT_EQ(table.GetStringCount(), 2);
    EXPECT_STREQ(table.GetString(1), "again"); // the later line of a duplicate wins
    EXPECT_STREQ(table.GetString(4294967295u), "last id");
    for (unsigned id : {7u, 8u, 9u, 10u, 11u})
        EXPECT_EQ(table.GetString(id), nullptr);

    int line = -1;
    OBRES::ProblemEnum kind = OBRES::kNoProblem;
    EXPECT_EQ(table.GetProblem(11, line, kind), 0);
    EXPECT_EQ(table.GetProblem(-1, line, kind), 0);
    EXPECT_EQ(line, -1);

    // Problems are those of the last load only; an id the table had before
    // is no duplicate.
    ASSERT_EQ(table.LoadText("1\tthird\n", 8), 1);
    EXPECT_EQ(table.GetProblemCount(), 0);
    EXPECT_STREQ(table.GetString(1), "third");
}

TEST(StringTable, AnUnreadableFileChangesNothing) {
    OBStringTable table;
    table.SetString(5, "kept");
    EXPECT_EQ(table.LoadFile(DataFile("missing.txt").c_str()), 0);
    EXPECT_EQ(table.LoadFile(OMBRA_TEST_DATA_DIR), 0); // a folder
    EXPECT_EQ(table.LoadFile(nullptr), 0);
    EXPECT_EQ(table.GetStringCount(), 1);
    EXPECT_STREQ(table.GetString(5), "kept");
}

TEST(StringTable, TextInMemory) {
    OBStringTable table;
    const char text[] = "1\ta\n\n2\tb\r\n3\t\\\\n\n#4\tno\n5\tx\\";
    ASSERT_EQ(table.LoadText(text, sizeof text - 1), 1);
    EXPECT_STREQ(table.GetString(1), "a");
    EXPECT_STREQ(table.GetString(2), "b");
    EXPECT_STREQ(table.GetString(3), "\\n");
    EXPECT_EQ(table.GetString(4), nullptr);
    EXPECT_EQ(table.GetString(5), nullptr);
    EXPECT_EQ(Problems(table),
              (std::vector<std::pair<int, OBRES::ProblemEnum>>{{6, OBRES::kBadEscape}}));
    // A NUL inside a line is no text.
    const char withNul[] = "6\ta\0b\n7\tok";
    ASSERT_EQ(table.LoadText(withNul, sizeof withNul - 1), 1);
    EXPECT_EQ(table.GetString(6), nullptr);
    EXPECT_STREQ(table.GetString(7), "ok");
    EXPECT_EQ(table.LoadText(nullptr, 3), 0);
    EXPECT_EQ(table.LoadText(nullptr, 0), 1);
}

TEST(StringTable, SetAndRemove) {
    OBStringTable table;
    EXPECT_EQ(table.SetString(1, "one"), 1);
    EXPECT_EQ(table.SetString(1, "uno"), 1);
    EXPECT_EQ(table.SetString(2, "\xC3"), 0);
    EXPECT_EQ(table.SetString(3, nullptr), 0);
    EXPECT_EQ(table.GetStringCount(), 1);
    EXPECT_STREQ(table.GetString(1), "uno");
    EXPECT_EQ(table.RemoveString(1), 1);
    EXPECT_EQ(table.RemoveString(1), 0);
    ombra_test::SweepAllocationFailures([] {
        OBStringTable t;
        const char* long_ = "a text long enough to need its own block of memory";
        bool ok = true;
        for (unsigned id = 0; id < 20; ++id) {
            bool set = t.SetString(id, long_) == 1;
            EXPECT_EQ(set, t.GetString(id) != nullptr);
            if (set) {
                EXPECT_STREQ(t.GetString(id), long_);
            }
            ok = ok && set;
        }
        return ok;
    });
}

// Registers a table as the module for one test.
class RegisteredTable : public ombra_test::WithTextService {
protected:
    void SetUp() override {
        WithTextService::SetUp();
        handle_ = &table_;
        OBConnectionUtility::SetCurrentHandle(&handle_);
    }
    void TearDown() override {
        OBConnectionUtility::SetCurrentHandle(nullptr);
        COBString::OBSetSystemScript(WSE::kSystemScript);
        OBConvertorLumService::SetSystemCodePage(1252);
        WithTextService::TearDown();
    }
    std::string Load(unsigned id, int size = kOBResourceBufferSize) {
        std::vector<char> buffer(static_cast<std::size_t>(size) + 8, 'x');
        int n = OBLoadResourceString(id, buffer.data(), size);
        EXPECT_EQ(static_cast<std::size_t>(n), std::strlen(buffer.data()));
        EXPECT_EQ(buffer[static_cast<std::size_t>(size)], 'x'); // nothing beyond the buffer
        return std::string(buffer.data(), static_cast<std::size_t>(n));
    }
    OBStringTable table_;
    HINSTANCE handle_ = nullptr;
};

// How texts are loaded is the resource suite's; here, which id is asked:
// the base plus the locale, and entries counted from zero within the array.
TEST_F(RegisteredTable, PreferenceNamesComeByIdPlusLocale) {
    const unsigned ids[] = {2000, 2016, 2032};
    OBEnumPreference choice(COBString("A"), 1900, 3, OBEnumPreference::CopyEntryIds(ids, 3),
                            OBL::kEnglish);
    EXPECT_EQ(choice.GetNumberOfEnumerations(), 3);
    EXPECT_EQ(choice.GetNthEnumerationID(3), 0u);

    COBString text;
    table_.SetString(1002, "Formate behalten");
    OBBooleanPreference(0, 1000).GetMenuName(text, OBL::kGerman);
    EXPECT_STREQ(text.GrabCString(), "Formate behalten");
    table_.SetString(2000, "Unicode UTF8");
    table_.SetString(2033, "Standard (ja)");
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

TEST(ResourceModule, NothingIsRegisteredAtStart) {
    EXPECT_EQ(OBConnectionUtility::GetCurrentHandle(), nullptr);
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(OBLoadResourceString(1, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    COBString text("unchanged");
    EXPECT_EQ(OBLoadResourceText(1, OBL::kEnglish, text), 0);
    EXPECT_STREQ(text.GrabCString(), "unchanged");
}

TEST_F(RegisteredTable, LoadsLikeThePlatformStringLoader) {
    table_.SetString(1000, "Out of memory");
    EXPECT_EQ(Load(1000), "Out of memory");
    EXPECT_EQ(Load(1001), "");
    EXPECT_EQ(Load(1000, 4), "Out");
    EXPECT_EQ(Load(1000, 1), "");
    EXPECT_EQ(OBLoadResourceString(1000, nullptr, 10), 0);
    char untouched = 'q';
    EXPECT_EQ(OBLoadResourceString(1000, &untouched, 0), 0);
    EXPECT_EQ(untouched, 'q');
    // Long texts are cut at 1023 bytes, leaving out whole a character that
    // would straddle the end.
    const struct {
        std::size_t as;
        const char* tail;
        const char* kept;
    } rows[] = {
        {2000, "", ""}, {1022, "éb", ""}, {1021, "éb", "é"}, {1020, "😀", ""}, {1019, "😀z", "😀"}};
    for (const auto& row : rows) {
        table_.SetString(1, (std::string(row.as, 'a') + row.tail).c_str());
        EXPECT_EQ(Load(1), std::string(std::min<std::size_t>(row.as, 1023), 'a') + row.kept);
    }
}

TEST_F(RegisteredTable, TheHandleIsReadThroughThePointer) {
    table_.SetString(7, "first table");
    OBStringTable other;
    other.SetString(7, "second table");
    EXPECT_EQ(Load(7), "first table");
    handle_ = &other;
    EXPECT_EQ(Load(7), "second table");
    handle_ = nullptr;
    EXPECT_EQ(Load(7), "");
    COBString text("unchanged");
    EXPECT_EQ(OBLoadResourceText(7, OBL::kEnglish, text), 0);
    EXPECT_STREQ(text.GrabCString(), "unchanged");
}

// The script a display text arrives in: the system script when the system
// code page holds it, else the locale's script, else the first script that
// holds it, else the system script with what it can hold.
TEST_F(RegisteredTable, EachTextArrivesInAScriptThatHoldsIt) {
    for (const auto& f : ombra_test::ReadTable("text/strings.tsv", "display")) {
        std::string utf8 = ombra_test::BytesOf(f[0]), bytes = ombra_test::BytesOf(f[5]);
        auto locale = static_cast<OBL::LocaleIDEnum>(std::stoi(f[1]));
        SCOPED_TRACE(utf8);
        ASSERT_EQ(OBConvertorLumService::SetSystemCodePage(unsigned(std::stoul(f[2]))), 1);
        COBString::OBSetSystemScript(static_cast<WSE::WritingScriptEnum>(std::stoi(f[3])));
        table_.SetString(16 * 10 + locale, utf8.c_str());
        COBString text;
        EXPECT_EQ(OBLoadResourceText(16 * 10, OBL::kFrench, text), 1);
        EXPECT_EQ(text.Length(), 0) << "a locale without a text of its own";
        ASSERT_EQ(OBLoadResourceText(16 * 10, locale, text), 1);
        EXPECT_EQ(text.GetWSEScript(), std::stoi(f[4]));
        EXPECT_EQ(std::string(text.GrabCString()), bytes);
        // The text reads back as it was written, where a script holds it whole.
        WOBString written;
        OBStringUtils::ConvertUTF8ToUTF16String(utf8.c_str(), utf8.size(), written);
        if (bytes.find('?') == std::string::npos) {
            EXPECT_EQ(U16(text.GrabAsWString()), U16(written.GrabWString()));
        }
    }
}

TEST_F(RegisteredTable, TheLongestTextConvertsWhole) {
    // 341 three-byte characters fill 1023 bytes: all of them arrive.
    std::string utf8;
    for (int i = 0; i < 400; ++i)
        utf8 += "\xE3\x81\x82"; // あ
    table_.SetString(80, utf8.c_str());
    COBString text;
    ASSERT_EQ(OBLoadResourceText(80, OBL::kEnglish, text), 1);
    EXPECT_EQ(text.Length(), 2 * 341);
    EXPECT_EQ(U16(text.GrabAsWString()), std::u16string(341, u'\u3042'));
}

} // namespace
