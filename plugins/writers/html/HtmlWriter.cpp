// The HTML writer plug-in, writer id 261: one HTML5 document per
// publication (HtmlConversion.h). It publishes its settings
// (HtmlSettings.def) and hands the Elements to an OBHtmlConversion.
#include "HtmlConversion.h"

#include <ombra/plugin.h>

namespace {

class OBHtmlWriter : public OBWriter {
public:
    OBHtmlWriter() : conversion_(nullptr) { SetWriterID(kOBHtmlWriterID); }
    ~OBHtmlWriter() override { delete conversion_; }

    // Also called with a null stream by hosts that list preferences, and
    // outside the conversion lock: it touches no member.
    void GetStreamPrefs(OBStream*, OBPreferenceList* list) override {
        OBHtmlOptions::Settings().Publish(list);
    }

    using OBWriter::Init;
    void Init(OBStream* output, OBPreferenceList* preferences) override {
        OBWriter::Init();
        delete conversion_;
        SetStream(output);
        // The list is the core's: read it now, keep nothing of it.
        conversion_ = new OBHtmlConversion(output, OBHtmlOptions::FromPreferences(preferences));
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
        if (formats) formats[0] = Format("HTML", 0x48544D4Cu /* 'HTML' */, 0);
    }

private:
    OBHtmlConversion* conversion_;
};

} // namespace

OB_DECLARE_WRITER(OBHtmlWriter)
OB_DECLARE_PLUGIN_VERSION(1, 0)
