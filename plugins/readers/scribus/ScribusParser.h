// Detection and parsing of Scribus documents into the model of ScribusModel.h.
#ifndef OMBRA_SCRIBUS_PARSER_H
#define OMBRA_SCRIBUS_PARSER_H

#include "ScribusModel.h"

#include <cstddef>
#include <string>
#include <vector>

namespace scribus {

/// How many leading bytes Detect needs at most; a reader reads this many.
constexpr std::size_t kDetectBytes = 4096;

/// Returns 1 when the bytes start a Scribus document, plain or gzip
/// compressed, and 0 otherwise. Only the first kDetectBytes are looked at;
/// a gzip prefix is inflated into a small buffer, never further.
short Detect(const unsigned char* data, std::size_t size);

/// Limits that keep hostile input from exhausting time or memory.
struct ParseOptions {
    std::size_t maxInputBytes = std::size_t(256) << 20; ///< after decompression
    int maxNesting = 64;                                ///< nested groups and cells
    std::size_t maxItems = 1000000;
    std::size_t maxStoryLength = std::size_t(64) << 20; ///< UTF-16 units per story
    std::size_t maxPathPoints = 1000000;                ///< per item outline
    std::size_t maxEmbeddedImageBytes = std::size_t(64) << 20;
    std::size_t maxWarnings = 1000; ///< further ones are only counted
};

struct Warning {
    enum class Code {
        kMalformedXml,  ///< the XML is not well formed; it was repaired or cut
        kTruncated,     ///< the input ends early; what came before is kept
        kDecompression, ///< the gzip stream is damaged or exceeds the limit
        kBadNumber,     ///< a number is unreadable or absurd; a default is used
        kBadReference,  ///< a style, page, layer or item that does not exist
        kChainLoop,     ///< linked frames form a loop; the loop is cut
        kChainDangling, ///< a frame link points nowhere; the chain ends there
        kLimit,         ///< a size or depth limit was reached; the rest is skipped
        kEncoding,      ///< invalid UTF-8, read as Latin-1
        kUnsupported,   ///< content this parser does not read; skipped
        kOutOfMemory,   ///< memory ran out; nothing was read
    };
    Code code;
    std::string message;
};

struct ParseResult {
    enum class Status {
        kOk,         ///< read completely
        kRecovered,  ///< read with repairs; see warnings
        kNotScribus, ///< not a Scribus document; document is empty
        kFailed,     ///< nothing could be read (no memory: a kOutOfMemory warning says so)
    };
    Status status = Status::kFailed;
    Document document;
    std::vector<Warning> warnings;
    std::size_t droppedWarnings = 0; ///< warnings past ParseOptions::maxWarnings
};

/// Parses a whole Scribus document (plain or gzip compressed). Never throws;
/// everything that can be read is returned together with warnings about what
/// was skipped.
ParseResult Parse(const unsigned char* data, std::size_t size,
                  const ParseOptions& options = ParseOptions());

/// Where the parser reads a document from, as often as it needs to.
class Input {
public:
    virtual ~Input();
    /// Up to size more bytes into data: how many, 0 at the end, -1 when the
    /// input cannot be read.
    virtual long long Read(char* data, std::size_t size) = 0;
    /// Back to the first byte; false when the input cannot go back.
    virtual bool Rewind() = 0;
};

/// Parse, reading the document once, as it arrives: nothing of it stays in
/// memory but the model. A document that is not well formed is read again,
/// whole, to be repaired.
ParseResult Parse(Input& input, const ParseOptions& options = ParseOptions());

/// Inflates gzip data into out, stopping at limit bytes. Returns false when
/// the data is damaged or the limit was hit; out then holds what was
/// inflated so far and error says why.
bool Gunzip(const unsigned char* data, std::size_t size, std::size_t limit, std::string& out,
            std::string& error);

/// Rewrites damaged XML so that a parser can read everything up to the
/// damage: escapes stray '&' and '<', quotes bare attribute values, drops
/// bytes that cannot appear in XML markup, balances mismatched end tags and
/// closes a truncated document. Control characters inside attribute values
/// are kept, as old documents store text in them. Returns the number of
/// repairs made.
std::size_t RepairXml(const char* data, std::size_t size, std::string& out);

} // namespace scribus

#endif
