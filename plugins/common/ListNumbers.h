// List numbers in each numbering style (a paragraph's NumberingType): the
// readers write them into the markers they make, the writers read them back
// from the markers to know where a list goes on. Both go by one table,
// ListNumbers.def, so that what one writes the other reads.
#ifndef OMBRA_PLUGINS_LISTNUMBERS_H
#define OMBRA_PLUGINS_LISTNUMBERS_H

#include <string>

namespace oblist {

/// The largest list number: counters stop growing there, and numbers read
/// back from markers stay within 1 and this.
constexpr long long kMostNumber = 1000000000;

/// Appends n as UTF-8, as style writes it; numbers outside the style's
/// range, and styles without symbols of their own, in Arabic digits. Digits
/// are padded with leading zeros up to width.
void AppendNumber(std::string& utf8, long long n, int style, int width = 0);

/// Whether u is one of the symbols style writes numbers with (for digits,
/// the ASCII and the full-width ones alike).
bool IsSymbol(unsigned short u, int style);

/// The number that the n symbols of style at s stand for, from 1 to
/// kMostNumber.
long long ValueOf(const unsigned short* s, long long n, int style);

} // namespace oblist

#endif
