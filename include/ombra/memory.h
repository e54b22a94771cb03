// The pluggable memory service and the null-tolerant memory and C-string helpers.
#ifndef OMBRA_MEMORY_H
#define OMBRA_MEMORY_H

#include <cstddef>
#include <ombra/export.h>

/// The allocator through which the library obtains every block it uses.
/// A host constructs one and installs it with OBMemoryHandler::SetMemoryService
/// before any other call, and keeps it installed while library objects live.
///
/// Tearing down, the order does not matter: uninstall then delete, or
/// delete while installed (which uninstalls it), or delete while another
/// service is installed. The value pools' memory always goes back to the
/// service it came from.
class OMBRA_API OBMemoryService {
public:
    typedef void* (*AllocateProc)(unsigned long long size);
    typedef void (*DeallocateProc)(void* block);

    /// The four functions, in the order allocate, deallocate, defaultAllocate,
    /// defaultDeallocate. The default pair is used from the start.
    OBMemoryService(AllocateProc allocate, DeallocateProc deallocate, AllocateProc defaultAllocate,
                    DeallocateProc defaultDeallocate);
    /// Copies all five fields.
    OBMemoryService& operator=(const OBMemoryService& other);
    /// Destroys the value pools first (they are the one piece of library
    /// state that outlives the objects allocated from the service), each
    /// block going back to the service that gave it, then uninstalls this
    /// service if it is the installed one. No value may live any more.
    ~OBMemoryService();

    /// The default allocator while useDefault is set, the other one otherwise.
    void* Allocate(unsigned long long size);
    void DeAllocate(void* block);
    void SetDefault(short useDefault);
    short GetDefault();

private:
    AllocateProc allocate_;
    DeallocateProc deallocate_;
    AllocateProc defaultAllocate_;
    DeallocateProc defaultDeallocate_;
    short useDefault_;
};

/// Holds the one process-wide installed memory service (null at start).
class OMBRA_API OBMemoryHandler {
public:
    static void SetMemoryService(OBMemoryService* service);
    static OBMemoryService* GetMemoryService();
};

extern "C" {

/// Memory helpers: a null destination never faults.
OMBRA_API void* OBMemset(void* dst, int value, std::size_t count);
OMBRA_API void* OBMemmove(void* dst, const void* src, std::size_t count);
OMBRA_API void* OBMemcpy(void* dst, const void* src, std::size_t count);
OMBRA_API int OBMemcmp(const void* a, const void* b, std::size_t count);
OMBRA_API void* OBMemchr(const void* buffer, int value, std::size_t count);

/// C-string functions: a null argument never faults.
OMBRA_API std::size_t OBStrlen(const char* s);
OMBRA_API char* OBStrcpy(char* d, const char* s);
OMBRA_API char* OBStrncpy(char* d, const char* s, std::size_t n);
OMBRA_API char* OBStrlcpy(char* d, const char* s, std::size_t size);
OMBRA_API char* OBStrcat(char* d, const char* s);
OMBRA_API char* OBStrncat(char* d, const char* s, std::size_t n);
OMBRA_API char* OBStrlcat(char* d, const char* s, std::size_t size);
OMBRA_API int OBStrcmp(const char* a, const char* b);
OMBRA_API bool OBStrequal(const char* a, const char* b);
OMBRA_API int OBStrncmp(const char* a, const char* b, std::size_t n);
OMBRA_API int OBStrcasecmp(const char* a, const char* b);
OMBRA_API int OBStrncasecmp(const char* a, const char* b, std::size_t n);
OMBRA_API char* OBStrchr(const char* s, int c);
OMBRA_API char* OBStrrchr(const char* s, int c);
OMBRA_API char* OBStrstr(const char* haystack, const char* needle);
OMBRA_API int OBSprintf(char* d, const char* format, ...) __attribute__((format(printf, 2, 3)));
/// Returns the length of what d holds afterwards, not the untruncated length.
OMBRA_API int OBSnprintf(char* d, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
/// Prints into a malloc'ed buffer that grows by 100 bytes up to 16000; the
/// caller frees *out with free(). Returns the length or -1 (and *out null).
OMBRA_API int OBAsprintf(char** out, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // extern "C"

#endif
