// The formats written through pandoc (PandocFormats.def): the conversion
// goes through the pandoc writer, and pandoc turns its document into the
// format. A static library inside the core (for <ombra/convert.h>) and in
// the ombra program and the Python module, which run pandoc with their own
// limits and language.
#ifndef OMBRA_FRAMEWORK_PANDOC_ROUTE_H
#define OMBRA_FRAMEWORK_PANDOC_ROUTE_H

#include <ombra/convert.h>

#include <string>
#include <vector>

namespace obsys {
struct RunLimits;
}

namespace ombra_pandoc {

struct PandocFormat {
    const char* name;      ///< as -t takes it
    const char* extension; ///< of the files --outdir names
    const char* writer;    ///< pandoc's
    bool embedsPictures;   ///< pandoc's writer puts the pictures' files into the output
    bool binary;           ///< the output is no UTF-8 text (a package)
    bool plainMarkup; ///< the stories' and style names' Divs and Spans give way to their contents
};

/// Every format, in the table's order.
std::vector<PandocFormat> PandocFormats();
/// The format of that name (any case), or null.
const PandocFormat* FindPandocFormat(const std::string& name);
/// Their names, for messages and the help.
std::string PandocFormatNames();

/// How the reason and the notes are worded: each in Japanese or in
/// English, and a refusal of the system (an errno) as the host words it;
/// without one, as the system does, with its number.
struct Wording {
    bool japaneseReason = false;
    bool japaneseNotes = false;
    std::string (*systemError)(int error) = nullptr;
};

/// Turns the pandoc writer's document (in bytes) into the format, with
/// pandoc finding linked pictures in outputFolder (which the document's
/// links are relative to; empty for the standard output), then beside the
/// input; for a format whose
/// writer stops at a picture it cannot read, a first pandoc run puts each
/// such picture's description in its place. Returns false with the reason
/// when pandoc is missing or fails; its warnings, and each picture replaced,
/// are added to notes (the texts of notes, without the word "note"). A run
/// that limits (none for null) stop fails. In a plain markup the Divs and
/// Spans that only mark stories and name styles give way to their contents.
bool RunPandoc(const PandocFormat& format, const std::string& input,
               const std::string& outputFolder, std::string& bytes, std::vector<std::string>& notes,
               std::string& reason, const obsys::RunLimits* limits = nullptr,
               const Wording& wording = Wording());

/// RunPandoc on the pandoc writer's document of a converted result, whose
/// bytes the format's replace, for an output at outputPath (empty when it
/// has none): pandoc's notes join the result's (code -1) and, when strict,
/// refuse it (kNotes); a failure is kPandocFailed with the reason, the
/// format its subject.
void PandocResult(ombra::Result& result, const PandocFormat& format, const std::string& input,
                  const std::string& outputPath, std::string& bytes, bool strict,
                  const obsys::RunLimits* limits, const Wording& wording);

} // namespace ombra_pandoc

#endif
