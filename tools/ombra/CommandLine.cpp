#include "CommandLine.h"
#include "Messages.h"
#include "PandocRoute.h"

#include <ombra/pluginids.h>
#include <ombra/settings.h>

#include <algorithm>
#include <initializer_list>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace ombra_host {

namespace {

constexpr int kMaxJobs = 64;
constexpr int kMaxWrap = 10000;
constexpr int kMaxTimeout = 7 * 24 * 3600;
constexpr int kMaxShards = 1000000;
constexpr unsigned long long kMinMemory = 64ull << 20;

// Which commands accept an option.
enum : unsigned {
    kForConvert = 1u << 0,
    kForDump = 1u << 1,
    kForFormats = 1u << 2,
    kForPlugins = 1u << 3,
    kForConversions = kForConvert | kForDump,
    kForPlugInCommands = kForConvert | kForDump | kForFormats | kForPlugins,
};

enum class Id {
    kHelp,
    kVersion,
    kReaders,
    kWriters,
    kNoDefaultPlugIns,
    kLocale,
    kOutput,
    kOutdir,
    kTo,
    kWriter,
    kEncoding,
    kEol,
    kUnit,
    kStyleTags,
    kPageBreaks,
    kHidden,
    kWrap,
    kSqueeze,
    kSet,
    kMetadata,
    kStrict,
    kReport,
    kJobs,
    kTimeout,
    kMaxMemory,
    kShard,
    kSkipExisting,
    kKeepFolders,
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
    {Id::kVersion, "version", 'V', false, ~0u},
    {Id::kReaders, "readers", 0, true, kForPlugInCommands},
    {Id::kWriters, "writers", 0, true, kForPlugInCommands},
    {Id::kNoDefaultPlugIns, "no-default-plugins", 0, false, kForPlugInCommands},
    {Id::kLocale, "locale", 0, true, kForPlugInCommands},
    {Id::kOutput, "output", 'o', true, kForConversions},
    {Id::kOutdir, "outdir", 0, true, kForConversions},
    {Id::kTo, "to", 't', true, kForConvert},
    {Id::kWriter, "writer", 0, true, kForConvert},
    {Id::kEncoding, "encoding", 0, true, kForConvert},
    {Id::kEol, "eol", 0, true, kForConvert},
    {Id::kUnit, "unit", 0, true, kForConvert},
    {Id::kStyleTags, "style-tags", 0, true, kForConvert},
    {Id::kPageBreaks, "page-breaks", 0, true, kForConvert},
    {Id::kHidden, "hidden", 0, false, kForConvert},
    {Id::kWrap, "wrap", 0, true, kForConvert},
    {Id::kSqueeze, "squeeze", 's', false, kForConvert},
    {Id::kSet, "set", 0, true, kForConversions},
    {Id::kMetadata, "metadata", 'm', false, kForConvert},
    {Id::kStrict, "strict", 0, false, kForConversions},
    {Id::kReport, "report", 0, false, kForConvert},
    {Id::kJobs, "jobs", 'j', true, kForConvert},
    {Id::kTimeout, "timeout", 0, true, kForConversions},
    {Id::kMaxMemory, "max-memory", 0, true, kForConversions},
    {Id::kShard, "shard", 0, true, kForConvert},
    {Id::kSkipExisting, "skip-existing", 0, false, kForConvert},
    {Id::kKeepFolders, "keep-folders", 0, false, kForConvert},
    {Id::kVerbose, "verbose", 'v', false, kForConversions},
    {Id::kQuiet, "quiet", 'q', false, kForConversions},
};

struct Given {
    const OptionSpec* rule;
    std::string spelling; // as the user wrote it, for messages
    std::string value;
};

const struct {
    const char* word;
    Command command;
    unsigned bit;
} kCommands[] = {{"convert", Command::kConvert, kForConvert},
                 {"dump", Command::kDump, kForDump},
                 {"formats", Command::kFormats, kForFormats},
                 {"plugins", Command::kPlugins, kForPlugins},
                 {"help", Command::kHelp, 0}};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A decimal number from low to high, nothing else.
bool ReadNumber(const std::string& text, long low, long high, int& out) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != text.npos)
        return false;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}

unsigned CommandBit(Command command) {
    for (const auto& entry : kCommands)
        if (entry.command == command) return entry.bit;
    return 0;
}

