#include "ReaderGeometry.h"

#include <algorithm>
#include <cmath>

namespace obreader {

namespace {

constexpr double kPi = 3.14159265358979323846;

double Clean(double v) {
    return std::fabs(v) < 1e-9 ? 0 : v; // no negative zero, no rounding dust
}

} // namespace

Matrix Matrix::Then(const Matrix& n) const {
    Matrix m;
    m.a = n.a * a + n.c * b;
    m.b = n.b * a + n.d * b;
    m.c = n.a * c + n.c * d;
    m.d = n.b * c + n.d * d;
    m.tx = n.a * tx + n.c * ty + n.tx;
    m.ty = n.b * tx + n.d * ty + n.ty;
    return m;
}

bool Matrix::Inverse(Matrix& out) const {
    double det = a * d - b * c;
    if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
    Matrix m;
    m.a = d / det;
    m.b = -b / det;
    m.c = -c / det;
    m.d = a / det;
    m.tx = -(m.a * tx + m.c * ty);
    m.ty = -(m.b * tx + m.d * ty);
    out = m;
    return true;
}

double CounterClockwise(double clockwise) {
    double a = std::fmod(-clockwise, 360.0);
    if (a < 0) a += 360.0;
    return a == 0 ? 0 : a; // no negative zero
}

Placement PlaceOutline(const Matrix& m, std::vector<SubPath>& paths) {
    // The x axis of the item gives the rotation; what is left of the map
    // after taking it out (scale, shear, mirroring) shapes the outline.
    double theta = (m.a == 0 && m.b == 0) ? 0 : std::atan2(-m.b, m.a);
    if (!std::isfinite(theta)) theta = 0;
    const double cs = std::cos(theta), sn = std::sin(theta);
    Matrix rest; // the inverse rotation after the linear part of m
    rest.a = cs * m.a - sn * m.b;
    rest.b = sn * m.a + cs * m.b;
    rest.c = cs * m.c - sn * m.d;
    rest.d = sn * m.c + cs * m.d;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool any = false;
    auto take = [&](Point& p) {
        p = rest.Apply(p);
        if (!any) x0 = x1 = p.x, y0 = y1 = p.y;
        x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
        any = true;
    };
    for (SubPath& s : paths)
        for (PathPoint& p : s.points)
            take(p.left), take(p.anchor), take(p.right);
    for (SubPath& s : paths)
        for (PathPoint& p : s.points)
            for (Point* q : {&p.left, &p.anchor, &p.right})
                q->x = Clean(q->x - x0), q->y = Clean(q->y - y0);
    Placement place;
    // The box's corner (x0, y0), rotated back and moved.
    place.left = Clean(cs * x0 + sn * y0 + m.tx);
    place.top = Clean(-sn * x0 + cs * y0 + m.ty);
    place.right = place.left + Clean(x1 - x0);
    place.bottom = place.top + Clean(y1 - y0);
    double degrees = Clean(theta * 180.0 / kPi);
    if (degrees < 0) degrees += 360.0;
    if (degrees >= 360.0 - 1e-9) degrees = 0;
    place.rotation = degrees;
    if (degrees != 0) {
        place.hasRotation = place.hasMatrix = true;
        place.matrix = {cs, -sn, sn, cs, place.left, place.top};
    }
    return place;
}

void WritePlacement(ElementBuilder& b, Element* e, const Placement& place) {
    if (!e) return;
    b.Rect(e, AN::kBoundingBox, place.left, place.top, place.right, place.bottom);
    if (place.hasRotation) b.Angle(e, AN::kRotation, place.rotation);
    if (place.hasMatrix) {
        const Matrix& m = place.matrix;
        Value* v = nullptr;
        ValueUtil::CreateValueMatrix(OBMatrix(m.a, m.b, m.c, m.d, m.tx, m.ty), v);
        b.Put(e, AN::kTransformationMatrix, v);
    }
}

Value* Compacted(ElementBuilder& b, Value* v) {
    auto* list = dynamic_cast<ValuePathPointList*>(v);
    // The list grows from 8 points by doubling: a power of two from 8 on fills it.
    const long long n = list ? list->NumPathPoints() : 0;
    if (n == 0 || (n >= 8 && (n & (n - 1)) == 0)) return v;
    Value* exact = nullptr;
    ValueUtil::CreateValuePathPointList(exact);
    auto* copy = dynamic_cast<ValuePathPointList*>(exact);
    if (copy) *copy = *list;
    if (!copy || copy->NumPathPoints() != list->NumPathPoints()) {
        if (exact) ValueUtil::Recycle(exact);
        b.OutOfMemory();
        return v;
    }
    ValueUtil::Recycle(v);
    return exact;
}

} // namespace obreader
