// Geometry values: tolerant reals, points, rectangles, lines, matrices and
// path points, used the way plug-ins use them; measurement units, their
// conversions, names and exceptions.
#include <ombra/geometry.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace {

constexpr double kNear = 1e-9;

void ExpectPoint(const OBPoint& p, double x, double y, double tolerance = kNear) {
    EXPECT_NEAR(double(p.X()), x, tolerance);
    EXPECT_NEAR(double(p.Y()), y, tolerance);
}

void ExpectRect(const OBRect& r, double left, double top, double right, double bottom) {
    EXPECT_DOUBLE_EQ(double(r.Left()), left);
    EXPECT_DOUBLE_EQ(double(r.Top()), top);
    EXPECT_DOUBLE_EQ(double(r.Right()), right);
    EXPECT_DOUBLE_EQ(double(r.Bottom()), bottom);
}

void ExpectMatrix(const OBMatrix& m, double a, double b, double c, double d, double tx, double ty,
                  double tolerance = 1e-12) {
    const double want[6] = {a, b, c, d, tx, ty};
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(double(m[i]), want[i], tolerance) << i;
}

// An inverted rectangle, as only the setters make one.
OBRect Inverted(double left, double top, double right, double bottom) {
    OBRect r;
    r.Left(left);
    r.Top(top);
    r.Right(right);
    r.Bottom(bottom);
    return r;
}

// ---------------------------------------------------------------- OBReal

static_assert(sizeof(OBReal) == sizeof(double) && sizeof(OBPoint) == 2 * sizeof(double) &&
                  sizeof(OBRect) == 4 * sizeof(double) && sizeof(OBMatrix) == 6 * sizeof(double),
              "the composites are plain arrays of doubles");

TEST(GeometryReal, ComparisonsUseTheFixedTolerance) {
    OBReal a = 1.0;
    EXPECT_TRUE(a == OBReal(1.0 + 5e-9));
    EXPECT_FALSE(a == OBReal(1.0 + 2e-8));
    EXPECT_FALSE(a < OBReal(1.0 + 5e-9));
    EXPECT_TRUE(a < OBReal(1.0 + 2e-8));
    EXPECT_TRUE(a <= OBReal(1.0 - 5e-9));
    EXPECT_FALSE(a <= OBReal(1.0 - 2e-8));
    EXPECT_FALSE(OBReal(1.0 + 5e-9) > a);
    // Plain numbers on either side compare with the same tolerance.
    EXPECT_TRUE(0.0 == OBReal(-3e-9));
    EXPECT_FALSE(OBReal(-2e-8).IsNearlyZero());
    EXPECT_FALSE(OBReal(std::nan("")) == OBReal(std::nan("")));
    // Min and Max prefer the second argument when the two are close.
    EXPECT_EQ(double(OBReal::Min(1.0, 2.0)), 1.0);
    EXPECT_EQ(double(OBReal::Min(1.0, 1.0 + 5e-9)), 1.0 + 5e-9);
    EXPECT_EQ(double(OBReal::Max(1.0, 1.0 - 5e-9)), 1.0 - 5e-9);
}

// ---------------------------------------------------------------- OBPoint

