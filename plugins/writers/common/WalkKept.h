// The body of a view that keeps what its source gives: the first call of a
// getter asks the source (a chain of resolvers, a lookup at each level) and
// later calls return the same value at once; indexed getters ask the source
// every time. No include guard: define OB_RESOLVE_BASE (the view's kind)
// and OB_WALK_KEPT (the class), include, and both are undefined again.
#define OB_WALK_VIEW_(Kind) OBM##Kind
#define OB_WALK_VIEW(Kind) OB_WALK_VIEW_(Kind)

class OB_WALK_KEPT : public OB_WALK_VIEW(OB_RESOLVE_BASE) {
public:
    using View = OB_WALK_VIEW(OB_RESOLVE_BASE);
    OB_MEMORY_OPERATORS
    explicit OB_WALK_KEPT(View* source) noexcept : source_(source) {}

#define OB_RESOLVE_ROW(Getter, Params, Args)                                                       \
    Value* Getter Params override {                                                                \
        if (obwalk::IsIndexed Args) return source_->Getter Args;                                   \
        return Kept(k##Getter, [&] { return source_->Getter Args; });                              \
    }
#include <ombra/detail/ResolverRows.h>
#undef OB_RESOLVE_ROW

private:
#define OB_RESOLVE_ROW(Getter, Params, Args) k##Getter,
    enum : int {
#include <ombra/detail/ResolverRows.h>
        kSlots
    };
#undef OB_RESOLVE_ROW
    template <class Ask> Value* Kept(int slot, Ask ask) {
        unsigned long long bit = 1ULL << (slot & 63);
        if (known_[slot >> 6] & bit) return values_[slot];
        values_[slot] = ask();
        known_[slot >> 6] |= bit;
        return values_[slot];
    }
    View* source_;
    Value* values_[kSlots] = {};
    unsigned long long known_[(kSlots + 63) / 64] = {};
};

#undef OB_WALK_VIEW
#undef OB_WALK_VIEW_
#undef OB_WALK_KEPT
#undef OB_RESOLVE_BASE
