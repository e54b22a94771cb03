// Helpers shared by the geometry sources.
#ifndef OMBRA_STREAMS_GEOMETRY_GEOMETRYINTERNAL_H
#define OMBRA_STREAMS_GEOMETRY_GEOMETRYINTERNAL_H

#include <cmath>

namespace ombra_detail {

constexpr double kEpsilon = 1e-8;
constexpr double kPi = 3.141592653589793;
constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kDegreesPerRadian = 57.29577951308232;

inline bool NearlyZero(double v) {
    return std::fabs(v) < kEpsilon;
}

/// The line through two points of different x, as y = slope * x +
/// yIntercept: one formula for OBLine and for the path points' smoothness
/// test, which must agree with it.
struct SlopeIntercept {
    double slope, yIntercept;
};
inline SlopeIntercept LineThrough(double x1, double y1, double x2, double y2) {
    double slope = (y2 - y1) / (x2 - x1);
    return {slope, y2 - slope * x2};
}

/// Reduces an integral double to a signed 16-bit value the way a 16-bit
/// integer wraps; values that are no number give 0.
inline int WrapTo16Bits(double integral) {
    if (!std::isfinite(integral)) return 0;
    long long low = static_cast<long long>(std::fmod(integral, 65536.0));
    return static_cast<short>(static_cast<unsigned short>(low & 0xffff));
}

} // namespace ombra_detail

#endif
