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

std::string Str(const IOBString& s) { return std::string(s.GrabCString(), s.Length()); }

// ---------------------------------------------------------------- scalars

TEST(ScalarValues, InitGetTypeAndExactEquality) {
    ValueInteger32 a, b;
    int n = -5;
    a.Get(n);
    EXPECT_EQ(n, 0); // default payload
    a.Init(-7);
    b.Init(-7);
    a.Get(n);
    EXPECT_EQ(n, -7);
    EXPECT_EQ(a.IsEqual(&b), 1);
    b.Init(-8);
    EXPECT_EQ(a.IsEqual(&b), 0);
    EXPECT_EQ(a.IsEqual(nullptr), 0);

    ValueUnInteger32 u;
    u.Init(static_cast<unsigned>(-7));
    EXPECT_EQ(a.IsEqual(&u), 0); // same bits, different type
    VT::ValueTypeEnum type = VT::ekUndefined;
    u.GetType(type);
    EXPECT_EQ(type, VT::ekUnsignedInt32);

    ValueInteger64 big;
    big.Init(LLONG_MIN);
    long long v = 0;
    big.Get(v);
    EXPECT_EQ(v, LLONG_MIN);
    ValueUnInteger64 ubig;
    ubig.Init(~0ull);
    unsigned long long uv = 0;
    ubig.Get(uv);
    EXPECT_EQ(uv, ~0ull);

    ValueChar c;
    c.Init(0xFFE9);
    unsigned short code = 0;
    c.Get(code);
    EXPECT_EQ(code, 0xFFE9);
}

TEST(ScalarValues, AGetOfAValueNotInitialisedLeavesTheOutputAlone) {
    Forgetful<ValueInteger16> s;
    s.Init(12);
    s.Forget();
    short out = 99;
    s.Get(out);
    EXPECT_EQ(out, 99);
    s.Init(13); // Init sets the flag again
    s.Get(out);
    EXPECT_EQ(out, 13);

    Forgetful<ValueLength> length;
    length.Init(kPoints, 10);
    length.Forget();
    int i = 5;
    OBReal r = 5.0;
    UNITS::LINEAR::UnitEnum unit = kCentimeters;
    length.Get(kPoints, i);
    length.Get(kPoints, r);
    length.GetUnit(unit);
    EXPECT_EQ(i, 5);
    EXPECT_EQ(r.Value(), 5.0);
    EXPECT_EQ(unit, kCentimeters);
}

TEST(ScalarValues, RealsAreEqualOnlyWithinTheOpenTolerance) {
    ValueOBReal zero, other;
    zero.Init(0.0);
    other.Init(1e-8); // exactly the tolerance: unequal
    EXPECT_EQ(zero.IsEqual(&other), 0);
    EXPECT_EQ(other.IsEqual(&zero), 0);
    other.Init(0.9e-8);
    EXPECT_EQ(zero.IsEqual(&other), 1);
    other.Init(-0.9e-8);
    EXPECT_EQ(zero.IsEqual(&other), 1);
}

TEST(ScalarValues, AssignmentCopiesWithinOneClassOnly) {
    ValueBool16 a, b;
    b.Init(1);
    Value& base = b;
    a = base;
    short flag = 0;
    a.Get(flag);
    EXPECT_EQ(flag, 1);

    ValueInteger16 other;
    other.Init(42);
    Value& foreign = other;
    a = foreign; // another class: nothing happens
    a.Get(flag);
    EXPECT_EQ(flag, 1);
}

// ---------------------------------------------------------------- lengths

