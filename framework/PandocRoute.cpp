#include "PandocRoute.h"

#include "platform/Files.h"
#include "platform/Processes.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <strings.h>

namespace ombra_pandoc {

namespace {

enum class Message {
#define OMBRA_PANDOC_MESSAGE(Ident, English, Japanese) Ident,
#include "PandocMessages.def"
};

const struct {
    const char* english;
    const char* japanese;
} kMessages[] = {
#define OMBRA_PANDOC_MESSAGE(Ident, English, Japanese) {English, Japanese},
#include "PandocMessages.def"
};

// The message with %1 and %2 replaced by a and b.
std::string Say(bool japanese, Message id, const std::string& a = "", const std::string& b = "") {
    const auto& texts = kMessages[static_cast<int>(id)];
    const std::string pattern = japanese ? texts.japanese : texts.english;
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const bool mark = pattern[i] == '%' && i + 1 < pattern.size() &&
                          (pattern[i + 1] == '1' || pattern[i + 1] == '2');
        out += mark ? (pattern[++i] == '1' ? a : b) : std::string(1, pattern[i]);
    }
    return out;
}

std::string SayError(const Wording& wording, int error) {
    if (wording.systemError) return wording.systemError(error);
    char text[128] = "";
    return std::to_string(error) + " (" + strerror_r(error, text, sizeof text) + ")";
}

const PandocFormat kFormats[] = {
#define OMBRA_PANDOC_FORMAT(Name, Extension, Writer, EmbedsPictures, Binary, PlainMarkup)          \
    {Name, Extension, Writer, EmbedsPictures != 0, Binary != 0, PlainMarkup != 0},
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

// What the filter below writes on pandoc's standard error before the
// source of each picture it replaces: one that cannot be read, and a file
// that is no picture.
const char kMissingPictureTag[] = "ombra-missing-picture: ";
const char kNotAPictureTag[] = "ombra-not-a-picture: ";
const char kRemotePictureTag[] = "ombra-remote-picture: ";
const char kLargePictureTag[] = "ombra-large-picture: ";
// Larger files are not put into an output as pictures.
constexpr long long kLargestPicture = 256LL << 20;

// A pandoc filter that puts its description in place of each picture that
// pandoc cannot read, or whose file does not begin as a picture's does
// (PNG, JPEG, GIF, TIFF, BMP, WebP, HEIF and AVIF, JPEG 2000, PDF,
// PostScript, Photoshop, WMF, EMF, SVG), and names it. Where pandoc puts
// the files into the output, a document's link is no way to take any other
// file of this machine with it, to make pandoc reach into the network, or to
// read a device or a pipe: only regular files of this machine, found as
// pandoc finds them and up to kLargestPicture bytes, are read, and then
// only their first bytes. First its part that tells a picture's first bytes.
std::string IsPictureFilter() {
    return std::string() +
           R"(local magics = {"\137PNG\r\n\26\n", "\255\216\255", "GIF87a", "GIF89a",
  "II*\0", "MM\0*", "%PDF-", "%!PS", "\197\208\211\198", "8BPS", "\215\205\198\154",
  "\0\0\0\12jP  \r\n\135\n", "\255\79\255\81"}
local function is_picture(bytes)
  for _, magic in ipairs(magics) do
    if bytes:sub(1, #magic) == magic then return true end
  end
  if bytes:sub(1, 4) == "RIFF" and bytes:sub(9, 12) == "WEBP" then return true end
  local header = bytes:byte(15) -- a bitmap's second header's size
  if bytes:sub(1, 2) == "BM" and bytes:sub(16, 18) == "\0\0\0" and
     (header == 12 or header == 40 or header == 52 or header == 56 or header == 64 or
      header == 108 or header == 124) then return true end
  if bytes:sub(5, 8) == "ftyp" and bytes:sub(9, 11):match("^[ah][ve][ic]") then return true end
  if bytes:sub(1, 4) == "\1\0\0\0" and bytes:sub(41, 44) == " EMF" then return true end
  return bytes:sub(1, 1024):find("<svg", 1, true) ~= nil
end
)";
}

// The filter's part that finds the file a picture's source names.
std::string FileOfFilter() {
    return std::string() + R"(local function unescape(text)
  return (text:gsub('%%(%x%x)', function(h) return string.char(tonumber(h, 16)) end))
end
-- The kind and size of what path names, symbolic links followed; stat's
-- complaint about a missing file stays out of pandoc's warnings.
local function kind_of(path)
  local ok, out = pcall(pandoc.pipe, "sh",
    {"-c", 'exec stat -L -c "%F %s" -- "$1" 2>/dev/null', "sh", path}, "")
  if not ok then return nil end
  return out:match("^(.-) (%d+)%s*$")
end
-- The file a source names, as pandoc looks for it, and its tag when it is
-- no file to read.
local function file_of(src)
  local scheme = src:match("^(%a[%w+.-]+):")
  local path = src
  if scheme and scheme:lower() == "file" then
    path = src:gsub("^[Ff][Ii][Ll][Ee]:", ""):gsub("^//[^/]*", "")
  elseif scheme then
    return nil, ")" +
           kRemotePictureTag + R"("
  end
  path = unescape(path)
  local tried = {path}
  if not pandoc.path.is_absolute(path) then
    tried = {}
    for _, folder in ipairs(PANDOC_STATE.resource_path) do
      table.insert(tried, pandoc.path.join({folder, path}))
    end
  end
  for _, candidate in ipairs(tried) do
    local kind, size = kind_of(candidate)
    if kind == "regular file" and tonumber(size) > )" +
           std::to_string(kLargestPicture) + R"( then
      return nil, ")" +
           kLargePictureTag + R"("
    elseif kind == "regular file" then return candidate
    elseif kind then return nil, ")" +
           kNotAPictureTag + R"(" end
  end
  return nil, ")" +
           kMissingPictureTag + R"("
end
)";
}

