// The string resources that display texts come from: the module a host
// registers (OBConnectionUtility), its string table (OBStringTable) and the
// lookups that preferences, the conversion log and the error strings share.
#ifndef OMBRA_RESOURCES_H
#define OMBRA_RESOURCES_H

#include <ombra/export.h>
#include <ombra/platformtypes.h>
#include <ombra/scripts.h>
#include <ombra/strings.h>

/// The size of the buffer a display text is loaded into: a text keeps at
/// most kOBResourceBufferSize - 1 bytes of its UTF-8 form.
constexpr int kOBResourceBufferSize = 1024;

/// Why a line of a string-table file was not taken.
namespace OBRES {
enum ProblemEnum : int {
    kNoProblem = 0,
    kMissingTab = 1,  ///< no TAB separates the id from the text
    kBadId = 2,       ///< the id is not a decimal number from 0 to 4294967295
    kBadEscape = 3,   ///< a backslash is not followed by 't', 'n' or a backslash
    kBadUTF8 = 4,     ///< the text is not well-formed UTF-8, or holds a NUL
    kDuplicateId = 5, ///< the id came earlier in the same load; this later line is taken
    kNoMemory = 6,    ///< the memory service had no room for the text
};
} // namespace OBRES

/// A module's string resources: texts by resource id, held as UTF-8. The
/// host fills it in memory (SetString) or from files, and registers it
/// with OBConnectionUtility before conversions start; lookups are not
/// locked, so it must not change while conversions run.
///
/// A file holds one text a line, `id<TAB>text`, in UTF-8 (a byte-order mark
/// at the start is skipped). Lines that are empty or hold only spaces and
/// tabs, and lines starting with '#', are skipped; a CR before the line end
/// is dropped. In the text, `\t` stands for a TAB, `\n` for a line feed and
/// `\\` for a backslash; other TABs are taken as they are. A bad line is
/// reported (GetProblem) and skipped, and loading goes on.
class OMBRA_API OBStringTable {
public:
    OB_MEMORY_OPERATORS
    OBStringTable();
    ~OBStringTable();
    OBStringTable(const OBStringTable&) = delete;
    OBStringTable& operator=(const OBStringTable&) = delete;

    /// Stores the UTF-8 text up to its NUL under id, replacing any text the
    /// id had. Returns 1, or 0 (and no change) when the text is null or not
    /// well-formed UTF-8, or memory ran out.
    short SetString(unsigned id, const char* utf8);
    /// Removes the id's text; 1 when it had one.
    short RemoveString(unsigned id);
    /// The id's text, or null. Valid until the id's text changes.
    const char* GetString(unsigned id) const;
    /// The number of texts held.
    int GetStringCount() const;
    /// Removes every text.
    void Clear();

    /// Adds the texts of a file (see above) to the table; an id it holds
    /// already gets the file's text. Returns 1 when the file was read, bad
    /// lines or not, and 0 when it could not be read (the table is unchanged).
    short LoadFile(const char* path);
    /// As LoadFile, for n bytes of text in memory.
    short LoadText(const char* text, long long n);
    /// The number of bad lines in the last load.
    int GetProblemCount() const;
    /// Line number (from 1) and kind of the n-th bad line of the last load,
    /// in line order; returns 0 and leaves both unchanged when there is none.
    short GetProblem(int n, int& line, OBRES::ProblemEnum& problem) const;

private:
    struct Impl;
    Impl* impl_;
};

/// The module whose string resources display texts are loaded from, one
/// for the process. The pointer is stored, not the handle it points to, so
/// a change of the pointed-to handle takes effect at once. Nothing is
/// registered at start.
class OMBRA_API OBConnectionUtility {
public:
    static void SetCurrentHandle(HINSTANCE* handle);
    static HINSTANCE* GetCurrentHandle();
};

/// Loads the text of resource id from the registered module into buffer,
/// as the 8-bit string loader of the platform does: at most size - 1 bytes
/// of its UTF-8 form (cut at a character boundary) and a NUL. Returns the
/// bytes copied without the NUL; 0 with an empty buffer when no module is
/// registered or the id has no text. A null buffer or a size below 1 gives 0
/// and writes nothing.
OMBRA_API int OBLoadResourceString(unsigned id, char* buffer, int size);

/// Loads the display text baseId + locale (see messages.h) into a
/// kOBResourceBufferSize buffer and makes it out's 8-bit text. The UTF-8
/// text is converted into the first writing script whose code page holds
/// every character, and out is tagged with it: the system script (so
/// plain texts read as the platform's strings do), then the locale's
/// script, then the other scripts the core's text service knows. A text
/// that no code page holds whole goes into the system script with '?' for
/// what is missing. Returns 0 and leaves out unchanged when no module is
/// registered; otherwise 1, with out empty for an id without a text.
OMBRA_API short OBLoadResourceText(unsigned baseId, OBL::LocaleIDEnum locale, COBString& out);

/// The texts of the core's messages (<ombra/messages.h>) in English and
/// Japanese, in the format OBStringTable::LoadText reads; size receives
/// their length in bytes. A host that builds its own table loads them too.
OMBRA_API const char* OBCoreMessageTexts(long long& size);

#endif
