// The string classes: 8-bit text tagged with a writing script (COBString),
// UTF-16 text (WOBString), the interface both implement (IOBString) and the
// owning handle that copies deeply (IOBStringPtr).
#ifndef OMBRA_STRINGS_H
#define OMBRA_STRINGS_H

#include <ombra/export.h>
#include <ombra/textservice.h>

#include <atomic>
#include <cstddef>

class COBStringData;
class WOBStringData;

/// Any string of the library, 8-bit or UTF-16. Lengths and positions count
/// bytes (COBString) or UTF-16 units (WOBString); not found is -1. A
/// position outside the text in GetChar, operator[], Remove, Truncate and
/// Insert throws std::out_of_range("invalid string position") and leaves
/// the string unchanged. Conversions between the two kinds go through
/// OBLumUnicodeTranslator, so the calling thread needs a text service
/// (OBLumHandler::SetLumService); without one they produce nothing. When
/// the memory service yields no memory, an operation that needs it leaves
/// the string as it was.
class OMBRA_API IOBString {
public:
    OB_MEMORY_OPERATORS

    /// Result of the number conversions.
    enum ConversionError : int {
        kConversionOK = 0,     ///< the whole text was a number
        kConversionFailed = 1, ///< the text was not a number; the result is 0
    };

    /// As a length of Append: everything up to the terminating NUL (0 unit).
    static constexpr long long kUpToTerminator = 0x7FFFFFFFFFFFFFFFLL;

    IOBString() = default;
    virtual ~IOBString();

    /// 1 for UTF-16 text, 0 for 8-bit text.
    virtual unsigned char IsUnicode() const = 0;
    /// Replaces the text with 8-bit text up to its NUL; null changes nothing.
    virtual void SetCString(const char* text) = 0;
    /// Replaces the text with UTF-16 text up to its 0 unit; null changes nothing.
    virtual void SetWString(const unsigned short* text) = 0;
    /// Replaces the text with n UTF-16 units.
    virtual void SetXString(const unsigned short* text, long long n) = 0;
    /// Replaces the text with n bytes.
    virtual void SetXString(const char* text, long long n) = 0;
    /// The text as 8-bit, NUL-terminated; never null. Valid until the next
    /// change or destruction of the string.
    virtual const char* GrabCString() const = 0;
    /// The text as UTF-16, 0-terminated; never null. Valid until the next
    /// change or destruction of the string.
    virtual const unsigned short* GrabWString() const = 0;
    /// The text read as an int (see COBString::GetAsNumber); error may be null.
    virtual int GetAsNumber(ConversionError* error = nullptr) const = 0;
    /// The text read as a double; error may be null.
    virtual double GetAsDouble(ConversionError* error = nullptr) const = 0;
    /// Empties the text.
    virtual void Clear() = 0;
    /// Length in bytes or units.
    virtual long long Length() const = 0;
    /// True when the length is 0.
    virtual bool IsNull() const = 0;
    /// True when s occurs at or after position from.
    virtual bool Contains(const IOBString& s, long long from = 0) const = 0;
    /// Removes min(count, Length() - pos) characters at pos; a negative
    /// count removes everything from pos, a negative pos counts as 0, pos
    /// beyond the length throws.
    virtual void Remove(long long pos, long long count) = 0;
    /// A new copy of the same kind that the caller owns; null without memory.
    virtual IOBString* Clone() const = 0;
    virtual void ToUpper() = 0;
    virtual void ToLower() = 0;
    /// Orders this text against s: case-sensitive gives -1, 0 or 1,
    /// otherwise the C runtime's case-insensitive difference.
    virtual int Compare(bool caseSensitive, const IOBString& s) const = 0;
    /// Removes the last n characters; n >= Length() empties the string, a
    /// negative n throws.
    virtual void Truncate(long long n) = 0;
    virtual void Append(unsigned short u) = 0;
    virtual void Append(char c) = 0;
    /// Appends n units (kUpToTerminator: up to the 0 unit).
    virtual void Append(const unsigned short* text, long long n) = 0;
    /// Appends n bytes (kUpToTerminator: up to the NUL).
    virtual void Append(const char* text, long long n) = 0;
    /// Appends the first min(n, s.Length()) characters of s.
    virtual void Append(const IOBString& s, long long n = kUpToTerminator) = 0;
    /// Appends the decimal form of value.
    virtual void AppendNumber(int value) = 0;
    /// Inserts c at pos; pos at or beyond the length appends, negative throws.
    virtual void Insert(char c, long long pos) = 0;
    /// The first position at or after from where s occurs, or -1.
    virtual long long IndexOfString(const IOBString& s, long long from = 0) const = 0;
    virtual bool operator==(const IOBString& s) const = 0;
    /// Replaces the text with the text of s.
    virtual IOBString& operator=(const IOBString& s) = 0;

protected:
    IOBString(const IOBString&) = default;
};