std::string MissingPicturesFilter() {
    return IsPictureFilter() + FileOfFilter() + R"(function Image(image)
  local src, bytes, tag = image.src, nil, nil
  if image.src:match("^[Dd][Aa][Tt][Aa]:") then
    local read, _, contents = pcall(pandoc.mediabag.fetch, image.src)
    if read then bytes = contents else tag = ")" +
           kMissingPictureTag + R"(" end
  else
    local path
    path, tag = file_of(image.src)
    local file = path and io.open(path, "rb")
    if file then
      bytes = file:read(1024) or ""
      file:close()
      image.src = path:gsub("%%", "%%25") -- the file checked, which pandoc unescapes
    elseif path then tag = ")" +
           kMissingPictureTag + R"(" end
  end
  if bytes and is_picture(bytes) then return image end
  io.stderr:write((tag or ")" +
           kNotAPictureTag + R"(") .. src .. "\n")
  return pandoc.Span(image.caption, pandoc.Attr("", {"missing-picture"}))
end
)";
}

// A pandoc filter that takes from Divs and Spans what only marks a story
// (its id, classes and writing mode) or names a style; one left with
// nothing gives way to what it holds. In a plain markup these marks would
// be noise around every paragraph; a language stays. Lists become tight.
const char kUnwrapFilter[] = R"(local function plain(element)
  local attr = element.attr
  local story = false
  local classes = {}
  for _, class in ipairs(attr.classes) do
    if class == "story" then story = true
    elseif class ~= "vertical" then table.insert(classes, class) end
  end
  if attr.identifier:match("^story%-%d+$") then attr.identifier = "" end
  attr.classes = classes
  attr.attributes["custom-style"] = nil
  if story then attr.attributes["style"] = nil end
  if attr.identifier == "" and #attr.classes == 0 and #attr.attributes == 0 then
    return element.content
  end
  element.attr = attr
  return element
end
Div = plain
Span = plain
-- With the Divs gone, a list's items are written close together.
local function tight(list)
  for _, item in ipairs(list.content) do
    if item[1] and item[1].t == "Para" then item[1] = pandoc.Plain(item[1].content) end
  end
  return list
