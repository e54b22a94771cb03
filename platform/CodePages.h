// Conversion between legacy code pages and UTF-16, with the results of the
// platform calls the text service was written against: counts of units or
// bytes produced, 0 on failure and 0 when the output does not fit.
#ifndef OMBRA_PLATFORM_CODEPAGES_H
#define OMBRA_PLATFORM_CODEPAGES_H

namespace obsys {

/// Code page 0: the system default, Windows-1252 unless the host sets another.
constexpr unsigned kSystemDefaultCodePage = 0;
constexpr unsigned kUTF8CodePage = 65001;

/// MultiByteToWideChar flag: fail (result 0) on an invalid byte sequence
/// instead of producing U+FFFD for it.
constexpr unsigned kErrorOnInvalidChars = 0x08;
/// WideCharToMultiByte flag: fail on an unpaired surrogate instead of
/// producing the default character for it.
constexpr unsigned kErrorOnInvalidUnits = 0x80;

/// Converts `srcLength` bytes of code page `codePage` into UTF-16 units.
/// A srcLength of -1 converts up to and including the terminating NUL.
/// dstCapacity 0 only counts the units that would be produced (dst may be
/// null). Returns the units produced (or counted); 0 when the code page is
/// unknown, srcLength is 0 or below -1, dst is too small, or with
/// kErrorOnInvalidChars the input is invalid. Without that flag every invalid
/// or incomplete sequence becomes one U+FFFD and the conversion goes on.
long long MultiByteToWideChar(unsigned codePage, unsigned flags, const char* src,
                              long long srcLength, unsigned short* dst, long long dstCapacity);

/// Converts `srcLength` UTF-16 units into bytes of code page `codePage`.
/// A srcLength of -1 converts up to and including the terminating 0 unit.
/// dstCapacity 0 only counts. A character the code page cannot hold (and an
/// unpaired surrogate) becomes `defaultChar` (null: "?"), once per character,
/// and *usedDefaultChar (when given) is set to 1, else to 0. Surrogate pairs
/// are one character. Returns the bytes produced (or counted), 0 on failure
/// and when dst is too small.
long long WideCharToMultiByte(unsigned codePage, unsigned flags, const unsigned short* src,
                              long long srcLength, char* dst, long long dstCapacity,
                              const char* defaultChar, short* usedDefaultChar);

/// Converts UTF-16 units into bytes of `codePage` up to the first character
/// the code page does not hold exactly: one it has no bytes for, one whose
/// bytes read back as another character (a best fit), or an unpaired
/// surrogate. *used (when given) receives the units converted: srcLength
/// (with -1: up to and including the 0 unit) when every one was. Returns
/// the bytes produced for them (or counted, with dstCapacity 0), and -1
/// when the code page is unknown, an argument is invalid or dst is too small.
long long WideCharToMultiByteExact(unsigned codePage, const unsigned short* src,
                                   long long srcLength, char* dst, long long dstCapacity,
                                   long long* used);

/// The code page that code page 0 stands for (initially 1252).
unsigned GetSystemCodePage();
/// Makes `codePage` the system default. Returns false and changes nothing
/// when the code page cannot be converted here (0 is refused too).
bool SetSystemCodePage(unsigned codePage);
/// True when conversions with `codePage` can be made.
bool IsCodePageAvailable(unsigned codePage);

/// Closes the converters the calling thread has opened; later conversions
/// open them again.
void ReleaseThreadConverters();

} // namespace obsys

#endif
