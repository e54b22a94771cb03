// The HTML writer plug-in, writer id 261: one HTML5 document per
// publication (HtmlConversion.h). It publishes its settings
// (HtmlSettings.def) and hands the Elements to an OBHtmlConversion.
#include "ConversionWriter.h"
#include "HtmlConversion.h"

namespace {

struct HtmlTraits {
    using Conversion = OBHtmlConversion;
    static constexpr int kId = kOBHtmlWriterID;
    static constexpr const char* kFormatName = "HTML";
    static constexpr unsigned kType = 0x48544D4Cu; // 'HTML'
    static constexpr unsigned kCreator = 0;
    static void Publish(OBPreferenceList* list) { OBHtmlOptions::Settings().Publish(list); }
    static OBHtmlOptions FromPreferences(OBPreferenceList* list) {
        return OBHtmlOptions::FromPreferences(list);
    }
};

using OBHtmlWriter = OBConversionWriter<HtmlTraits>;

} // namespace

OB_DECLARE_WRITER(OBHtmlWriter)
OB_DECLARE_PLUGIN_VERSION(1, 0)