TEST(LengthValues, ConvertOnReadAndTruncateIntegersTowardZero) {
    ValueLength length;
    length.Init(kPoints, 144);
    int inches = 0;
    OBReal realInches = 0.0;
    length.Get(kInches, inches);
    length.Get(kInches, realInches);
    EXPECT_EQ(inches, 2);
    EXPECT_DOUBLE_EQ(realInches.Value(), 2.0);
    EXPECT_EQ(length.IsIntegral(), 1);

    length.Init(kPoints, OBReal(143.9));
    EXPECT_EQ(length.IsIntegral(), 0);
    length.Get(kInches, inches);
    EXPECT_EQ(inches, 1);
    length.Init(kPoints, -143.9); // a plain double picks the real overload
    EXPECT_EQ(length.IsIntegral(), 0);
    length.Get(kInches, inches);
    EXPECT_EQ(inches, -1); // toward zero, not down
    length.Get(kPoints, realInches);
    EXPECT_DOUBLE_EQ(realInches.Value(), -143.9);

    length.Init(kInches, OBReal(1e12)); // far beyond int: saturates
    length.Get(kPoints, inches);
    EXPECT_EQ(inches, INT_MAX);

    UNITS::LINEAR::UnitEnum unit = kPoints;
    length.GetUnit(unit);
    EXPECT_EQ(unit, kInches);
    EXPECT_EQ(length.GetMeasurementUnit(), kInches);
}

TEST(LengthValues, TheOtherFieldKeepsItsContent) {
    ValueLength length;
    length.Init(kPoints, 10);
    length.Init(kPoints, OBReal(2.5));
    OBReal r = 0.0;
    length.Get(kPoints, r);
    EXPECT_DOUBLE_EQ(r.Value(), 2.5);
    length.Init(kPoints, 7); // back to the integer
    length.Get(kPoints, r);
    EXPECT_DOUBLE_EQ(r.Value(), 7.0);
}

TEST(LengthValues, AsStringHasNoUnitAndRealsGoThroughSinglePrecision) {
    ValueLength length;
    length.Init(kInches, 12);
    COBString text("x=");
    length.GetAsString(text);
    EXPECT_EQ(Str(text), "x=12");

    length.Init(kPoints, OBReal(16777217.0)); // not representable in single precision
    text.Clear();
    length.GetAsString(text);
    EXPECT_EQ(Str(text), "16777216.000000");
}

TEST(LengthValues, EqualityReadsTheOtherInThisValuesUnit) {
    ValueLength points, inch;
    points.Init(kPoints, 72);
    inch.Init(kInches, OBReal(1.0));
    EXPECT_EQ(points.IsEqual(&inch), 1);
    EXPECT_EQ(inch.IsEqual(&points), 1);

    // 72.0000005 points is 1.0000000069 inches: equal in inches, not in points.
    ValueLength almost;
    almost.Init(kPoints, OBReal(72.0000005));
    EXPECT_EQ(inch.IsEqual(&almost), 1);
    EXPECT_EQ(almost.IsEqual(&inch), 0);

    ValueAngle angle;
    angle.Init(UNITS::ANGULAR::kDegrees, 72.0);
    EXPECT_EQ(points.IsEqual(&angle), 0); // different types never are
    EXPECT_EQ(angle.IsEqual(&points), 0);
}

TEST(MeasuredValues, AnglesPointsAndRectangles) {
    ValueAngle half, pi;
    half.Init(UNITS::ANGULAR::kDegrees, 180.0);
    pi.Init(UNITS::ANGULAR::kRadians, 3.14159265358979);
    EXPECT_EQ(half.IsEqual(&pi), 1);
    OBReal r = 0.0;
    half.Get(UNITS::ANGULAR::kRadians, r);
    EXPECT_NEAR(r.Value(), 3.14159265358979, 1e-12);
    r = 7.0;
    half.Get(static_cast<UNITS::ANGULAR::UnitEnum>(9), r); // unknown unit: untouched
    EXPECT_EQ(r.Value(), 7.0);

    ValuePoint point;
    point.Init(kInches, 1.0, 2.0);
    OBReal x = 0.0, y = 0.0;
    point.Get(kPoints, x, y);
    EXPECT_DOUBLE_EQ(x.Value(), 72.0);
    EXPECT_DOUBLE_EQ(y.Value(), 144.0);
    ValuePoint samePlace;
    samePlace.Init(kPoints, OBPoint(72.0, 144.0));
    EXPECT_EQ(point.IsEqual(&samePlace), 1);
    samePlace.Init(kPoints, OBPoint(72.0, 144.1));
    EXPECT_EQ(point.IsEqual(&samePlace), 0);

    // Stored exactly as given: no normalisation.
    ValueRectangle rect;
    rect.Init(kPoints, 10.0, 20.0, 5.0, 2.0);
    OBRect out;
    rect.Get(kPoints, out);
    EXPECT_EQ(out.Left().Value(), 10.0);
    EXPECT_EQ(out.Top().Value(), 20.0);
    EXPECT_EQ(out.Right().Value(), 5.0);
    EXPECT_EQ(out.Bottom().Value(), 2.0);
    rect.Init(kInches, OBPoint(2.0, 1.0), OBPoint(0.0, 0.5));
    rect.Get(kPoints, out);
    EXPECT_EQ(out.Left().Value(), 144.0);
    EXPECT_EQ(out.Top().Value(), 72.0);
    EXPECT_EQ(out.Right().Value(), 0.0);
    EXPECT_EQ(out.Bottom().Value(), 36.0);
    ValueRectangle other;
    OBRect given;
    given.Left(144.0);
    given.Top(72.0);
    given.Right(0.0);
    given.Bottom(36.0);
    other.Init(kPoints, given);
    EXPECT_EQ(rect.IsEqual(&other), 1);
    given.Bottom(36.5);
    other.Init(kPoints, given);
    EXPECT_EQ(rect.IsEqual(&other), 0);
}

