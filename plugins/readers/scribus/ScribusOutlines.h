// Item outlines from SVG path data as the page items read them: an item's
// contour is mostly its outline's path closed, and is then not read again.
#ifndef OMBRA_SCRIBUS_OUTLINES_H
#define OMBRA_SCRIBUS_OUTLINES_H

#include "ScribusInternal.h"

#include <cstddef>
#include <vector>

namespace scribus {
namespace detail {

/// How SVG path data was read.
struct SvgEnding {
    std::size_t commands = 0;  ///< counted against the limit of points
    const char* end = nullptr; ///< its NUL, when read to it with nothing skipped and no warning
};

/// SvgToPath, telling how the text ended.
SvgEnding SvgToPathEnding(Context& ctx, const char* text, Outline& out);

/// Warns as SvgToPath of the contour text does, given the path text and
/// how it ended; scratch is room the contour may be read into. A contour
/// that is the path closed ("... Z") warns of nothing then.
void SvgContourWarnings(Context& ctx, const char* contour, const char* path,
                        const SvgEnding& ending, Outline& scratch);

} // namespace detail
} // namespace scribus

#endif
