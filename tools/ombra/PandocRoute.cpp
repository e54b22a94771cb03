#include "PandocRoute.h"

#include "Messages.h"
#include "platform/Processes.h"

#include <cerrno>
#include <filesystem>
#include <iterator>
#include <strings.h>

namespace ombra_host {

namespace {

const PandocFormat kFormats[] = {
#define OMBRA_PANDOC_FORMAT(Name, Extension, Writer) {Name, Extension, Writer},
#include "PandocFormats.def"
};

// Pandoc's lines, its own level tags ("[WARNING] ") left out.
void Lines(const std::string& text, std::vector<std::string>& out) {
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? end : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        if (line.compare(0, 1, "[") == 0 && line.find("] ") != std::string::npos)
            line.erase(0, line.find("] ") + 2);
        if (!line.empty()) out.push_back(line);
    }
}

} // namespace

std::vector<PandocFormat> PandocFormats() {
    return std::vector<PandocFormat>(std::begin(kFormats), std::end(kFormats));
}

const PandocFormat* FindPandocFormat(const std::string& name) {
    for (const PandocFormat& format : kFormats)
        if (::strcasecmp(format.name, name.c_str()) == 0) return &format;
    return nullptr;
}

std::string PandocFormatNames() {
    std::string names;
    for (const PandocFormat& format : kFormats)
        names += (names.empty() ? "" : ", ") + std::string(format.name);
    return names;
}

bool RunPandoc(const PandocFormat& format, const std::string& input, std::string& bytes,
               std::vector<std::string>& notes, std::string& reason) {
    std::string folder = input == "-" ? "." : std::filesystem::path(input).parent_path().string();
    std::vector<std::string> arguments = {
        "pandoc",       "--from=json", std::string("--to=") + format.writer,
        "--standalone", "--output=-",  "--resource-path=" + (folder.empty() ? "." : folder)};
    // An e-book must have a title: the input's name where the document has none.
    if (std::string(format.writer).compare(0, 4, "epub") == 0 &&
        bytes.find("\"title\":{\"t\":\"Meta") == std::string::npos)
        arguments.push_back(
            "--metadata=title:" +
            (input == "-" ? std::string("-") : std::filesystem::path(input).stem().string()));
    obsys::ProgramRun run;
    int error = obsys::RunProgram(arguments, bytes, run);
    std::vector<std::string> said;
    Lines(run.errors, said);
    if (error || run.end.signal || run.end.exitCode) {
        reason = error == ENOENT ? Say(Message::kNoPandoc, format.name)
                 : error         ? Say(Message::kPandocFailed, format.name, SayError(error))
                                 : Say(Message::kPandocFailed, format.name,
                               said.empty()
                                           ? Say(Message::kPandocStatus, std::to_string(run.end.exitCode))
                                           : said.front());
        return false;
    }
    for (const std::string& line : said)
        notes.push_back(Say(Message::kNote, "pandoc: " + line));
    bytes.swap(run.output);
    return true;
}

} // namespace ombra_host