// ---------------------------------------------------------------- other single values

TEST(PercentValues, RealAndFractionForms) {
    ValuePercent p;
    EXPECT_EQ(p.HasRatio(), 1);
    int num = -1, den = -1;
    p.Get(num, den);
    EXPECT_EQ(num, 0);
    EXPECT_EQ(den, 1);

    p.Init(1, 4);
    OBReal ratio = 0.0;
    p.Get(ratio);
    EXPECT_EQ(ratio.Value(), 0.25);
    EXPECT_EQ(p.HasRatio(), 0);
    p.Init(OBReal(0.5));
    EXPECT_EQ(p.HasRatio(), 1);
    p.Get(num, den); // the fraction stays
    EXPECT_EQ(num, 1);
    EXPECT_EQ(den, 4);

    ValuePercent half;
    half.Init(2, 4);
    EXPECT_EQ(p.IsEqual(&half), 1); // ratios compared
    half.Init(3, 4);
    EXPECT_EQ(p.IsEqual(&half), 0);
}

TEST(MatrixValues, DefaultIdentityAndGetRegardlessOfTheFlag) {
    Forgetful<ValueMatrix> m;
    OBMatrix out(2, 0, 0, 2, 5, 5);
    m.Get(out);
    EXPECT_EQ(out.IsIdentity(), 1);
    m.Init(OBMatrix(1, 0, 0, 1, 10, 20));
    m.Forget();
    m.Get(out); // copies although not initialised
    EXPECT_EQ(out[4].Value(), 10.0);
    ValueMatrix same;
    same.Init(OBMatrix(1, 0, 0, 1, 10, 20.000000001));
    EXPECT_EQ(same.IsEqual(&m), 1);
}

TEST(DateTimeValues, AllSixFieldsCount) {
    ValueDateTime a, b;
    a.Init(2024, 3, 5, 14, 7, 9);
    b.Init(2024, 3, 5, 14, 7, 9);
    EXPECT_EQ(a.IsEqual(&b), 1);
    b.Init(2024, 3, 5, 14, 7, 10);
    EXPECT_EQ(a.IsEqual(&b), 0);
    EXPECT_EQ(a.GetYear(), 2024);
    EXPECT_EQ(a.GetSec(), 9);
    a.Init(-1, 13, 99, 25, 61, -3); // any numbers are kept
    EXPECT_EQ(a.GetMonth(), 13);
    EXPECT_EQ(a.GetSec(), -3);
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
    v.Get(holder);
    ASSERT_TRUE(holder.IsValid());
    EXPECT_EQ(holder->IsUnicode(), 0);

    const unsigned short units[] = {0x65E5, 0x672C, 0};
    WOBString wide(units);
    ValueString w;
    w.Init(wide);
    WOBString wideOut;
    w.Get(wideOut);
    EXPECT_TRUE(wideOut == wide);
    EXPECT_EQ(w.IsEqual(&v), 0);

    ValueString v2;
    v2.Init(COBString("Caf\xE9", WSE::kRomanScript));
    EXPECT_EQ(v.IsEqual(&v2), 1);
    v2.Init(*v2.GetPtr()); // its own string
    EXPECT_EQ(v.IsEqual(&v2), 1);
    ValueString none1, none2;
    EXPECT_EQ(none1.IsEqual(&none2), 1);
    EXPECT_EQ(none1.IsEqual(&v), 0);

    Value& base = w;
    v = base;
    EXPECT_EQ(v.IsEqual(&w), 1);
}

