#include "TextEncoder.h"

#include "UnitScan.h"

#include <ombra/utf16.h>
#include <ombra/convertorlumservice.h>
#include <ombra/diagnostics.h>
#include <ombra/memory.h>
#include <ombra/strings.h>
#include <ombra/utf8.h>

#include <cstdio>

#include <emmintrin.h>

namespace {

constexpr long long kBlock = 16384;
constexpr unsigned short kReplacement = 0xFFFD;

constexpr auto IsHigh = OBUTF16::IsHighSurrogate;
constexpr auto IsLow = OBUTF16::IsLowSurrogate;

constexpr unsigned kScriptsWindowsCodePage = 0;

// The code page of a script's text where the target platform has one of its
// own (Mac OS Roman, the ISO 8859 pages, EUC-JP); kScriptsWindowsCodePage
// where the text service converts it with the script's Windows code page.
unsigned PlatformCodePage(OBTW::PlatformEnum platform, WSE::WritingScriptEnum script) {
    if (script == WSE::kSystemScript) script = COBString::OBGetSystemScript();
    bool latin = script == WSE::kRomanScript || script == WSE::kSystemScript ||
                 script == WSE::kUnicodeScript;
    if (platform == OBTW::kMac) return latin ? 10000 : kScriptsWindowsCodePage;
    if (platform != OBTW::kUnix) return kScriptsWindowsCodePage;
    if (latin) return 28591;
    switch (script) {
    case WSE::kJapaneseScript:
        return 51932;
    case WSE::kCyrillicScript:
        return 28595;
    case WSE::kArabicScript:
    case WSE::kExtArabicScript:
        return 28596;
    case WSE::kGreekScript:
        return 28597;
    case WSE::kHebrewScript:
        return 28598;
    case WSE::kTurkishScript:
        return 28599;
    default:
        return kScriptsWindowsCodePage;
    }
}

const char* LineEndText(OBTW::LineEndEnum lineEnd, OBTW::PlatformEnum platform) {
    static const char* const kPlatformEnds[] = {"\r\n", "\r", "\n"};
    switch (lineEnd) {
    case OBTW::kLF:
        return "\n";
    case OBTW::kCRLF:
        return "\r\n";
    case OBTW::kCR:
        return "\r";
    default:
        return kPlatformEnds[platform >= OBTW::kPC && platform <= OBTW::kUnix ? platform : 0];
    }
}

// ASCII units are written sixteen a step into pieces of this many bytes.
constexpr long long kAsciiPiece = 512;

// Whether 16 units are all ASCII, and their bytes when they are.
inline bool AsciiBlock(const unsigned short* units, unsigned char* out) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + 8));
    // Unsigned saturation marks units from 0x80 up to 0x7FFF, signed
    // saturation those from 0x8000.
    __m128i bytes = _mm_packus_epi16(a, b);
    if (_mm_movemask_epi8(bytes) | _mm_movemask_epi8(_mm_packs_epi16(a, b))) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    return true;
}

// The bytes of the ASCII units that units (n of them) begin with, at most
// kAsciiPiece: blocks of sixteen, then one by one up to the end or a unit
// that is not ASCII. How many.
long long AsciiBytes(const unsigned short* units, long long n, unsigned char* out) {
    long long k = 0;
    while (n - k >= 16 && k + 16 <= kAsciiPiece && AsciiBlock(units + k, out + k))
        k += 16;
    // Fewer than sixteen left: a block that ends with them, over units
    // found ASCII already, takes them at once when they are ASCII too.
    long long rest = n - k;
    if (rest > 0 && rest < 16 && k >= 16 - rest && n <= kAsciiPiece &&
        AsciiBlock(units + n - 16, out + n - 16))
        return n;
    for (; k < n && k < kAsciiPiece && units[k] < 0x80; ++k)
        out[k] = static_cast<unsigned char>(units[k]);
    return k;
}

// Where the stretch that starts at i, with a unit that is not ASCII, ends:
// at the next block of sixteen ASCII units, looked for eight units a step
// (a short run of ASCII, as between words of other scripts, stays in it).
long long NextAsciiBlock(const unsigned short* units, long long i, long long n) {
    unsigned char scratch[16];
    for (long long p = i + 8; p + 16 <= n; p += 8)
        if (AsciiBlock(units + p, scratch)) return p;
    return n;
}

} // namespace

OBTextEncoder::OBTextEncoder(OBStream* output, const OBTextWriterOptions& options,
                             OBTextProblems& problems)
    : output_(output),
      encoding_(options.encoding == OBTW::kCodePage ? OBTW::kDefaultEncoding : options.encoding),
      platform_(options.platform), lineEnd_(LineEndText(options.lineEnd, options.platform)),
      codePage_(options.encoding == OBTW::kCodePage ? options.codePage : 0),
      squeeze_(options.squeezeBlankLines), emptyLines_(1),
      byteOrderMark_(options.utf8ByteOrderMark), bigEndian_(options.platform == OBTW::kMac),
      problems_(problems), pendingHigh_(0), replaced_(0), written_(0), failed_(false), cache_() {}