end
BulletList = tight
OrderedList = tight
)";

// A text in a temporary file for pandoc (a filter, a stylesheet), deleted
// with the object; no path when it cannot be written.
class TempText {
public:
    TempText(const char* prefix, const std::string& text) {
        char folder[4096], path[4200];
        if (!obsys::TempPath(folder, sizeof folder) ||
            !obsys::CreateUniqueFile(folder, prefix, path, sizeof path)) {
            error_ = errno ? errno : EIO;
            return;
        }
        path_ = path;
        obsys::FileHandle file = obsys::OpenFile(path, obsys::kAccessWrite, obsys::kOpenExisting);
        const bool written =
            file != obsys::kInvalidFile &&
            obsys::WriteFile(file, text.data(), text.size()) == static_cast<long long>(text.size());
        if (file != obsys::kInvalidFile) obsys::CloseFile(file);
        if (!written) {
            error_ = errno ? errno : EIO;
            obsys::DeleteFile(path);
            path_.clear();
        }
    }
    ~TempText() {
        if (!path_.empty()) obsys::DeleteFile(path_.c_str());
    }
    TempText(const TempText&) = delete;
    TempText& operator=(const TempText&) = delete;
    const std::string& Path() const { return path_; }
    /// Why there is no path.
    int Error() const { return error_; }

private:
    std::string path_;
    int error_ = 0;
};

// An e-book of mostly vertical text (its pages turn right to left) is
// vertical as a whole, so that each chapter opens at its start: pandoc's own
// stylesheet with that said, or none when there is nothing to say.
std::unique_ptr<TempText> VerticalBookStyle(const PandocFormat& format, const std::string& document,
                                            const obsys::RunLimits& limits) {
    if (std::string(format.writer).compare(0, 4, "epub") != 0 ||
        document.find("\"page-progression-direction\":{\"t\":\"MetaString\",\"c\":\"rtl\"}") ==
            std::string::npos)
        return nullptr;
    obsys::ProgramRun own;
    std::string css;
    if (obsys::RunProgram({"pandoc", "--print-default-data-file", "epub.css"}, "", own, limits) ==
            0 &&
        !own.end.signal && !own.end.exitCode)
        css = own.output;
    css += "html { writing-mode: vertical-rl; -epub-writing-mode: vertical-rl; }\n"
           ".story:not(.vertical) { writing-mode: horizontal-tb; -epub-writing-mode: "
           "horizontal-tb; }\n";
    return std::unique_ptr<TempText>(new TempText("ombra-style-", css));
}

