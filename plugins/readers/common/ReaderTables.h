// Which rows a table keeps when it claims more than its input backs, for
// every reader alike (docs/limits.md). Header only: the Scribus parser
// builds without the core.
#ifndef OMBRA_READER_TABLES_H
#define OMBRA_READER_TABLES_H

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace obreader {

/// Empty rows a table keeps, as one may leave rows empty: those nothing in
/// the input stands for, between and after the rows that hold data...
constexpr long long kEmptyRowsKept = 1024;
/// ...and all tables of a document together, so that a few bytes per table
/// cannot claim a thousand rows each.
constexpr long long kEmptyRowsPerDocument = 65536;

/// The rows a table keeps of those it claims: every row that holds data
/// (a row record or a cell), in order, and the first of the empty ones, as
/// many as `allowance` (what the document has left of
/// kEmptyRowsPerDocument, which they are taken from) and kEmptyRowsKept
/// let. So a cell placed a million rows down keeps its text without a
/// million rows before it, and the rows kept grow with the input.
class RowsKept {
public:
    /// The rows held are the row records (the first `records` rows) and the
    /// rows of the cells inside the claim; cells is a list of anything with
    /// an int `row`.
    template <class Cells>
    RowsKept(long long claimed, std::size_t records, const Cells& cells, long long& allowance)
        : claimed_(claimed), allowed_(std::max(0LL, std::min(allowance, kEmptyRowsKept))) {
        std::vector<long long> held;
        for (const auto& c : cells)
            if (c.row >= static_cast<long long>(records) && c.row < claimed) held.push_back(c.row);
        std::sort(held.begin(), held.end());
        held.erase(std::unique(held.begin(), held.end()), held.end());
        const long long first = std::min(static_cast<long long>(records), claimed);
        held_ = first + static_cast<long long>(held.size());
        long long next = 0; // the first row not yet placed
        if (first > 0) Keep(0, first, next);
        for (long long row : held) {
            Gap(row, next);
            Keep(row, 1, next);
        }
        Gap(claimed, next);
        allowance -= empty_;
    }

    long long Kept() const { return kept_; }
    bool Cut() const { return kept_ < claimed_; }
    /// The warning a cut table gives.
    std::string Note() const {
        return "a table claims " + std::to_string(claimed_) + " rows, but its data hold " +
               std::to_string(held_) + "; they and " + std::to_string(kept_ - held_) +
               " empty rows are kept";
    }
    /// Where row of the claim lies now; a row dropped lies where the last
    /// row kept before it does (-1 before the first), as a span ending
    /// there ends now. Rows outside the claim stay outside the rows kept.
    long long Map(long long row) const {
        if (row < 0) return row;
        if (row >= claimed_) return kept_ + (row - claimed_);
        auto after = std::upper_bound(ranges_.begin(), ranges_.end(), row,
                                      [](long long r, const Range& k) { return r < k.from; });
        if (after == ranges_.begin()) return -1;
        const Range& k = *(after - 1);
        return k.to + std::min(row - k.from, k.count - 1);
    }
    /// How many of the rows before row are kept (for header and footer
    /// counts).
    long long KeptBefore(long long row) const {
        return row <= 0 ? 0 : row > claimed_ ? kept_ : Map(row - 1) + 1;
    }

    /// Moves a table's cells and spans to the rows kept and cuts its row
    /// count; Table has int rows and cells with int row and rowSpan.
    template <class Table> void Apply(Table& t) const {
        for (auto& c : t.cells) {
            if (c.row < 0 || c.row >= claimed_) continue;
            const long long last =
                std::min(claimed_ - 1, static_cast<long long>(c.row) + std::max(c.rowSpan, 1) - 1);
            const long long row = Map(c.row);
            c.row = static_cast<int>(row);
            if (c.rowSpan > 1) c.rowSpan = static_cast<int>(Map(last) - row + 1);
        }
        t.rows = static_cast<int>(kept_);
    }

private:
    struct Range {
        long long from, to, count; // count rows from `from` now lie from `to`
    };
    void Keep(long long from, long long count, long long& next) {
        if (!ranges_.empty() && ranges_.back().from + ranges_.back().count == from)
            ranges_.back().count += count;
        else
            ranges_.push_back(Range{from, kept_, count});
        kept_ += count;
        next = from + count;
    }
    // The empty rows from next up to row, as far as the allowance goes.
    void Gap(long long row, long long& next) {
        const long long kept = std::min(row - next, allowed_ - empty_);
        if (kept > 0) {
            Keep(next, kept, next);
            empty_ += kept;
        }
        next = row;
    }

    long long claimed_ = 0, allowed_ = 0, held_ = 0, kept_ = 0, empty_ = 0;
    std::vector<Range> ranges_;
};

} // namespace obreader

#endif
