#include "CommandLine.h"

#include <ombra/pluginids.h>

#include <ombra/geometry.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>

namespace ombra_host {

namespace {

constexpr int kTextWriterId = OBPLUGIN::kTextWriter;
constexpr int kDumpWriterId = OBPLUGIN::kDumpWriter;
constexpr int kMaxJobs = 64;
constexpr int kMaxWrap = 100000;

// Which commands accept an option.
enum : unsigned {
    kForConvert = 1u << 0,
    kForDump = 1u << 1,
    kForFormats = 1u << 2,
    kForPlugins = 1u << 3,
    kForPlugInCommands = kForConvert | kForDump | kForFormats | kForPlugins,
};

enum class Id {
    kHelp,
    kVersion,
    kReaders,
    kWriters,
    kLocale,
    kOutput,
    kOutdir,
    kEncoding,
    kUnit,
    kStyleTags,
    kPageBreaks,
    kHidden,
    kWrap,
    kJobs,
    kWriter,
    kVerbose,
    kQuiet,
};

struct OptionSpec {
    Id id;
    const char* longName;
    char shortName; // 0: none
    bool takesValue;
    unsigned commands;
};

const OptionSpec kOptions[] = {
    {Id::kHelp, "help", 'h', false, ~0u},
    {Id::kVersion, "version", 0, false, ~0u},
    {Id::kReaders, "readers", 0, true, kForPlugInCommands},
    {Id::kWriters, "writers", 0, true, kForPlugInCommands},
    {Id::kLocale, "locale", 0, true, kForPlugInCommands},
    {Id::kOutput, "output", 'o', true, kForConvert | kForDump},
    {Id::kOutdir, "outdir", 0, true, kForConvert | kForDump},
    {Id::kEncoding, "encoding", 0, true, kForConvert},
    {Id::kUnit, "unit", 0, true, kForConvert},
    {Id::kStyleTags, "style-tags", 0, true, kForConvert},
    {Id::kPageBreaks, "page-breaks", 0, true, kForConvert},
    {Id::kHidden, "hidden", 0, false, kForConvert},
    {Id::kWrap, "wrap", 0, true, kForConvert},
    {Id::kJobs, "jobs", 'j', true, kForConvert},
    {Id::kWriter, "writer", 0, true, kForConvert},
    {Id::kVerbose, "verbose", 'v', false, kForConvert | kForDump},
    {Id::kQuiet, "quiet", 'q', false, kForConvert | kForDump},
};

struct Given {
    const OptionSpec* rule;
    std::string spelling; // as the user wrote it, for messages
    std::string value;
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A decimal number from low to high, nothing else.
bool ReadNumber(const std::string& text, long low, long high, int& out) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}

unsigned CommandBit(Command command) {
    switch (command) {
    case Command::kConvert:
        return kForConvert;
    case Command::kDump:
        return kForDump;
    case Command::kFormats:
        return kForFormats;
    case Command::kPlugins:
        return kForPlugins;
    default:
        return 0;
    }
}

const char* CommandName(Command command) {
    switch (command) {
    case Command::kConvert:
        return "convert";
    case Command::kDump:
        return "dump";
    case Command::kFormats:
        return "formats";
    case Command::kPlugins:
        return "plugins";
    case Command::kHelp:
        return "help";
    default:
        return "";
    }
}

bool ReadCommand(const std::string& word, Command& command) {
    static const struct {
        const char* word;
        Command command;
    } kCommands[] = {{"convert", Command::kConvert},
                     {"dump", Command::kDump},
                     {"formats", Command::kFormats},
                     {"plugins", Command::kPlugins},
                     {"help", Command::kHelp}};
    for (const auto& entry : kCommands)
        if (word == entry.word) {
            command = entry.command;
            return true;
        }
    return false;
}

// Applies one option; returns the problem, or empty.
std::string Apply(const Given& given, Options& options) {
    const std::string& value = given.value;
    switch (given.rule->id) {
    case Id::kHelp:
        break;
    case Id::kVersion:
        break;
    case Id::kReaders:
        options.readers = value;
        break;
    case Id::kWriters:
        options.writers = value;
        break;
    case Id::kLocale: {
        std::string language = Lower(value);
        if (language != "en" && language != "ja")
            return "--locale takes en or ja, not '" + value + "'";
        options.language = language;
        break;
    }
    case Id::kOutput:
        if (value.empty())
            return given.spelling + " needs a file name (or - for the standard output)";
        options.hasOutput = true;
        options.output = value;
        break;
    case Id::kOutdir:
        if (value.empty()) return "--outdir needs a folder";
        options.hasOutdir = true;
        options.outdir = value;
        break;
    case Id::kEncoding: {
        std::string encoding = Lower(value);
        if (encoding == "utf8" || encoding == "utf-8")
            options.text.encoding = 0;
        else if (encoding == "utf16" || encoding == "utf-16")
            options.text.encoding = 1;
        else if (encoding == "default")
            options.text.encoding = 2;
        else
            return "--encoding takes utf8, utf16 or default, not '" + value + "'";
        break;
    }
    case Id::kUnit: {
        std::string unit = Lower(value);
        if (unit == "inches")
            options.text.unit = UNITS::LINEAR::kInches;
        else if (unit == "points")
            options.text.unit = UNITS::LINEAR::kPoints;
        else if (unit == "twips")
            options.text.unit = UNITS::LINEAR::kTwips;
        else
            return "--unit takes inches, points or twips, not '" + value + "'";
        break;
    }
    case Id::kStyleTags:
        options.text.styleTags = true;
        options.text.styleTagFormat = value;
        break;
    case Id::kPageBreaks:
        options.text.pageBreaks = true;
        options.text.pageBreakText = value;
        break;
    case Id::kHidden:
        options.text.hidden = true;
        break;
    case Id::kWrap:
        if (!ReadNumber(value, 0, kMaxWrap, options.text.wrap))
            return "--wrap takes a line width from 0 (no wrapping) to " + std::to_string(kMaxWrap) +
                   ", not '" + value + "'";
        break;
    case Id::kJobs:
        if (!ReadNumber(value, 1, kMaxJobs, options.jobs))
            return given.spelling + " takes a number of threads from 1 to " +
                   std::to_string(kMaxJobs) + ", not '" + value + "'";
        break;
    case Id::kWriter:
        if (!ReadNumber(value, 0, INT_MAX, options.writerId) || options.writerId == 0)
            return "--writer takes a writer id (a positive number), not '" + value + "'";
        break;
    case Id::kVerbose:
        options.verbose = true;
        break;
    case Id::kQuiet:
        options.quiet = true;
        break;
    }
    return std::string();
}

ParsedCommandLine Fail(std::string error) {
    ParsedCommandLine result;
    result.error = std::move(error);
    return result;
}

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    Options options;
    std::vector<Given> given;
    std::vector<std::string> words;
    bool helpAsked = false;
    bool versionAsked = false;

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            words.insert(words.end(), arguments.begin() + i + 1, arguments.end());
            break;
        }
        if (argument.size() < 2 || argument[0] != '-') {
            words.push_back(argument); // "-" is a word too
            continue;
        }
        const OptionSpec* rule = nullptr;
        std::string spelling;
        std::string value;
        bool valueAttached = false;
        if (argument[1] == '-') {
            std::string name = argument.substr(2);
            std::size_t equals = name.find('=');
            if (equals != std::string::npos) {
                value = name.substr(equals + 1);
                name.erase(equals);
                valueAttached = true;
            }
            for (const OptionSpec& candidate : kOptions)
                if (name == candidate.longName) rule = &candidate;
            spelling = "--" + name;
            if (!rule) return Fail("unknown option " + spelling);
            if (valueAttached && !rule->takesValue) return Fail(spelling + " takes no value");
        } else {
            for (const OptionSpec& candidate : kOptions)
                if (candidate.shortName && argument[1] == candidate.shortName) rule = &candidate;
            spelling = argument.substr(0, 2);
            if (!rule) return Fail("unknown option " + spelling);
            if (argument.size() > 2) {
                if (!rule->takesValue) return Fail(spelling + " takes no value");
                value = argument.substr(2);
                valueAttached = true;
            }
        }
        if (rule->takesValue && !valueAttached) {
            if (i + 1 >= arguments.size()) return Fail(spelling + " needs a value");
            value = arguments[++i];
        }
        if (rule->id == Id::kHelp) helpAsked = true;
        if (rule->id == Id::kVersion) versionAsked = true;
        given.push_back(Given{rule, spelling, value});
    }

    if (helpAsked) {
        options.command = Command::kHelp;
        ParsedCommandLine result;
        result.ok = true;
        result.options = options;
        return result;
    }
    if (versionAsked) {
        options.command = Command::kVersion;
        ParsedCommandLine result;
        result.ok = true;
        result.options = options;
        return result;
    }
    if (words.empty()) return Fail("no command given");
    if (!ReadCommand(words.front(), options.command))
        return Fail("unknown command '" + words.front() + "'");
    options.inputs.assign(words.begin() + 1, words.end());

    for (const Given& option : given) {
        if (!(option.rule->commands & CommandBit(options.command)))
            return Fail(option.spelling + " does not apply to '" + CommandName(options.command) +
                        "'");
        std::string problem = Apply(option, options);
        if (!problem.empty()) return Fail(problem);
    }

    switch (options.command) {
    case Command::kHelp:
        if (!options.inputs.empty()) return Fail("'help' takes no arguments");
        break;
    case Command::kConvert:
        if (options.inputs.empty()) return Fail("'convert' needs at least one input");
        if (options.hasOutput && options.hasOutdir)
            return Fail("give either -o or --outdir, not both");
        if (options.hasOutput && options.inputs.size() > 1)
            return Fail("-o names one output: use --outdir for several inputs");
        break;
    case Command::kDump:
        if (options.inputs.size() != 1) return Fail("'dump' takes exactly one input");
        if (options.hasOutput && options.hasOutdir)
            return Fail("give either -o or --outdir, not both");
        break;
    case Command::kFormats:
    case Command::kPlugins:
        if (!options.inputs.empty())
            return Fail(std::string("'") + CommandName(options.command) + "' takes no inputs");
        break;
    default:
        break;
    }
    for (const std::string& input : options.inputs)
        if (input.empty()) return Fail("an input name is empty");

    ParsedCommandLine result;
    result.ok = true;
    result.options = options;
    return result;
}

