#include "PandocOptions.h"

namespace {

const obpref::Row kRows[] = {
#define OB_SETTING_BOOL(Ident, Default, English, Japanese) {'B', nullptr, Default},
#define OB_SETTING_TEXT(Ident, Default, English, Japanese) {'T', Default, 0},
#define OB_SETTING_CHOICE(Ident, Default, English, Japanese) {'C', Default, 0},
#define OB_SETTING_ENTRY(Ident, English, Japanese) {'E', English, 0},
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
    return options;
}
