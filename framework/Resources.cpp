// String tables, the registered resource module and display-text lookups.
#include <ombra/utf16.h>
#include <ombra/convertorlumservice.h>
#include <ombra/memory.h>
#include <ombra/resources.h>

#include "platform/CodePages.h"
#include "platform/Files.h"
#include "streams/memory/StdAllocator.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <set>

namespace {

std::atomic<HINSTANCE*> gCurrentHandle{nullptr};

// The length of the well-formed UTF-8 sequence at s (at most n bytes
// available), or 0: no overlong forms, no surrogates, nothing above
// U+10FFFF, no NUL.
int SequenceLength(const unsigned char* s, long long n) {
    unsigned b = s[0];
    if (b == 0) return 0;
    if (b < 0x80) return 1;
    int length;
    unsigned low = 0x80, high = 0xBF; // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (n < length) return 0;
    if (s[1] < low || s[1] > high) return 0;
    for (int i = 2; i < length; ++i)
        if ((s[i] & 0xC0) != 0x80) return 0;
    return length;
}

bool IsWellFormedUTF8(const char* text, long long n) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    for (long long i = 0; i < n;) {
        int length = SequenceLength(s + i, n - i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

// Decodes well-formed UTF-8 into at most capacity units; returns the count.
long long DecodeUTF8(const char* text, long long n, unsigned short* units, long long capacity) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    long long count = 0;
    for (long long i = 0; i < n;) {
        int length = SequenceLength(s + i, n - i);
        if (length == 0) break;
        unsigned c = s[i];
        if (length == 2) c = ((c & 0x1F) << 6) | (s[i + 1] & 0x3F);
        if (length == 3) c = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
        if (length == 4)
            c = ((c & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) |
                (s[i + 3] & 0x3F);
        i += length;
        unsigned short pair[2];
        int made = OBUTF16::Split(c, pair);
        if (count + made > capacity) break;
        for (int k = 0; k < made; ++k)
            units[count++] = pair[k];
    }
    return count;
}

using TextMap = std::map<unsigned, OBStdString, std::less<unsigned>,
                         OBStdAllocator<std::pair<const unsigned, OBStdString>>>;

struct Problem {
    int line;
    OBRES::ProblemEnum kind;
};

// Reads the id before the TAB: decimal digits only, within 32 bits.
bool ParseId(const char* s, long long n, unsigned& id) {
    if (n <= 0 || n > 10) return false;
    unsigned long long value = 0;
    for (long long i = 0; i < n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + static_cast<unsigned>(s[i] - '0');
    }
    if (value > 0xFFFFFFFFull) return false;
    id = static_cast<unsigned>(value);
    return true;
}

// Resolves the escapes of a line's text into out; false for a bad escape.
bool Unescape(const char* s, long long n, OBStdString& out) {
    out.reserve(static_cast<std::size_t>(n));
    for (long long i = 0; i < n; ++i) {
        char c = s[i];
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++i >= n) return false;
        switch (s[i]) {
        case 't':
            out.push_back('\t');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case '\\':
            out.push_back('\\');
            break;
        default:
            return false;
        }
    }
    return true;
}

bool IsBlank(const char* s, long long n) {
    for (long long i = 0; i < n; ++i)
        if (s[i] != ' ' && s[i] != '\t') return false;
    return true;
}

} // namespace

struct OBStringTable::Impl {
    OB_MEMORY_OPERATORS
    TextMap texts;
    OBVector<Problem> problems;
};

OBStringTable::OBStringTable() : impl_(new Impl) {}

OBStringTable::~OBStringTable() {
    delete impl_;
}

short OBStringTable::SetString(unsigned id, const char* utf8) {
    if (!impl_ || !utf8) return 0;
    long long n = static_cast<long long>(std::strlen(utf8));
    if (!IsWellFormedUTF8(utf8, n)) return 0;
    try {
        OBStdString text(utf8, static_cast<std::size_t>(n));
        impl_->texts[id].swap(text);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

short OBStringTable::RemoveString(unsigned id) {
    return impl_ && impl_->texts.erase(id) ? 1 : 0;
}

const char* OBStringTable::GetString(unsigned id) const {
    if (!impl_) return nullptr;
    auto found = impl_->texts.find(id);
    return found == impl_->texts.end() ? nullptr : found->second.c_str();
}

int OBStringTable::GetStringCount() const {
    return impl_ ? static_cast<int>(impl_->texts.size()) : 0;
}

void OBStringTable::Clear() {
    if (impl_) impl_->texts.clear();
}

short OBStringTable::LoadFile(const char* path) {
    if (!impl_ || !path) return 0;
    obsys::FileHandle file = obsys::OpenFile(path, obsys::kAccessRead, obsys::kOpenExisting);
    if (file == obsys::kInvalidFile) return 0;
    long long size = obsys::FileSize(file);
    char* bytes =
        size >= 0 ? static_cast<char*>(OBLibAllocate(static_cast<std::size_t>(size) + 1)) : nullptr;
    long long got = 0;
    while (bytes && got < size) {
        long long n =
            obsys::ReadFile(file, bytes + got, static_cast<unsigned long long>(size - got));
        if (n <= 0) break;
        got += n;
    }
    obsys::CloseFile(file);
    short result = bytes && got == size ? LoadText(bytes, size) : 0;
    OBLibFree(bytes);
    return result;
}

short OBStringTable::LoadText(const char* text, long long n) {
    if (!impl_ || n < 0 || (!text && n > 0)) return 0;
    impl_->problems.clear();
    auto report = [this](int line, OBRES::ProblemEnum kind) {
        try {
            impl_->problems.push_back(Problem{line, kind});
        } catch (const std::bad_alloc&) {
        }
    };
    // Ids taken by this load, to tell duplicates from ids the table had.
    std::set<unsigned, std::less<unsigned>, OBStdAllocator<unsigned>> seen;
    long long pos = 0;
    if (n >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) pos = 3;
    int line = 0;
    while (pos < n) {
        ++line;
        const char* start = text + pos;
        const void* newline = std::memchr(start, '\n', static_cast<std::size_t>(n - pos));
        long long length = newline ? static_cast<const char*>(newline) - start : n - pos;
        pos += length + (newline ? 1 : 0);
        if (length > 0 && start[length - 1] == '\r') --length;

        if (IsBlank(start, length) || start[0] == '#') continue;
        const void* tab = std::memchr(start, '\t', static_cast<std::size_t>(length));
        if (!tab) {
            report(line, OBRES::kMissingTab);
            continue;
        }
        long long idLength = static_cast<const char*>(tab) - start;
        unsigned id = 0;
        if (!ParseId(start, idLength, id)) {
            report(line, OBRES::kBadId);
            continue;
        }
        const char* body = start + idLength + 1;
        long long bodyLength = length - idLength - 1;
        try {
            OBStdString value;
            if (!Unescape(body, bodyLength, value)) {
                report(line, OBRES::kBadEscape);
                continue;
            }
            if (!IsWellFormedUTF8(value.data(), static_cast<long long>(value.size()))) {
                report(line, OBRES::kBadUTF8);
                continue;
            }
            if (!seen.insert(id).second) report(line, OBRES::kDuplicateId);
            impl_->texts[id].swap(value);
        } catch (const std::bad_alloc&) {
            report(line, OBRES::kNoMemory);
        }
    }
    return 1;
}

int OBStringTable::GetProblemCount() const {
    return impl_ ? static_cast<int>(impl_->problems.size()) : 0;
}

short OBStringTable::GetProblem(int n, int& line, OBRES::ProblemEnum& problem) const {
    if (!impl_ || n < 0 || n >= static_cast<int>(impl_->problems.size())) return 0;
    line = impl_->problems[static_cast<std::size_t>(n)].line;
    problem = impl_->problems[static_cast<std::size_t>(n)].kind;
    return 1;
}

// ---- The registered module ----------------------------------------------------

void OBConnectionUtility::SetCurrentHandle(HINSTANCE* handle) {
    gCurrentHandle.store(handle);
}

HINSTANCE* OBConnectionUtility::GetCurrentHandle() {
    return gCurrentHandle.load();
}

int OBLoadResourceString(unsigned id, char* buffer, int size) {
    if (!buffer || size < 1) return 0;
    buffer[0] = '\0';
    HINSTANCE* handle = gCurrentHandle.load();
    if (!handle || !*handle) return 0;
    const char* text = (*handle)->GetString(id);
    if (!text) return 0;
    std::size_t n = std::strlen(text);
    std::size_t room = static_cast<std::size_t>(size) - 1;
    if (n > room) {
        // Drop the character that the cut would split.
        n = room;
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

namespace {

// Encodes units into the code page of script; true when every character
// had bytes there.
bool EncodeExactly(WSE::WritingScriptEnum script, const unsigned short* units, long long n,
                   char* bytes, long long capacity, long long& produced) {
    short usedDefault = 0;
    produced = obsys::WideCharToMultiByte(OBConvertorLumService::ScriptToCodePage(script), 0, units,
                                          n, bytes, capacity, nullptr, &usedDefault);
    return produced > 0 && !usedDefault;
}

} // namespace

short OBLoadResourceText(unsigned baseId, OBL::LocaleIDEnum locale, COBString& out) {
    HINSTANCE* handle = gCurrentHandle.load();
    if (!handle || !*handle) return 0;
    char utf8[kOBResourceBufferSize];
    int length = OBLoadResourceString(baseId + static_cast<unsigned>(locale), utf8, sizeof utf8);

    unsigned short units[kOBResourceBufferSize];
    long long unitCount = DecodeUTF8(utf8, length, units, kOBResourceBufferSize);
    if (unitCount == 0) {
        out.SetScript(WSE::kSystemScript);
        out.Clear();
        return 1;
    }

    // Room for three bytes a unit, the most any code page here takes.
    char bytes[3 * kOBResourceBufferSize + 1];
    const long long capacity = sizeof bytes;
    long long produced = 0;

    static const WSE::WritingScriptEnum kScripts[] = {
#define OB_WRITING_SCRIPT(name, value, codePage) WSE::name,
#include <ombra/defs/WritingScripts.def>
    };
    WSE::WritingScriptEnum system = COBString::OBGetSystemScript();
    WSE::WritingScriptEnum candidates[2 + sizeof kScripts / sizeof kScripts[0]];
    int count = 0;
    candidates[count++] = system;
    candidates[count++] = LocaleUtil::GetLocaleScript(locale);
    for (WSE::WritingScriptEnum script : kScripts)
        if (script != WSE::kUnicodeScript) candidates[count++] = script;

    // Each code page is tried once, in the order of the candidates.
    unsigned tried[sizeof candidates / sizeof candidates[0]];
    int triedCount = 0;
    WSE::WritingScriptEnum chosen = system;
    bool exact = false;
    for (int i = 0; i < count && !exact; ++i) {
        unsigned codePage = OBConvertorLumService::ScriptToCodePage(candidates[i]);
        bool again = false;
        for (int j = 0; j < triedCount; ++j)
            again = again || tried[j] == codePage;
        if (again) continue;
        tried[triedCount++] = codePage;
        chosen = candidates[i];
        exact = EncodeExactly(chosen, units, unitCount, bytes, capacity, produced);
    }
    if (!exact) {
        chosen = system;
        EncodeExactly(system, units, unitCount, bytes, capacity, produced);
    }
    out.SetScript(chosen);
    out.SetXString(bytes, produced > 0 ? produced : 0);
    return 1;
}

// framework/messages.strings, compiled in by the build.
extern const unsigned char kOmbraCoreStrings[];
extern const unsigned long kOmbraCoreStringsSize;

const char* OBCoreMessageTexts(long long& size) {
    size = static_cast<long long>(kOmbraCoreStringsSize);
    return reinterpret_cast<const char*>(kOmbraCoreStrings);
}
