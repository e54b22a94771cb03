// A reader for the host's suites (reader id 3) that misbehaves the way a
// broken plug-in does, on inputs whose first line is
//   OMBRA-FAULT crash   dies of SIGSEGV in Init
//   OMBRA-FAULT hang    never returns from Init
//   OMBRA-FAULT grow    allocates without end (stopping at 2 GiB, so that a
//                       run without a memory limit fails in the end too)
//   OMBRA-FAULT slow    takes a second in Init
//   OMBRA-FAULT throw   throws from Init
// None of them yields an Element.
// Anything else is not recognised.
#include <ombra/plugin.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char kMagic[] = "OMBRA-FAULT ";

std::string Fault(OBStream* input) {
    if (!input) return std::string();
    input->Seek(0, kSeekFromStart);
    unsigned char buffer[32] = {};
    long long n = input->XferByte(buffer, sizeof buffer - 1);
    input->Seek(0, kSeekFromStart);
    std::string head(reinterpret_cast<char*>(buffer), n > 0 ? static_cast<std::size_t>(n) : 0);
    if (head.compare(0, sizeof kMagic - 1, kMagic) != 0) return std::string();
    std::string fault = head.substr(sizeof kMagic - 1);
    return fault.substr(0, fault.find_first_of("\r\n "));
}

class FaultReader : public OBReader {
public:
    FaultReader() { SetReaderID(3); }
    ~FaultReader() override;

    short CanImportThis(OBStream* input) override { return Fault(input).empty() ? 0 : 1; }
    void GetStreamPrefs(OBStream*, OBPreferenceList*) override {}

    void Init(OBStream* input, OBPreferenceList* preferences) override {
        OBReader::Init(input, preferences);
        std::string fault = Fault(input);
        if (fault == "crash") std::raise(SIGSEGV);
        while (fault == "hang")
            std::this_thread::sleep_for(std::chrono::seconds(1));
        if (fault == "slow") std::this_thread::sleep_for(std::chrono::seconds(1));
        if (fault == "throw") throw std::runtime_error("a broken reader");
        if (fault == "grow") {
            std::vector<std::string> held;
            for (int n = 0; n < 128; ++n)
                held.emplace_back(16u << 20, 'x');
        }
    }

    void Reset() override { OBReader::Reset(); }
    Element* GetFirstElement() override { return nullptr; }
    Element* GetNextElement() override { return nullptr; }
    void GetFormats(Format*& formats, short& count) override {
        formats = nullptr;
        count = 0;
    }
};

FaultReader::~FaultReader() = default;

} // namespace

OB_DECLARE_READER(FaultReader)
