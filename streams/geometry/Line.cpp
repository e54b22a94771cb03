#include <ombra/geometry.h>

#include "streams/geometry/GeometryInternal.h"

#include <cmath>

using namespace ombra_detail;

OBLine::OBLine() noexcept
    : slope_(0.0), yIntercept_(0.0), xIntercept_(0.0), isVertical_(0), isUndefined_(1) {}

OBLine::OBLine(const OBReal& slope, const OBReal& yIntercept) noexcept
    : slope_(slope), yIntercept_(yIntercept), xIntercept_(0.0), isVertical_(0), isUndefined_(0) {
    SetXIntercept();
}

OBLine::OBLine(const OBReal& x) noexcept
    : slope_(0.0), yIntercept_(0.0), xIntercept_(x), isVertical_(1), isUndefined_(0) {}

OBLine::OBLine(const OBPoint& p1, const OBPoint& p2) noexcept : OBLine() {
    if (p1 == p2) return; // coincident points fix no line
    isUndefined_ = 0;
    if (p1.X() == p2.X()) {
        isVertical_ = 1;
        xIntercept_ = p1.X();
        return;
    }
    SlopeIntercept line = LineThrough(p1.X(), p1.Y(), p2.X(), p2.Y());
    slope_ = line.slope;
    yIntercept_ = line.yIntercept;
    SetXIntercept();
}

void OBLine::SetXIntercept() {
    xIntercept_ = NearlyZero(slope_) ? 0.0 : -double(yIntercept_) / double(slope_);
}

short OBLine::SolveForY(const OBReal& x, OBReal* y) const {
    if (isVertical_ || isUndefined_ || !y) return 0;
    *y = double(x) * double(slope_) + double(yIntercept_);
    return 1;
}

short OBLine::SolveForX(const OBReal& y, OBReal* x) const {
    if (isUndefined_ || !x) return 0;
    if (isVertical_) {
        *x = xIntercept_;
        return 1;
    }
    if (NearlyZero(slope_)) return 0;
    *x = (double(y) - double(yIntercept_)) / double(slope_);
    return 1;
}

short OBLine::GetSlope(OBReal* slope) const {
    if (slope) *slope = slope_;
    return isVertical_;
}

OBLine OBLine::SolveForPerpendicularLine(const OBPoint& p) const {
    if (isUndefined_) return OBLine();
    if (isVertical_) return OBLine(0.0, p.Y());
    if (NearlyZero(slope_)) return OBLine(p.X());
    double slope = -1.0 / double(slope_);
    return OBLine(slope, double(p.Y()) - slope * double(p.X()));
}

short OBLine::SolveForIntersectPoint(const OBLine& other, OBPoint* out) const {
    if (isUndefined_ || other.isUndefined_ || !out) return 0;
    if (isVertical_ == other.isVertical_ && slope_ == other.slope_) return 0;
    double x, y;
    if (isVertical_) {
        x = xIntercept_;
        y = x * double(other.slope_) + double(other.yIntercept_);
    } else {
        if (other.isVertical_)
            x = other.xIntercept_;
        else
            x = (double(other.yIntercept_) - double(yIntercept_)) /
                (double(slope_) - double(other.slope_));
        y = x * double(slope_) + double(yIntercept_);
    }
    *out = OBPoint(x, y);
    return 1;
}

short OBLine::SolveForIntersectPoint(const OBPoint& p1, const OBPoint& p2, OBPoint* out) const {
    if (!SolveForIntersectPoint(OBLine(p1, p2), out)) return 0;
    double length = p1.Distance(p2);
    double limit = length + kEpsilon;
    return (double(out->Distance(p1)) <= limit && double(out->Distance(p2)) <= limit) ? 1 : 0;
}

short OBLine::FindPointOnLine(const OBPoint& from, const OBReal& distance, const OBPoint& awayFrom,
                              OBPoint* out) const {
    if (isUndefined_ || !out) return 0;
    const double r2 = double(distance) * double(distance);
    if (isVertical_) {
        double dx = double(from.X()) - double(xIntercept_);
        if (!(r2 - kEpsilon > dx * dx)) return 0;
        double h = std::sqrt(r2 - dx * dx);
        double y = (double(awayFrom.Y()) - double(from.Y()) > kEpsilon) ? double(from.Y()) - h
                                                                        : double(from.Y()) + h;
        *out = OBPoint(xIntercept_, y);
        return 1;
    }
    if (NearlyZero(slope_)) {
        double dy = double(from.Y()) - double(yIntercept_);
        if (!(r2 - kEpsilon > dy * dy)) return 0;
        double h = std::sqrt(r2 - dy * dy);
        double x = (double(awayFrom.X()) - double(from.X()) > kEpsilon) ? double(from.X()) - h
                                                                        : double(from.X()) + h;
        *out = OBPoint(x, yIntercept_);
        return 1;
    }
    const double m = slope_, k = yIntercept_, px = from.X(), py = from.Y();
    const double q = m * m + 1.0;
    const double u = (m * k - px - m * py) / q;
    const double radicand = (r2 - px * px - py * py + 2.0 * py * k - k * k) / q + u * u;
    if (!(radicand >= 0.0)) return 0;
    const double h = std::sqrt(radicand);
    OBPoint a(-u + h, m * (-u + h) + k);
    OBPoint b(-u - h, m * (-u - h) + k);
    *out = (double(awayFrom.Distance(a)) > double(awayFrom.Distance(b)) + kEpsilon) ? a : b;
    return 1;
}

short OBLine::ContainsPoint(const OBPoint& p) const {
    if (isUndefined_) return 0;
    if (isVertical_) return NearlyZero(double(p.X()) - double(xIntercept_)) ? 1 : 0;
    return NearlyZero(double(p.X()) * double(slope_) + double(yIntercept_) - double(p.Y())) ? 1 : 0;
}

bool operator==(const OBLine& a, const OBLine& b) {
    if (a.IsUndefined() || b.IsUndefined()) return a.IsUndefined() && b.IsUndefined();
    if (a.IsVertical() != b.IsVertical()) return false;
    if (a.IsVertical()) return a.XIntercept() == b.XIntercept();
    return a.Slope() == b.Slope() && a.YIntercept() == b.YIntercept();
}
