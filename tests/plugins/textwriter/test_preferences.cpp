// The preference list of writer 259: how the writer reads it back (settings
// the pump never makes included), and the display texts of the resource
// file beside the plug-in.
#include "TextWriterTestSupport.h"

#include <ombra/resources.h>
#include <ombra/valueutil.h>

namespace {

using namespace textwriter_test;

OBPreference* Nth(OBPreferenceList* list, int n) {
    OBPreference* p = nullptr;
    list->GetNthPreference(n, &p);
    return p;
}

OBPreferenceList* Constituents(OBPreference* p) {
    OBPreferenceList* list = nullptr;
    if (auto* group = dynamic_cast<OBGroupPreference*>(p))
        group->GetConstituentPreferenceList(&list);
    return list;
}

template <class T> T* As(OBPreference* p) {
    T* typed = dynamic_cast<T*>(p);
    EXPECT_NE(typed, nullptr);
    return typed;
}

// Every unit of UTF-16 text, a NUL inside it too.
std::u16string Units(const IOBString& s) {
    const unsigned short* units = s.GrabWString();
    std::size_t n = s.IsUnicode() ? static_cast<std::size_t>(s.Length()) : 0;
    while (!s.IsUnicode() && units[n])
        ++n;
    return std::u16string(units, units + n);
}

class WriterPreferences : public TextWriterTest {
protected:
    WriterPreferences() {
        OBTextWriterPreferences::Publish(&list_);
        group_ = Constituents(Nth(&list_, 2));
    }
    OBPreferenceList list_;
    OBPreferenceList* group_;
};

// Where each setting stands is what the pump's look-ups find: their effects
// are ThroughThePump.EverySettingOfTheOptionsRecordReachesTheWriter's (the
// line ends at index 5: ConvertApi's), the entries DisplayTexts'.
TEST_F(WriterPreferences, EachSettingReadsBackFromWhereThePumpSetsIt) {
    OBTextWriterOptions defaults = OBTextWriterPreferences::FromPreferences(&list_);
    EXPECT_EQ(Units(defaults.styleTemplate), u"[%s] ");
    EXPECT_EQ(Units(defaults.breakText), u"\f");
    EXPECT_EQ(Units(OBTextWriterPreferences::FromPreferences(nullptr).breakText), u"\f");
    EXPECT_FALSE(defaults.rubyReadings) << "a Boolean's current value starts at 0";

    As<OBEnumPreference>(Nth(&list_, 0))->SetCurrentValue(COBString("unicode utf16"));
    As<OBEnumPreference>(Nth(&list_, 1))->SetCurrentValue(COBString("Unix"));
    for (int i : {0, 2, 4})
        As<OBBooleanPreference>(Nth(group_, i))->SetCurrentValue(short(1));
    // A host on this platform hands UTF-8 over as 8-bit text.
    As<OBStringPreference>(Nth(group_, 1))->SetCurrentValue(COBString("«%s»\\t"));
    As<OBStringPreference>(Nth(group_, 3))->SetCurrentValue(COBString(""));
    As<OBIntegerPreference>(Nth(group_, 5))->SetCurrentValue(40);
    As<OBEnumPreference>(Nth(group_, 6))->SetCurrentValue(COBString("Twips"));
    As<OBBooleanPreference>(Nth(&list_, 3))->SetCurrentValue(short(1));
    As<OBBooleanPreference>(Nth(&list_, 4))->SetCurrentValue(short(1));

    OBTextWriterOptions options = OBTextWriterPreferences::FromPreferences(&list_);
    EXPECT_EQ(options.encoding, OBTW::kUTF16) << "entries match without regard to case";
    EXPECT_EQ(options.platform, OBTW::kUnix);
    EXPECT_TRUE(options.markStyles);
    EXPECT_EQ(Units(options.styleTemplate), u"«%s»\t");
    EXPECT_TRUE(options.markBreaks);
    EXPECT_EQ(Units(options.breakText), u"") << "set to nothing is an empty break text";
    EXPECT_TRUE(options.includeHidden);
    EXPECT_EQ(options.wrapColumn, 40);
    EXPECT_TRUE(options.reportGeometry);
    EXPECT_EQ(options.geometryUnit, UNITS::LINEAR::kTwips);
    EXPECT_TRUE(options.rubyReadings);
    EXPECT_TRUE(options.utf8ByteOrderMark);

    // An 8-bit template that is not UTF-8 is read in its script.
    As<OBStringPreference>(Nth(group_, 1))
        ->SetCurrentValue(COBString("\xAB%s\xBB", WSE::kRomanScript));
    EXPECT_EQ(Units(OBTextWriterPreferences::FromPreferences(&list_).styleTemplate), u"«%s»");
    // Unknown entries and negative columns fall back.
    As<OBEnumPreference>(Nth(&list_, 0))->SetCurrentValue(COBString("EBCDIC"));
    As<OBEnumPreference>(Nth(group_, 6))->SetCurrentValue(COBString("Undefined"));
    As<OBIntegerPreference>(Nth(group_, 5))->SetCurrentValue(-3);
    options = OBTextWriterPreferences::FromPreferences(&list_);
    EXPECT_EQ(options.encoding, OBTW::kDefaultEncoding);
    EXPECT_FALSE(options.reportGeometry);
    EXPECT_EQ(options.wrapColumn, 0);
    // The break text and the templates read escapes.
    WOBString text;
    OBStringUtils::ConvertUTF8ToUTF16String("a\\nb\\tc\\fd\\\\e\\x", 15, text);
    OBTextWriterPreferences::Unescape(text);
    EXPECT_EQ(Units(text), u"a\nb\tc\fd\\e\\x");
}

TEST_F(WriterPreferences, ListsOfAnotherShapeGiveTheDefaults) {
    EXPECT_EQ(OBTextWriterPreferences::FromPreferences(nullptr).encoding, OBTW::kDefaultEncoding);
    OBPreferenceList odd;
    for (int i = 0; i < 6; ++i)
        odd.Add(new OBIntegerPreference(7, 100 + i));
    OBGroupPreference* group = new OBGroupPreference(200);
    group->SetConstituentPreferenceList(new OBPreferenceList); // an empty group at index 6
    odd.Add(group);
    OBTextWriterOptions options = OBTextWriterPreferences::FromPreferences(&odd);
    EXPECT_EQ(options.encoding, OBTW::kDefaultEncoding);
    EXPECT_EQ(options.platform, OBTW::kPC);
    EXPECT_EQ(options.wrapColumn, 0);
    EXPECT_TRUE(options.rubyReadings) << "no Boolean at index 3: the default holds";
}

// ---- display texts -----------------------------------------------------------------

class DisplayTexts : public WriterPreferences {
protected:
    DisplayTexts() : handle_(&table_) {
        loaded_ = table_.LoadFile(OMBRA_TEXT_STRINGS);
        OBConnectionUtility::SetCurrentHandle(&handle_);
    }
    ~DisplayTexts() override { OBConnectionUtility::SetCurrentHandle(nullptr); }

