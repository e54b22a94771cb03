// Turns UTF-16 text tagged with writing scripts into the bytes of the chosen
// encoding and line ends, and hands them to the output stream.
#ifndef OMBRA_TEXTWRITER_ENCODER_H
#define OMBRA_TEXTWRITER_ENCODER_H

#include "TextProblems.h"
#include "TextScratch.h"
#include "TextWriterOptions.h"

#include <ombra/collection.h>
#include <ombra/streams.h>
#include <ombra/textservice.h>

/// The output end of the text writer. Text arrives as UTF-16 units with the
/// writing script they belong to; line ends arrive as calls of LineEnd.
///
/// - kUTF8: UTF-8 through OBStringUtils, a byte-order mark only when asked.
/// - kUTF16: UTF-16 with a byte-order mark, little-endian (big-endian for Mac).
/// - kCodePage: every character in the one code page named by the options,
///   through the core's explicit code pages.
/// - kDefaultEncoding: each character in the code page of its script: the
///   Windows code pages through the calling thread's text service on PC;
///   the core's explicit code pages for Mac OS Roman (Latin text on Mac)
///   and for ISO 8859-1, -5, -6, -7, -8, -9 and EUC-JP on Unix. Other
///   scripts fall back to their Windows code page.
///
/// A character the encoding cannot hold is never dropped: a no-break or
/// typographic space becomes a space, a no-break hyphen a hyphen, a zero-width
/// space nothing, and everything else '?' (U+FFFD in the Unicode encodings,
/// which hold everything but unpaired surrogates). Each such '?' is counted
/// and reported as OBERR::kUnmappableCharacters, whose note says at the end
/// how many were replaced.
///
/// Lines end as the options say (the platform's, or LF, CR LF or CR); with
/// squeezeBlankLines a run of empty lines is written as one.
///
/// Bytes are collected and written in blocks. When the stream refuses bytes
/// (it writes fewer than asked or its state turns to kStreamError), or there
/// is no stream, the encoder reports OBERR::kWriteFailed once and writes
/// nothing more.
class OBTextEncoder {
public:
    OB_MEMORY_OPERATORS

    /// output is not owned.
    OBTextEncoder(OBStream* output, const OBTextWriterOptions& options, OBTextProblems& problems);
    OBTextEncoder(const OBTextEncoder&) = delete;
    OBTextEncoder& operator=(const OBTextEncoder&) = delete;
    ~OBTextEncoder();

    /// Writes the byte-order mark the encoding asks for; call it first.
    void Begin();
    /// n units of script. A surrogate pair may be split across calls.
    void Write(const unsigned short* units, long long n, WSE::WritingScriptEnum script);
    /// Write for units known to hold no surrogate.
    void WritePlain(const unsigned short* units, long long n, WSE::WritingScriptEnum script);
    /// Plain ASCII text (bytes 0x01-0x7F), for the writer's own texts.
    void WriteAscii(const char* text);
    /// The chosen line end (none for a second empty line when squeezing).
    void LineEnd();
    /// Hands everything collected so far to the stream.
    void Flush();

    /// Characters written as a replacement so far.
    long long GetReplacedCount() const { return replaced_; }
    /// Bytes the stream accepted so far.
    long long GetBytesWritten() const { return written_; }
    bool HasFailed() const { return failed_; }

private:
    void Put(const unsigned char* bytes, long long n);
    /// Put without handing the buffer on; false once writing has failed.
    bool Append(const unsigned char* bytes, long long n);
    void PutByte(unsigned char b) { Put(&b, 1); }
    void PutUnit16(unsigned short unit);
    /// Units without lone surrogates, in the encoding.
    void Encode(const unsigned short* units, long long n, WSE::WritingScriptEnum script);
    void EncodeUnicode(const unsigned short* units, long long n);
    void EncodeDefault(const unsigned short* units, long long n, WSE::WritingScriptEnum script);
    void EncodeSegment(const unsigned short* units, long long n, WSE::WritingScriptEnum script);
    void EncodeInCodePage(const unsigned short* units, long long n, unsigned codePage);
    void EncodeCharacter(const unsigned short* units, int n, WSE::WritingScriptEnum script);
    unsigned char Convert(const unsigned short* units, int n, WSE::WritingScriptEnum script,
                          unsigned char* out);
    bool ServiceSegment(const unsigned short* units, long long n, WSE::WritingScriptEnum script);
    /// A character the code page lacks: its plain stand-in, or a counted '?'.
    void StandIn(const unsigned short* units, int n);
    /// The stand-in for a character the code page lacks (no bytes for a
    /// zero-width one); false when it has none and '?' is due.
    static bool Substitute(unsigned short unit, unsigned char& byte, bool& nothing);
    void Replaced();
    void Drain();

    /// What single units of a script became, so that text whose script
    /// lacks most of its characters costs one conversion per character kind
    /// rather than per character.
    struct CachedUnit {
        unsigned key;         // (script << 16 | unit) + 1; 0: empty
        unsigned char length; // bytes, or kUnheld
        unsigned char bytes[3];
    };
    static constexpr int kCacheSize = 1024;
    static constexpr unsigned char kUnheld = 0xFF;

    OBStream* output_;
    OBTW::EncodingEnum encoding_;
    OBTW::PlatformEnum platform_;
    const char* lineEnd_;
    unsigned codePage_; // kCodePage's, else 0
    bool squeeze_;
    int emptyLines_; // line ends since the last text
    bool byteOrderMark_;
    bool bigEndian_;
    OBTextProblems& problems_;
    OBBaseTypeCollection<unsigned char> buffer_;
    OBTextScratch<unsigned short> scratchUnits_; // the units being encoded
    OBTextScratch<unsigned short> roundTrip_;
    OBTextScratch<char> scratchBytes_;
    COBString utf8_; // UTF-8 being written, its room kept from call to call
    unsigned short pendingHigh_;
    long long replaced_;
    long long written_;
    bool failed_;
    CachedUnit cache_[kCacheSize];
};

#endif
