// The value classes: scalars, measured values with their units,
// percentages, matrices, dates, strings, file references, streams, gradient
// stops, file locations, and the lists of them.
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>

#include "support/TestSupport.h"
#include "text/TextFixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using UNITS::LINEAR::kCentimeters;
using UNITS::LINEAR::kInches;
using UNITS::LINEAR::kPoints;

// Values whose initialized flag a test can clear, as only a subclass can.
template <class V> class Forgetful : public V {
public:
    void Forget() { this->SetInitialized(0); }
};

std::string Str(const IOBString& s) {
    return std::string(s.GrabCString(), s.Length());
}

template <class V, class... Args> V Made(Args... args) {
    V v;
    v.Init(args...);
    return v;
}

// The scalar classes are expanded from one definition: one of them stands
// for all.
TEST(ScalarValues, EqualityGetAndAssignment) {
    ValueInteger32 a, b;
    int n = -5;
    a.Get(n);
    EXPECT_EQ(n, 0); // default payload
    a.Init(-7);
    EXPECT_EQ(a.IsEqual(&b), 0);
    b.Init(-7);
    EXPECT_EQ(a.IsEqual(&b), 1);
    ValueUnInteger32 u = Made<ValueUnInteger32>(static_cast<unsigned>(-7));
    EXPECT_EQ(a.IsEqual(&u), 0); // same bits, different type
    Value& foreign = u;
    b.Init(3);
    b = foreign; // another class: nothing happens
    b.Get(n);
    EXPECT_EQ(n, 3);

    // A Get of a value not initialised leaves the output alone.
    Forgetful<ValueInteger16> s;
    s.Init(12);
    s.Forget();
    short out = 99;
    s.Get(out);
    EXPECT_EQ(out, 99);

    // Reals are equal only within the open tolerance.
    ValueOBReal zero = Made<ValueOBReal>(0.0), other = Made<ValueOBReal>(1e-8);
    EXPECT_EQ(zero.IsEqual(&other), 0);
    other.Init(-0.9e-8);
    EXPECT_EQ(zero.IsEqual(&other), 1);
}

TEST(LengthValues, ConvertOnReadTruncateTowardZeroAndCompareInTheirUnit) {
    struct {
        UNITS::LINEAR::UnitEnum unit;
        double value;
        bool integral;
        UNITS::LINEAR::UnitEnum readIn;
        int read;
    } rows[] = {
        {kPoints, 144, true, kInches, 2},
        {kPoints, 143.9, false, kInches, 1},
        {kPoints, -143.9, false, kInches, -1},    // toward zero, not down
        {kInches, 1e12, false, kPoints, INT_MAX}, // far beyond int: saturates
    };
    for (const auto& row : rows) {
        ValueLength length;
        if (row.integral)
            length.Init(row.unit, static_cast<int>(row.value));
        else
            length.Init(row.unit, OBReal(row.value));
        int n = 0;
        length.Get(row.readIn, n);
        EXPECT_EQ(n, row.read) << row.value;
        EXPECT_EQ(length.IsIntegral(), row.integral ? 1 : 0) << row.value;
    }
    ValueLength length;
    length.Init(kPoints, 144);
    OBReal real = 0.0;
    length.Get(kInches, real);
    EXPECT_DOUBLE_EQ(real.Value(), 2.0);

    Forgetful<ValueLength> forgotten;
    forgotten.Init(kPoints, 10);
    forgotten.Forget();
    OBReal r = 5.0;
    UNITS::LINEAR::UnitEnum unit = kCentimeters;
    forgotten.Get(kPoints, r);
    forgotten.GetUnit(unit);
    EXPECT_EQ(r.Value(), 5.0);
    EXPECT_EQ(unit, kCentimeters);

    // As a string no unit; the other is read in this value's unit.
    length.Init(kInches, 12);
    COBString text("x=");
    length.GetAsString(text);
    EXPECT_EQ(Str(text), "x=12");             // no unit
    length.Init(kPoints, OBReal(16777217.0)); // not representable in single precision
    text.Clear();
    length.GetAsString(text);
    EXPECT_EQ(Str(text), "16777216.000000");

    // The other is read in this value's unit.
    ValueLength points, inch, almost;
    points.Init(kPoints, 72);
    inch.Init(kInches, OBReal(1.0));
    EXPECT_EQ(points.IsEqual(&inch) + inch.IsEqual(&points), 2);
    // 72.0000005 points is 1.0000000069 inches: equal in inches, not in points.
    almost.Init(kPoints, OBReal(72.0000005));
    EXPECT_EQ(inch.IsEqual(&almost), 1);
    EXPECT_EQ(almost.IsEqual(&inch), 0);
    ValueAngle angle = Made<ValueAngle>(UNITS::ANGULAR::kDegrees, 72.0);
    EXPECT_EQ(points.IsEqual(&angle), 0); // different types never are
}

