// How many rows a table keeps when it claims more than its input backs, for
// every reader alike (docs/limits.md). Header only: the Scribus parser
// builds without the core.
#ifndef OMBRA_READER_TABLES_H
#define OMBRA_READER_TABLES_H

#include <algorithm>
#include <cstddef>
#include <string>

namespace obreader {

/// Rows nothing in the input stands for that a table still keeps, as one
/// may leave rows empty.
constexpr long long kEmptyRowsKept = 1024;

/// What a table keeps of the rows it claims.
struct RowsKept {
    long long held = 0; ///< rows its data stand for
    long long kept = 0; ///< rows it keeps: the claim, cut to max(held, kEmptyRowsKept)
    bool Cut(long long claimed) const { return kept < claimed; }
    /// The warning a cut table gives.
    std::string Note(long long claimed) const {
        return "a table claims " + std::to_string(claimed) + " rows, but its data hold " +
               std::to_string(held) + "; the first " + std::to_string(kept) + " are kept";
    }
};

/// The rows held are the row records (heights) and the rows of the cells
/// inside the claim; cells is a list of anything with an int `row`.
template <class Cells>
RowsKept KeepRowsHeld(long long claimed, std::size_t records, const Cells& cells) {
    RowsKept r;
    r.held = static_cast<long long>(records);
    for (const auto& c : cells)
        if (c.row >= 0 && c.row < claimed) r.held = std::max(r.held, c.row + 1LL);
    r.kept = std::min(claimed, std::max(r.held, kEmptyRowsKept));
    return r;
}

} // namespace obreader

#endif
