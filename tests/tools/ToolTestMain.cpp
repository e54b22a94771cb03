#include "Host.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // As the host does: the memory service before any other call.
    ombra_host::MemoryServiceScope memory;
    return RUN_ALL_TESTS();
}
