// A text writer for the host's suites (writer id 259): it publishes the
// preference layout that the core fills from the host's options record and
// writes, at the end of each conversion, the values it received and the
// number of Elements, one "name=value" line each.
#include <ombra/memory.h>
#include <ombra/plugin.h>

#include <string>

namespace {

OBEnumPreference* NewEnumeration(const char* defaultText, unsigned id, int entries) {
    unsigned ids[8];
    for (int i = 0; i < entries; ++i) ids[i] = id + 16 * (i + 1);
    return new OBEnumPreference(COBString(defaultText), id, entries,
                                OBEnumPreference::CopyEntryIds(ids, entries), OBL::kEnglish);
}

std::string Text(OBPreference* p) {
    if (auto* b = dynamic_cast<OBBooleanPreference*>(p)) return std::to_string(b->GetCurrentValue());
    if (auto* i = dynamic_cast<OBIntegerPreference*>(p)) return std::to_string(i->GetCurrentValue());
    if (auto* s = dynamic_cast<OBStringPreference*>(p)) {
        const IOBString* text = s->GetCurrentString();
        return text ? std::string(text->GrabCString()) : "<absent>";
    }
    if (auto* e = dynamic_cast<OBEnumPreference*>(p)) return e->GetCurrentValue().GrabCString();
    return "?";
}

class PrefsWriter : public OBWriter {
public:
    PrefsWriter() { SetWriterID(259); }

    void GetStreamPrefs(OBStream*, OBPreferenceList* list) override {
        if (!list) return;
        list->Add(NewEnumeration("Default", 9000, 3));
        list->Add(new OBIntegerPreference(0, 9016));
        OBGroupPreference* group = new OBGroupPreference(9032);
        OBPreferenceList* options = new OBPreferenceList;
        options->Add(new OBBooleanPreference(0, 9048));
        options->Add(new OBBooleanPreference(0, 9064));
        options->Add(new OBStringPreference(COBString(""), 9080));
        options->Add(new OBStringPreference(COBString(""), 9096));
        options->Add(new OBBooleanPreference(0, 9112));
        options->Add(new OBIntegerPreference(0, 9128));
        options->Add(NewEnumeration("Undefined", 9144, 4));
        group->SetConstituentPreferenceList(options);
        list->Add(group);
        list->Add(new OBBooleanPreference(0, 9160));
        list->Add(NewEnumeration("Mac", 9176, 3));
    }

    void Init(OBStream* output, OBPreferenceList* preferences) override {
        OBWriter::Init();
        SetStream(output);
        report_.clear();
        elements_ = 0;
        if (!preferences) return;
        auto nth = [](OBPreferenceList* list, int n) {
            OBPreference* p = nullptr;
            list->GetNthPreference(n, &p);
            return p;
        };
        report_ += "encoding=" + Text(nth(preferences, 0)) + "\n";
        report_ += "lineends=" + Text(nth(preferences, 4)) + "\n";
        report_ += "plain=" + Text(nth(preferences, 3)) + "\n";
        OBPreferenceList* group = nullptr;
        if (auto* g = dynamic_cast<OBGroupPreference*>(nth(preferences, 2)))
            g->GetConstituentPreferenceList(&group);
        if (!group) return;
        report_ += "styletags=" + Text(nth(group, 0)) + " " + Text(nth(group, 2)) + "\n";
        report_ += "pagebreaks=" + Text(nth(group, 1)) + " " + Text(nth(group, 3)) + "\n";
        report_ += "hidden=" + Text(nth(group, 4)) + "\n";
        report_ += "wrap=" + Text(nth(group, 5)) + "\n";
        report_ += "unit=" + Text(nth(group, 6)) + "\n";
    }

    void PutElement(Element* element) override {
        if (element) {
            ++elements_;
            return;
        }
        std::string text = report_ + "elements=" + std::to_string(elements_) + "\n";
        if (OBStream* out = GetStream())
            out->XferByte(reinterpret_cast<unsigned char*>(&text[0]), static_cast<long long>(text.size()));
    }

    void Reset() override { OBWriter::Reset(); }

    void GetFormats(Format*& formats, short& count) override {
        formats = new Format[1];
        count = formats ? 1 : 0;
        if (formats) formats[0] = Format("Report", 259, 0x4F4D4252u);
    }

private:
    std::string report_;
    int elements_ = 0;
};

} // namespace

OB_DECLARE_WRITER(PrefsWriter)
OB_DECLARE_PLUGIN_VERSION(1, 0)