TEST(MeasuredValues, AnglesPointsAndRectangles) {
    ValueAngle half = Made<ValueAngle>(UNITS::ANGULAR::kDegrees, 180.0);
    ValueAngle pi = Made<ValueAngle>(UNITS::ANGULAR::kRadians, 3.14159265358979);
    EXPECT_EQ(half.IsEqual(&pi), 1);
    OBReal r = 7.0;
    half.Get(static_cast<UNITS::ANGULAR::UnitEnum>(9), r); // unknown unit: untouched
    EXPECT_EQ(r.Value(), 7.0);

    OBReal x = 0.0, y = 0.0;
    Made<ValuePoint>(kInches, 1.0, 2.0).Get(kPoints, x, y);
    EXPECT_DOUBLE_EQ(y.Value(), 144.0);

    // Stored exactly as given: no normalisation.
    OBRect out;
    Made<ValueRectangle>(kPoints, 10.0, 20.0, 5.0, 2.0).Get(kPoints, out);
    EXPECT_TRUE(out.Left() == 10.0 && out.Top() == 20.0 && out.Right() == 5.0 &&
                out.Bottom() == 2.0);
    ValueRectangle rect = Made<ValueRectangle>(kInches, OBPoint(2.0, 1.0), OBPoint(0.0, 0.5));
    ValueRectangle other = Made<ValueRectangle>(kPoints, 144.0, 72.0, 0.0, 36.0);
    EXPECT_EQ(rect.IsEqual(&other), 1);
}

TEST(PercentValues, RealAndFractionForms) {
    ValuePercent p;
    int num = -1, den = -1;
    p.Get(num, den);
    EXPECT_EQ(den, 1); // never a zero denominator
    p.Init(1, 4);
    OBReal ratio = 0.0;
    p.Get(ratio);
    EXPECT_EQ(ratio.Value(), 0.25);
    EXPECT_EQ(p.HasRatio(), 0);
    p.Init(OBReal(0.5));
    EXPECT_EQ(p.HasRatio(), 1);
    p.Get(num, den); // the fraction stays
    EXPECT_EQ(std::make_pair(num, den), std::make_pair(1, 4));
    ValuePercent half = Made<ValuePercent>(2, 4);
    EXPECT_EQ(p.IsEqual(&half), 1); // ratios compared
}

