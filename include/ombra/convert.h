// The convenience layer over the host interface: "this input into that
// output" in one call, with a result that says what happened and why.
//
//     ombra::MemoryScope memory;               // once, first, in main()
//     ombra::Result r = ombra::ConvertFile("a.sla", "a.txt");
//     if (!r.Ok()) std::cerr << r.reason << "\n";
//
// It runs on the fixed API (OBConvertorManager, ExtractData, the
// Preferences record) and changes none of its behaviour. docs/convert.md
// describes it.
#ifndef OMBRA_CONVERT_H
#define OMBRA_CONVERT_H

#include <ombra/export.h>
#include <ombra/scripts.h>

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

class OBConvertorManager;
class OBMemoryService;

namespace ombra {

/// What became of one conversion: the rows of <ombra/defs/ConvertStatuses.def>.
enum class Status {
#define OMBRA_STATUS(Ident, Name, Text) Ident,
#include <ombra/defs/ConvertStatuses.def>
};

/// The status as a short English phrase ("not recognised by any reader").
OMBRA_API const char* StatusText(Status status);

/// One note of the conversion log: a message of <ombra/messages.h> and
/// what the plug-in said it is about.
struct Note {
    unsigned id = 0;                  ///< the message's string id
    int code = 0;                     ///< its OBERR code, or -1 for a plug-in's own message
    std::string text;                 ///< the message in the options' locale, UTF-8
    std::vector<std::string> details; ///< what it is about (UTF-8, as the plug-in wrote them)
    int omittedDetails = 0;           ///< details past the ones kept
    long long count = 0;              ///< how often it applies; "{n}" in its text says it
};

/// What a conversion did. Nothing is written to the output unless the
/// status is kConverted.
struct Result {
    Status status = Status::kFailed;
    std::string reason;  ///< English, empty when converted
    std::string subject; ///< what the reason is about: a path, a setting, a writer
    int systemError = 0; ///< the errno when the system refused
    std::string reader;  ///< the file name of the reader that recognised the input
    int readerId = 0;
    int writerId = 0;
    std::vector<Note> notes;
    /// What the writer received and could not express, counted ("Pictures
    /// left out: 3"; the report ids of <ombra/messages.h>). No notes: they
    /// say what the output lacks, not what went wrong.
    std::vector<Note> dropped;
    unsigned long long outputBytes = 0;

    bool Ok() const { return status == Status::kConverted; }
};

/// How the text writer ends lines.
enum class LineEnd {
    kPlatform, ///< as the library always did: the text convertor's "PC" (CR LF)
    kLF,
    kCRLF,
    kCR,
    kNative, ///< this system's own (LF)
};

/// How to convert. Everything has a default that gives UTF-8 text with
/// this system's line ends.
struct Options {
    /// The writer: a name of the shipped ones ("text", "json", "html",
    /// "pandoc"; <ombra/pluginids.h>), a writer id in decimal, or a format
    /// of PandocFormats() ("docx", "markdown", ...), which pandoc (on the
    /// PATH) writes from the pandoc writer's document.
    std::string writer = "text";
    /// The text writer's encoding: "utf8" (also ""), "utf16", "default"
    /// (each run in its script's Windows code page), or one code page by
    /// name (CodePageByName: "cp1252", "shift_jis", ...), whose missing
    /// characters become '?' and are counted in a note.
    std::string encoding;
    LineEnd lineEnd = LineEnd::kNative;
    /// Reader and writer preferences by their English display names, as
    /// `ombra plugins` lists them (<ombra/settings.h> says how names and
    /// values are read). Applied last; each must name some preference of
    /// the writer or of a reader, with a value that fits.
    std::vector<std::pair<std::string, std::string>> settings;
    /// The language of the notes' texts.
    OBL::LocaleIDEnum locale = OBL::kEnglish;
    /// A conversion with notes fails (Status::kNotes) and writes nothing.
    bool strict = false;
    /// For a format through pandoc: the seconds pandoc may run before it is
    /// stopped and the conversion fails (kPandocFailed); 0 for no limit.
    double pandocSeconds = 0;
};

/// A format written through pandoc: the pandoc writer's document, turned
/// into the format by pandoc (Debian's, found on the PATH). Linked pictures
/// are looked for beside the output, then beside the input; where pandoc
/// puts the pictures into the output, one it cannot read becomes its
/// description, with a note. Its warnings are notes.
struct PandocFormat {
    std::string name;      ///< as Options::writer takes it ("docx")
    std::string extension; ///< of its files, without the dot
    bool binary = false;   ///< a package (docx, odt, epub, pptx), not UTF-8 text
};

/// Every format written through pandoc.
OMBRA_API std::vector<PandocFormat> PandocFormats();

/// Where the input comes from. A Source refers to what it was made from;
/// keep that alive until the call returns. A path to a regular file of 1 MiB
/// or more is read as the reader asks, so a large document is not held
/// twice; every other input is read whole before the conversion. A file
/// that cannot be read to the end it had when opened (an I/O error, a file
/// cut short meanwhile) fails the conversion with Status::kInputUnreadable,
/// as it fails when read whole.
class OMBRA_API Source {
public:
    /// A file, or anything a path opens: a FIFO, a device, /dev/fd/N.
    static Source Path(const std::string& path);
    /// Everything the descriptor gives until its end.
    static Source Descriptor(int descriptor, const std::string& name = "-");
    /// Bytes in memory.
    static Source Bytes(const void* data, std::size_t size, const std::string& name = "");
    static Source Stream(std::istream& in, const std::string& name = "");
    /// The path, or the name given, for messages.
    const std::string& Name() const { return name_; }

