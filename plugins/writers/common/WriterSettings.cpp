#include "WriterSettings.h"

#include <ombra/memory.h>
#include <ombra/messages.h>
#include <ombra/scripts.h>
#include <ombra/utf8.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>

namespace obpref {

bool ReadBool(OBPreference* p, bool& out) {
    if (!p || p->GetValueType() != VT::ekBool16) return false;
    ::Value* value = nullptr;
    p->GetCurrentValue(value);
    auto* flag = dynamic_cast<ValueBool16*>(value);
    bool ok = flag != nullptr;
    if (flag) {
        short v = 0;
        flag->Get(v);
        out = v == 1;
    }
    ValueUtil::Recycle(value);
    return ok;
}

bool ReadInt(OBPreference* p, int& out) {
    if (!p || p->GetValueType() != VT::ekSignedInt32) return false;
    ::Value* value = nullptr;
    p->GetCurrentValue(value);
    auto* number = dynamic_cast<ValueInteger32*>(value);
    if (number) number->Get(out);
    ValueUtil::Recycle(value);
    return number != nullptr;
}

IOBString* ReadText(OBPreference* p, VT::ValueTypeEnum type, bool useDefault) {
    if (!p || p->GetValueType() != type) return nullptr;
    ::Value* value = nullptr;
    if (useDefault)
        p->GetDefaultValue(value);
    else
        p->GetCurrentValue(value);
    IOBString* text = nullptr;
    if (auto* s = dynamic_cast<ValueString*>(value))
        if (s->GetPtr() && !s->GetPtr()->IsNull()) text = s->GetPtr()->Clone();
    ValueUtil::Recycle(value);
    return text;
}

namespace {
bool SameText(const IOBString& a, const char* b) {
    return !a.IsUnicode() && OBStrcasecmp(a.GrabCString(), b) == 0;
}
} // namespace

int ReadChoice(OBPreference* p, const char* const* texts, int count, int fallback) {
    IOBString* text = ReadText(p, VT::ekEnum, false);
    if (!text) text = ReadText(p, VT::ekEnum, true);
    if (!text) return fallback;
    int choice = -1;
    for (int i = 0; i < count && choice < 0; ++i)
        if (SameText(*text, texts[i])) choice = i;
    if (auto* e = dynamic_cast<OBEnumPreference*>(p)) {
        for (int i = 0; i < count && i < e->GetNumberOfEnumerations() && choice < 0; ++i) {
            COBString display;
            e->GetNthEnumerationString(i, display, e->GetLocale());
            if (!display.IsNull() && !text->IsUnicode() &&
                OBStrcasecmp(display.GrabCString(), text->GrabCString()) == 0)
                choice = i;
        }
    }
    delete text;
    return choice >= 0 ? choice : fallback;
}

bool IsUtf8(const unsigned char* s, long long n) {
    long long i = 0;
    while (i < n) {
        unsigned char c = s[i];
        int more;
        if (c < 0x80)
            more = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            more = 1;
        else if ((c & 0xF0) == 0xE0)
            more = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            more = 3;
        else
            return false;
        if (more > n - i - 1) return false;
        for (int k = 1; k <= more; ++k)
            if ((s[i + k] & 0xC0) != 0x80) return false;
        i += more + 1;
    }
    return true;
}

void TextToUtf8(const IOBString* text, obwalk::Utf8Text& out) {
    if (!text) return;
    if (text->IsUnicode()) {
        out.AppendUtf16(text->GrabWString(), text->Length());
        return;
    }
    const char* bytes = text->GrabCString();
    long long n = text->Length();
    if (IsUtf8(reinterpret_cast<const unsigned char*>(bytes), n)) {
        out.Append(bytes, n);
        return;
    }
    WOBString wide;
    wide.AppendTranslate(bytes, n, static_cast<const COBString*>(text)->GetWSEScript());
    out.AppendUtf16(wide.GrabWString(), wide.Length());
}

// ---- settings tables --------------------------------------------------------------

int Settings::Count() const {
    int n = 0;
    for (int r = 0; r < count_; ++r)
        n += rows_[r].kind != 'E';
    return n;
}

void Settings::Publish(OBPreferenceList* list) const {
    if (!list) return;
    for (int r = 0; r < count_; ++r) {
        const Row& row = rows_[r];
        unsigned id = OBWriterResourceBase(writer_) + kOBLocaleBlock * static_cast<unsigned>(r);
        OBPreference* preference = nullptr;
        if (row.kind == 'B') {
            auto* flag = new OBBooleanPreference(static_cast<short>(row.number), id);
            if (flag) flag->SetCurrentValue(static_cast<short>(row.number));
            preference = flag;
        } else if (row.kind == 'T') {
            preference = new OBStringPreference(COBString(row.text, WSE::kRomanScript), id);
        } else if (row.kind == 'C') {
            unsigned ids[64];
            int entries = 0;
            for (int e = r + 1; e < count_ && rows_[e].kind == 'E' && entries < 64; ++e)
                ids[entries++] =
                    OBWriterResourceBase(writer_) + kOBLocaleBlock * static_cast<unsigned>(e);
            unsigned* copy = OBEnumPreference::CopyEntryIds(ids, entries);
            preference = copy ? new OBEnumPreference(COBString(row.text, WSE::kRomanScript), id,
                                                     entries, copy, LocaleUtil::GetCurrentLocale())
                              : nullptr;
            if (!preference) OBLibFree(copy);
        }
        if (preference) list->Add(preference);
    }
}

void Settings::Read(OBPreferenceList* list, Value* values) const {
    int setting = 0;
    for (int r = 0; r < count_; ++r) {
        const Row& row = rows_[r];
        if (row.kind == 'E') continue;
        Value& value = values[setting];
        OBPreference* p = nullptr;
        if (list) list->GetNthPreference(setting, &p);
        ++setting;
        if (row.kind == 'B') {
            value.flag = row.number != 0;
            ReadBool(p, value.flag);
        } else if (row.kind == 'T') {
            // A text never set means the default; one set empty is empty.
            value.text.Clear();
            ::Value* current = nullptr;
            if (p && p->GetValueType() == VT::ekString) p->GetCurrentValue(current);
            auto* string = dynamic_cast<ValueString*>(current);
            if (string && string->GetPtr())
                TextToUtf8(string->GetPtr(), value.text);
            else
                value.text.Append(row.text);
            ValueUtil::Recycle(current);
        } else {
            const char* texts[64];
            int entries = 0;
            int fallback = 0;
            for (int e = r + 1; e < count_ && rows_[e].kind == 'E' && entries < 64; ++e) {
                if (OBStrcasecmp(rows_[e].text, row.text) == 0) fallback = entries;
                texts[entries++] = rows_[e].text;
            }
            value.choice = ReadChoice(p, texts, entries, fallback);
        }
    }
}

} // namespace obpref