TEST(OtherValues, MatricesDatesAndGradientStops) {
    Forgetful<ValueMatrix> m;
    OBMatrix out(2, 0, 0, 2, 5, 5);
    m.Get(out);
    EXPECT_EQ(out.IsIdentity(), 1);
    m.Init(OBMatrix(1, 0, 0, 1, 10, 20));
    m.Forget();
    m.Get(out); // copies although not initialised
    EXPECT_EQ(out[4].Value(), 10.0);
    ValueMatrix same = Made<ValueMatrix>(OBMatrix(1, 0, 0, 1, 10, 20.000000001));
    EXPECT_EQ(same.IsEqual(&m), 1);

    ValueDateTime a, b;
    EXPECT_EQ(a.GetYear() | a.GetMonth() | a.GetDay() | a.GetHour() | a.GetMin() | a.GetSec(), 0);
    a.Init(2024, 3, 5, 14, 7, 9);
    b.Init(2024, 3, 5, 14, 7, 9);
    EXPECT_EQ(a.IsEqual(&b), 1);
    b.Init(2024, 3, 5, 14, 7, 10);
    EXPECT_EQ(a.IsEqual(&b), 0);
    a.Init(-1, 13, 99, 25, 61, -3); // any numbers are kept
    EXPECT_EQ(a.GetMonth(), 13);

    ValueGradientStop stop = Made<ValueGradientStop>(0.25, 0.5, 7u, 0.8);
    EXPECT_EQ(Made<ValueGradientStop>(0.25, 0.5 + 0.5e-8, 7u, 0.8).IsEqual(&stop), 1);
    EXPECT_EQ(Made<ValueGradientStop>(0.25, 0.5, 8u, 0.8).IsEqual(&stop), 0);
    ValueGradientStopList list, near; // lists compare their stops the same way
    list.Add(0.25, 0.5, 7u, 0.8);
    near.Add(0.25, 0.5, 7u, 0.8 + 0.5e-8);
    EXPECT_EQ(near.IsEqual(&list), 1);
}

TEST(StringValues, CopiesInAndOutKeepingKindAndScript) {
    ValueString v;
    COBString untouched("keep");
    v.Get(untouched); // no string held yet
    EXPECT_EQ(Str(untouched), "keep");
    IOBStringPtr holder;
    v.Get(holder);
    EXPECT_FALSE(holder.IsValid());

    COBString source("Caf\xE9", WSE::kRomanScript);
    v.Init(source);
    source.SetCString("changed");
    COBString out;
    v.Get(out);
    EXPECT_EQ(Str(out), "Caf\xE9");
    EXPECT_EQ(out.GetWSEScript(), WSE::kRomanScript);

    const unsigned short units[] = {0x65E5, 0x672C, 0};
    ValueString w = Made<ValueString>(WOBString(units));
    WOBString wideOut;
    w.Get(wideOut);
    EXPECT_TRUE(wideOut == WOBString(units));
    EXPECT_EQ(w.IsEqual(&v), 0);
    ValueString v2 = Made<ValueString>(COBString("Caf\xE9", WSE::kRomanScript));
    v2.Init(*v2.GetPtr()); // its own string
    EXPECT_EQ(v.IsEqual(&v2), 1);
    EXPECT_EQ(ValueString().IsEqual(&v), 0);
    Value& base = w;
    v = base;
    EXPECT_EQ(v.IsEqual(&w), 1);
}

// Each kind of text replacing each other, in place or on the heap, and
// copied between values: the last text and script always read back.
TEST(StringValues, ShortLongAndWideTextsReplaceEachOther) {
    const std::string sources[] = {"", "short", std::string(47, 's'), std::string(48, 'L'),
                                   std::string(300, 'L')};
    const unsigned short units[] = {0x65E5, 0};
    for (const std::string& first : sources) {
        for (const std::string& second : sources) {
            ValueString v = Made<ValueString>(COBString(first.c_str(), WSE::kRomanScript)), copy;
            copy = v;
            v.Init(COBString(second.c_str(), WSE::kJapaneseScript));
            COBString out, copied;
            v.Get(out);
            copy.Get(copied);
            EXPECT_TRUE(Str(out) == second && out.GetWSEScript() == WSE::kJapaneseScript);
            EXPECT_TRUE(Str(copied) == first && copied.GetWSEScript() == WSE::kRomanScript);
            copy.Init(WOBString(units));
            v = copy;
            EXPECT_EQ(v.GetPtr()->IsUnicode(), 1);
        }
    }
    // Without memory a long text cannot be copied and the held one stays;
    // a short one needs none.
    ValueString v = Made<ValueString>(COBString("held"));
    COBString longText(std::string(100, 'x').c_str()), shortText("new");
    {
        ombra_test::FailAllocationsAfter fail(0);
        v.Init(longText);
        EXPECT_EQ(Str(*static_cast<const COBString*>(v.GetPtr())), "held");
        v.Init(shortText);
    }
    EXPECT_EQ(Str(*static_cast<const COBString*>(v.GetPtr())), "new");
    // Wide text too long for the inline room, in a value that held nothing
    // or 8-bit text; without memory an empty value stays empty.
    const std::vector<unsigned short> wide(40, 0x65E5);
    const WOBString wideText(wide.data(), static_cast<long long>(wide.size()));
    for (const char* held : {"", "held"}) {
        ValueString w;
        if (*held) w.Init(COBString(held));
        w.Init(wideText);
        EXPECT_TRUE(w.GetPtr() && *w.GetPtr() == wideText) << held;
    }
    ValueString empty;
    ombra_test::FailAllocationsAfter fail(0);
    empty.Init(wideText);
    EXPECT_EQ(empty.GetPtr(), nullptr);
}

