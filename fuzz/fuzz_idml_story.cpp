// One IDML story part on arbitrary bytes, read and mapped as if a frame on
// a page showed each of its stories: never a crash, a hang or a leak, and
// every run lies inside its story's text.
#include "FuzzHost.h"
#include "plugins/readers/idml/IdmlMapper.h"
#include "plugins/readers/idml/IdmlParser.h"

#include <ombra/plugin.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <cstdint>
#include <new>

namespace {

class Quiet : public obreader::ProblemSink {
public:
    void Report(int) override {}
};

// A page and a frame for every story read, so that the mapper keeps them.
void Place(idml::Document& doc) {
    doc.spreads.emplace_back();
    doc.spreads.back().self = "s";
    doc.pages.emplace_back();
    idml::Page& page = doc.pages.back();
    page.self = "p";
    page.spread = 0;
    page.bounds[2] = 792, page.bounds[3] = 612;
    doc.spreads.back().pages.push_back(0);
    for (const idml::Story& s : doc.stories) {
        if (s.owner >= 0) continue;
        idml::Item frame;
        frame.kind = idml::Item::Kind::kTextFrame;
        frame.self = "f" + s.self;
        frame.story = s.self;
        frame.spread = 0;
        obreader::SubPath box;
        box.points.resize(2);
        box.points[1].anchor = box.points[1].left = box.points[1].right = {100, 100};
        frame.outline.push_back(box);
        doc.spreads.back().items.push_back(static_cast<int>(doc.items.size()));
        doc.items.push_back(frame);
    }
}

// Conversions need a reader's per-thread state, which Init makes.
class Host : public OBReader {
public:
    short CanImportThis(OBStream*) override { return 0; }
    void GetStreamPrefs(OBStream*, OBPreferenceList*) override {}
    void Init(OBStream* s, OBPreferenceList* p) override { OBReader::Init(s, p); }
    void Reset() override { OBReader::Reset(); }
    Element* GetFirstElement() override { return nullptr; }
    Element* GetNextElement() override { return nullptr; }
    void GetFormats(Format*& f, short& n) override { f = nullptr, n = 0; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombra_fuzz::InstallHost();
    static Host* host = new Host;
    host->Init(nullptr, nullptr);
    Quiet quiet;
    try {
        std::string bytes(reinterpret_cast<const char*>(data), size);
        idml::Document doc;
        idml::ParseOptions options;
        options.notes = options.hiddenConditions = options.deletedChanges = true;
        idml::ParseStoryPart(bytes, options, quiet, doc);
        for (const idml::Story& s : doc.stories) {
            std::uint32_t at = 0;
            for (const idml::CharRun& r : s.runs) {
                if (r.start != at || r.end <= r.start) __builtin_trap();
                at = r.end;
            }
            if (at != s.text.size()) __builtin_trap();
        }
        Place(doc);
        ElementList out;
        idml::BuildElements(doc, idml::MapOptions(), quiet, out);
        for (Element* e : out)
            delete e;
    } catch (const std::bad_alloc&) {
    }
    host->Reset();
    return 0;
}
