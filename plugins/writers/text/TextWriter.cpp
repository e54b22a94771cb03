// The text writer plug-in, writer id 259: the writer that the core's text
// convertor feeds. It publishes its preferences for the pump to adjust and
// hands the Elements to an OBTextConversion.
#include "ConversionWriter.h"
#include "TextConversion.h"
#include "TextWriterOptions.h"

namespace {

struct TextTraits {
    using Conversion = OBTextConversion;
    static constexpr int kId = kOBTextWriterID;
    static constexpr const char* kFormatName = "Text";
    static constexpr unsigned kType = 0x54455854u; // 'TEXT'
    static constexpr unsigned kCreator = 0;
    static void Publish(OBPreferenceList* list) { OBTextWriterPreferences::Publish(list); }
    static OBTextWriterOptions FromPreferences(OBPreferenceList* list) {
        return OBTextWriterPreferences::FromPreferences(list);
    }
};

using OBTextWriter = OBConversionWriter<TextTraits>;

} // namespace

OB_DECLARE_WRITER(OBTextWriter)
OB_DECLARE_PLUGIN_VERSION(1, 0)
