#include <ombra/geometry.h>

#include "streams/geometry/GeometryInternal.h"

#include <cmath>
#include <utility>

using namespace ombra_detail;

namespace {
void Swap(OBReal& a, OBReal& b) {
    OBReal t = a;
    a = b;
    b = t;
}
} // namespace

OBRect::OBRect(const OBPoint& leftTop, const OBPoint& rightBottom) noexcept
    : left_(leftTop.X()), top_(leftTop.Y()), right_(rightBottom.X()), bottom_(rightBottom.Y()) {
    Normalize();
}

OBRect::OBRect(const OBReal& x1, const OBReal& y1, const OBReal& x2, const OBReal& y2) noexcept
    : left_(OBReal::Min(x1, x2)), top_(OBReal::Min(y1, y2)), right_(OBReal::Max(x1, x2)),
      bottom_(OBReal::Max(y1, y2)) {}

OBReal OBRect::AspectRatio() const {
    double w = std::fabs(double(right_) - double(left_));
    if (NearlyZero(w)) return 0.0;
    return std::fabs(double(bottom_) - double(top_)) / w;
}

short OBRect::Normalize() {
    short swapped = 0;
    if (left_ > right_) {
        Swap(left_, right_);
        swapped = 1;
    }
    if (top_ > bottom_) {
        Swap(top_, bottom_);
        swapped = 1;
    }
    return swapped;
}

void OBRect::Round() {
    left_ = std::floor(double(left_) + 0.5);
    top_ = std::floor(double(top_) + 0.5);
    right_ = std::floor(double(right_) + 0.5);
    bottom_ = std::floor(double(bottom_) + 0.5);
}

void OBRect::Inset(const OBReal& dx, const OBReal& dy) noexcept {
    left_ += dx;
    top_ += dy;
    right_ -= dx;
    bottom_ -= dy;
}

void OBRect::MoveRel(const OBReal& dx, const OBReal& dy) noexcept {
    left_ += dx;
    right_ += dx;
    top_ += dy;
    bottom_ += dy;
}

void OBRect::MoveTo(const OBReal& x, const OBReal& y) noexcept {
    MoveRel(double(x) - double(left_), double(y) - double(top_));
}

void OBRect::CenterOn(const OBReal& x, const OBReal& y) noexcept {
    double hw = (double(right_) - double(left_)) / 2;
    double hh = (double(bottom_) - double(top_)) / 2;
    left_ = x - hw;
    top_ = y - hh;
    right_ = x + hw;
    bottom_ = y + hh;
}

short OBRect::PointIn(const OBPoint& p) const {
    return (p.X() >= left_ && p.X() <= right_ && p.Y() >= top_ && p.Y() <= bottom_) ? 1 : 0;
}

short OBRect::RectIn(const OBRect& r) const {
    return (r.left_ >= left_ && r.right_ <= right_ && r.top_ >= top_ && r.bottom_ <= bottom_) ? 1
                                                                                              : 0;
}

OBReal OBRect::DistanceTo(const OBPoint& p) const {
    double dxLeft = double(left_) - double(p.X());
    if (dxLeft < -kEpsilon) dxLeft = 0.0;
    double dx = OBReal::Max(dxLeft, double(p.X()) - double(right_));
    double dyTop = double(top_) - double(p.Y());
    if (dyTop < -kEpsilon) dyTop = 0.0;
    double dy = OBReal::Max(dyTop, double(p.Y()) - double(bottom_));
    if (NearlyZero(dx)) return dy;
    if (NearlyZero(dy)) return dx;
    return std::sqrt(dx * dx + dy * dy);
}

void OBRect::Union(const OBRect& r) {
    left_ = OBReal::Min(left_, r.left_);
    top_ = OBReal::Min(top_, r.top_);
    right_ = OBReal::Max(right_, r.right_);
    bottom_ = OBReal::Max(bottom_, r.bottom_);
}

void OBRect::Expand(const OBPoint& p) {
    left_ = OBReal::Min(left_, p.X());
    top_ = OBReal::Min(top_, p.Y());
    right_ = OBReal::Max(right_, p.X());
    bottom_ = OBReal::Max(bottom_, p.Y());
}

short OBRect::ConstrainTo(OBRect& r) const {
    double dx = 0.0, dy = 0.0;
    if (r.left_ < left_)
        dx = double(left_) - double(r.left_);
    else if (r.right_ > right_)
        dx = double(right_) - double(r.right_);
    if (r.top_ < top_)
        dy = double(top_) - double(r.top_);
    else if (r.bottom_ > bottom_)
        dy = double(bottom_) - double(r.bottom_);
    if (dx == 0.0 && dy == 0.0) return 0;
    r.MoveRel(dx, dy);
    return 1;
}

OBPoint OBRect::GetPoint(_PointIndex index) const {
    switch (index) {
    case kTopCenter:
        return OBPoint(GetHCenter(), top_);
    case kLeftCenter:
        return OBPoint(left_, GetVCenter());
    case kBottomCenter:
        return OBPoint(GetHCenter(), bottom_);
    case kRightCenter:
        return OBPoint(right_, GetVCenter());
    case kLeftTop:
        return LeftTop();
    case kRightTop:
        return RightTop();
    case kRightBottom:
        return RightBottom();
    case kLeftBottom:
        return LeftBottom();
    default:
        return OBPoint();
    }
}

