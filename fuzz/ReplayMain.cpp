// Runs a fuzz target over files and folders of inputs, for builds without
// libFuzzer: every seed must pass without a crash or a sanitizer report.
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int RunFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes;
    unsigned char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

int Run(const std::string& path, int& count) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "no such input: %s\n", path.c_str());
        return 1;
    }
    if (!S_ISDIR(st.st_mode)) {
        ++count;
        return RunFile(path);
    }
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return 1;
    int failures = 0;
    while (struct dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        failures += Run(path + "/" + name, count);
    }
    ::closedir(dir);
    return failures;
}

} // namespace

int main(int argc, char** argv) {
    int count = 0, failures = 0;
    for (int i = 1; i < argc; ++i)
        failures += Run(argv[i], count);
    std::printf("replayed %d inputs\n", count);
    return failures ? 1 : 0;
}
