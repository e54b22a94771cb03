// The preference list of writer 259: its layout against each look-up of the
// pump's text-writer adjustment, how the writer reads it back, and the
// display texts of the resource file beside the plug-in.
#include "TextWriterTestSupport.h"

#include <ombra/resources.h>
#include <ombra/valueutil.h>

#include <memory>

namespace {

using namespace textwriter_test;

OBPreference* Nth(OBPreferenceList* list, int n) {
    OBPreference* p = nullptr;
    list->GetNthPreference(n, &p);
    return p;
}

OBPreference* NthOfType(OBPreferenceList* list, int n, VT::ValueTypeEnum type) {
    OBPreference* p = nullptr;
    list->GetNthPreferenceOfType(n, type, &p);
    return p;
}

OBPreferenceList* Constituents(OBPreference* p) {
    OBPreferenceList* list = nullptr;
    if (auto* group = dynamic_cast<OBGroupPreference*>(p)) group->GetConstituentPreferenceList(&list);
    return list;
}

std::u16string Units(const WOBString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.GrabWString()),
                          static_cast<size_t>(s.Length()));
}

class WriterPreferences : public TextWriterTest {
protected:
    WriterPreferences() { OBTextWriterPreferences::Publish(&list_); }
    OBPreferenceList list_;
};

TEST_F(WriterPreferences, EveryLookUpOfThePumpFindsThePreferenceMeantForIt) {
    ASSERT_EQ(list_.GetNumberOfPreferences(), 5);
    auto resource = [](OBPreference* p) { return p ? p->GetResourceID() : 0u; };
    // Step 1: the 2nd Enumeration of the list is the platform, which holds "PC".
    auto* platform = dynamic_cast<OBEnumPreference*>(NthOfType(&list_, 2, VT::ekEnum));
    ASSERT_NE(platform, nullptr);
    EXPECT_EQ(platform, Nth(&list_, 1));
    EXPECT_EQ(platform->GetNumberOfEnumerations(), 3);
    EXPECT_STREQ(platform->GetDefaultValue().GrabCString(), "PC");
    // Step 2: index 3 is a Boolean, and not the group.
    OBPreference* ruby = Nth(&list_, 3);
    ASSERT_NE(dynamic_cast<OBBooleanPreference*>(ruby), nullptr);
    EXPECT_EQ(resource(ruby), OBTW::ResourceId(OBTW::kRubyName));
    // Step 3: index 0 is the encoding Enumeration.
    auto* encoding = dynamic_cast<OBEnumPreference*>(Nth(&list_, 0));
    ASSERT_NE(encoding, nullptr);
    EXPECT_EQ(encoding->GetNumberOfEnumerations(), 3);
    EXPECT_STREQ(encoding->GetDefaultValue().GrabCString(), "Default");
    // Step 4: index 2 is the group; steps 5 to 11 find their constituents.
    OBPreferenceList* g = Constituents(Nth(&list_, 2));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->GetNumberOfPreferences(), 7);
    EXPECT_EQ(resource(NthOfType(g, 1, VT::ekBool16)), OBTW::ResourceId(OBTW::kMarkStylesName));
    EXPECT_EQ(resource(NthOfType(g, 2, VT::ekBool16)), OBTW::ResourceId(OBTW::kMarkBreaksName));
    EXPECT_EQ(resource(NthOfType(g, 1, VT::ekString)), OBTW::ResourceId(OBTW::kStyleTemplateName));
    EXPECT_EQ(resource(NthOfType(g, 2, VT::ekString)), OBTW::ResourceId(OBTW::kBreakTextName));
    EXPECT_EQ(resource(NthOfType(g, 3, VT::ekBool16)), OBTW::ResourceId(OBTW::kIncludeHiddenName));
    EXPECT_EQ(resource(NthOfType(g, 1, VT::ekSignedInt32)), OBTW::ResourceId(OBTW::kWrapColumnName));
    auto* unit = dynamic_cast<OBEnumPreference*>(NthOfType(g, 1, VT::ekEnum));
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->GetNumberOfEnumerations(), 4);
    EXPECT_STREQ(unit->GetDefaultValue().GrabCString(), "Undefined");
    // The constituents in the order of the options record.
    VT::ValueTypeEnum expected[] = {VT::ekBool16, VT::ekString, VT::ekBool16, VT::ekString,
                                    VT::ekBool16, VT::ekSignedInt32, VT::ekEnum};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(Nth(g, i)->GetValueType(), expected[i]) << i;
    // The byte-order mark comes after everything the pump looks up.
    EXPECT_EQ(resource(Nth(&list_, 4)), OBTW::ResourceId(OBTW::kByteOrderMarkName));
    EXPECT_EQ(list_.GetNumberOfEnumerationPreferences(), 2);
}