/// 8-bit text with the writing script its bytes are read in. The text may
/// hold NULs; operations that take a plain const char* stop at the first.
class OMBRA_API COBString : public IOBString {
public:
    /// The argument of StripWhiteSpace. Only the space (0x20) counts.
    enum WhitespaceType : int {
        kLeadingWhitespace = 0,
        kTrailingWhitespace = 1,
        kLeadingAndTrailingWhitespace = 2,
        kAllWhitespace = 3,
    };

    /// An empty string. kSystemScript (32) stands for the process-wide
    /// system script, which is stored instead.
    explicit COBString(WSE::WritingScriptEnum script = WSE::kSystemScript);
    /// The bytes of text up to its NUL (null: empty), with script as above.
    COBString(const char* text, WSE::WritingScriptEnum script = WSE::kSystemScript);
    /// Copies script and text.
    COBString(const COBString& other);
    ~COBString() override;

    /// Copies script and text; self-assignment does nothing.
    COBString& operator=(const COBString& other);
    /// SetCString.
    COBString& operator=(const char* text);

    unsigned char IsUnicode() const override;
    /// Replaces the text with the bytes up to the NUL; null: no change.
    void SetCString(const char* text) override;
    /// Translates the units up to the 0 unit into this string's script;
    /// null, empty or untranslatable text: no change.
    void SetWString(const unsigned short* text) override;
    /// Translates n units into this string's script; n <= 0: no change.
    void SetXString(const unsigned short* text, long long n) override;
    /// Replaces the text with exactly n bytes (n <= 0: empty).
    void SetXString(const char* text, long long n) override;
    const char* GrabCString() const override;
    /// The own bytes, writable for Length() + 1 bytes. Writing through the
    /// pointer changes the text; the UTF-16 rendering is made anew on its
    /// next use.
    char* GrabCString();
    /// GrabAsWString().
    const unsigned short* GrabWString() const override;
    /// The text translated from its script into UTF-16, made on first use
    /// and kept until the text changes. Empty when nothing translates.
    const unsigned short* GrabAsWString() const;
    /// The text up to its first NUL read as an int: an optional sign and
    /// decimal digits only; otherwise a decimal number truncated toward zero
    /// (outside the int range: -2147483648); otherwise 0 and kConversionFailed.
    int GetAsNumber(ConversionError* error = nullptr) const override;
    /// The text up to its first NUL read as a double, else 0.0 and kConversionFailed.
    double GetAsDouble(ConversionError* error = nullptr) const override;
    void Clear() override;
    long long Length() const override;
    bool IsNull() const override;
    bool Contains(const IOBString& s, long long from = 0) const override;
    bool Contains(const COBString& s, long long from = 0) const;
    void Remove(long long pos, long long count) override;
    IOBString* Clone() const override;
    /// Each byte through the global locale's case mapping.
    void ToUpper() override;
    void ToLower() override;
    /// Compares with s's 8-bit text up to its NUL.
    int Compare(bool caseSensitive, const IOBString& s) const override;
    int Compare(bool caseSensitive, const char* text) const;
    void Truncate(long long n) override;
    /// Translates the unit into this string's script and appends the bytes.
    void Append(unsigned short u) override;
    void Append(char c) override;
    /// AppendWAsCString(text, n).
    void Append(const unsigned short* text, long long n) override;
    void Append(const char* text, long long n) override;
    /// Appends the first min(n, s.Length()) characters of s; UTF-16 text is
    /// translated into this string's script.
    void Append(const IOBString& s, long long n = kUpToTerminator) override;
    /// Appends value as "%i" prints it.
    void AppendNumber(int value) override;
    /// Appends value as "%f" prints it (six decimals), at most 38 characters.
    void AppendDouble(double value);
    /// Translates the first min(n, units before the first 0 unit) units into
    /// this string's script and appends the bytes.
    void AppendWAsCString(const unsigned short* text, long long n);
    void Insert(char c, long long pos) override;
    /// Inserts the first count bytes of s at pos.
    void Insert(const COBString& s, long long pos, long long count);
    /// Inserts count bytes of text at pos (note the order of the counts).
    void Insert(const char* text, long long count, long long pos);
    long long IndexOfString(const IOBString& s, long long from = 0) const override;
    long long IndexOfString(const char* text, long long from = 0) const;
    /// The first position at or after from holding c, or -1.
    long long IndexOfCharacter(unsigned char c, long long from = 0) const;
    /// The last position at or before from where s starts, or -1; an empty
    /// s gives min(Length(), from).
    long long LastIndexOfString(const COBString& s, long long from) const;
    /// The last position holding c, or -1.
    long long LastIndexOfCharacter(unsigned char c) const;
    /// A new string of min(count, Length() - start) bytes from start, which
    /// the caller owns, tagged with the system script. count is read as an
    /// unsigned 32-bit number (-1: to the end). Null when start is outside
    /// the text or there is no memory.
    COBString* Substring(long long start, long long count) const;
    void StripWhiteSpace(WhitespaceType type);

