#include "FaceWords.h"

namespace obface {

namespace {

enum Kind { kWord, kMark, kNumbered, kEdition };

struct Row {
    const char* word;
    std::size_t length;
    int weight;
    bool italic;
    Kind kind;
};

constexpr Row kRows[] = {
#define OB_FACE_WORD(word, weight, italic, kind) {word, sizeof(word) - 1, weight, italic, kind},
#include "FaceWords.def"
};

constexpr int kBold = 600;

// Whether name holds the row's word at i, in any case of its ASCII letters.
bool At(const char* name, std::size_t size, std::size_t i, const Row& row) {
    if (size - i < row.length) return false;
    for (std::size_t k = 0; k < row.length; ++k) {
        const char c = name[i + k];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c) != row.word[k]) return false;
    }
    return true;
}

// The row the whole word [begin, end) is, or null.
const Row* RowOf(const char* name, std::size_t begin, std::size_t end) {
    for (const Row& row : kRows)
        if (row.length == end - begin && At(name, end, begin, row)) return &row;
    return nullptr;
}

std::size_t WordStart(const char* name, std::size_t end) {
    while (end > 0 && name[end - 1] != ' ')
        --end;
    return end;
}

// The style word that ends name[0, end), if a family word stays before it;
// start is where it starts.
const Row* Ending(const char* name, std::size_t end, std::size_t& start) {
    start = WordStart(name, end);
    if (start < 2) return nullptr;
    const Row* row = RowOf(name, start, end);
    if (!row || row->kind == kEdition) return nullptr;
    if (row->kind != kMark) return row;
    // A lone letter may be the family's own ("Nimbus Sans L").
    const Row* edition = RowOf(name, WordStart(name, start - 1), start - 1);
    return edition && edition->kind == kEdition ? row : nullptr;
}

} // namespace

void Style(const char* name, std::size_t size, bool styleOnly, bool& bold, bool& italic) {
    bold = italic = false;
    for (std::size_t i = 0; i < size; ++i)
        for (const Row& row : kRows)
            if (row.kind == kWord && (name[i] | 0x20) == row.word[0] && At(name, size, i, row)) {
                bold = bold || row.weight >= kBold;
                italic = italic || row.italic;
            }
    if (!styleOnly) {
        std::size_t start = 0;
        for (const Row* row = Ending(name, size, start); row; row = Ending(name, start - 1, start))
            bold = bold || row->weight >= kBold;
        return;
    }
    // Every word of a style name, "EB-KL" too.
    for (std::size_t begin = 0, end = 0; begin < size; begin = end + 1) {
        end = begin;
        while (end < size && name[end] != ' ' && name[end] != '-')
            ++end;
        const Row* row = RowOf(name, begin, end);
        bold = bold || (row && row->weight >= kBold);
    }
}

std::size_t FamilyLength(const char* name, std::size_t size) {
    std::size_t start = 0;
    while (Ending(name, size, start))
        size = start - 1;
    return size;
}

} // namespace obface
