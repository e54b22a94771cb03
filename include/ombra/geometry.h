// Page geometry: tolerant reals, points, rectangles, lines, affine matrices,
// Bezier path points, and the linear and angular measurement units.
#ifndef OMBRA_GEOMETRY_H
#define OMBRA_GEOMETRY_H

#include <ombra/collection.h>
#include <ombra/export.h>

#include <type_traits>

/// A real number: one double whose comparisons use the fixed tolerance 1e-8.
/// Units never live in it; they travel beside it.
class OMBRA_API OBReal {
public:
    /// The one tolerance of every coordinate comparison.
    static constexpr double kTolerance = 1e-8;

    /// Leaves the value uninitialised, like a double.
    OBReal() noexcept = default;
    constexpr OBReal(double value) noexcept : value_(value) {}
    constexpr operator double() const noexcept { return value_; }
    constexpr double Value() const noexcept { return value_; }

    /// Plain floating-point arithmetic, no tolerance.
    OBReal& operator+=(const OBReal& other) noexcept {
        value_ += other.value_;
        return *this;
    }
    OBReal& operator-=(const OBReal& other) noexcept {
        value_ -= other.value_;
        return *this;
    }
    OBReal& operator*=(const OBReal& other) noexcept {
        value_ *= other.value_;
        return *this;
    }
    OBReal& operator/=(const OBReal& other) noexcept {
        value_ /= other.value_;
        return *this;
    }

    /// |value| < 1e-8.
    constexpr bool IsNearlyZero() const noexcept {
        return value_ < kTolerance && -value_ < kTolerance;
    }
    /// The smaller of two values; the second when they are within the tolerance.
    static constexpr OBReal Min(const OBReal& a, const OBReal& b) noexcept {
        return a.value_ + kTolerance < b.value_ ? a : b;
    }
    /// The larger of two values; the second when they are within the tolerance.
    static constexpr OBReal Max(const OBReal& a, const OBReal& b) noexcept {
        return a.value_ > b.value_ + kTolerance ? a : b;
    }

private:
    double value_;
};

/// Tolerant comparisons: equal within 1e-8, ordered only beyond it.
constexpr bool operator==(const OBReal& a, const OBReal& b) noexcept {
    return OBReal(a.Value() - b.Value()).IsNearlyZero();
}
constexpr bool operator!=(const OBReal& a, const OBReal& b) noexcept {
    return !(a == b);
}
constexpr bool operator<(const OBReal& a, const OBReal& b) noexcept {
    return a.Value() + OBReal::kTolerance < b.Value();
}
constexpr bool operator>(const OBReal& a, const OBReal& b) noexcept {
    return a.Value() > b.Value() + OBReal::kTolerance;
}
constexpr bool operator<=(const OBReal& a, const OBReal& b) noexcept {
    return a.Value() <= b.Value() + OBReal::kTolerance;
}
constexpr bool operator>=(const OBReal& a, const OBReal& b) noexcept {
    return a.Value() >= b.Value() - OBReal::kTolerance;
}

// Comparing with a plain number is tolerant as well (and not ambiguous with the
// built-in comparison of doubles).
#define OB_REAL_MIXED_COMPARISON(op)                                                               \
    template <class T, class = std::enable_if_t<std::is_arithmetic<T>::value>>                     \
    constexpr bool operator op(const OBReal& a, T b) noexcept {                                    \
        return a op OBReal(static_cast<double>(b));                                                \
    }                                                                                              \
    template <class T, class = std::enable_if_t<std::is_arithmetic<T>::value>>                     \
    constexpr bool operator op(T a, const OBReal& b) noexcept {                                    \
        return OBReal(static_cast<double>(a)) op b;                                                \
    }
OB_REAL_MIXED_COMPARISON(==)
OB_REAL_MIXED_COMPARISON(!=)
OB_REAL_MIXED_COMPARISON(<)
OB_REAL_MIXED_COMPARISON(>)
OB_REAL_MIXED_COMPARISON(<=)
OB_REAL_MIXED_COMPARISON(>=)
#undef OB_REAL_MIXED_COMPARISON

/// The platform's integer point and rectangle (32-bit fields).
struct tagPOINT {
    int x;
    int y;
};
struct tagRECT {
    int left;
    int top;
    int right;
    int bottom;
};

class OBRect;
class OBStream;