TEST(GeometryPoint, AnglesProjectionBoundsRoundingAndToSys) {
    EXPECT_EQ(double(OBPoint().VectorAngle()), 0.0);
    EXPECT_EQ(double(OBPoint(0, -2).VectorAngle()), 270.0);
    EXPECT_NEAR(double(OBPoint(-1, -1).VectorAngle()), 225.0, kNear);
    EXPECT_NEAR(double(OBPoint(1, -1).VectorAngle()), -45.0, kNear); // not wrapped
    // Projection: at p's distance from p1, on the far side of p1 from p2.
    ExpectPoint(OBPoint(3, 4).ProjectOnLine(OBPoint(0, 0), OBPoint(10, 0)), -5, 0);

    OBPoint onEdge(10 + 5e-9, 0), outside(-3, 25);
    EXPECT_EQ(onEdge.ConstrainTo(OBRect(0, 0, 10, 20)), 0);
    EXPECT_EQ(outside.ConstrainTo(OBRect(0, 0, 10, 20)), 1);
    ExpectPoint(outside, 0, 20);
    // Inverted bounds: a coordinate not on the left (top) edge moves onto it.
    for (double x : {-5.0, 5.0, 15.0}) {
        OBPoint q(x, 30);
        EXPECT_EQ(q.ConstrainTo(Inverted(10, 20, 0, 0)), 1);
        ExpectPoint(q, 10, 20);
    }

    OBPoint p(2.5, -2.5);
    p.Round();
    ExpectPoint(p, 3, -2, 0);
    tagPOINT s = ToSys(OBPoint(-1.9, 2.9));
    EXPECT_EQ(s.x, -1); // toward zero
    s = ToSys(OBPoint(40000.7, -40000.7));
    EXPECT_EQ(s.x, 40000 - 65536);
    EXPECT_EQ(s.y, -40000 + 65536);
    s = ToSys(OBPoint(65536.0 * 1e12 + 5, std::nan("")));
    EXPECT_TRUE(s.y == 0 && s.x >= -32768 && s.x <= 32767);
}

// ---------------------------------------------------------------- OBRect

TEST(GeometryRect, ConstructionNormalisesSettersDoNot) {
    ExpectRect(OBRect(10, 20, 0, 5), 0, 5, 10, 20);
    OBRect fromPoints(OBPoint(10, 20), OBPoint(0, 5));
    ExpectRect(fromPoints, 0, 5, 10, 20);
    EXPECT_EQ(fromPoints.Normalize(), 0);
    EXPECT_EQ(OBRect(OBPoint(3, 4)).IsEmpty(), 1);
    tagRECT sys{-1, 2, 30, 40};
    ExpectRect(OBRect(sys), -1, 2, 30, 40);

    OBRect r = Inverted(10, 5, 0, 8);
    EXPECT_DOUBLE_EQ(double(r.Width()), -10);
    EXPECT_EQ(r.Normalize(), 1);
    ExpectRect(r, 0, 5, 10, 8);
}

TEST(GeometryRect, SizeContainmentAndDistance) {
    EXPECT_DOUBLE_EQ(double(OBRect(0, 0, 10, 20).AspectRatio()), 2.0);
    EXPECT_EQ(double(OBRect(5, 0, 5, 10).AspectRatio()), 0.0);
    EXPECT_EQ(OBRect(0, 0, 10, 5e-9).IsEmpty(), 1);
    OBRect r(0, 0, 10, 10);
    EXPECT_EQ(r.PointIn(OBPoint(10, 10)), 1); // edges belong to the rectangle
    EXPECT_EQ(r.PointIn(OBPoint(-5e-9, 5)), 1);
    EXPECT_EQ(r.PointIn(OBPoint(-2e-8, 5)), 0);
    EXPECT_EQ(r.RectIn(OBRect(2, 2, 11, 5)), 0);
    EXPECT_DOUBLE_EQ(double(r.DistanceTo(OBPoint(13, 14))), 5.0); // beyond a corner
    EXPECT_DOUBLE_EQ(double(r.DistanceTo(OBPoint(-3, 5))), 3.0);
    EXPECT_DOUBLE_EQ(double(r.DistanceTo(OBPoint(5, 5))), 0.0);
}

TEST(GeometryRect, UnionIntersectionAndEquality) {
    OBRect a(0, 0, 10, 10), b(10, 0, 20, 10), far(50, 50, 60, 60), c(5, 5, 15, 15);
    EXPECT_EQ(Intersect(a, b), 0);
    EXPECT_EQ(IntersectOrAbut(a, b), 1);
    ExpectRect(Intersection(a, b, far), 50, 50, 60, 60);
    EXPECT_EQ(Intersect(c, a), 1);
    ExpectRect(Intersection(a, c, far), 5, 5, 10, 10);
    ExpectRect(Union(a, far), 0, 0, 60, 60);

    // In place, an inverted rectangle stays inverted; the free Union normalises.
    OBRect inverted = Inverted(30, 0, 20, 5);
    OBRect inPlace;
    inPlace.Union(inverted);
    ExpectRect(inPlace, 0, 0, 20, 5);
    OBRect lone = inverted;
    lone.Union(inverted);
    ExpectRect(lone, 30, 0, 20, 5);
    ExpectRect(Union(inverted, inverted), 20, 0, 30, 5);

    EXPECT_TRUE(a == OBRect(0, 0, 10, 10 + 5e-9));
    EXPECT_TRUE(a != OBRect(0, 0, 10, 10 + 2e-8));
}

