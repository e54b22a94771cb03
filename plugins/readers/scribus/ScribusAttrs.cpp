// Attribute names to ids, the attributes of one element, and warnings.
#include "ScribusInternal.h"
#include "ScribusNameWords.h"

#include <algorithm>
#include <cstring>

namespace scribus {
namespace detail {

namespace {

const char* const kAttrNames[] = {
#define SCRIBUS_ATTRIBUTE(id, text) text,
#include "ScribusAttributes.def"
};

const char* const kElementNames[] = {
#define SCRIBUS_ELEMENT(id, text) text,
#include "ScribusElements.def"
};

// Open-addressing table from a name to its index in `names`, built once.
// Elements carry up to a few hundred attributes, so a look-up reads each
// name only once, a word at a time: two words (overlapping when the name is
// shorter than 16 bytes) and the length tell every name of up to 16 bytes
// apart, so the slot's key is compared without going back to the text;
// longer names are compared in full.
template <std::uint32_t kCount, std::uint32_t kBits> class NameTable {
public:
    static constexpr std::uint32_t kSize = 1u << kBits;
    static_assert(kSize > 2 * kCount, "name table too small");

    explicit NameTable(const char* const* names) : names_(names) {
        for (auto& slot : slots_)
            slot = Slot{0, kCount};
        keys_[kCount] = Key{0, 0, ~std::uint64_t{0}}; // an empty slot's: no name has it
        for (std::uint32_t id = 0; id < kCount; ++id) {
            keys_[id] = KeyOf(names[id], std::strlen(names[id]));
            const std::uint64_t hash = Hash(keys_[id]);
            std::uint32_t h = static_cast<std::uint32_t>(hash >> (64 - kBits));
            while (slots_[h].id != kCount)
                h = (h + 1) & (kSize - 1);
            slots_[h] = Slot{static_cast<std::uint32_t>(hash), id};
        }
    }

    /// The index of the name [name, name + length), or kCount. The slot's
    /// key is compared whole, an empty slot's as well (it matches none),
    /// before the slot is known to be taken: a branch less per probe.
    std::uint32_t Find(const char* name, std::size_t length) const {
        // The loop of names up to 16 bytes calls nothing, and so saves no
        // registers: most look-ups are of a name once, and short.
        if (length > 16) return FindLong(name, length);
        return Probe<false>(name, length);
    }

    /// The length of name `id` when the text at s is that name followed by
    /// '=', else 0. The text holds at least 17 more bytes after s.
    std::size_t LengthAt(std::uint32_t id, const char* s) const {
        const Key& k = keys_[id];
        const Key at = KeyOf(s, k.length);
        if (at.first != k.first || at.last != k.last || s[k.length] != '=') return 0;
        if (k.length > 16 && !SameLong(id, s, k.length)) return 0;
        return k.length;
    }

private:
    struct Key {
        std::uint64_t first, last; // the first and the last (up to) eight bytes
        std::uint64_t length;
    };
    // Slots stay small (the table is probed once per attribute of the
    // document, and should stay in the cache); the keys sit beside them.
    struct Slot {
        std::uint32_t tag; // the low half of the hash
        std::uint32_t id;
    };
    static std::uint64_t Load4(const char* s) {
        std::uint32_t v;
        std::memcpy(&v, s, sizeof v);
        return v;
    }
    // From four bytes on, four words of four bytes, without a branch on the
    // length: the first eight bytes and the last eight, or below eight
    // bytes, the first four and the last four twice.
    static Key KeyOf(const char* s, std::size_t len) {
        Key k{0, 0, len};
        if (len < 4) {
            NameWords(s, len, k.first, k.last);
            return k;
        }
        const std::size_t second = std::min<std::size_t>(4, len - 4);
        k.first = Load4(s) | Load4(s + second) << 32;
        k.last = Load4(s + (len - 4 - second)) | Load4(s + len - 4) << 32;
        return k;
    }
    static bool Same(const Key& a, const Key& b) {
        return ((a.first ^ b.first) | (a.last ^ b.last) | (a.length ^ b.length)) == 0;
    }
    // The probe loop; Probe<true> also compares the whole name, for names
    // longer than the key.
    template <bool kLong>
    __attribute__((always_inline)) std::uint32_t Probe(const char* name, std::size_t length) const {
        const Key key = KeyOf(name, length);
        const std::uint64_t hash = Hash(key);
        const std::uint32_t tag = static_cast<std::uint32_t>(hash);
        for (std::uint32_t h = static_cast<std::uint32_t>(hash >> (64 - kBits));;
             h = (h + 1) & (kSize - 1)) {
            const Slot slot = slots_[h];
            if (slot.tag == tag && Same(keys_[slot.id], key) &&
                (!kLong || SameLong(slot.id, name, length)))
                return slot.id;
            if (slot.id == kCount) return kCount;
        }
    }
    __attribute__((noinline)) std::uint32_t FindLong(const char* name, std::size_t length) const {
        return Probe<true>(name, length);
    }
    // Out of the way of LengthAt, which then saves fewer registers.
    __attribute__((noinline)) bool SameLong(std::uint32_t id, const char* s,
                                            std::size_t length) const {
        return std::memcmp(names_[id], s, length) == 0;
    }
    static std::uint64_t Hash(const Key& k) {
        return (k.first * 0x9E3779B97F4A7C15ull) ^ (k.last * 0xC2B2AE3D27D4EB4Full) ^ k.length;
    }
    const char* const* names_;
    Slot slots_[kSize];
    Key keys_[kCount + 1];
};

// Built at load time, so that the look-ups, one per attribute of the
// document, need no check whether the table exists yet.
const NameTable<kAttrCount, 10> gAttributeNames(kAttrNames);
const NameTable<kElementCount, 7> gElementNames(kElementNames);

} // namespace

// Values are read only under their stamp: they need no clearing.
Attrs::Attrs() {
    std::memset(stamp_, 0, sizeof stamp_);
}

void Attrs::Restamp() {
    std::memset(stamp_, 0, sizeof stamp_);
    current_ = 1;
}

void Attrs::Load(pugi::xml_node node) {
    Begin();
    // An attribute always has a name: an empty one is the end of the list
    // (which saves asking the handle whether it is empty, a call each).
    for (pugi::xml_attribute a = node.first_attribute();; a = a.next_attribute()) {
        const char* name = a.name();
        if (!*name) break;
        std::uint32_t id = AttrIdOf(name, std::strlen(name));
        if (id < kAttrCount) Set(static_cast<AttrId>(id), a.value());
    }
    // pugixml's texts have no padding after them: the values move into
    // copies_ (damaged documents only come this way).
    std::size_t size = kValuePadding;
    for (std::size_t i = 0; i < count_; ++i)
        size += std::strlen(values_[ids_[i]]) + 1;
    copies_.assign(size, '\0');
    char* to = &copies_[0];
    for (std::size_t i = 0; i < count_; ++i) {
        const char*& value = values_[ids_[i]];
        const std::size_t n = std::strlen(value) + 1;
        std::memcpy(to, value, n);
        value = to;
        to += n;
    }
}

std::uint32_t Attrs::AttrIdOf(const char* name, std::size_t length) {
    return gAttributeNames.Find(name, length);
}

std::size_t Attrs::NameLengthAt(AttrId id, const char* text) {
    return gAttributeNames.LengthAt(id, text);
}

const char* Attrs::NameOf(AttrId id) {
    return id < kAttrCount ? kAttrNames[id] : "?";
}

ElementId ElementIdOf(const char* name, std::size_t length) {
    return static_cast<ElementId>(gElementNames.Find(name, length));
}

void Context::Warn(Warning::Code code, std::string message) {
    ++warnCalls;
    if (held_) {
        Keep(code, std::string(), std::move(message));
        return;
    }
    if (result.warnings.size() >= options.maxWarnings) {
        ++result.droppedWarnings;
        return;
    }
    result.warnings.push_back(Warning{code, std::move(message)});
}

void Context::WarnOnce(Warning::Code code, const std::string& key, std::string message) {
    ++warnCalls;
    std::string full = std::to_string(static_cast<int>(code)) + ":" + key;
    if (held_) {
        Keep(code, full, std::move(message));
        return;
    }
    if (!onceKeys_.insert(std::move(full)).second) return;
    Warn(code, std::move(message));
}

// A held list stays within the limit: plain warnings past it could only be
// dropped when given out, and a key held before is said already.
void Context::Keep(Warning::Code code, const std::string& key, std::string message) {
    HeldWarnings& list = *held_;
    if (!key.empty()) {
        if (!list.keys.insert(key).second) return;
    } else if (list.plain >= options.maxWarnings) {
        ++list.dropped;
        return;
    } else {
        ++list.plain;
    }
    list.entries.push_back(HeldWarnings::Entry{code, key, std::move(message)});
}

void Context::Release(HeldWarnings& list) {
    for (HeldWarnings::Entry& e : list.entries) {
        if (held_) {
            Keep(e.code, e.key, std::move(e.message));
        } else if (e.key.empty()) {
            Warn(e.code, std::move(e.message));
        } else if (onceKeys_.insert(e.key).second) {
            Warn(e.code, std::move(e.message));
        }
    }
    if (held_)
        held_->dropped += list.dropped;
    else
        result.droppedWarnings += list.dropped;
    list = HeldWarnings();
}

} // namespace detail
} // namespace scribus