/// A point: x, then y. The y axis grows downwards.
class OMBRA_API OBPoint {
public:
    OBPoint() noexcept : x_(0.0), y_(0.0) {}
    OBPoint(const OBReal& x, const OBReal& y) noexcept : x_(x), y_(y) {}

    OBReal& X() noexcept { return x_; }
    const OBReal& X() const noexcept { return x_; }
    void X(const OBReal& x) noexcept { x_ = x; }
    OBReal& Y() noexcept { return y_; }
    const OBReal& Y() const noexcept { return y_; }
    void Y(const OBReal& y) noexcept { y_ = y; }

    OBPoint& operator+=(const OBPoint& p) noexcept {
        x_ += p.x_;
        y_ += p.y_;
        return *this;
    }
    OBPoint& operator-=(const OBPoint& p) noexcept {
        x_ -= p.x_;
        y_ -= p.y_;
        return *this;
    }

    /// Euclidean distance to `p`.
    OBReal Distance(const OBPoint& p) const;
    /// Distance from the origin.
    OBReal VectorLength() const;
    /// Angle of the vector in degrees, counted from the x axis; not wrapped,
    /// so x > 0 and y < 0 give a negative angle.
    OBReal VectorAngle() const;
    /// The point mirrored through `centre`: 2 * centre - this.
    OBPoint MirrorPoint(const OBPoint& centre) const;
    /// The point of the line p1-p2 at this point's distance from p1, on the
    /// side away from p2; this point itself when p1 and p2 coincide.
    OBPoint ProjectOnLine(const OBPoint& p1, const OBPoint& p2) const;
    /// Moves the point onto `bounds` when it lies outside; 1 when it moved.
    short ConstrainTo(const OBRect& bounds);
    /// Each coordinate becomes floor(v + 0.5).
    void Round();
    /// Reads x, then y, from a reading stream or writes them to a writing
    /// one: 16 bytes, each coordinate an 8-byte double. Null: nothing.
    void ReadWrite(OBStream* stream);

private:
    OBReal x_;
    OBReal y_;
};

/// Coordinate-wise tolerant equality.
inline bool operator==(const OBPoint& a, const OBPoint& b) noexcept {
    return a.X() == b.X() && a.Y() == b.Y();
}
inline bool operator!=(const OBPoint& a, const OBPoint& b) noexcept {
    return !(a == b);
}
inline OBPoint operator+(OBPoint a, const OBPoint& b) noexcept {
    return a += b;
}
inline OBPoint operator-(OBPoint a, const OBPoint& b) noexcept {
    return a -= b;
}
/// Truncates each coordinate towards zero and wraps it to 16 bits.
OMBRA_API tagPOINT ToSys(const OBPoint& p);

/// A rectangle: left, top, right, bottom. Normalised, top is the smaller y.
/// Setters store what they are given; only the two-point and four-real
/// constructors, Normalize, MovePointTo and the free Union normalise.
class OMBRA_API OBRect {
public:
    /// The eight handles of a rectangle: edge midpoints, then corners.
    enum _PointIndex : int {
        kNoPoint = -1,
        kTopCenter = 0,
        kLeftCenter = 1,
        kBottomCenter = 2,
        kRightCenter = 3,
        kLeftTop = 4,
        kRightTop = 5,
        kRightBottom = 6,
        kLeftBottom = 7
    };

    OBRect() noexcept : left_(0.0), top_(0.0), right_(0.0), bottom_(0.0) {}
    /// An empty rectangle at `p`.
    explicit OBRect(const OBPoint& p) noexcept
        : left_(p.X()), top_(p.Y()), right_(p.X()), bottom_(p.Y()) {}
    /// Left-top and right-bottom, then normalised.
    OBRect(const OBPoint& leftTop, const OBPoint& rightBottom) noexcept;
    /// The rectangle spanned by (x1, y1) and (x2, y2).
    OBRect(const OBReal& x1, const OBReal& y1, const OBReal& x2, const OBReal& y2) noexcept;
    explicit OBRect(const tagRECT& r) noexcept
        : left_(r.left), top_(r.top), right_(r.right), bottom_(r.bottom) {}

    OBReal& Left() noexcept { return left_; }
    const OBReal& Left() const noexcept { return left_; }
    void Left(const OBReal& v) noexcept { left_ = v; }
    OBReal& Top() noexcept { return top_; }
    const OBReal& Top() const noexcept { return top_; }
    void Top(const OBReal& v) noexcept { top_ = v; }
    OBReal& Right() noexcept { return right_; }
    const OBReal& Right() const noexcept { return right_; }
    void Right(const OBReal& v) noexcept { right_ = v; }
    OBReal& Bottom() noexcept { return bottom_; }
    const OBReal& Bottom() const noexcept { return bottom_; }
    void Bottom(const OBReal& v) noexcept { bottom_ = v; }