const char* CommandName(Command command) {
    for (const auto& entry : kCommands)
        if (entry.command == command) return entry.word;
    return "";
}

bool ReadCommand(const std::string& word, Command& command) {
    for (const auto& entry : kCommands)
        if (word == entry.word) {
            command = entry.command;
            return true;
        }
    return false;
}

void TextSetting(Options& options, const std::string& spelling, const char* name,
                 const std::string& value) {
    if (options.textFlag.empty()) options.textFlag = spelling;
    options.settings.emplace_back(name, value);
}

// --encoding and --eol set the conversion's own options, which the settings
// override: the settings of theirs given before them give way, so that the
// command line's order holds as it does for the other text flags.
void TextOption(Options& options, const std::string& spelling,
                std::initializer_list<const char*> names) {
    if (options.textFlag.empty()) options.textFlag = spelling;
    // Either name may carry the closing remark ("Code page (a Windows …)").
    auto named = [&](const std::pair<std::string, std::string>& setting) {
        for (const char* name : names)
            if (OBSettingNameMatches(name, setting.first) ||
                OBSettingNameMatches(setting.first, name))
                return true;
        return false;
    };
    auto& settings = options.settings;
    settings.erase(std::remove_if(settings.begin(), settings.end(), named), settings.end());
}

std::string ApplyTextFlag(Id id, const Given& given, Options& options) {
    const std::string& value = given.value;
    switch (id) {
    case Id::kUnit: {
        static const char* const kUnits[] = {"Inches", "Points", "Twips"};
        for (const char* unit : kUnits)
            if (Lower(value) == Lower(unit)) {
                TextSetting(options, given.spelling, "Page geometry unit", unit);
                return std::string();
            }
        return Say(Message::kUsageUnit, value);
    }
    case Id::kStyleTags:
        TextSetting(options, given.spelling, "Mark paragraph styles", "on");
        TextSetting(options, given.spelling, "Style tag template", value);
        return std::string();
    case Id::kPageBreaks:
        TextSetting(options, given.spelling, "Mark column and page breaks", "on");
        TextSetting(options, given.spelling, "Break text", value);
        return std::string();
    case Id::kHidden:
        TextSetting(options, given.spelling, "Include master pages and hidden layers", "on");
        return std::string();
    case Id::kSqueeze:
        TextSetting(options, given.spelling, "Squeeze blank lines", "on");
        return std::string();
    default: {
        int wrap = 0;
        if (!ReadNumber(value, 0, kMaxWrap, wrap))
            return Say(Message::kUsageWrap, std::to_string(kMaxWrap), value);
        TextSetting(options, given.spelling, "Wrap lines at column", value);
        return std::string();
    }
    }
}

std::string ApplyEol(const Given& given, Options& options) {
    const std::string& value = given.value;
    static const struct {
        const char* word;
        ombra::LineEnd end;
    } kEnds[] = {{"lf", ombra::LineEnd::kLF},
                 {"crlf", ombra::LineEnd::kCRLF},
                 {"cr", ombra::LineEnd::kCR},
                 {"native", ombra::LineEnd::kNative},
                 {"platform", ombra::LineEnd::kPlatform}};
    for (const auto& entry : kEnds)
        if (Lower(value) == entry.word) {
            options.lineEnd = entry.end;
            TextOption(options, given.spelling, {"Line ends"});
            return std::string();
        }
    return Say(Message::kUsageEol, value);
}

// A size in bytes: a number with an optional K, M, G or T (powers of 1024;
// "MB", "MiB" alike).
bool ReadSize(const std::string& text, unsigned long long& out) {
    std::size_t digits = std::min(text.find_first_not_of("0123456789"), text.size());
    if (digits == 0 || digits > 12) return false;
    unsigned long long value = std::strtoull(text.substr(0, digits).c_str(), nullptr, 10);
    std::string unit = Lower(text.substr(digits));
    static const char kUnits[] = "kmgt";
    int shift = 0;
    if (!unit.empty()) {
        const char* found = unit[0] ? std::strchr(kUnits, unit[0]) : nullptr;
        std::string rest = unit.substr(1);
        if (!found || !(rest.empty() || rest == "b" || rest == "ib")) return false;
        shift = 10 * static_cast<int>(found - kUnits + 1);
    }
    out = value << shift;
    return out >= kMinMemory && (out >> shift) == value;
}

