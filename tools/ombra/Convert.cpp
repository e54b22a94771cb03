// How several inputs are converted at once (-j N).
//
// A convertor runs one conversion at a time: it remembers the reader that
// recognised its last input. So each worker thread makes a convertor
// manager of its own, which gives the thread its own convertor and installs
// the thread's own text service. The managers share the one reader manager
// and writer manager of the process and with them the plug-in objects,
// which let one conversion at a time through, from a plug-in's Init to its
// Reset. What overlaps between threads is therefore everything outside
// that stretch: reading an input file into memory, the readers' probes
// (CanImportThis), writing an output file, and a reader's preparation while
// another conversion has a different reader. Conversions through the same
// reader and writer take turns in the pump.
#include "Convert.h"

#include "HostSystem.h"
#include "Reporter.h"

#include <ombra/diagnostics.h>
#include <ombra/files.h>
#include <ombra/memory.h>
#include <ombra/pluginids.h>
#include <ombra/typedstreams.h>
#include <ombra/writermanager.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>
#include <vector>

namespace ombra_host {

namespace {

constexpr int kTextWriterId = OBPLUGIN::kTextWriter;

/// Output bytes in memory, growing as needed.
class MemoryBytes : public OBXferBytes {
public:
    ~MemoryBytes() override;

    unsigned long long Read(void* buffer, unsigned long long count) override {
        unsigned long long n = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
        if (n > count) n = count;
        if (n) std::memcpy(buffer, bytes_.data() + position_, n);
        position_ += n;
        state_ = n < count ? kStreamEOF : kStreamOK;
        return n;
    }
    unsigned long long Write(const void* buffer, unsigned long long count) override {
        if (!buffer && count) {
            state_ = kStreamError;
            return 0;
        }
        try {
            if (position_ + count > bytes_.size()) bytes_.resize(position_ + count);
        } catch (const std::bad_alloc&) {
            state_ = kStreamError;
            return 0;
        }
        if (count) std::memcpy(bytes_.data() + position_, buffer, count);
        position_ += count;
        return count;
    }
    unsigned long long Seek(long long offset, OBSeekFromWhere from) override {
        long long base = from == kSeekFromStart     ? 0
                         : from == kSeekFromCurrent ? static_cast<long long>(position_)
                         : from == kSeekFromEnd     ? static_cast<long long>(bytes_.size())
                                                    : -1;
        if (base < 0) return position_;
        long long target = base + offset;
        if (target < 0 || target > static_cast<long long>(bytes_.size()))
            target = static_cast<long long>(bytes_.size());
        position_ = static_cast<unsigned long long>(target);
        if (state_ == kStreamEOF) state_ = kStreamOK;
        return position_;
    }
    unsigned long long Tell() override { return position_; }
    void Flush() override {}
    OBStreamState GetStreamState() override { return state_; }
    void SetEndOfStream() override { bytes_.resize(position_); }