TEST(GeometryRect, HandlesAndMovingThem) {
    OBRect r(0, 0, 10, 20);
    ExpectPoint(r.GetPoint(static_cast<OBRect::_PointIndex>(8)), 0, 0);
    EXPECT_EQ(r.GetPointIndex(r.GetCenter()), OBRect::kNoPoint);
    EXPECT_EQ(r.GetPointIndex(OBPoint(10, 0)), OBRect::kRightTop);
    EXPECT_EQ(r.GetPointIndex(OBPoint(10, 10 + 5e-9)), OBRect::kRightCenter);
    const int opposite[8] = {2, 3, 0, 1, 6, 7, 4, 5};
    for (int i = 0; i < 8; ++i) {
        auto index = static_cast<OBRect::_PointIndex>(i);
        EXPECT_EQ(r.GetPointIndex(r.GetPoint(index)), index) << "each handle is found";
        EXPECT_EQ(OBRect::GetOppositePointIndex(index), opposite[i]);
        EXPECT_EQ(OBRect::IsCorner(index), i >= 4 ? 1 : 0);
        EXPECT_EQ(OBRect::IndexToPointIndex(OBRect::PointIndexToIndex(index)), index);
    }
    EXPECT_EQ(OBRect::PointIndexToIndex(OBRect::kLeftTop), 3);
    EXPECT_EQ(OBRect::IndexToPointIndex(8), OBRect::kNoPoint);
    EXPECT_EQ(OBRect::GetOppositePointIndex(OBRect::kNoPoint), OBRect::kNoPoint);

    // MovePointTo returns the handle now at the point.
    r = OBRect(0, 0, 10, 10);
    EXPECT_EQ(r.MovePointTo(OBRect::kLeftTop, OBPoint(30, 30)), OBRect::kRightBottom);
    ExpectRect(r, 10, 10, 30, 30);

    // Whatever handle moves wherever, the result names the handle at p.
    for (int i = 0; i < 8; ++i) {
        for (OBPoint p : {OBPoint(-5, -5), OBPoint(5, 15), OBPoint(15, -5), OBPoint(4, 6)}) {
            OBRect s(0, 0, 10, 10);
            auto index = s.MovePointTo(static_cast<OBRect::_PointIndex>(i), p);
            EXPECT_EQ(s.Normalize(), 0);
            OBPoint at = s.GetPoint(index);
            if (OBRect::IsCorner(index))
                EXPECT_EQ(at, p) << i;
            else if (index == OBRect::kTopCenter || index == OBRect::kBottomCenter)
                EXPECT_TRUE(at.Y() == p.Y()) << i;
            else
                EXPECT_TRUE(at.X() == p.X()) << i;
        }
    }
    OBRect unchanged(0, 0, 10, 10);
    EXPECT_EQ(unchanged.MovePointTo(OBRect::kNoPoint, OBPoint(50, 50)), OBRect::kNoPoint);
    ExpectRect(unchanged, 0, 0, 10, 10);
}

TEST(GeometryRect, ConstrainToMovesTheArgumentAndToSysWraps) {
    OBRect bounds(0, 0, 100, 100);
    OBRect out(-5, 95, 5, 110);
    EXPECT_EQ(bounds.ConstrainTo(out), 1);
    ExpectRect(out, 0, 85, 10, 100);
    OBRect wide(10, 0, 170, 10); // wider than the bounds: the right edge wins
    EXPECT_EQ(bounds.ConstrainTo(wide), 1);
    ExpectRect(wide, -60, 0, 100, 10);

    tagRECT s = ToSys(OBRect(OBPoint(-0.5, 0.2), OBPoint(10.1, 40000.0)));
    EXPECT_EQ(s.left, -1);
    EXPECT_EQ(s.top, 0);
    EXPECT_EQ(s.right, 11);
    EXPECT_EQ(s.bottom, 40000 - 65536);
}

