// Several inputs at once (-j N): the worker threads share one converter,
// whose plug-in objects let one conversion at a time through from a plug-in's
// Init to its Reset. What overlaps is everything outside that stretch:
// reading inputs, the readers' probes, writing outputs, and conversions
// through different plug-ins. Each conversion collects its own notes.
#include "Convert.h"

#include "HostSystem.h"
#include "Messages.h"
#include "Reporter.h"

#include <ombra/pluginids.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace ombra_host {

namespace {

using ombra::Status;

std::mutex gStandardOutput;

std::string ShownPath(const std::string& path) {
    return path == "-" ? Say(Message::kStandardOutput) : path;
}

std::string Describe(const ombra::Result& result, const Job& job) {
    switch (result.status) {
    case Status::kInputMissing:
        return Say(Message::kNotFound);
    case Status::kInputUnreadable:
        return Say(Message::kUnreadable, SayError(result.systemError));
    case Status::kNotRecognised:
        return Say(Message::kNotRecognised);
    case Status::kUnreadable:
        return Say(Message::kCouldNotRead, result.reader);
    case Status::kFailed:
        return Say(Message::kFailed);
    case Status::kOutOfMemory:
        return Say(Message::kOutOfMemory);
    case Status::kNotes:
        return Say(Message::kStrict);
    case Status::kOutputIsInput:
        return Say(Message::kReplacesInput, job.output);
    case Status::kOutputFailed: {
        std::string text =
            Say(Message::kCannotWrite, ShownPath(job.output), SayError(result.systemError));
        int e = result.systemError;
        if (!job.outputNamed && (e == EACCES || e == EPERM || e == EROFS))
            text += "; " + Say(Message::kHintOutput);
        return text;
    }
    default:
        return result.reason;
    }
}

void NoteLines(const ombra::Result& result, std::vector<std::string>& lines) {
    for (const ombra::Note& note : result.notes) {
        lines.push_back(Say(Message::kNote, note.text));
        for (const std::string& detail : note.details)
            lines.push_back(Say(Message::kDetail, detail));
        if (note.omittedDetails > 0)
            lines.push_back(Say(Message::kMoreDetails, std::to_string(note.omittedDetails)));
    }
}

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// The metadata, as text or JSON, naming the input when asked.
std::string MetadataText(const ombra::Metadata& metadata, const Job& job, const JobMode& mode) {
    std::string name = job.input == "-" ? "-" : job.input;
    if (mode.json) {
        std::string json = metadata.ToJson();
        if (mode.label) json.insert(1, "\"file\": " + JsonText(name) + ", ");
        return json;
    }
    std::string text = metadata.ToText();
    return mode.label ? "File: " + name + "\n" + text + "\n" : text;
}

} // namespace

Outcome ConvertOne(const ombra::Converter& converter, const Job& job, const ombra::Options& options,
                   const JobMode& mode) {
    Outcome outcome;
    ombra::Source source =
        job.input == "-" ? ombra::Source::Descriptor(0, "-") : ombra::Source::Path(job.input);
    bool toStandardOutput = job.output == "-";
    std::string bytes;
    ombra::Sink sink =
        toStandardOutput ? ombra::Sink::Memory(bytes) : ombra::Sink::Path(job.output);
    ombra::Result result;
    if (mode.metadata) {
        ombra::Metadata metadata;
        result = converter.ReadMetadata(source, metadata, options);
        if (result.Ok()) {
            result.notes.clear(); // the content's notes say nothing of the metadata
            result = ombra::WriteOutput(sink, MetadataText(metadata, job, mode));
        }
    } else {
        result = converter.Convert(source, sink, options);
    }
    NoteLines(result, outcome.lines);
    outcome.reader = result.reader;
    outcome.converted = result.Ok();
    if (!outcome.converted) outcome.reason = Describe(result, job);
    if (outcome.converted && toStandardOutput) outcome.standardOutput = std::move(bytes);
    return outcome;
}

namespace {

std::string OutputExtension(const ombra::Converter& converter, int writerId) {
    if (const OBPLUGIN::Info* shipped = OBPLUGIN::FindWriter(writerId)) return shipped->extension;
    for (const ombra::PlugInInfo& plugIn : converter.PlugIns()) {
        if (plugIn.reader || plugIn.id != writerId || plugIn.formats.empty()) continue;
        std::string extension;
        for (char c : plugIn.formats[0].format)
            if (std::isalnum(static_cast<unsigned char>(c)))
                extension += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!extension.empty()) return extension;
    }
    return "out";
}

