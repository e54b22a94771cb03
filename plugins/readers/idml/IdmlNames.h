// Fixed sets of names (attributes, element tags) and the index of each,
// found with one hash and one comparison instead of a comparison per name.
#ifndef OMBRA_IDML_NAMES_H
#define OMBRA_IDML_NAMES_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace idml {

class NameIndex {
public:
    /// The names must outlive the index; of two equal names the first counts.
    NameIndex(const char* const* names, std::size_t count) : names_(names, names + count) {
        std::size_t size = 16;
        while (size < 4 * count)
            size *= 2;
        slots_.assign(size, 0);
        mask_ = size - 1;
        for (std::size_t i = 0; i < count; ++i) {
            if (Find(names[i]) >= 0) continue;
            std::size_t at = Hash(names[i]) & mask_;
            while (slots_[at])
                at = (at + 1) & mask_;
            slots_[at] = static_cast<std::uint32_t>(i + 1);
        }
    }

    /// The index of the name, or -1.
    int Find(const char* name) const {
        for (std::size_t at = Hash(name) & mask_;; at = (at + 1) & mask_) {
            const std::uint32_t slot = slots_[at];
            if (!slot) return -1;
            if (std::strcmp(names_[slot - 1], name) == 0) return static_cast<int>(slot - 1);
        }
    }

private:
    // FNV-1a, up to the name's end.
    static std::uint32_t Hash(const char* name) {
        std::uint32_t h = 2166136261u;
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p)
            h = (h ^ *p) * 16777619u;
        return h;
    }

    std::vector<const char*> names_;
    std::vector<std::uint32_t> slots_; ///< index + 1, 0 for free
    std::size_t mask_ = 0;
};

} // namespace idml

#endif