// ---------------------------------------------------------------- OBLine

TEST(GeometryLine, UndefinedVerticalAndSlopedLines) {
    OBLine undefined(OBPoint(1, 1), OBPoint(1, 1));
    OBReal out = 42.0;
    EXPECT_EQ(undefined.IsUndefined(), 1);
    EXPECT_EQ(undefined.SolveForY(1, &out), 0);
    EXPECT_EQ(undefined.SolveForX(1, &out), 0);
    EXPECT_EQ(double(out), 42.0);
    EXPECT_TRUE(undefined == OBLine());

    OBLine vertical(OBPoint(2, 0), OBPoint(2, 5));
    EXPECT_EQ(vertical.SolveForX(123, &out), 1);
    EXPECT_EQ(double(out), 2.0);
    EXPECT_EQ(vertical.SolveForY(2, &out), 0);
    EXPECT_EQ(vertical.GetSlope(&out), 1);
    EXPECT_TRUE(vertical == OBLine(2.0 + 5e-9));
    EXPECT_TRUE(vertical != OBLine());

    OBLine sloped(OBPoint(0, 1), OBPoint(2, 5)); // y = 2x + 1
    EXPECT_TRUE(sloped == OBLine(2, 1));
    EXPECT_EQ(sloped.SolveForX(7, &out), 1);
    EXPECT_DOUBLE_EQ(double(out), 3.0);
    EXPECT_TRUE(sloped.SolveForPerpendicularLine(OBPoint(2, 5)) == OBLine(-0.5, 6));
}

TEST(GeometryLine, IntersectionsAndPointsAtADistance) {
    OBLine diagonal(1, 0); // y = x
    OBPoint at;
    EXPECT_EQ(OBLine(3.0).SolveForIntersectPoint(diagonal, &at), 1);
    ExpectPoint(at, 3, 3);
    EXPECT_EQ(diagonal.SolveForIntersectPoint(OBLine(1, 5), &at), 0); // parallel
    EXPECT_EQ(diagonal.SolveForIntersectPoint(OBPoint(0, 1), OBPoint(1, 0), &at), 1);
    ExpectPoint(at, 0.5, 0.5);
    EXPECT_EQ(diagonal.SolveForIntersectPoint(OBPoint(1, 1), OBPoint(2, 0), &at), 1); // an end
    EXPECT_EQ(diagonal.SolveForIntersectPoint(OBPoint(2, 1), OBPoint(3, 0), &at), 0);
    ExpectPoint(at, 1.5, 1.5); // the line intersection is still reported

    OBPoint out(99, 99);
    EXPECT_EQ(OBLine(0, 0).FindPointOnLine(OBPoint(0, 0), 0, OBPoint(1, 0), &out), 0);
    ExpectPoint(out, 99, 99);
    EXPECT_EQ(OBLine(2.0).FindPointOnLine(OBPoint(2, 0), 3, OBPoint(2, 10), &out), 1); // vertical
    ExpectPoint(out, 2, -3);
    EXPECT_EQ(OBLine(1, 1).FindPointOnLine(OBPoint(10, 0), 1, OBPoint(0, 0), &out), 0); // a miss
}

// Of the two points at a distance on a line that is not vertical, the one
// farther from the other point: on the line, at the distance.
TEST(GeometryLine, PointsAtADistanceLieOnTheLine) {
    for (double m : {-2.0, -0.5, 0.0, 0.75, 3.0}) {
        for (double k : {-4.0, 1.5}) {
            OBLine line(m, k);
            OBPoint from(1, m + k), out;
            for (double awayX : {10.0, -10.0}) {
                OBPoint away(awayX, awayX * m + k);
                ASSERT_EQ(line.FindPointOnLine(from, 2.0, away, &out), 1);
                EXPECT_NEAR(double(out.Y()), m * double(out.X()) + k, 1e-9) << m << " " << k;
                EXPECT_NEAR(double(out.Distance(from)), 2.0, 1e-9) << m << " " << k;
                EXPECT_EQ(double(out.X()) < 1.0, awayX > 1.0) << "the side away from the point";
            }
        }
    }
}