TEST(SysFileValues, EqualPathsOnly) {
    ValueSysFile a = Made<ValueSysFile>(OBSysFileRef("/tmp/a.txt"));
    ValueSysFile b = Made<ValueSysFile>(OBSysFileRef("/tmp/b.txt"));
    EXPECT_EQ(a.IsEqual(&b), 0);
    const unsigned short wide[] = {'/', 't', 'm', 'p', '/', 'a', '.', 't', 'x', 't', 0};
    b.Init(OBSysFileRef(wide)); // the same file named in UTF-16
    EXPECT_EQ(a.IsEqual(&b), 1);
}

TEST(StreamValues, NeverEqualAndBytesCopiedIntoAStreamOfTheirOwn) {
    ValueStream a, b;
    OBStream* none = nullptr;
    a.Init(none);
    b.Init(none);
    EXPECT_EQ(a.IsEqual(&b) + a.IsEqual(&a), 0);

    char bytes[] = {'a', 'b', 'c'};
    a.InitFromCharPointer(bytes, 3);
    bytes[0] = 'z'; // the value's stream has its own copy
    OBStream* stream = nullptr;
    a.Get(stream);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Tell(), 3); // left at the end of the bytes
    stream->Seek(0, kSeekFromStart);
    unsigned char read[3] = {};
    EXPECT_EQ(stream->XferByte(read, 3), 3);
    EXPECT_EQ(read[0], 'a');

    a.InitFromCharPointer(nullptr, 5); // bad input: unchanged
    a.InitFromCharPointer(bytes, -1);
    {
        ombra_test::FailAllocationsAfter fail(0);
        a.InitFromCharPointer(bytes, 3); // no memory: unchanged
    }
    OBStream* same = nullptr;
    a.Get(same);
    EXPECT_EQ(same, stream);
    delete stream; // the holder's to delete
}

TEST(FileSpecValues, PathKindsFileNamesAndEquality) {
    for (const auto& row : ombra_test::ReadTable("model/values.tsv", "filespec")) {
        std::string path = ombra_test::BytesOf(row[1]);
        std::string name = row.size() > 2 ? ombra_test::BytesOf(row[2]) : "";
        ValueFileSpec file;
        COBString text(path.c_str());
        file.Init(0, 0, text);
        EXPECT_EQ(file.GetPathType(), std::stoi(row[0])) << path;
        COBString got("previous");
        file.GetFileName(got);
        EXPECT_EQ(Str(got), name) << path;
    }

    Forgetful<ValueFileSpec> file;
    COBString url("http://a/b");
    file.Init(3, 4, url);
    EXPECT_EQ(file.GetPathType(), PATH::kPathURL);
    OBSysFileRef ref("Disk1:Folder:File");
    file.Init(ref); // the ids stay
    EXPECT_EQ(file.GetPathType(), PATH::kPathMacVolume);
    EXPECT_EQ(file.GetVolRefID(), 3);
    COBString path("before");
    file.GetAsString(path);
    EXPECT_EQ(Str(path), "Disk1:Folder:File");
    file.Forget();
    EXPECT_EQ(file.GetPathType(), PATH::kPathUnknown);
    file.GetAsString(path = "kept"); // not initialised: left alone
    EXPECT_EQ(Str(path), "kept");

    // Equal paths regardless of letter case and ids.
    ValueFileSpec a, b;
    COBString p1("C:\\Images\\Logo.TIF"), p2("c:\\images\\logo.tif"), p3("c:\\images\\logo.tiff");
    a.Init(1, 2, p1);
    b.Init(7, 8, p2);
    EXPECT_EQ(a.IsEqual(&b), 1);
    b.Init(1, 2, p3);
    EXPECT_EQ(a.IsEqual(&b), 0);
}