    OBPoint LeftTop() const noexcept { return OBPoint(left_, top_); }
    void LeftTop(const OBPoint& p) noexcept {
        left_ = p.X();
        top_ = p.Y();
    }
    OBPoint RightTop() const noexcept { return OBPoint(right_, top_); }
    void RightTop(const OBPoint& p) noexcept {
        right_ = p.X();
        top_ = p.Y();
    }
    OBPoint RightBottom() const noexcept { return OBPoint(right_, bottom_); }
    void RightBottom(const OBPoint& p) noexcept {
        right_ = p.X();
        bottom_ = p.Y();
    }
    OBPoint LeftBottom() const noexcept { return OBPoint(left_, bottom_); }
    void LeftBottom(const OBPoint& p) noexcept {
        left_ = p.X();
        bottom_ = p.Y();
    }

    OBReal Width() const noexcept { return right_ - left_; }
    OBReal Height() const noexcept { return bottom_ - top_; }
    /// (width, height).
    OBPoint Dimensions() const noexcept { return OBPoint(Width(), Height()); }
    void SetWidth(const OBReal& w) noexcept { right_ = left_ + w; }
    void SetHeight(const OBReal& h) noexcept { bottom_ = top_ + h; }
    void SetDimensions(const OBReal& w, const OBReal& h) noexcept {
        SetWidth(w);
        SetHeight(h);
    }
    OBReal GetHCenter() const noexcept { return (left_ + right_) / 2; }
    OBReal GetVCenter() const noexcept { return (top_ + bottom_) / 2; }
    OBPoint GetCenter() const noexcept { return OBPoint(GetHCenter(), GetVCenter()); }
    /// Height over width; 0 for a rectangle without width.
    OBReal AspectRatio() const;

    /// 1 when the width or the height is within the tolerance of 0.
    short IsEmpty() const noexcept { return (left_ == right_ || top_ == bottom_) ? 1 : 0; }
    /// Collapses the rectangle onto its left-top corner.
    void SetEmpty() noexcept {
        right_ = left_;
        bottom_ = top_;
    }
    /// Swaps inverted edges; 1 when anything was swapped.
    short Normalize();
    /// Each coordinate becomes floor(v + 0.5).
    void Round();
    /// Moves the left and top edges in and the right and bottom edges in.
    void Inset(const OBReal& dx, const OBReal& dy) noexcept;
    void MoveRel(const OBPoint& d) noexcept { MoveRel(d.X(), d.Y()); }
    void MoveRel(const OBReal& dx, const OBReal& dy) noexcept;
    /// Moves the left-top corner to (x, y), keeping the size.
    void MoveTo(const OBPoint& p) noexcept { MoveTo(p.X(), p.Y()); }
    void MoveTo(const OBReal& x, const OBReal& y) noexcept;
    /// Centres the rectangle on (x, y), keeping the size.
    void CenterOn(const OBPoint& p) noexcept { CenterOn(p.X(), p.Y()); }
    void CenterOn(const OBReal& x, const OBReal& y) noexcept;

    /// 1 when `p` lies inside or on an edge.
    short PointIn(const OBPoint& p) const;
    /// 1 when `r` lies within this rectangle.
    short RectIn(const OBRect& r) const;
    /// 0 inside, else the distance to the nearest edge or corner.
    OBReal DistanceTo(const OBPoint& p) const;
    /// Grows to cover `r` as well; the result is not normalised.
    void Union(const OBRect& r);
    /// Grows to cover `p` as well.
    void Expand(const OBPoint& p);
    /// Shifts `r`, keeping its size, so that it lies within this rectangle;
    /// 1 when it moved.
    short ConstrainTo(OBRect& r) const;