// ---------------------------------------------------------------- OBMatrix

TEST(GeometryMatrix, IndexingAndConcatenationOrder) {
    OBMatrix n(1, 2, 3, 4, 5, 6);
    EXPECT_EQ(double(n[-1]), 1.0);
    EXPECT_EQ(double(n[6]), 1.0);
    EXPECT_EQ(OBMatrix(2, 4, 1, 2, 0, 0).IsSingular(), 1);
    EXPECT_TRUE(OBMatrix() != OBMatrix(1, 0, 0, 1, 0, 2e-8));
    OBPoint p(1, 2);
    n.Transform(&p);
    ExpectPoint(p, 1 + 6 + 5, 2 + 8 + 6);

    OBMatrix scale(2, 0, 0, 3, 0, 0), move(1, 0, 0, 1, 10, 20);
    OBMatrix post = scale;
    post.PostConcat(move); // scale first, then move
    p = OBPoint(1, 1);
    post.Transform(&p);
    ExpectPoint(p, 12, 23);
    OBMatrix pre = scale;
    pre.PreConcat(move); // move first, then scale
    p = OBPoint(1, 1);
    pre.Transform(&p);
    ExpectPoint(p, 22, 63);
    EXPECT_TRUE(scale * move == post);
    EXPECT_TRUE(move * scale == pre);
    OBMatrix t;
    t.Translate(3, 4);
    t.Scale(2, 2);
    t.PreTranslate(1, 1);
    t.PreScale(0.5, 1);
    ExpectMatrix(t, 1, 0, 0, 2, 8, 10);
}

TEST(GeometryMatrix, RotationAndDecompositionRoundTrip) {
    OBMatrix r, back;
    r.Rotate(90);
    ExpectMatrix(r, 0, 1, -1, 0, 0, 0);
    back.Rotate(-90);
    EXPECT_DOUBLE_EQ(double(back.GetRotationAngle()), 270.0);
    // Scale, skew, rotate and translate, read back through each path.
    OBReal rotation = -1, skew = -1, xScale = -1, yScale = -1;
    for (double angle : {30.0, 90.0, 135.0, 250.0, 315.0}) {
        OBMatrix s;
        s.Scale(1.5, 0.5);
        s.Skew(20, 0);
        s.Rotate(angle);
        s.Translate(7, -3);
        s.GetMatrixInfo(nullptr, nullptr, nullptr, nullptr);
        s.GetMatrixInfo(&rotation, &skew, &xScale, &yScale);
        EXPECT_NEAR(double(rotation), angle, 1e-9);
        EXPECT_NEAR(double(skew), 20, 1e-9);
        EXPECT_NEAR(double(xScale), 1.5, 1e-9);
        EXPECT_NEAR(double(yScale), 0.5, 1e-9);
        s.SkewTo(-10);
        s.ScaleTo(4, 5);
        EXPECT_NEAR(double(s.GetXSkewAngle()), -10, 1e-9);
        EXPECT_NEAR(double(s.GetXScale()), 4, 1e-9);
        EXPECT_NEAR(double(s.GetYScale()), 5, 1e-9);
        EXPECT_NEAR(double(s.GetRotationAngle()), angle, 1e-9);
        s.RotateTo(45);
        EXPECT_NEAR(double(s.GetRotationAngle()), 45.0, 1e-9) << angle;
        EXPECT_NEAR(double(s.GetXScale()), 4, 1e-9);
    }

    // Degenerate: the x axis collapsed.
    OBMatrix(0, 0, 1, 4, 0, 0).GetMatrixInfo(&rotation, &skew, &xScale, &yScale);
    EXPECT_EQ(double(rotation), 0.0);
    EXPECT_EQ(double(skew), 0.0);
    EXPECT_EQ(double(xScale), 0.0);
    EXPECT_EQ(double(yScale), 4.0);
}

