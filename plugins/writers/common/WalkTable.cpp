// A table's grid: rows in order, each row's cells by column, spans from the
// cells' last row and column, what does not fit reported and left out.
#include "StoryWalker.h"

#include <algorithm>
#include <utility>

using namespace obwalk;

namespace {

constexpr long long kMaxColumns = 4096;

// A cell of row rowIndex, which stands at column `next` unless it says
// otherwise; last: the column it ends in.
OBWalkCell ReadCell(Element* cell, int rowIndex, long long next, long long& last,
                    OBWriterProblems& problems) {
    long long column = next, firstRow = rowIndex, lastRow = -1;
    if (GetInt(cell, AN::kColumnNumber, column) && (column < 0 || column > kMaxColumns)) {
        problems.Report(OBERR::kBadValue);
        column = next;
    }
    if (!GetInt(cell, AN::kEndColumnNumber, last) || last < column || last > kMaxColumns)
        last = column;
    GetInt(cell, AN::kRowNumber, firstRow);
    if (!GetInt(cell, AN::kEndRowNumber, lastRow) || lastRow < firstRow) lastRow = firstRow;
    long long rowSpan = std::min<long long>(lastRow - firstRow + 1, kMaxColumns);
    return {cell,
            cell->GetChild(EL::kChildStory),
            rowIndex,
            static_cast<int>(column),
            static_cast<int>(rowSpan < 1 ? 1 : rowSpan),
            static_cast<int>(last - column + 1)};
}

// Every place of the grid gets a cell: one that no cell and no span from a
// row above covers gets an empty one (no cell, no text), since pandoc's
// tables take only whole rows and HTML's put each cell in the next free
// column. False when memory runs out.
bool FillGaps(OBWalkTable& t) {
    OBBaseTypeCollection<int> covered; // the last row that covers each column
    for (int c = 0; c < t.columns; ++c)
        if (!covered.Add(-1)) return false;
    OBBaseTypeCollection<OBWalkCell> cells;
    for (int r = 0; r < t.rows.Count(); ++r) {
        OBWalkRow& row = t.rows[r];
        const int first = cells.Count(), end = row.firstCell + row.cellCount;
        int column = 0;
        for (int k = row.firstCell; k <= end; ++k) {
            for (int to = k < end ? t.cells[k].column : t.columns; column < to; ++column)
                if (covered[column] < r &&
                    !cells.Add(OBWalkCell{nullptr, nullptr, r, column, 1, 1}))
                    return false;
            if (k == end) break;
            const OBWalkCell& cell = t.cells[k];
            if (!cells.Add(cell)) return false;
            column = cell.column + cell.columnSpan;
            for (int c = cell.column; c < column && c < t.columns; ++c)
                covered[c] = r + cell.rowSpan - 1;
        }
        row.firstCell = first;
        row.cellCount = cells.Count() - first;
    }
    t.cells = std::move(cells);
    return true;
}

} // namespace

bool OBStoryWalker::ReadTable(Element* table, OBWalkTable& out) {
    out.table = table;
    out.columns = 0;
    out.headerRows = 0;
    out.footerRows = 0;
    out.rows.Clear();
    out.cells.Clear();
    Element* rows = table ? table->GetChild(EL::kTableRowList) : nullptr;
    if (!rows) {
        problems_.Report(OBERR::kMalformedInput);
        return false;
    }
    // The table's width: its declared columns, widened by the cells it holds.
    long long columns = 0;
    if (GetInt(table, AN::kNumberOfColumns, columns) && (columns < 0 || columns > kMaxColumns)) {
        problems_.Report(OBERR::kBadValue);
        columns = 0;
    }
    long long header = 0, footer = 0;
    GetInt(table, AN::kHeaderRows, header);
    GetInt(table, AN::kFooterRows, footer);
    OBBaseTypeCollection<OBWalkCell> row;
    for (unsigned long long r = 0; r < Children(rows); ++r) {
        Element* rowElement = Child(rows, r);
        if (!rowElement || rowElement->GetElementType() != EL::kTableRow) {
            problems_.Report(OBERR::kMalformedInput);
            continue;
        }
        int rowIndex = out.rows.Count();
        Element* list = rowElement->GetChild(EL::kTableCellList);
        row.Clear();
        long long next = 0;
        for (unsigned long long k = 0; k < Children(list); ++k) {
            Element* cell = Child(list, k);
            if (!cell || cell->GetElementType() != EL::kTableCell) {
                problems_.Report(OBERR::kMalformedInput);
                continue;
            }
            long long last = 0;
            if (!row.Add(ReadCell(cell, rowIndex, next, last, problems_)))
                problems_.Report(OBERR::kOutOfMemory);
            next = last + 1;
            if (last + 1 > columns) columns = last + 1;
        }
        if (row.Count() > 1)
            std::stable_sort(
                &row[0], &row[0] + row.Count(),
                [](const OBWalkCell& a, const OBWalkCell& b) { return a.column < b.column; });
        OBWalkRow entry = {rowElement, out.cells.Count(), 0, static_cast<int>(columns)};
        int column = 0;
        for (int k = 0; k < row.Count(); ++k) {
            if (row[k].column < column) {
                problems_.Report(OBERR::kBadValue); // two cells claim one place
                continue;
            }
            column = row[k].column + row[k].columnSpan;
            if (out.cells.Add(row[k]))
                ++entry.cellCount;
            else
                problems_.Report(OBERR::kOutOfMemory);
        }
        if (!out.rows.Add(entry)) problems_.Report(OBERR::kOutOfMemory);
    }
    out.columns = static_cast<int>(columns);
    int count = out.rows.Count();
    out.headerRows = static_cast<int>(std::max(0LL, std::min<long long>(header, count)));
    out.footerRows =
        static_cast<int>(std::max(0LL, std::min<long long>(footer, count - out.headerRows)));
    // Spans end at the last row.
    for (int k = 0; k < out.cells.Count(); ++k) {
        OBWalkCell& cell = out.cells[k];
        cell.rowSpan = std::min(cell.rowSpan, count - cell.row);
    }
    if (!FillGaps(out)) problems_.Report(OBERR::kOutOfMemory);
    return true;
}
