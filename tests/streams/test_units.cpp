// Measurement units: conversions, unit strings and the C-string exceptions.
#include <ombra/geometry.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

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
