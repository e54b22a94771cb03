// The text writer plug-in, writer id 259: the writer that the core's text
// convertor feeds. It publishes its preferences for the pump to adjust and
// hands the Elements to an OBTextConversion.
#include "TextConversion.h"
#include "TextWriterOptions.h"

#include <ombra/plugin.h>

namespace {

class OBTextWriter : public OBWriter {
public:
    OBTextWriter() : conversion_(nullptr) { SetWriterID(kOBTextWriterID); }
    ~OBTextWriter() override { delete conversion_; }

    // Also called with a null stream by hosts that list preferences, and
    // outside the conversion lock: it touches no member.
    void GetStreamPrefs(OBStream*, OBPreferenceList* list) override {
        OBTextWriterPreferences::Publish(list);
    }

    using OBWriter::Init;
    void Init(OBStream* output, OBPreferenceList* preferences) override {
        OBWriter::Init();
        delete conversion_;
        SetStream(output);
        // The list is the core's: read it now, keep nothing of it.
        OBTextWriterOptions options = OBTextWriterPreferences::FromPreferences(preferences);
        conversion_ = new OBTextConversion(output, options);
        if (!conversion_) {
            OBTextProblems problems;
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
        if (formats) formats[0] = Format("Text", 0x54455854u /* 'TEXT' */, 0);
    }

private:
    OBTextConversion* conversion_;
};

} // namespace

OB_DECLARE_WRITER(OBTextWriter)
OB_DECLARE_PLUGIN_VERSION(1, 0)
