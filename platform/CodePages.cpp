#include "platform/CodePages.h"
#include "platform/System.h"

#include <ombra/export.h>
#include <ombra/utf16.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <boost/thread/tss.hpp>
#include <iconv.h>

namespace obsys {
namespace {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
const char kUnitEncoding[] = "UTF-16BE";
#else
const char kUnitEncoding[] = "UTF-16LE";
#endif

// iconv_open's failure value is this cast.
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr)
const unsigned short kReplacementUnit = 0xFFFD;
// Johab as shipped with the C library reads 0x5C as the won sign; the code
// page keeps ASCII there, and paths depend on the backslash.
const unsigned kJohabCodePage = 1361;

std::atomic<unsigned> gSystemCodePage{1252};

using OBUTF16::IsHighSurrogate;
using OBUTF16::IsLowSurrogate;

void IconvName(unsigned codePage, char* name, std::size_t size) {
    const char* fixed = nullptr;
    switch (codePage) {
    case 65001:
        fixed = "UTF-8";
        break;
    case 1361:
        fixed = "JOHAB";
        break;
    case 20127:
        fixed = "ASCII";
        break;
    case 20866:
        fixed = "KOI8-R";
        break;
    case 21866:
        fixed = "KOI8-U";
        break;
    case 20932:
        fixed = "EUC-JP";
        break;
    // EUC-JP with the characters and mappings of code page 932: NEC row 13,
    // the full-width forms (U+FF5E, U+FF0D, U+FFE0...) and the IBM kanji.
    case 51932:
        fixed = "EUC-JP-MS";
        break;
    case 51949:
        fixed = "EUC-KR";
        break;
    case 54936:
        fixed = "GB18030";
        break;
    case 28603:
        fixed = "ISO-8859-13";
        break;
    case 28605:
        fixed = "ISO-8859-15";
        break;
    // The C library's own CP10007 already is the platform's Mac Cyrillic.
    case 10000:
        fixed = "MACINTOSH";
        break;
    case 10029:
        fixed = "MAC-CENTRALEUROPE";
        break;
    default:
        break;
    }
    if (fixed)
        std::snprintf(name, size, "%s", fixed);
    else if (codePage >= 28591 && codePage <= 28599)
        std::snprintf(name, size, "ISO-8859-%u", codePage - 28590);
    else
        std::snprintf(name, size, "CP%u", codePage);
}

// Bytes whose character in the C library's table differs from the platform's.
struct ByteFix {
    unsigned codePage;
    unsigned char byte;
    unsigned short unit;
};
const ByteFix kByteFixes[] = {
    {10000, 0xC6, 0x2206}, // increment, where the C library has Greek capital delta
    {10000, 0xF0, 0xF8FF}, // the platform's private-use logo character
};

// What is known about one code page. Filled once, then only read; lives in
// static storage so that no thread ever waits on or frees it.
struct CodePageInfo {
    enum Kind { kUnavailable, kSingleByte, kMultiByte };
    unsigned codePage = 0;
    Kind kind = kUnavailable;
    char iconvName[24] = {};
    // Single-byte pages convert through tables made from the C library's
    // converter: exact one-to-one mapping, and no composition of
    // combining marks as some of its decoders do.
    unsigned short toUnit[256] = {};
    unsigned char mapped[256] = {};
    unsigned short reverseUnits[256] = {};
    unsigned char reverseBytes[256] = {};
    int reverseCount = 0;
    // The first converter stays open for the life of the process: it keeps
    // the C library's conversion modules loaded, so a thread that closes
    // its converters never unloads a module while another thread loads one.
    iconv_t pin = nullptr;
};

constexpr int kMaxCodePages = 48;
CodePageInfo gInfos[kMaxCodePages];
std::atomic<int> gInfoCount{0};
std::mutex gInfoMutex;
const bool gForkHeld = obsys::AtFork([] { gInfoMutex.lock(); }, [] { gInfoMutex.unlock(); });

void Describe(CodePageInfo& info, unsigned codePage) {
    info.codePage = codePage;
    IconvName(codePage, info.iconvName, sizeof info.iconvName);
    iconv_t cd = iconv_open(kUnitEncoding, info.iconvName);
    if (cd == kNoConverter) {
        info.kind = CodePageInfo::kUnavailable;
        return;
    }
    info.kind = CodePageInfo::kSingleByte;
    for (int b = 0; b < 256 && info.kind == CodePageInfo::kSingleByte; ++b) {
        char in = static_cast<char>(b);
        unsigned short out[4] = {};
        char* inPtr = &in;
        std::size_t inLeft = 1;
        char* outPtr = reinterpret_cast<char*>(out);
        std::size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
            if (errno == EILSEQ) continue;        // a byte the page leaves undefined
            info.kind = CodePageInfo::kMultiByte; // a lead byte: needs what follows
            break;
        }
        if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
            info.kind = CodePageInfo::kMultiByte;
            break;
        }
        std::size_t produced = sizeof out - outLeft;
        if (produced != 2 || IsHighSurrogate(out[0]) || IsLowSurrogate(out[0])) {
            info.kind = CodePageInfo::kMultiByte;
            break;
        }
        info.toUnit[b] = out[0];
        info.mapped[b] = 1;
    }
    info.pin = cd;
    if (info.kind != CodePageInfo::kSingleByte) return;
    for (const ByteFix& fix : kByteFixes) {
        if (fix.codePage != codePage) continue;
        info.toUnit[fix.byte] = fix.unit;
        info.mapped[fix.byte] = 1;
    }

    // Bytes 0x80-0x9F that a page leaves undefined read as the C1 control
    // of the same value, as the platform's tables have them, so that such
    // bytes survive a round trip.
    for (int b = 0x80; b < 0xA0; ++b) {
        if (info.mapped[b]) continue;
        bool taken = false;
        for (int other = 0; other < 256 && !taken; ++other)
            taken = info.mapped[other] && info.toUnit[other] == b;
        if (taken) continue;
        info.toUnit[b] = static_cast<unsigned short>(b);
        info.mapped[b] = 1;
    }

    struct Pair {
        unsigned short unit;
        unsigned char byte;
    } pairs[256];
    int n = 0;
    for (int b = 0; b < 256; ++b)
        if (info.mapped[b]) pairs[n++] = {info.toUnit[b], static_cast<unsigned char>(b)};
    std::sort(pairs, pairs + n, [](const Pair& a, const Pair& b) {
        return a.unit != b.unit ? a.unit < b.unit : a.byte < b.byte;
    });
    for (int i = 0; i < n; ++i) {
        if (info.reverseCount > 0 && info.reverseUnits[info.reverseCount - 1] == pairs[i].unit)
            continue; // two bytes for one character: the lower byte encodes it
        info.reverseUnits[info.reverseCount] = pairs[i].unit;
        info.reverseBytes[info.reverseCount] = pairs[i].byte;
        ++info.reverseCount;
    }
}

