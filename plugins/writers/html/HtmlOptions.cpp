#include "HtmlOptions.h"

namespace {

const obpref::Row kRows[] = {
#include "WriterSettingRows.h"
#include "HtmlSettings.def"
};

} // namespace

OBHtmlOptions::OBHtmlOptions() {
    stylesheetLink.Append("styles.css");
}

const obpref::Settings& OBHtmlOptions::Settings() {
    static const obpref::Settings settings(kOBHtmlWriterID, kRows, sizeof kRows / sizeof *kRows);
    return settings;
}

OBHtmlOptions OBHtmlOptions::FromPreferences(OBPreferenceList* list) {
    obpref::Value values[OBHTML::kSettingCount];
    Settings().Read(list, values);
    OBHtmlOptions options;
    options.stylesheet = static_cast<OBHTML::StylesheetEnum>(values[OBHTML::kStylesheet].choice);
    options.stylesheetLink = values[OBHTML::kStylesheetLink].text;
    options.styleClasses = values[OBHTML::kStyleClasses].flag;
    options.includeHidden = values[OBHTML::kHidden].flag;
    options.pages = static_cast<OBHTML::PagesEnum>(values[OBHTML::kPages].choice);
    options.pictureFolder = values[OBHTML::kPictureFolder].text;
    options.documentFolder = values[OBHTML::kDocumentFolder].text;
    return options;
}
