// What a writer reports while it writes: the per-thread error code and the
// conversion log, as the document-model conventions ask of writers.
#ifndef OMBRA_WRITERS_PROBLEMS_H
#define OMBRA_WRITERS_PROBLEMS_H

#include <ombra/messages.h>

/// Counts the problems of one conversion by error code. Every report sets
/// the calling thread's error code (with the message's string id); the
/// first report of a code also logs the message to the process's logger.
class OBWriterProblems {
public:
    OBWriterProblems();
    void Report(OBERR::ConversionErrorEnum code);
    /// How often code was reported.
    int Count(OBERR::ConversionErrorEnum code) const;
    /// Every report of every code.
    int Total() const;

private:
    static constexpr int kCodes = 16;
    int counts_[kCodes];
};

#endif
