// Helpers shared by the core suites: memory services for tests, including
// one that fails on demand.
#ifndef OMBRA_TESTS_SUPPORT_H
#define OMBRA_TESTS_SUPPORT_H

#include <ombra/memory.h>

#include <atomic>
#include <cstddef>
#include <functional>

namespace ombra_test {

/// Counts what goes through the test memory service and fails allocations
/// on demand. Process-wide, like the service itself.
struct AllocationStats {
    std::atomic<long long> allocations{0};
    std::atomic<long long> releases{0};
    std::atomic<long long> bytes{0};
    std::atomic<unsigned long long> lastSize{0};
    /// Allocations of kLargeAllocation bytes or more: few, when big blocks
    /// grow geometrically.
    std::atomic<long long> large{0};
    static constexpr unsigned long long kLargeAllocation = 64 * 1024;
    /// When >= 0, the allocation with this index (counted from now) and all
    /// later ones fail until failAfter is set back to -1.
    std::atomic<long long> failAfter{-1};
    /// Allocations refused so far.
    std::atomic<long long> refused{0};
};
AllocationStats& Stats();

/// The service installed for the whole test run (malloc/free based).
OBMemoryService* TestService();

/// Makes every allocation from the n-th one on (0 = the next) return null
/// for the lifetime of the object.
class FailAllocationsAfter {
public:
    explicit FailAllocationsAfter(long long n);
    ~FailAllocationsAfter();
};

/// Uninstalls the memory service for the lifetime of the object.
class WithoutMemoryService {
public:
    WithoutMemoryService();
    ~WithoutMemoryService();

private:
    OBMemoryService* saved_;
};

/// The allocation-failure sweep. Runs `operation` with the memory service
/// refusing every allocation from the 1st on, then from the 2nd on, and so
/// on, until a run completes without a refusal; each run must leave things
/// in order, which the operation checks itself (a failure result or state,
/// nothing half-built reachable; the sanitizer build finds leaks). The
/// operation returns whether it succeeded; the last run, which got all the
/// memory it asked for, must succeed. Every refusal point is tried up to
/// `exhaustive`, then points further apart by 5% each. Returns the number of
/// allocations the operation needs, or -1 after a failure. The checks run
/// under the refusal too: read results back without allocating.
long long SweepAllocationFailures(const std::function<bool()>& operation,
                                  long long exhaustive = 400);

} // namespace ombra_test

#endif
