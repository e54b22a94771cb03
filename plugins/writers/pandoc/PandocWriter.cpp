// The pandoc writer plug-in, writer id 262: the JSON document that pandoc
// reads with -f json (PandocConversion.h).
#include "PandocConversion.h"

#include <ombra/plugin.h>

namespace {

class OBPandocWriter : public OBWriter {
public:
    OBPandocWriter() : conversion_(nullptr) { SetWriterID(kOBPandocWriterID); }
    ~OBPandocWriter() override { delete conversion_; }

    // Also called with a null stream by hosts that list preferences, and
    // outside the conversion lock: it touches no member.
    void GetStreamPrefs(OBStream*, OBPreferenceList* list) override {
        OBPandocOptions::Settings().Publish(list);
    }

    using OBWriter::Init;
    void Init(OBStream* output, OBPreferenceList* preferences) override {
        OBWriter::Init();
        delete conversion_;
        SetStream(output);
        conversion_ = new OBPandocConversion(output, OBPandocOptions::FromPreferences(preferences));
        if (!conversion_) {
            OBWriterProblems problems;
            problems.Report(OBERR::kOutOfMemory);
        }
    }

    void PutElement(Element* element) override {
        if (conversion_) conversion_->PutElement(element);
    }

    void Reset() override {
        if (conversion_) {
            conversion_->Finish();
            delete conversion_;
            conversion_ = nullptr;
        }
        SetPrefs(nullptr);
        OBWriter::Reset();
    }

    void GetFormats(Format*& formats, short& count) override {
        formats = new Format[1];
        count = formats ? 1 : 0;
        if (formats) formats[0] = Format("Pandoc", 0x4A534F4Eu /* 'JSON' */, 0x50414E44u);
    }

private:
    OBPandocConversion* conversion_;
};

} // namespace

OB_DECLARE_WRITER(OBPandocWriter)
OB_DECLARE_PLUGIN_VERSION(1, 0)