const CodePageInfo* FindInfo(unsigned codePage) {
    if (codePage == kSystemDefaultCodePage) codePage = gSystemCodePage.load();
    int count = gInfoCount.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i)
        if (gInfos[i].codePage == codePage) return &gInfos[i];
    std::lock_guard<std::mutex> lock(gInfoMutex);
    count = gInfoCount.load(std::memory_order_relaxed);
    for (int i = 0; i < count; ++i)
        if (gInfos[i].codePage == codePage) return &gInfos[i];
    if (count == kMaxCodePages) return nullptr;
    Describe(gInfos[count], codePage);
    gInfoCount.store(count + 1, std::memory_order_release);
    return &gInfos[count];
}

// A converter is not safe to share between threads, and opening one costs
// far more than a conversion: each thread keeps the ones it has used.
class ThreadConverters {
public:
    OB_MEMORY_OPERATORS
    ThreadConverters() = default;
    ThreadConverters(const ThreadConverters&) = delete;
    ThreadConverters& operator=(const ThreadConverters&) = delete;
    ~ThreadConverters() {
        for (int i = 0; i < count_; ++i)
            iconv_close(slots_[i].cd);
    }

    iconv_t Get(const CodePageInfo& info, bool toUnits) {
        for (int i = 0; i < count_; ++i)
            if (slots_[i].codePage == info.codePage && slots_[i].toUnits == toUnits)
                return slots_[i].cd;
        iconv_t cd = toUnits ? iconv_open(kUnitEncoding, info.iconvName)
                             : iconv_open(info.iconvName, kUnitEncoding);
        if (cd == kNoConverter) return cd;
        int slot = count_;
        if (count_ < kSlots) {
            ++count_;
        } else {
            slot = next_;
            next_ = (next_ + 1) % kSlots;
            iconv_close(slots_[slot].cd);
        }
        slots_[slot] = {info.codePage, toUnits, cd};
        return cd;
    }

private:
    static constexpr int kSlots = 24;
    struct Slot {
        unsigned codePage;
        bool toUnits;
        iconv_t cd;
    };
    Slot slots_[kSlots];
    int count_ = 0;
    int next_ = 0;
};