// The note of replaced characters says how many there were.
OBTextEncoder::~OBTextEncoder() {
    if (replaced_ <= 0) return;
    char detail[96];
    std::snprintf(detail, sizeof detail, "%lld character%s replaced with '%s'", replaced_,
                  replaced_ == 1 ? "" : "s", encoding_ == OBTW::kDefaultEncoding ? "?" : "U+FFFD");
    OBLoggerUtility::LogEntry(OBMessageId(OBERR::kUnmappableCharacters), detail);
}

void OBTextEncoder::Begin() {
    if (encoding_ == OBTW::kUTF16) {
        PutUnit16(0xFEFF);
    } else if (encoding_ == OBTW::kUTF8 && byteOrderMark_) {
        static const unsigned char kMark[] = {0xEF, 0xBB, 0xBF};
        Put(kMark, 3);
    }
}

void OBTextEncoder::Write(const unsigned short* units, long long n, WSE::WritingScriptEnum script) {
    if (!units || n <= 0) return;
    emptyLines_ = 0;
    // Most text holds no surrogates: it is encoded as it stands.
    if (!pendingHigh_ && !obscan::HasSurrogate(units, n)) {
        Encode(units, n, script);
        return;
    }
    // Pair up surrogates first, also across calls; an unpaired one is
    // replaced. The encodings below then only ever see whole characters.
    unsigned short* clean = scratchUnits_.Get(n + 1);
    if (!clean) {
        problems_.Report(OBERR::kOutOfMemory);
        return;
    }
    long long count = 0;
    const unsigned short stray = encoding_ == OBTW::kDefaultEncoding ? '?' : kReplacement;
    for (long long i = 0; i < n; ++i) {
        unsigned short u = units[i];
        if (pendingHigh_) {
            if (IsLow(u)) {
                clean[count++] = pendingHigh_;
                clean[count++] = u;
                pendingHigh_ = 0;
                continue;
            }
            clean[count++] = stray;
            Replaced();
            pendingHigh_ = 0;
        }
        if (IsHigh(u)) {
            if (i + 1 < n && IsLow(units[i + 1])) {
                clean[count++] = u;
                clean[count++] = units[++i];
            } else if (i + 1 == n) {
                pendingHigh_ = u;
            } else {
                clean[count++] = stray;
                Replaced();
            }
        } else if (IsLow(u)) {
            clean[count++] = stray;
            Replaced();
        } else {
            clean[count++] = u;
        }
    }
    Encode(clean, count, script);
}

void OBTextEncoder::WritePlain(const unsigned short* units, long long n,
                               WSE::WritingScriptEnum script) {
    if (pendingHigh_) {
        Write(units, n, script); // the high surrogate before them is replaced
        return;
    }
    if (!units || n <= 0) return;
    emptyLines_ = 0;
    Encode(units, n, script);
}

void OBTextEncoder::Encode(const unsigned short* units, long long n,
                           WSE::WritingScriptEnum script) {
    if (encoding_ == OBTW::kDefaultEncoding)
        EncodeDefault(units, n, script);
    else
        EncodeUnicode(units, n);
}

void OBTextEncoder::WriteAscii(const char* text) {
    if (!text) return;
    if (*text) emptyLines_ = 0;
    for (; *text; ++text) {
        unsigned short u = static_cast<unsigned char>(*text) & 0x7F;
        if (encoding_ == OBTW::kUTF16)
            PutUnit16(u);
        else
            PutByte(static_cast<unsigned char>(u));
    }
}

void OBTextEncoder::LineEnd() {
    Drain();
    // Text since the last line end resets the count; a second empty line
    // in a row is left out when squeezing.
    int ends = emptyLines_ + 1;
    if (squeeze_ && ends > 2) return;
    WriteAscii(lineEnd_);
    emptyLines_ = ends;
}

void OBTextEncoder::Flush() {
    Drain();
    if (buffer_.IsEmpty()) return;
    if (!failed_) {
        long long n = buffer_.Count();
        long long done =
            output_ ? output_->XferByte(const_cast<unsigned char*>(buffer_.Data()), n) : 0;
        if (done > 0) written_ += done < n ? done : n;
        if (!output_ || done != n || output_->GetStreamState() == kStreamError) {
            failed_ = true;
            problems_.Report(OBERR::kWriteFailed);
        }
    }
    buffer_.Clear();
}

