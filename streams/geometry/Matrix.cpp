#include <ombra/geometry.h>

#include "streams/geometry/GeometryInternal.h"

#include <cmath>

using namespace ombra_detail;

namespace {

enum { A, B, C, D, TX, TY };

// M * N for the row-vector convention: N acts after M.
OBMatrix Multiply(const OBMatrix& m, const OBMatrix& n) {
    const double a = m[A], b = m[B], c = m[C], d = m[D], tx = m[TX], ty = m[TY];
    return OBMatrix(a * n[A] + b * n[C], a * n[B] + b * n[D], c * n[A] + d * n[C],
                    c * n[B] + d * n[D], tx * n[A] + ty * n[C] + n[TX],
                    tx * n[B] + ty * n[D] + n[TY]);
}

// A tangent that stays finite: 0 where the cosine vanishes.
double SkewTangent(double degrees) {
    double theta = degrees * kRadiansPerDegree;
    return NearlyZero(std::cos(theta)) ? 0.0 : std::tan(theta);
}

OBMatrix RotationMatrix(double degrees) {
    double theta = degrees * kRadiansPerDegree;
    double c = std::cos(theta), s = std::sin(theta);
    return OBMatrix(c, s, -s, c, 0.0, 0.0);
}

struct Decomposition {
    double rotation;
    double skew;
    double xScale;
    double yScale;
};

} // namespace

void OBMatrix::Get(OBReal& a, OBReal& b, OBReal& c, OBReal& d, OBReal& tx,
                   OBReal& ty) const noexcept {
    a = m_[A];
    b = m_[B];
    c = m_[C];
    d = m_[D];
    tx = m_[TX];
    ty = m_[TY];
}

short OBMatrix::IsIdentity() const {
    return (m_[A] == 1.0 && m_[B] == 0.0 && m_[C] == 0.0 && m_[D] == 1.0 && m_[TX] == 0.0 &&
            m_[TY] == 0.0)
               ? 1
               : 0;
}

short OBMatrix::IsSingular() const {
    return NearlyZero(double(m_[A]) * m_[D] - double(m_[C]) * m_[B]) ? 1 : 0;
}

void OBMatrix::PostConcat(const OBMatrix& n) {
    if (n.IsIdentity()) return;
    if (IsIdentity()) {
        *this = n;
        return;
    }
    *this = Multiply(*this, n);
}

void OBMatrix::PreConcat(const OBMatrix& n) {
    if (n.IsIdentity()) return;
    if (IsIdentity()) {
        *this = n;
        return;
    }
    *this = Multiply(n, *this);
}

OBMatrix operator*(const OBMatrix& a, const OBMatrix& b) {
    if (a.IsIdentity()) return b;
    if (b.IsIdentity()) return a;
    return Multiply(a, b);
}

void OBMatrix::Translate(const OBReal& dx, const OBReal& dy) {
    PostConcat(OBMatrix(1.0, 0.0, 0.0, 1.0, dx, dy));
}

void OBMatrix::PreTranslate(const OBReal& dx, const OBReal& dy) {
    PreConcat(OBMatrix(1.0, 0.0, 0.0, 1.0, dx, dy));
}

void OBMatrix::SetOrigin(const OBReal& x, const OBReal& y) {
    Translate(double(x) - double(m_[TX]), double(y) - double(m_[TY]));
}

void OBMatrix::Scale(const OBReal& sx, const OBReal& sy) {
    PostConcat(OBMatrix(sx, 0.0, 0.0, sy, 0.0, 0.0));
}

void OBMatrix::PreScale(const OBReal& sx, const OBReal& sy) {
    PreConcat(OBMatrix(sx, 0.0, 0.0, sy, 0.0, 0.0));
}

void OBMatrix::Rotate(const OBReal& degrees) {
    PostConcat(RotationMatrix(degrees));
}

void OBMatrix::PreRotate(const OBReal& degrees) {
    PreConcat(RotationMatrix(degrees));
}

