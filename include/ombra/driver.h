// The import driver: follows how a reader's output nests, from the chunk and
// relationship levels that the reader keeps with ElementUtil.
#ifndef OMBRA_DRIVER_H
#define OMBRA_DRIVER_H

#include <ombra/elements.h>
#include <ombra/identifiers.h>

namespace ChunkEnum {
/// What TobeKept saw of the chunk depth.
enum ChunkStatusEnum : int {
    kChunkSameOrDeeper = 1, ///< the depth rose or stayed the same
    kChunkShallower = 2,    ///< the depth fell
};
} // namespace ChunkEnum

namespace RelationEnum {
/// What TobeKept saw of the relationship depth.
enum RelationshipStatusEnum : int {
    kInRelationship = 1,      ///< the depth at the previous call was above 0
    kOutsideRelationship = 2, ///< the depth is now 0
};
} // namespace RelationEnum

/// How a reader imports; the plug-ins define the values. 0 is a new
/// driver's method.
enum ImportMethod : int {
    kImportMethodDefault = 0,
};

/// Data that a derived driver hangs on its base: the driver deletes it.
class OMBRA_API OBDriverData {
public:
    OB_MEMORY_OPERATORS
    virtual ~OBDriverData();
};

/// Reader-side state for nesting. A reader raises and lowers the calling
/// thread's chunk and relationship levels (ElementUtil::BeginChunk, …) and
/// asks TobeKept about each new chunk id: the driver works out the chunk's
/// parent and whether the depth rose or fell, and collects the ids produced
/// inside relationships. The core never creates a driver; readers embed or
/// derive from it, and use it on the thread that produces their Elements.
class OMBRA_API OBDriver {
public:
    OB_MEMORY_OPERATORS

    /// Import method 0, no parent, both counts 0, empty stacks.
    OBDriver() noexcept;
    /// Copies every field and both stacks; the copy starts without data
    /// (OBDriverData has one owner).
    OBDriver(const OBDriver& other) noexcept;
    /// As the copy constructor; the driver keeps its own data.
    OBDriver& operator=(const OBDriver& other) noexcept;
    /// Deletes the driver data.
    virtual ~OBDriver();

    /// No parent, counts 0, then SetImportMethod(method). The stacks stay.
    virtual void Init(ImportMethod method);
    /// No parent, counts 0. The stacks stay.
    virtual void Reset();
    /// The first Element of a driven import; the core never calls it.
    virtual Element* GetFirstElement() = 0;
    /// The next Element of a driven import, null at the end; the core never
    /// calls it.
    virtual Element* GetNextElement() = 0;
    /// Decides where chunk `id` belongs, from the thread's chunk depth D and
    /// relationship depth Q against the depths P and R of the previous call:
    /// - D > P: the parent is the chunk stack's top (kOBNoID when empty) and
    ///   `id` is pushed; the result is kChunkSameOrDeeper;
    /// - D < P: P - D pops, then the parent is the top (or kOBNoID); `id` is
    ///   not pushed; the result is kChunkShallower;
    /// - D = P: the parent is the id below the top, or the top when it is the
    ///   only entry (kOBNoID on an empty stack); `id` replaces the top, so a
    ///   deeper chunk that follows names this one, its latest sibling, as its
    ///   parent; the result is kChunkSameOrDeeper.
    /// When R > 0, `id` also goes onto the relationship stack, the result is
    /// kChunkSameOrDeeper and `status` kInRelationship. D and Q become the new
    /// counts. When Q is 0, `status` becomes kOutsideRelationship; when R is 0
    /// and Q is not, `status` is left as it was.
    virtual ChunkEnum::ChunkStatusEnum TobeKept(unsigned int id,
                                                RelationEnum::RelationshipStatusEnum& status);
    /// The chunk stack's top, or kOBNoID.
    virtual unsigned int GetChunkStackTop();
    /// Pops the relationship stack; kOBNoID when it is empty.
    virtual unsigned int RelationShipStackPop();
    virtual int GetChunkCount();
    virtual void SetChunkCount(int count);
    virtual int GetRelationshipCount();
    virtual void SetRelationshipCount(int count);
    virtual void SetImportMethod(ImportMethod method);
    virtual ImportMethod GetImportMethod();

    /// The parent that the last TobeKept worked out (kOBNoID: none).
    unsigned int GetParentChunkId() const noexcept { return parentChunkId_; }

protected:
    /// The derived driver's data; the driver deletes what it replaces.
    OBDriverData* GetDriverData() const noexcept { return data_; }
    void SetDriverData(OBDriverData* data) noexcept;

    ImportMethod importMethod_;
    unsigned int parentChunkId_;
    int chunkCount_;
    OBIDStack chunkStack_;
    /// A second stack for derived drivers; the base only copies it.
    OBIDStack auxiliaryStack_;
    int relationshipCount_;
    OBIDStack relationshipStack_;

private:
    OBDriverData* data_;
};

#endif