Preferences MakePreferences(const TextSettings& settings) {
    Preferences preferences{};
    preferences.groupFlag1 = settings.styleTags ? 1 : 0;
    preferences.groupText1 = settings.styleTagFormat;
    preferences.groupFlag2 = settings.pageBreaks ? 1 : 0;
    preferences.groupText2 = settings.pageBreakText;
    preferences.groupFlag3 = settings.hidden ? 1 : 0;
    preferences.groupNumber = settings.wrap;
    preferences.measurementUnit = settings.unit;
    preferences.textEncoding = settings.encoding;
    return preferences;
}

int WriterIdFor(const Options& options) {
    if (options.writerId > 0) return options.writerId;
    return options.command == Command::kDump ? kDumpWriterId : kTextWriterId;
}

std::string UsageText(bool full) {
    std::string usage =
        "usage: ombra convert IN... [-o OUT | --outdir DIR] [--encoding utf8|utf16|default]\n"
        "                     [--unit inches|points|twips] [--style-tags FMT]\n"
        "                     [--page-breaks TEXT] [--hidden] [--wrap N] [-j N] [--writer ID]\n"
        "       ombra dump IN [-o OUT]\n"
        "       ombra formats\n"
        "       ombra plugins\n"
        "       ombra help\n";
    if (!full) return usage + "Run 'ombra help' for more.\n";
    return usage +
           "\n"
           "Commands:\n"
           "  convert   converts each input with the reader that recognises it into the\n"
           "            text writer (writer id 259, or the writer given with --writer)\n"
           "  dump      writes the Elements that the reader makes of IN as JSON\n"
           "  formats   lists what the readers read and the writers write\n"
           "  plugins   lists every plug-in found, whether it loaded, and its settings\n"
           "\n"
           "Where things go:\n"
           "  -o, --output OUT   the output file of a single input; - is the standard output\n"
           "  --outdir DIR       the folder for the outputs (made when missing); without -o\n"
           "                     and --outdir each output goes next to its input\n"
           "  -j, --jobs N       converts N inputs at once (1 to 64; default 1)\n"
           "  -v, --verbose      names each input, its output and its reader\n"
           "  -q, --quiet        no progress bar and no summary\n"
           "\n"
           "The text writer's settings:\n"
           "  --encoding E       utf8 (the default), utf16, or the writer's default\n"
           "  --unit U           reports geometry in inches, points or twips (none without)\n"
           "  --style-tags FMT   marks styled text with tags made from FMT\n"
           "  --page-breaks TEXT writes TEXT where a page ends\n"
           "  --hidden           includes hidden text\n"
           "  --wrap N           wraps lines at N characters (0: no wrapping)\n"
           "\n"
           "Plug-ins and texts:\n"
           "  --readers DIR      loads the reader plug-ins (*.obrd) under DIR\n"
           "  --writers DIR      loads the writer plug-ins (*.obwt) under DIR\n"
           "                     (both default to the plug-in folders next to the program)\n"
           "  --locale en|ja     the language of display names and messages (default: from\n"
           "                     LC_ALL, LC_MESSAGES or LANG)\n"
           "\n"
           "Exit status: 0 when everything was converted, 1 when some input failed (each\n"
           "is named on the standard error with the reason), 2 for a usage error.\n";
}

std::string VersionText() {
    return "ombra " OMBRA_HOST_VERSION "\n";
}

} // namespace ombra_host