void OBMatrix::Skew(const OBReal& xDegrees, const OBReal& yDegrees) {
    PostConcat(OBMatrix(1.0, SkewTangent(yDegrees), SkewTangent(xDegrees), 1.0, 0.0, 0.0));
}

OBReal OBMatrix::GetRotationAngle() const {
    const double a = m_[A], b = m_[B];
    if (NearlyZero(a)) {
        if (b > kEpsilon) return 90.0;
        if (b < -kEpsilon) return 270.0;
        return 0.0;
    }
    if (NearlyZero(b)) return a > kEpsilon ? 0.0 : 180.0;
    double t = std::atan(b / a) * kDegreesPerRadian;
    if (a > kEpsilon) return t < -kEpsilon ? t + 360.0 : t;
    return t + 180.0;
}

namespace {
Decomposition Decompose(const OBMatrix& m) {
    Decomposition out{0.0, 0.0, 0.0, 0.0};
    const double a = m[A], b = m[B], c = m[C], d = m[D];
    if (NearlyZero(a) && NearlyZero(b)) {
        out.yScale = d; // degenerate: the x axis collapses
        return out;
    }
    out.rotation = m.GetRotationAngle();
    const double theta = out.rotation * kRadiansPerDegree;
    const double cosine = std::cos(theta), sine = std::sin(theta);
    out.yScale = d * cosine - c * sine;
    double skew;
    if (std::fabs(cosine) > kEpsilon) {
        out.xScale = a / cosine;
        skew = std::atan((out.yScale * sine + c) / (out.yScale * cosine));
    } else {
        out.xScale = b / sine;
        skew = std::atan(d / (out.yScale * sine));
    }
    out.skew = skew * kDegreesPerRadian;
    return out;
}
} // namespace

OBReal OBMatrix::GetXSkewAngle() const {
    return Decompose(*this).skew;
}

OBReal OBMatrix::GetXScale() const {
    return Decompose(*this).xScale;
}

OBReal OBMatrix::GetYScale() const {
    return Decompose(*this).yScale;
}

void OBMatrix::GetMatrixInfo(OBReal* rotation, OBReal* xSkew, OBReal* xScale,
                             OBReal* yScale) const {
    Decomposition parts = Decompose(*this);
    if (rotation) *rotation = parts.rotation;
    if (xSkew) *xSkew = parts.skew;
    if (xScale) *xScale = parts.xScale;
    if (yScale) *yScale = parts.yScale;
}

void OBMatrix::RotateTo(const OBReal& degrees) {
    Rotate(double(degrees) - double(GetRotationAngle()));
}

void OBMatrix::ScaleTo(const OBReal& sx, const OBReal& sy) {
    Decomposition parts = Decompose(*this);
    Rotate(-parts.rotation);
    Skew(-parts.skew, 0.0);
    Scale(double(sx) / parts.xScale, double(sy) / parts.yScale);
    Skew(parts.skew, 0.0);
    Rotate(parts.rotation);
}

void OBMatrix::SkewTo(const OBReal& xDegrees) {
    Decomposition parts = Decompose(*this);
    Rotate(-parts.rotation);
    Skew(-parts.skew, 0.0);
    Skew(xDegrees, 0.0);
    Rotate(parts.rotation);
}

void OBMatrix::Invert() {
    const double a = m_[A], b = m_[B], c = m_[C], d = m_[D], tx = m_[TX], ty = m_[TY];
    const double det = a * d - b * c;
    const double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
    *this = OBMatrix(ia, ib, ic, id, -(tx * ia + ty * ic), -(tx * ib + ty * id));
}

void OBMatrix::Transform(OBReal* x, OBReal* y) const {
    if (!x || !y) return;
    const double px = *x, py = *y;
    *x = m_[A] * px + m_[C] * py + m_[TX];
    *y = m_[B] * px + m_[D] * py + m_[TY];
}

void OBMatrix::Transform(OBPoint* p) const {
    if (p) Transform(&p->X(), &p->Y());
}

bool operator==(const OBMatrix& a, const OBMatrix& b) {
    for (int i = 0; i < 6; ++i)
        if (a[i] != b[i]) return false;
    return true;
}
