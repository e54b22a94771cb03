// OBDriver: how a reader's chunk and relationship depths become parents and
// statuses.
#include <ombra/driver.h>

#include "support/ConversionState.h"

#include <gtest/gtest.h>

#include <vector>

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
    while (ElementUtil::GetChunkStatus() < depth)
        ElementUtil::BeginChunk();
    while (ElementUtil::GetChunkStatus() > depth)
        ElementUtil::EndChunk();
}

void RelationshipDepth(int depth) {
    while (ElementUtil::GetRelationshipStatus() < depth)
        ElementUtil::BeginRelationship();
    while (ElementUtil::GetRelationshipStatus() > depth)
        ElementUtil::EndRelationship();
}

constexpr auto kUnset = static_cast<RelationEnum::RelationshipStatusEnum>(0);

// One reader step: the thread's chunk depth when the id comes, and what
// TobeKept makes of it.
struct Step {
    int depth;
    unsigned id;
    ChunkEnum::ChunkStatusEnum result;
    unsigned parent, top;
};

void ExpectSteps(const std::vector<Step>& steps) {
    ConversionState state;
    TestDriver driver;
    auto status = kUnset;
    for (const Step& step : steps) {
        ChunkDepth(step.depth);
        EXPECT_EQ(driver.TobeKept(step.id, status), step.result) << step.id;
        EXPECT_EQ(driver.GetParentChunkId(), step.parent) << step.id;
        EXPECT_EQ(driver.GetChunkStackTop(), step.top) << step.id;
        EXPECT_EQ(status, RelationEnum::kOutsideRelationship);
    }
}

constexpr auto kDeeper = ChunkEnum::kChunkSameOrDeeper;
constexpr auto kShallower = ChunkEnum::kChunkShallower;

TEST(Driver, ChunkDepthsBecomeParents) {
    ExpectSteps({
        {1, 10, kDeeper, kOBNoID, 10},
        {2, 20, kDeeper, 10, 20},
        {0, 30, kShallower, kOBNoID, kOBNoID}, // two pops empty the stack; 30 is not pushed
        // Several levels at once: one push on the way down, the difference on the way up.
        {3, 40, kDeeper, kOBNoID, 40},
        {4, 41, kDeeper, 40, 41},
        {5, 42, kDeeper, 41, 42},
        {3, 43, kShallower, 40, 40}, // two pops leave the first
        {4, 44, kDeeper, 40, 44},
        {5, 45, kDeeper, 44, 45},
        {4, 46, kShallower, 44, 44},
    });
    // Siblings: the latest of a level takes the top, its parent is the id below.
    ExpectSteps({
        {0, 1, kDeeper, kOBNoID, kOBNoID},
        {1, 10, kDeeper, kOBNoID, 10},
        {1, 11, kDeeper, 10, 11}, // the only entry is the parent
        {2, 20, kDeeper, 11, 20},
        {2, 21, kDeeper, 11, 21},
        {3, 30, kDeeper, 21, 30}, // under the latest sibling
    });
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