// A high surrogate left over at a line end or at the end is replaced.
void OBTextEncoder::Drain() {
    if (!pendingHigh_) return;
    pendingHigh_ = 0;
    unsigned short stray = encoding_ == OBTW::kDefaultEncoding ? '?' : kReplacement;
    Replaced();
    if (encoding_ == OBTW::kDefaultEncoding)
        PutByte('?');
    else
        EncodeUnicode(&stray, 1);
}

void OBTextEncoder::Put(const unsigned char* bytes, long long n) {
    if (Append(bytes, n) && buffer_.Count() >= kBlock) Flush();
}

bool OBTextEncoder::Append(const unsigned char* bytes, long long n) {
    if (failed_) return false;
    if (n <= 0) return true;
    // A block's room at once, not grown from nothing again after each flush.
    if (buffer_.IsEmpty()) buffer_.Reserve(static_cast<int>(kBlock + kBlock / 4));
    if (!buffer_.Append(bytes, static_cast<int>(n))) {
        // No room to collect: write what there is and these bytes directly.
        Flush();
        if (failed_) return false;
        long long done = output_ ? output_->XferByte(const_cast<unsigned char*>(bytes), n) : 0;
        if (done > 0) written_ += done < n ? done : n;
        if (!output_ || done != n || output_->GetStreamState() == kStreamError) {
            failed_ = true;
            problems_.Report(OBERR::kWriteFailed);
        }
        return !failed_;
    }
    return true;
}

void OBTextEncoder::PutUnit16(unsigned short unit) {
    unsigned char bytes[2];
    bytes[bigEndian_ ? 0 : 1] = static_cast<unsigned char>(unit >> 8);
    bytes[bigEndian_ ? 1 : 0] = static_cast<unsigned char>(unit & 0xFF);
    Put(bytes, 2);
}

void OBTextEncoder::Replaced() {
    ++replaced_;
    problems_.Report(OBERR::kUnmappableCharacters);
}

void OBTextEncoder::EncodeUnicode(const unsigned short* units, long long n) {
    if (encoding_ == OBTW::kUTF16) {
        for (long long i = 0; i < n; ++i)
            PutUnit16(units[i]);
        return;
    }
    // ASCII goes to the buffer as it stands; the stretches between blocks
    // of it through the core's conversion. The bytes are the same either
    // way and go on to the stream in the same pieces: the buffer is handed
    // on only once the whole text is in.
    unsigned char ascii[kAsciiPiece];
    long long i = 0;
    while (i < n) {
        long long k = AsciiBytes(units + i, n - i, ascii);
        if (k > 0 && !Append(ascii, k)) return;
        i += k;
        if (i == n || k == kAsciiPiece) continue;
        long long j = NextAsciiBlock(units, i, n);
        OBStringUtils::ConvertUTF16StringToUTF8(units + i, static_cast<unsigned long long>(j - i),
                                                utf8_);
        if (!Append(reinterpret_cast<const unsigned char*>(utf8_.GrabCString()), utf8_.Length()))
            return;
        i = j;
    }
    if (buffer_.Count() >= kBlock) Flush();
}

void OBTextEncoder::EncodeDefault(const unsigned short* units, long long n,
                                  WSE::WritingScriptEnum script) {
    // ASCII is the same in every code page here; only the rest is converted.
    long long i = 0;
    while (i < n) {
        if (units[i] < 0x80) {
            long long j = i;
            while (j < n && units[j] < 0x80)
                ++j;
            unsigned char* bytes = reinterpret_cast<unsigned char*>(scratchBytes_.Get(j - i));
            if (bytes) {
                for (long long k = i; k < j; ++k)
                    bytes[k - i] = static_cast<unsigned char>(units[k]);
                Put(bytes, j - i);
            } else {
                for (long long k = i; k < j; ++k)
                    PutByte(static_cast<unsigned char>(units[k]));
            }
            i = j;
            continue;
        }
        long long j = i;
        while (j < n && units[j] >= 0x80)
            ++j;
        EncodeSegment(units + i, j - i, script);
        i = j;
    }
}

void OBTextEncoder::EncodeSegment(const unsigned short* units, long long n,
                                  WSE::WritingScriptEnum script) {
    unsigned codePage = codePage_ ? codePage_ : PlatformCodePage(platform_, script);
    if (codePage != kScriptsWindowsCodePage) {
        EncodeInCodePage(units, n, codePage);
        return;
    }
    if (ServiceSegment(units, n, script)) return;
    for (long long i = 0; i < n;) {
        int length = IsHigh(units[i]) && i + 1 < n && IsLow(units[i + 1]) ? 2 : 1;
        EncodeCharacter(units + i, length, script);
        i += length;
    }
}

