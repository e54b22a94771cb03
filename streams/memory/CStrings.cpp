#include <ombra/memory.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {

void* OBMemset(void* dst, int value, std::size_t count) {
    if (!dst) return nullptr;
    return std::memset(dst, value, count);
}

void* OBMemmove(void* dst, const void* src, std::size_t count) {
    if (!dst) return nullptr;
    if (!src) return std::memset(dst, 0, count);
    return std::memmove(dst, src, count);
}

void* OBMemcpy(void* dst, const void* src, std::size_t count) {
    if (!dst) return nullptr;
    if (!src) return std::memset(dst, 0, count);
    return std::memcpy(dst, src, count);
}

int OBMemcmp(const void* a, const void* b, std::size_t count) {
    if (!a) return 0;
    if (!b) return 1;
    return std::memcmp(a, b, count);
}

void* OBMemchr(const void* buffer, int value, std::size_t count) {
    if (!buffer) return nullptr;
    return const_cast<void*>(std::memchr(buffer, value, count));
}

std::size_t OBStrlen(const char* s) {
    return s ? std::strlen(s) : 0;
}

char* OBStrcpy(char* d, const char* s) {
    if (d && s) std::strcpy(d, s);
    return d;
}

char* OBStrncpy(char* d, const char* s, std::size_t n) {
    if (d && s) std::strncpy(d, s, n);
    return d;
}

char* OBStrlcpy(char* d, const char* s, std::size_t size) {
    if (!d || !s || size == 0) return d;
    std::strncpy(d, s, size);
    d[size - 1] = 0;
    return d;
}

char* OBStrcat(char* d, const char* s) {
    if (d && s) std::strcat(d, s);
    return d;
}

char* OBStrncat(char* d, const char* s, std::size_t n) {
    if (d && s) std::strncat(d, s, n);
    return d;
}

char* OBStrlcat(char* d, const char* s, std::size_t size) {
    if (!d || !s || size == 0) return d;
    // Look for the terminator only inside the buffer: a full buffer stays as it is.
    const char* end = static_cast<const char*>(std::memchr(d, 0, size));
    if (!end) return d;
    std::size_t used = static_cast<std::size_t>(end - d);
    if (used >= size - 1) return d;
    std::size_t room = size - 1 - used;
    std::size_t n = std::strlen(s);
    if (n > room) n = room;
    std::memcpy(d + used, s, n);
    d[used + n] = 0;
    return d;
}

int OBStrcmp(const char* a, const char* b) {
    if (!a) return 0;
    if (!b) return 1;
    int r = std::strcmp(a, b); // strcmp compares as unsigned char
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool OBStrequal(const char* a, const char* b) {
    if (!a) return b == nullptr;
    if (!b) return false;
    return std::strcmp(a, b) == 0;
}

int OBStrncmp(const char* a, const char* b, std::size_t n) {
    if (!a) return 0;
    if (!b) return 1;
    return std::strncmp(a, b, n);
}

int OBStrncasecmp(const char* a, const char* b, std::size_t n) {
    if (!a) return 0;
    if (!b) return 1;
    for (std::size_t i = 0; i < n; ++i) {
        int ca = std::toupper(static_cast<unsigned char>(a[i]));
        int cb = std::toupper(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca - cb;
        if (ca == 0) return 0;
    }
    return 0;
}

int OBStrcasecmp(const char* a, const char* b) {
    if (!a) return 0;
    if (!b) return 1;
    return OBStrncasecmp(a, b, static_cast<std::size_t>(-1));
}

char* OBStrchr(const char* s, int c) {
    return s ? const_cast<char*>(std::strchr(s, c)) : nullptr;
}

char* OBStrrchr(const char* s, int c) {
    return s ? const_cast<char*>(std::strrchr(s, c)) : nullptr;
}

char* OBStrstr(const char* haystack, const char* needle) {
    if (!haystack || !needle) return nullptr;
    return const_cast<char*>(std::strstr(haystack, needle));
}

int OBSprintf(char* d, const char* format, ...) {
    if (!d || !format) return -1;
    va_list args;
    va_start(args, format);
    int r = std::vsprintf(d, format, args);
    va_end(args);
    return r < 0 ? -1 : r;
}

int OBSnprintf(char* d, std::size_t size, const char* format, ...) {
    if (!d || !format || size == 0) return 0;
    va_list args;
    va_start(args, format);
    int r = std::vsnprintf(d, size, format, args);
    va_end(args);
    d[size - 1] = 0;
    if (r < 0) {
        d[0] = 0;
        return 0;
    }
    return static_cast<int>(std::strlen(d));
}

int OBAsprintf(char** out, const char* format, ...) {
    if (!out) return -1;
    *out = nullptr;
    if (!format) return -1;
    const std::size_t kStep = 100, kLimit = 16000;
    std::size_t size = kStep;
    char* buffer = static_cast<char*>(std::malloc(size));
    if (!buffer) return -1;
    for (;;) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, size, format, args);
        va_end(args);
        buffer[size - 1] = 0;
        std::size_t length = std::strlen(buffer);
        if (length < size - 1) {
            *out = buffer;
            return static_cast<int>(length);
        }
        size += kStep;
        if (size > kLimit) {
            std::free(buffer);
            return -1;
        }
        char* grown = static_cast<char*>(std::realloc(buffer, size));
        if (!grown) {
            std::free(buffer);
            return -1;
        }
        buffer = grown;
    }
}

} // extern "C"