    /// The handle's point; (0, 0) for an index outside 0 to 7.
    OBPoint GetPoint(_PointIndex index) const;
    /// The first handle (0 to 7) at `p`, else kNoPoint.
    _PointIndex GetPointIndex(const OBPoint& p) const;
    OBPoint GetOppositePoint(_PointIndex index) const {
        return GetPoint(GetOppositePointIndex(index));
    }
    /// The handle across the rectangle; kNoPoint for an index outside 0 to 7.
    static _PointIndex GetOppositePointIndex(_PointIndex index);
    /// 1 for the four corner handles.
    static short IsCorner(_PointIndex index) {
        return (index >= kLeftTop && index <= kLeftBottom) ? 1 : 0;
    }
    /// Moves one handle to `p`, normalises, and returns the handle now at `p`.
    _PointIndex MovePointTo(_PointIndex index, const OBPoint& p);
    /// 7 - index for handles 0 to 7, else -1.
    static int PointIndexToIndex(_PointIndex index);
    /// 7 - n for n in 0 to 7, else kNoPoint.
    static _PointIndex IndexToPointIndex(int n);
    /// Transfers left, top, right and bottom, in this order (32 bytes)
    /// through a reading or a writing stream. Null: nothing.
    void ReadWrite(OBStream* stream);

private:
    OBReal left_;
    OBReal top_;
    OBReal right_;
    OBReal bottom_;
};

/// All four coordinates tolerant-equal.
OMBRA_API bool operator==(const OBRect& a, const OBRect& b);
inline bool operator!=(const OBRect& a, const OBRect& b) {
    return !(a == b);
}
/// The normalised rectangle covering both.
OMBRA_API OBRect Union(const OBRect& a, const OBRect& b);
/// The common part of `a` and `b`, or `whenDisjoint` when they do not intersect.
OMBRA_API OBRect Intersection(const OBRect& a, const OBRect& b, const OBRect& whenDisjoint);
/// 1 when the two overlap; a shared edge alone does not count.
OMBRA_API short Intersect(const OBRect& a, const OBRect& b);
/// 1 when the two overlap or share an edge.
OMBRA_API short IntersectOrAbut(const OBRect& a, const OBRect& b);
/// Grows outwards to whole units (floor left and top, ceiling right and
/// bottom), each wrapped to 16 bits.
OMBRA_API tagRECT ToSys(const OBRect& r);

namespace UNITS {
namespace LINEAR {
/// Linear measurement units (32-bit); values 11 and 12 are unnamed.
enum UnitEnum : int {
#define OB_LINEAR_UNIT(name, value, unitString, pointsPerUnit) name = value,
#include <ombra/defs/units_linear.def>
};
} // namespace LINEAR
namespace ANGULAR {
/// Angular measurement units (32-bit).
enum UnitEnum : int {
#define OB_ANGULAR_UNIT(name, value, unitString) name = value,
#include <ombra/defs/units_angular.def>
};
} // namespace ANGULAR
} // namespace UNITS

/// A rectangle tagged with its unit.
struct OMBRA_API OBRectangle {
    UNITS::LINEAR::UnitEnum unit = UNITS::LINEAR::kPoints;
    OBRect rect;
};

/// A straight line of unbounded length: y = slope * x + yIntercept, or
/// vertical at x = xIntercept. The default line is undefined.
class OMBRA_API OBLine {
public:
    /// The undefined line.
    OBLine() noexcept;
    OBLine(const OBReal& slope, const OBReal& yIntercept) noexcept;
    /// The vertical line at x.
    explicit OBLine(const OBReal& x) noexcept;
    /// The line through two points; undefined when they coincide.
    OBLine(const OBPoint& p1, const OBPoint& p2) noexcept;

    const OBReal& Slope() const noexcept { return slope_; }
    const OBReal& YIntercept() const noexcept { return yIntercept_; }
    const OBReal& XIntercept() const noexcept { return xIntercept_; }
    short IsVertical() const noexcept { return isVertical_; }
    short IsUndefined() const noexcept { return isUndefined_; }

    /// 0 for a vertical or undefined line.
    short SolveForY(const OBReal& x, OBReal* y) const;
    /// 0 for an undefined or nearly horizontal line.
    short SolveForX(const OBReal& y, OBReal* x) const;
    /// Writes the slope; returns 1 when the line is vertical (slope meaningless).
    short GetSlope(OBReal* slope) const;
    /// The perpendicular through `p`; undefined for an undefined line.
    OBLine SolveForPerpendicularLine(const OBPoint& p) const;
    /// 0 for parallel or undefined lines.
    short SolveForIntersectPoint(const OBLine& other, OBPoint* out) const;
    /// Intersection with the segment p1-p2; `out` receives the line
    /// intersection even when it lies off the segment (result 0).
    short SolveForIntersectPoint(const OBPoint& p1, const OBPoint& p2, OBPoint* out) const;
    /// The point of the line at `distance` from `from`, of the two the one
    /// farther from `awayFrom`; 0 when the circle does not reach the line.
    short FindPointOnLine(const OBPoint& from, const OBReal& distance, const OBPoint& awayFrom,
                          OBPoint* out) const;
    short ContainsPoint(const OBPoint& p) const;

private:
    void SetXIntercept();