    const std::vector<unsigned char>& Bytes() const { return bytes_; }

private:
    std::vector<unsigned char> bytes_;
    unsigned long long position_ = 0;
    OBStreamState state_ = kStreamOK;
};

MemoryBytes::~MemoryBytes() = default;

struct StreamDeleter {
    void operator()(OBStream* stream) const { delete stream; }
};
using StreamPtr = std::unique_ptr<OBStream, StreamDeleter>;

std::atomic<unsigned long> gTemporarySequence{0};

// The input, read into memory; the file stream itself when there is no
// memory for all of it.
StreamPtr OpenInput(const std::string& path, std::string& reason) {
    StreamPtr file(
        OBStreamUtilRef::CreateFileStreamRead(OBSysFileRef(path.c_str()), kFileRead, 0, 0));
    if (!file) {
        std::string why = WhyUnreadable(path);
        reason = "unreadable (" + (why.empty() ? std::string("cannot be opened") : why) + ")";
        return nullptr;
    }
    long long size = file->Seek(0, kSeekFromEnd);
    file->Seek(0, kSeekFromStart);
    if (size < 0) {
        reason = "unreadable (its size cannot be read)";
        return nullptr;
    }
    unsigned char* data = size > 0 ? static_cast<unsigned char*>(OBLibAllocate(size)) : nullptr;
    if (size > 0 && !data) return file;
    long long got = 0;
    while (got < size) {
        long long n = file->XferByte(data + got, size - got);
        if (n <= 0) break;
        got += n;
    }
    if (got != size) {
        OBLibFree(data);
        std::string why = WhyUnreadable(path);
        reason = "unreadable (" + (why.empty() ? std::string("read error") : why) + ")";
        return nullptr;
    }
    file.reset();
    StreamPtr memory(
        OBStreamUtilRef::CreateBufferStreamRead(data, static_cast<unsigned long long>(size), 1));
    if (!memory) reason = "unreadable (out of memory)";
    return memory;
}

std::string FolderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

// Writes the bytes to path through a temporary file beside it.
bool WriteOutput(const std::string& path, const std::vector<unsigned char>& bytes,
                 std::string& reason) {
    if (path == "-") {
        if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) {
            reason = "cannot write to the standard output";
            return false;
        }
        if (std::fflush(stdout) != 0) {
            reason = "cannot write to the standard output";
            return false;
        }
        return true;
    }
    if (KindOf(path) == PathKind::kFolder) {
        reason = "cannot write " + path + " (is a folder)";
        return false;
    }
    std::string folder = FolderOf(path);
    std::string why = WhyNotWritable(folder);
    if (!why.empty()) {
        reason = "cannot write " + path + " (" + why + ")";
        return false;
    }
    std::string name = std::filesystem::path(path).filename().string();
    std::string temporary =
        (std::filesystem::path(folder) / ("." + name + ".ombra-" + std::to_string(ProcessId()) +
                                          "-" + std::to_string(++gTemporarySequence) + ".part"))
            .string();
    int guard = GuardTemporaryFile(temporary);
    bool written = false;
    {
        StreamPtr out(OBStreamUtilRef::CreateFileStreamWrite(OBSysFileRef(temporary.c_str()),
                                                             kFileWrite | kFileTruncate, 0, 0));
        if (out) {
            long long want = static_cast<long long>(bytes.size());
            long long wrote =
                want ? out->XferByte(const_cast<unsigned char*>(bytes.data()), want) : 0;
            out->Flush();
            written = wrote == want && out->GetStreamState() == kStreamOK;
        }
    }
    if (written) {
        why = RenameReplacing(temporary, path);
        written = why.empty();
    } else {
        why = WhyNotWritable(folder);
        if (why.empty()) why = "write error";
    }
    if (!written) {
        RemoveFile(temporary);
        reason = "cannot write " + path + " (" + why + ")";
    }
    UnguardTemporaryFile(guard);
    return written;
}

} // namespace