Job MakeJob(const Options& options, const std::string& input, const std::string& extension) {
    namespace fs = std::filesystem;
    Job job{input, std::string(), options.hasOutput || options.hasOutdir};
    if (options.hasOutput) {
        job.output = options.output;
        return job;
    }
    if (!options.hasOutdir &&
        (input == "-" || options.command == Command::kDump || options.metadata)) {
        job.output = "-";
        return job;
    }
    fs::path name = input == "-" ? fs::path("stdin") : fs::path(input).filename();
    // A compressed document is named after what it holds: a.sla.gz gives a.txt.
    if (name.extension() == ".gz" && name.stem().has_extension()) name = name.stem();
    name.replace_extension(options.metadata ? "metadata." + extension : extension);
    fs::path folder = options.hasOutdir ? fs::path(options.outdir) : fs::path(input).parent_path();
    job.output = (folder / name).string();
    return job;
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
    const ombra::Converter* converter;
    ombra::Options options;
    JobMode mode;
    bool verbose;
    Reporter* reporter;
    std::atomic<std::size_t> next{0};
    std::atomic<int> failed{0};
};

void Report(Batch& batch, const Job& job, Outcome& outcome) {
    std::string name = job.input == "-" ? Say(Message::kStandardInput) : job.input;
    for (const std::string& line : outcome.lines)
        batch.reporter->Line(name + ": " + line);
    if (outcome.converted && !outcome.standardOutput.empty()) {
        std::lock_guard<std::mutex> lock(gStandardOutput);
        std::fwrite(outcome.standardOutput.data(), 1, outcome.standardOutput.size(), stdout);
        int error = FinishStandardOutput();
        if (error) {
            outcome.converted = false;
            outcome.reason = Say(Message::kCannotWriteOutput, SayError(error));
        }
    }
    if (!outcome.converted) {
        ++batch.failed;
        batch.reporter->Line(name + ": " + outcome.reason);
    } else if (batch.verbose) {
        batch.reporter->Line(
            Say(Message::kConvertedTo, name, ShownPath(job.output), outcome.reader));
    }
    batch.reporter->Advance(name);
}

void RunJobs(Batch& batch) {
    for (;;) {
        std::size_t i = batch.next++;
        if (i >= batch.jobs->size()) return;
        const Job& job = (*batch.jobs)[i];
        Outcome outcome = ConvertOne(*batch.converter, job, batch.options, batch.mode);
        Report(batch, job, outcome);
    }
}

std::string Summary(std::size_t total, int failed, double seconds, int threads) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", seconds);
    std::string text =
        Say(Message::kSummary, std::to_string(total - failed), std::to_string(total));
    if (failed) text += Say(Message::kSummaryFailed, std::to_string(failed));
    text += Say(Message::kSummaryTime, time);
    if (threads > 1) text += Say(Message::kSummaryThreads, std::to_string(threads));
    return text + Say(Message::kSummaryEnd);
}

} // namespace

int RunConversions(const Options& options, const ombra::Converter& converter) {
    ombra::Options layer = MakeOptions(options);
    layer.strict = options.strict;
    ombra::Result checked = converter.Check(layer);
    if (!checked.Ok()) {
        bool usage = checked.status == Status::kNoWriter || checked.status == Status::kBadSetting;
        std::fprintf(stderr, "ombra: %s\n%s", checked.reason.c_str(),
                     usage ? UsageText().c_str() : "");
        return usage ? 2 : 1;
    }
    JobMode mode;
    mode.metadata = options.metadata;
    mode.json = options.metadata && checked.writerId == OBPLUGIN::kDumpWriter;
    mode.label = options.metadata && options.inputs.size() > 1;
    std::string extension =
        mode.metadata ? (mode.json ? "json" : "txt") : OutputExtension(converter, checked.writerId);
    std::vector<Job> jobs;
    for (const std::string& input : options.inputs)
        jobs.push_back(MakeJob(options, input, extension));
    std::string clash = FindClash(jobs);
    if (!clash.empty()) {
        std::fprintf(stderr, "ombra: %s\n%s", clash.c_str(), UsageText().c_str());
        return 2;
    }
    if (options.hasOutdir) {
        int error = MakeFolders(options.outdir);
        if (error) {
            std::fprintf(stderr, "ombra: %s\n",
                         Say(Message::kCannotMakeFolder, options.outdir, SayError(error)).c_str());
            return 1;
        }
    }
    int threads = std::min<int>(options.jobs, static_cast<int>(jobs.size()));
    bool several = jobs.size() > 1;
    Reporter reporter(static_cast<int>(jobs.size()), several && !options.quiet);
    Batch batch;
    batch.jobs = &jobs;
    batch.converter = &converter;
    batch.options = layer;
    batch.mode = mode;
    batch.verbose = options.verbose;
    batch.reporter = &reporter;
    if (threads <= 1) {
        RunJobs(batch);
    } else {
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back(RunJobs, std::ref(batch));
        for (std::thread& worker : workers)
            worker.join();
    }
    reporter.Finish();
    int failed = batch.failed.load();
    if (several && !options.quiet)
        std::fprintf(stderr, "ombra: %s\n",
                     Summary(jobs.size(), failed, reporter.Elapsed(), threads).c_str());
    return failed ? 1 : 0;
}

} // namespace ombra_host
