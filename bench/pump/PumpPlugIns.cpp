// The pump benchmark's plug-ins, built from this one file: a reader
// (BENCH_PUMP_READER) that answers "ombra-bench-pump:<count>" and yields
// that many Elements, made once and kept for every later conversion, and a
// writer that does nothing with what it is given.
#include <ombra/plugin.h>
#include <ombra/views.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

#ifdef BENCH_PUMP_READER
const char kPrefix[] = "ombra-bench-pump:";

long Count(OBStream* input) {
    if (!input) return 0;
    char text[64] = {};
    input->Seek(0, kSeekFromStart);
    input->XferByte(reinterpret_cast<unsigned char*>(text), sizeof text - 1);
    input->Seek(0, kSeekFromStart);
    if (std::strncmp(text, kPrefix, sizeof kPrefix - 1) != 0) return 0;
    return std::strtol(text + sizeof kPrefix - 1, nullptr, 10);
}

class PumpReader : public OBReader {
public:
    PumpReader() { SetReaderID(BENCH_PUMP_READER); }
    ~PumpReader() override {
        for (Element* e : elements_)
            delete e;
    }
    short CanImportThis(OBStream* input) override { return Count(input) > 0 ? 1 : 0; }
    void GetStreamPrefs(OBStream*, OBPreferenceList*) override {}
    void Init(OBStream* input, OBPreferenceList* preferences) override {
        OBReader::Init(input, preferences);
        long want = Count(input);
        while (static_cast<long>(elements_.size()) < want)
            elements_.push_back(new OBMCharacterAttributes);
        end_ = static_cast<std::size_t>(want);
    }
    void Reset() override { OBReader::Reset(); }
    Element* GetFirstElement() override {
        next_ = 0;
        return GetNextElement();
    }
    Element* GetNextElement() override { return next_ < end_ ? elements_[next_++] : nullptr; }
    void GetFormats(Format*& formats, short& count) override {
        formats = new Format[1];
        count = formats ? 1 : 0;
        if (formats) formats[0] = Format("OBBenchPump", 0x4F424250u, 0);
    }

private:
    std::vector<Element*> elements_; // kept from one conversion to the next
    std::size_t next_ = 0, end_ = 0;
};
#else
class PumpWriter : public OBWriter {
public:
    PumpWriter() { SetWriterID(BENCH_PUMP_WRITER); }
    void GetStreamPrefs(OBStream*, OBPreferenceList*) override {}
    void Init(OBStream* output, OBPreferenceList* preferences) override {
        OBWriter::Init();
        SetStream(output);
        SetPrefs(preferences);
    }
    void PutElement(Element*) override {}
    void GetFormats(Format*& formats, short& count) override {
        formats = new Format[1];
        count = formats ? 1 : 0;
        if (formats) formats[0] = Format("OBBenchNothing", 0x4F42424Eu, 0);
    }
};
#endif

} // namespace

#ifdef BENCH_PUMP_READER
OB_DECLARE_READER(PumpReader)
#else
OB_DECLARE_WRITER(PumpWriter)
#endif
OB_DECLARE_PLUGIN_VERSION(1, 0)
