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
SvgEnding SvgToPathEnding(Context& ctx, const char* text, std::vector<SubPath>& out);

/// SvgToPath of the contour text, given the path text, the outline read from
/// it (into an empty list) and its ending: a contour that is the path closed
/// ("... Z") is the outline with its last subpath closed.
void SvgContourToPath(Context& ctx, const char* contour, const char* path, const SvgEnding& ending,
                      const std::vector<SubPath>& outline, std::vector<SubPath>& out);

} // namespace detail
} // namespace scribus

#endif
