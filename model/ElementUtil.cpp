#include <ombra/elements.h>
#include <ombra/identifiers.h>
#include <ombra/memory.h>

#include <boost/thread/tss.hpp>

#include <new>

namespace {

void ReleaseLevel(unsigned int* level) {
    OBLibFree(level);
}

// The calling thread's chunk and relationship levels and referral stack,
// created by ElementUtil::Init and destroyed by ElementUtil::Reset.
boost::thread_specific_ptr<unsigned int>& ChunkLevel() {
    static boost::thread_specific_ptr<unsigned int> level(ReleaseLevel);
    return level;
}

boost::thread_specific_ptr<unsigned int>& RelationshipLevel() {
    static boost::thread_specific_ptr<unsigned int> level(ReleaseLevel);
    return level;
}

boost::thread_specific_ptr<OBIDStack>& Referrals() {
    static boost::thread_specific_ptr<OBIDStack> stack;
    return stack;
}

bool MakeLevel(boost::thread_specific_ptr<unsigned int>& slot) {
    if (slot.get()) return true;
    unsigned int* level = static_cast<unsigned int*>(OBLibAllocate(sizeof(unsigned int)));
    if (!level) return false;
    *level = 0;
    try { // the slot's own bookkeeping may find no memory: the level is ours then
        slot.reset(level);
    } catch (const std::bad_alloc&) {
        OBLibFree(level);
        throw;
    }
    return true;
}

} // namespace

short ElementUtil::Init() {
    bool ok = MakeLevel(ChunkLevel());
    ok = MakeLevel(RelationshipLevel()) && ok;
    boost::thread_specific_ptr<OBIDStack>& referrals = Referrals();
    if (!referrals.get()) {
        OBIDStack* stack = new OBIDStack; // chunk size 8
        try {
            if (stack) referrals.reset(stack);
        } catch (const std::bad_alloc&) {
            delete stack;
            throw;
        }
        ok = stack && ok;
    }
    return ok ? 1 : 0;
}

void ElementUtil::Reset() {
    ChunkLevel().reset();
    RelationshipLevel().reset();
    Referrals().reset();
}

void ElementUtil::BeginChunk() {
    if (unsigned int* level = ChunkLevel().get()) ++*level;
}

void ElementUtil::EndChunk() {
    if (unsigned int* level = ChunkLevel().get()) --*level;
}

int ElementUtil::GetChunkStatus() {
    unsigned int* level = ChunkLevel().get();
    return level ? static_cast<int>(*level) : 0;
}

void ElementUtil::BeginRelationship() {
    if (unsigned int* level = RelationshipLevel().get()) ++*level;
}

void ElementUtil::EndRelationship() {
    if (unsigned int* level = RelationshipLevel().get()) --*level;
}

int ElementUtil::GetRelationshipStatus() {
    unsigned int* level = RelationshipLevel().get();
    return level ? static_cast<int>(*level) : 0;
}

void ElementUtil::MakeReferralElement(unsigned int id) {
    if (OBIDStack* stack = Referrals().get()) stack->push(id);
}

short ElementUtil::isReferral(unsigned int id) {
    OBIDStack* stack = Referrals().get();
    return stack ? stack->isPresent(id) : 0;
}
