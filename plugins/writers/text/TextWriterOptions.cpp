#include "TextWriterOptions.h"

#include "WriterSettings.h"

#include <ombra/memory.h>
#include <ombra/scripts.h>
#include <ombra/utf8.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>

namespace {

// The texts of the enumeration entries, in entry order. They are the values
// the pump sets, so they stay in English whatever the display locale.
const char* const kEncodingTexts[] = {"Default", "Unicode UTF8", "Unicode UTF16", "Code page"};
const char* const kPlatformTexts[] = {"PC", "Mac", "Unix"};
const char* const kUnitTexts[] = {"Inches", "Points", "Twips", "Undefined"};
const char* const kLineEndTexts[] = {"Platform", "LF", "CR LF", "CR"};

const char kDefaultStyleTemplate[] = "[%s] ";
const char kDefaultBreakText[] = "\\f";

// Entries from firstEntry on; an entry past lastInRow comes from extraEntry.
OBEnumPreference* NewEnumeration(const char* defaultText, unsigned nameBlock, unsigned firstEntry,
                                 int count, int lastInRow = 4, unsigned extraEntry = 0) {
    unsigned ids[4] = {};
    for (int i = 0; i < count && i < 4; ++i)
        ids[i] = OBTW::ResourceId(i < lastInRow ? firstEntry + i : extraEntry);
    unsigned* entries = OBEnumPreference::CopyEntryIds(ids, count);
    if (!entries) return nullptr;
    auto* preference =
        new OBEnumPreference(COBString(defaultText, WSE::kRomanScript), OBTW::ResourceId(nameBlock),
                             count, entries, LocaleUtil::GetCurrentLocale());
    if (!preference) OBLibFree(entries);
    return preference;
}

OBStringPreference* NewString(const char* defaultText, unsigned nameBlock) {
    return new OBStringPreference(COBString(defaultText, WSE::kRomanScript),
                                  OBTW::ResourceId(nameBlock));
}

using obpref::IsUtf8;
using obpref::ReadBool;
using obpref::ReadChoice;
using obpref::ReadInt;

// A template as UTF-16. Hosts hand their texts over as 8-bit strings; on
// this platform that is UTF-8, which is taken as such whenever the bytes
// are well-formed UTF-8, and read in the string's script otherwise.
void TemplateText(const IOBString* text, WOBString& out) {
    out.Clear();
    if (!text) return;
    if (text->IsUnicode()) {
        out.SetXString(text->GrabWString(), text->Length());
        return;
    }
    const char* bytes = text->GrabCString();
    long long n = text->Length();
    if (IsUtf8(reinterpret_cast<const unsigned char*>(bytes), n)) {
        OBStringUtils::ConvertUTF8ToUTF16String(bytes, static_cast<unsigned long long>(n), out);
    } else {
        auto* narrow = static_cast<const COBString*>(text);
        out.AppendTranslate(bytes, n, narrow->GetWSEScript());
    }
}

// A String preference's current text, escapes replaced, into out. A
// preference set to an empty text gives an empty template; one never set
// leaves out as it is.
void ReadTemplate(OBPreference* p, WOBString& out) {
    if (!p || p->GetValueType() != VT::ekString) return;
    Value* value = nullptr;
    p->GetCurrentValue(value);
    if (auto* s = dynamic_cast<ValueString*>(value)) {
        TemplateText(s->GetPtr(), out);
        OBTextWriterPreferences::Unescape(out);
    }
    ValueUtil::Recycle(value);
}

} // namespace

OBTextWriterOptions::OBTextWriterOptions() {
    OBStringUtils::ConvertUTF8ToUTF16String(kDefaultStyleTemplate, sizeof kDefaultStyleTemplate - 1,
                                            styleTemplate);
    OBStringUtils::ConvertUTF8ToUTF16String(kDefaultBreakText, sizeof kDefaultBreakText - 1,
                                            breakText);
    OBTextWriterPreferences::Unescape(breakText);
}

void OBTextWriterPreferences::Publish(OBPreferenceList* list) {
    if (!list) return;
    list->Add(NewEnumeration(kEncodingTexts[0], OBTW::kEncodingName, OBTW::kEncodingEntries, 4, 3,
                             OBTW::kCodePageEntry));
    list->Add(NewEnumeration(kPlatformTexts[0], OBTW::kPlatformName, OBTW::kPlatformEntries, 3));

    auto* group = new OBGroupPreference(OBTW::ResourceId(OBTW::kOptionsName), 1);
    auto* options = group ? new OBPreferenceList : nullptr;
    if (options) {
        options->Add(new OBBooleanPreference(0, OBTW::ResourceId(OBTW::kMarkStylesName)));
        options->Add(NewString(kDefaultStyleTemplate, OBTW::kStyleTemplateName));
        options->Add(new OBBooleanPreference(0, OBTW::ResourceId(OBTW::kMarkBreaksName)));
        options->Add(NewString(kDefaultBreakText, OBTW::kBreakTextName));
        options->Add(new OBBooleanPreference(0, OBTW::ResourceId(OBTW::kIncludeHiddenName)));
        auto* wrap = new OBIntegerPreference(0, OBTW::ResourceId(OBTW::kWrapColumnName));
        if (wrap) wrap->SetMaximumValue(10000);
        options->Add(wrap);
        options->Add(NewEnumeration(kUnitTexts[3], OBTW::kUnitName, OBTW::kUnitEntries, 4));
        group->SetConstituentPreferenceList(options);
    }
    list->Add(group);

    list->Add(new OBBooleanPreference(1, OBTW::ResourceId(OBTW::kRubyName)));
    list->Add(new OBBooleanPreference(0, OBTW::ResourceId(OBTW::kByteOrderMarkName)));
    list->Add(NewEnumeration(kLineEndTexts[0], OBTW::kLineEndName, OBTW::kLineEndEntries, 4));
    list->Add(new OBBooleanPreference(0, OBTW::ResourceId(OBTW::kSqueezeName)));
    auto* codePage = new OBIntegerPreference(1252, OBTW::ResourceId(OBTW::kCodePageName));
    if (codePage) {
        codePage->SetCurrentValue(1252);
        codePage->SetMinimumValue(1);
        codePage->SetMaximumValue(65535);
    }
    list->Add(codePage);
    list->Add(new OBBooleanPreference(0, OBTW::ResourceId(OBTW::kDocumentInfoName)));
}

