// Error codes and message ids shared by the core, plug-ins and hosts.
#ifndef OMBRA_MESSAGES_H
#define OMBRA_MESSAGES_H

/// Codes for the per-thread error code (OBErrorUtils) and the conversion log.
/// A plug-in that skips or repairs part of its input sets the code and logs
/// the matching message id, then carries on.
namespace OBERR {
enum ConversionErrorEnum {
    kNone = 0,
    kOutOfMemory = 1,           ///< an allocation failed; the part that needed it is missing
    kUnreadableInput = 2,       ///< the input stream could not be read
    kMalformedInput = 3,        ///< syntax errors; what could be read is kept
    kTruncatedInput = 4,        ///< the input ends too early
    kBrokenReference = 5,       ///< a reference points nowhere or forms a loop
    kLimitExceeded = 6,         ///< a size or nesting limit was reached; the rest is skipped
    kUnsupportedFeature = 7,    ///< a feature the plug-in cannot express was left out
    kBadValue = 8,              ///< a number or name out of range was replaced or dropped
    kWriteFailed = 9,           ///< the output stream refused bytes
    kUnmappableCharacters = 10, ///< characters the output encoding lacks were replaced
    kNoWriterLoaded = 11,       ///< no writer plug-in could be loaded
};
} // namespace OBERR

/// String resource ids. Every text has a block of 16 ids: base + locale code
/// (see OBL::LocaleIDEnum). The messages of the codes above start at 1000.
constexpr unsigned kOBMessageBase = 1000;
constexpr unsigned kOBLocaleBlock = 16;
/// The base resource id of the message for an error code.
constexpr unsigned OBMessageId(int code) {
    return kOBMessageBase + kOBLocaleBlock * static_cast<unsigned>(code);
}

/// Writers summarise what a conversion dropped ("{n} pictures without a
/// link") in counted log entries (OBLoggerUtility::LogCount) whose texts
/// start here, a block of 16 ids per text; hosts tell these summaries from
/// notes about problems by their ids.
constexpr unsigned kOBReportBase = 400000;
constexpr unsigned kOBReportEnd = 500000;
constexpr bool OBIsReportId(unsigned id) {
    return id >= kOBReportBase && id < kOBReportEnd;
}

/// Resource ids of plug-in display texts (preference names, enumeration
/// entries) start at a block per plug-in: readers at 100000 + 1000 x id,
/// writers at 500000 + 1000 x id, each text again a block of 16.
constexpr unsigned OBReaderResourceBase(int readerId) {
    return 100000u + 1000u * static_cast<unsigned>(readerId);
}
constexpr unsigned OBWriterResourceBase(int writerId) {
    return 500000u + 1000u * static_cast<unsigned>(writerId);
}

#endif