TEST_F(WriterPreferences, TheListReadsBackAsTheDefaultsUntilChanged) {
    OBTextWriterOptions options = OBTextWriterPreferences::FromPreferences(&list_);
    EXPECT_EQ(options.encoding, OBTW::kDefaultEncoding);
    EXPECT_EQ(options.platform, OBTW::kPC);
    EXPECT_FALSE(options.markStyles);
    EXPECT_EQ(Units(options.styleTemplate), u"[%s] ");
    EXPECT_FALSE(options.markBreaks);
    EXPECT_EQ(Units(options.breakText), u"\f");
    EXPECT_FALSE(options.includeHidden);
    EXPECT_EQ(options.wrapColumn, 0);
    EXPECT_FALSE(options.reportGeometry);
    EXPECT_FALSE(options.rubyReadings) << "a Boolean's current value starts at 0";
    EXPECT_FALSE(options.utf8ByteOrderMark);
}

TEST_F(WriterPreferences, EachSettingReadsBackFromWhereThePumpSetsIt) {
    static_cast<OBEnumPreference*>(Nth(&list_, 0))->SetCurrentValue(COBString("unicode utf16"));
    static_cast<OBEnumPreference*>(Nth(&list_, 1))->SetCurrentValue(COBString("Unix"));
    OBPreferenceList* g = Constituents(Nth(&list_, 2));
    static_cast<OBBooleanPreference*>(NthOfType(g, 1, VT::ekBool16))->SetCurrentValue(short(1));
    static_cast<OBBooleanPreference*>(NthOfType(g, 2, VT::ekBool16))->SetCurrentValue(short(1));
    static_cast<OBBooleanPreference*>(NthOfType(g, 3, VT::ekBool16))->SetCurrentValue(short(1));
    // A host on this platform hands UTF-8 over as 8-bit text.
    static_cast<OBStringPreference*>(NthOfType(g, 1, VT::ekString))
        ->SetCurrentValue(COBString("«%s»\\t"));
    static_cast<OBStringPreference*>(NthOfType(g, 2, VT::ekString))->SetCurrentValue(COBString(""));
    static_cast<OBIntegerPreference*>(NthOfType(g, 1, VT::ekSignedInt32))->SetCurrentValue(40);
    static_cast<OBEnumPreference*>(NthOfType(g, 1, VT::ekEnum))->SetCurrentValue(COBString("Twips"));
    static_cast<OBBooleanPreference*>(Nth(&list_, 3))->SetCurrentValue(short(1));
    static_cast<OBBooleanPreference*>(Nth(&list_, 4))->SetCurrentValue(short(1));

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
    static_cast<OBStringPreference*>(NthOfType(g, 1, VT::ekString))
        ->SetCurrentValue(COBString("\xAB%s\xBB", WSE::kRomanScript));
    EXPECT_EQ(Units(OBTextWriterPreferences::FromPreferences(&list_).styleTemplate), u"«%s»");
    // Unknown entries and negative columns fall back.
    static_cast<OBEnumPreference*>(Nth(&list_, 0))->SetCurrentValue(COBString("EBCDIC"));
    static_cast<OBEnumPreference*>(NthOfType(g, 1, VT::ekEnum))->SetCurrentValue(COBString("Undefined"));
    static_cast<OBIntegerPreference*>(NthOfType(g, 1, VT::ekSignedInt32))->SetCurrentValue(-3);
    options = OBTextWriterPreferences::FromPreferences(&list_);
    EXPECT_EQ(options.encoding, OBTW::kDefaultEncoding);
    EXPECT_FALSE(options.reportGeometry);
    EXPECT_EQ(options.wrapColumn, 0);
}