TEST(GeometryMatrix, SkewTangentsAndInversion) {
    OBMatrix s;
    s.Skew(45, 90); // tan 90 is replaced by 0
    ExpectMatrix(s, 1, 0, 1, 1, 0, 0);

    OBMatrix m;
    m.Scale(2, -3);
    m.Skew(15, 0);
    m.Rotate(40);
    m.Translate(12, -7);
    OBMatrix inverse = m;
    inverse.Invert();
    ExpectMatrix(m * inverse, 1, 0, 0, 1, 0, 0, 1e-12);
    OBMatrix singular(1, 2, 2, 4, 0, 0);
    singular.Invert(); // no test: IEEE infinities or NaN
    EXPECT_FALSE(std::isfinite(double(singular[0])));
}

// ---------------------------------------------------------------- OBPathPoint

// Vertical handles test the anchor through SolveForX; the anchor may sit
// beyond the handles on their line.
TEST(GeometryPathPoint, TypeFollowsTheArrangement) {
    const struct {
        double x[3], y[3];
        OBPathPointType type;
    } rows[] = {{{0, 1, 2}, {0, 1, 2}, kSmoothPoint},
                {{0, 1, 2}, {0, 2, 2}, kCornerPoint},
                {{1, 1, 1}, {1, 1, 1}, kPlainPoint},
                {{5, 6, 5}, {0, 3, 9}, kCornerPoint},
                {{0, 4, 2}, {0, 4, 2}, kSmoothPoint}};
    for (const auto& r : rows)
        EXPECT_EQ(
            OBPathPoint(OBPoint(r.x[0], r.y[0]), OBPoint(r.x[1], r.y[1]), OBPoint(r.x[2], r.y[2]))
                .GetAnchorType(),
            r.type)
            << r.x[1] << " " << r.y[1];

    // The collection constructors.
    OBBaseTypeCollection<OBPoint> coincident{OBPoint(1, 1), OBPoint(1, 1), OBPoint(1, 1)};
    EXPECT_EQ(OBPathPoint(coincident).GetAnchorType(), kCornerPoint);
    OBBaseTypeCollection<OBPoint> three{OBPoint(0, 0), OBPoint(1, 1), OBPoint(2, 2)};
    OBPathPoint smooth(three);
    EXPECT_EQ(smooth.GetAnchorType(), kSmoothPoint);
    ExpectPoint(smooth.GetPoint(kRightDirPoint), 2, 2);
    ExpectPoint(smooth.GetPoint(static_cast<OBPathPointIndex>(7)), 1, 1);
    OBBaseTypeCollection<OBPoint> two{OBPoint(4, 5), OBPoint(6, 7)};
    OBPathPoint first(two); // not three points: the first is all three
    EXPECT_EQ(first.GetAnchorType(), kPlainPoint);
    ExpectPoint(first.GetRightDirPoint(), 4, 5);
    EXPECT_TRUE(OBPathPoint(OBBaseTypeCollection<OBPoint>()) == OBPathPoint());

    // Against the line through the handles, solved as OBLine does, on
    // arrangements drawn from a small grid (so lines, verticals and
    // coincidences are common) and scaled off it.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> grid(-3, 3);
    for (int n = 0; n < 20000; ++n) {
        double scale = n % 3 == 0 ? 1.0 : (n % 3 == 1 ? 0.1 : 1e-9);
        OBPoint at[3];
        for (OBPoint& q : at)
            q = OBPoint(grid(random) * scale, grid(random) * scale);
        OBPathPointType expected = kCornerPoint;
        OBLine handles(at[0], at[2]);
        OBReal solved;
        if (handles.SolveForY(at[1].X(), &solved))
            expected = solved == at[1].Y() ? kSmoothPoint : kCornerPoint;
        else if (handles.SolveForX(at[1].Y(), &solved))
            expected = solved == at[1].X() ? kSmoothPoint : kCornerPoint;
        if (at[0] == at[1] && at[1] == at[2]) expected = kPlainPoint;
        ASSERT_EQ(OBPathPoint(at[0], at[1], at[2]).GetAnchorType(), expected)
            << n << ": " << at[0].X() << "," << at[0].Y() << " " << at[1].X() << "," << at[1].Y()
            << " " << at[2].X() << "," << at[2].Y();
    }

    // Transforming and scaling keep the type.
    OBPathPoint p(OBPoint(4, 0), OBPoint(1, 3), OBPoint(-2, 1));
    ExpectRect(p.GetBoundingBox(), -2, 0, 4, 3);
    OBPathPoint moved = p;
    moved.TransformPoints(OBMatrix(2, 0, 0, 2, 10, 20));
    EXPECT_EQ(moved.GetAnchorType(), kCornerPoint);
    ExpectPoint(moved.GetRightDirPoint(), 6, 22);
    EXPECT_TRUE((p * 2.0) / 2.0 == p);
    OBPathPoint retyped(kSmoothPoint, p.GetLeftDirPoint(), p.GetAnchorPoint(),
                        p.GetRightDirPoint());
    EXPECT_TRUE(retyped != p); // the anchor type counts
}