OBTextWriterOptions OBTextWriterPreferences::FromPreferences(OBPreferenceList* list) {
    OBTextWriterOptions options;
    if (!list) return options;
    OBPreference* p = nullptr;

    // The same look-ups as the pump's, so each setting is read where it was set.
    using namespace OBPUMP;
    list->GetNthPreference(kEncoding, &p);
    static const OBTW::EncodingEnum kEncodings[] = {OBTW::kDefaultEncoding, OBTW::kUTF8,
                                                    OBTW::kUTF16, OBTW::kCodePage};
    options.encoding = kEncodings[ReadChoice(p, kEncodingTexts, 4, 0)];

    list->GetNthPreferenceOfType(kPlatformNth, VT::ekEnum, &p);
    static const OBTW::PlatformEnum kPlatforms[] = {OBTW::kPC, OBTW::kMac, OBTW::kUnix};
    options.platform = kPlatforms[ReadChoice(p, kPlatformTexts, 3, 0)];

    list->GetNthPreference(kOptionsGroup, &p);
    OBPreferenceList* group = nullptr;
    if (auto* g = dynamic_cast<OBGroupPreference*>(p)) g->GetConstituentPreferenceList(&group);
    if (group) {
        group->GetNthPreferenceOfType(kGroupFlag1Nth, VT::ekBool16, &p);
        ReadBool(p, options.markStyles);
        group->GetNthPreferenceOfType(kGroupFlag2Nth, VT::ekBool16, &p);
        ReadBool(p, options.markBreaks);
        group->GetNthPreferenceOfType(kGroupFlag3Nth, VT::ekBool16, &p);
        ReadBool(p, options.includeHidden);

        group->GetNthPreferenceOfType(kGroupText1Nth, VT::ekString, &p);
        ReadTemplate(p, options.styleTemplate);
        group->GetNthPreferenceOfType(kGroupText2Nth, VT::ekString, &p);
        ReadTemplate(p, options.breakText);

        group->GetNthPreferenceOfType(kGroupNumberNth, VT::ekSignedInt32, &p);
        int column = 0;
        if (ReadInt(p, column)) options.wrapColumn = column > 0 ? column : 0;

        group->GetNthPreferenceOfType(kUnitNth, VT::ekEnum, &p);
        static const UNITS::LINEAR::UnitEnum kUnits[] = {
            UNITS::LINEAR::kInches, UNITS::LINEAR::kPoints, UNITS::LINEAR::kTwips};
        int unit = ReadChoice(p, kUnitTexts, 4, 3);
        options.reportGeometry = unit < 3;
        if (unit < 3) options.geometryUnit = kUnits[unit];
    }

    list->GetNthPreference(kWriterSwitch, &p);
    ReadBool(p, options.rubyReadings);
    list->GetNthPreference(4, &p);
    if (!dynamic_cast<OBGroupPreference*>(p)) ReadBool(p, options.utf8ByteOrderMark);
    list->GetNthPreference(kLineEnds, &p);
    static const OBTW::LineEndEnum kLineEnds[] = {OBTW::kPlatformLineEnd, OBTW::kLF, OBTW::kCRLF,
                                                  OBTW::kCR};
    options.lineEnd = kLineEnds[ReadChoice(p, kLineEndTexts, 4, 0)];
    list->GetNthPreference(6, &p);
    ReadBool(p, options.squeezeBlankLines);
    list->GetNthPreference(7, &p);
    int codePage = 0;
    if (ReadInt(p, codePage) && codePage > 0) options.codePage = static_cast<unsigned>(codePage);
    list->GetNthPreference(8, &p);
    if (!dynamic_cast<OBGroupPreference*>(p)) ReadBool(p, options.documentInfo);
    return options;
}

void OBTextWriterPreferences::Unescape(WOBString& text) {
    long long n = text.Length();
    const unsigned short* units = text.GrabWString();
    bool escaped = false;
    for (long long i = 0; i < n && !escaped; ++i)
        escaped = units[i] == '\\';
    if (!escaped) return;
    WOBString out;
    for (long long i = 0; i < n; ++i) {
        unsigned short u = units[i];
        if (u == '\\' && i + 1 < n) {
            unsigned short next = units[i + 1];
            unsigned short replaced = next == 'n'    ? 0x0A
                                      : next == 't'  ? 0x09
                                      : next == 'f'  ? 0x0C
                                      : next == '\\' ? '\\'
                                                     : 0;
            if (replaced) {
                out.Append(replaced);
                ++i;
                continue;
            }
        }
        out.Append(u);
    }
    text = out;
}
