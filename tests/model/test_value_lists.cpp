// The list values: growth, indexed reads, units of point lists, equality,
// assignment and running out of memory.
#include <ombra/values.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using UNITS::LINEAR::kInches;
using UNITS::LINEAR::kPoints;

std::string Str(const IOBString& s) {
    return std::string(s.GrabCString(), s.Length());
}

// Adds entries 0, 1, 2, ... (made from the number by `add`) while memory
// runs out: a refused Add answers 0 and leaves the list as it was, `holds`
// reads back the first n entries, and an assignment copies the whole list or
// leaves the target's own entry.
template <class List, class Add, class Holds> bool GrowsAndCopies(Add add, Holds holds) {
    List list;
    for (int i = 0; i < 20; ++i) {
        if (add(list, i) != 1) {
            EXPECT_TRUE(holds(list, i)) << "after a refused Add";
            return false;
        }
        EXPECT_TRUE(holds(list, i + 1));
    }
    List before, copy;
    if ((add(before, 99) == 1) != (add(copy, 99) == 1)) return false; // memory ran out between
    copy = list;
    bool copied = copy.IsEqual(&list) == 1;
    EXPECT_TRUE(copied || copy.IsEqual(&before) == 1);
    List shorter;
    add(shorter, 0);
    EXPECT_EQ(list.IsEqual(&shorter), 0);
    EXPECT_EQ(shorter.IsEqual(&list), 0);
    return copied && holds(copy, 20);
}

TEST(ListValues, EveryKindGrowsReadsAndCopiesWhateverMemoryRemains) {
    auto ids = [] {
        return GrowsAndCopies<ValueIdRefList>(
            [](ValueIdRefList& l, int i) { return l.Add(10u * i + 1); },
            [](ValueIdRefList& l, int n) {
                bool ok = l.Count() == n && l.Get(n) == 0u && l.Get(-1) == 0u;
                for (int k = 0; k < n; ++k)
                    ok = ok && l.Get(k) == 10u * k + 1;
                return ok;
            });
    };
    auto flags = [] {
        return GrowsAndCopies<ValueBool16List>(
            [](ValueBool16List& l, int i) { return l.Add(static_cast<short>(i % 3 == 0)); },
            [](ValueBool16List& l, int n) {
                bool ok = l.Count() == n;
                for (int k = 0; k < n; ++k)
                    ok = ok && l.Get(k) == (k % 3 == 0);
                return ok;
            });
    };
    auto ranges = [] {
        return GrowsAndCopies<ValueRangeList>(
            [](ValueRangeList& l, int i) { return l.Add(i, 2u * i + 1); },
            [](ValueRangeList& l, int n) {
                bool ok = l.NumRanges() == n;
                for (int k = 0; k <= n; ++k) {
                    unsigned start = 77, end = 88; // outside: untouched
                    l.Get(k, start, end);
                    ok = ok && (k < n ? start == unsigned(k) && end == 2u * k + 1 : start == 77);
                }
                return ok;
            });
    };
    auto strings = [] {
        return GrowsAndCopies<ValueStringList>(
            [](ValueStringList& l, int i) { return l.Add(COBString(std::to_string(i).c_str())); },
            [](ValueStringList& l, int n) {
                bool ok = l.Count() == n && !l.Get(n).IsValid() && !l.Get(-3).IsValid();
                for (int k = 0; k < n; ++k)
                    ok = ok && l.Get(k).IsValid() && Str(*l.Get(k)) == std::to_string(k);
                return ok;
            });
    };
    auto stops = [] {
        return GrowsAndCopies<ValueGradientStopList>(
            [](ValueGradientStopList& l, int i) { return l.Add(i, 0.5, unsigned(i), 1.0); },
            [](ValueGradientStopList& l, int n) {
                bool ok = l.NumGradientStops() == n;
                for (int k = 0; k <= n; ++k) {
                    OBGradientStop out{-1.0, -1.0, 0, -1.0};
                    l.Get(k, out);
                    ok = ok && out.location.Value() == (k < n ? k : -1.0);
                }
                return ok;
            });
    };
    auto vertices = [] {
        return GrowsAndCopies<ValueVertexList>(
            [](ValueVertexList& l, int i) { return l.Add(OBPoint(i, -i), kInches); },
            [](ValueVertexList& l, int n) {
                bool ok = l.NumVertices() == n && l.GetMeasurementUnit() == (n ? kInches : kPoints);
                for (int k = 0; k <= n; ++k) {
                    UNITS::LINEAR::UnitEnum unit = kPoints;
                    OBPoint p(-1.0, -1.0);
                    l.Get(k, unit, p);
                    ok = ok && p.X().Value() == (k < n ? 72.0 * k : -1.0);
                }
                return ok;
            });
    };
    for (auto kind : {std::function<bool()>(ids), std::function<bool()>(flags),
                      std::function<bool()>(ranges), std::function<bool()>(strings),
                      std::function<bool()>(stops), std::function<bool()>(vertices)})
        ombra_test::SweepAllocationFailures(kind);
}

TEST(IdRefLists, OrderMatters) {
    ValueIdRefList list, reordered;
    for (unsigned id = 1; id <= 9; ++id) {
        list.Add(id);
        reordered.Add(10 - id);
    }
    EXPECT_EQ(reordered.IsEqual(&list), 0);
    EXPECT_EQ(ValueIdRefList().IsEqual(&list), 0);
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
    other.Add(COBString("beta"));
    EXPECT_EQ(other.IsEqual(&list), 0); // the kind of string counts
    ValueStringList same;
    same.Add(COBString("alpha"));
    same.Add(WOBString(beta));
    EXPECT_EQ(same.IsEqual(&list), 1);
    ValueStringList copy;
    copy = list;
    EXPECT_NE(copy.Get(0).GetPtr(), list.Get(0).GetPtr()); // deep
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
    OBReal tint = 0.0;
    list.Get(1, tint);
    EXPECT_EQ(tint.Value(), 0.25);
    OBGradientStop out{-1.0, -1.0, 0, -1.0};
    list.Get(0, out);
    EXPECT_EQ(out.colorRef, 3u);
    EXPECT_EQ(out.midpoint.Value(), 0.5);

    ValueGradientStopList other;
    other.Add(0.0, 0.5, 3u, 1.0 + 0.5e-8);
    other.Add(1.0, 0.5, 4u, 0.25);
    EXPECT_EQ(other.IsEqual(&list), 1);
    other.Add(1.0, 0.5, 4u, 0.25);
    EXPECT_EQ(other.IsEqual(&list), 0);
}

} // namespace