// The options of a batch in worker processes and across machines.
std::string ApplyBatchOption(Id id, const std::string& value, Options& options) {
    switch (id) {
    case Id::kTimeout:
        if (!ReadNumber(value, 0, kMaxTimeout, options.timeout))
            return Say(Message::kUsageTimeout, std::to_string(kMaxTimeout), value);
        return std::string();
    case Id::kMaxMemory:
        if (!ReadSize(value, options.maxMemory)) return Say(Message::kUsageMaxMemory, value);
        return std::string();
    case Id::kShard: {
        std::size_t slash = value.find('/');
        if (slash == std::string::npos ||
            !ReadNumber(value.substr(slash + 1), 1, kMaxShards, options.shardCount) ||
            !ReadNumber(value.substr(0, slash), 1, options.shardCount, options.shardIndex))
            return Say(Message::kUsageShard, value);
        return std::string();
    }
    default:
        options.skipExisting = true;
        return std::string();
    }
}

// Applies one option; returns the problem, or empty.
std::string Apply(const Given& given, Options& options) {
    const std::string& value = given.value;
    switch (given.rule->id) {
    case Id::kHelp:
    case Id::kVersion:
        break;
    case Id::kReaders:
    case Id::kWriters:
        if (value.empty()) return Say(Message::kUsageNeedsFolder, given.spelling);
        (given.rule->id == Id::kReaders ? options.readerFolders : options.writerFolders)
            .push_back(value);
        break;
    case Id::kNoDefaultPlugIns:
        options.noDefaultPlugIns = true;
        break;
    case Id::kLocale:
        options.language = Lower(value);
        if (options.language != "en" && options.language != "ja")
            return Say(Message::kUsageLocale, value);
        break;
    case Id::kOutput:
        if (value.empty()) return Say(Message::kUsageNeedsFile, given.spelling);
        options.hasOutput = true;
        options.output = value;
        break;
    case Id::kOutdir:
        if (value.empty()) return Say(Message::kUsageNeedsFolder, "--outdir");
        options.hasOutdir = true;
        options.outdir = value;
        break;
    case Id::kTo:
    case Id::kWriter:
        options.pandocFormat.clear();
        if (const ombra_pandoc::PandocFormat* format = ombra_pandoc::FindPandocFormat(value)) {
            options.writer = "pandoc";
            options.pandocFormat = format->name;
            break;
        }
        if (ombra::Converter::WriterIdFor(value) <= 0)
            return Say(Message::kUsageWriter, given.spelling, ombra_pandoc::PandocFormatNames(),
                       value);
        options.writer = value;
        break;
    case Id::kEncoding:
        options.encoding = value;
        TextOption(options, given.spelling, {"Text encoding", "Code page"});
        break;
    case Id::kEol:
        return ApplyEol(given, options);
    case Id::kUnit:
    case Id::kStyleTags:
    case Id::kPageBreaks:
    case Id::kHidden:
    case Id::kWrap:
    case Id::kSqueeze:
        return ApplyTextFlag(given.rule->id, given, options);
    case Id::kSet: {
        std::size_t equals = value.find('=');
        if (equals == std::string::npos || equals == 0) return Say(Message::kUsageSet, value);
        options.settings.emplace_back(value.substr(0, equals), value.substr(equals + 1));
        break;
    }
    case Id::kMetadata:
        options.metadata = true;
        break;
    case Id::kStrict:
        options.strict = true;
        break;
    case Id::kReport:
        options.report = true;
        break;
    case Id::kJobs:
        if (!ReadNumber(value, 1, kMaxJobs, options.jobs))
            return Say(Message::kUsageJobs, given.spelling, std::to_string(kMaxJobs), value);
        break;
    case Id::kTimeout:
    case Id::kMaxMemory:
    case Id::kShard:
    case Id::kSkipExisting:
        return ApplyBatchOption(given.rule->id, value, options);
    case Id::kKeepFolders:
        options.keepFolders = true;
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

const OptionSpec* FindLong(const std::string& name) {
    for (const OptionSpec& candidate : kOptions)
        if (name == candidate.longName) return &candidate;
    return nullptr;
}

const OptionSpec* FindShort(char name) {
    for (const OptionSpec& candidate : kOptions)
        if (candidate.shortName == name) return &candidate;
    return nullptr;
}

// Splits the arguments into options and words; returns the problem or empty.
std::string Scan(const std::vector<std::string>& arguments, std::vector<Given>& given,
                 std::vector<std::string>& words) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            words.insert(words.end(), arguments.begin() + static_cast<long>(i) + 1,
                         arguments.end());
            break;
        }
        if (argument.size() < 2 || argument[0] != '-') {
            words.push_back(argument); // "-" is a word too
            continue;
        }
        if (argument[1] == '-') {
            std::string name = argument.substr(2), value;
            std::size_t equals = name.find('=');
            if (equals != std::string::npos) {
                value = name.substr(equals + 1);
                name.erase(equals);
            }
            const OptionSpec* rule = FindLong(name);
            if (!rule) return Say(Message::kUsageUnknownOption, "--" + name);
            if (equals != std::string::npos && !rule->takesValue)
                return Say(Message::kUsageNoValue, "--" + name);
            if (rule->takesValue && equals == std::string::npos) {
                if (i + 1 >= arguments.size()) return Say(Message::kUsageNeedsValue, "--" + name);
                value = arguments[++i];
            }
            given.push_back(Given{rule, "--" + name, value});
            continue;
        }
        // Short flags combine; one that takes a value takes the rest.
        for (std::size_t k = 1; k < argument.size(); ++k) {
            const OptionSpec* rule = FindShort(argument[k]);
            std::string spelling = std::string("-") + argument[k];
            if (!rule) return Say(Message::kUsageUnknownOption, spelling);
            if (!rule->takesValue) {
                given.push_back(Given{rule, spelling, std::string()});
                continue;
            }
            std::string value = argument.substr(k + 1);
            if (value.empty()) {
                if (i + 1 >= arguments.size()) return Say(Message::kUsageNeedsValue, spelling);
                value = arguments[++i];
            }
            given.push_back(Given{rule, spelling, value});
            break;
        }
    }
    return std::string();
}

