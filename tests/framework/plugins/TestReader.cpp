// A reader for the framework suites, built once per reader id
// (TEST_READER_ID). Its input is a script of whitespace-separated tokens:
//   answer:<id>=<n>  the reader with that id answers n from CanImportThis
//   count=<n>        GetFirstElement/GetNextElement yield n Elements (3)
//   firstnull        GetFirstElement yields null; the n Elements follow
//   noprefs          GetStreamPrefs adds nothing
//   delay=<ms>       GetNextElement sleeps that long first
//   tag=<text>       added to every recorded event of the conversion
//   throw=<op>       the operation op (CanImportThis, GetStreamPrefs, Init,
//                    GetFirstElement, GetNextElement) throws; GetNextElement
//                    only after the first Element
//   nomemory=<op>    the same, with std::bad_alloc
//   children=<n>     the first Element gets n children, added one by one
// Every call is recorded as "R<id>:<operation>[ <details>]".
#include <ombra/plugin.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>

#include "Recorder.h"

#include <chrono>
#include <cstdlib>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// A Boolean setting of the plug-in's own kind: the core knows it only by
// its type and reaches it through the Value interface.
class FlagPreference : public OBPreference {
public:
    explicit FlagPreference(unsigned id) : OBPreference(VT::ekBool16, id) {}
    void GetDefaultValue(Value*& value) override { ValueUtil::CreateValueBool16(0, value); }
    void GetCurrentValue(Value*& value) override { ValueUtil::CreateValueBool16(flag_, value); }
    void SetCurrentValue(Value*& value) override {
        if (auto* b = dynamic_cast<ValueBool16*>(value)) b->Get(flag_);
    }
    short flag_ = 0;
};

struct Script {
    int answer = 0;
    int count = 3;
    bool firstNull = false;
    bool noPrefs = false;
    int delayMs = 0;
    std::string tag;
    std::string throwAt;
    bool outOfMemory = false;
    long long children = 0;

    void MaybeThrow(const char* op) const {
        if (throwAt != op) return;
        if (outOfMemory) throw std::bad_alloc();
        throw std::runtime_error(std::string("reader ") + op + " fails");
    }
};

Script ReadScript(OBStream* input, int id) {
    Script script;
    if (!input) return script;
    input->Seek(0, kSeekFromStart);
    unsigned char buffer[4096];
    long long n = input->XferByte(buffer, sizeof buffer);
    std::istringstream tokens(std::string(reinterpret_cast<char*>(buffer), n > 0 ? n : 0));
    std::string token;
    const std::string mine = "answer:" + std::to_string(id) + "=";
    while (tokens >> token) {
        if (token.compare(0, mine.size(), mine) == 0)
            script.answer = std::atoi(token.c_str() + mine.size());
        else if (token.compare(0, 6, "count=") == 0)
            script.count = std::atoi(token.c_str() + 6);
        else if (token == "firstnull")
            script.firstNull = true;
        else if (token == "noprefs")
            script.noPrefs = true;
        else if (token.compare(0, 6, "delay=") == 0)
            script.delayMs = std::atoi(token.c_str() + 6);
        else if (token.compare(0, 4, "tag=") == 0)
            script.tag = token.substr(4);
        else if (token.compare(0, 6, "throw=") == 0)
            script.throwAt = token.substr(6);
        else if (token.compare(0, 9, "nomemory=") == 0)
            script.throwAt = token.substr(9), script.outOfMemory = true;
        else if (token.compare(0, 9, "children=") == 0)
            script.children = std::atoll(token.c_str() + 9);
    }
    return script;
}

class TestReader : public OBReader {
public:
    TestReader() {
        SetReaderID(TEST_READER_ID);
        // The reader's own list: a single Boolean, so Init can tell it apart.
        OBPreferenceList* own = new OBPreferenceList;
        if (own) own->Add(new OBBooleanPreference(1, 7000));
        SetPrefs(own);
    }
    ~TestReader() override { Clear(); }

    // Probes and GetStreamPrefs run outside the conversion lock, possibly
    // while another conversion uses this object: they touch no member.
    short CanImportThis(OBStream* input) override {
        Script script = ReadScript(input, GetReaderID());
        Note("CanImportThis", std::to_string(script.answer), &script);
        script.MaybeThrow("CanImportThis");
        return static_cast<short>(script.answer);
    }

