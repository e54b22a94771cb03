#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace ombra_test {

AllocationStats& Stats() {
    static AllocationStats stats;
    return stats;
}

namespace {
std::atomic<long long> gAllocationIndex{0};

void* TestAllocate(unsigned long long size) {
    AllocationStats& s = Stats();
    long long index = gAllocationIndex++;
    long long fail = s.failAfter.load();
    if (fail >= 0 && index >= fail) {
        s.refused++;
        return nullptr;
    }
    s.allocations++;
    s.bytes += static_cast<long long>(size);
    s.lastSize = size;
    if (size >= AllocationStats::kLargeAllocation) s.large++;
    return std::malloc(size ? size : 1);
}

void TestRelease(void* block) {
    Stats().releases++;
    std::free(block);
}
} // namespace

OBMemoryService* TestService() {
    static OBMemoryService* service =
        new OBMemoryService(TestAllocate, TestRelease, TestAllocate, TestRelease);
    return service;
}

FailAllocationsAfter::FailAllocationsAfter(long long n) {
    gAllocationIndex = 0;
    Stats().failAfter = n;
}
FailAllocationsAfter::~FailAllocationsAfter() {
    Stats().failAfter = -1;
}

WithoutMemoryService::WithoutMemoryService() : saved_(OBMemoryHandler::GetMemoryService()) {
    OBMemoryHandler::SetMemoryService(nullptr);
}
WithoutMemoryService::~WithoutMemoryService() {
    OBMemoryHandler::SetMemoryService(saved_);
}

long long SweepAllocationFailures(const std::function<bool()>& operation, long long exhaustive) {
    for (long long n = 0;; n = n < exhaustive ? n + 1 : n + n / 20) {
        SCOPED_TRACE("allocations refused from number " + std::to_string(n + 1) + " on");
        long long refusedBefore = Stats().refused;
        bool succeeded;
        {
            FailAllocationsAfter failing(n);
            succeeded = operation();
        }
        if (::testing::Test::HasFailure()) return -1;
        if (Stats().refused == refusedBefore) {
            EXPECT_TRUE(succeeded) << "fails although no allocation was refused";
            return n;
        }
    }
}

} // namespace ombra_test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // As a host does: the memory service comes before any other call.
    OBMemoryHandler::SetMemoryService(ombra_test::TestService());
    return RUN_ALL_TESTS();
}