TEST(SysFileValues, EqualPathsOnly) {
    ValueSysFile a, b;
    a.Init(OBSysFileRef("/tmp/a.txt"));
    b.Init(OBSysFileRef("/tmp/b.txt"));
    EXPECT_EQ(a.IsEqual(&b), 0);
    b.Init(OBSysFileRef("/tmp/a.txt"));
    EXPECT_EQ(a.IsEqual(&b), 1);
    const unsigned short wide[] = {'/', 't', 'm', 'p', '/', 'a', '.', 't', 'x', 't', 0};
    b.Init(OBSysFileRef(wide)); // the same file named in UTF-16
    EXPECT_EQ(a.IsEqual(&b), 1);
    OBSysFileRef out;
    a.Get(out);
    EXPECT_EQ(std::string(out.GrabCString()), "/tmp/a.txt");
}

TEST(StreamValues, NeverEqualAndBytesCopiedIntoAStreamOfTheirOwn) {
    ValueStream a, b;
    OBStream* none = nullptr;
    a.Init(none);
    b.Init(none);
    EXPECT_EQ(a.IsEqual(&b), 0);
    EXPECT_EQ(a.IsEqual(&a), 0);

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
    EXPECT_EQ(read[2], 'c');

    a.InitFromCharPointer(nullptr, 5); // bad input: unchanged
    a.InitFromCharPointer(bytes, -1);
    OBStream* same = nullptr;
    a.Get(same);
    EXPECT_EQ(same, stream);
    delete stream; // the holder's to delete

    {
        ombra_test::FailAllocationsAfter fail(0);
        a.InitFromCharPointer(bytes, 3);
    }
    a.Get(same);
    EXPECT_EQ(same, stream); // no memory: unchanged
}

TEST(GradientStopValues, GettersCopyWhateverTheFlag) {
    Forgetful<ValueGradientStop> stop;
    stop.Forget();
    stop.Init(0.25, 0.5, 7u, 0.8);
    OBReal location = 0.0, midpoint = 0.0, tint = 0.0;
    unsigned ref = 0;
    stop.Get(location, midpoint, ref);
    stop.GetTint(tint);
    EXPECT_EQ(location.Value(), 0.25);
    EXPECT_EQ(midpoint.Value(), 0.5);
    EXPECT_EQ(ref, 7u);
    EXPECT_EQ(tint.Value(), 0.8);

    ValueGradientStop other;
    other.Init(0.25, 0.5 + 0.5e-8, 7u, 0.8);
    EXPECT_EQ(other.IsEqual(&stop), 1);
    other.Init(0.25, 0.5, 8u, 0.8);
    EXPECT_EQ(other.IsEqual(&stop), 0);
}

// ---------------------------------------------------------------- file locations

struct PathCase {
    const char* path;
    PATH::PathType kind;
    const char* fileName;
};