    void GetStreamPrefs(OBStream* input, OBPreferenceList* list) override {
        Script script = ReadScript(input, GetReaderID());
        Note("GetStreamPrefs", input ? "" : "null", &script);
        script.MaybeThrow("GetStreamPrefs");
        if (!list || script.noPrefs) return;
        list->Add(new OBBooleanPreference(0, 7100));
        list->Add(new OBIntegerPreference(5, 7200));
        list->Add(new OBBooleanPreference(0, 7300));
        OBGroupPreference* group = new OBGroupPreference(7400);
        OBPreferenceList* constituents = group ? new OBPreferenceList : nullptr;
        for (int i = 0; constituents && i < 14; ++i)
            constituents->Add(new OBBooleanPreference(0, 7500 + 16 * i));
        if (constituents) constituents->Add(new FlagPreference(7724));
        if (group) group->SetConstituentPreferenceList(constituents);
        list->Add(group);
    }

    void Init(OBStream* input, OBPreferenceList* preferences) override {
        OBReader::Init(input, preferences);
        script_ = ReadScript(input, GetReaderID());
        SetStream(input);
        std::string detail = preferences == GetPrefs() ? "own" : "stream";
        OBPreference* p = nullptr;
        if (preferences) preferences->GetNthPreference(3, &p);
        if (auto* group = dynamic_cast<OBGroupPreference*>(p)) {
            OBPreferenceList* constituents = nullptr;
            group->GetConstituentPreferenceList(&constituents);
            OBPreference* flag = nullptr;
            if (constituents) constituents->GetNthPreference(14, &flag);
            if (auto* f = dynamic_cast<FlagPreference*>(flag))
                detail += " flag14=" + std::to_string(f->flag_);
        }
        Note("Init", detail);
        script_.MaybeThrow("Init");
        produced_ = 0;
    }

    void Reset() override {
        Note("Reset", "");
        Clear();
        SetStream(nullptr);
        script_ = Script();
        OBReader::Reset();
    }

    Element* GetFirstElement() override {
        Note("GetFirstElement", "");
        script_.MaybeThrow("GetFirstElement");
        if (script_.firstNull) return nullptr;
        return Next();
    }

    Element* GetNextElement() override {
        if (script_.delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(script_.delayMs));
        Note("GetNextElement", "");
        if (produced_ > 0) script_.MaybeThrow("GetNextElement");
        return Next();
    }

    void GetFormats(Format*& formats, short& count) override {
        // Reader 30 reports more formats than a manager plans for per record.
        count = GetReaderID() == 30 ? 25 : 2;
        formats = new Format[count];
        if (!formats) count = 0;
        for (short i = 0; i < count; ++i) {
            std::string name = "R" + std::to_string(GetReaderID()) + "f" + std::to_string(i);
            formats[i] = Format(name.c_str(), 100u * GetReaderID() + i, 0x4F42u);
        }
    }

private:
    Element* Next() {
        if (produced_ >= script_.count) return nullptr;
        Element* e = new Element(produced_ == 0 ? EL::kPublication : EL::kColorList);
        if (!e) return nullptr;
        if (produced_++ == 0)
            for (long long n = 0; n < script_.children; ++n)
                e->AddChild(new Element(EL::kColor));
        elements_.push_back(e);
        return e;
    }

    void Clear() {
        for (Element* e : elements_)
            delete e;
        elements_.clear();
    }

    // The probes pass the tag of their own input.
    void Note(const char* operation, const std::string& detail, const Script* of = nullptr) {
        const std::string& tag = (of ? *of : script_).tag;
        std::string event = "R" + std::to_string(GetReaderID()) + ":" + operation;
        if (!detail.empty()) event += " " + detail;
        if (!tag.empty()) event += " tag=" + tag;
        ombra_test::Record(event);
    }

    Script script_;
    int produced_ = 0;
    std::vector<Element*> elements_; // the reader owns what it yields until Reset
};

} // namespace

OB_DECLARE_READER(TestReader)
OB_DECLARE_PLUGIN_VERSION(TEST_READER_ID, 7)
