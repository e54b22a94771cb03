// UTF-8 conversions by plain arithmetic, without the text service.
#ifndef OMBRA_UTF8_H
#define OMBRA_UTF8_H

#include <ombra/export.h>
#include <ombra/strings.h>

/// Converts between UTF-8 and the library's strings. The conversions need
/// no text service; they stop early only when the memory service runs out,
/// keeping what they made so far.
class OMBRA_API OBStringUtils {
public:
    /// n bytes of ISO 8859-1 text as UTF-8: out is tagged kSystemScript
    /// (32) and receives one byte for ASCII, two for 0x80-0xFF.
    static void ConvertCStringToUTF8(const unsigned char* src, unsigned long long n,
                                     COBString& out);
    /// n UTF-16 units as UTF-8, tagged kSystemScript (32). A surrogate pair
    /// gives four bytes; an unpaired surrogate is encoded as it stands (three
    /// bytes), never replaced or dropped.
    static void ConvertUTF16StringToUTF8(const unsigned short* src, unsigned long long n,
                                         COBString& out);
    /// n bytes of UTF-8 as UTF-16. Returns 1, or 0 when a lead byte is 0xF8
    /// or above, the input ends inside a sequence or memory runs out; out
    /// then keeps the units converted before. Continuation bytes are not checked for their
    /// 10xxxxxx form and overlong forms are accepted: well-formed input
    /// converts exactly, anything else is read leniently and never replaced.
    static short ConvertUTF8ToUTF16String(const char* src, unsigned long long n, WOBString& out);
};

#endif
