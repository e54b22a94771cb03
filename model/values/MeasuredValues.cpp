// Lengths, angles, points and rectangles: numbers that keep the unit they
// were given and convert on every read.
#include "model/values/ValueInternal.h"

#include <ombra/values.h>

using obvalues_detail::Convert;

// ---------------------------------------------------------------- ValueLength

Value& ValueLength::operator=(Value& other) {
    if (ValueLength* same = dynamic_cast<ValueLength*>(&other)) {
        unit_ = same->unit_;
        real_ = same->real_;
        integer_ = same->integer_;
        integral_ = same->integral_;
        SetInitialized(1);
    }
    return *this;
}

short ValueLength::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueLength* same = dynamic_cast<ValueLength*>(other);
    if (!same) return 0;
    // Own Get in the own unit, so that an integral length compares as the
    // real it stands for.
    OBReal mine(0.0), theirs(0.0);
    Get(unit_, mine);
    same->Get(unit_, theirs);
    return mine == theirs ? 1 : 0;
}

void ValueLength::Init(const UNITS::LINEAR::UnitEnum& unit, const int& value) {
    unit_ = unit;
    integer_ = value;
    integral_ = 1;
    SetInitialized(1);
}

void ValueLength::Init(const UNITS::LINEAR::UnitEnum& unit, const OBReal& value) {
    unit_ = unit;
    real_ = value;
    integral_ = 0;
    SetInitialized(1);
}

OBReal ValueLength::Current() const {
    return integral_ ? OBReal(static_cast<double>(integer_)) : real_;
}

void ValueLength::Get(const UNITS::LINEAR::UnitEnum& unit, OBReal& value) const {
    if (!IsInitialized()) return;
    OBReal converted(0.0);
    if (Convert(unit_, Current(), unit, converted)) value = converted;
}

void ValueLength::Get(const UNITS::LINEAR::UnitEnum& unit, int& value) const {
    if (!IsInitialized()) return;
    OBReal converted(0.0);
    if (Convert(unit_, Current(), unit, converted))
        value = obvalues_detail::TruncateToInt(converted.Value());
}

void ValueLength::GetUnit(UNITS::LINEAR::UnitEnum& unit) const {
    if (IsInitialized()) unit = unit_;
}

void ValueLength::GetAsString(COBString& text) const {
    if (!IsInitialized()) return;
    if (integral_)
        text.AppendNumber(integer_);
    else
        text.AppendDouble(static_cast<double>(static_cast<float>(real_.Value())));
}

// ---------------------------------------------------------------- ValueAngle

Value& ValueAngle::operator=(Value& other) {
    if (ValueAngle* same = dynamic_cast<ValueAngle*>(&other)) {
        unit_ = same->unit_;
        value_ = same->value_;
        SetInitialized(1);
    }
    return *this;
}

short ValueAngle::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueAngle* same = dynamic_cast<ValueAngle*>(other);
    if (!same) return 0;
    // A NaN never equals anything, so an unreadable angle compares unequal.
    OBReal theirs(__builtin_nan(""));
    same->Get(unit_, theirs);
    return value_ == theirs ? 1 : 0;
}

void ValueAngle::Init(const UNITS::ANGULAR::UnitEnum& unit, const OBReal& value) {
    unit_ = unit;
    value_ = value;
    SetInitialized(1);
}

void ValueAngle::Get(const UNITS::ANGULAR::UnitEnum& unit, OBReal& value) const {
    if (!IsInitialized()) return;
    OBReal converted(0.0);
    if (Convert(unit_, value_, unit, converted)) value = converted;
}

// ---------------------------------------------------------------- ValuePoint

ValuePoint::ValuePoint() noexcept : Value(VT::ekPoint), unit_(UNITS::LINEAR::kPoints) {}

ValuePoint::~ValuePoint() = default;

Value& ValuePoint::operator=(Value& other) {
    if (ValuePoint* same = dynamic_cast<ValuePoint*>(&other)) {
        unit_ = same->unit_;
        point_ = same->point_;
        SetInitialized(1);
    }
    return *this;
}

short ValuePoint::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValuePoint* same = dynamic_cast<ValuePoint*>(other);
    if (!same) return 0;
    OBPoint theirs(__builtin_nan(""), __builtin_nan(""));
    same->Get(unit_, theirs);
    return point_ == theirs ? 1 : 0;
}

void ValuePoint::Init(const UNITS::LINEAR::UnitEnum& unit, const OBReal& x, const OBReal& y) {
    unit_ = unit;
    point_ = OBPoint(x, y);
    SetInitialized(1);
}

void ValuePoint::Init(const UNITS::LINEAR::UnitEnum& unit, const OBPoint& point) {
    unit_ = unit;
    point_ = point;
    SetInitialized(1);
}

void ValuePoint::Get(const UNITS::LINEAR::UnitEnum& unit, OBReal& x, OBReal& y) const {
    if (!IsInitialized()) return;
    OBPoint converted;
    if (obvalues_detail::ConvertPoint(unit_, point_, unit, converted)) {
        x = converted.X();
        y = converted.Y();
    }
}

void ValuePoint::Get(const UNITS::LINEAR::UnitEnum& unit, OBPoint& point) const {
    if (!IsInitialized()) return;
    OBPoint converted;
    if (obvalues_detail::ConvertPoint(unit_, point_, unit, converted)) point = converted;
}

// ---------------------------------------------------------------- ValueRectangle

ValueRectangle::ValueRectangle() noexcept : Value(VT::ekRect), unit_(UNITS::LINEAR::kPoints) {}

ValueRectangle::~ValueRectangle() = default;

Value& ValueRectangle::operator=(Value& other) {
    if (ValueRectangle* same = dynamic_cast<ValueRectangle*>(&other)) {
        unit_ = same->unit_;
        rect_ = same->rect_;
        SetInitialized(1);
    }
    return *this;
}

short ValueRectangle::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueRectangle* same = dynamic_cast<ValueRectangle*>(other);
    if (!same) return 0;
    OBRect theirs;
    theirs.Left(__builtin_nan(""));
    same->Get(unit_, theirs);
    return rect_ == theirs ? 1 : 0;
}

// The setters store the numbers as given; OBRect's constructors would
// normalise them.
void ValueRectangle::Init(const UNITS::LINEAR::UnitEnum& unit, const OBPoint& leftTop,
                          const OBPoint& rightBottom) {
    Init(unit, leftTop.X(), leftTop.Y(), rightBottom.X(), rightBottom.Y());
}

void ValueRectangle::Init(const UNITS::LINEAR::UnitEnum& unit, const OBReal& left,
                          const OBReal& top, const OBReal& right, const OBReal& bottom) {
    unit_ = unit;
    rect_.Left(left);
    rect_.Top(top);
    rect_.Right(right);
    rect_.Bottom(bottom);
    SetInitialized(1);
}

void ValueRectangle::Init(const UNITS::LINEAR::UnitEnum& unit, const OBRect& rect) {
    unit_ = unit;
    rect_ = rect;
    SetInitialized(1);
}

void ValueRectangle::Get(const UNITS::LINEAR::UnitEnum& unit, OBRect& rect) const {
    if (!IsInitialized()) return;
    OBReal left(0.0), top(0.0), right(0.0), bottom(0.0);
    if (Convert(unit_, rect_.Left(), unit, left) && Convert(unit_, rect_.Top(), unit, top) &&
        Convert(unit_, rect_.Right(), unit, right) &&
        Convert(unit_, rect_.Bottom(), unit, bottom)) {
        rect.Left(left);
        rect.Top(top);
        rect.Right(right);
        rect.Bottom(bottom);
    }
}
