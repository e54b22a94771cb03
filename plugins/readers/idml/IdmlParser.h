// Reads an IDML package into the model of IdmlModel.h, one part at a time:
// designmap.xml, the resources (Graphic, Fonts, Styles, Preferences), the
// metadata, the master spreads and spreads, and the stories. A part that
// is missing or damaged is reported and the others are still read.
#ifndef OMBRA_IDML_PARSER_H
#define OMBRA_IDML_PARSER_H

#include "IdmlModel.h"
#include "IdmlPackage.h"

#include <ReaderBuilder.h>
#include <ReaderTables.h>

#include <pugixml.hpp>

#include <string>
#include <unordered_set>
#include <vector>

namespace idml {

/// How deep page items (groups in groups) and story content (elements in
/// elements) may nest; deeper content is skipped and reported.
constexpr int kMaxItemDepth = 64;
constexpr int kMaxTextDepth = 200;

/// Text that only some readers of a document want.
struct ParseOptions {
    bool notes = false;            ///< the text of notes, inline, marked as comments
    bool hiddenConditions = false; ///< text whose conditions are all hidden
    bool deletedChanges = false;   ///< tracked changes that delete text
};

/// Reads the package; false when it holds nothing to read (no designmap.xml
/// and no parts where packages keep them).
bool ParsePackage(Package& package, const ParseOptions& options, obreader::ProblemSink& problems,
                  Document& doc);

/// Reads the stories of one story part (the bytes are parsed where they lie).
void ParseStoryPart(std::string& bytes, const ParseOptions& options,
                    obreader::ProblemSink& problems, Document& doc);

// The parts of the reading, in IdmlParseResources.cpp, IdmlParseSpreads.cpp
// and IdmlParseStories.cpp.
namespace parse {

class Context {
public:
    Context(const ParseOptions& options, obreader::ProblemSink& problems, Document& doc)
        : options(options), problems(problems), doc(doc) {}
    /// Each code once per package.
    void Report(int code);

    const ParseOptions& options;
    obreader::ProblemSink& problems;
    Document& doc;
    std::unordered_set<std::string> storySelves; ///< the stories read so far
    /// What the tables read so far left of the empty rows kept.
    long long emptyRows = obreader::kEmptyRowsPerDocument;

private:
    unsigned reported_ = 0;
};

/// The parts designmap.xml names.
struct Parts {
    std::vector<std::string> masterSpreads, spreads, stories;
    std::string graphic, fonts, styles, preferences;
};

void ReadDesignmap(Context& ctx, pugi::xml_node root, Parts& parts);
void ReadGraphic(Context& ctx, pugi::xml_node root);
void ReadFonts(Context& ctx, pugi::xml_node root);
void ReadStyles(Context& ctx, pugi::xml_node root);
/// The children of Preferences.xml's root that ReadPreferences reads.
constexpr std::size_t kPreferenceElementCount = 3;
extern const char* const kPreferenceElements[kPreferenceElementCount];
void ReadPreferences(Context& ctx, pugi::xml_node root);
void ReadMetadata(Context& ctx, pugi::xml_node root);
void ReadSpreads(Context& ctx, pugi::xml_node root, bool master);
/// Reads a page item (and what it holds) into doc.items; its index or -1.
int ReadItem(Context& ctx, pugi::xml_node node, int parent, int depth);
bool IsPageItem(const char* name);
void ReadStories(Context& ctx, pugi::xml_node root);

} // namespace parse
} // namespace idml

#endif
