// The native half of the ombra package: one converter for the process,
// conversions with the GIL released, and results as plain objects that the
// Python half (ombra/__init__.py) turns into values and exceptions.
#include <ombra/convert.h>
#include <ombra/pluginids.h>
#include <ombra/settings.h>

#include "Isolated.h"
#include "Messages.h"
#include "PandocRoute.h"
#include "platform/Files.h"
#include "platform/Outputs.h"
#include "platform/Processes.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace {

// Whether the interpreter is ending: a thread that takes the GIL then ends
// on the spot.
bool Finalizing() {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing();
#else
    return _Py_IsFinalizing();
#endif
}

// Releases the GIL while it lives. A daemon thread whose conversion ends
// while the interpreter shuts down does not take the GIL back: the
// interpreter would end the thread from inside this destructor, and that
// ends the process ("terminate called"). It waits for the exit instead.
class WithoutGil {
public:
    WithoutGil() : state_(PyEval_SaveThread()) {}
    ~WithoutGil() {
        while (Finalizing())
            std::this_thread::sleep_for(std::chrono::seconds(1));
        PyEval_RestoreThread(state_);
    }
    WithoutGil(const WithoutGil&) = delete;
    WithoutGil& operator=(const WithoutGil&) = delete;

private:
    PyThreadState* state_;
};

// The process's converter. Conversions share it; a change of plug-in
// folders waits for them to end. It is never destroyed: the plug-ins stay
// loaded until the process ends, as the memory service does.
struct Process {
    std::shared_mutex lock;
    std::unique_ptr<ombra::Converter> converter;
    ombra::Setup setup;
    std::atomic<int> busy{0}; // threads that use the converter or replace it
};