    OBReal slope_;
    OBReal yIntercept_;
    OBReal xIntercept_;
    short isVertical_;
    short isUndefined_;
};

OMBRA_API bool operator==(const OBLine& a, const OBLine& b);
inline bool operator!=(const OBLine& a, const OBLine& b) {
    return !(a == b);
}

/// A 2-D affine transformation (a, b, c, d, tx, ty): (x, y) maps to
/// (a x + c y + tx, b x + d y + ty). Read as Scale * Skew(x) * Rotate *
/// Translate, applied in that order; angles are in degrees.
class OMBRA_API OBMatrix {
public:
    /// The identity.
    OBMatrix() noexcept : m_{1.0, 0.0, 0.0, 1.0, 0.0, 0.0} {}
    OBMatrix(const OBReal& a, const OBReal& b, const OBReal& c, const OBReal& d, const OBReal& tx,
             const OBReal& ty) noexcept
        : m_{a, b, c, d, tx, ty} {}

    /// 1 to 5 give b, c, d, tx, ty; every other index gives a.
    OBReal& operator[](int i) noexcept { return m_[(i >= 1 && i <= 5) ? i : 0]; }
    const OBReal& operator[](int i) const noexcept { return m_[(i >= 1 && i <= 5) ? i : 0]; }
    void Get(OBReal& a, OBReal& b, OBReal& c, OBReal& d, OBReal& tx, OBReal& ty) const noexcept;

    short IsIdentity() const;
    /// 1 when the determinant is within the tolerance of 0.
    short IsSingular() const;
    void ResetToIdentity() noexcept { *this = OBMatrix(); }

    /// This = this * n: n acts after this matrix.
    void PostConcat(const OBMatrix& n);
    /// This = n * this: n acts before this matrix.
    void PreConcat(const OBMatrix& n);
    void Translate(const OBReal& dx, const OBReal& dy);
    void PreTranslate(const OBReal& dx, const OBReal& dy);
    /// Moves the translation to (x, y).
    void SetOrigin(const OBReal& x, const OBReal& y);
    void Scale(const OBReal& sx, const OBReal& sy);
    void PreScale(const OBReal& sx, const OBReal& sy);
    /// Replaces the scale factors, keeping rotation and skew.
    void ScaleTo(const OBReal& sx, const OBReal& sy);
    void Rotate(const OBReal& degrees);
    void PreRotate(const OBReal& degrees);
    /// Replaces the rotation angle.
    void RotateTo(const OBReal& degrees);
    void Skew(const OBReal& xDegrees, const OBReal& yDegrees);
    /// Replaces the skew angle along x, keeping rotation and scale.
    void SkewTo(const OBReal& xDegrees);
    /// Inverts in place without a singularity test: test IsSingular first.
    void Invert();

    /// Rotation in degrees, 0 to 360, from a and b.
    OBReal GetRotationAngle() const;
    OBReal GetXSkewAngle() const;
    OBReal GetXScale() const;
    OBReal GetYScale() const;
    /// The decomposition; null pointers are skipped.
    void GetMatrixInfo(OBReal* rotation, OBReal* xSkew, OBReal* xScale, OBReal* yScale) const;

    void Transform(OBReal* x, OBReal* y) const;
    void Transform(OBPoint* p) const;

private:
    OBReal m_[6];
};

/// All six elements tolerant-equal.
OMBRA_API bool operator==(const OBMatrix& a, const OBMatrix& b);
inline bool operator!=(const OBMatrix& a, const OBMatrix& b) {
    return !(a == b);
}
/// a * b: b acts after a.
OMBRA_API OBMatrix operator*(const OBMatrix& a, const OBMatrix& b);

/// How the direction points of a path point lie.
enum OBPathPointType : int {
    kSmoothPoint = 0, ///< the anchor lies on the line through both direction points
    kCornerPoint = 1, ///< any other arrangement
    kPlainPoint = 2   ///< no handles: all three points coincide
};
enum OBPathPointIndex : int { kLeftDirPoint = 0, kAnchorPoint = 1, kRightDirPoint = 2 };

