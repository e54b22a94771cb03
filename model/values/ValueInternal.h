// Helpers shared by the value classes: unit conversion that never throws,
// truncation to int, and list storage on the memory service.
#ifndef OMBRA_MODEL_VALUES_VALUEINTERNAL_H
#define OMBRA_MODEL_VALUES_VALUEINTERNAL_H

#include <ombra/export.h>
#include <ombra/geometry.h>

#include <climits>
#include <cstring>
#include <type_traits>

namespace obvalues_detail {

// The unit helpers throw their message for a unit they do not know; a
// value's reader then keeps its output as it was.
inline bool Convert(UNITS::LINEAR::UnitEnum from, const OBReal& value, UNITS::LINEAR::UnitEnum to,
                    OBReal& out) noexcept {
    try {
        OBReal result(0.0);
        UNITS::ConvertMeasurement(from, value, to, result);
        out = result;
        return true;
    } catch (...) {
        return false;
    }
}

inline bool Convert(UNITS::ANGULAR::UnitEnum from, const OBReal& value, UNITS::ANGULAR::UnitEnum to,
                    OBReal& out) noexcept {
    try {
        OBReal result(0.0);
        UNITS::ConvertMeasurement(from, value, to, result);
        out = result;
        return true;
    } catch (...) {
        return false;
    }
}

inline bool ConvertPoint(UNITS::LINEAR::UnitEnum from, const OBPoint& p, UNITS::LINEAR::UnitEnum to,
                         OBPoint& out) noexcept {
    OBReal x(0.0), y(0.0);
    if (!Convert(from, p.X(), to, x) || !Convert(from, p.Y(), to, y)) return false;
    out = OBPoint(x, y);
    return true;
}

inline bool ConvertPathPoint(UNITS::LINEAR::UnitEnum from, const OBPathPoint& p,
                             UNITS::LINEAR::UnitEnum to, OBPathPoint& out) noexcept {
    OBPoint left, anchor, right;
    if (!ConvertPoint(from, p.GetLeftDirPoint(), to, left) ||
        !ConvertPoint(from, p.GetAnchorPoint(), to, anchor) ||
        !ConvertPoint(from, p.GetRightDirPoint(), to, right))
        return false;
    out = OBPathPoint(p.GetAnchorType(), left, anchor, right);
    return true;
}

// Toward zero; beyond the int range the nearest end of it, NaN 0.
inline int TruncateToInt(double d) noexcept {
    if (d != d) return 0;
    if (d >= 2147483647.0) return INT_MAX;
    if (d <= -2147483648.0) return INT_MIN;
    return static_cast<int>(d);
}

// A block of n entries of plain data from the memory service; null for
// n <= 0, for a size that overflows, or without memory.
template <class T> T* AllocateEntries(long long n) noexcept {
    static_assert(std::is_trivially_copyable<T>::value, "list entries are moved with memcpy");
    if (n <= 0 ||
        static_cast<unsigned long long>(n) > static_cast<unsigned long long>(-1) / 2 / sizeof(T))
        return nullptr;
    return static_cast<T*>(OBLibAllocate(static_cast<std::size_t>(n) * sizeof(T)));
}

// Moves `count` entries into a block of `newCapacity` entries and releases
// the old block. Returns false, changing nothing, without memory.
template <class T>
bool GrowEntries(T*& data, long long count, long long& capacity, long long newCapacity) noexcept {
    T* block = AllocateEntries<T>(newCapacity);
    if (!block) return false;
    if (count > 0)
        std::memcpy(static_cast<void*>(block), data, static_cast<std::size_t>(count) * sizeof(T));
    OBLibFree(data);
    data = block;
    capacity = newCapacity;
    return true;
}

// The growth of every list but the boolean one: 8 entries, then doubling.
inline long long NextCapacity(long long capacity) noexcept {
    return capacity < 8 ? 8 : capacity * 2;
}

} // namespace obvalues_detail

#endif