// Counts a thread's use of the process's converter while it lives.
class Busy {
public:
    explicit Busy(Process& process) : process_(process) { ++process_.busy; }
    ~Busy() { --process_.busy; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    Process& process_;
};

Process& Instance() {
    static Process* process = new Process;
    return *process;
}

// Whether this process was forked (multiprocessing, os.fork) while another
// thread used the converter: the plug-in objects that thread held stay
// held by a thread the child does not have, and a conversion would wait
// for them for ever.
std::atomic<bool> gForkedWhileBusy{false};

void NoteForkInChild() {
    if (Instance().busy.load() > 0) gForkedWhileBusy = true;
}

void RefuseIfForkedWhileBusy() {
    if (gForkedWhileBusy.load())
        throw std::runtime_error(
            "this process was forked while another thread converted, and the plug-ins that "
            "thread held cannot be used here; start processes with the 'spawn' or "
            "'forkserver' method, or fork while no other thread converts");
}

Process& TheProcess() {
    static const int registered = ::pthread_atfork(nullptr, nullptr, NoteForkInChild);
    (void)registered;
    RefuseIfForkedWhileBusy();
    return Instance();
}

bool SameSetup(const ombra::Setup& a, const ombra::Setup& b) {
    return a.readerFolders == b.readerFolders && a.writerFolders == b.writerFolders &&
           a.shipped == b.shipped;
}

// Runs work with the converter under a shared lock, the GIL released.
template <typename Work> auto WithConverter(Work work) {
    WithoutGil released;
    Process& process = TheProcess();
    Busy busy(process);
    for (;;) {
        {
            std::shared_lock<std::shared_mutex> shared(process.lock);
            if (process.converter) return work(*process.converter);
        }
        std::unique_lock<std::shared_mutex> only(process.lock);
        if (!process.converter) process.converter.reset(new ombra::Converter(process.setup));
    }
}

// Loads the plug-ins of these folders (besides the shipped ones unless
// shipped is false), replacing the converter when they differ.
ombra::Result UsePlugIns(const std::vector<std::string>& readers,
                         const std::vector<std::string>& writers, bool shipped) {
    ombra::Setup setup;
    setup.readerFolders = readers;
    setup.writerFolders = writers;
    setup.shipped = shipped;
    WithoutGil released;
    Process& process = TheProcess();
    Busy busy(process);
    std::unique_lock<std::shared_mutex> only(process.lock);
    if (!process.converter || !SameSetup(setup, process.setup)) {
        isolated::StopHelpers();   // they have the old plug-ins
        process.converter.reset(); // the plug-ins unload before the new ones load
        process.setup = setup;
        process.converter.reset(new ombra::Converter(setup));
    }
    return process.converter->State();
}

OBL::LocaleIDEnum Locale(const std::string& name) {
    if (name == "ja") return OBL::kJapanese;
    if (name.empty() || name == "en") return OBL::kEnglish;
    throw py::value_error("locale takes 'en' or 'ja', not '" + name + "'");
}

ombra::LineEnd LineEnd(const std::string& name) {
    static const std::pair<const char*, ombra::LineEnd> kEnds[] = {
        {"native", ombra::LineEnd::kNative},
        {"lf", ombra::LineEnd::kLF},
        {"crlf", ombra::LineEnd::kCRLF},
        {"cr", ombra::LineEnd::kCR},
        {"platform", ombra::LineEnd::kPlatform}};
    for (const auto& entry : kEnds)
        if (name == entry.first) return entry.second;
    throw py::value_error("eol takes native, lf, crlf, cr or platform, not '" + name + "'");
}

ombra::Options MakeOptions(const std::string& writer, const std::string& encoding,
                           const std::string& eol,
                           const std::vector<std::pair<std::string, std::string>>& settings,
                           const std::string& locale, bool strict) {
    ombra::Options options;
    options.writer = writer;
    options.encoding = encoding;
    options.lineEnd = LineEnd(eol);
    options.settings = settings;
    options.locale = Locale(locale);
    options.strict = strict;
    return options;
}

// A path as the system names it: a str in the file system's encoding, the
// bytes os.listdir escaped restored; bytes as they are.
std::string FsPath(const py::handle& path) {
    py::object bytes = py::reinterpret_borrow<py::object>(path);
    if (!PyBytes_Check(path.ptr())) {
        bytes = py::reinterpret_steal<py::object>(PyUnicode_EncodeFSDefault(path.ptr()));
        if (!bytes) throw py::error_already_set();
    }
    std::string text = bytes.cast<std::string>();
    if (text.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
    return text;
}

// The reverse, for paths the core gives back.
py::str FsText(const std::string& text) {
    PyObject* decoded = PyUnicode_DecodeFSDefaultAndSize(text.data(), Py_ssize_t(text.size()));
    if (!decoded) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(decoded);
}

// A conversion's result with its output, which the GIL must be held to make.
struct Conversion {
    ombra::Result result;
    py::bytes output;
};

// The input: a path (str) or the bytes of a document; bytes objects do not
// change, so the conversion reads them in place without the GIL.
template <typename Work>
auto WithSource(const py::object& source, const std::string& name, Work work) {
    if (py::isinstance<py::bytes>(source)) {
        char* data = nullptr;
        Py_ssize_t size = 0;
        PyBytes_AsStringAndSize(source.ptr(), &data, &size);
        return work(ombra::Source::Bytes(data, static_cast<std::size_t>(size), name));
    }
    return work(ombra::Source::Path(FsPath(source)));
}

// The format that pandoc writes for the caller, by name; null for the
// writer's own output.
const ombra_pandoc::PandocFormat* PandocFormatOf(const std::string& name) {
    const ombra_pandoc::PandocFormat* format =
        name.empty() ? nullptr : ombra_pandoc::FindPandocFormat(name);
    if (!name.empty() && !format) throw std::invalid_argument("no pandoc format " + name);
    return format;
}

// Whether a signal's handler raised meanwhile (Ctrl-C's KeyboardInterrupt),
// asked without the GIL. Handlers run on the main thread only; elsewhere
// this finds none.
bool SignalRaised() {
    if (Finalizing()) return false;
    py::gil_scoped_acquire gil;
    return PyErr_CheckSignals() != 0;
}

// The time a conversion may take, the helper's and pandoc's together, and
// a stop when a signal's handler raises.
struct Limit {
    double seconds = 0; // 0 for none
    obsys::RunLimits run;
    static Limit From(double seconds) {
        Limit limit;
        if (seconds > 0 && seconds < 1e9) {
            limit.seconds = seconds;
            limit.run.deadline =
                obsys::MonotonicMilliseconds() + std::llround(std::ceil(seconds * 1000));
        }
        limit.run.givenUp = SignalRaised;
        return limit;
    }
    bool Passed() const {
        return run.deadline >= 0 && obsys::MonotonicMilliseconds() >= run.deadline;
    }
};

// What follows a conversion into memory, without the GIL: the input is
// never written over (also through a link), pandoc turns the pandoc
// writer's document into format, and the output goes to path whole, so
// that a failure leaves no file. input is empty for bytes.
void Finish(ombra::Result& result, std::string& bytes, const std::string& input,
            const std::string& path, const ombra_pandoc::PandocFormat* format,
            const ombra::Options& options, const Limit& limit = Limit::From(0)) {
    if (result.Ok() && !path.empty() && !input.empty() &&
        obsys::SameFile(input.c_str(), path.c_str())) {
        result = ombra::Result();
        result.status = ombra::Status::kOutputIsInput;
        result.reason = ombra::StatusText(result.status);
        result.subject = path;
    }
    if (result.Ok() && format) {
        // Its notes and failures in the caller's language, like the reader's.
        const bool japanese = options.locale == OBL::kJapanese;
        ombra_host::MessageLanguageScope language(japanese ? "ja" : "en");
        const ombra_pandoc::Wording wording{japanese, japanese, ombra_host::SayError};
        ombra_pandoc::PandocResult(result, *format, input.empty() ? "-" : input, path, bytes,
                                   options.strict, &limit.run, wording);
        if (result.status == ombra::Status::kPandocFailed && limit.Passed()) {
            result.status = ombra::Status::kFailed;
            result.reason = isolated::TimedOut(limit.seconds);
        }
    }
    if (result.Ok() && !path.empty()) {
        ombra::Result written = ombra::WriteOutput(ombra::Sink::Path(path), bytes);
        if (!written.Ok()) result = written;
    }
    if (!result.Ok() || !path.empty()) bytes.clear();
}

Conversion Convert(const py::object& source, const py::object& label, const py::object& output,
                   const ombra::Options& options, const std::string& pandoc) {
    const ombra_pandoc::PandocFormat* format = PandocFormatOf(pandoc);
    std::string bytes, name = FsPath(label);
    std::string path = output.is_none() ? std::string() : FsPath(output);
    // Through pandoc, the pandoc writer's document stays in memory, linking
    // the pictures as the output's folder sees them.
    ombra::Sink sink = format         ? ombra::Sink::Memory(bytes, path)
                       : path.empty() ? ombra::Sink::Memory(bytes)
                                      : ombra::Sink::Path(path);
    Conversion conversion;
    conversion.result = WithSource(source, name, [&](const ombra::Source& in) {
        return WithConverter(
            [&](const ombra::Converter& c) { return c.Convert(in, sink, options); });
    });
    if (format) {
        std::string input = py::isinstance<py::bytes>(source) ? std::string() : FsPath(source);
        WithoutGil released;
        Finish(conversion.result, bytes, input, path, format, options);
    }
    if (PyErr_Occurred()) throw py::error_already_set(); // pandoc stopped by Ctrl-C
    conversion.output = py::bytes(bytes);
    return conversion;
}

// Forks a helper when none is idle. The fork happens under the converter's
// lock held alone, so that no thread holds a lock of the core that the
// helper would wait for; its conversions need no lock of the process.
// When a signal's handler raises meanwhile (Ctrl-C's KeyboardInterrupt),
// the helper is stopped and the exception goes to the caller.
ombra::Result ConvertInHelper(const isolated::Request& request, double timeout,
                              std::string& output) {
    ombra::Result result;
    {
        WithoutGil released;
        Process& process = TheProcess();
        const auto start = [&](const isolated::Start& start) {
            Busy busy(process); // the helper converts with objects of its own
            std::unique_lock<std::shared_mutex> only(process.lock);
            if (!process.converter) process.converter.reset(new ombra::Converter(process.setup));
            return start(*process.converter);
        };
        result = isolated::Convert(request, timeout, output, start, SignalRaised);
    }
    if (PyErr_Occurred()) throw py::error_already_set();
    return result;
}

Conversion ConvertIsolated(const py::object& source, const py::object& name,
                           const py::object& output, const ombra::Options& options, double timeout,
                           const std::string& pandoc) {
    const ombra_pandoc::PandocFormat* format = PandocFormatOf(pandoc);
    isolated::Request request;
    request.name = FsPath(name);
    request.options = options;
    request.bytes = py::isinstance<py::bytes>(source);
    request.input = request.bytes ? std::string(source.cast<py::bytes>()) : FsPath(source);
    std::string path = output.is_none() ? std::string() : FsPath(output);
    request.destination = path;
    std::error_code error; // none: relative paths then name no file
    request.folder = std::filesystem::current_path(error).string();
    std::string bytes;
    Conversion conversion;
    const Limit limit = Limit::From(timeout);
    conversion.result = ConvertInHelper(request, timeout, bytes);
    {
        WithoutGil released;
        Finish(conversion.result, bytes, request.bytes ? std::string() : request.input, path,
               format, options, limit);
    }
    if (PyErr_Occurred()) throw py::error_already_set(); // pandoc stopped by Ctrl-C
    conversion.output = py::bytes(bytes);
    return conversion;
}

std::pair<ombra::Result, std::string> Metadata(const py::object& source, const py::object& name,
                                               const ombra::Options& options) {
    ombra::Metadata metadata;
    ombra::Result result = WithSource(source, FsPath(name), [&](const ombra::Source& in) {
        return WithConverter(
            [&](const ombra::Converter& c) { return c.ReadMetadata(in, metadata, options); });
    });
    return {result, result.Ok() ? metadata.ToJson() : std::string()};
}

// The shipped writers by name: their ids and output extensions.
py::dict ShippedWriters() {
    py::dict writers;
    for (const OBPLUGIN::Info& info : OBPLUGIN::kAll)
        if (!info.reader) writers[info.name] = py::make_tuple(info.id, info.extension);
    return writers;
}

// The formats written through pandoc, by name: their extensions, for naming
// outputs, and whether they are binary rather than UTF-8 text.
py::dict PandocFormats() {
    py::dict formats;
    for (const ombra_pandoc::PandocFormat& format : ombra_pandoc::PandocFormats())
        formats[format.name] = py::make_tuple(format.extension, format.binary);
    return formats;
}

// The folder below an output folder where keep_folders puts path's output,
// as the ombra program's --keep-folders does; None for a path above the
// working folder.
py::object KeptFolder(const py::handle& path) {
    std::string folder;
    if (!ombra::KeptFolder(FsPath(path), folder)) return py::none();
    return FsText(folder);
}

// A note's value: what pickles it, compares and hashes it.
py::tuple NoteState(const ombra::Note& note) {
    return py::make_tuple(note.id, note.code, note.text, py::tuple(py::cast(note.details)),
                          note.omittedDetails, note.count);
}

ombra::Note NoteFromState(const py::tuple& state) {
    if (state.size() != 6) throw py::value_error("not the state of an ombra.Note");
    ombra::Note note;
    note.id = state[0].cast<unsigned>();
    note.code = state[1].cast<int>();
    note.text = state[2].cast<std::string>();
    note.details = state[3].cast<std::vector<std::string>>();
    note.omittedDetails = state[4].cast<int>();
    note.count = state[5].cast<long long>();
    return note;
}

void BindResults(py::module_& m) {
    py::enum_<ombra::Status> status(m, "Status", "What became of a conversion.");
#define OMBRA_STATUS(Ident, Name, Text) status.value(#Name, ombra::Status::Ident);
#include <ombra/defs/ConvertStatuses.def>

    py::class_<ombra::Note>(m, "Note", "A note of the conversion log: what a reader repaired.")
        .def_readonly("text", &ombra::Note::text, "the message, in the options' locale")
        .def_readonly("details", &ombra::Note::details, "what it is about: a frame, a style")
        .def_readonly("omitted_details", &ombra::Note::omittedDetails)
        .def_readonly("id", &ombra::Note::id, "the message's string id")
        .def("__str__",
             [](const ombra::Note& note) {
                 std::string text = note.text;
                 for (std::size_t i = 0; i < note.details.size(); ++i)
                     text += (i ? "; " : ": ") + note.details[i];
                 return text;
             })
        .def("__repr__", [](const ombra::Note& note) { return "<ombra.Note " + note.text + ">"; })
        .def(
            "__eq__",
            [](const ombra::Note& a, const ombra::Note& b) {
                return NoteState(a).equal(NoteState(b));
            },
            py::is_operator())
        .def("__hash__", [](const ombra::Note& note) { return py::hash(NoteState(note)); })
        .def(py::pickle(&NoteState, &NoteFromState));

    py::class_<ombra::Result>(m, "Result")
        .def_readonly("status", &ombra::Result::status)
        .def_readonly("reason", &ombra::Result::reason)
        .def_property_readonly("subject", [](const ombra::Result& r) { return FsText(r.subject); })
        .def_readonly("system_error", &ombra::Result::systemError)
        .def_readonly("reader", &ombra::Result::reader)
        .def_readonly("writer_id", &ombra::Result::writerId)
        .def_readonly("notes", &ombra::Result::notes);

    py::class_<Conversion>(m, "Conversion")
        .def_readonly("result", &Conversion::result)
        .def_readonly("output", &Conversion::output);
}

void BindPlugIns(py::module_& m) {
    py::class_<ombra::PreferenceInfo>(m, "Preference", "A setting of a plug-in.")
        .def_readonly("name", &ombra::PreferenceInfo::name, "the English name settings take")
        .def_readonly("local_name", &ombra::PreferenceInfo::localName)
        .def_readonly("kind", &ombra::PreferenceInfo::kind)
        .def_readonly("default", &ombra::PreferenceInfo::defaultText)
        .def_readonly("accepts", &ombra::PreferenceInfo::accepts)
        .def_readonly("choices", &ombra::PreferenceInfo::choices)
        .def_readonly("depth", &ombra::PreferenceInfo::depth)
        .def("__repr__", [](const ombra::PreferenceInfo& p) {
            return "<ombra.Preference " + p.name + " = " + p.defaultText + ">";
        });

    py::class_<ombra::FormatInfo>(m, "FormatInfo")
        .def_readonly("format", &ombra::FormatInfo::format)
        .def_readonly("extensions", &ombra::FormatInfo::extensions)
        .def_readonly("mime_type", &ombra::FormatInfo::mimeType);

    py::class_<ombra::PlugInInfo>(m, "PlugIn", "A reader or writer plug-in found in the folders.")
        .def_readonly("reader", &ombra::PlugInInfo::reader)
        .def_readonly("id", &ombra::PlugInInfo::id)
        .def_readonly("name", &ombra::PlugInInfo::name)
        .def_readonly("path", &ombra::PlugInInfo::path)
        .def_readonly("loaded", &ombra::PlugInInfo::loaded)
        .def_readonly("error", &ombra::PlugInInfo::error)
        .def_readonly("preferences", &ombra::PlugInInfo::preferences)
        .def_readonly("formats", &ombra::PlugInInfo::formats)
        .def_property_readonly("version",
                               [](const ombra::PlugInInfo& p) {
                                   return std::to_string(p.majorVersion) + "." +
                                          std::to_string(p.minorVersion);
                               })
        .def("__repr__", [](const ombra::PlugInInfo& p) {
            return std::string("<ombra.PlugIn ") + (p.reader ? "reader " : "writer ") +
                   std::to_string(p.id) + " " + p.path + ">";
        });
}

} // namespace

PYBIND11_MODULE(_ombra, m) {
    m.doc() = "The native half of the ombra package; use the functions of ombra itself.";
    m.attr("__version__") = OMBRA_VERSION_STRING;
    // The memory service comes before every other call into the core and
    // stays until the process ends.
    static ombra::MemoryScope* memory = new ombra::MemoryScope;
    (void)memory;
    BindResults(m);
    BindPlugIns(m);
    m.def("use_plugins", &UsePlugIns, py::arg("readers"), py::arg("writers"), py::arg("shipped"));
    m.def("options", &MakeOptions, py::arg("writer"), py::arg("encoding"), py::arg("eol"),
          py::arg("settings"), py::arg("locale"), py::arg("strict"));
    py::class_<ombra::Options>(m, "Options");
    m.def("convert", &Convert, py::arg("source"), py::arg("name"), py::arg("output"),
          py::arg("options"), py::arg("pandoc") = "");
    m.def("convert_isolated", &ConvertIsolated, py::arg("source"), py::arg("name"),
          py::arg("output"), py::arg("options"), py::arg("timeout"), py::arg("pandoc") = "");
    m.def("metadata", &Metadata, py::arg("source"), py::arg("name"), py::arg("options"));
    m.def("plugins", [](const std::string& locale) {
        OBL::LocaleIDEnum id = Locale(locale);
        return WithConverter([&](const ombra::Converter& c) { return c.PlugIns(id); });
    });
    m.def("state",
          [] { return WithConverter([](const ombra::Converter& c) { return c.State(); }); });
    m.def("shipped_writers", &ShippedWriters);
    m.def("pandoc_formats", &PandocFormats);
    m.def("kept_folder", &KeptFolder, py::arg("path"));
    m.def(
        "setting_name_matches",
        [](const std::string& display, const std::string& name) {
            return OBSettingNameMatches(display, name) != 0;
        },
        py::arg("display"), py::arg("name"));
}
