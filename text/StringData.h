// The storage blocks behind COBString and WOBString: a growable buffer of
// characters from the memory service and the cached rendering in the other
// kind of text.
#ifndef OMBRA_TEXT_STRINGDATA_H
#define OMBRA_TEXT_STRINGDATA_H

#include <ombra/export.h>
#include <ombra/strings.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace ombra_detail {

/// A character sequence that is always followed by a 0 character once it
/// has a buffer. Every operation that needs memory reports false when the
/// memory service yields none and leaves the sequence as it was.
template <typename T> class TextBuffer {
public:
    TextBuffer() = default;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
    ~TextBuffer() { Free(data_); }

    static constexpr long long kMaxLength = LLONG_MAX / static_cast<long long>(sizeof(T)) - 2;
    // Short texts live in the block itself, which saves an allocation for
    // most names and runs of text.
    static constexpr long long kInline = 48 / static_cast<long long>(sizeof(T)) - 1;

    long long Length() const { return length_; }
    T* Data() { return data_; }
    /// Nothing of the memory service's to free: no buffer, or the block's own.
    bool HoldsNothing() const { return !data_ || data_ == inline_; }
    /// The characters, or an empty text when there is no buffer yet.
    const T* Text() const { return data_ ? data_ : Empty(); }
    static const T* Empty() {
        static const T empty[1] = {0};
        return empty;
    }

    /// Makes sure a buffer exists, so that Data() is not null.
    bool EnsureBuffer() {
        if (data_) return true;
        inline_[0] = 0;
        data_ = inline_;
        capacity_ = kInline;
        return true;
    }

    bool Assign(const T* text, long long n) {
        if (n < 0 || n > kMaxLength) return false;
        if (n == 0) {
            Clear();
            return true;
        }
        if (n > capacity_ || !data_) {
            long long capacity = n;
            T* fresh = Obtain(capacity);
            if (!fresh) return false;
            Copy(fresh, text, n);
            fresh[n] = 0;
            Replace(fresh, capacity);
        } else {
            std::memmove(data_, text, static_cast<std::size_t>(n) * sizeof(T));
            data_[n] = 0;
        }
        length_ = n;
        return true;
    }

    bool Append(const T* text, long long n) { return Insert(length_, text, n); }

    /// Inserts n characters at pos (0 <= pos <= Length()). text may point
    /// into this buffer.
    bool Insert(long long pos, const T* text, long long n) {
        if (n <= 0) return n == 0;
        if (pos < 0 || pos > length_ || n > kMaxLength - length_) return false;
        long long total = length_ + n;
        std::less<const T*> before;
        bool aliased = data_ && !before(text, data_) && before(text, data_ + length_ + 1);
        if (total > capacity_ || !data_ || (aliased && pos < length_)) {
            long long want = total;
            if (total > capacity_ && capacity_ < kMaxLength / 2)
                want = std::max(total, capacity_ + capacity_ / 2);
            T* fresh = Obtain(want);
            if (!fresh) {
                if (want == total) return false;
                fresh = Obtain(want = total);
                if (!fresh) return false;
            }
            Copy(fresh, data_, pos);
            Copy(fresh + pos, text, n);
            Copy(fresh + pos + n, data_ ? data_ + pos : nullptr, length_ - pos);
            fresh[total] = 0;
            Free(data_);
            data_ = fresh;
            capacity_ = want;
        } else {
            std::memmove(data_ + pos + n, data_ + pos,
                         static_cast<std::size_t>(length_ - pos) * sizeof(T));
            std::memmove(data_ + pos, text, static_cast<std::size_t>(n) * sizeof(T));
            data_[total] = 0;
        }
        length_ = total;
        return true;
    }

    /// Removes n characters at pos; the caller keeps both inside the text.
    /// Room for `total` characters and the terminator, growing as appends
    /// do; the content stays. Null when there is no memory for it.
    T* Reserve(long long total) {
        if (total < 0 || total > kMaxLength) return nullptr;
        if (data_ && total <= capacity_) return data_;
        long long want = total;
        if (capacity_ < kMaxLength / 2) want = std::max(total, capacity_ + capacity_ / 2);
        T* fresh = Obtain(want);
        if (!fresh && want != total) fresh = Obtain(want = total);
        if (!fresh) return nullptr;
        Copy(fresh, data_, length_);
        fresh[length_] = 0;
        Replace(fresh, want);
        return data_;
    }

    /// Takes the first n characters written into the reserved room as the text.
    void SetLength(long long n) {
        length_ = n;
        data_[n] = 0;
    }

    void Erase(long long pos, long long n) {
        if (!data_ || n <= 0) return;
        std::memmove(data_ + pos, data_ + pos + n,
                     static_cast<std::size_t>(length_ - pos - n) * sizeof(T));
        length_ -= n;
        data_[length_] = 0;
    }

    void Clear() {
        length_ = 0;
        if (data_) data_[0] = 0;
    }

private:
    // Room for `capacity` characters and the terminator: the inline room
    // when it is big enough and not the current buffer (whose content is
    // still to be copied), else from the memory service. capacity grows to
    // what the inline room holds.
    T* Obtain(long long& capacity) {
        if (capacity <= kInline && data_ != inline_) {
            capacity = kInline;
            return inline_;
        }
        return static_cast<T*>(OBLibAllocate(static_cast<std::size_t>(capacity + 1) * sizeof(T)));
    }
    void Free(T* block) {
        if (block != inline_) OBLibFree(block);
    }
    static void Copy(T* to, const T* from, long long n) {
        if (n > 0 && from) std::memcpy(to, from, static_cast<std::size_t>(n) * sizeof(T));
    }
    void Replace(T* fresh, long long capacity) {
        Free(data_);
        data_ = fresh;
        capacity_ = capacity;
    }

    T* data_ = nullptr; // null, inline_ or a block of the memory service
    long long length_ = 0;
    long long capacity_ = 0;
    T inline_[kInline + 1];
};

