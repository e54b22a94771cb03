#include <ombra/geometry.h>
#include <ombra/memory.h>

#include "streams/geometry/GeometryInternal.h"

namespace UNITS {

namespace {

// Points in one unit; units without a factor (and unknown values) count as points.
double PointsPerUnit(int unit) {
    double factor = 0.0;
    switch (unit) {
#define OB_LINEAR_UNIT(name, value, unitString, pointsPerUnit)                                     \
    case value:                                                                                    \
        factor = pointsPerUnit;                                                                    \
        break;
#include <ombra/defs/units_linear.def>
    default:
        break;
    }
    return factor == 0.0 ? 1.0 : factor;
}

struct LinearName {
    LINEAR::UnitEnum unit;
    const char* text;
};
constexpr LinearName kLinearNames[] = {
#define OB_LINEAR_UNIT(name, value, unitString, pointsPerUnit) {LINEAR::name, unitString},
#include <ombra/defs/units_linear.def>
};

struct AngularName {
    ANGULAR::UnitEnum unit;
    const char* text;
};
constexpr AngularName kAngularNames[] = {
#define OB_ANGULAR_UNIT(name, value, unitString) {ANGULAR::name, unitString},
#include <ombra/defs/units_angular.def>
};

} // namespace

void ConvertMeasurement(const LINEAR::UnitEnum& from, const OBReal& value,
                        const LINEAR::UnitEnum& to, OBReal& result) {
    if (from == to) {
        result = value;
        return;
    }
    double points = double(value) * PointsPerUnit(from);
    result = points / PointsPerUnit(to);
}

void ConvertMeasurement(const ANGULAR::UnitEnum& from, const OBReal& value,
                        const ANGULAR::UnitEnum& to, OBReal& result) {
    if (from == to) {
        result = value;
    } else if (from == ANGULAR::kDegrees && to == ANGULAR::kRadians) {
        result = double(value) * ombra_detail::kRadiansPerDegree;
    } else if (from == ANGULAR::kRadians && to == ANGULAR::kDegrees) {
        result = double(value) * ombra_detail::kDegreesPerRadian;
    } else {
        throw "Unexpected ANGULAR::UnitEnum values";
    }
}

void ParseUnit(const char* text, LINEAR::UnitEnum& unit) {
    if (text) {
        while (*text == ' ' || *text == '\t')
            ++text;
        for (const LinearName& entry : kLinearNames) {
            if (entry.text && OBStrequal(text, entry.text)) {
                unit = entry.unit;
                return;
            }
        }
    }
    throw "Invalid unit string in measurement";
}

void ParseUnit(const char* text, ANGULAR::UnitEnum& unit) {
    if (text) {
        for (const AngularName& entry : kAngularNames) {
            if (OBStrequal(text, entry.text)) {
                unit = entry.unit;
                return;
            }
        }
    }
    throw "Invalid unit string in angle measurement";
}

void UnitName(const LINEAR::UnitEnum& unit, const char*& name) {
    for (const LinearName& entry : kLinearNames) {
        if (entry.unit == unit && entry.text) {
            name = entry.text;
            return;
        }
    }
    throw "Bad measurement unit type";
}

void UnitName(const ANGULAR::UnitEnum& unit, const char*& name) {
    for (const AngularName& entry : kAngularNames) {
        if (entry.unit == unit) {
            name = entry.text;
            return;
        }
    }
    throw "Bad Angle unit type";
}

} // namespace UNITS