// One pandoc run on input; its standard error's lines are added to said.
// False with the reason when pandoc is missing or fails.
bool RunOnce(const PandocFormat& format, const std::vector<std::string>& arguments,
             const std::string& input, obsys::ProgramRun& run, std::vector<std::string>& said,
             std::string& reason, const obsys::RunLimits& limits, const Wording& w) {
    int error = obsys::RunProgram(arguments, input, run, limits);
    std::vector<std::string> lines;
    Lines(run.errors, lines);
    if (error || run.end.signal || run.end.exitCode) {
        const bool ja = w.japaneseReason;
        reason =
            error == ENOENT ? Say(ja, Message::kNoPandoc, format.name)
            : error == ETIMEDOUT
                ? Say(ja, Message::kPandocFailed, format.name, Say(ja, Message::kPandocTimedOut))
            : error ? Say(ja, Message::kPandocFailed, format.name, SayError(w, error))
                    : Say(ja, Message::kPandocFailed, format.name,
                          lines.empty()
                              ? Say(ja, Message::kPandocStatus, std::to_string(run.end.exitCode))
                              : lines.front());
        return false;
    }
    said.insert(said.end(), lines.begin(), lines.end());
    return true;
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

bool RunPandoc(const PandocFormat& format, const std::string& input,
               const std::string& outputFolder, std::string& bytes, std::vector<std::string>& notes,
               std::string& reason, const obsys::RunLimits* given, const Wording& wording) {
    const obsys::RunLimits none;
    const obsys::RunLimits& limits = given ? *given : none;
    std::string folder = input == "-" ? "." : std::filesystem::path(input).parent_path().string();
    if (folder.empty()) folder = ".";
    const std::string resources =
        "--resource-path=" + (outputFolder.empty() ? folder : outputFolder + ":" + folder);
    std::vector<std::string> said;
    if (format.embedsPictures) {
        // Unchecked pictures would go into the output whatever their files
        // hold: without the filter the input fails.
        TempText filter("ombra-filter-", MissingPicturesFilter());
        obsys::ProgramRun run;
        if (filter.Path().empty()) {
            reason = Say(wording.japaneseReason, Message::kNoPictureCheck,
                         SayError(wording, filter.Error()));
            return false;
        }
        if (!RunOnce(
                format,
                {"pandoc", "--from=json", "--to=json", resources, "--lua-filter=" + filter.Path()},
                bytes, run, said, reason, limits, wording))
            return false;
        bytes.swap(run.output);
    }
    std::vector<std::string> arguments = {
        "pandoc",       "--from=json", std::string("--to=") + format.writer,
        "--standalone", "--output=-",  resources};
    // An e-book must have a title: the input's name where the document has none.
    if (std::string(format.writer).compare(0, 4, "epub") == 0 &&
        bytes.find("\"title\":{\"t\":\"Meta") == std::string::npos)
        arguments.push_back(
            "--metadata=title:" +
            (input == "-" ? std::string("-") : std::filesystem::path(input).stem().string()));
    std::unique_ptr<TempText> style = VerticalBookStyle(format, bytes, limits);
    if (style && !style->Path().empty()) arguments.push_back("--css=" + style->Path());
    // Without the filter the output only keeps more markup.
    std::unique_ptr<TempText> unwrap(
        format.plainMarkup ? new TempText("ombra-filter-", kUnwrapFilter) : nullptr);
    if (unwrap && !unwrap->Path().empty()) arguments.push_back("--lua-filter=" + unwrap->Path());
    obsys::ProgramRun run;
    if (!RunOnce(format, arguments, bytes, run, said, reason, limits, wording)) return false;
    static const struct {
        const char* tag;
        Message message;
    } kTags[] = {{kMissingPictureTag, Message::kMissingPicture},
                 {kNotAPictureTag, Message::kNotAPicture},
                 {kRemotePictureTag, Message::kRemotePicture},
                 {kLargePictureTag, Message::kLargePicture}};
    for (const std::string& line : said) {
        std::string note = "pandoc: " + line;
        for (const auto& entry : kTags)
            if (line.compare(0, std::strlen(entry.tag), entry.tag) == 0)
                note =
                    Say(wording.japaneseNotes, entry.message, line.substr(std::strlen(entry.tag)));
        notes.push_back(note);
    }
    bytes.swap(run.output);
    return true;
}

void PandocResult(ombra::Result& result, const PandocFormat& format, const std::string& input,
                  const std::string& outputPath, std::string& bytes, bool strict,
                  const obsys::RunLimits* limits, const Wording& wording) {
    std::string folder, reason;
    if (outputPath.empty() || !obsys::FolderForFile(outputPath.c_str(), folder)) folder.clear();
    std::vector<std::string> notes;
    if (!RunPandoc(format, input, folder, bytes, notes, reason, limits, wording)) {
        result.status = ombra::Status::kPandocFailed;
        result.reason = reason;
        result.subject = format.name;
        return;
    }
    for (std::string& text : notes) {
        result.notes.emplace_back();
        result.notes.back().code = -1;
        result.notes.back().text = std::move(text);
    }
    // pandoc's warnings are notes like the reader's, which strict refuses.
    if (strict && !notes.empty()) {
        result.status = ombra::Status::kNotes;
        result.reason = ombra::StatusText(result.status);
    }
}

} // namespace ombra_pandoc
