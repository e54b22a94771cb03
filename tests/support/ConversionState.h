// The per-thread state that the reader and writer base classes create for a
// conversion (element ids, ElementUtil levels), for tests that build Elements.
#ifndef OMBRA_TESTS_CONVERSIONSTATE_H
#define OMBRA_TESTS_CONVERSIONSTATE_H

#include <ombra/elements.h>
#include <ombra/identifiers.h>

namespace ombra_test {

/// Prepares the calling thread as OBReader::Init does and discards the
/// state again as OBReader::Reset does, so ids start from 0.
class ConversionState {
public:
    ConversionState() {
        OBIDGenerator::Reset();
        ElementUtil::Reset();
        OBIDGenerator::Init();
        ElementUtil::Init();
    }
    ~ConversionState() {
        OBIDGenerator::Reset();
        ElementUtil::Reset();
    }
    ConversionState(const ConversionState&) = delete;
    ConversionState& operator=(const ConversionState&) = delete;
};

} // namespace ombra_test

#endif