    enum class Kind { kPath, kDescriptor, kBytes, kStream };
    Kind GetKind() const { return kind_; }
    int GetDescriptor() const { return descriptor_; }
    const void* GetData() const { return data_; }
    std::size_t GetSize() const { return size_; }
    std::istream* GetStream() const { return stream_; }

private:
    Source(Kind kind, std::string name) : kind_(kind), name_(std::move(name)) {}
    Kind kind_;
    std::string name_;
    int descriptor_ = -1;
    const void* data_ = nullptr;
    std::size_t size_ = 0;
    std::istream* stream_ = nullptr;
};

/// Where the output goes; written only when the conversion succeeded.
class OMBRA_API Sink {
public:
    /// A path, written as users of converters expect: a device, FIFO or
    /// terminal in place; a symbolic link's target; a regular file replaced
    /// whole through a temporary file beside it (mode and owner kept; a
    /// file with several hard links is rewritten in place instead), with
    /// nothing left behind on failure or interruption (RemovePartialOutputs).
    static Sink Path(const std::string& path);
    /// Written to the descriptor as it is (the standard output: 1).
    static Sink Descriptor(int descriptor);
    /// Replaces the string's content.
    static Sink Memory(std::string& out);
    /// The same, for bytes the host writes to the file at destination
    /// afterwards: they are made as for Path(destination).
    static Sink Memory(std::string& out, const std::string& destination);
    static Sink Stream(std::ostream& out);
    /// Nothing is kept (to check that an input converts).
    static Sink Discard();
    const std::string& Name() const { return name_; }
    /// The file the output ends in, when the sink knows it; else empty. An
    /// HTML page or a pandoc document links the pictures in its folder
    /// relative to itself (its Picture folder, unless a setting names one).
    const std::string& Destination() const { return destination_; }

    enum class Kind { kPath, kDescriptor, kMemory, kStream, kDiscard };
    Kind GetKind() const { return kind_; }
    int GetDescriptor() const { return descriptor_; }
    std::string* GetMemory() const { return memory_; }
    std::ostream* GetStream() const { return stream_; }

private:
    Sink(Kind kind, std::string name) : kind_(kind), name_(std::move(name)) {}
    Kind kind_;
    std::string name_;
    std::string destination_;
    int descriptor_ = -1;
    std::string* memory_ = nullptr;
    std::ostream* stream_ = nullptr;
};

/// What a publication says about itself; empty texts and -1 pages where
/// the reader found nothing. Dates are ISO 8601 ("2024-03-05T14:07:09").
struct OMBRA_API Metadata {
    std::string title, author, subject, keywords, comments, application;
    std::string created, modified;
    int pages = -1;
    /// "Title: ..." lines for what is known.
    std::string ToText() const;
    /// One JSON object with every field (null where unknown).
    std::string ToJson() const;
};

/// One preference of a plug-in, for listings.
struct PreferenceInfo {
    std::string name;        ///< the English display name, which settings use
    std::string localName;   ///< the display name in the listing's locale
    std::string kind;        ///< "on/off", "group", "whole number", "number", "text", "choice"
    std::string defaultText; ///< the default in the form settings take
    std::string accepts;     ///< "on or off", "a whole number from 0 to 8", "one of ..."
    std::vector<std::string> choices; ///< an enumeration's entries, English
    int depth = 0;                    ///< 1 for a group's constituents, and so on
};

/// A file format a plug-in reads or writes.
struct FormatInfo {
    std::string format;    ///< the plug-in's format string
    unsigned fileType = 0; ///< four-character codes
    unsigned creatorType = 0;
    std::string extensions; ///< ".sla .sla.gz", from the table of shipped formats
    std::string mimeType;
};

/// One plug-in library found under the folders.
struct PlugInInfo {
    bool reader = false;
    int id = 0;
    std::string name; ///< the name hosts choose it by ("text"), for shipped plug-ins
    std::string path;
    int majorVersion = 0, minorVersion = 0;
    bool loaded = false;
    std::string error; ///< why it did not load, or a later problem
    std::vector<PreferenceInfo> preferences;
    std::vector<FormatInfo> formats;
};

/// Where a Converter finds its plug-ins.
struct Setup {
    /// Folders whose plug-ins are added to the shipped ones.
    std::vector<std::string> readerFolders, writerFolders;
    /// Whether the shipped plug-in folders (ShippedPlugInFolder) come first.
    bool shipped = true;
};

/// Loads the plug-ins once and converts with them, on any number of
/// threads at once (each conversion takes its plug-ins' turns as the core's
/// plug-in locks decide). It registers the display texts of the core and
/// of every plug-in (their *.strings files) as the resource module, unless
/// the host registered a module of its own. Make it after the memory
/// service is installed and destroy it before the service goes.
class OMBRA_API Converter {
public:
    explicit Converter(const Setup& setup = Setup());
    ~Converter();
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    /// kConverted when the converter can work; otherwise why not
    /// (kNoMemoryService, kNoPlugIns).
    const Result& State() const;
    /// Converts one input. Thread-safe.
    Result Convert(const Source& input, const Sink& output, const Options& options = {}) const;
    /// Checks the writer, encoding and settings of options without
    /// converting (the status is kConverted when they are fine).
    Result Check(const Options& options) const;
    /// Reads the input and returns what it says about itself; no writer
    /// plug-in is involved.
    Result ReadMetadata(const Source& input, Metadata& metadata, const Options& options = {}) const;

