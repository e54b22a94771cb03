// What stored elements of each kind needed so far, so that the next one of
// the kind gets it in its own block: room for the first children of kinds
// that have children, attribute entries beyond the inline ones for kinds
// whose stores outgrew them, and room for the values their stores made.
// Relaxed atomics: any thread's guess will do.
#ifndef OMBRA_MODEL_ELEMENTROOM_H
#define OMBRA_MODEL_ELEMENTROOM_H

#include <atomic>

namespace ombra_detail {

constexpr int kRoomKinds = 256;
/// The child slots given: a list's first chunk.
constexpr unsigned char kChildSlots = 8;
/// The most entries given, however many a kind needed.
constexpr unsigned char kMostEntries = 32;

/// The most bytes of values given: a name and a few numbers.
constexpr unsigned kMostValueBytes = 256;

struct KindRoom {
    std::atomic<unsigned char> childSlots;
    std::atomic<unsigned char> entries;
    std::atomic<unsigned short> valueBytes;
};
extern KindRoom gKindRoom[kRoomKinds];

inline void NoteChildren(int kind) {
    if (kind < 0 || kind >= kRoomKinds) return;
    std::atomic<unsigned char>& slots = gKindRoom[kind].childSlots;
    if (!slots.load(std::memory_order_relaxed)) slots.store(kChildSlots, std::memory_order_relaxed);
}

/// A store of the kind grew to `entries`.
inline void NoteEntries(int kind, int entries) {
    if (kind < 0 || kind >= kRoomKinds) return;
    if (entries > kMostEntries) entries = kMostEntries;
    std::atomic<unsigned char>& room = gKindRoom[kind].entries;
    if (room.load(std::memory_order_relaxed) < entries)
        room.store(static_cast<unsigned char>(entries), std::memory_order_relaxed);
}

/// A store of the kind wanted `bytes` of values in its element's block.
inline void NoteValueBytes(int kind, unsigned bytes) {
    if (kind < 0 || kind >= kRoomKinds || bytes > kMostValueBytes) return;
    std::atomic<unsigned short>& room = gKindRoom[kind].valueBytes;
    if (room.load(std::memory_order_relaxed) < bytes)
        room.store(static_cast<unsigned short>(bytes), std::memory_order_relaxed);
}

} // namespace ombra_detail

#endif