/// Counts the characters before the first 0 one, looking at most at max.
template <typename T> long long TerminatedLength(const T* text, long long max = LLONG_MAX) {
    long long n = 0;
    if (text)
        while (n < max && text[n])
            ++n;
    return n;
}

/// True when the n characters of a, which may be shorter (0-terminated),
/// equal those of b.
template <typename T> bool SameUnits(const T* a, const T* b, long long n) {
    for (long long i = 0; i < n; ++i) {
        if (a[i] != b[i]) return false;
        if (a[i] == 0) return i == n - 1;
    }
    return true;
}

/// The first position at or after from where needle occurs, or -1.
template <typename T>
long long Find(const T* text, long long length, const T* needle, long long needleLength,
               long long from) {
    if (from < 0) from = 0;
    if (from > length) return -1;
    if (needleLength == 0) return from;
    if (needleLength > length - from) return -1;
    for (long long i = from; i <= length - needleLength; ++i)
        if (text[i] == needle[0] &&
            std::memcmp(text + i, needle, static_cast<std::size_t>(needleLength) * sizeof(T)) == 0)
            return i;
    return -1;
}

/// The last position at or before from where needle starts, or -1.
template <typename T>
long long FindLast(const T* text, long long length, const T* needle, long long needleLength,
                   long long from) {
    if (needleLength == 0) return from < 0 ? -1 : std::min(length, from);
    if (needleLength > length) return -1;
    for (long long i = std::min(length - needleLength, from); i >= 0; --i)
        if (text[i] == needle[0] &&
            std::memcmp(text + i, needle, static_cast<std::size_t>(needleLength) * sizeof(T)) == 0)
            return i;
    return -1;
}

[[noreturn]] inline void ThrowInvalidPosition() {
    throw std::out_of_range("invalid string position");
}

/// The number of characters Remove(pos, count) takes away from a text of
/// `length`, after pos has been made non-negative; throws for pos > length.
inline long long RemovalCount(long long& pos, long long count, long long length) {
    if (pos < 0) pos = 0;
    if (pos > length) ThrowInvalidPosition();
    return (count < 0 || count > length - pos) ? length - pos : count;
}

/// The number of characters Substring(start, count) takes, or -1 for none.
inline long long SubstringCount(long long start, long long count, long long length) {
    if (start < 0 || start >= length) return -1;
    long long n = static_cast<long long>(static_cast<unsigned int>(count));
    return std::min(n, length - start);
}

/// Reads text as boost::lexical_cast does: an int, else a double truncated
/// toward zero, else 0 with kConversionFailed.
int ParseNumber(const char* text, IOBString::ConversionError* error);
double ParseDouble(const char* text, IOBString::ConversionError* error);

/// Translations through OBLumUnicodeTranslator with the code page the
/// strings always pass. Return the characters written, from 0 to capacity.
long long BytesToUnits(const char* text, long long n, unsigned short* out, long long capacity,
                       WSE::WritingScriptEnum script);
long long UnitsToBytes(const unsigned short* text, long long n, char* out, long long capacity,
                       WSE::WritingScriptEnum script,
                       CPGE::CodePageEnum codePage = CPGE::kCodePageFromScript);

/// A buffer from the memory service, freed when it goes out of scope.
template <typename T> class ScopedBuffer {
public:
    explicit ScopedBuffer(long long count)
        : data_(count > 0 && count < LLONG_MAX / static_cast<long long>(sizeof(T))
                    ? static_cast<T*>(OBLibAllocate(static_cast<std::size_t>(count) * sizeof(T)))
                    : nullptr) {}
    ~ScopedBuffer() { OBLibFree(data_); }
    ScopedBuffer(const ScopedBuffer&) = delete;
    ScopedBuffer& operator=(const ScopedBuffer&) = delete;
    T* Get() const { return data_; }
    /// Hands the buffer over; the caller frees it with OBLibFree.
    T* Release() {
        T* d = data_;
        data_ = nullptr;
        return d;
    }

private:
    T* data_;
};

} // namespace ombra_detail

/// The storage block of a COBString.
class COBStringData {
public:
    OB_MEMORY_OPERATORS
    COBStringData() = default;
    COBStringData(const COBStringData&) = delete;
    COBStringData& operator=(const COBStringData&) = delete;
    ~COBStringData() {
        if (wide) OBLibFree(wide);
    }
    void DropRendering() {
        if (wide) OBLibFree(wide);
        wide = nullptr;
        wideStale = false;
    }

    ombra_detail::TextBuffer<char> text;
    unsigned short* wide = nullptr; // cached UTF-16 rendering
    bool wideStale = false;         // the bytes may have been written through GrabCString
};

/// The storage block of a WOBString.
class WOBStringData {
public:
    OB_MEMORY_OPERATORS
    WOBStringData() = default;
    WOBStringData(const WOBStringData&) = delete;
    WOBStringData& operator=(const WOBStringData&) = delete;
    ~WOBStringData() {
        if (narrow) OBLibFree(narrow);
    }
    void DropRendering() {
        if (narrow) OBLibFree(narrow);
        narrow = nullptr;
        narrowStale = false;
    }

    ombra_detail::TextBuffer<unsigned short> text;
    char* narrow = nullptr;   // cached 8-bit rendering
    bool narrowStale = false; // a unit may have been written through operator[]
    bool inside = false;      // lives in the block of its string, not on its own
};

#endif
