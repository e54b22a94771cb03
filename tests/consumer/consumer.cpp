// A host built outside the project against the installed core: it sees only
// <ombra/ombra.h> and libombra, loads the installed plug-ins and converts the
// sample publication to UTF-8 text, through the fixed API and through the
// convenience layer.
#include <ombra/convert.h>
#include <ombra/ombra.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void* Allocate(unsigned long long size) {
    return std::malloc(size);
}
void Release(void* block) {
    std::free(block);
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
    int status = Convert(argv[1], argv[2]);
    ombra::ReleaseDefaultConverter();
    OBReleaseThreadState();
    delete service;
    OBMemoryHandler::SetMemoryService(nullptr);
    return status;
}