TEST_F(WriterPreferences, ListsOfAnotherShapeGiveTheDefaults) {
    EXPECT_EQ(OBTextWriterPreferences::FromPreferences(nullptr).encoding, OBTW::kDefaultEncoding);
    OBPreferenceList odd;
    for (int i = 0; i < 6; ++i) odd.Add(new OBIntegerPreference(7, 100 + i));
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

    static std::string Utf8Of(const COBString& text) {
        const unsigned short* units = text.GrabWString();
        std::u16string u;
        for (; units && *units; ++units) u.push_back(static_cast<char16_t>(*units));
        return ombra_test::Utf8(u);
    }
    std::string Name(OBPreference* p, OBL::LocaleIDEnum locale) {
        COBString name;
        p->GetMenuName(name, locale);
        return Utf8Of(name);
    }
    std::string Entry(OBPreference* p, int n, OBL::LocaleIDEnum locale) {
        COBString text;
        static_cast<OBEnumPreference*>(p)->GetNthEnumerationString(n, text, locale);
        return Utf8Of(text);
    }

    OBStringTable table_;
    HINSTANCE handle_;
    short loaded_ = 0;
};

TEST_F(DisplayTexts, EveryPreferenceAndEntryHasAnEnglishAndAJapaneseText) {
    ASSERT_EQ(loaded_, 1);
    EXPECT_EQ(table_.GetProblemCount(), 0);
    std::vector<OBPreference*> all;
    for (int i = 0; i < list_.GetNumberOfPreferences(); ++i) all.push_back(Nth(&list_, i));
    OBPreferenceList* g = Constituents(Nth(&list_, 2));
    for (int i = 0; i < g->GetNumberOfPreferences(); ++i) all.push_back(Nth(g, i));
    for (OBPreference* p : all) {
        for (OBL::LocaleIDEnum locale : {OBL::kEnglish, OBL::kJapanese}) {
            EXPECT_FALSE(Name(p, locale).empty()) << p->GetResourceID() << " in " << locale;
            if (auto* e = dynamic_cast<OBEnumPreference*>(p)) {
                for (int n = 0; n < e->GetNumberOfEnumerations(); ++n)
                    EXPECT_FALSE(Entry(p, n, locale).empty()) << p->GetResourceID() << "/" << n;
            }
        }
    }
    EXPECT_EQ(Name(Nth(&list_, 0), OBL::kEnglish), "Text encoding");
    EXPECT_EQ(Name(Nth(&list_, 0), OBL::kJapanese), "文字コード");
    EXPECT_EQ(Entry(Nth(&list_, 0), 1, OBL::kEnglish), "Unicode UTF8");
    EXPECT_EQ(Entry(NthOfType(g, 1, VT::ekEnum), 0, OBL::kJapanese), "インチ");
    // The English entry texts are the values the pump sets.
    const char* const units[] = {"Inches", "Points", "Twips", "Undefined"};
    for (int n = 0; n < 4; ++n) EXPECT_EQ(Entry(NthOfType(g, 1, VT::ekEnum), n, OBL::kEnglish), units[n]);
}

TEST_F(DisplayTexts, AnEntryChosenByItsDisplayTextInTheListsLocaleIsUnderstood) {
    LocaleUtil::SetCurrentLocale(OBL::kJapanese);
    OBPreferenceList japanese;
    OBTextWriterPreferences::Publish(&japanese);
    LocaleUtil::SetCurrentLocale(OBL::kEnglish);
    OBPreferenceList* g = Constituents(Nth(&japanese, 2));
    COBString points;
    static_cast<OBEnumPreference*>(NthOfType(g, 1, VT::ekEnum))->GetNthEnumerationString(1, points, OBL::kJapanese);
    static_cast<OBEnumPreference*>(NthOfType(g, 1, VT::ekEnum))->SetCurrentValue(points);
    OBTextWriterOptions options = OBTextWriterPreferences::FromPreferences(&japanese);
    EXPECT_TRUE(options.reportGeometry);
    EXPECT_EQ(options.geometryUnit, UNITS::LINEAR::kPoints);
}

} // namespace
