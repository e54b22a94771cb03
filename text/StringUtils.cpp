// UTF-8 conversions. Each one fills a buffer on the stack and appends it to
// the string a chunk at a time, so memory use stays flat for any length.
#include <ombra/utf16.h>
#include <ombra/utf8.h>

namespace {

constexpr int kChunk = 4096;

// Collects output and hands it to the string when full. Once the string
// refuses (no memory) the rest is dropped.
template <typename Char, typename Str> class ChunkWriter {
public:
    explicit ChunkWriter(Str& out) : out_(out) {}
    ~ChunkWriter() { Flush(); }
    // Makes room for `count` more characters.
    void Reserve(int count) {
        if (used_ + count > kChunk) Flush();
    }
    void Put(Char c) { buffer_[used_++] = c; }
    void Flush() {
        if (used_ > 0 && !failed_) {
            long long before = out_.Length();
            out_.Append(buffer_, used_);
            failed_ = out_.Length() != before + used_;
        }
        used_ = 0;
    }
    // True once the string could not take a chunk.
    bool Failed() {
        Flush();
        return failed_;
    }

private:
    Str& out_;
    Char buffer_[kChunk];
    int used_ = 0;
    bool failed_ = false;
};

using ByteWriter = ChunkWriter<char, COBString>;
using UnitWriter = ChunkWriter<unsigned short, WOBString>;

void Byte(ByteWriter& w, unsigned value) {
    w.Put(static_cast<char>(value & 0xFF));
}

} // namespace

void OBStringUtils::ConvertCStringToUTF8(const unsigned char* src, unsigned long long n,
                                         COBString& out) {
    out.SetScript(WSE::kSystemScript);
    out.Clear();
    if (!src) return;
    ByteWriter w(out);
    for (unsigned long long i = 0; i < n; ++i) {
        unsigned b = src[i];
        w.Reserve(2);
        if (b < 0x80) {
            Byte(w, b);
        } else {
            Byte(w, 0xC0 + (b >> 6));
            Byte(w, 0x80 + (b & 0x3F));
        }
    }
}

void OBStringUtils::ConvertUTF16StringToUTF8(const unsigned short* src, unsigned long long n,
                                             COBString& out) {
    out.SetScript(WSE::kSystemScript);
    out.Clear();
    if (!src) return;
    ByteWriter w(out);
    const long long count = static_cast<long long>(n);
    for (long long i = 0; i < count;) {
        int length = 1;
        unsigned c = OBUTF16::CodePointAt(src, count, i, length);
        i += length;
        w.Reserve(4);
        if (c < 0x80) {
            Byte(w, c);
        } else if (c < 0x800) {
            Byte(w, 0xC0 | (c >> 6));
            Byte(w, 0x80 | (c & 0x3F));
        } else if (c < 0x10000) { // unpaired surrogates too, as they stand
            Byte(w, 0xE0 | (c >> 12));
            Byte(w, 0x80 | ((c >> 6) & 0x3F));
            Byte(w, 0x80 | (c & 0x3F));
        } else {
            Byte(w, 0xF0 | (c >> 18));
            Byte(w, 0x80 | ((c >> 12) & 0x3F));
            Byte(w, 0x80 | ((c >> 6) & 0x3F));
            Byte(w, 0x80 | (c & 0x3F));
        }
    }
}

short OBStringUtils::ConvertUTF8ToUTF16String(const char* src, unsigned long long n,
                                              WOBString& out) {
    out.Clear();
    if (n == 0) return 1;
    if (!src) return 0;
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    UnitWriter w(out);
    unsigned long long i = 0;
    while (i < n) {
        unsigned b = s[i];
        w.Reserve(2);
        if (b < 0x80) {
            w.Put(static_cast<unsigned short>(b));
            i += 1;
        } else if (b < 0xE0) {
            if (i + 1 >= n) return 0;
            w.Put(static_cast<unsigned short>(((b & 0x1F) << 6) | (s[i + 1] & 0x3F)));
            i += 2;
        } else if (b < 0xF0) {
            if (i + 2 >= n) return 0;
            w.Put(static_cast<unsigned short>((b << 12) | ((s[i + 1] & 0x3F) << 6) |
                                              (s[i + 2] & 0x3F)));
            i += 3;
        } else if (b < 0xF8) {
            if (i + 3 >= n) return 0;
            unsigned short units[2];
            int made = OBUTF16::Split(((b & 7) << 18) | ((s[i + 1] & 0x3F) << 12) |
                                          ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F),
                                      units);
            for (int k = 0; k < made; ++k)
                w.Put(units[k]);
            i += 4;
        } else {
            return 0;
        }
    }
    return w.Failed() ? 0 : 1;
}