    /// The script of the bytes.
    WSE::WritingScriptEnum GetWSEScript() const;
    /// Stores the script as given (32 stays 32).
    void SetScript(WSE::WritingScriptEnum script);

    /// Copies the bytes and a NUL into buf when Length() + 1 <= size;
    /// otherwise buf is left untouched.
    void GetCString(char* buf, long long size) const;
    /// Writes a length byte (min(Length(), 255)) and that many bytes when
    /// buf is given and Length() + 1 <= size; otherwise nothing.
    void GetPString(unsigned char* buf, long long size) const;
    /// The text becomes the p[0] bytes after the length byte; null: no change.
    void SetPString(const unsigned char* p);
    /// The text becomes the single byte b.
    void SetHexChar(unsigned char b);
    /// SetXString with the units up to the 0 unit.
    void SetWAsCString(const unsigned short* text);
    /// Byte i; throws when i is outside the text.
    char GetChar(long long i) const;
    unsigned char operator[](long long i) const;

    /// False for UTF-16 text, different lengths, or different scripts
    /// neither of which is kSystemScript; else the bytes up to the first NUL.
    bool operator==(const IOBString& s) const override;
    /// The bytes up to the NUL, whatever the script.
    bool operator==(const char* text) const;
    bool operator!=(const COBString& s) const;
    /// Takes s's script when s is 8-bit and its text up to the NUL; UTF-16
    /// text is translated into this string's script.
    IOBString& operator=(const IOBString& s) override;
    /// Appends s's bytes up to its NUL to this string and returns it: +
    /// changes its left operand.
    COBString& operator+(const COBString& s);
    COBString& operator+=(const COBString& s);
    /// Unsigned byte order up to the first difference or NUL.
    bool operator<(const COBString& s) const;
    bool operator>(const COBString& s) const;
    bool operator<=(const COBString& s) const;
    bool operator>=(const COBString& s) const;

    /// The process-wide system script that kSystemScript stands for.
    static WSE::WritingScriptEnum OBGetSystemScript();
    /// Sets the system script, as given; set it before conversions start.
    static void OBSetSystemScript(WSE::WritingScriptEnum script);

private:
    friend class OBStringUtils; // converts straight into the buffer

    bool Ready();
    void Changed();
    bool ReplaceBytes(const char* text, long long n);
    bool AppendBytes(const char* text, long long n);
    bool InsertBytes(const char* text, long long n, long long pos);
    friend class ValueString; // keeps short copies inside the value
    /// A copy made in one block with its storage (Clone, string handles).
    static COBString* NewCopy(const COBString& other);
    /// A copy built in place in block, which holds a COBString and its
    /// storage block; null (nothing left in block) when the text could not
    /// be stored.
    static COBString* CopyInto(void* block, const COBString& other);
    COBString(COBStringData* inside, WSE::WritingScriptEnum script);

