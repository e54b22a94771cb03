// The list values: growth, indexed reads, units of point lists, equality,
// assignment and running out of memory.
#include <ombra/values.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using UNITS::LINEAR::kInches;
using UNITS::LINEAR::kPoints;

using ombra_test::FailAllocationsAfter;

std::string Str(const IOBString& s) {
    return std::string(s.GrabCString(), s.Length());
}

TEST(IdRefLists, AddReadGrowAndCompare) {
    ValueIdRefList list;
    for (unsigned id = 1; id <= 9; ++id)
        EXPECT_EQ(list.Add(id * 10), 1);
    EXPECT_EQ(list.Count(), 9);
    EXPECT_EQ(list.Capacity(), 16); // 8, then doubled
    EXPECT_EQ(list.Get(8), 90u);
    EXPECT_EQ(list.Get(9), 0u); // outside: nothing read
    EXPECT_EQ(list.Get(-1), 0u);
    EXPECT_EQ(ValueIdRefList().IsEqual(&list), 0);

    ValueIdRefList copy;
    copy = list;
    EXPECT_EQ(copy.Capacity(), 9); // exactly the count
    EXPECT_EQ(copy.IsEqual(&list), 1);
    copy.Add(100);
    EXPECT_EQ(list.IsEqual(&copy), 0);

    ValueIdRefList reordered;
    for (unsigned id = 9; id >= 1; --id)
        reordered.Add(id * 10);
    EXPECT_EQ(reordered.IsEqual(&list), 0);
}

TEST(Bool16Lists, GrowInChunksOfEightKeepingOneSlotFree) {
    ValueBool16List list;
    EXPECT_EQ(list.Add(1), 1);
    EXPECT_EQ(list.Capacity(), 8);
    for (int i = 1; i < 7; ++i)
        list.Add(static_cast<short>(i % 2));
    EXPECT_EQ(list.Count(), 7);
    EXPECT_EQ(list.Capacity(), 8);
    list.Add(0); // count + 1 reaches the capacity: count + 8
    EXPECT_EQ(list.Count(), 8);
    EXPECT_EQ(list.Capacity(), 15);
    EXPECT_EQ(list.Get(1), 1);
    EXPECT_EQ(list.Get(2), 0);

    ValueBool16List copy;
    Value& base = list;
    copy = base;
    EXPECT_EQ(copy.Count(), 8);
    EXPECT_EQ(copy.Capacity(), 8); // assignment allocates exactly the count
    EXPECT_EQ(copy.IsEqual(&list), 1);
}

TEST(StringLists, EntriesAreCopiesComparedAsStrings) {
    ValueStringList list;
    COBString a("alpha");
    list.Add(a);
    a.SetCString("changed");
    const unsigned short beta[] = {'b', 'e', 't', 'a', 0};
    list.Add(WOBString(beta));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(Str(*list.Get(0)), "alpha");
    EXPECT_EQ(list.Get(1)->IsUnicode(), 1);
    EXPECT_FALSE(list.Get(2).IsValid());
    EXPECT_FALSE(list.Get(-3).IsValid());

    ValueStringList other;
    other.Add(COBString("alpha"));
    EXPECT_EQ(other.IsEqual(&list), 0);
    other.Add(WOBString(beta));
    EXPECT_EQ(other.IsEqual(&list), 1);

    for (int i = 0; i < 20; ++i)
        list.Add(COBString("x")); // grows past 8 and 16
    EXPECT_EQ(list.Count(), 22);
    EXPECT_EQ(Str(*list.Get(0)), "alpha");
    ValueStringList copy;
    copy = list;
    EXPECT_EQ(copy.IsEqual(&list), 1);
    EXPECT_NE(copy.Get(0).GetPtr(), list.Get(0).GetPtr()); // deep
}

TEST(RangeLists, PairsAndLengthsMatter) {
    ValueRangeList a, b;
    a.Add(0, 5);
    a.Add(7, 9);
    b.Add(0, 5);
    EXPECT_EQ(a.IsEqual(&b), 0); // whichever is longer
    EXPECT_EQ(b.IsEqual(&a), 0);
    b.Add(7, 9);
    EXPECT_EQ(a.IsEqual(&b), 1);

    unsigned start = 77, end = 88;
    a.Get(1, start, end);
    EXPECT_EQ(start, 7u);
    EXPECT_EQ(end, 9u);
    a.Get(2, start, end); // outside: untouched
    EXPECT_EQ(start, 7u);
    EXPECT_EQ(a.NumRanges(), 2);
}

TEST(VertexLists, TheFirstUnitHoldsForTheWholeList) {
    ValueVertexList list;
    EXPECT_EQ(list.GetMeasurementUnit(), kPoints);
    list.Add(OBPoint(1.0, 2.0), kInches);
    list.Add(OBPoint(72.0, 36.0), kPoints); // stored as given, read as inches
    EXPECT_EQ(list.GetMeasurementUnit(), kInches);
    UNITS::LINEAR::UnitEnum unit = kPoints;
    OBPoint p;
    list.Get(0, unit, p);
    EXPECT_DOUBLE_EQ(p.X().Value(), 72.0);
    EXPECT_DOUBLE_EQ(p.Y().Value(), 144.0);
    list.Get(1, unit, p);
    EXPECT_DOUBLE_EQ(p.X().Value(), 72.0 * 72.0);
    OBPoint untouched(-1.0, -1.0);
    list.Get(2, unit, untouched);
    EXPECT_EQ(untouched.X().Value(), -1.0);

    // The same vertices in points: equal either way round.
    ValueVertexList inPoints;
    inPoints.Add(OBPoint(72.0, 144.0), kPoints);
    inPoints.Add(OBPoint(72.0 * 72.0, 36.0 * 72.0), kPoints);
    EXPECT_EQ(list.IsEqual(&inPoints), 1);
    EXPECT_EQ(inPoints.IsEqual(&list), 1);
}

