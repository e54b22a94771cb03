// Library-internal access to the value pool registry.
#ifndef OMBRA_MODEL_VALUES_POOLREGISTRY_H
#define OMBRA_MODEL_VALUES_POOLREGISTRY_H

#include <cstddef>

namespace ombra_detail {
/// A block from the installed memory service that remembers the service:
/// ReleaseToOwner gives it back to that service whichever is installed
/// then. Null without a service or memory.
void* AllocateFromService(std::size_t size) noexcept;
void ReleaseToOwner(void* block) noexcept;
/// Destroys every registered pool, returning its chunks to the memory
/// service, and clears every slot; later lookups create the pools anew.
void ClearValuePools();
/// Gives the calling thread's cached blocks back to their pools; the thread
/// may go on allocating.
void EmptyThreadValueCache();
} // namespace ombra_detail

#endif
