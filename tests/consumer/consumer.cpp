// A host built outside the project against the installed core: it sees only
// <ombra/ombra.h> and libombra, writes and reads a file through buffered file
// streams, shares value pools between threads, loads the installed plug-ins
// and converts the sample publication to UTF-8 text, through the fixed API
// and through the convenience layer. Every block the core takes from the
// host's memory service must be back when the service is deleted.
#include <ombra/convert.h>
#include <ombra/ombra.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

std::atomic<long long> gBlocks{0};

void* Allocate(unsigned long long size) {
    void* block = std::malloc(size);
    if (block) ++gBlocks;
    return block;
}
void Release(void* block) {
    if (block) --gBlocks;
    std::free(block);
}

bool Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    return false;
}

// The file's bytes through a second transfer opened on it.
std::vector<int> ReadBack(const OBSysFileRef& file) {
    OBFileXferBytesRef other;
    std::vector<int> values;
    if (!other.Open(file, kFileRead, 0, 0)) return values;
    values.resize(static_cast<std::size_t>(other.Seek(0, kSeekFromEnd)) / sizeof(int));
    other.Seek(0, kSeekFromStart);
    other.Read(values.data(), values.size() * sizeof(int));
    return values;
}

// Buffered writes reach the file at a flush and at a seek, as another handle
// sees it, and the size follows.
bool FileStreams() {
    std::string path = "/tmp/ombra-consumer-" + std::to_string(getpid());
    OBSysFileRef file(path.c_str());
    OBStream* out = OBStreamUtilRef::CreateFileStreamWrite(file, kFileWrite | kFileTruncate, 0, 0);
    std::vector<int> values(100000);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<int>(i * 7);
    bool ok = out && out->XferInt32(values.data(), static_cast<long long>(values.size())) ==
                         static_cast<long long>(values.size());
    if (ok) out->Flush();
    ok = ok && ReadBack(file) == values;
    int first = -1;
    if (ok && out->Seek(0, kSeekFromStart) == 0) out->XferInt32(first);
    if (ok) out->Seek(0, kSeekFromEnd); // the seek writes the waiting value
    values[0] = -1;
    ok = ok && ReadBack(file) == values && out->Tell() == 400000;
    delete out;
    std::remove(path.c_str());
    return ok || Fail("the file streams lost or kept back bytes");
}

// Blocks allocated on one thread and released on another, in rounds.
bool Pools() {
    const std::size_t sizes[] = {24, 40, 64};
    bool ok = true;
    for (int round = 0; round < 20 && ok; ++round) {
        std::vector<void*> blocks;
        std::thread maker([&] {
            for (int i = 0; i < 3000; ++i)
                blocks.push_back(OBValuePoolAllocate(sizes[i % 3]));
        });
        maker.join();
        for (void* block : blocks)
            ok = ok && block;
        std::thread releaser([&] {
            for (std::size_t i = 0; i < blocks.size(); ++i)
                OBValuePoolRelease(blocks[i], sizes[i % 3]);
            OBReleaseThreadState();
        });
        releaser.join();
    }
    return ok || Fail("a value pool returned no block");
}

int Convert(const char* plugins, const char* input) {
    std::string folder(plugins);
    OBConvertorManager manager(folder + "/readers", folder + "/writers");
    ErrorCode error = kNoError;
    OBConvertor* convertor = manager.GetConvertor(1, error);
    if (!convertor) {
        std::fprintf(stderr, "no text convertor (error %d)\n", static_cast<int>(error));
        return 1;
    }
    OBStream* in = OBStreamUtilRef::CreateFileStreamRead(OBSysFileRef(input), kFileRead, 0, 0);
    OBMemXferBytes bytes;
    OBStream* out = OBStreamUtilRef::CreateMemoryStreamWrite(&bytes);
    Preferences utf8{0, "", 0, "", 0, 0, 0, 0}; // every option off, UTF-8
    short pumped = in && out ? convertor->ExtractData(in, out, &utf8) : 0;

    std::string text;
    if (pumped == 1) {
        text.resize(static_cast<std::size_t>(out->Tell()));
        OBStream* back = OBStreamUtilRef::CreateMemoryStreamRead(&bytes);
        back->Seek(0, kSeekFromStart);
        back->XferByte(reinterpret_cast<unsigned char*>(&text[0]),
                       static_cast<long long>(text.size()));
        delete back;
    }
    delete out;
    delete in;
    if (text.find("The Ombra Gazette") == std::string::npos ||
        text.find("\xE6\x97\xA5\xE6\x9C\xAC") == std::string::npos) {
        std::fprintf(stderr, "the text is not the sample's (pumped %d):\n%s\n", pumped,
                     text.c_str());
        return 1;
    }
    std::fputs(text.c_str(), stdout);
    // The convenience layer finds the installed plug-ins beside the core and
    // ends lines as this system does.
    std::string layered;
    ombra::Result result = ombra::Convert(ombra::Source::Path(input), ombra::Sink::Memory(layered));
    if (!result.Ok() || layered.find("The Ombra Gazette\n") == std::string::npos) {
        std::fprintf(stderr, "the convenience layer failed: %s\n", result.reason.c_str());
        return 1;
    }
    // A format through pandoc, which says so when pandoc is not installed.
    ombra::Options markdown;
    markdown.writer = "markdown";
    result = ombra::Convert(ombra::Source::Path(input), ombra::Sink::Memory(layered), markdown);
    if (std::system("pandoc --version > /dev/null 2>&1") == 0
            ? layered.find("The Ombra Gazette") == std::string::npos
            : result.status != ombra::Status::kPandocFailed) {
        std::fprintf(stderr, "markdown through pandoc failed: %s\n", result.reason.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: consumer PLUGIN_FOLDER SAMPLE\n");
        return 2;
    }
    OBMemoryService* service = new OBMemoryService(Allocate, Release, Allocate, Release);
    OBMemoryHandler::SetMemoryService(service);
    int status = FileStreams() && Pools() ? Convert(argv[1], argv[2]) : 1;
    ombra::ReleaseDefaultConverter();
    OBReleaseThreadState();
    delete service;
    OBMemoryHandler::SetMemoryService(nullptr);
    if (gBlocks != 0) {
        std::fprintf(stderr, "%lld blocks of the memory service were not given back\n",
                     gBlocks.load());
        return 1;
    }
    return status;
}
