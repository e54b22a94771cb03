// Attribute names to ids, the attributes of one element, and warnings.
#include "ScribusInternal.h"

#include <cstring>

namespace scribus {
namespace detail {

namespace {

const char* const kAttrNames[] = {
#define SCRIBUS_ATTRIBUTE(id, text) text,
#include "ScribusAttributes.def"
};

// Open-addressing table from attribute name to id, built once. Elements
// carry up to a few hundred attributes, so a look-up reads each name only
// once, a word at a time: two words (overlapping when the name is shorter
// than 16 bytes) and the length tell every name of up to 16 bytes apart, so
// the slot's key is compared without going back to the text; longer names
// are compared in full.
class NameTable {
public:
    static constexpr std::uint32_t kBits = 10;
    static constexpr std::uint32_t kSize = 1u << kBits; // > 2 * kAttrCount
    NameTable() {
        static_assert(kSize > 2 * kAttrCount, "attribute table too small");
        for (auto& slot : slots_)
            slot.id = kAttrCount;
        for (std::uint16_t id = 0; id < kAttrCount; ++id) {
            keys_[id] = KeyOf(kAttrNames[id]);
            const std::uint64_t hash = Hash(keys_[id]);
            std::uint32_t h = static_cast<std::uint32_t>(hash >> (64 - kBits));
            while (slots_[h].id != kAttrCount)
                h = (h + 1) & (kSize - 1);
            slots_[h] = Slot{static_cast<std::uint32_t>(hash), id};
        }
    }
    int Find(const char* name) const {
        const Key key = KeyOf(name);
        const std::uint64_t hash = Hash(key);
        const std::uint32_t tag = static_cast<std::uint32_t>(hash);
        for (std::uint32_t h = static_cast<std::uint32_t>(hash >> (64 - kBits));
             slots_[h].id != kAttrCount; h = (h + 1) & (kSize - 1)) {
            if (slots_[h].tag != tag) continue;
            const Key& k = keys_[slots_[h].id];
            if (k.first == key.first && k.last == key.last && k.length == key.length &&
                (key.length <= 16 || std::memcmp(kAttrNames[slots_[h].id], name, key.length) == 0))
                return slots_[h].id;
        }
        return -1;
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
    static Key KeyOf(const char* s) {
        const std::size_t len = std::strlen(s);
        std::uint64_t first = 0, last = 0;
        if (len >= 8) {
            std::memcpy(&first, s, 8);
            std::memcpy(&last, s + len - 8, 8);
        } else if (len >= 4) {
            std::uint32_t a, b;
            std::memcpy(&a, s, 4);
            std::memcpy(&b, s + len - 4, 4);
            first = a;
            last = b;
        } else if (len > 0) {
            first = static_cast<unsigned char>(s[0]) | static_cast<unsigned char>(s[len / 2]) << 8 |
                    static_cast<unsigned char>(s[len - 1]) << 16;
        }
        return Key{first, last, len};
    }
    static std::uint64_t Hash(const Key& k) {
        return (k.first * 0x9E3779B97F4A7C15ull) ^ (k.last * 0xC2B2AE3D27D4EB4Full) ^ k.length;
    }
    Slot slots_[kSize];
    Key keys_[kAttrCount];
};

const NameTable& Names() {
    static const NameTable table;
    return table;
}

} // namespace

Attrs::Attrs() {
    std::memset(stamp_, 0, sizeof stamp_);
    std::memset(values_, 0, sizeof values_);
}

void Attrs::Load(pugi::xml_node node) {
    if (++current_ == 0) { // the stamp wrapped: forget every old value
        std::memset(stamp_, 0, sizeof stamp_);
        current_ = 1;
    }
    const NameTable& names = Names();
    // An attribute always has a name: an empty one is the end of the list
    // (which saves asking the handle whether it is empty, a call each).
    for (pugi::xml_attribute a = node.first_attribute();; a = a.next_attribute()) {
        const char* name = a.name();
        if (!*name) break;
        int id = names.Find(name);
        if (id >= 0 && stamp_[id] != current_) { // the first of duplicates wins
            stamp_[id] = current_;
            values_[id] = a.value();
        }
    }
}

const char* Attrs::NameOf(AttrId id) {
    return id < kAttrCount ? kAttrNames[id] : "?";
}

void Context::Warn(Warning::Code code, std::string message) {
    if (result.warnings.size() >= options.maxWarnings) {
        ++result.droppedWarnings;
        return;
    }
    result.warnings.push_back(Warning{code, std::move(message)});
}

void Context::WarnOnce(Warning::Code code, const std::string& key, std::string message) {
    if (!onceKeys_.insert(std::to_string(static_cast<int>(code)) + ":" + key).second) return;
    Warn(code, std::move(message));
}

} // namespace detail
} // namespace scribus