    COBStringData* data_;
    WSE::WritingScriptEnum script_;
    bool dataInside_ = false; // data_ lives in this object's own block

    static std::atomic<WSE::WritingScriptEnum> gOBSystemSciptID;
};

/// UTF-16 text. Conversions to and from 8-bit text use the system script.
class OMBRA_API WOBString : public IOBString {
public:
    WOBString();
    /// The units up to the 0 unit; null gives an empty string.
    explicit WOBString(const unsigned short* text);
    /// Exactly n units.
    WOBString(const unsigned short* text, long long n);
    /// The bytes up to the NUL translated from the system script.
    explicit WOBString(const char* text);
    /// The units up to the first 0 unit.
    WOBString(const WOBString& other);
    ~WOBString() override;

    /// Copies the units up to the first 0 unit.
    WOBString& operator=(const WOBString& other);

    unsigned char IsUnicode() const override;
    /// Translates the bytes up to the NUL from the system script; null,
    /// empty or untranslatable text: no change.
    void SetCString(const char* text) override;
    /// Replaces the text with the units up to the 0 unit; null: no change.
    void SetWString(const unsigned short* text) override;
    /// Replaces the text with exactly n units (n <= 0: empty).
    void SetXString(const unsigned short* text, long long n) override;
    /// Translates n bytes from the system script; the text becomes the
    /// result up to its first 0 unit. n <= 0: no change.
    void SetXString(const char* text, long long n) override;
    /// GrabAsCString(kSystemScript, kCodePageFromScript).
    const char* GrabCString() const override;
    const unsigned short* GrabWString() const override;
    /// The text translated into 8-bit text of script, made on first use and
    /// returned for any later arguments until the text changes.
    const char* GrabAsCString(WSE::WritingScriptEnum script, CPGE::CodePageEnum codePage) const;
    /// As COBString::GetAsNumber, on the system-script rendering.
    int GetAsNumber(ConversionError* error = nullptr) const override;
    double GetAsDouble(ConversionError* error = nullptr) const override;
    void Clear() override;
    long long Length() const override;
    bool IsNull() const override;
    bool Contains(const IOBString& s, long long from = 0) const override;
    bool Contains(const WOBString& s, long long from = 0) const;
    void Remove(long long pos, long long count) override;
    IOBString* Clone() const override;
    /// Each unit through the C runtime's case mapping of the current C locale.
    void ToUpper() override;
    void ToLower() override;
    /// Compares with s's UTF-16 text up to its 0 unit.
    int Compare(bool caseSensitive, const IOBString& s) const override;
    void Truncate(long long n) override;
    void Append(unsigned short u) override;
    /// Appends the byte widened with its sign (0x80 becomes 0xFF80).
    void Append(char c) override;
    void Append(const unsigned short* text, long long n) override;
    /// AppendTranslate(text, n, kSystemScript).
    void Append(const char* text, long long n) override;
    /// Appends the first min(n, s.Length()) characters of s; 8-bit text is
    /// translated from its script.
    void Append(const IOBString& s, long long n = kUpToTerminator) override;
    /// Appends the decimal form, translated from the system script.
    void AppendNumber(int value) override;
    /// Appends the shortest form with 17 significant digits ("0.5").
    void AppendDouble(double value);
    /// Translates n bytes (kUpToTerminator: up to the NUL) of script and
    /// appends the units; null or n <= 0 does nothing.
    void AppendTranslate(const char* text, long long n, WSE::WritingScriptEnum script);
    /// Inserts the byte widened with its sign.
    void Insert(char c, long long pos) override;
    /// Inserts the first count units of s at pos.
    void Insert(WOBString& s, long long pos, long long count);
    /// Inserts count units of text at pos (note the order of the counts).
    void Insert(const unsigned short* text, long long count, long long pos);
    void Insert(unsigned short u, long long pos);
    long long IndexOfString(const IOBString& s, long long from = 0) const override;
    long long IndexOfCharacter(unsigned short u, long long from = 0) const;
    long long LastIndexOfString(const WOBString& s, long long from) const;
    /// The last position holding u, or -1.
    long long LastIndexOfCharacter(unsigned short u) const;
    /// A new string the caller owns; rules as COBString::Substring.
    WOBString* Substring(long long start, long long count) const;