Outcome ConvertOne(OBConvertor* convertor, const Job& job, const Preferences* options,
                   bool collectNotes, OBL::LocaleIDEnum locale) {
    Outcome outcome;
    switch (KindOf(job.input)) {
    case PathKind::kMissing:
        outcome.reason = "not found";
        return outcome;
    case PathKind::kFolder:
        outcome.reason = "unreadable (is a folder)";
        return outcome;
    default:
        break;
    }
    if (job.output != "-" && SameFile(job.input, job.output)) {
        outcome.reason = "the output " + job.output + " would replace the input";
        return outcome;
    }
    if (!convertor) {
        outcome.reason = "the writer cannot be reached";
        return outcome;
    }
    StreamPtr input = OpenInput(job.input, outcome.reason);
    if (!input) return outcome;
    if (convertor->CanConvertThis(input.get()) != 1) {
        outcome.reason = "not recognised by any reader";
        return outcome;
    }
    if (const OBConvertorData* data = convertor->GetConvertorData())
        if (data->reader) outcome.reader = Utf8(data->reader->GetReaderName());

    MemoryBytes bytes;
    StreamPtr output(OBStreamUtilRef::CreateMemoryStreamWrite(&bytes));
    if (!output) {
        outcome.reason = "out of memory";
        return outcome;
    }
    OBConversionLogger log(locale);
    if (collectNotes) OBLoggerUtility::SetLogger(&log);
    input->Seek(0, kSeekFromStart);
    // The plug-ins read texts in the thread's locale, which each conversion's
    // Reset discards.
    LocaleUtil::SetCurrentLocale(locale);
    short pumped = convertor->ExtractData(input.get(), output.get(), options);
    if (collectNotes) {
        OBLoggerUtility::SetLogger(nullptr);
        for (int n = 0; n < log.GetStringCount(); ++n) {
            std::string text = Utf8(log.GetNthString(n));
            if (text.empty()) text = "message " + std::to_string(log.GetNthStringId(n));
            outcome.notes.push_back(text);
        }
    }
    if (pumped != 1) {
        outcome.reason = "the conversion failed (a plug-in stopped with an error)";
        return outcome;
    }
    if (output->GetStreamState() == kStreamError) {
        outcome.reason = "the output could not be kept (out of memory)";
        return outcome;
    }
    output.reset();
    if (!WriteOutput(job.output, bytes.Bytes(), outcome.reason)) return outcome;
    outcome.converted = true;
    return outcome;
}

OBConvertor* ConvertorFor(OBConvertorManager& manager, int writerId, ErrorCode& error) {
    if (writerId == kTextWriterId) return manager.GetConvertor(1, error);
    return manager.GetConvertorForWriter(writerId, error);
}

std::string OutputExtension(OBConvertorManager& manager, int writerId) {
    if (const OBPLUGIN::Info* shipped = OBPLUGIN::FindWriter(writerId)) return shipped->extension;
    // Another writer: its first format, as a lower-case name.
    std::string extension;
    if (WriterManager* writers = manager.GetWriterManager()) {
        for (long long n = 0; n < writers->GetNumberOfWriters() && extension.empty(); ++n) {
            OBWriterData record;
            if (!writers->GetNthWriterData(n, record) || !record.GetWriterRoot() ||
                record.GetWriterID() != writerId)
                continue;
            Format* formats = nullptr;
            short count = 0;
            try {
                record.GetWriterRoot()->GetFormats(formats, count);
            } catch (...) {
                count = 0;
            }
            if (formats && count > 0)
                for (const char* c = formats[0].GetFormatString(); *c; ++c)
                    if (std::isalnum(static_cast<unsigned char>(*c)))
                        extension +=
                            static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
            delete[] formats;
        }
    }
    return extension.empty() ? "out" : extension;
}

