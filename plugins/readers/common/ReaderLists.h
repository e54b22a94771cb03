// List paragraphs as the readers give them. Neither format keeps a
// paragraph's bullet or number in its text, so the reader makes the marker
// and gives the paragraph run a BN child with the marker as shown
// (BNString, separator included) and its level (LevelNumber), and the
// run's formatting the kind of list (NumberingType: a bullet or how the
// numbers are written).
#ifndef OMBRA_READER_LISTS_H
#define OMBRA_READER_LISTS_H

#include "ReaderBuilder.h"

#include <ombra/values.h>

#include <string>

namespace obreader {

/// Where the numbers of one numbering stand, per level (1 to kLevels).
struct ListCounter {
    static constexpr int kLevels = 9;
    long long value[kLevels + 1] = {};
    bool seen[kLevels + 1] = {}; ///< numbered since the numbering or the level started again
    /// The next paragraph's number at level: start where the level starts
    /// (again, or as restart asks), else one more, up to oblist::kMostNumber.
    long long Next(int level, long long start, bool restart = false);
    /// Deeper levels start again after a paragraph of level.
    void RestartBelow(int level);
};

/// The marker and the kind of list of a list paragraph's run.
void AddListMarker(ElementBuilder& b, Element* run, const std::string& marker, int level,
                   PNSE::PageNumberingStyleEnum kind);

} // namespace obreader

#endif
