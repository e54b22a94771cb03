#include "TextLineWrapper.h"

#include "UnitScan.h"

#include <ombra/utf16.h>
#include <ombra/memory.h>
#include <ombra/scripts.h>

namespace {

// Lines grow by at most this many cells at a time.
constexpr int kPiece = 65536;

constexpr unsigned short kSoftHyphen = 0x00AD;

constexpr auto IsHigh = OBUTF16::IsHighSurrogate;
constexpr auto IsLow = OBUTF16::IsLowSurrogate;
// Supplementary ideographs (planes 2 and 3) start with these high surrogates.
bool IsWideHigh(unsigned short u) {
    return u >= 0xD840 && u <= 0xD8BF;
}

bool IsSpace(unsigned short u) {
    return u == ' ';
}

bool IsLetter(unsigned short u) {
    return OBCC::CategoryOf(OBCharacterClass::GetCharacterProperty(u)) == OBCC::kLetter;
}

// Characters between which (or next to which) Japanese and Chinese text may break.
bool IsIdeographic(unsigned short u) {
    if (IsWideHigh(u)) return true;
    unsigned short property = OBCharacterClass::GetCharacterProperty(u);
    if (OBCC::WidthOf(property) == OBCC::kFullWidth) return true;
    unsigned short category = OBCC::CategoryOf(property);
    unsigned short kind = OBCC::KindOf(property);
    return category == OBCC::kKanaSign ||
           (category == OBCC::kLetter &&
            (kind == OBCC::kHiragana || kind == OBCC::kKatakana || kind == OBCC::kKanji));
}

} // namespace

OBTextLineWrapper::OBTextLineWrapper(OBTextEncoder& encoder, int column)
    : encoder_(encoder), column_(column > 0 ? column : 0), cells_(nullptr), count_(0), capacity_(0),
      width_(0), visible_(0), unwrappedLineEmpty_(true) {}

OBTextLineWrapper::~OBTextLineWrapper() {
    OBLibFree(cells_);
}

bool OBTextLineWrapper::Add(const Cell& cell) {
    if (count_ == capacity_) {
        int grown = capacity_ < 64 ? 64 : capacity_ * 2;
        if (grown > kPiece * 4) grown = capacity_ + kPiece;
        auto* block =
            static_cast<Cell*>(OBLibAllocate(sizeof(Cell) * static_cast<std::size_t>(grown)));
        if (!block) return false;
        if (count_ > 0) OBMemcpy(block, cells_, sizeof(Cell) * static_cast<std::size_t>(count_));
        OBLibFree(cells_);
        cells_ = block;
        capacity_ = grown;
    }
    cells_[count_++] = cell;
    return true;
}

int OBTextLineWrapper::UnitWidth(unsigned short u, int at) {
    if (u == '\t') return 8 - at % 8;
    if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == kSoftHyphen) return 0;
    if ((u >= 0x200B && u <= 0x200F) || (u >= 0x2028 && u <= 0x202E) ||
        (u >= 0x2060 && u <= 0x2064) || u == 0xFEFF)
        return 0;
    if (IsHigh(u)) return IsWideHigh(u) ? 2 : 1;
    if (IsLow(u)) return 0;
    unsigned short property = OBCharacterClass::GetCharacterProperty(u);
    if (OBCC::WidthOf(property) == OBCC::kFullWidth) return 2;
    if (OBCC::CategoryOf(property) == OBCC::kMark && OBCC::KindOf(property) != 1) return 0;
    return 1;
}

bool OBTextLineWrapper::MayBreakBetween(unsigned short before2, unsigned short a,
                                        unsigned short b) {
    if (IsLow(b) || IsSpace(b)) return false;
    if (IsSpace(a) || a == '\t' || a == kSoftHyphen || a == 0x200B) return true;
    if (a == '-' && IsLetter(b) && IsLetter(before2)) return true;
    if (!IsIdeographic(a) && !IsIdeographic(b)) return false;
    return !OBCharacterClass::Kinsoku_NoHardBreakBefore(b) &&
           !OBCharacterClass::Kinsoku_NoSoftBreakBefore(b) &&
           !OBCharacterClass::Kinsoku_NoBreakAfter(a) &&
           !OBCharacterClass::Kinsoku_NoBreakBetween(a, b);
}

void OBTextLineWrapper::Put(unsigned short unit, WSE::WritingScriptEnum script, unsigned flags) {
    if (column_ == 0) {
        PutUnwrapped(&unit, 1, script);
        return;
    }
    Cell cell = {unit, static_cast<unsigned short>(flags), static_cast<int>(script)};
    if (!Add(cell)) {
        // No room to collect the line: hand it on as it stands.
        Emit(count_, false);
        Remove(count_);
        if (!Add(cell)) {
            encoder_.Write(&unit, 1, script);
            return;
        }
    }
    width_ += UnitWidth(unit, width_);
    if (!IsSpace(unit)) visible_ = width_;
    while (visible_ > column_ && BreakOnce()) {
    }
}

void OBTextLineWrapper::Put(const unsigned short* units, long long n, WSE::WritingScriptEnum script,
                            unsigned flags) {
    if (column_ == 0) {
        PutUnwrapped(units, n, script);
        return;
    }
    for (long long i = 0; units && i < n; ++i)
        Put(units[i], script, flags);
}