    /// Every plug-in found, readers first, with display names in locale.
    std::vector<PlugInInfo> PlugIns(OBL::LocaleIDEnum locale = OBL::kEnglish) const;
    /// The folders searched, readers' then writers'.
    const std::vector<std::string>& ReaderFolders() const;
    const std::vector<std::string>& WriterFolders() const;
    /// The *.strings files whose texts were registered, and their problems
    /// ("file:line: ..."), for hosts that show them.
    const std::vector<std::string>& TextFiles() const;
    const std::vector<std::string>& TextProblems() const;
    /// The writer id that a name or decimal id names; 0 when none.
    static int WriterIdFor(const std::string& writer);

    /// The manager underneath, for hosts that want the rest of the API.
    OBConvertorManager* Manager() const;

private:
    struct Impl;
    Impl* impl_;
};

/// Converts with a converter of the shipped plug-ins, made on first use and
/// kept until ReleaseDefaultConverter (MemoryScope's end calls it).
OMBRA_API Result ConvertFile(const std::string& input, const std::string& output,
                             const Options& options = {});
OMBRA_API Result Convert(const Source& input, const Sink& output, const Options& options = {});
OMBRA_API Converter& DefaultConverter();
OMBRA_API void ReleaseDefaultConverter();

/// Writes bytes to a sink the way Convert writes its output (for outputs a
/// host makes itself, such as metadata).
OMBRA_API Result WriteOutput(const Sink& sink, const std::string& bytes);

/// Where below an output folder the output of input goes when outputs keep
/// their inputs' folders (the ombra program's --keep-folders): input's own
/// folder as given, lexically normal, without its root ("/archive/a/x.sla"
/// gives "archive/a", "a/../b/x.sla" "b", "x.sla" and "./x.sla" "").
/// False for an input above the working folder ("../x.sla"), whose folder
/// would leave the output folder.
OMBRA_API bool KeptFolder(const std::string& input, std::string& folder);

/// The folder that holds the shipped plug-ins (with readers/ and writers/
/// inside), found beside the core library: <libdir>/ombra/plugins when
/// installed, plugins/ in the build tree; empty when there is none.
OMBRA_API std::string ShippedPlugInFolder();

/// The Windows number of a code page named as people name it: "cp1252",
/// "windows-1252", "1252", "shift_jis", "euc-jp", "iso-8859-1", "latin1",
/// "macroman", "koi8-r", "gb18030", "big5", "euc-kr", ... (letter case and
/// '-' or '_' do not count). 0 when unknown or not available here.
OMBRA_API unsigned CodePageByName(const std::string& name);
/// The names CodePageByName knows, for help texts.
OMBRA_API std::vector<std::string> CodePageNames();

/// Removes the temporary files of outputs being written. Async-signal-
/// safe: call it from a host's SIGINT and SIGTERM handlers.
OMBRA_API void RemovePartialOutputs();

/// Installs a memory service on the C heap for the scope's life, unless
/// one is installed already. At its end it releases the default converter
/// and the calling thread's state (OBReleaseThreadState), then removes the
/// service it installed. Make one in main() before anything else.
class OMBRA_API MemoryScope {
public:
    MemoryScope();
    ~MemoryScope();
    MemoryScope(const MemoryScope&) = delete;
    MemoryScope& operator=(const MemoryScope&) = delete;

private:
    OBMemoryService* installed_;
};

} // namespace ombra

#endif
