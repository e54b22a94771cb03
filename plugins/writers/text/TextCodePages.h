// The code pages of the Mac and Unix platforms that the core's text service
// does not offer: Mac OS Roman, the ISO 8859 pages and EUC-JP.
#ifndef OMBRA_TEXTWRITER_CODEPAGES_H
#define OMBRA_TEXTWRITER_CODEPAGES_H

#include "TextWriterOptions.h"

#include <ombra/textservice.h>

/// Single-byte tables and the Shift JIS to EUC-JP transform. The core's
/// text service converts with Windows code pages only; these cover the
/// writing scripts whose Mac or Unix code page the writer knows itself.
class OBTextCodePages {
public:
    enum TableEnum : int {
        kNoTable = 0, ///< the script's Windows code page, through the text service
        kMacRoman,
        kLatin1,   ///< ISO 8859-1
        kCyrillic, ///< ISO 8859-5
        kArabic,   ///< ISO 8859-6
        kGreek,    ///< ISO 8859-7
        kHebrew,   ///< ISO 8859-8
        kTurkish,  ///< ISO 8859-9
    };

    /// The table for text of script on platform; kNoTable when the script's
    /// text goes through the text service (all of PC, and the scripts the
    /// Mac and Unix families leave to it). kSystemScript stands for the
    /// process's system script.
    static TableEnum TableFor(OBTW::PlatformEnum platform, WSE::WritingScriptEnum script);
    /// 1 when Japanese text on platform is written as EUC-JP (Unix).
    static short UsesEucJapanese(OBTW::PlatformEnum platform, WSE::WritingScriptEnum script);
    /// The byte for unit in table, or -1 when the table has no such character.
    /// Units below 0x80 are themselves in every table.
    static int Encode(TableEnum table, unsigned short unit);
    /// The EUC-JP bytes of one Shift JIS character (code page 932) of n
    /// bytes into out (room for 2): the count written, or 0 when EUC-JP has
    /// no such character (the vendor rows of code page 932 from 0xED on).
    static int ShiftJisToEuc(const unsigned char* sjis, int n, unsigned char* out);
};

#endif