boost::thread_specific_ptr<ThreadConverters> gConverters;

iconv_t ConverterFor(const CodePageInfo& info, bool toUnits) {
    ThreadConverters* converters = gConverters.get();
    if (!converters) {
        converters = new ThreadConverters;
        if (!converters) return kNoConverter;
        gConverters.reset(converters);
    }
    iconv_t cd = converters->Get(info, toUnits);
    if (cd != kNoConverter) iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return cd;
}

// Where a conversion writes: the caller's buffer, or a scratch area that is
// emptied into a running count when the caller only asks for the size.
class Sink {
public:
    Sink(void* dst, long long capacity, std::size_t unitSize) : unitSize_(unitSize) {
        counting_ = capacity == 0;
        if (counting_) {
            begin_ = scratch_;
            out_ = scratch_;
            left_ = sizeof scratch_;
        } else {
            begin_ = static_cast<char*>(dst);
            out_ = begin_;
            long long limit = LLONG_MAX / static_cast<long long>(unitSize);
            left_ = static_cast<std::size_t>(std::min(capacity, limit)) * unitSize;
        }
    }
    char** Out() { return &out_; }
    std::size_t* Left() { return &left_; }
    // The output is full: go on when only counting.
    bool Drain() {
        if (!counting_) return false;
        counted_ += (out_ - begin_) / static_cast<long long>(unitSize_);
        out_ = begin_;
        left_ = sizeof scratch_;
        return true;
    }
    bool Put(const void* bytes, std::size_t n) {
        if (left_ < n && !Drain()) return false;
        std::memcpy(out_, bytes, n);
        out_ += n;
        left_ -= n;
        return true;
    }
    long long Total() const {
        return counted_ + (out_ - begin_) / static_cast<long long>(unitSize_);
    }
    bool Counting() const { return counting_; }

private:
    std::size_t unitSize_;
    bool counting_;
    char scratch_[512];
    char* begin_;
    char* out_;
    std::size_t left_;
    long long counted_ = 0;
};

bool ValidArguments(const void* src, long long srcLength, const void* dst, long long dstCapacity) {
    if (!src || srcLength == 0 || srcLength < -1) return false;
    if (dstCapacity < 0 || (dstCapacity > 0 && !dst)) return false;
    return true;
}

long long DecodeSingleByte(const CodePageInfo& info, unsigned flags, const unsigned char* src,
                           long long n, unsigned short* dst, long long capacity) {
    if (flags & kErrorOnInvalidChars)
        for (long long i = 0; i < n; ++i)
            if (!info.mapped[src[i]]) return 0;
    if (capacity == 0) return n;
    if (n > capacity) return 0;
    for (long long i = 0; i < n; ++i)
        dst[i] = info.mapped[src[i]] ? info.toUnit[src[i]] : kReplacementUnit;
    return n;
}

