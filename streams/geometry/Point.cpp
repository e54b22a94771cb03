#include <ombra/geometry.h>

#include "streams/geometry/GeometryInternal.h"

#include <cmath>

using namespace ombra_detail;

OBReal OBPoint::Distance(const OBPoint& p) const {
    return std::hypot(double(p.x_) - double(x_), double(p.y_) - double(y_));
}

OBReal OBPoint::VectorLength() const {
    return std::hypot(double(x_), double(y_));
}

OBReal OBPoint::VectorAngle() const {
    double x = x_, y = y_;
    if (NearlyZero(x)) {
        if (NearlyZero(y)) return 0.0;
        return y > kEpsilon ? 90.0 : 270.0;
    }
    double t = std::atan(y / x) * 180.0 / kPi;
    if (x <= kEpsilon) t += 180.0;
    return t;
}

OBPoint OBPoint::MirrorPoint(const OBPoint& centre) const {
    return OBPoint(2.0 * centre.x_ - x_, 2.0 * centre.y_ - y_);
}

OBPoint OBPoint::ProjectOnLine(const OBPoint& p1, const OBPoint& p2) const {
    double length = p1.Distance(p2);
    if (NearlyZero(length)) return *this;
    double scale = double(Distance(p1)) / length;
    return OBPoint(p1.x_ + (p1.x_ - p2.x_) * scale, p1.y_ + (p1.y_ - p2.y_) * scale);
}

namespace {
// The low edge is applied last, so with inverted bounds the coordinate ends
// on the low edge unless it already lies there.
double Clamp(double v, double low, double high) {
    if (v > high + kEpsilon) v = high;
    if (v < low - kEpsilon) v = low;
    return v;
}
} // namespace

short OBPoint::ConstrainTo(const OBRect& bounds) {
    double x = Clamp(x_, bounds.Left(), bounds.Right());
    double y = Clamp(y_, bounds.Top(), bounds.Bottom());
    short moved = (x != double(x_) || y != double(y_)) ? 1 : 0;
    x_ = x;
    y_ = y;
    return moved;
}

void OBPoint::Round() {
    x_ = std::floor(double(x_) + 0.5);
    y_ = std::floor(double(y_) + 0.5);
}

tagPOINT ToSys(const OBPoint& p) {
    tagPOINT out;
    out.x = WrapTo16Bits(std::trunc(double(p.X())));
    out.y = WrapTo16Bits(std::trunc(double(p.Y())));
    return out;
}
