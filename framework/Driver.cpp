#include <ombra/driver.h>

OBDriverData::~OBDriverData() = default;

OBDriver::OBDriver() noexcept
    : importMethod_(kImportMethodDefault), parentChunkId_(kOBNoID), chunkCount_(0),
      relationshipCount_(0), data_(nullptr) {}

OBDriver::OBDriver(const OBDriver& other) noexcept
    : importMethod_(other.importMethod_), parentChunkId_(other.parentChunkId_),
      chunkCount_(other.chunkCount_), chunkStack_(other.chunkStack_),
      auxiliaryStack_(other.auxiliaryStack_), relationshipCount_(other.relationshipCount_),
      relationshipStack_(other.relationshipStack_), data_(nullptr) {}

OBDriver& OBDriver::operator=(const OBDriver& other) noexcept {
    if (this == &other) return *this;
    importMethod_ = other.importMethod_;
    parentChunkId_ = other.parentChunkId_;
    chunkCount_ = other.chunkCount_;
    chunkStack_ = other.chunkStack_;
    auxiliaryStack_ = other.auxiliaryStack_;
    relationshipCount_ = other.relationshipCount_;
    relationshipStack_ = other.relationshipStack_;
    return *this;
}

OBDriver::~OBDriver() {
    delete data_;
}

void OBDriver::SetDriverData(OBDriverData* data) noexcept {
    if (data == data_) return;
    delete data_;
    data_ = data;
}

void OBDriver::Init(ImportMethod method) {
    parentChunkId_ = kOBNoID;
    chunkCount_ = 0;
    relationshipCount_ = 0;
    SetImportMethod(method);
}

void OBDriver::Reset() {
    parentChunkId_ = kOBNoID;
    chunkCount_ = 0;
    relationshipCount_ = 0;
}

ChunkEnum::ChunkStatusEnum OBDriver::TobeKept(unsigned int id,
                                              RelationEnum::RelationshipStatusEnum& status) {
    const int depth = ElementUtil::GetChunkStatus();
    const int relationshipDepth = ElementUtil::GetRelationshipStatus();
    const int previous = chunkCount_;
    ChunkEnum::ChunkStatusEnum result = ChunkEnum::kChunkSameOrDeeper;

    if (depth > previous) {
        parentChunkId_ = chunkStack_.top(); // kOBNoID when empty
        chunkStack_.push(id);
        result = ChunkEnum::kChunkSameOrDeeper;
    } else if (depth < previous) {
        // Widened: the two depths may be far apart.
        for (long long n = static_cast<long long>(previous) - depth; n > 0 && !chunkStack_.empty();
             --n)
            chunkStack_.pop();
        parentChunkId_ = chunkStack_.top();
        result = ChunkEnum::kChunkShallower;
    } else {
        const long long size = chunkStack_.size();
        if (size == 0) {
            parentChunkId_ = kOBNoID;
        } else {
            parentChunkId_ = size >= 2 ? chunkStack_.at(size - 2) : chunkStack_.top();
            // The latest chunk of a level takes the top, which keeps its depth.
            // The push after a pop never needs to grow the stack.
            chunkStack_.pop();
            chunkStack_.push(id);
        }
        result = ChunkEnum::kChunkSameOrDeeper;
    }

    if (relationshipCount_ > 0) {
        relationshipStack_.push(id);
        result = ChunkEnum::kChunkSameOrDeeper;
        status = RelationEnum::kInRelationship;
    }

    chunkCount_ = depth;
    relationshipCount_ = relationshipDepth;
    if (relationshipDepth == 0) status = RelationEnum::kOutsideRelationship;
    return result;
}

unsigned int OBDriver::GetChunkStackTop() {
    return chunkStack_.top();
}

unsigned int OBDriver::RelationShipStackPop() {
    return relationshipStack_.pop();
}

int OBDriver::GetChunkCount() {
    return chunkCount_;
}

void OBDriver::SetChunkCount(int count) {
    chunkCount_ = count;
}

int OBDriver::GetRelationshipCount() {
    return relationshipCount_;
}

void OBDriver::SetRelationshipCount(int count) {
    relationshipCount_ = count;
}

void OBDriver::SetImportMethod(ImportMethod method) {
    importMethod_ = method;
}

ImportMethod OBDriver::GetImportMethod() {
    return importMethod_;
}
