#include <ombra/memory.h>

#include "model/ElementSlab.h"
#include "model/values/PoolRegistry.h"

namespace {
// Set once by the host before the library is used, then only read.
OBMemoryService* gMemoryService = nullptr;
} // namespace

OBMemoryService::OBMemoryService(AllocateProc allocate, DeallocateProc deallocate,
                                 AllocateProc defaultAllocate, DeallocateProc defaultDeallocate)
    : allocate_(allocate), deallocate_(deallocate), defaultAllocate_(defaultAllocate),
      defaultDeallocate_(defaultDeallocate), useDefault_(1) {}

OBMemoryService& OBMemoryService::operator=(const OBMemoryService& other) {
    allocate_ = other.allocate_;
    deallocate_ = other.deallocate_;
    defaultAllocate_ = other.defaultAllocate_;
    defaultDeallocate_ = other.defaultDeallocate_;
    useDefault_ = other.useDefault_;
    return *this;
}

OBMemoryService::~OBMemoryService() {
    // Every pool chunk goes back to the service it came from, this one
    // among them, while their functions can still be called.
    ombra_detail::ClearValuePools();
    ombra_detail::ReleaseCachedSlabs();
    if (gMemoryService == this) gMemoryService = nullptr;
}

void* OBMemoryService::Allocate(unsigned long long size) {
    AllocateProc proc = useDefault_ ? defaultAllocate_ : allocate_;
    return proc ? proc(size) : nullptr;
}

void OBMemoryService::DeAllocate(void* block) {
    DeallocateProc proc = useDefault_ ? defaultDeallocate_ : deallocate_;
    if (proc && block) proc(block);
}

void OBMemoryService::SetDefault(short useDefault) {
    useDefault_ = useDefault;
}

short OBMemoryService::GetDefault() {
    return useDefault_;
}

void OBMemoryHandler::SetMemoryService(OBMemoryService* service) {
    gMemoryService = service;
}

OBMemoryService* OBMemoryHandler::GetMemoryService() {
    return gMemoryService;
}

extern "C" void* OBLibAllocate(std::size_t size) noexcept {
    OBMemoryService* service = gMemoryService;
    return service ? service->Allocate(size) : nullptr;
}

extern "C" void OBLibFree(void* block) noexcept {
    if (!block) return;
    if (OBMemoryService* service = gMemoryService) service->DeAllocate(block);
}

namespace ombra_detail {

namespace {
// The owner sits in front of the block; 16 bytes keep the block aligned as
// the service's own blocks are.
constexpr std::size_t kOwnerHeader = 16;
} // namespace

void* AllocateFromService(std::size_t size) noexcept {
    OBMemoryService* service = gMemoryService;
    if (!service || size > static_cast<std::size_t>(-1) - kOwnerHeader) return nullptr;
    void* block = service->Allocate(size + kOwnerHeader);
    if (!block) return nullptr;
    *static_cast<OBMemoryService**>(block) = service;
    return static_cast<char*>(block) + kOwnerHeader;
}

void ReleaseToOwner(void* block) noexcept {
    if (!block) return;
    char* start = static_cast<char*>(block) - kOwnerHeader;
    (*reinterpret_cast<OBMemoryService**>(start))->DeAllocate(start);
}

} // namespace ombra_detail