TEST(FileSpecValues, PathKindsAndFileNames) {
    const PathCase cases[] = {
        {"C:\\abc\\x.tif", PATH::kPathDOS, "\\x.tif"},
        {"C:\\abc:d\\x.tif", PATH::kPathMacVolume, ":d\\x.tif"}, // a further colon
        {"C:file.tif", PATH::kPathMacVolume, ":file.tif"},
        {"notes.txt", PATH::kPathDOS, ""},
        {"/usr/share/x.png", PATH::kPathDOS, ""}, // no colon and no backslash
        {"", PATH::kPathDOS, ""},
        {"\\\\server\\share\\pic.eps", PATH::kPathUNC, "\\pic.eps"},
        {"\\\\", PATH::kPathUNC, "\\"},
        {":Folder:File", PATH::kPathMacRelative, ":Folder:File"},
        {"Macintosh HD:Images:Logo", PATH::kPathMacVolume, ":Logo"},
        {"Disk:Logo", PATH::kPathMacVolume, ":Logo"}, // colon at 4, not http
        {"Dsk:Logo", PATH::kPathMacVolume, ":Logo"},  // colon at 3, not ftp
        {"http://example.com/a/b.gif", PATH::kPathURL, "/b.gif"},
        {"ftp://host/file.txt", PATH::kPathURL, "/file.txt"},
        {"https://example.com/a.gif", PATH::kPathMacVolume, "://example.com/a.gif"}, // colon at 5
        {"http:", PATH::kPathMacVolume, ":"},
    };
    for (const PathCase& c : cases) {
        ValueFileSpec file;
        COBString path(c.path);
        file.Init(0, 0, path);
        EXPECT_EQ(file.GetPathType(), c.kind) << c.path;
        COBString name("previous");
        file.GetFileName(name);
        EXPECT_EQ(Str(name), c.fileName) << c.path;
    }
}

TEST(FileSpecValues, TheKindIsWorkedOutAgainAfterInit) {
    Forgetful<ValueFileSpec> file;
    COBString drive("C:\\x.tif");
    file.Init(3, 4, drive);
    EXPECT_EQ(file.GetPathType(), PATH::kPathDOS);
    COBString url("http://a/b");
    file.Init(3, 4, url);
    EXPECT_EQ(file.GetPathType(), PATH::kPathURL);
    OBSysFileRef ref("Disk1:Folder:File");
    file.Init(ref); // the ids stay
    EXPECT_EQ(file.GetPathType(), PATH::kPathMacVolume);
    EXPECT_EQ(file.GetVolRefID(), 3);
    EXPECT_EQ(file.GetDirID(), 4);
    COBString text;
    file.GetAsString(text);
    EXPECT_EQ(Str(text), "Disk1:Folder:File");
    OBSysFileRef back;
    file.Get(back);
    EXPECT_EQ(std::string(back.GrabCString()), "Disk1:Folder:File");
    IOBStringPtr holder;
    file.Get(holder);
    ASSERT_TRUE(holder.IsValid());
    EXPECT_EQ(Str(*holder), "Disk1:Folder:File");

    file.Forget();
    EXPECT_EQ(file.GetPathType(), PATH::kPathUnknown);
}

TEST(FileSpecValues, EqualityIgnoresCaseAndIds) {
    ValueFileSpec a, b;
    COBString p1("C:\\Images\\Logo.TIF"), p2("c:\\images\\logo.tif"), p3("c:\\images\\logo.tiff");
    a.Init(1, 2, p1);
    b.Init(7, 8, p2);
    EXPECT_EQ(a.IsEqual(&b), 1);
    b.Init(1, 2, p3);
    EXPECT_EQ(a.IsEqual(&b), 0);
}

TEST(FileSpecValues, FileExists) {
    // Every drive path (and every path without a colon) answers 0 unseen.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    std::string folder = "obpath_" + std::to_string(getpid());
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    std::string file = folder + "/present.txt";
    FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);

    ValueFileSpec location;
    COBString posix(file.c_str()); // no colon: kind 16
    location.Init(0, 0, posix);
    EXPECT_EQ(location.FileExists(), 0);
    COBString mac((folder + ":present.txt").c_str()); // read as folder/present.txt
    location.Init(0, 0, mac);
    EXPECT_EQ(location.GetPathType(), PATH::kPathMacVolume);
    EXPECT_EQ(location.FileExists(), 1);
    COBString missing((folder + ":absent.txt").c_str());
    location.Init(0, 0, missing);
    EXPECT_EQ(location.FileExists(), 0);

    std::remove(file.c_str());
    rmdir(folder.c_str());
}

} // namespace