TEST(PathPointLists, AllThreePointsConvertAndTheTypeStays) {
    ValuePathPointList list;
    OBPathPoint corner(kCornerPoint, OBPoint(0.0, 0.0), OBPoint(1.0, 1.0), OBPoint(2.0, 0.5));
    list.Add(corner, kInches);
    UNITS::LINEAR::UnitEnum unit = kPoints;
    OBPathPoint out;
    list.Get(0, unit, out);
    EXPECT_EQ(out.GetAnchorType(), kCornerPoint);
    EXPECT_DOUBLE_EQ(out.GetAnchorPoint().X().Value(), 72.0);
    EXPECT_DOUBLE_EQ(out.GetRightDirPoint().X().Value(), 144.0);
    EXPECT_DOUBLE_EQ(out.GetRightDirPoint().Y().Value(), 36.0);

    ValuePathPointList same;
    same.Add(
        OBPathPoint(kCornerPoint, OBPoint(0.0, 0.0), OBPoint(72.0, 72.0), OBPoint(144.0, 36.0)),
        kPoints);
    EXPECT_EQ(list.IsEqual(&same), 1);
    ValuePathPointList smooth;
    smooth.Add(
        OBPathPoint(kSmoothPoint, OBPoint(0.0, 0.0), OBPoint(72.0, 72.0), OBPoint(144.0, 36.0)),
        kPoints);
    EXPECT_EQ(list.IsEqual(&smooth), 0); // the anchor type counts
}

TEST(GradientStopLists, BothAddFormsAndAllReads) {
    ValueGradientStopList list;
    list.Add(0.0, 0.5, 3u, 1.0);
    OBGradientStop stop{1.0, 0.5, 4u, 0.25};
    list.Add(stop);
    EXPECT_EQ(list.NumGradientStops(), 2);
    OBReal tint = 0.0;
    list.Get(1, tint);
    EXPECT_EQ(tint.Value(), 0.25);
    OBGradientStop out{-1.0, -1.0, 0, -1.0};
    list.Get(5, out);
    EXPECT_EQ(out.location.Value(), -1.0);
    list.Get(0, out);
    EXPECT_EQ(out.colorRef, 3u);

    ValueGradientStopList other;
    other.Add(0.0, 0.5, 3u, 1.0 + 0.5e-8);
    other.Add(1.0, 0.5, 4u, 0.25);
    EXPECT_EQ(other.IsEqual(&list), 1);
    other.Add(1.0, 0.5, 4u, 0.25);
    EXPECT_EQ(other.IsEqual(&list), 0);
}

TEST(ListValues, AFailedGrowthLeavesTheListUnchanged) {
    ValueIdRefList ids;
    for (unsigned i = 0; i < 8; ++i)
        ids.Add(i);
    ValueBool16List flags;
    for (int i = 0; i < 7; ++i)
        flags.Add(1);
    ValueStringList strings;
    strings.Add(COBString("kept"));
    ValueRangeList ranges;
    for (unsigned i = 0; i < 8; ++i)
        ranges.Add(i, i + 1);
    ValueVertexList vertices;
    ValueGradientStopList stops;
    {
        FailAllocationsAfter fail(0);
        EXPECT_EQ(ids.Add(99), 0);
        EXPECT_EQ(flags.Add(0), 0);
        EXPECT_EQ(strings.Add(COBString("lost")), 0);
        EXPECT_EQ(ranges.Add(50, 60), 0);
        EXPECT_EQ(vertices.Add(OBPoint(1.0, 1.0), kInches), 0);
        EXPECT_EQ(stops.Add(0.0, 0.0, 1u, 1.0), 0);
    }
    EXPECT_EQ(ids.Count(), 8);
    EXPECT_EQ(ids.Get(7), 7u);
    EXPECT_EQ(flags.Count(), 7);
    EXPECT_EQ(strings.Count(), 1);
    EXPECT_EQ(Str(*strings.Get(0)), "kept");
    EXPECT_EQ(ranges.NumRanges(), 8);
    EXPECT_EQ(vertices.NumVertices(), 0);
    EXPECT_EQ(vertices.GetMeasurementUnit(), kPoints); // the unit of a failed Add is not taken
    EXPECT_EQ(stops.NumGradientStops(), 0);

    // A failed assignment keeps the target's own entries.
    ValueIdRefList target;
    target.Add(5);
    {
        FailAllocationsAfter fail(0);
        target = ids;
    }
    EXPECT_EQ(target.Count(), 1);
    EXPECT_EQ(target.Get(0), 5u);
}

} // namespace