// Without -t, convert writes what the output file's extension names, as
// the shipped writers' table and then the pandoc formats' give it (the
// first row of each extension: .json is the dump, .md markdown); metadata
// only as text or JSON. A text writer's option keeps the text writer, and
// any other extension, the standard output or --outdir too.
void WriterFromOutput(Options& options) {
    if (options.command != Command::kConvert || !options.writer.empty() || !options.hasOutput ||
        options.output == "-" || !options.textFlag.empty())
        return;
    const std::string dotted = Lower(std::filesystem::path(options.output).extension().string());
    if (dotted.size() < 2) return;
    const std::string extension = dotted.substr(1);
    for (const OBPLUGIN::Info& info : OBPLUGIN::kAll) {
        if (info.reader || extension != info.extension) continue;
        if (!options.metadata || info.id == OBPLUGIN::kTextWriter ||
            info.id == OBPLUGIN::kDumpWriter)
            options.writer = info.name;
        return;
    }
    if (options.metadata) return;
    for (const ombra_pandoc::PandocFormat& format : ombra_pandoc::PandocFormats()) {
        if (extension != format.extension) continue;
        options.writer = "pandoc";
        options.pandocFormat = format.name;
        return;
    }
}

std::string CheckCommand(const Options& options) {
    switch (options.command) {
    case Command::kConvert:
        if (options.inputs.empty()) return Say(Message::kUsageConvertInputs);
        if (options.hasOutput && options.inputs.size() > 1) return Say(Message::kUsageOneOutput);
        break;
    case Command::kDump:
        if (options.inputs.size() != 1) return Say(Message::kUsageDumpInput);
        break;
    case Command::kFormats:
    case Command::kPlugins:
        if (!options.inputs.empty())
            return Say(Message::kUsageNoInputs, CommandName(options.command));
        break;
    default:
        break;
    }
    if (options.hasOutput && options.hasOutdir) return Say(Message::kUsageOutputOrOutdir);
    int stdinInputs = 0;
    for (const std::string& input : options.inputs) {
        if (input.empty()) return Say(Message::kUsageEmptyInput);
        stdinInputs += input == "-";
    }
    if (stdinInputs > 1) return Say(Message::kUsageStdinOnce);
    if (options.keepFolders && !options.hasOutdir) return Say(Message::kUsageKeepFolders);
    std::string folder;
    for (const std::string& input : options.inputs)
        if (options.keepFolders && !ombra::KeptFolder(input, folder))
            return Say(Message::kUsageKeepFoldersAbove, input);
    int writer = ombra::Converter::WriterIdFor(options.writer.empty() ? "text" : options.writer);
    if (!options.textFlag.empty() && (writer != 259 || options.metadata))
        return Say(Message::kUsageTextSetting, options.textFlag);
    if (options.metadata && writer != 259 && writer != 260) return Say(Message::kUsageMetadata);
    return std::string();
}

} // namespace