// ---------------------------------------------------------------- collections

TEST(GeometryCollection, GrowsCopiesAndSurvivesExhaustedMemory) {
    OBBaseTypeCollection<OBPoint> points;
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(points.Add(OBPoint(i, -i)), 1);
    ASSERT_EQ(points.Append(points.Data(), points.Count()), 1); // from its own storage
    ASSERT_EQ(points.Count(), 200);
    ExpectPoint(points[150], 50, -50);
    OBPoint out;
    EXPECT_EQ(points.Get(200, out), 0);

    // Without room an Add or Append is refused whole; a copy is whole or empty.
    ombra_test::SweepAllocationFailures([&] {
        OBBaseTypeCollection<OBPoint> grown;
        for (int i = 0; i < 20; ++i)
            if (grown.Add(OBPoint(i, i)) != 1) break;
        int added = grown.Count();
        EXPECT_TRUE(grown.Append(points.Data(), 30) == 1 || grown.Count() == added);
        for (int i = 0; i < grown.Count(); ++i)
            ExpectPoint(grown[i], i < added ? i : i - added, i < added ? i : added - i);
        OBBaseTypeCollection<OBPoint> copy(points);
        EXPECT_TRUE(copy.Count() == 0 || copy.Count() == points.Count());
        return grown.Count() == 50 && copy.Count() == points.Count();
    });
}

using namespace UNITS;

template <class F> std::string ThrownMessage(F f) {
    try {
        f();
    } catch (const char* message) {
        return message;
    } catch (...) {
        return "<another exception type>";
    }
    return "<nothing thrown>";
}

double Linear(int from, double value, int to) {
    OBReal result = -12345.0;
    ConvertMeasurement(static_cast<LINEAR::UnitEnum>(from), OBReal(value),
                       static_cast<LINEAR::UnitEnum>(to), result);
    return result;
}

// Every pair converts through points, and back to the value it started from;
// values outside the table count as points on either side.
TEST(Units, EveryLinearPairConvertsThroughPoints) {
    const int points = LINEAR::kPoints;
    for (int from = -1; from <= 14; ++from) {
        for (int to = -1; to <= 14; ++to) {
            double direct = Linear(from, 3.5, to);
            EXPECT_DOUBLE_EQ(direct, Linear(points, Linear(from, 3.5, points), to))
                << from << " -> " << to;
            EXPECT_NEAR(Linear(to, direct, from), 3.5, 3.5e-14) << from << " <-> " << to;
            if (from == to) {
                EXPECT_EQ(direct, 3.5);
            }
        }
    }
    for (int unknown : {-1, 14, 99})
        EXPECT_EQ(Linear(unknown, 2.0, points), 2.0) << unknown;
}