long long DecodeMultiByte(const CodePageInfo& info, unsigned flags, const char* src, long long n,
                          unsigned short* dst, long long capacity) {
    iconv_t cd = ConverterFor(info, true);
    if (cd == kNoConverter) return 0;
    Sink sink(dst, capacity, sizeof(unsigned short));
    char* in = const_cast<char*>(src);
    std::size_t inLeft = static_cast<std::size_t>(n);
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, sink.Out(), sink.Left()) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            if (!sink.Drain()) return 0;
        } else if (errno == EILSEQ || errno == EINVAL) {
            // One replacement per bad byte; the bytes after it are read anew.
            if (flags & kErrorOnInvalidChars) return 0;
            if (!sink.Put(&kReplacementUnit, sizeof kReplacementUnit)) return 0;
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        } else {
            return 0;
        }
    }
    while (iconv(cd, nullptr, nullptr, sink.Out(), sink.Left()) == static_cast<std::size_t>(-1))
        if (errno != E2BIG || !sink.Drain()) return 0;
    long long total = sink.Total();
    if (info.codePage == kJohabCodePage && !sink.Counting())
        for (long long i = 0; i < total; ++i)
            if (dst[i] == 0x20A9) dst[i] = 0x5C;
    return total;
}

// The bytes that stand in for a character the code page cannot hold.
std::size_t DefaultBytes(const char* defaultChar, char out[2]) {
    if (!defaultChar || !defaultChar[0]) {
        out[0] = '?';
        return 1;
    }
    out[0] = defaultChar[0];
    if (!defaultChar[1]) return 1;
    out[1] = defaultChar[1];
    return 2;
}

// The byte of a single-byte page for unit u; false when the page has none.
bool ByteOf(const CodePageInfo& info, unsigned short u, char& byte) {
    const unsigned short* end = info.reverseUnits + info.reverseCount;
    const unsigned short* at = std::lower_bound(info.reverseUnits, end, u);
    if (at == end || *at != u) return false;
    byte = static_cast<char>(info.reverseBytes[at - info.reverseUnits]);
    return true;
}

long long EncodeSingleByte(const CodePageInfo& info, unsigned flags, const unsigned short* src,
                           long long n, char* dst, long long capacity, const char* defaultChar,
                           short* usedDefault) {
    char fallback[2];
    std::size_t fallbackSize = DefaultBytes(defaultChar, fallback);
    Sink sink(dst, capacity, 1);
    for (long long i = 0; i < n; ++i) {
        unsigned short u = src[i];
        if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            bool pair = IsHighSurrogate(u) && i + 1 < n && IsLowSurrogate(src[i + 1]);
            if (!pair && (flags & kErrorOnInvalidUnits)) return 0;
            if (pair) ++i;
            if (usedDefault) *usedDefault = 1;
            if (!sink.Put(fallback, fallbackSize)) return 0;
            continue;
        }
        char byte;
        if (ByteOf(info, u, byte)) {
            if (!sink.Put(&byte, 1)) return 0;
        } else {
            if (usedDefault) *usedDefault = 1;
            if (!sink.Put(fallback, fallbackSize)) return 0;
        }
    }
    return sink.Total();
}