// Without wrapping nothing is collected: the units go to the encoder as they
// come, less soft hyphens, which only a wrapped line's end shows.
void OBTextLineWrapper::PutUnwrapped(const unsigned short* units, long long n,
                                     WSE::WritingScriptEnum script) {
    if (!units || n <= 0) return;
    unwrappedLineEmpty_ = false;
    // One scan finds both: most text has neither, and goes on as it stands.
    long long first = obscan::FindUnitOrSurrogate(units, n, kSoftHyphen);
    if (first == n) {
        encoder_.WritePlain(units, n, script);
        return;
    }
    long long start = 0;
    for (long long i = obscan::FindUnit(units, first, n, kSoftHyphen); i < n;
         i = obscan::FindUnit(units, i + 1, n, kSoftHyphen)) {
        if (i > start) encoder_.Write(units + start, i - start, script);
        start = i + 1;
    }
    if (n > start) encoder_.Write(units + start, n - start, script);
}

void OBTextLineWrapper::EndLine() {
    if (column_ == 0) {
        unwrappedLineEmpty_ = true;
        encoder_.LineEnd();
        return;
    }
    // Wrapped lines end at their last visible character; spaces that hung
    // past the column go with the line end.
    int end = count_;
    while (end > 0 && IsSpace(cells_[end - 1].unit))
        --end;
    Emit(end, false);
    Remove(count_);
    encoder_.LineEnd();
}

// Breaks the line once at the last place the rules allow within the column,
// or cuts it at the column; false when the line cannot be broken at all.
bool OBTextLineWrapper::BreakOnce() {
    int count = count_;
    int* widths = widths_.Get(count + 1);
    if (!widths || count < 2) return false;
    widths[0] = 0;
    for (int i = 0; i < count; ++i)
        widths[i + 1] = widths[i] + UnitWidth(cells_[i].unit, widths[i]);

    int best = -1;
    int visibleEnd = 0; // the width up to the last non-space before the break
    for (int p = 1; p < count; ++p) {
        if (!IsSpace(cells_[p - 1].unit)) visibleEnd = widths[p];
        if (visibleEnd > column_) break;
        if (visibleEnd == 0 || (cells_[p].flags & kGlue)) continue;
        unsigned short before2 = p >= 2 ? cells_[p - 2].unit : 0;
        if (MayBreakBetween(before2, cells_[p - 1].unit, cells_[p].unit)) best = p;
    }
    if (best < 0) {
        // Nothing allowed: cut at the column, never inside a surrogate pair
        // and, where it can, not before what may not begin a line.
        int any = -1;
        for (int p = 1; p < count; ++p) {
            if (widths[p] > column_) break;
            if (IsLow(cells_[p].unit)) continue;
            any = p;
            if (!OBCharacterClass::Kinsoku_NoHardBreakBefore(cells_[p].unit) &&
                !OBCharacterClass::Kinsoku_NoSoftBreakBefore(cells_[p].unit))
                best = p;
        }
        if (best < 0) best = any;
        if (best < 0) best = count >= 2 && IsLow(cells_[1].unit) ? 2 : 1;
        if (best >= count) return false;
    }
    bool hyphen = cells_[best - 1].unit == kSoftHyphen;
    int end = best;
    while (end > 0 && IsSpace(cells_[end - 1].unit))
        --end;
    Emit(end, hyphen);
    encoder_.LineEnd();
    int drop = best;
    while (drop < count && IsSpace(cells_[drop].unit))
        ++drop;
    Remove(drop);
    return true;
}

// Hands the first count cells to the encoder, a run of one script at a time.
void OBTextLineWrapper::Emit(int count, bool hyphen) {
    unsigned short* units = units_.Get(count + 1);
    int i = 0;
    while (i < count) {
        int script = cells_[i].script;
        long long n = 0;
        int j = i;
        for (; j < count && cells_[j].script == script; ++j) {
            unsigned short u = cells_[j].unit;
            if (u == kSoftHyphen) continue;
            if (units)
                units[n++] = u;
            else
                encoder_.Write(&u, 1, static_cast<WSE::WritingScriptEnum>(script));
        }
        if (units && n > 0) encoder_.Write(units, n, static_cast<WSE::WritingScriptEnum>(script));
        i = j;
    }
    if (hyphen) {
        unsigned short minus = '-';
        int script = count > 0 ? cells_[count - 1].script : WSE::kSystemScript;
        encoder_.Write(&minus, 1, static_cast<WSE::WritingScriptEnum>(script));
    }
}

void OBTextLineWrapper::Remove(int count) {
    if (count >= count_) {
        count_ = 0;
        width_ = visible_ = 0;
        return;
    }
    OBMemmove(cells_, cells_ + count, sizeof(Cell) * static_cast<std::size_t>(count_ - count));
    count_ -= count;
    Recount();
}

void OBTextLineWrapper::Recount() {
    width_ = visible_ = 0;
    for (int i = 0; i < count_; ++i) {
        width_ += UnitWidth(cells_[i].unit, width_);
        if (!IsSpace(cells_[i].unit)) visible_ = width_;
    }
}
