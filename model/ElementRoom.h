// What stored elements of each kind needed so far, so that the next one of
// the kind gets it in its own block: room for the first children of kinds
// that have children, attribute entries beyond the inline ones for kinds
// whose stores outgrew them, and room for the values most of their stores
// made. Relaxed atomics: any thread's guess will do (a value that finds no
// room goes to its pool).
#ifndef OMBRA_MODEL_ELEMENTROOM_H
#define OMBRA_MODEL_ELEMENTROOM_H

#include <atomic>

class Element;

namespace ombra_detail {

/// Deletes the owned children [first, last) of an element that borrows
/// none, with their blocks released together: the stored elements a reader
/// makes end in line, any other element through its destructor.
void EndOwnedChildren(Element* const* first, Element* const* last) noexcept;

constexpr int kRoomKinds = 256;
/// The child slots given: a list's first chunk.
constexpr unsigned char kChildSlots = 8;
/// The most entries given, however many a kind needed.
constexpr unsigned char kMostEntries = 32;

/// The most bytes of values given: a name and a few numbers.
constexpr unsigned kMostValueBytes = 256;
/// How far one element moves its kind's room for values: a value's size.
constexpr unsigned kValueStep = 8;

struct KindRoom {
    std::atomic<unsigned char> childSlots;
    // Attribute entries: what most stores of the kind needed so far, and
    // what the kind's latest store needed when it filled or outgrew its own.
    std::atomic<unsigned char> entries;
    std::atomic<unsigned char> latestEntries;
    // Room for values: what most elements of the kind wanted so far, and
    // what the kind's latest store wants.
    std::atomic<unsigned short> valueBytes;
    std::atomic<unsigned short> latestBytes;
    std::atomic<bool> valuesSeen;
};
extern KindRoom gKindRoom[kRoomKinds];

inline void NoteChildren(int kind) {
    if (kind < 0 || kind >= kRoomKinds) return;
    std::atomic<unsigned char>& slots = gKindRoom[kind].childSlots;
    if (!slots.load(std::memory_order_relaxed)) slots.store(kChildSlots, std::memory_order_relaxed);
}

/// A store of the kind (in range or not) filled or outgrew its entries: it
/// holds `entries` now.
inline void NoteEntries(int kind, int entries) {
    if (kind < 0 || kind >= kRoomKinds) return;
    if (entries > kMostEntries) entries = kMostEntries;
    gKindRoom[kind].latestEntries.store(static_cast<unsigned char>(entries),
                                        std::memory_order_relaxed);
}

/// The entries the next element of the kind gets (none beyond the inline
/// ones up to their number). As for values, the room follows the median of
/// what the kind's stores needed, an entry per element: a style that sets
/// forty attributes does not give every run after it room for forty. The
/// first store to need more than the inline ones sets it at once. In line
/// in every kind's maker: a call cost as much as its common case.
__attribute__((always_inline)) inline unsigned NextEntries(KindRoom& room, unsigned inlineEntries) {
    const unsigned latest = room.latestEntries.load(std::memory_order_relaxed);
    unsigned entries = room.entries.load(std::memory_order_relaxed);
    if (latest) {
        room.latestEntries.store(0, std::memory_order_relaxed);
        if (latest == entries) return entries;
    } else if (entries <= inlineEntries) {
        return entries;
    }
    if (latest < entries)
        --entries; // entries left over (none noted), or another thread's store
    else
        entries = entries <= inlineEntries ? latest : entries + 1;
    room.entries.store(static_cast<unsigned char>(entries), std::memory_order_relaxed);
    return entries;
}

/// The kind's latest store outgrew its room: it wants `bytes` of values so far.
inline void NoteValueBytes(int kind, unsigned bytes) {
    if (kind < 0 || kind >= kRoomKinds || bytes > kMostValueBytes) return;
    gKindRoom[kind].latestBytes.store(static_cast<unsigned short>(bytes),
                                      std::memory_order_relaxed);
}

/// A store of the kind (in range) filled its room: `bytes`.
inline void NoteRoomFilled(int kind, unsigned bytes) {
    gKindRoom[kind].latestBytes.store(static_cast<unsigned short>(bytes),
                                      std::memory_order_relaxed);
}

/// The room for values the next element of the kind gets. Elements of a
/// kind vary (runs with no values or many): the room follows the median of
/// what the kind's elements wanted, a value's size per element, so that
/// the few large ones do not make all the others pay for their room. The
/// first store to want any sets it at once. In line, as NextEntries.
__attribute__((always_inline)) inline unsigned NextValueBytes(KindRoom& room) {
    const unsigned latest = room.latestBytes.load(std::memory_order_relaxed);
    unsigned bytes = room.valueBytes.load(std::memory_order_relaxed);
    if (latest) {
        room.latestBytes.store(0, std::memory_order_relaxed);
        if (latest == bytes) return bytes;
    } else if (!bytes) {
        return 0;
    }
    if (latest < bytes) { // room left over (none noted), or another thread's store
        bytes -= kValueStep;
    } else if (!room.valuesSeen.load(std::memory_order_relaxed)) {
        room.valuesSeen.store(true, std::memory_order_relaxed);
        bytes = latest;
    } else {
        bytes += kValueStep;
    }
    room.valueBytes.store(static_cast<unsigned short>(bytes), std::memory_order_relaxed);
    return bytes;
}

} // namespace ombra_detail

#endif
