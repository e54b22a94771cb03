#include "ReaderStory.h"

#include <ombra/memory.h>
#include <ombra/typedstreams.h>

#include <emmintrin.h>

#include <algorithm>
#include <cctype>

namespace obreader {

bool SetTextStream(ElementBuilder& b, Element* child, const char16_t* text, std::size_t length) {
    // The stream and its units share one block, which deleting the stream
    // frees: a story's text takes one request to the memory service.
    constexpr std::size_t kHead = (sizeof(OBBufferStreamRead) + 15) / 16 * 16;
    unsigned long long bytes = static_cast<unsigned long long>(length) * 2;
    void* block = length < (static_cast<std::size_t>(-1) - kHead) / 2
                      ? OBLibAllocate(kHead + (bytes ? bytes : 2))
                      : nullptr;
    if (!block) {
        b.OutOfMemory();
        return false;
    }
    unsigned char* buffer = static_cast<unsigned char*>(block) + kHead;
    std::size_t i = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; i + 32 <= length; i += 32) // the units as they lie, 32 at a time
        for (std::size_t k = 0; k < 32; k += 8)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(buffer + 2 * (i + k)),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + k)));
    for (; i + 8 <= length; i += 8) // then eight at a time
        _mm_storeu_si128(reinterpret_cast<__m128i*>(buffer + 2 * i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i)));
#endif
    for (; i < length; ++i) {
        buffer[2 * i] = static_cast<unsigned char>(text[i] & 0xFF);
        buffer[2 * i + 1] = static_cast<unsigned char>(text[i] >> 8);
    }
    OBStream* stream = new (block) OBBufferStreamRead(buffer, bytes, 0);
    auto* st = b.Store(child);
    if (!st) {
        delete stream;
        return false;
    }
    short ok = st->SetStream(AN::kTextStream, stream);
    b.Check(ok);
    return ok == 1;
}

std::uint32_t SkipAscii(const char16_t* text, std::uint32_t i, std::uint32_t end) {
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    // Thirty-two at a time while all are ASCII, then eight to find the one.
    auto load = [text](std::uint32_t at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    };
    for (; i < end && end - i >= 32; i += 32) {
        const __m128i v = _mm_or_si128(_mm_or_si128(load(i), load(i + 8)),
                                       _mm_or_si128(load(i + 16), load(i + 24)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), zero)) != 0xFFFF) break;
    }
    for (; i < end && end - i >= 8; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const unsigned ascii =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), zero)));
        if (ascii != 0xFFFF) return i + static_cast<std::uint32_t>(__builtin_ctz(~ascii)) / 2;
    }
    while (i < end && text[i] < 0x80)
        ++i;
    return i;
}

int CharacterScript(unsigned c, int cjk) {
    if (c < 0x80) return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') ? WSE::kRomanScript : -1;
    if (c < 0xC0) return -1; // Latin-1 signs: every code page has most of them
    if (c <= 0x24F) return (c == 0xD7 || c == 0xF7) ? -1 : WSE::kRomanScript;
    if (c >= 0x1E00 && c <= 0x1EFF) return WSE::kRomanScript;
    if ((c >= 0x370 && c <= 0x3FF) || (c >= 0x1F00 && c <= 0x1FFF)) return WSE::kGreekScript;
    if (c >= 0x400 && c <= 0x52F) return WSE::kCyrillicScript;
    if ((c >= 0x590 && c <= 0x5FF) || (c >= 0xFB1D && c <= 0xFB4F)) return WSE::kHebrewScript;
    if ((c >= 0x600 && c <= 0x6FF) || (c >= 0x750 && c <= 0x77F) || (c >= 0x8A0 && c <= 0x8FF) ||
        (c >= 0xFB50 && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF))
        return WSE::kArabicScript;
    if (c >= 0xE00 && c <= 0xE7F) return WSE::kThaiScript;
    if ((c >= 0x2000 && c <= 0x206F) || c == 0xFFFC || c == 0xFEFF)
        return -1; // punctuation, spaces, marks
    if ((c >= 0x3040 && c <= 0x30FF) || (c >= 0x31F0 && c <= 0x31FF) ||
        (c >= 0xFF66 && c <= 0xFF9F))
        return WSE::kJapaneseScript;
    if ((c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F) ||
        (c >= 0xAC00 && c <= 0xD7AF))
        return WSE::kKoreanScript;
    if ((c >= 0x3000 && c <= 0x303F) || (c >= 0x3400 && c <= 0x4DBF) ||
        (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF))
        return cjk;
    if (c >= 0x2070 && c <= 0x2BFF) return -1; // signs, arrows, mathematical and technical symbols
    return WSE::kUnicodeScript;
}

int StoryCjkHint(const char16_t* text, std::size_t length) {
    int hint = -1;
    // Most text lies below the kana: a block of it is passed over whole.
    constexpr std::size_t kBlock = 64;
    for (std::size_t at = 0; at < length; at += kBlock) {
        const std::size_t end = std::min(length, at + kBlock);
        char16_t top = 0;
        for (std::size_t i = at; i < end; ++i)
            top = std::max(top, text[i]);
        if (top < 0x3040) continue;
        for (std::size_t i = at; i < end; ++i) {
            char16_t ch = text[i];
            if ((ch >= 0x3040 && ch <= 0x30FF) || (ch >= 0xFF66 && ch <= 0xFF9F))
                return WSE::kJapaneseScript;
            if (ch >= 0xAC00 && ch <= 0xD7AF && hint < 0) hint = WSE::kKoreanScript;
        }
    }
    return hint;
}

WSE::WritingScriptEnum CjkScriptForLanguage(std::string lang) {
    for (char& ch : lang)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (lang.compare(0, 2, "zh") == 0)
        return (lang.find("tw") != std::string::npos || lang.find("hk") != std::string::npos ||
                lang.find("hant") != std::string::npos)
                   ? WSE::kTradChineseScript
                   : WSE::kSimpChineseScript;
    if (lang.compare(0, 2, "ko") == 0) return WSE::kKoreanScript;
    return WSE::kJapaneseScript;
}

Element* StoryLists::List(EL::ElementTypeEnum listKind) {
    for (int i = 0; i < count_; ++i)
        if (kinds_[i] == listKind) return lists_[i];
    Element* list = b_.Child(child_, listKind);
    if (list && count_ < kMaxLists) {
        kinds_[count_] = listKind;
        lists_[count_++] = list;
    }
    return list;
}

Element* StoryLists::Run(EL::ElementTypeEnum listKind, EL::ElementTypeEnum kind, long long start,
                         long long end) {
    Element* run = Entry(listKind, kind);
    if (!run) return nullptr;
    if (b_.Int(run, AN::kStartCharacterPosition, start) &&
        b_.Int(run, AN::kEndCharacterPosition, end))
        return run;
    b_.DropLast(List(listKind)); // a run without its range would say nothing true
    return nullptr;
}

Element* StoryLists::At(EL::ElementTypeEnum listKind, EL::ElementTypeEnum kind,
                        AN::AttrNameEnum attr, long long position) {
    Element* entry = Entry(listKind, kind);
    if (!entry) return nullptr;
    if (b_.Int(entry, attr, position)) return entry;
    b_.DropLast(List(listKind));
    return nullptr;
}

} // namespace obreader
