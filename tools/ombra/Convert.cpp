// `ombra convert` and `ombra dump`: inputs are converted in worker
// processes (Workers.h), outputs written here, in the parent, once whole.
#include "Convert.h"

#include "HostSystem.h"
#include "Messages.h"
#include "Reporter.h"

#include "platform/Files.h"
#include "platform/Processes.h"

#include <ombra/pluginids.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

namespace ombra_host {

namespace {

using ombra::Status;

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
        // ENOENT: beside an input such as /dev/fd/63, which no file can join.
        if (!job.outputNamed && (e == EACCES || e == EPERM || e == EROFS || e == ENOENT))
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
    ombra::Result result;
    if (job.input != "-" && job.output != "-" && SameFile(job.input, job.output)) {
        result.status = Status::kOutputIsInput;
    } else {
        ombra::Source source =
            job.input == "-" ? ombra::Source::Descriptor(0, "-") : ombra::Source::Path(job.input);
        // An HTML page or a pandoc document written to a file links the
        // pictures in its folder relative to itself.
        ombra::Sink sink = ombra::Sink::Memory(outcome.output, job.output == "-" ? "" : job.output);
        if (mode.metadata) {
            ombra::Metadata metadata;
            result = converter.ReadMetadata(source, metadata, options);
            if (result.Ok()) {
                result.notes.clear(); // the content's notes say nothing of the metadata
                result = ombra::WriteOutput(sink, MetadataText(metadata, job, mode));
            }
        } else {
            result = converter.Convert(source, sink, options);
            // pandoc turns the pandoc writer's document into the format.
            if (result.Ok() && mode.pandoc)
                ombra_pandoc::PandocResult(
                    result, *mode.pandoc, job.input, job.output == "-" ? "" : job.output,
                    outcome.output, options.strict, nullptr,
                    ombra_pandoc::Wording{MessagesInJapanese(), MessagesInJapanese(), SayError});
        }
    }
    NoteLines(result, outcome.lines);
    for (const ombra::Note& note : result.dropped)
        outcome.dropped.push_back(Say(Message::kDropped, note.text));
    outcome.reader = result.reader;
    outcome.converted = result.Ok();
    outcome.outOfMemory = result.status == Status::kOutOfMemory;
    if (!outcome.converted) {
        outcome.reason = Describe(result, job);
        outcome.output.clear();
    }
    return outcome;
}

void WriteOutcome(const Job& job, Outcome& outcome) {
    if (!outcome.converted) return;
    if (job.output == "-") {
        if (outcome.output.empty()) return;
        int error = WriteStandardOutput(outcome.output);
        outcome.converted = error == 0;
        if (error) outcome.reason = Say(Message::kCannotWriteOutput, SayError(error));
        return;
    }
    ombra::Result written = ombra::WriteOutput(ombra::Sink::Path(job.output), outcome.output);
    outcome.converted = written.Ok();
    if (!written.Ok()) outcome.reason = Describe(written, job);
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
    // Inputs above the working folder were refused with the command line.
    std::string kept;
    if (options.hasOutdir && options.keepFolders) ombra::KeptFolder(input, kept);
    fs::path folder = !options.hasOutdir    ? fs::path(input).parent_path()
                      : options.keepFolders ? fs::path(options.outdir) / fs::path(kept)
                                            : fs::path(options.outdir);
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
    bool verbose;
    bool report; // what each conversion dropped
    Reporter* reporter;
    int failed = 0;
};

std::string ShownInput(const std::string& input) {
    return input == "-" ? Say(Message::kStandardInput) : input;
}

void Report(Batch& batch, const Job& job, Outcome& outcome) {
    std::string name = ShownInput(job.input);
    auto say = [&](const std::string& line) {
        std::string shown = name;
        shown.append(": ").append(line);
        batch.reporter->Line(shown);
    };
    for (const std::string& line : outcome.lines)
        say(line);
    if (batch.report || batch.verbose)
        for (const std::string& line : outcome.dropped)
            say(line);
    WriteOutcome(job, outcome);
    if (!outcome.converted) {
        ++batch.failed;
        batch.reporter->Line(name + ": " + outcome.reason);
    } else if (batch.verbose) {
        batch.reporter->Line(
            Say(Message::kConvertedTo, name, ShownPath(job.output), outcome.reader));
    }
    batch.reporter->Advance(name);
}

// The inputs of this shard: sorted by path, every Nth from the Ith on, so
// that every machine that lists the same inputs takes its own share. They
// stay in command-line order.
std::vector<std::size_t> Shard(const Options& options, const std::vector<Job>& jobs) {
    std::vector<std::size_t> all(jobs.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = i;
    if (options.shardCount <= 1) return all;
    std::stable_sort(all.begin(), all.end(),
                     [&](std::size_t a, std::size_t b) { return jobs[a].input < jobs[b].input; });
    std::vector<std::size_t> mine;
    for (std::size_t k = static_cast<std::size_t>(options.shardIndex - 1); k < all.size();
         k += static_cast<std::size_t>(options.shardCount))
        mine.push_back(all[k]);
    std::sort(mine.begin(), mine.end());
    return mine;
}

std::string Seconds(double seconds, const char* format = "%.2f") {
    char text[32];
    std::snprintf(text, sizeof text, format, seconds);
    return text;
}

// With -v, the processor time of the program and of each worker, for
// judging what more workers would gain.
std::string ProcessorTimes(const std::vector<double>& workers) {
    std::string each;
    for (double seconds : workers)
        each += (each.empty() ? "" : " + ") + Seconds(seconds);
    if (each.empty()) each = Seconds(0); // every input skipped: no worker ran
    return Say(Message::kSummaryCpu, Seconds(obsys::ProcessCpuSeconds()), each);
}

std::string Summary(std::size_t total, int failed, std::size_t skipped, double seconds, int workers,
                    const std::string& processor) {
    std::size_t converted = total - skipped - static_cast<std::size_t>(failed);
    std::string text = Say(Message::kSummary, std::to_string(converted), std::to_string(total));
    if (failed) text += Say(Message::kSummaryFailed, std::to_string(failed));
    if (skipped) text += Say(Message::kSummarySkipped, std::to_string(skipped));
    text += Say(Message::kSummaryTime, Seconds(seconds, "%.1f"));
    if (workers > 1) text += Say(Message::kSummaryWorkers, std::to_string(workers));
    return text + processor + Say(Message::kSummaryEnd);
}

// Checks the options and makes the jobs; returns 0 to go on, else the exit status.
int Prepare(const Options& options, const ombra::Converter& converter, ombra::Options& layer,
            JobMode& mode, std::vector<Job>& jobs) {
    layer = MakeOptions(options);
    layer.strict = options.strict;
    ombra::Result checked = converter.Check(layer);
    if (!checked.Ok()) {
        bool usage = checked.status == Status::kNoWriter || checked.status == Status::kBadSetting;
        std::fprintf(stderr, "ombra: %s\n%s", checked.reason.c_str(),
                     usage ? UsageText().c_str() : "");
        return usage ? 2 : 1;
    }
    mode.metadata = options.metadata;
    mode.json = options.metadata && checked.writerId == OBPLUGIN::kDumpWriter;
    mode.label = options.metadata && options.inputs.size() > 1;
    mode.pandoc = ombra_pandoc::FindPandocFormat(options.pandocFormat);
    std::string extension = mode.metadata ? (mode.json ? "json" : "txt")
                            : mode.pandoc ? mode.pandoc->extension
                                          : OutputExtension(converter, checked.writerId);
    for (const std::string& input : options.inputs)
        jobs.push_back(MakeJob(options, input, extension));
    std::string clash = FindClash(jobs);
    if (!clash.empty()) {
        std::fprintf(stderr, "ombra: %s\n%s", clash.c_str(), UsageText().c_str());
        return 2;
    }
    std::set<std::string> folders;
    if (options.hasOutdir) folders.insert(options.outdir);
    for (const Job& job : jobs)
        if (options.keepFolders) folders.insert(std::filesystem::path(job.output).parent_path());
    for (const std::string& folder : folders) {
        int error = MakeFolders(folder);
        if (error) {
            std::fprintf(stderr, "ombra: %s\n",
                         Say(Message::kCannotMakeFolder, folder, SayError(error)).c_str());
            return 1;
        }
    }
    return 0;
}

} // namespace

int RunConversions(const Options& options, const ombra::Converter& converter) {
    ombra::Options layer;
    JobMode mode;
    std::vector<Job> jobs;
    if (int status = Prepare(options, converter, layer, mode, jobs)) return status;

    std::vector<std::size_t> shard = Shard(options, jobs), order, skipped;
    for (std::size_t i : shard) {
        bool done = options.skipExisting && jobs[i].output != "-" &&
                    KindOf(jobs[i].output) == PathKind::kFile;
        (done ? skipped : order).push_back(i);
    }
    int workers = std::min<int>(options.jobs, static_cast<int>(order.size()));
    bool several = shard.size() > 1;
    Reporter reporter(static_cast<int>(order.size()), several && !options.quiet);
    if (options.verbose)
        for (std::size_t i : skipped)
            reporter.Line(ShownInput(jobs[i].input) + ": " +
                          Say(Message::kSkipped, jobs[i].output));
    // The biggest inputs first, so that the last to finish is a small one.
    if (workers > 1) {
        std::vector<long long> sizes(jobs.size(), 0);
        for (std::size_t i : order)
            sizes[i] = FileSize(jobs[i].input);
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return sizes[a] > sizes[b]; });
    }
    Batch batch{options.verbose, options.report, &reporter};
    WorkerLimits limits{options.timeout, options.maxMemory};
    std::vector<double> seconds = RunInWorkers(
        order, workers, limits,
        [&](std::size_t i) { return ConvertOne(converter, jobs[i], layer, mode); },
        [&](std::size_t i, Outcome& outcome) { Report(batch, jobs[i], outcome); },
        [&](const std::string& note) { reporter.Line(note); });
    reporter.Finish();
    if (several && !options.quiet) {
        std::string processor = options.verbose ? ProcessorTimes(seconds) : std::string();
        std::fprintf(stderr, "ombra: %s\n",
                     Summary(shard.size(), batch.failed, skipped.size(), reporter.Elapsed(),
                             static_cast<int>(seconds.size()), processor)
                         .c_str());
    }
    return batch.failed ? 1 : 0;
}

} // namespace ombra_host
