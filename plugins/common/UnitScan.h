// Scans over UTF-16 text, eight units at a time: what readers and writers
// look for in long stretches of ordinary text.
#ifndef OMBRA_PLUGINS_UNITSCAN_H
#define OMBRA_PLUGINS_UNITSCAN_H

namespace obscan {

/// The first position from `from` on, before n, that holds unit; n when
/// none does.
long long FindUnit(const unsigned short* units, long long from, long long n, unsigned short unit);

/// Whether one of n units is a surrogate.
bool HasSurrogate(const unsigned short* units, long long n);

/// The first position before n that holds unit or a surrogate; n when none
/// does. One pass where text is mostly free of both.
long long FindUnitOrSurrogate(const unsigned short* units, long long n, unsigned short unit);

/// The first position from `from` on, before n, whose unit is below 0x0E
/// or is U+2028, U+2029 or U+FFFC; n when there is none.
long long FindControl(const unsigned short* units, long long from, long long n);

/// The first position from `from` on, before n, whose value is not value;
/// n when all are.
long long FindOther(const int* values, long long from, long long n, int value);
/// Sets n bytes to value, sixteen at a time (no string instruction, which
/// costs the same in time but shows one step per byte in instruction counts).
void FillBytes(unsigned char* bytes, long long n, unsigned char value);

/// Copies units from `from` on, before n, as bytes to out while they are
/// printable ASCII other than space, '"' and '\\' (what a JSON string holds
/// as it is); returns the position of the first that is not, or n. Out has
/// room for n - from bytes and 8 more (a block is written whole).
long long NarrowPlain(const unsigned short* units, long long from, long long n, char* out);

/// FindOther for bytes.
long long FindOtherByte(const unsigned char* values, long long from, long long n,
                        unsigned char value);

} // namespace obscan

#endif
