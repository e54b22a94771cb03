// OBDriver: how a reader's chunk and relationship depths become parents and
// statuses.
#include <ombra/driver.h>

#include "support/ConversionState.h"

#include <gtest/gtest.h>

namespace {

using ombra_test::ConversionState;

// The smallest reader-side driver: the import operations are the reader's.
class TestDriver : public OBDriver {
public:
    Element* GetFirstElement() override { return nullptr; }
    Element* GetNextElement() override { return nullptr; }
    void SetImportMethod(ImportMethod method) override {
        ++methodCalls;
        OBDriver::SetImportMethod(method);
    }
    using OBDriver::GetDriverData;
    using OBDriver::SetDriverData;
    int methodCalls = 0;
};

class Data : public OBDriverData {
public:
    explicit Data(int* deaths) : deaths_(deaths) {}
    ~Data() override { ++*deaths_; }

private:
    int* deaths_;
};

// Sets the thread's chunk depth, as a reader does with Begin/EndChunk.
void ChunkDepth(int depth) {
    while (ElementUtil::GetChunkStatus() < depth) ElementUtil::BeginChunk();
    while (ElementUtil::GetChunkStatus() > depth) ElementUtil::EndChunk();
}

void RelationshipDepth(int depth) {
    while (ElementUtil::GetRelationshipStatus() < depth) ElementUtil::BeginRelationship();
    while (ElementUtil::GetRelationshipStatus() > depth) ElementUtil::EndRelationship();
}

constexpr auto kUnset = static_cast<RelationEnum::RelationshipStatusEnum>(0);

TEST(Driver, DeeperAndShallowerChunks) {
    ConversionState state;
    TestDriver driver;
    auto status = kUnset;

    ChunkDepth(1);
    EXPECT_EQ(driver.TobeKept(10, status), ChunkEnum::kChunkSameOrDeeper);
    EXPECT_EQ(driver.GetParentChunkId(), kOBNoID);
    EXPECT_EQ(driver.GetChunkStackTop(), 10u);
    EXPECT_EQ(status, RelationEnum::kOutsideRelationship);

    ChunkDepth(2);
    driver.TobeKept(20, status);
    EXPECT_EQ(driver.GetParentChunkId(), 10u);

    ChunkDepth(0);
    EXPECT_EQ(driver.TobeKept(30, status), ChunkEnum::kChunkShallower);
    EXPECT_EQ(driver.GetParentChunkId(), kOBNoID); // two pops empty the stack
    EXPECT_EQ(driver.GetChunkStackTop(), kOBNoID); // 30 is not pushed

    // Several levels at once: one push on the way down, the difference on the way up.
    ChunkDepth(3);
    driver.TobeKept(40, status);
    ChunkDepth(4);
    driver.TobeKept(41, status);
    ChunkDepth(5);
    driver.TobeKept(42, status);
    ChunkDepth(3);
    EXPECT_EQ(driver.TobeKept(43, status), ChunkEnum::kChunkShallower);
    EXPECT_EQ(driver.GetParentChunkId(), 40u); // two pops leave the first
    ChunkDepth(4);
    driver.TobeKept(44, status);
    ChunkDepth(5);
    driver.TobeKept(45, status);
    EXPECT_EQ(driver.GetParentChunkId(), 44u);
    ChunkDepth(4);
    EXPECT_EQ(driver.TobeKept(46, status), ChunkEnum::kChunkShallower);
    EXPECT_EQ(driver.GetParentChunkId(), 44u);
}

TEST(Driver, SiblingsAtOneLevel) {
    ConversionState state;
    TestDriver driver;
    auto status = kUnset;

    ChunkDepth(0);
    EXPECT_EQ(driver.TobeKept(1, status), ChunkEnum::kChunkSameOrDeeper);
    EXPECT_EQ(driver.GetParentChunkId(), kOBNoID); // empty stack

    ChunkDepth(1);
    driver.TobeKept(10, status);
    EXPECT_EQ(driver.TobeKept(11, status), ChunkEnum::kChunkSameOrDeeper);
    EXPECT_EQ(driver.GetParentChunkId(), 10u); // the only entry is the parent
    EXPECT_EQ(driver.GetChunkStackTop(), 11u); // the latest sibling takes the top

    ChunkDepth(2);
    driver.TobeKept(20, status);
    EXPECT_EQ(driver.GetParentChunkId(), 11u);
    EXPECT_EQ(driver.TobeKept(21, status), ChunkEnum::kChunkSameOrDeeper);
    EXPECT_EQ(driver.GetParentChunkId(), 11u); // the id below the top
    ChunkDepth(3);
    driver.TobeKept(30, status);
    EXPECT_EQ(driver.GetParentChunkId(), 21u); // under the latest sibling
}

TEST(Driver, RelationshipsCollectTheirIds) {
    ConversionState state;
    TestDriver driver;
    auto status = kUnset;

    ChunkDepth(1);
    RelationshipDepth(1);
    driver.TobeKept(5, status); // previous depth 0, now 1: status untouched
    EXPECT_EQ(status, kUnset);
    EXPECT_EQ(driver.GetRelationshipCount(), 1);

    ChunkDepth(2);
    driver.TobeKept(6, status); // still inside
    EXPECT_EQ(status, RelationEnum::kInRelationship);

    RelationshipDepth(0);
    ChunkDepth(0);
    status = kUnset;
    // Shallower, but the previous relationship depth was 1.
    EXPECT_EQ(driver.TobeKept(7, status), ChunkEnum::kChunkSameOrDeeper);
    EXPECT_EQ(status, RelationEnum::kOutsideRelationship);
    EXPECT_EQ(driver.GetRelationshipCount(), 0);

    EXPECT_EQ(driver.RelationShipStackPop(), 7u);
    EXPECT_EQ(driver.RelationShipStackPop(), 6u);
    EXPECT_EQ(driver.RelationShipStackPop(), kOBNoID);

    driver.TobeKept(8, status); // outside: nothing collected
    EXPECT_EQ(driver.RelationShipStackPop(), kOBNoID);
}

TEST(Driver, InitAndResetClearCountsButKeepStacks) {
    ConversionState state;
    TestDriver driver;
    auto status = kUnset;
    ChunkDepth(2);
    driver.TobeKept(1, status);
    driver.SetRelationshipCount(3);
    driver.TobeKept(2, status);
    EXPECT_EQ(driver.GetParentChunkId(), 1u);

    driver.Init(static_cast<ImportMethod>(7));
    EXPECT_EQ(driver.methodCalls, 1); // through the virtual setter
    EXPECT_EQ(driver.GetImportMethod(), 7);
    EXPECT_EQ(driver.GetRelationshipCount(), 0);
    EXPECT_EQ(driver.GetParentChunkId(), kOBNoID);
    EXPECT_EQ(driver.GetChunkStackTop(), 2u);

    driver.SetChunkCount(5);
    driver.Reset();
    EXPECT_EQ(driver.GetChunkCount(), 0);
    EXPECT_EQ(driver.RelationShipStackPop(), 2u);
}

TEST(Driver, CopiesAndOwnedData) {
    ConversionState state;
    int deaths = 0;
    {
        TestDriver driver;
        auto status = kUnset;
        ChunkDepth(1);
        driver.TobeKept(9, status);
        driver.SetDriverData(new Data(&deaths));
        driver.SetDriverData(new Data(&deaths)); // the replaced one goes
        EXPECT_EQ(deaths, 1);

        TestDriver copy(driver);
        EXPECT_EQ(copy.GetChunkStackTop(), 9u);
        EXPECT_EQ(copy.GetDriverData(), nullptr); // one owner
    }
    EXPECT_EQ(deaths, 2);
}

} // namespace
