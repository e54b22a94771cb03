// The IDML reader plug-in (idml.obrd, reader id 20): recognises IDML
// packages by their content and yields them as Elements
// (docs/document-model.md, docs/idml-reader.md).
//
// Preferences (GetStreamPrefs; display names at OBReaderResourceBase(20) +
// 16 x index + locale, in idml.strings):
//   0  Boolean  "Include master-page items"         (1)
//   1  Boolean  "Include non-printing layers"       (1)
//   2  Boolean  "Include hidden layers"             (1)
//   3  Boolean  "Include pasteboard items"          (1)
//   4  Boolean  "Include notes"                     (0)
//   5  Boolean  "Include hidden conditional text"   (0)
//   6  Boolean  "Include deleted tracked changes"   (0)
// Index 3 is a plain Boolean, so the pump's adjustment of a group there
// leaves the list alone; new preferences go at the end.
#include "IdmlReader.h"
#include "IdmlMapper.h"
#include "IdmlParser.h"

#include <ReaderPreferences.h>

#include <ombra/messages.h>
#include <ombra/strings.h>

#include <exception>
#include <new>
#include <string>

namespace {

constexpr bool kDefaults[IdmlReader::kPreferenceCount] = {true,  true,  true, true,
                                                          false, false, false};

// What the package's local headers gave back where its zip directory
// failed: every part when libzip refused the directory, or the parts libzip
// could not read by their records.
std::string SalvageNote(std::size_t recovered, int lost) {
    std::string note =
        "the package's zip directory is damaged; parts recovered from their local headers: " +
        std::to_string(recovered);
    if (lost) note += ", lost: " + std::to_string(lost);
    return note;
}

// A package salvaged from its local headers is read when a story came
// through, or every part did, and says what happened; false (reported)
// otherwise, as when nothing could be read.
bool SalvagedStories(const idml::Package& package, obreader::ProblemSink& problems) {
    if (!package.Salvaged()) return true;
    bool story = false;
    for (const std::string& name : package.Names())
        story = story || name.compare(0, 8, "Stories/") == 0;
    if (!story && (package.Lost() != 0 || package.Cut())) {
        problems.Report(OBERR::kTruncatedInput);
        return false;
    }
    problems.Report(package.Cut() ? OBERR::kTruncatedInput : OBERR::kMalformedInput,
                    SalvageNote(package.Names().size(), package.Lost()));
    return true;
}

} // namespace

IdmlReader::IdmlReader() : OBListReader(kReaderId, kDefaults, kPreferenceCount) {}

IdmlReader::~IdmlReader() = default;

// Touches no member: probes run beside conversions on the same object.
short IdmlReader::CanImportThis(OBStream* input) {
    try {
        return idml::DetectPackage(input);
    } catch (const std::exception&) {
        return 0;
    }
}

void IdmlReader::Read(OBStream* input, const bool* flags) {
    auto flag = [&](int i) { return flags[i]; };
    idml::MapOptions map;
    map.masterItems = flag(0);
    map.nonPrintingLayers = flag(1);
    map.hiddenLayers = flag(2);
    map.pasteboardItems = flag(3);
    idml::ParseOptions parse;
    parse.notes = flag(4);
    parse.hiddenConditions = flag(5);
    parse.deletedChanges = flag(6);
    obreader::LoggingProblems problems;
    try {
        idml::Package package;
        switch (package.Open(input)) {
        case idml::Package::Status::kOk:
            break;
        case idml::Package::Status::kDamaged:
            problems.Report(OBERR::kTruncatedInput);
            return;
        case idml::Package::Status::kOutOfMemory:
            problems.Report(OBERR::kOutOfMemory);
            return;
        case idml::Package::Status::kNotZip:
            problems.Report(OBERR::kUnreadableInput);
            return;
        }
        if (!SalvagedStories(package, problems)) return;
        idml::Document doc;
        const bool parsed = idml::ParsePackage(package, parse, problems, doc);
        if (package.Recovered())
            problems.Report(OBERR::kMalformedInput, SalvageNote(package.Recovered(), 0));
        if (!parsed) {
            problems.Report(OBERR::kUnreadableInput);
            return;
        }
        version_ = doc.publication.version;
        idml::BuildElements(doc, map, problems, elements_);
    } catch (const std::bad_alloc&) {
        problems.Report(OBERR::kOutOfMemory);
    } catch (const std::exception&) {
        problems.Report(OBERR::kMalformedInput);
    }
}

void IdmlReader::GetFormats(Format*& formats, short& count) {
    count = 1;
    formats = new Format[1];
    if (!formats) {
        count = 0;
        return;
    }
    formats[0] = Format("IDML", 0x49444D4Cu /* 'IDML' */, 0x49444D4Cu);
}

OB_DECLARE_READER(IdmlReader)
OB_DECLARE_PLUGIN_VERSION(1, 0)