TEST(Units, KnownLinearEquivalences) {
    using namespace LINEAR;
    EXPECT_NEAR(Linear(kInches, 1, kCentimeters), 2.54, 1e-9);
    EXPECT_EQ(Linear(kQ, 1, kPoints), 1.0); // no factor: counts as points
    EXPECT_EQ(Linear(kPixels, 4, kPoints), 3.0);
    EXPECT_EQ(Linear(kTwips, 20, kPoints), 1.0);
    EXPECT_NEAR(Linear(kCiceros, 1, kMillimeters), 4.5113, 1e-4);
    EXPECT_EQ(Linear(kPoints, 12, kPicas), 1.0);
    EXPECT_NEAR(Linear(kEMU, 914400, kInches), 1.0, 1e-12);
    // The same unit passes any value through untouched, NaN included.
    EXPECT_TRUE(std::isnan(Linear(kCentimeters, std::nan(""), kCentimeters)));
    EXPECT_EQ(OBRectangle().unit, kPoints);
}

TEST(Units, AngularConversions) {
    using namespace ANGULAR;
    OBReal result;
    ConvertMeasurement(kDegrees, 180.0, kRadians, result);
    EXPECT_NEAR(double(result), 3.141592653589793, 1e-15);
    ConvertMeasurement(kRadians, 3.141592653589793, kDegrees, result);
    EXPECT_NEAR(double(result), 180.0, 1e-12);
    ConvertMeasurement(kRadians, 0.25, kRadians, result);
    EXPECT_EQ(double(result), 0.25);

    auto bad = static_cast<ANGULAR::UnitEnum>(2);
    result = 7.0;
    EXPECT_EQ(ThrownMessage([&] { ConvertMeasurement(bad, 1.0, kDegrees, result); }),
              "Unexpected ANGULAR::UnitEnum values");
    EXPECT_EQ(ThrownMessage([&] { ConvertMeasurement(kRadians, 1.0, bad, result); }),
              "Unexpected ANGULAR::UnitEnum values");
    EXPECT_EQ(double(result), 7.0);
    ConvertMeasurement(bad, 4.0, bad, result); // equal units copy the value
    EXPECT_EQ(double(result), 4.0);

    ANGULAR::UnitEnum unit = ANGULAR::kRadians;
    ParseUnit("degrees", unit);
    EXPECT_EQ(unit, ANGULAR::kDegrees);
    const char* name = nullptr;
    UnitName(ANGULAR::kRadians, name);
    EXPECT_STREQ(name, "radians");
    for (const char* text :
         {"Degrees", " degrees", "radians ", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(ThrownMessage([&] { ParseUnit(text, unit); }),
                  "Invalid unit string in angle measurement");
    EXPECT_EQ(unit, ANGULAR::kDegrees);
    for (int other : {2, -1})
        EXPECT_EQ(ThrownMessage([&] { UnitName(static_cast<ANGULAR::UnitEnum>(other), name); }),
                  "Bad Angle unit type");
}

// Every unit's name parses back to it, after blanks too.
TEST(Units, ParseAndNameLinearUnits) {
    for (int unit = 0; unit < 11; ++unit) {
        const char* name = nullptr;
        UnitName(static_cast<LINEAR::UnitEnum>(unit), name);
        ASSERT_NE(name, nullptr);
        LINEAR::UnitEnum parsed = LINEAR::kEMU, blanks = LINEAR::kEMU;
        ParseUnit(name, parsed);
        ParseUnit((std::string(" \t ") + name).c_str(), blanks);
        EXPECT_TRUE(parsed == unit && blanks == unit) << name;
    }
    const char* points = nullptr;
    UnitName(LINEAR::kPoints, points);
    EXPECT_STREQ(points, "points");
    LINEAR::UnitEnum parsed = LINEAR::kTwips;
    for (const char* bad :
         {"Points", "points ", "", "   ", "inch", "\npoints", static_cast<const char*>(nullptr)})
        EXPECT_EQ(ThrownMessage([&] { ParseUnit(bad, parsed); }),
                  "Invalid unit string in measurement")
            << (bad ? bad : "null");
    EXPECT_EQ(parsed, LINEAR::kTwips);

    const char* name = "untouched";
    for (int unit : {11, 13, -1, 14}) {
        EXPECT_EQ(ThrownMessage([&] { UnitName(static_cast<LINEAR::UnitEnum>(unit), name); }),
                  "Bad measurement unit type")
            << unit;
    }
    EXPECT_STREQ(name, "untouched");
}

} // namespace
