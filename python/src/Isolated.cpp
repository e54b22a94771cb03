#include "Isolated.h"

#include "platform/Processes.h"

#include <algorithm>
#include <condition_variable>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include <pthread.h>
#include <unistd.h>

namespace isolated {

namespace {

// ---- messages: numbers are 64-bit, texts their length and their bytes --------

void PutNumber(std::string& out, std::int64_t value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void PutText(std::string& out, const std::string& text) {
    PutNumber(out, static_cast<std::int64_t>(text.size()));
    out += text;
}

struct Unpacker {
    const std::string& in;
    std::size_t at = 0;
    bool ok = true;
    std::int64_t Number() {
        std::int64_t value = 0;
        if (in.size() - at < sizeof value) return ok = false, 0;
        std::memcpy(&value, in.data() + at, sizeof value);
        at += sizeof value;
        return value;
    }
    std::string Text() {
        std::int64_t size = Number();
        if (!ok || size < 0 || in.size() - at < static_cast<std::size_t>(size))
            return ok = false, std::string();
        at += static_cast<std::size_t>(size);
        return in.substr(at - static_cast<std::size_t>(size), static_cast<std::size_t>(size));
    }
};

std::string Pack(const ombra::Result& r, const std::string& output) {
    std::string out;
    for (std::int64_t n : {static_cast<std::int64_t>(r.status), std::int64_t(r.systemError),
                           std::int64_t(r.readerId), std::int64_t(r.writerId),
                           static_cast<std::int64_t>(r.notes.size())})
        PutNumber(out, n);
    for (const std::string* text : {&r.reason, &r.subject, &r.reader})
        PutText(out, *text);
    for (const ombra::Note& note : r.notes) {
        PutNumber(out, note.id);
        PutNumber(out, note.code);
        PutNumber(out, note.omittedDetails);
        PutText(out, note.text);
        PutNumber(out, static_cast<std::int64_t>(note.details.size()));
        for (const std::string& detail : note.details)
            PutText(out, detail);
    }
    PutText(out, output);
    return out;
}

bool Unpack(const std::string& in, ombra::Result& r, std::string& output) {
    Unpacker u{in};
    r.status = static_cast<ombra::Status>(u.Number());
    r.systemError = static_cast<int>(u.Number());
    r.readerId = static_cast<int>(u.Number());
    r.writerId = static_cast<int>(u.Number());
    std::int64_t notes = u.Number();
    r.reason = u.Text();
    r.subject = u.Text();
    r.reader = u.Text();
    for (std::int64_t n = 0; u.ok && n < notes; ++n) {
        ombra::Note note;
        note.id = static_cast<unsigned>(u.Number());
        note.code = static_cast<int>(u.Number());
        note.omittedDetails = static_cast<int>(u.Number());
        note.text = u.Text();
        std::int64_t details = u.Number();
        for (std::int64_t d = 0; u.ok && d < details; ++d)
            note.details.push_back(u.Text());
        r.notes.push_back(std::move(note));
    }
    output = u.Text();
    return u.ok && u.at == in.size();
}

std::string PackRequest(const Request& request) {
    const ombra::Options& o = request.options;
    std::string out;
    for (std::int64_t n :
         {std::int64_t(request.bytes), std::int64_t(o.lineEnd), std::int64_t(o.locale),
          std::int64_t(o.strict), static_cast<std::int64_t>(o.settings.size())})
        PutNumber(out, n);
    for (const std::string* text : {&request.input, &request.name, &request.destination,
                                    &request.folder, &o.writer, &o.encoding})
        PutText(out, *text);
    for (const auto& setting : o.settings) {
        PutText(out, setting.first);
        PutText(out, setting.second);
    }
    return out;
}

bool UnpackRequest(const std::string& in, Request& request) {
    Unpacker u{in};
    ombra::Options& o = request.options;
    request.bytes = u.Number() != 0;
    o.lineEnd = static_cast<ombra::LineEnd>(u.Number());
    o.locale = static_cast<OBL::LocaleIDEnum>(u.Number());
    o.strict = u.Number() != 0;
    std::int64_t settings = u.Number();
    for (std::string* text : {&request.input, &request.name, &request.destination, &request.folder,
                              &o.writer, &o.encoding})
        *text = u.Text();
    for (std::int64_t n = 0; u.ok && n < settings; ++n) {
        std::string name = u.Text();
        o.settings.emplace_back(name, u.Text());
    }
    return u.ok && u.at == in.size();
}

int SendMessage(int channel, const std::string& message) {
    std::int64_t size = static_cast<std::int64_t>(message.size());
    int error = obsys::SendAll(channel, &size, sizeof size);
    return error ? error : obsys::SendAll(channel, message.data(), message.size());
}

int ReceiveMessage(int channel, std::string& message) {
    std::int64_t size = 0;
    int error = obsys::ReceiveAll(channel, &size, sizeof size);
    if (error) return error;
    if (size < 0) return EPROTO;
    message.resize(static_cast<std::size_t>(size));
    return obsys::ReceiveAll(channel, &message[0], message.size());
}

// ---- the helper ----------------------------------------------------------------

bool Relative(const std::string& path) {
    return !path.empty() && path[0] != '/';
}

// Relative paths name files in the caller's working folder, which may have
// changed since the helper was forked.
bool EnterFolder(const Request& request, ombra::Result& result) {
    if (!Relative(request.bytes ? std::string() : request.input) && !Relative(request.destination))
        return true;
    if (::chdir(request.folder.c_str()) == 0) return true;
    result.status = ombra::Status::kInputUnreadable;
    result.systemError = errno;
    result.reason =
        std::string(ombra::StatusText(result.status)) + " (" + std::strerror(errno) + ")";
    result.subject = request.name;
    return false;
}

int HelperMain(int channel, const ombra::Converter& converter) {
    for (std::string message; ReceiveMessage(channel, message) == 0;) {
        Request request;
        std::string bytes;
        ombra::Result result;
        if (!UnpackRequest(message, request)) return 1;
        ombra::Source in = request.bytes ? ombra::Source::Bytes(request.input.data(),
                                                                request.input.size(), request.name)
                                         : ombra::Source::Path(request.input);
        if (EnterFolder(request, result))
            result = converter.Convert(in, ombra::Sink::Memory(bytes, request.destination),
                                       request.options);
        if (SendMessage(channel, Pack(result, bytes)) != 0) return 0;
    }
    return 0; // the process closed the channel
}

// ---- forks -----------------------------------------------------------------------

// A helper dies with the thread that forked it (PR_SET_PDEATHSIG), so forks
// happen in one thread that lives as long as the process, not in threads
// that convert and may end while their helpers wait idle for the next one.
struct Forker {
    std::mutex lock;
    std::condition_variable changed;
    const std::function<int()>* fork = nullptr; // the fork asked for
    int error = 0;
};

Forker*& CurrentForker() {
    static Forker* forker = nullptr; // started on first use, in a forked child again
    return forker;
}

void ForkerMain(Forker* forker) {
    std::unique_lock<std::mutex> guard(forker->lock);
    for (;;) {
        forker->changed.wait(guard, [&] { return forker->fork != nullptr; });
        forker->error = (*forker->fork)();
        forker->fork = nullptr;
        forker->changed.notify_all();
    }
}

// Runs fork in the forker thread. The caller holds the helpers' lock: one
// fork at a time.
int InForker(const std::function<int()>& fork) {
    Forker*& forker = CurrentForker();
    if (!forker) {
        auto* started = new Forker;
        try {
            std::thread(ForkerMain, started).detach();
        } catch (const std::system_error& error) {
            delete started;
            return error.code().value();
        }
        forker = started;
    }
    std::unique_lock<std::mutex> guard(forker->lock);
    forker->fork = &fork;
    forker->changed.notify_all();
    forker->changed.wait(guard, [&] { return forker->fork == nullptr; });
    return forker->error;
}

// ---- the process's helpers -------------------------------------------------------

struct Helper {
    obsys::Child child;
    unsigned generation = 0; // of the plug-ins it has
};

struct Helpers {
    std::mutex lock;
    unsigned generation = 0; // StopHelpers counts it up
    std::vector<Helper> idle;
    std::vector<int> channels; // of every helper alive, for new helpers to close
};

Helpers*& Current() {
    static Helpers* helpers = new Helpers; // outlives every thread that converts
    return helpers;
}

// A forked child (multiprocessing, os.fork) starts helpers of its own: the
// parent's answer the parent. Their lock may be held by a thread the child
// does not have, so the old set is left as it is.
void ForgetInChild() {
    for (int channel : Current()->channels)
        obsys::CloseChannel(channel);
    Current() = new Helpers;
    CurrentForker() = nullptr; // its thread is not in the child
}

Helpers& TheHelpers() {
    static const int registered = ::pthread_atfork(nullptr, nullptr, ForgetInChild);
    (void)registered;
    return *Current();
}

// Ends a helper that is no longer wanted.
void End(const Helper& helper, bool kill) {
    Helpers& helpers = TheHelpers();
    {
        std::lock_guard<std::mutex> guard(helpers.lock);
        auto& open = helpers.channels;
        open.erase(std::remove(open.begin(), open.end(), helper.child.channel), open.end());
    }
    obsys::CloseChannel(helper.child.channel);
    if (kill) obsys::KillChild(helper.child.pid);
}

// Keeps a helper for the next conversion, unless its plug-ins were replaced.
void GiveBack(const Helper& helper) {
    Helpers& helpers = TheHelpers();
    {
        std::lock_guard<std::mutex> guard(helpers.lock);
        if (helper.generation == helpers.generation) {
            helpers.idle.push_back(helper);
            return;
        }
    }
    End(helper, true);
}

// An idle helper, or a new one.
int Take(const Starter& starter, Helper& helper) {
    Helpers& helpers = TheHelpers();
    {
        std::lock_guard<std::mutex> guard(helpers.lock);
        if (!helpers.idle.empty()) {
            helper = helpers.idle.back();
            helpers.idle.pop_back();
            return 0;
        }
    }
    return starter([&](const ombra::Converter& converter) {
        std::lock_guard<std::mutex> guard(helpers.lock);
        int error = InForker([&] {
            return obsys::StartChild([&](int channel) { return HelperMain(channel, converter); },
                                     helpers.channels.data(), helpers.channels.size(),
                                     helper.child);
        });
        helper.generation = helpers.generation;
        if (!error) helpers.channels.push_back(helper.child.channel);
        return error;
    });
}

ombra::Result Failure(const std::string& reason, int error = 0) {
    ombra::Result result;
    result.status = ombra::Status::kFailed;
    result.reason = reason;
    result.systemError = error;
    return result;
}

// Waits for the helper's reply until deadline (-1: none), in steps after
// which the caller may give up: like WaitForChannel, and -3 when it did.
int WaitForReply(int channel, long long deadline, const GivenUp& givenUp) {
    constexpr long long kStep = 100; // ms: Ctrl-C feels immediate
    for (;;) {
        long long left =
            deadline < 0 ? -1 : std::max(0LL, deadline - obsys::MonotonicMilliseconds());
        long long wait = !givenUp ? left : left < 0 ? kStep : std::min(left, kStep);
        int ready = obsys::WaitForChannel(&channel, 1, wait);
        if (ready != -1 || wait == left) return ready;
        if (givenUp()) return -3;
    }
}

} // namespace

ombra::Result Convert(const Request& request, double timeout, std::string& output,
                      const Starter& starter, const GivenUp& givenUp) {
    Helper helper;
    std::string message = PackRequest(request);
    // An idle helper that died meanwhile (the system killed it) is replaced.
    for (int attempt = 0;; ++attempt) {
        int error = Take(starter, helper);
        if (error)
            return Failure("cannot start a process for the conversion (" +
                               std::string(std::strerror(error)) + ")",
                           error);
        if (SendMessage(helper.child.channel, message) == 0) break;
        End(helper, false);
        obsys::WaitForChild(helper.child.pid);
        if (attempt > 0) return Failure("the conversion's process cannot be reached");
    }
    int channel = helper.child.channel;
    std::string reply;
    ombra::Result result;
    // Past a billion seconds is no limit either (and no overflow).
    long long limit = timeout > 0 && timeout < 1e9 ? std::llround(std::ceil(timeout * 1000)) : -1;
    int ready =
        WaitForReply(channel, limit < 0 ? -1 : obsys::MonotonicMilliseconds() + limit, givenUp);
    int error = ready == 0 ? ReceiveMessage(channel, reply) : 0;
    if (ready == 0 && !error && Unpack(reply, result, output)) {
        GiveBack(helper);
        return result;
    }
    End(helper, ready == -1 || ready == -3);
    if (ready == -1) return Failure(TimedOut(timeout));
    if (ready == -3) return Failure("interrupted");
    obsys::ChildEnd end = obsys::WaitForChild(helper.child.pid);
    if (end.signal)
        return Failure("crashed with signal " + std::to_string(end.signal) + " (" +
                       obsys::SignalName(end.signal) + ")");
    return Failure("the conversion's process ended with status " + std::to_string(end.exitCode));
}

std::string TimedOut(double seconds) {
    std::ostringstream text; // 0.5, 60
    text << "timed out after " << seconds << " s";
    return text.str();
}

void StopHelpers() {
    Helpers& helpers = TheHelpers();
    std::vector<Helper> idle;
    {
        std::lock_guard<std::mutex> guard(helpers.lock);
        ++helpers.generation; // the busy ones end when their conversions do
        idle.swap(helpers.idle);
    }
    for (const Helper& helper : idle)
        End(helper, true);
}

} // namespace isolated