// With stoppedAt, the conversion ends before the first character the page
// has no bytes for and *stoppedAt receives its index (n when there is none,
// -1 on failure); defaultChar is not used then.
long long EncodeMultiByte(const CodePageInfo& info, unsigned flags, const unsigned short* src,
                          long long n, char* dst, long long capacity, const char* defaultChar,
                          short* usedDefault, long long* stoppedAt = nullptr) {
    if (stoppedAt) *stoppedAt = -1;
    long long stop = n;
    iconv_t cd = ConverterFor(info, false);
    if (cd == kNoConverter) return 0;
    char fallback[2];
    std::size_t fallbackSize = DefaultBytes(defaultChar, fallback);
    Sink sink(dst, capacity, 1);
    const char* start = reinterpret_cast<const char*>(src);
    char* in = const_cast<char*>(start);
    std::size_t inLeft = static_cast<std::size_t>(n) * sizeof(unsigned short);
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, sink.Out(), sink.Left()) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            if (!sink.Drain()) return 0;
            continue;
        }
        if (errno != EILSEQ && errno != EINVAL) return 0;
        long long index = (in - start) / static_cast<long long>(sizeof(unsigned short));
        unsigned short u = src[index];
        long long skip = 1;
        if (IsHighSurrogate(u) && index + 1 < n && IsLowSurrogate(src[index + 1])) {
            skip = 2; // a whole character the page has no bytes for
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            if (flags & kErrorOnInvalidUnits) return 0;
        }
        if (info.codePage == kJohabCodePage && u == 0x5C) {
            char backslash = '\\';
            if (!sink.Put(&backslash, 1)) return 0;
        } else if (stoppedAt) {
            stop = index;
            break;
        } else {
            if (usedDefault) *usedDefault = 1;
            if (!sink.Put(fallback, fallbackSize)) return 0;
        }
        in += skip * sizeof(unsigned short);
        inLeft -= static_cast<std::size_t>(skip) * sizeof(unsigned short);
    }
    while (iconv(cd, nullptr, nullptr, sink.Out(), sink.Left()) == static_cast<std::size_t>(-1))
        if (errno != E2BIG || !sink.Drain()) return 0;
    if (stoppedAt) *stoppedAt = stop;
    return sink.Total();
}

long long EncodeSingleByteExact(const CodePageInfo& info, const unsigned short* src, long long n,
                                char* dst, long long capacity, long long* done) {
    Sink sink(dst, capacity, 1);
    long long i = 0;
    char byte;
    // Surrogates are in no single-byte page, so a pair stops here too.
    for (; i < n && ByteOf(info, src[i], byte); ++i)
        if (!sink.Put(&byte, 1)) return -1;
    *done = i;
    return sink.Total();
}

constexpr long long kExactRun = 64;

// True when bytes read back as exactly the n units.
bool ReadsBack(const CodePageInfo& info, const char* bytes, long long size,
               const unsigned short* units, long long n) {
    unsigned short back[kExactRun + 8];
    if (size <= 0 || n <= 0 || n > kExactRun) return false;
    long long got = DecodeMultiByte(info, kErrorOnInvalidChars, bytes, size, back, kExactRun + 8);
    return got == n && std::memcmp(back, units, static_cast<std::size_t>(n) * 2) == 0;
}

// Runs of units are converted and read back whole; only a run that does not
// come back unchanged is gone through character by character, to find the
// first one the page holds only as a best fit.
long long EncodeMultiByteExact(const CodePageInfo& info, const unsigned short* src, long long n,
                               char* dst, long long capacity, long long* done) {
    Sink sink(dst, capacity, 1);
    char bytes[kExactRun * 4 + 16];
    long long i = 0;
    while (i < n) {
        long long end = std::min(n, i + kExactRun);
        if (end < n && IsHighSurrogate(src[end - 1]) && IsLowSurrogate(src[end])) --end;
        long long length = end - i;
        long long held = -1;
        long long size =
            EncodeMultiByte(info, 0, src + i, length, bytes, sizeof bytes, nullptr, nullptr, &held);
        if (held < 0) return -1;
        if (held > 0 && !ReadsBack(info, bytes, size, src + i, held)) {
            long long k = 0;
            size = 0;
            while (k < held) {
                long long one =
                    IsHighSurrogate(src[i + k]) && k + 1 < held && IsLowSurrogate(src[i + k + 1])
                        ? 2
                        : 1;
                long long fits = -1;
                long long made = EncodeMultiByte(info, 0, src + i + k, one, bytes + size,
                                                 static_cast<long long>(sizeof bytes) - size,
                                                 nullptr, nullptr, &fits);
                if (fits != one || !ReadsBack(info, bytes + size, made, src + i + k, one)) break;
                size += made;
                k += one;
            }
            held = k;
        }
        if (size > 0 && !sink.Put(bytes, static_cast<std::size_t>(size))) return -1;
        i += held;
        if (held < length) break;
    }
    *done = i;
    return sink.Total();
}

