// The pandoc writer's settings (PandocSettings.def) and the options a
// conversion reads from them.
#ifndef OMBRA_PANDOCWRITER_OPTIONS_H
#define OMBRA_PANDOCWRITER_OPTIONS_H

#include "WriterSettings.h"

#include <ombra/pluginids.h>

constexpr int kOBPandocWriterID = OBPLUGIN::kPandocWriter;

namespace OBPANDOC {
enum Setting : int {
#include "WriterSettingIds.h"
#include "PandocSettings.def"
    kSettingCount
};
/// Ruby as HTML ruby markup with the reading in parentheses for formats
/// without it, as the reading in parentheses alone, or the base text alone.
enum RubyEnum : int { kRubyMarkup, kRubyParentheses, kRubyBaseOnly };
} // namespace OBPANDOC

struct OBPandocOptions {
    /// Paragraphs and runs name their styles (custom-style attributes).
    bool styleNames = true;
    /// Stories and pictures on master pages and hidden layers are written.
    bool includeHidden = false;
    OBPANDOC::RubyEnum ruby = OBPANDOC::kRubyMarkup;
    /// Absolute picture paths inside this folder are written relative to it.
    obwalk::Utf8Text pictureFolder;
    /// The folder of the input document: a linked picture that is not where
    /// its link says is looked for in its Links folder and beside it
    /// (obwalk::LocatePicture). The conversion layer fills it in for an
    /// input given by its path.
    obwalk::Utf8Text documentFolder;

    static const obpref::Settings& Settings();
    static OBPandocOptions FromPreferences(OBPreferenceList* list);
};

#endif
