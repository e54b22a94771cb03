// The HTML writer's settings (HtmlSettings.def) and the options a
// conversion reads from them.
#ifndef OMBRA_HTMLWRITER_OPTIONS_H
#define OMBRA_HTMLWRITER_OPTIONS_H

#include "WriterSettings.h"

#include <ombra/pluginids.h>

constexpr int kOBHtmlWriterID = OBPLUGIN::kHtmlWriter;

namespace OBHTML {
/// The settings, in the order of the preference list.
enum Setting : int {
#include "WriterSettingIds.h"
#include "HtmlSettings.def"
    kSettingCount
};
enum StylesheetEnum : int { kEmbedded, kLinked, kNoStylesheet };
enum PagesEnum : int { kNoPages, kPageBreaks, kPageSections };
} // namespace OBHTML

/// What one conversion writes; the defaults are the settings' defaults.
struct OBHtmlOptions {
    /// The generated stylesheet in a style element, a link to a stylesheet
    /// of one's own (stylesheetLink) instead, or none.
    OBHTML::StylesheetEnum stylesheet = OBHTML::kEmbedded;
    obwalk::Utf8Text stylesheetLink;
    /// Paragraph and character styles become classes, with rules in the
    /// stylesheet, and local formatting inline styles.
    bool styleClasses = true;
    /// Stories and pictures on master pages and hidden layers are written.
    bool includeHidden = false;
    /// Where pages begin: not marked, a page break, or a section per page.
    OBHTML::PagesEnum pages = OBHTML::kNoPages;
    /// Absolute picture paths inside this folder are written relative to it.
    obwalk::Utf8Text pictureFolder;
    /// The folder of the input document: a linked picture that is not where
    /// its link says is looked for in its Links folder and beside it
    /// (obwalk::LocatePicture). The conversion layer fills it in for an
    /// input given by its path.
    obwalk::Utf8Text documentFolder;

    OBHtmlOptions();
    /// The writer's preferences.
    static const obpref::Settings& Settings();
    /// The options a preference list holds (null: the defaults).
    static OBHtmlOptions FromPreferences(OBPreferenceList* list);
};

#endif
