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

    /// The names of a table's rows, each row's `name`, in the table's order.
    template <class Row, std::size_t N>
    explicit NameIndex(const Row (&rows)[N]) : NameIndex(NamesOf(rows).data(), N) {}

    /// The index of the name, or -1.
    int Find(const char* name) const {
        for (std::size_t at = Hash(name) & mask_;; at = (at + 1) & mask_) {
            const std::uint32_t slot = slots_[at];
            if (!slot) return -1;
            if (std::strcmp(names_[slot - 1], name) == 0) return static_cast<int>(slot - 1);
        }
    }

private:
    template <class Row, std::size_t N>
    static std::vector<const char*> NamesOf(const Row (&rows)[N]) {
        std::vector<const char*> names;
        names.reserve(N);
        for (const Row& row : rows)
            names.push_back(row.name);
        return names;
    }

    // The length and five of the bytes: names of one vocabulary differ in
    // those, and the comparison after settles the rest.
    static std::uint32_t Hash(const char* name) {
        const std::size_t n = std::strlen(name);
        if (n == 0) return 0;
        const auto* p = reinterpret_cast<const unsigned char*>(name);
        const std::size_t at[5] = {0, n > 1 ? std::size_t{1} : 0, n / 2, n > 1 ? n - 2 : 0, n - 1};
        const std::uint32_t mix[5] = {0x85EBCA6Bu, 0xC2B2AE35u, 0x27D4EB2Fu, 0x165667B1u,
                                      0xD3A2646Cu};
        std::uint32_t h = static_cast<std::uint32_t>(n) * 0x9E3779B1u;
        for (int i = 0; i < 5; ++i) {
            h ^= p[at[i]] * mix[i];
            h = (h << 13) | (h >> 19);
        }
        return h ^ (h >> 16);
    }

    std::vector<const char*> names_;
    std::vector<std::uint32_t> slots_; ///< index + 1, 0 for free
    std::size_t mask_ = 0;
};

} // namespace idml

#endif