// In pieces whose bytes fit a buffer on the stack; the core stops before each
// character the code page lacks, which gets its stand-in here.
void OBTextEncoder::EncodeInCodePage(const unsigned short* units, long long n, unsigned codePage) {
    constexpr long long kPiece = 128;
    char bytes[kPiece * 4];
    long long i = 0;
    while (i < n) {
        long long end = n - i > kPiece ? i + kPiece : n;
        if (end < n && IsHigh(units[end - 1])) --end; // keeps a surrogate pair together
        short exact = 0;
        long long used = 0;
        long long produced = OBConvertorLumService::TextCharToCodePage_Exact(
            codePage, units + i, end - i, bytes, sizeof bytes, exact, used);
        if (produced > 0) Put(reinterpret_cast<const unsigned char*>(bytes), produced);
        if (used > 0) i += used;
        if (exact) continue;
        int length = IsHigh(units[i]) && i + 1 < n && IsLow(units[i + 1]) ? 2 : 1;
        StandIn(units + i, length);
        i += length;
    }
}

// The whole segment through the text service, accepted only when it comes
// back unchanged: then no character was replaced on the way.
bool OBTextEncoder::ServiceSegment(const unsigned short* units, long long n,
                                   WSE::WritingScriptEnum script) {
    OBLumUnicodeTranslator* translator = OBLumUnicodeTranslator::Instance();
    long long capacity = 2 * n + 8;
    char* bytes = scratchBytes_.Get(capacity);
    unsigned short* back = roundTrip_.Get(n + 8);
    if (!bytes || !back) return false;
    long long produced =
        translator->TextCharToChar(units, n, bytes, capacity, script, CPGE::kCodePageFromScript);
    if (produced <= 0 || produced > capacity) return false;
    long long returned =
        translator->CharToTextChar(bytes, produced, back, n + 8, script, CPGE::kCodePageFromScript);
    if (returned != n || OBMemcmp(back, units, static_cast<std::size_t>(n) * 2) != 0) return false;
    Put(reinterpret_cast<const unsigned char*>(bytes), produced);
    return true;
}

void OBTextEncoder::EncodeCharacter(const unsigned short* units, int n,
                                    WSE::WritingScriptEnum script) {
    CachedUnit* cached = nullptr;
    if (n == 1) {
        unsigned key = ((static_cast<unsigned>(script) & 0xFFFF) << 16 | units[0]) + 1;
        cached = &cache_[(units[0] ^ (static_cast<unsigned>(script) * 40503u)) % kCacheSize];
        if (cached->key != key) {
            cached->key = key;
            cached->length = Convert(units, n, script, cached->bytes);
        }
    }
    unsigned char bytes[3];
    unsigned char length = cached ? cached->length : Convert(units, n, script, bytes);
    if (length != kUnheld)
        Put(cached ? cached->bytes : bytes, length);
    else
        StandIn(units, n);
}

void OBTextEncoder::StandIn(const unsigned short* units, int n) {
    unsigned char stand = 0;
    bool nothing = false;
    if (n == 1 && Substitute(units[0], stand, nothing)) {
        if (!nothing) PutByte(stand);
        return;
    }
    PutByte('?');
    Replaced();
}

// One character through the text service, checked by the way back; the
// bytes it takes, or kUnheld when the code page lacks it.
unsigned char OBTextEncoder::Convert(const unsigned short* units, int n,
                                     WSE::WritingScriptEnum script, unsigned char* out) {
    OBLumUnicodeTranslator* translator = OBLumUnicodeTranslator::Instance();
    char bytes[16];
    unsigned short back[8];
    long long produced = translator->TextCharToChar(units, n, bytes, sizeof bytes, script,
                                                    CPGE::kCodePageFromScript);
    if (produced <= 0 || produced > 2) return kUnheld;
    long long returned =
        translator->CharToTextChar(bytes, produced, back, 8, script, CPGE::kCodePageFromScript);
    if (returned != n || OBMemcmp(back, units, static_cast<std::size_t>(n) * 2) != 0)
        return kUnheld;
    OBMemcpy(out, bytes, static_cast<std::size_t>(produced));
    return static_cast<unsigned char>(produced);
}

bool OBTextEncoder::Substitute(unsigned short unit, unsigned char& byte, bool& nothing) {
    nothing = false;
    switch (unit) {
    case 0x00A0: // no-break space
    case 0x2000:
    case 0x2001:
    case 0x2002:
    case 0x2003:
    case 0x2004:
    case 0x2005:
    case 0x2006:
    case 0x2007:
    case 0x2008:
    case 0x2009:
    case 0x200A: // typographic spaces
    case 0x202F:
    case 0x205F:
        byte = ' ';
        return true;
    case 0x2010: // hyphen
    case 0x2011: // no-break hyphen
        byte = '-';
        return true;
    case 0x200B: // zero-width space and joiners
    case 0x2060:
    case 0xFEFF:
        nothing = true;
        return true;
    default:
        return false;
    }
}
