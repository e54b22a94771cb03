#include <ombra/geometry.h>

#include "streams/geometry/GeometryInternal.h"

// The anchor on the line through the handles, as OBLine solves it: for y at
// the anchor's x, or for x when the handles stand one above the other. Done
// here without building the line (its x-intercept costs a division), since
// every point of every outline comes through.
OBPathPointType OBPathPoint::LineTest(const OBPoint& left, const OBPoint& anchor,
                                      const OBPoint& right) {
    if (left == right) return kCornerPoint; // coincident handles fix no line
    if (left.X() == right.X()) return anchor.X() == left.X() ? kSmoothPoint : kCornerPoint;
    ombra_detail::SlopeIntercept line =
        ombra_detail::LineThrough(left.X(), left.Y(), right.X(), right.Y());
    OBReal solved = double(anchor.X()) * line.slope + line.yIntercept;
    return solved == anchor.Y() ? kSmoothPoint : kCornerPoint;
}

OBPathPoint::OBPathPoint(const OBPoint& left, const OBPoint& anchor, const OBPoint& right)
    : type_(kCornerPoint), left_(left), anchor_(anchor), right_(right) {
    if (left == anchor && anchor == right)
        type_ = kPlainPoint;
    else if (left != right)
        type_ = LineTest(left, anchor, right);
}

OBPathPoint::OBPathPoint(const OBBaseTypeCollection<OBPoint>& points) : OBPathPoint() {
    if (points.Count() == 3) {
        left_ = points[0];
        anchor_ = points[1];
        right_ = points[2];
        type_ = LineTest(left_, anchor_, right_);
    } else if (points.Count() > 0) {
        left_ = anchor_ = right_ = points[0];
    }
}

OBPathPoint::OBPathPoint(OBPathPointType type, const OBBaseTypeCollection<OBPoint>& points)
    : OBPathPoint(points) {
    type_ = type;
}

OBRect OBPathPoint::GetBoundingBox() const {
    if (type_ == kPlainPoint) return OBRect(anchor_);
    return Union(OBRect(left_, anchor_), OBRect(anchor_, right_));
}

void OBPathPoint::TransformPoints(const OBMatrix& m) {
    m.Transform(&left_);
    m.Transform(&anchor_);
    m.Transform(&right_);
}

namespace {
void ScalePoint(OBPoint& p, double factor) {
    p.X() *= factor;
    p.Y() *= factor;
}
void DividePoint(OBPoint& p, double divisor) {
    p.X() /= divisor;
    p.Y() /= divisor;
}
} // namespace

OBPathPoint& OBPathPoint::operator*=(const OBReal& factor) {
    ScalePoint(left_, factor);
    ScalePoint(anchor_, factor);
    ScalePoint(right_, factor);
    return *this;
}

OBPathPoint& OBPathPoint::operator/=(const OBReal& divisor) {
    DividePoint(left_, divisor);
    DividePoint(anchor_, divisor);
    DividePoint(right_, divisor);
    return *this;
}

bool operator==(const OBPathPoint& a, const OBPathPoint& b) {
    return a.GetAnchorType() == b.GetAnchorType() && a.GetLeftDirPoint() == b.GetLeftDirPoint() &&
           a.GetAnchorPoint() == b.GetAnchorPoint() && a.GetRightDirPoint() == b.GetRightDirPoint();
}