    std::string Name(OBPreference* p, OBL::LocaleIDEnum locale) {
        COBString name;
        p->GetMenuName(name, locale);
        return Utf8(Units(name));
    }
    std::string Entry(OBPreference* p, int n, OBL::LocaleIDEnum locale) {
        COBString text;
        static_cast<OBEnumPreference*>(p)->GetNthEnumerationString(n, text, locale);
        return Utf8(Units(text));
    }

    OBStringTable table_;
    HINSTANCE handle_;
    short loaded_ = 0;
};

TEST_F(DisplayTexts, EveryPreferenceAndEntryHasAnEnglishAndAJapaneseText) {
    ASSERT_EQ(loaded_, 1);
    EXPECT_EQ(table_.GetProblemCount(), 0);
    std::vector<OBPreference*> all;
    for (int i = 0; i < list_.GetNumberOfPreferences(); ++i)
        all.push_back(Nth(&list_, i));
    for (int i = 0; i < group_->GetNumberOfPreferences(); ++i)
        all.push_back(Nth(group_, i));
    for (OBPreference* p : all)
        for (OBL::LocaleIDEnum locale : {OBL::kEnglish, OBL::kJapanese}) {
            EXPECT_FALSE(Name(p, locale).empty()) << p->GetResourceID() << " in " << locale;
            auto* e = dynamic_cast<OBEnumPreference*>(p);
            for (int n = 0; e && n < e->GetNumberOfEnumerations(); ++n)
                EXPECT_FALSE(Entry(p, n, locale).empty()) << p->GetResourceID() << "/" << n;
        }
    EXPECT_EQ(Name(Nth(&list_, 0), OBL::kEnglish), "Text encoding");
    EXPECT_EQ(Name(Nth(&list_, 0), OBL::kJapanese), "文字コード");
    EXPECT_EQ(Entry(Nth(&list_, 0), 1, OBL::kEnglish), "Unicode UTF8");
    // The English entry texts are the values the pump sets.
    const char* const units[] = {"Inches", "Points", "Twips", "Undefined"};
    for (int n = 0; n < 4; ++n)
        EXPECT_EQ(Entry(Nth(group_, 6), n, OBL::kEnglish), units[n]);
    EXPECT_EQ(Entry(Nth(group_, 6), 0, OBL::kJapanese), "インチ");
}

TEST_F(DisplayTexts, AnEntryChosenByItsDisplayTextInTheListsLocaleIsUnderstood) {
    LocaleUtil::SetCurrentLocale(OBL::kJapanese);
    OBPreferenceList japanese;
    OBTextWriterPreferences::Publish(&japanese);
    LocaleUtil::SetCurrentLocale(OBL::kEnglish);
    auto* unit = As<OBEnumPreference>(Nth(Constituents(Nth(&japanese, 2)), 6));
    COBString points;
    unit->GetNthEnumerationString(1, points, OBL::kJapanese);
    unit->SetCurrentValue(points);
    OBTextWriterOptions options = OBTextWriterPreferences::FromPreferences(&japanese);
    EXPECT_TRUE(options.reportGeometry);
    EXPECT_EQ(options.geometryUnit, UNITS::LINEAR::kPoints);
}

} // namespace
