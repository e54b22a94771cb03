// For the writer targets: an output stream that keeps the bytes in memory,
// a conversion through a writer's class, and a check of the UTF-8 written.
#ifndef OMBRA_FUZZ_FUZZOUTPUT_H
#define OMBRA_FUZZ_FUZZOUTPUT_H

#include <ombra/typedstreams.h>

#include <string>
#include <vector>

class Element;

namespace ombra_fuzz {

class Capture : public OBXferBytes {
public:
    Capture() { stream_.SetXferBytes(this); }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    unsigned long long Read(void*, unsigned long long) override { return 0; }
    unsigned long long Write(const void* buffer, unsigned long long count) override {
        bytes_.append(static_cast<const char*>(buffer), count);
        return count;
    }
    unsigned long long Seek(long long, OBSeekFromWhere) override { return bytes_.size(); }
    unsigned long long Tell() override { return bytes_.size(); }
    void Flush() override {}
    OBStreamState GetStreamState() override { return kStreamOK; }
    void SetEndOfStream() override {}

    OBStream* Stream() { return &stream_; }
    const std::string& Data() const { return bytes_; }

private:
    std::string bytes_;
    COBStreamWrite stream_;
};

/// True when bytes are well-formed UTF-8 (no surrogates, nothing above U+10FFFF).
inline bool IsUtf8(const std::string& bytes) {
    size_t i = 0, n = bytes.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        int more = c < 0x80                ? 0
                   : c >= 0xC2 && c < 0xE0 ? 1
                   : c >= 0xE0 && c < 0xF0 ? 2
                   : c >= 0xF0 && c < 0xF5 ? 3
                                           : -1;
        if (more < 0 || i + more >= n + (more == 0)) return false;
        unsigned long cp = more == 0 ? c : c & (0x3F >> more);
        for (int k = 1; k <= more; ++k) {
            unsigned char t = static_cast<unsigned char>(bytes[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = cp << 6 | (t & 0x3F);
        }
        if ((more == 2 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))) ||
            (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += more + 1;
    }
    return true;
}

/// What a writer's conversion class writes of elements; every byte it
/// counts must have reached the output.
template <class Conversion, class Options>
std::string Convert(const std::vector<Element*>& elements, const Options& options) {
    Capture output;
    long long written = 0;
    {
        Conversion conversion(output.Stream(), options);
        for (Element* e : elements)
            conversion.PutElement(e);
        conversion.PutElement(nullptr);
        written = conversion.GetBytesWritten();
    }
    if (written != static_cast<long long>(output.Data().size())) __builtin_trap();
    return output.Data();
}

} // namespace ombra_fuzz

#endif