    /// SetXString with the bytes up to the NUL; null: no change.
    void SetCAsWString(const char* text);
    /// The text becomes byte b translated from the system script.
    void SetHexChar(unsigned char b);
    /// The text becomes the single unit u.
    void SetX16String(unsigned short u);
    /// The text becomes exactly n units.
    void SetX16String(const unsigned short* text, long long n);

    /// Unit i; throws when i is outside the text.
    unsigned short GetChar(long long i) const;
    unsigned short operator[](long long i) const;
    /// A reference to unit i, for writing; throws when i is outside the text.
    unsigned short& operator[](long long i);

    /// False for 8-bit text; else equal lengths and units, s read up to its
    /// first 0 unit.
    bool operator==(const IOBString& s) const override;
    bool operator!=(const WOBString& s) const;
    /// Replaces the text with s's UTF-16 text up to its 0 unit.
    IOBString& operator=(const IOBString& s) override;
    /// Appends s's units up to its 0 unit and returns this string: +
    /// changes its left operand.
    WOBString& operator+(const WOBString& s);
    WOBString& operator+=(const WOBString& s);
    /// The shorter string is smaller; equal lengths compare unit by unit.
    bool operator<(const WOBString& s) const;
    bool operator>(const WOBString& s) const;
    bool operator<=(const WOBString& s) const;
    bool operator>=(const WOBString& s) const;

private:
    friend class OBStringUtils; // converts straight into the buffer
    friend class ValueString;   // keeps its string inside the value

    bool Ready();
    void Changed();
    bool ReplaceUnits(const unsigned short* text, long long n);
    bool AppendUnits(const unsigned short* text, long long n);
    bool InsertUnits(const unsigned short* text, long long n, long long pos);
    /// An empty string built in place in block, which holds a WOBString and
    /// its storage block.
    static WOBString* EmptyInto(void* block);
    explicit WOBString(WOBStringData* inside);

    WOBStringData* data_;
};

/// The owning handle of one string (or none). Copying copies the string.
class OMBRA_API IOBStringPtr {
public:
    OB_MEMORY_OPERATORS
    /// Holds nothing.
    IOBStringPtr();
    /// A new empty WOBString when unicode, else a COBString of the system script.
    explicit IOBStringPtr(bool unicode);
    /// Takes ownership of p.
    IOBStringPtr(IOBString* p);
    /// Holds a copy of other's string.
    IOBStringPtr(const IOBStringPtr& other);
    ~IOBStringPtr();

    /// Replaces the string with a new empty one, as IOBStringPtr(unicode).
    void Init(bool unicode);
    /// Replaces the string with a copy of other's; nothing changes when
    /// other is this handle or holds nothing.
    IOBStringPtr& operator=(const IOBStringPtr& other);
    /// Replaces the string with a copy of s, or with nothing when s is null.
    IOBStringPtr& operator=(const IOBString* s);
    /// Replaces the string with a copy of s.
    void CopyString(const IOBString& s);

    /// Same pointer (both null included), else both held and equal strings.
    bool operator==(const IOBStringPtr& other) const;
    bool operator==(const IOBString* s) const;
    bool operator==(IOBString* s) const;
    /// True when the handle holds nothing.
    bool operator==(std::nullptr_t) const;

    bool IsValid() const;
    IOBString* GetPtr() const;
    operator IOBString*() const;
    IOBString* operator->();
    const IOBString* operator->() const;
    /// The held string; the handle must hold one.
    IOBString& operator*() const;

    /// Exchanges the strings of the two handles.
    void Swap(IOBStringPtr& other);
    /// Takes other's string and leaves other empty; a string this handle
    /// held before is not deleted.
    void Release(IOBStringPtr& other);

private:
    friend class ValueString; // keeps short strings inside the value

    IOBString* string_;
};

/// The system script as the text engine spells it: kSystemScript (32)
/// is given as 0x40000000.
OMBRA_API int OBGetSystemScript();
/// Sets the system script from the text engine's spelling: 0x40000000 is
/// stored as kSystemScript (32).
OMBRA_API void SetSystemScript(int script);

#endif
