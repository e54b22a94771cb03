// The text writer's settings: the preference list it publishes (whose
// positions the core's pump fills from the host's options record) and the
// options record that the conversion reads.
#ifndef OMBRA_TEXTWRITER_OPTIONS_H
#define OMBRA_TEXTWRITER_OPTIONS_H

#include <ombra/geometry.h>
#include <ombra/messages.h>
#include <ombra/pluginids.h>
#include <ombra/preferences.h>
#include <ombra/strings.h>

/// The writer id the core's text convertor asks for.
constexpr int kOBTextWriterID = OBPLUGIN::kTextWriter;

namespace OBTW {
/// How characters become bytes.
enum EncodingEnum : int {
    kDefaultEncoding = 0, ///< each run in the code page of its writing script
    kUTF8 = 1,            ///< UTF-8, a byte-order mark only when asked for
    kUTF16 = 2,           ///< UTF-16 with a byte-order mark
    kCodePage = 3,        ///< all text in one code page (codePage), '?' for what it lacks
};
/// How lines end, whatever the platform.
enum LineEndEnum : int {
    kPlatformLineEnd = 0, ///< the platform's: CR LF on PC, CR on Mac, LF on Unix
    kLF = 1,
    kCRLF = 2,
    kCR = 3,
};
/// The system the text is meant for: line ends and the code pages of kDefaultEncoding.
enum PlatformEnum : int {
    kPC = 0,   ///< CR LF; Windows code pages
    kMac = 1,  ///< CR; Mac OS Roman for Latin text, big-endian UTF-16
    kUnix = 2, ///< LF; ISO 8859 code pages and EUC-JP where they exist
};

/// The published preferences, in list order, with the block index k of
/// their display texts (resource id = OBWriterResourceBase(259) + 16 k + locale).
enum ResourceBlock : unsigned {
    kEncodingName = 0,
    kEncodingEntries = 1, ///< 3 entries: "Default", "Unicode UTF8", "Unicode UTF16"
    kPlatformName = 4,
    kPlatformEntries = 5, ///< 3 entries: "PC", "Mac", "Unix"
    kOptionsName = 8,
    kMarkStylesName = 9,
    kStyleTemplateName = 10,
    kMarkBreaksName = 11,
    kBreakTextName = 12,
    kIncludeHiddenName = 13,
    kWrapColumnName = 14,
    kUnitName = 15,
    kUnitEntries = 16, ///< 4 entries: "Inches", "Points", "Twips", "Undefined"
    kRubyName = 20,
    kByteOrderMarkName = 21,
    kLineEndName = 22,
    kLineEndEntries = 23, ///< 4 entries: "Platform", "LF", "CR LF", "CR"
    kSqueezeName = 27,
    kCodePageName = 28,
    kCodePageEntry = 29, ///< the encoding's 4th entry: "Code page"
    kDocumentInfoName = 30,
};
/// The resource id of a block's English text.
constexpr unsigned ResourceId(unsigned block) {
    return OBWriterResourceBase(kOBTextWriterID) + kOBLocaleBlock * block;
}
} // namespace OBTW

/// What one conversion of the text writer does. The defaults are those of
/// the published preferences.
struct OBTextWriterOptions {
    OBTW::EncodingEnum encoding = OBTW::kDefaultEncoding;
    OBTW::PlatformEnum platform = OBTW::kPC;
    /// Each paragraph starts with styleTemplate, its "%s" replaced by the
    /// paragraph style's name.
    bool markStyles = false;
    WOBString styleTemplate;
    /// Column and frame breaks, and stories that start on a new page, are
    /// marked with a line holding breakText.
    bool markBreaks = false;
    WOBString breakText;
    /// Stories whose frames all lie on master pages or hidden layers are
    /// written too.
    bool includeHidden = false;
    /// Lines are wrapped at this many columns (East Asian wide characters
    /// take two); 0 writes each paragraph on one line.
    int wrapColumn = 0;
    /// A header reports the page geometry, in geometryUnit (kInches,
    /// kPoints or kTwips).
    bool reportGeometry = false;
    UNITS::LINEAR::UnitEnum geometryUnit = UNITS::LINEAR::kPoints;
    /// Ruby readings follow their base text in parentheses.
    bool rubyReadings = true;
    /// UTF-8 output starts with a byte-order mark.
    bool utf8ByteOrderMark = false;
    OBTW::LineEndEnum lineEnd = OBTW::kPlatformLineEnd;
    /// Runs of empty lines are written as one.
    bool squeezeBlankLines = false;
    /// The Windows number of the code page of kCodePage.
    unsigned codePage = 1252;
    /// A header names the publication's title, author, subject, keywords,
    /// dates and page count.
    bool documentInfo = false;

    /// The defaults, with the default templates.
    OBTextWriterOptions();
};

/// The preference list of writer 259. Its positions are those that the
/// core's pump adjusts:
///   0  Enumeration  encoding: "Default", "Unicode UTF8", "Unicode UTF16", "Code page"
///   1  Enumeration  platform: "PC", "Mac", "Unix" (the list's 2nd Enumeration)
///   2  Group        options, its constituents in this order:
///        Boolean      mark paragraph styles            (1st Boolean)
///        String       style tag template, "[%s] "      (1st String)
///        Boolean      mark breaks                      (2nd Boolean)
///        String       break text, "\f"                 (2nd String)
///        Boolean      include master pages and hidden layers (3rd Boolean)
///        Integer      wrap column, 0 = no wrapping     (1st Integer)
///        Enumeration  geometry unit: "Inches", "Points", "Twips", "Undefined"
///   3  Boolean      ruby readings in parentheses
///   4  Boolean      byte-order mark for UTF-8 (the pump does not touch it)
///   5  Enumeration  line ends: "Platform", "LF", "CR LF", "CR" (the pump sets
///                   it from the host's Preferences::lineEnd when that is set)
///   6  Boolean      squeeze runs of blank lines into one
///   7  Integer      code page of the encoding "Code page" (a Windows number)
///   8  Boolean      document information before the text
class OBTextWriterPreferences {
public:
    /// Appends the preferences to list (null: nothing). A preference that
    /// cannot be made for want of memory is left out; the ones after it
    /// keep their kinds but move up, which FromPreferences tolerates.
    static void Publish(OBPreferenceList* list);
    /// The options that list holds. Every missing preference, or one of
    /// another kind, keeps its default; an empty Enumeration or an absent
    /// String means the default as well. Enumeration texts are matched
    /// without regard to letter case, in English and in the list's
    /// display texts of the preference's locale.
    static OBTextWriterOptions FromPreferences(OBPreferenceList* list);
    /// Replaces the escapes \n (line end), \t, \f and \\ in a template.
    static void Unescape(WOBString& text);
};

#endif
