// A writer for the framework suites, built once per writer id
// (TEST_WRITER_ID). It publishes the preference layout that the pump
// adjusts for the text writer:
//   0  Enumeration  encoding ("Default")
//   1  Integer      line width (72)
//   2  Group        options: Boolean, Boolean, String, String, Boolean,
//                   Integer, Enumeration (units)
//   3  Boolean      plain text (0)
//   4  Enumeration  line ends ("Mac"), the list's second Enumeration
// and records every call as "W<id>:<operation>[ <details>]"; Init records
// the current value of every preference it receives as "W<id>:P<index>=<value>",
// constituents as "P2.<index>". Each Element goes to the output as its id.
#include <ombra/memory.h>
#include <ombra/plugin.h>

#include "Recorder.h"

#include <string>

namespace {

std::string ValueOf(OBPreference* p) {
    if (auto* b = dynamic_cast<OBBooleanPreference*>(p))
        return std::to_string(b->GetCurrentValue());
    if (auto* g = dynamic_cast<OBGroupPreference*>(p)) return std::to_string(g->GetCurrentValue());
    if (auto* i = dynamic_cast<OBIntegerPreference*>(p))
        return std::to_string(i->GetCurrentValue());
    if (auto* s = dynamic_cast<OBStringPreference*>(p))
        return s->GetCurrentString() ? s->GetCurrentString()->GrabCString() : "<absent>";
    if (auto* e = dynamic_cast<OBEnumPreference*>(p)) return e->GetCurrentValue().GrabCString();
    return "?";
}

OBEnumPreference* NewEnumeration(const char* defaultText, unsigned id, int entries) {
    unsigned ids[8];
    for (int i = 0; i < entries; ++i)
        ids[i] = id + 16 * (i + 1);
    return new OBEnumPreference(COBString(defaultText), id, entries,
                                OBEnumPreference::CopyEntryIds(ids, entries), OBL::kEnglish);
}

class TestWriter : public OBWriter {
public:
    TestWriter() { SetWriterID(TEST_WRITER_ID); }

    void GetStreamPrefs(OBStream* output, OBPreferenceList* list) override {
        Note(output ? "GetStreamPrefs" : "GetStreamPrefs null");
        if (!list) return;
        list->Add(NewEnumeration("Default", 8000, 3));
        list->Add(new OBIntegerPreference(72, 8100));
        OBGroupPreference* group = new OBGroupPreference(8200);
        OBPreferenceList* options = group ? new OBPreferenceList : nullptr;
        if (options) {
            options->Add(new OBBooleanPreference(0, 8300));
            options->Add(new OBBooleanPreference(0, 8316));
            options->Add(new OBStringPreference(COBString("first"), 8332));
            options->Add(new OBStringPreference(COBString("second"), 8348));
            options->Add(new OBBooleanPreference(0, 8364));
            options->Add(new OBIntegerPreference(0, 8380));
            options->Add(NewEnumeration("Points", 8396, 4));
            group->SetConstituentPreferenceList(options);
        }
        list->Add(group);
        list->Add(new OBBooleanPreference(0, 8400));
        list->Add(NewEnumeration("Mac", 8500, 3));
    }

    void Init(OBStream* output, OBPreferenceList* preferences) override {
        OBWriter::Init();
        SetStream(output);
        SetPrefs(preferences);
        Note("Init");
        int n = preferences ? preferences->GetNumberOfPreferences() : 0;
        for (int i = 0; i < n; ++i) {
            OBPreference* p = nullptr;
            preferences->GetNthPreference(i, &p);
            Note("P" + std::to_string(i) + "=" + ValueOf(p));
            OBPreferenceList* constituents = nullptr;
            if (auto* g = dynamic_cast<OBGroupPreference*>(p))
                g->GetConstituentPreferenceList(&constituents);
            for (int j = 0; constituents && j < constituents->GetNumberOfPreferences(); ++j) {
                OBPreference* c = nullptr;
                constituents->GetNthPreference(j, &c);
                Note("P" + std::to_string(i) + "." + std::to_string(j) + "=" + ValueOf(c));
            }
        }
    }

    void Reset() override {
        Note("Reset");
        SetPrefs(nullptr); // the list is the core's and dies with the conversion
        OBWriter::Reset();
    }

    void PutElement(Element* element) override {
        if (!element) {
            Note("PutElement null");
            return;
        }
        Note("PutElement " + std::to_string(element->GetId()));
        if (OBStream* out = GetStream()) {
            int id = static_cast<int>(element->GetId());
            out->XferInt32(id);
        }
    }

    void GetFormats(Format*& formats, short& count) override {
        formats = new Format[1];
        count = formats ? 1 : 0;
        if (formats) formats[0] = Format("Text", TEST_WRITER_ID, 0x5458u);
    }

private:
    void Note(const std::string& what) {
        ombra_test::Record("W" + std::to_string(GetWriterID()) + ":" + what);
    }
};

} // namespace

OB_DECLARE_WRITER(TestWriter)
