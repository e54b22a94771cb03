// The single-payload value classes: scalars, measured values with their
// units, percentages, matrices, dates, strings, file references, streams,
// gradient stops and file locations.
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
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

TEST(LengthValues, ConvertOnReadAndTruncateIntegersTowardZero) {
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
}

TEST(LengthValues, AsStringAndEquality) {
    ValueLength length;
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

TEST(FileSpecValues, PathKindsAndFileNames) {
    const struct {
        const char* path;
        PATH::PathType kind;
        const char* fileName;
    } cases[] = {
        {"C:\\abc\\x.tif", PATH::kPathDOS, "\\x.tif"},
        {"C:\\abc:d\\x.tif", PATH::kPathMacVolume, ":d\\x.tif"}, // a further colon
        {"C:file.tif", PATH::kPathMacVolume, ":file.tif"},
        {"/usr/share/x.png", PATH::kPathDOS, ""}, // no colon and no backslash
        {"", PATH::kPathDOS, ""},
        {"\\\\server\\share\\pic.eps", PATH::kPathUNC, "\\pic.eps"},
        {"\\\\", PATH::kPathUNC, "\\"},
        {":Folder:File", PATH::kPathMacRelative, ":Folder:File"},
        {"Disk:Logo", PATH::kPathMacVolume, ":Logo"}, // colon at 4, not http
        {"http://example.com/a/b.gif", PATH::kPathURL, "/b.gif"},
        {"ftp://host/file.txt", PATH::kPathURL, "/file.txt"},
        {"https://example.com/a.gif", PATH::kPathMacVolume, "://example.com/a.gif"}, // colon at 5
        {"http:", PATH::kPathMacVolume, ":"},
    };
    for (const auto& c : cases) {
        ValueFileSpec file;
        COBString path(c.path);
        file.Init(0, 0, path);
        EXPECT_EQ(file.GetPathType(), c.kind) << c.path;
        COBString name("previous");
        file.GetFileName(name);
        EXPECT_EQ(Str(name), c.fileName) << c.path;
    }
}

TEST(FileSpecValues, KindAfterInitAndEquality) {
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

} // namespace