TEST(FileSpecValues, FileExists) {
    std::string folder = "obpath_" + std::to_string(getpid());
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    std::string file = folder + "/present.txt";
    std::fclose(std::fopen(file.c_str(), "w"));
    // Every path without a colon answers 0 unseen; a colon path is read as
    // folder/name.
    for (auto [path, exists] : {std::pair<std::string, short>{file, 0},
                                {folder + ":present.txt", 1},
                                {folder + ":absent.txt", 0}}) {
        ValueFileSpec location;
        COBString text(path.c_str());
        location.Init(0, 0, text);
        EXPECT_EQ(location.FileExists(), exists) << path;
    }
    std::remove(file.c_str());
    rmdir(folder.c_str());
}

// Adds entries 0, 1, 2, ... (made from the number by `add`) while memory
// runs out: a refused Add answers 0 and leaves the list as it was, `holds`
// reads back the first n entries, and an assignment copies the whole list or
// leaves the target's own entry; length and order count for equality.
template <class List, class Add, class Holds> bool GrowsAndCopies(Add add, Holds holds) {
    List list, reversed;
    for (int i = 0; i < 20; ++i) {
        if (add(list, i) != 1) {
            EXPECT_TRUE(holds(list, i)) << "after a refused Add";
            return false;
        }
        EXPECT_TRUE(holds(list, i + 1));
    }
    bool all = true;
    for (int i = 19; i >= 0; --i)
        all = add(reversed, i) == 1 && all;
    EXPECT_TRUE(!all || list.IsEqual(&reversed) == 0);
    List before, copy;
    if ((add(before, 99) == 1) != (add(copy, 99) == 1)) return false; // memory ran out between
    copy = list;
    bool copied = copy.IsEqual(&list) == 1;
    EXPECT_TRUE(copied || copy.IsEqual(&before) == 1);
    List shorter;
    add(shorter, 0);
    EXPECT_EQ(list.IsEqual(&shorter), 0);
    EXPECT_EQ(shorter.IsEqual(&list), 0);
    return all && copied && holds(copy, 20);
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
    auto stops = [] { // both forms of Add; a whole stop or its tint read back
        return GrowsAndCopies<ValueGradientStopList>(
            [](ValueGradientStopList& l, int i) {
                return i % 2 ? l.Add(OBGradientStop{OBReal(i), 0.5, unsigned(i), 0.25 * i})
                             : l.Add(i, 0.5, unsigned(i), 0.25 * i);
            },
            [](ValueGradientStopList& l, int n) {
                bool ok = l.NumGradientStops() == n;
                for (int k = 0; k <= n; ++k) {
                    OBGradientStop out{-1.0, -1.0, 0, -1.0};
                    OBReal tint = -1.0;
                    l.Get(k, out);
                    l.Get(k, tint);
                    ok = ok && out.location.Value() == (k < n ? k : -1.0) &&
                         out.colorRef == unsigned(k < n ? k : 0) &&
                         out.midpoint.Value() == (k < n ? 0.5 : -1.0) &&
                         tint.Value() == out.tint.Value() &&
                         tint.Value() == (k < n ? 0.25 * k : -1.0);
                }
                return ok;
            });
    };
    auto vertices = [] {
        return GrowsAndCopies<ValueVertexList>(
            [](ValueVertexList& l, int i) { // room made ahead for part of the list
                return i == 3 && !l.Reserve(13) ? short(0) : l.Add(OBPoint(i, -i), kInches);
            },
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

} // namespace
