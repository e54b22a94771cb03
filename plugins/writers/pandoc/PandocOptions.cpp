#include "PandocOptions.h"

namespace {

const obpref::Row kRows[] = {
#include "WriterSettingRows.h"
#include "PandocSettings.def"
};

} // namespace

const obpref::Settings& OBPandocOptions::Settings() {
    static const obpref::Settings settings(kOBPandocWriterID, kRows, sizeof kRows / sizeof *kRows);
    return settings;
}

OBPandocOptions OBPandocOptions::FromPreferences(OBPreferenceList* list) {
    obpref::Value values[OBPANDOC::kSettingCount];
    Settings().Read(list, values);
    OBPandocOptions options;
    options.styleNames = values[OBPANDOC::kStyleNames].flag;
    options.includeHidden = values[OBPANDOC::kHidden].flag;
    options.ruby = static_cast<OBPANDOC::RubyEnum>(values[OBPANDOC::kRuby].choice);
    options.pictureFolder = values[OBPANDOC::kPictureFolder].text;
    options.documentFolder = values[OBPANDOC::kDocumentFolder].text;
    return options;
}
