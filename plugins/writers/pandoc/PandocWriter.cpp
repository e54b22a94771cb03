// The pandoc writer plug-in, writer id 262: the JSON document that pandoc
// reads with -f json (PandocConversion.h).
#include "ConversionWriter.h"
#include "PandocConversion.h"

namespace {

struct PandocTraits {
    using Conversion = OBPandocConversion;
    static constexpr int kId = kOBPandocWriterID;
    static constexpr const char* kFormatName = "Pandoc";
    static constexpr unsigned kType = 0x4A534F4Eu;    // 'JSON'
    static constexpr unsigned kCreator = 0x50414E44u; // 'PAND'
    static void Publish(OBPreferenceList* list) { OBPandocOptions::Settings().Publish(list); }
    static OBPandocOptions FromPreferences(OBPreferenceList* list) {
        return OBPandocOptions::FromPreferences(list);
    }
};

using OBPandocWriter = OBConversionWriter<PandocTraits>;

} // namespace

OB_DECLARE_WRITER(OBPandocWriter)
OB_DECLARE_PLUGIN_VERSION(1, 0)
