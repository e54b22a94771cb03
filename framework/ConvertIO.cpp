// The convenience layer's inputs and outputs, statuses and names.
#include <ombra/convert.h>
#include <ombra/convertorlumservice.h>
#include <ombra/pluginids.h>
#include <ombra/typedstreams.h>
#include <ombra/utf8.h>

#include "framework/ConvertInternal.h"
#include "framework/PathInput.h"
#include "platform/Files.h"
#include "platform/Outputs.h"
#include "platform/System.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <istream>
#include <ostream>

namespace ombra {

Source Source::Path(const std::string& path) {
    return Source(Kind::kPath, path);
}

Source Source::Descriptor(int descriptor, const std::string& name) {
    Source source(Kind::kDescriptor, name);
    source.descriptor_ = descriptor;
    return source;
}

Source Source::Bytes(const void* data, std::size_t size, const std::string& name) {
    Source source(Kind::kBytes, name);
    source.data_ = data;
    source.size_ = size;
    return source;
}

Source Source::Stream(std::istream& in, const std::string& name) {
    Source source(Kind::kStream, name);
    source.stream_ = &in;
    return source;
}

Sink Sink::Path(const std::string& path) {
    Sink sink(Kind::kPath, path);
    sink.destination_ = path;
    return sink;
}

Sink Sink::Descriptor(int descriptor) {
    Sink sink(Kind::kDescriptor,
              descriptor == 1 ? "-" : "descriptor " + std::to_string(descriptor));
    sink.descriptor_ = descriptor;
    return sink;
}

Sink Sink::Memory(std::string& out) {
    Sink sink(Kind::kMemory, "memory");
    sink.memory_ = &out;
    return sink;
}

Sink Sink::Memory(std::string& out, const std::string& destination) {
    Sink sink = Memory(out);
    sink.destination_ = destination;
    return sink;
}

Sink Sink::Stream(std::ostream& out) {
    Sink sink(Kind::kStream, "stream");
    sink.stream_ = &out;
    return sink;
}

Sink Sink::Discard() {
    return Sink(Kind::kDiscard, "");
}

const char* StatusText(Status status) {
    switch (status) {
#define OMBRA_STATUS(Ident, Name, Text)                                                            \
    case Status::Ident:                                                                            \
        return Text;
#include <ombra/defs/ConvertStatuses.def>
    }
    return "failed";
}

std::string ShippedPlugInFolder() {
    char folder[4096];
    std::size_t n = obsys::LibraryFolder(folder, sizeof folder);
    if (n > 0) {
        std::string here(folder, n);
        for (const char* below : {"/ombra/plugins", "/plugins", "/lib/ombra/plugins"}) {
            std::string candidate = here + below;
            if (obsys::IsDirectory((candidate + "/readers").c_str()) ||
                obsys::IsDirectory((candidate + "/writers").c_str()))
                return candidate;
        }
    }
#ifdef OMBRA_INSTALLED_PLUGIN_DIR
    if (obsys::IsDirectory(OMBRA_INSTALLED_PLUGIN_DIR)) return OMBRA_INSTALLED_PLUGIN_DIR;
#endif
    return std::string();
}

namespace {

std::string Folded(const std::string& name) {
    std::string out;
    for (char c : name)
        if (c != '-' && c != '_' && c != ' ')
            out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

struct CodePageName {
    const char* name;
    unsigned codePage;
};
constexpr CodePageName kCodePageNames[] = {
#define OB_CODE_PAGE_NAME(Name, WindowsCodePage) {Name, WindowsCodePage},
#include <ombra/defs/CodePageNames.def>
};

} // namespace

unsigned CodePageByName(const std::string& name) {
    std::string folded = Folded(name);
    if (folded.empty()) return 0;
    unsigned found = 0;
    for (const CodePageName& row : kCodePageNames)
        if (Folded(row.name) == folded || std::to_string(row.codePage) == folded)
            found = row.codePage;
    return found && OBConvertorLumService::IsCodePageAvailable(found) == 1 ? found : 0;
}

std::vector<std::string> CodePageNames() {
    std::vector<std::string> names;
    for (const CodePageName& row : kCodePageNames)
        names.push_back(row.name);
    return names;
}

Result WriteOutput(const Sink& sink, const std::string& bytes) {
    Result result;
    if (obconvert::WriteSink(sink, reinterpret_cast<const unsigned char*>(bytes.data()),
                             bytes.size(), result))
        result.status = Status::kConverted;
    return result;
}

bool KeptFolder(const std::string& input, std::string& folder) {
    const std::filesystem::path kept =
        std::filesystem::path(input).parent_path().lexically_normal().relative_path();
    folder = kept == "." ? std::string() : kept.string();
    return kept.empty() || *kept.begin() != "..";
}

void RemovePartialOutputs() {
    obsys::RemovePartialOutputs();
}

} // namespace ombra

namespace obconvert {

using ombra::Result;
using ombra::Status;

GrowingBytes::~GrowingBytes() {
    OBLibFree(data_);
}

unsigned long long GrowingBytes::Read(void* buffer, unsigned long long count) {
    unsigned long long n = position_ < size_ ? size_ - position_ : 0;
    if (n > count) n = count;
    if (n) std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    state_ = n < count ? kStreamEOF : kStreamOK;
    return n;
}

unsigned long long GrowingBytes::Write(const void* buffer, unsigned long long count) {
    if ((!buffer && count) || position_ + count < position_) {
        state_ = kStreamError;
        return 0;
    }
    unsigned long long end = position_ + count;
    if (end > capacity_) {
        unsigned long long grown = capacity_ ? capacity_ : 65536;
        while (grown < end && grown < (1ULL << 62))
            grown *= 2;
        auto* fresh = grown >= end ? static_cast<unsigned char*>(OBLibAllocate(grown)) : nullptr;
        if (!fresh) {
            state_ = kStreamError;
            return 0;
        }
        if (size_) std::memcpy(fresh, data_, size_);
        OBLibFree(data_);
        data_ = fresh;
        capacity_ = grown;
    }
    if (position_ > size_) std::memset(data_ + size_, 0, position_ - size_);
    if (count) std::memcpy(data_ + position_, buffer, count);
    position_ = end;
    if (end > size_) size_ = end;
    return count;
}

unsigned long long GrowingBytes::Seek(long long offset, OBSeekFromWhere from) {
    long long base = from == kSeekFromStart     ? 0
                     : from == kSeekFromCurrent ? static_cast<long long>(position_)
                     : from == kSeekFromEnd     ? static_cast<long long>(size_)
                                                : -1;
    if (base < 0) return position_;
    long long target = base + offset;
    if (target < 0 || target > static_cast<long long>(size_))
        target = static_cast<long long>(size_);
    position_ = static_cast<unsigned long long>(target);
    if (state_ == kStreamEOF) state_ = kStreamOK;
    return position_;
}

Result& Fail(Result& result, Status status, const std::string& subject, int systemError) {
    result.status = status;
    result.subject = subject;
    result.systemError = systemError;
    result.reason = ombra::StatusText(status);
    if (systemError) result.reason += std::string(" (") + std::strerror(systemError) + ")";
    return result;
}

namespace {

// Bytes that a stream gives until its end, into one block.
int ReadStream(std::istream& in, unsigned char*& data, unsigned long long& size) {
    GrowingBytes bytes;
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        std::streamsize got = in.gcount();
        if (got > 0 && bytes.Write(buffer, static_cast<unsigned long long>(got)) == 0)
            return ENOMEM;
    }
    if (in.bad()) return EIO;
    size = bytes.Size();
    data = static_cast<unsigned char*>(OBLibAllocate(size ? size : 1));
    if (!data) return ENOMEM;
    if (size) std::memcpy(data, bytes.Data(), size);
    return 0;
}

} // namespace

OBStream* OpenSource(const ombra::Source& source, Result& result) {
    unsigned char* data = nullptr;
    unsigned long long size = 0;
    int error = 0;
    switch (source.GetKind()) {
    case ombra::Source::Kind::kPath:
        if (!obsys::PathExists(source.Name().c_str())) {
            Fail(result, Status::kInputMissing, source.Name());
            return nullptr;
        }
        // A large regular file is read as the reader asks; anything else whole.
        if (PathInput* file = PathInput::Open(source.Name().c_str())) return file;
        error = obsys::ReadAllFromPath(source.Name().c_str(), data, size);
        break;
    case ombra::Source::Kind::kDescriptor:
        error = obsys::ReadAll(source.GetDescriptor(), data, size);
        break;
    case ombra::Source::Kind::kBytes:
        size = source.GetSize();
        data = static_cast<unsigned char*>(OBLibAllocate(size ? size : 1));
        if (!data) error = ENOMEM;
        if (data && size) std::memcpy(data, source.GetData(), size);
        break;
    case ombra::Source::Kind::kStream:
        error = source.GetStream() ? ReadStream(*source.GetStream(), data, size) : EINVAL;
        break;
    }
    if (error) {
        OBLibFree(data);
        Fail(result, error == ENOMEM ? Status::kOutOfMemory : Status::kInputUnreadable,
             source.Name(), error == ENOMEM ? 0 : error);
        return nullptr;
    }
    OBStream* stream = OBStreamUtilRef::CreateBufferStreamRead(data, size, 1);
    if (!stream) Fail(result, Status::kOutOfMemory, source.Name());
    return stream;
}

bool WriteSink(const ombra::Sink& sink, const unsigned char* data, unsigned long long size,
               Result& result) {
    static const unsigned char kNothing = 0;
    if (!data) data = &kNothing;
    int error = 0;
    switch (sink.GetKind()) {
    case ombra::Sink::Kind::kPath:
        error = obsys::WriteWholeFile(sink.Name().c_str(), data, size);
        break;
    case ombra::Sink::Kind::kDescriptor:
        error = obsys::WriteAll(sink.GetDescriptor(), data, size);
        break;
    case ombra::Sink::Kind::kMemory:
        try {
            sink.GetMemory()->assign(reinterpret_cast<const char*>(data), size);
        } catch (const std::bad_alloc&) {
            Fail(result, Status::kOutOfMemory, sink.Name());
            return false;
        }
        break;
    case ombra::Sink::Kind::kStream:
        sink.GetStream()->write(reinterpret_cast<const char*>(data),
                                static_cast<std::streamsize>(size));
        sink.GetStream()->flush();
        if (!*sink.GetStream()) error = EIO;
        break;
    case ombra::Sink::Kind::kDiscard:
        break;
    }
    if (error) {
        Fail(result, Status::kOutputFailed, sink.Name(), error);
        return false;
    }
    result.outputBytes = size;
    return true;
}

std::string Utf8Of(const IOBString* text) {
    if (!text || text->IsNull() || text->Length() == 0) return std::string();
    const unsigned short* units = text->GrabWString();
    unsigned long long count = 0;
    if (text->IsUnicode())
        count = static_cast<unsigned long long>(text->Length());
    else
        while (units && units[count])
            ++count;
    if (!units || count == 0) return std::string();
    COBString utf8;
    OBStringUtils::ConvertUTF16StringToUTF8(units, count, utf8);
    return std::string(utf8.GrabCString(), static_cast<std::size_t>(utf8.Length()));
}

} // namespace obconvert