OBRect::_PointIndex OBRect::GetPointIndex(const OBPoint& p) const {
    for (int i = kTopCenter; i <= kLeftBottom; ++i) {
        _PointIndex index = static_cast<_PointIndex>(i);
        if (GetPoint(index) == p) return index;
    }
    return kNoPoint;
}

OBRect::_PointIndex OBRect::GetOppositePointIndex(_PointIndex index) {
    if (index < kTopCenter || index > kLeftBottom) return kNoPoint;
    return static_cast<_PointIndex>((index + 2) % 4 + (index < kLeftTop ? 0 : 4));
}

OBRect::_PointIndex OBRect::MovePointTo(_PointIndex index, const OBPoint& p) {
    switch (index) {
    case kTopCenter:
        top_ = p.Y();
        break;
    case kLeftCenter:
        left_ = p.X();
        break;
    case kBottomCenter:
        bottom_ = p.Y();
        break;
    case kRightCenter:
        right_ = p.X();
        break;
    case kLeftTop:
        LeftTop(p);
        break;
    case kRightTop:
        RightTop(p);
        break;
    case kRightBottom:
        RightBottom(p);
        break;
    case kLeftBottom:
        LeftBottom(p);
        break;
    default:
        break;
    }
    if (left_ > right_) {
        Swap(left_, right_);
        switch (index) {
        case kLeftTop:
            index = kRightTop;
            break;
        case kRightTop:
            index = kLeftTop;
            break;
        case kLeftCenter:
            index = kRightCenter;
            break;
        case kRightCenter:
            index = kLeftCenter;
            break;
        case kLeftBottom:
            index = kRightBottom;
            break;
        case kRightBottom:
            index = kLeftBottom;
            break;
        default:
            break;
        }
    }
    if (top_ > bottom_) {
        Swap(top_, bottom_);
        switch (index) {
        case kLeftTop:
            index = kLeftBottom;
            break;
        case kLeftBottom:
            index = kLeftTop;
            break;
        case kTopCenter:
            index = kBottomCenter;
            break;
        case kBottomCenter:
            index = kTopCenter;
            break;
        case kRightTop:
            index = kRightBottom;
            break;
        case kRightBottom:
            index = kRightTop;
            break;
        default:
            break;
        }
    }
    return index;
}

int OBRect::PointIndexToIndex(_PointIndex index) {
    return (index >= kTopCenter && index <= kLeftBottom) ? 7 - index : -1;
}

OBRect::_PointIndex OBRect::IndexToPointIndex(int n) {
    return (n >= 0 && n <= 7) ? static_cast<_PointIndex>(7 - n) : kNoPoint;
}

bool operator==(const OBRect& a, const OBRect& b) {
    return a.Left() == b.Left() && a.Top() == b.Top() && a.Right() == b.Right() &&
           a.Bottom() == b.Bottom();
}

OBRect Union(const OBRect& a, const OBRect& b) {
    OBReal minLeft = OBReal::Min(a.Left(), b.Left());
    OBReal minTop = OBReal::Min(a.Top(), b.Top());
    OBReal maxRight = OBReal::Max(a.Right(), b.Right());
    OBReal maxBottom = OBReal::Max(a.Bottom(), b.Bottom());
    OBRect r;
    r.Left(OBReal::Min(minLeft, maxRight));
    r.Right(OBReal::Max(minLeft, maxRight));
    r.Top(OBReal::Min(minTop, maxBottom));
    r.Bottom(OBReal::Max(minTop, maxBottom));
    return r;
}

short Intersect(const OBRect& a, const OBRect& b) {
    bool x = (a.Left() >= b.Left() && a.Left() < b.Right()) ||
             (b.Left() >= a.Left() && b.Left() < a.Right());
    bool y = (a.Top() >= b.Top() && a.Top() < b.Bottom()) ||
             (b.Top() >= a.Top() && b.Top() < a.Bottom());
    return (x && y) ? 1 : 0;
}

short IntersectOrAbut(const OBRect& a, const OBRect& b) {
    bool x = (a.Left() >= b.Left() && a.Left() <= b.Right()) ||
             (b.Left() >= a.Left() && b.Left() <= a.Right());
    bool y = (a.Top() >= b.Top() && a.Top() <= b.Bottom()) ||
             (b.Top() >= a.Top() && b.Top() <= a.Bottom());
    return (x && y) ? 1 : 0;
}

OBRect Intersection(const OBRect& a, const OBRect& b, const OBRect& whenDisjoint) {
    if (!Intersect(a, b)) return whenDisjoint;
    OBRect r;
    r.Left(OBReal::Max(a.Left(), b.Left()));
    r.Top(OBReal::Max(a.Top(), b.Top()));
    OBReal right = OBReal::Min(a.Right(), b.Right());
    OBReal bottom = OBReal::Min(a.Bottom(), b.Bottom());
    r.Right(r.Left() > right ? r.Left() : right);
    r.Bottom(r.Top() > bottom ? r.Top() : bottom);
    return r;
}

tagRECT ToSys(const OBRect& r) {
    tagRECT out;
    out.left = WrapTo16Bits(std::floor(double(r.Left())));
    out.top = WrapTo16Bits(std::floor(double(r.Top())));
    out.right = WrapTo16Bits(std::ceil(double(r.Right())));
    out.bottom = WrapTo16Bits(std::ceil(double(r.Bottom())));
    return out;
}
