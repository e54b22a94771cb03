// The parent hands out one input at a time, so that it always knows which
// input a worker was converting when it died; the round trip costs far
// less than a conversion. Outputs travel back to the parent, which writes
// them: a worker killed half-way leaves nothing behind.
#include "Workers.h"

#include "Messages.h"

#include "platform/Processes.h"

#include <cstdint>
#include <cstdio>
#include <new>

namespace ombra_host {

namespace {

// ---- messages: a job is its 64-bit index; an outcome is its fields, then
// its output, each preceded by its length ---------------------------------------

void PutNumber(std::string& bytes, std::uint64_t value) {
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void PutText(std::string& bytes, const std::string& text) {
    PutNumber(bytes, text.size());
    bytes += text;
}

std::string PackFields(const Outcome& outcome) {
    std::string bytes;
    PutNumber(bytes, (outcome.converted ? 1u : 0u) | (outcome.outOfMemory ? 2u : 0u));
    PutText(bytes, outcome.reason);
    PutText(bytes, outcome.reader);
    PutNumber(bytes, outcome.lines.size());
    for (const std::string& line : outcome.lines)
        PutText(bytes, line);
    PutNumber(bytes, outcome.dropped.size());
    for (const std::string& line : outcome.dropped)
        PutText(bytes, line);
    return bytes;
}

struct Reader {
    const std::string& bytes;
    std::size_t at = 0;
    bool ok = true;

    std::uint64_t Number() {
        std::uint64_t value = 0;
        if (bytes.size() - at < sizeof value) {
            ok = false;
            return 0;
        }
        std::copy(bytes.data() + at, bytes.data() + at + sizeof value,
                  reinterpret_cast<char*>(&value));
        at += sizeof value;
        return value;
    }
    std::string Text() {
        std::uint64_t size = Number();
        if (!ok || bytes.size() - at < size) {
            ok = false;
            return std::string();
        }
        at += size;
        return bytes.substr(at - size, size);
    }
};

bool UnpackFields(const std::string& bytes, Outcome& outcome) {
    Reader in{bytes};
    std::uint64_t flags = in.Number();
    outcome.converted = flags & 1u;
    outcome.outOfMemory = flags & 2u;
    outcome.reason = in.Text();
    outcome.reader = in.Text();
    std::uint64_t lines = in.Number();
    for (std::uint64_t n = 0; in.ok && n < lines; ++n)
        outcome.lines.push_back(in.Text());
    std::uint64_t dropped = in.Number();
    for (std::uint64_t n = 0; in.ok && n < dropped; ++n)
        outcome.dropped.push_back(in.Text());
    return in.ok && in.at == bytes.size();
}

int SendText(int channel, const std::string& text) {
    std::uint64_t size = text.size();
    int error = obsys::SendAll(channel, &size, sizeof size);
    return error ? error : obsys::SendAll(channel, text.data(), text.size());
}

int ReceiveText(int channel, std::string& text) {
    std::uint64_t size = 0;
    int error = obsys::ReceiveAll(channel, &size, sizeof size);
    if (error) return error;
    try {
        text.resize(size);
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
    return obsys::ReceiveAll(channel, &text[0], size);
}

// ---- the worker ----------------------------------------------------------------

bool gAllocationFailed = false;

// Plug-ins allocate with new as well as through the memory service: a
// failure there ends the conversion as a plug-in's error, which is memory.
void NoteFailedAllocation() {
    gAllocationFailed = true;
    throw std::bad_alloc();
}

Outcome ConvertIn(std::size_t index, const WorkerLimits& limits,
                  const std::function<Outcome(std::size_t)>& convert) {
    gAllocationFailed = false;
    Outcome outcome;
    try {
        outcome = convert(index);
    } catch (const std::bad_alloc&) {
        outcome = Outcome();
        gAllocationFailed = true;
    }
    if (!outcome.converted && (outcome.outOfMemory || gAllocationFailed)) {
        outcome.outOfMemory = true;
        outcome.reason = limits.maxMemory
                             ? Say(Message::kOverMemoryLimit, ShowSize(limits.maxMemory))
                             : Say(Message::kOutOfMemory);
    }
    return outcome;
}

int WorkerMain(int channel, const WorkerLimits& limits,
               const std::function<Outcome(std::size_t)>& convert) {
    if (limits.maxMemory) obsys::LimitAddressSpace(limits.maxMemory);
    obsys::KeepFreedMemory();
    std::set_new_handler(NoteFailedAllocation);
    for (;;) {
        std::uint64_t index = 0;
        if (obsys::ReceiveAll(channel, &index, sizeof index) != 0) return 0; // no more inputs
        Outcome outcome = ConvertIn(static_cast<std::size_t>(index), limits, convert);
        std::string fields;
        try {
            fields = PackFields(outcome);
        } catch (const std::bad_alloc&) {
            outcome = Outcome();
            outcome.outOfMemory = true;
            fields = PackFields(outcome);
        }
        if (SendText(channel, fields) != 0 || SendText(channel, outcome.output) != 0) return 0;
    }
}

// ---- the parent ----------------------------------------------------------------

struct Slot {
    obsys::Child child;
    double cpuSeconds = 0; // of the workers that ended
    bool busy = false;
    bool started = false; // a worker ran here at some point
    std::size_t index = 0;
    long long deadline = -1;
};

class Pool {
public:
    Pool(const std::vector<std::size_t>& order, int workers, const WorkerLimits& limits,
         const std::function<Outcome(std::size_t)>& convert,
         const std::function<void(std::size_t, Outcome&)>& done,
         const std::function<void(const std::string&)>& note)
        : order_(order), slots_(std::min<std::size_t>(workers, order.size())), limits_(limits),
          convert_(convert), done_(done), note_(note) {}

    std::vector<double> Run() {
        std::size_t started = 0;
        for (Slot& slot : slots_)
            started += Start(slot) ? 1 : 0;
        if (started > 0 && started < slots_.size())
            note_(Say(Message::kFewerWorkers, std::to_string(started),
                      std::to_string(slots_.size()), SayError(startError_)));
        for (;;) {
            for (Slot& slot : slots_)
                Feed(slot);
            std::vector<int> channels;
            std::vector<Slot*> busy;
            long long wait = -1;
            for (Slot& slot : slots_) {
                if (!slot.busy) continue;
                channels.push_back(slot.child.channel);
                busy.push_back(&slot);
                long long left = slot.deadline - obsys::MonotonicMilliseconds();
                if (slot.deadline >= 0 && (wait < 0 || left < wait)) wait = left < 0 ? 0 : left;
            }
            if (busy.empty()) break;
            int ready = obsys::WaitForChannel(channels.data(), channels.size(), wait);
            if (ready >= 0)
                Collect(*busy[static_cast<std::size_t>(ready)]);
            else
                KillLate();
        }
        for (Slot& slot : slots_)
            Stop(slot);
        // No worker could be started, or none replaced: the rest is done here.
        if (next_ < order_.size()) note_(Say(Message::kConvertingHere, SayError(startError_)));
        while (next_ < order_.size()) {
            std::size_t index = order_[next_++];
            Outcome outcome = ConvertIn(index, WorkerLimits(), convert_);
            done_(index, outcome);
        }
        std::vector<double> seconds;
        for (const Slot& slot : slots_)
            if (slot.started) seconds.push_back(slot.cpuSeconds);
        return seconds;
    }

private:
    bool Start(Slot& slot) {
        std::vector<int> others;
        for (const Slot& other : slots_)
            if (&other != &slot && other.child.channel >= 0) others.push_back(other.child.channel);
        std::fflush(stdout); // nothing buffered here is written twice
        std::fflush(stderr);
        const WorkerLimits& limits = limits_;
        const std::function<Outcome(std::size_t)>& convert = convert_;
        int error =
            obsys::StartChild([&](int channel) { return WorkerMain(channel, limits, convert); },
                              others.data(), others.size(), slot.child);
        if (error) {
            startError_ = error;
            slot.child = obsys::Child();
        }
        slot.started = slot.started || !error;
        return !error;
    }

    void Stop(Slot& slot) {
        if (slot.child.pid < 0) return;
        obsys::CloseChannel(slot.child.channel);
        slot.cpuSeconds += obsys::WaitForChild(slot.child.pid).cpuSeconds;
        slot.child = obsys::Child();
    }

    // Hands the next input to an idle worker; a worker that died idle is
    // replaced once.
    void Feed(Slot& slot) {
        for (int attempt = 0; attempt < 2 && !slot.busy && next_ < order_.size(); ++attempt) {
            if (slot.child.pid < 0) return;
            std::uint64_t index = order_[next_];
            if (obsys::SendAll(slot.child.channel, &index, sizeof index) != 0) {
                Stop(slot);
                if (attempt == 0) Start(slot);
                continue;
            }
            ++next_;
            slot.busy = true;
            slot.index = static_cast<std::size_t>(index);
            slot.deadline = limits_.timeoutSeconds > 0
                                ? obsys::MonotonicMilliseconds() + limits_.timeoutSeconds * 1000LL
                                : -1;
        }
    }

    void Collect(Slot& slot) {
        Outcome outcome;
        std::string fields;
        int error = ReceiveText(slot.child.channel, fields);
        if (!error && !UnpackFields(fields, outcome)) error = EPROTO;
        if (!error) error = ReceiveText(slot.child.channel, outcome.output);
        if (error == ENOMEM) {
            Replace(slot, Say(Message::kOutOfMemory));
            return;
        }
        if (error) {
            obsys::CloseChannel(slot.child.channel);
            obsys::ChildEnd end = obsys::WaitForChild(slot.child.pid);
            slot.cpuSeconds += end.cpuSeconds;
            slot.child = obsys::Child();
            std::string reason = end.signal
                                     ? Say(Message::kCrashed, std::to_string(end.signal),
                                           obsys::SignalName(end.signal))
                                     : Say(Message::kWorkerEnded, std::to_string(end.exitCode));
            Finish(slot, reason);
            if (next_ < order_.size()) Start(slot);
            return;
        }
        slot.busy = false;
        done_(slot.index, outcome);
    }

    void KillLate() {
        long long now = obsys::MonotonicMilliseconds();
        for (Slot& slot : slots_)
            if (slot.busy && slot.deadline >= 0 && slot.deadline <= now)
                Replace(slot, Say(Message::kTimedOut, std::to_string(limits_.timeoutSeconds)));
    }

    // Kills the slot's worker, fails its input and starts another worker.
    void Replace(Slot& slot, const std::string& reason) {
        obsys::CloseChannel(slot.child.channel);
        slot.cpuSeconds += obsys::KillChild(slot.child.pid).cpuSeconds;
        slot.child = obsys::Child();
        Finish(slot, reason);
        if (next_ < order_.size()) Start(slot);
    }

    void Finish(Slot& slot, const std::string& reason) {
        slot.busy = false;
        Fail(slot.index, reason);
    }

    void Fail(std::size_t index, const std::string& reason) {
        Outcome outcome;
        outcome.reason = reason;
        done_(index, outcome);
    }

    const std::vector<std::size_t>& order_;
    std::vector<Slot> slots_;
    WorkerLimits limits_;
    const std::function<Outcome(std::size_t)>& convert_;
    const std::function<void(std::size_t, Outcome&)>& done_;
    const std::function<void(const std::string&)>& note_;
    std::size_t next_ = 0;
    int startError_ = 0;
};

} // namespace

std::vector<double> RunInWorkers(const std::vector<std::size_t>& order, int workers,
                                 const WorkerLimits& limits,
                                 const std::function<Outcome(std::size_t)>& convert,
                                 const std::function<void(std::size_t, Outcome&)>& done,
                                 const std::function<void(const std::string&)>& note) {
    if (order.empty()) return {};
    return Pool(order, workers < 1 ? 1 : workers, limits, convert, done, note).Run();
}

std::string ShowSize(unsigned long long bytes) {
    static const char* const kUnits[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    bool whole = value == static_cast<double>(static_cast<unsigned long long>(value));
    std::snprintf(text, sizeof text, whole ? "%.0f %s" : "%.1f %s", value, kUnits[unit]);
    return text;
}

} // namespace ombra_host