namespace {

std::string OutputPath(const Options& options, const std::string& input,
                       const std::string& extension) {
    namespace fs = std::filesystem;
    if (options.hasOutput) return options.output;
    if (options.command == Command::kDump && !options.hasOutdir) return "-";
    fs::path name = fs::path(input).filename();
    // A compressed document is named after what it holds: a.sla.gz gives a.txt.
    if (name.extension() == ".gz" && name.stem().has_extension()) name = name.stem();
    name.replace_extension(extension);
    if (options.hasOutdir) return (fs::path(options.outdir) / name).string();
    return (fs::path(input).parent_path() / name).string();
}

// Two inputs that would write one file.
std::string FindClash(const std::vector<Job>& jobs) {
    namespace fs = std::filesystem;
    std::map<std::string, const Job*> seen;
    for (const Job& job : jobs) {
        if (job.output == "-") continue;
        std::error_code error;
        std::string key = fs::absolute(job.output, error).lexically_normal().string();
        auto entry = seen.emplace(key, &job);
        if (!entry.second)
            return entry.first->second->input + " and " + job.input + " would both write " +
                   job.output;
    }
    return std::string();
}

struct Batch {
    const std::vector<Job>* jobs;
    const Preferences* options;
    OBL::LocaleIDEnum locale;
    bool verbose;
    Reporter* reporter;
    std::atomic<std::size_t> next{0};
    std::atomic<int> failed{0};
};

void Report(Batch& batch, const Job& job, const Outcome& outcome) {
    for (const std::string& note : outcome.notes)
        batch.reporter->Line(job.input + ": note: " + note);
    if (!outcome.converted) {
        ++batch.failed;
        batch.reporter->Line(job.input + ": " + outcome.reason);
    } else if (batch.verbose) {
        std::string to = job.output == "-" ? "the standard output" : job.output;
        batch.reporter->Line(job.input + " -> " + to + " (read by " + outcome.reader + ")");
    }
    batch.reporter->Advance(job.input);
}

void RunJobs(Batch& batch, OBConvertor* convertor, bool collectNotes) {
    for (;;) {
        std::size_t i = batch.next++;
        if (i >= batch.jobs->size()) return;
        const Job& job = (*batch.jobs)[i];
        Report(batch, job, ConvertOne(convertor, job, batch.options, collectNotes, batch.locale));
    }
}

// A worker thread: its own manager, convertor and text service.
void Worker(Batch& batch, const PlugInFolders& folders, int writerId) {
    OBConvertorManager manager(folders.readers, folders.writers);
    ErrorCode error = kNoError;
    OBConvertor* convertor = ConvertorFor(manager, writerId, error);
    RunJobs(batch, convertor, false);
}

} // namespace

int RunConversions(const Options& options, const PlugInFolders& folders,
                   OBConvertorManager& manager, OBL::LocaleIDEnum locale) {
    int writerId = WriterIdFor(options);
    ErrorCode error = kNoError;
    OBConvertor* convertor = ConvertorFor(manager, writerId, error);
    if (!convertor) {
        std::fprintf(stderr, "ombra: no writer with id %d under %s\n", writerId,
                     folders.writers.c_str());
        return 1;
    }

    std::string extension = OutputExtension(manager, writerId);
    std::vector<Job> jobs;
    for (const std::string& input : options.inputs)
        jobs.push_back(Job{input, OutputPath(options, input, extension)});
    std::string clash = FindClash(jobs);
    if (!clash.empty()) {
        std::fprintf(stderr, "ombra: %s\n%s", clash.c_str(), UsageText(false).c_str());
        return 2;
    }
    if (options.hasOutdir) {
        std::string why = MakeFolders(options.outdir);
        if (!why.empty()) {
            std::fprintf(stderr, "ombra: cannot make the folder %s (%s)\n", options.outdir.c_str(),
                         why.c_str());
            return 1;
        }
    }

    Preferences preferences = MakePreferences(options.text);
    int threads = options.jobs;
    if (threads > static_cast<int>(jobs.size())) threads = static_cast<int>(jobs.size());
    bool several = jobs.size() > 1;
    Reporter reporter(static_cast<int>(jobs.size()), several && !options.quiet);
    Batch batch;
    batch.jobs = &jobs;
    batch.options = &preferences;
    batch.locale = locale;
    batch.verbose = options.verbose;
    batch.reporter = &reporter;

    if (threads <= 1) {
        // One thread: the notes of the conversion log can be collected.
        RunJobs(batch, convertor, true);
    } else {
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back(Worker, std::ref(batch), std::cref(folders), writerId);
        for (std::thread& worker : workers)
            worker.join();
    }
    reporter.Finish();

    int failed = batch.failed.load();
    if (several && !options.quiet) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", reporter.Elapsed());
        std::string summary = std::to_string(jobs.size() - failed) + " of " +
                              std::to_string(jobs.size()) + " converted";
        if (failed) summary += ", " + std::to_string(failed) + " failed";
        summary += " (" + std::string(seconds) + " s";
        if (threads > 1) summary += ", " + std::to_string(threads) + " threads";
        summary += ")";
        std::fprintf(stderr, "ombra: %s\n", summary.c_str());
    }
    return failed ? 1 : 0;
}

} // namespace ombra_host