/// One point of a Bezier path: its type, left direction point, anchor and
/// right direction point.
class OMBRA_API OBPathPoint {
public:
    /// A plain point at the origin.
    OBPathPoint() noexcept : type_(kPlainPoint) {}
    /// A plain point at `p`.
    explicit OBPathPoint(const OBPoint& p) noexcept
        : type_(kPlainPoint), left_(p), anchor_(p), right_(p) {}
    /// The type is derived from the arrangement of the points.
    OBPathPoint(const OBPoint& left, const OBPoint& anchor, const OBPoint& right);
    /// Stores the points with the type as given.
    OBPathPoint(OBPathPointType type, const OBPoint& left, const OBPoint& anchor,
                const OBPoint& right) noexcept
        : type_(type), left_(left), anchor_(anchor), right_(right) {}
    /// Three points: left, anchor, right, and the type from the line test.
    /// Any other number: a plain point at the first (the origin when empty).
    explicit OBPathPoint(const OBBaseTypeCollection<OBPoint>& points);
    /// As above, with the type as given.
    OBPathPoint(OBPathPointType type, const OBBaseTypeCollection<OBPoint>& points);

    /// Index 0 and 2 give the direction points, every other index the anchor.
    const OBPoint& GetPoint(OBPathPointIndex index) const noexcept {
        return index == kLeftDirPoint ? left_ : index == kRightDirPoint ? right_ : anchor_;
    }
    const OBPoint& GetLeftDirPoint() const noexcept { return left_; }
    const OBPoint& GetAnchorPoint() const noexcept { return anchor_; }
    const OBPoint& GetRightDirPoint() const noexcept { return right_; }
    OBPathPointType GetAnchorType() const noexcept { return type_; }

    /// The normalised bounds of the three points; empty at the anchor for a
    /// plain point.
    OBRect GetBoundingBox() const;
    /// Transforms the three points; the type stays.
    void TransformPoints(const OBMatrix& m);
    OBPathPoint& operator*=(const OBReal& factor);
    OBPathPoint& operator/=(const OBReal& divisor);

private:
    static OBPathPointType LineTest(const OBPoint& left, const OBPoint& anchor,
                                    const OBPoint& right);

    OBPathPointType type_;
    OBPoint left_;
    OBPoint anchor_;
    OBPoint right_;
};

/// Same type and all three points tolerant-equal.
OMBRA_API bool operator==(const OBPathPoint& a, const OBPathPoint& b);
inline bool operator!=(const OBPathPoint& a, const OBPathPoint& b) {
    return !(a == b);
}
inline OBPathPoint operator*(OBPathPoint p, const OBReal& factor) {
    return p *= factor;
}
inline OBPathPoint operator*(const OBReal& factor, OBPathPoint p) {
    return p *= factor;
}
inline OBPathPoint operator/(OBPathPoint p, const OBReal& divisor) {
    return p /= divisor;
}

/// Conversions between measurement units and their names. A bad unit or
/// unit string throws its message as a C string (const char*).
namespace UNITS {
/// Converts through points; units without a factor count as points.
OMBRA_API void ConvertMeasurement(const LINEAR::UnitEnum& from, const OBReal& value,
                                  const LINEAR::UnitEnum& to, OBReal& result);
/// Throws "Unexpected ANGULAR::UnitEnum values" for an unknown unit.
OMBRA_API void ConvertMeasurement(const ANGULAR::UnitEnum& from, const OBReal& value,
                                  const ANGULAR::UnitEnum& to, OBReal& result);
/// Leading spaces and tabs are skipped, the rest must be a unit string
/// exactly; throws "Invalid unit string in measurement" otherwise.
OMBRA_API void ParseUnit(const char* text, LINEAR::UnitEnum& unit);
/// "degrees" or "radians" exactly; throws "Invalid unit string in angle measurement".
OMBRA_API void ParseUnit(const char* text, ANGULAR::UnitEnum& unit);
/// The unit string; throws "Bad measurement unit type" for a unit without one.
OMBRA_API void UnitName(const LINEAR::UnitEnum& unit, const char*& name);
/// The unit string; throws "Bad Angle unit type" for an unknown unit.
OMBRA_API void UnitName(const ANGULAR::UnitEnum& unit, const char*& name);
} // namespace UNITS

#endif