long long UnitLength(const unsigned short* s) {
    long long n = 0;
    while (s[n])
        ++n;
    return n;
}

} // namespace

long long MultiByteToWideChar(unsigned codePage, unsigned flags, const char* src,
                              long long srcLength, unsigned short* dst, long long dstCapacity) {
    if (!ValidArguments(src, srcLength, dst, dstCapacity)) return 0;
    if (srcLength == -1) srcLength = static_cast<long long>(std::strlen(src)) + 1;
    const CodePageInfo* info = FindInfo(codePage);
    if (!info) return 0;
    switch (info->kind) {
    case CodePageInfo::kSingleByte:
        return DecodeSingleByte(*info, flags, reinterpret_cast<const unsigned char*>(src),
                                srcLength, dst, dstCapacity);
    case CodePageInfo::kMultiByte:
        return DecodeMultiByte(*info, flags, src, srcLength, dst, dstCapacity);
    default:
        return 0;
    }
}

long long WideCharToMultiByte(unsigned codePage, unsigned flags, const unsigned short* src,
                              long long srcLength, char* dst, long long dstCapacity,
                              const char* defaultChar, short* usedDefaultChar) {
    if (usedDefaultChar) *usedDefaultChar = 0;
    if (!ValidArguments(src, srcLength, dst, dstCapacity)) return 0;
    if (srcLength == -1) srcLength = UnitLength(src) + 1;
    if (srcLength > LLONG_MAX / 2) return 0;
    const CodePageInfo* info = FindInfo(codePage);
    if (!info) return 0;
    switch (info->kind) {
    case CodePageInfo::kSingleByte:
        return EncodeSingleByte(*info, flags, src, srcLength, dst, dstCapacity, defaultChar,
                                usedDefaultChar);
    case CodePageInfo::kMultiByte:
        return EncodeMultiByte(*info, flags, src, srcLength, dst, dstCapacity, defaultChar,
                               usedDefaultChar);
    default:
        return 0;
    }
}

long long WideCharToMultiByteExact(unsigned codePage, const unsigned short* src,
                                   long long srcLength, char* dst, long long dstCapacity,
                                   long long* used) {
    if (used) *used = 0;
    if (!ValidArguments(src, srcLength, dst, dstCapacity)) return -1;
    if (srcLength == -1) srcLength = UnitLength(src) + 1;
    if (srcLength > LLONG_MAX / 4) return -1;
    const CodePageInfo* info = FindInfo(codePage);
    if (!info) return -1;
    long long done = 0;
    long long produced = -1;
    switch (info->kind) {
    case CodePageInfo::kSingleByte:
        produced = EncodeSingleByteExact(*info, src, srcLength, dst, dstCapacity, &done);
        break;
    case CodePageInfo::kMultiByte:
        produced = EncodeMultiByteExact(*info, src, srcLength, dst, dstCapacity, &done);
        break;
    default:
        break;
    }
    if (produced >= 0 && used) *used = done;
    return produced;
}

unsigned GetSystemCodePage() {
    return gSystemCodePage.load();
}

bool SetSystemCodePage(unsigned codePage) {
    if (!IsCodePageAvailable(codePage)) return false;
    gSystemCodePage.store(codePage);
    return true;
}

bool IsCodePageAvailable(unsigned codePage) {
    if (codePage == kSystemDefaultCodePage) return false;
    const CodePageInfo* info = FindInfo(codePage);
    return info && info->kind != CodePageInfo::kUnavailable;
}

void ReleaseThreadConverters() {
    gConverters.reset();
}

} // namespace obsys