namespace {

// The --locale of a command line, before it is parsed, so that its errors
// are in that language; "" when it names none.
std::string LocaleOnLine(const std::vector<std::string>& arguments) {
    for (std::size_t i = 0; i < arguments.size() && arguments[i] != "--"; ++i) {
        if (arguments[i].compare(0, 9, "--locale=") == 0) return Lower(arguments[i].substr(9));
        if (arguments[i] == "--locale" && i + 1 < arguments.size()) return Lower(arguments[i + 1]);
    }
    return std::string();
}

// Messages in a language while a command line is parsed; the caller's after.
struct LanguageScope {
    explicit LanguageScope(const std::string& language) : before(MessagesInJapanese()) {
        if (language == "en" || language == "ja") SetMessageLanguage(language);
    }
    ~LanguageScope() { SetMessageLanguage(before ? "ja" : "en"); }
    bool before;
};

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    LanguageScope language(LocaleOnLine(arguments));
    Options options;
    std::vector<Given> given;
    std::vector<std::string> words;
    std::string problem = Scan(arguments, given, words);
    if (!problem.empty()) return Fail(problem);

    bool helpAsked = false, versionAsked = false;
    for (const Given& option : given) {
        helpAsked = helpAsked || option.rule->id == Id::kHelp;
        versionAsked = versionAsked || option.rule->id == Id::kVersion;
    }
    ParsedCommandLine result;
    result.ok = true;
    if (!words.empty() && ReadCommand(words.front(), options.command)) {
        if (options.command == Command::kHelp && words.size() > 1 &&
            !ReadCommand(words[1], options.helpTopic))
            return Fail(Say(Message::kUsageHelpTopic, words[1]));
    }
    // The help is in the language asked for, whatever else the line holds.
    for (const Given& option : given)
        if (option.rule->id == Id::kLocale && !(problem = Apply(option, options)).empty())
            return Fail(problem);
    if (helpAsked || versionAsked) {
        if (helpAsked && options.command != Command::kHelp) options.helpTopic = options.command;
        options.command = helpAsked ? Command::kHelp : Command::kVersion;
        result.options = options;
        return result;
    }
    if (words.empty()) return Fail(Say(Message::kUsageNoCommand));
    if (options.command == Command::kNone)
        return Fail(Say(Message::kUsageUnknownCommand, words.front()));
    if (options.command == Command::kHelp) {
        if (words.size() > 2) return Fail(Say(Message::kUsageHelpOne));
        result.options = options;
        return result;
    }
    options.inputs.assign(words.begin() + 1, words.end());
    for (const Given& option : given) {
        if (!(option.rule->commands & CommandBit(options.command)))
            return Fail(Say(Message::kUsageNotFor, option.spelling, CommandName(options.command)));
        problem = Apply(option, options);
        if (!problem.empty()) return Fail(problem);
    }
    WriterFromOutput(options);
    problem = CheckCommand(options);
    if (!problem.empty()) return Fail(problem);
    result.options = options;
    return result;
}

ombra::Options MakeOptions(const Options& options) {
    ombra::Options made;
    made.writer = !options.writer.empty()             ? options.writer
                  : options.command == Command::kDump ? "json"
                                                      : "text";
    made.encoding = options.encoding;
    made.lineEnd = options.lineEnd;
    made.settings = options.settings;
    made.locale = options.language == "ja" ? OBL::kJapanese : OBL::kEnglish;
    return made;
}

std::string VersionText() {
    return "ombra " OMBRA_HOST_VERSION "\n";
}

} // namespace ombra_host
