// The value factory, its typed creators and the attribute record.
#include <ombra/valueutil.h>

#include <atomic>
#include <type_traits>

namespace {

// The class that the factory makes for each type code, from the table.
template <int Code> struct MadeClassOf;
#define OB_VALUE_TYPE(Number, Name, ValueClass, MadeClass)                                         \
    template <> struct MadeClassOf<Number> { typedef MadeClass type; };
#include <ombra/defs/ValueTypes.def>

template <class T> Value* Make() {
    return new T;
} // null when the pool has no memory
template <> Value* Make<void>() {
    return nullptr;
}

// What Create makes for a creator's code, checked at compile time to be the
// class whose Init the creator calls; made here directly, since the code is
// known and values are made by the hundred thousand.
template <class C, int Code> C* Made(Value*& value) {
    static_assert(std::is_same<typename MadeClassOf<Code>::type, C>::value,
                  "the factory makes another class for this code");
    C* made = new C; // null when the pool has no memory
    value = made;
    return made;
}

template <class C, int Code, class E> void CreateEnumValue(const E& member, Value*& value) {
    C* made = nullptr;
    if constexpr (Code == VT::ekAlignmentEnum) {
        // The factory makes nothing for code 0: this creator builds it itself.
        value = nullptr;
        made = new C;
        value = made;
    } else {
        made = Made<C, Code>(value);
    }
    if (made) made->Init(member);
}

std::atomic<bool> gIsCMD{false};

} // namespace

// ---------------------------------------------------------------- ValueUtil

void ValueUtil::Create(VT::ValueTypeEnum type, Value*& value) {
    value = nullptr;
    if (type < 1 || type > 154) return;
    switch (type) {
#define OB_VALUE_TYPE(Number, Name, ValueClass, MadeClass)                                         \
    case VT::Name:                                                                                 \
        value = Make<MadeClass>();                                                                 \
        break;
#include <ombra/defs/ValueTypes.def>
    default:
        break;
    }
}

void ValueUtil::Recycle(Value*& value) {
    delete value;
    value = nullptr;
}

void ValueUtil::SetIsCMD(bool isCMD) {
    gIsCMD.store(isCMD, std::memory_order_relaxed);
}

bool ValueUtil::GetIsCMD() {
    return gIsCMD.load(std::memory_order_relaxed);
}

void ValueUtil::CreateValuePercent(const OBReal& ratio, Value*& value) {
    if (ValuePercent* v = Made<ValuePercent, VT::ekPercent>(value)) v->Init(ratio);
}

void ValueUtil::CreateValuePercent(const int& numerator, const int& denominator, Value*& value) {
    if (ValuePercent* v = Made<ValuePercent, VT::ekPercent>(value)) v->Init(numerator, denominator);
}

void ValueUtil::CreateValueAngle(const UNITS::ANGULAR::UnitEnum& unit, const OBReal& angle,
                                 Value*& value) {
    if (ValueAngle* v = Made<ValueAngle, VT::ekAngularMeasurement>(value)) v->Init(unit, angle);
}

void ValueUtil::CreateValuePoint(const UNITS::LINEAR::UnitEnum& unit, const OBPoint& point,
                                 Value*& value) {
    if (ValuePoint* v = Made<ValuePoint, VT::ekPoint>(value)) v->Init(unit, point);
}

void ValueUtil::CreateValuePoint(const UNITS::LINEAR::UnitEnum& unit, const OBReal& x,
                                 const OBReal& y, Value*& value) {
    if (ValuePoint* v = Made<ValuePoint, VT::ekPoint>(value)) v->Init(unit, x, y);
}

void ValueUtil::CreateValueLength(const UNITS::LINEAR::UnitEnum& unit, const OBReal& length,
                                  Value*& value) {
    if (ValueLength* v = Made<ValueLength, VT::ekMeasurement>(value)) v->Init(unit, length);
}

void ValueUtil::CreateValueLength(const UNITS::LINEAR::UnitEnum& unit, const int& length,
                                  Value*& value) {
    if (ValueLength* v = Made<ValueLength, VT::ekMeasurement>(value)) v->Init(unit, length);
}

void ValueUtil::CreateValueRectangle(const UNITS::LINEAR::UnitEnum& unit, const OBReal& left,
                                     const OBReal& top, const OBReal& right, const OBReal& bottom,
                                     Value*& value) {
    if (ValueRectangle* v = Made<ValueRectangle, VT::ekRect>(value))
        v->Init(unit, left, top, right, bottom);
}

void ValueUtil::CreateValueRectangle(const UNITS::LINEAR::UnitEnum& unit, const OBPoint& leftTop,
                                     const OBPoint& rightBottom, Value*& value) {
    if (ValueRectangle* v = Made<ValueRectangle, VT::ekRect>(value))
        v->Init(unit, leftTop, rightBottom);
}

void ValueUtil::CreateValueRectangle(const UNITS::LINEAR::UnitEnum& unit, const OBRect& rect,
                                     Value*& value) {
    if (ValueRectangle* v = Made<ValueRectangle, VT::ekRect>(value)) v->Init(unit, rect);
}

void ValueUtil::CreateValueMatrix(const OBMatrix& matrix, Value*& value) {
    if (ValueMatrix* v = Made<ValueMatrix, VT::ekMatrix>(value)) v->Init(matrix);
}

void ValueUtil::CreateValuePathPointList(Value*& value) {
    Made<ValuePathPointList, VT::ekPathPointList>(value);
}

void ValueUtil::CreateValueIdRefList(Value*& value) {
    Made<ValueIdRefList, VT::ekIdRefList>(value);
}

void ValueUtil::CreateValueBool16List(Value*& value) {
    Made<ValueBool16List, VT::ekBool16List>(value);
}

void ValueUtil::CreateValueStringList(Value*& value) {
    Made<ValueStringList, VT::ekStringList>(value);
}

void ValueUtil::CreateValueRangeList(Value*& value) {
    Made<ValueRangeList, VT::ekRangeList>(value);
}

void ValueUtil::CreateValueGradientStopList(Value*& value) {
    Made<ValueGradientStopList, VT::ekGradientStopList>(value);
}

void ValueUtil::CreateValueOBID(const unsigned& id, Value*& value) {
    if (ValueOBID* v = Made<ValueOBID, VT::ekId>(value)) v->Init(id);
}

void ValueUtil::CreateValueString(const IOBString& text, Value*& value) {
    if (ValueString* v = Made<ValueString, VT::ekString>(value)) v->Init(text);
}

void ValueUtil::CreateValueBool16(const short& flag, Value*& value) {
    if (ValueBool16* v = Made<ValueBool16, VT::ekBool16>(value)) v->Init(flag);
}

void ValueUtil::CreateValueChar(const char& c, Value*& value) {
    // Widened with its sign, whatever the signedness of char.
    const unsigned short code =
        static_cast<unsigned short>(static_cast<short>(static_cast<signed char>(c)));
    if (ValueChar* v = Made<ValueChar, VT::ekChar>(value)) v->Init(code);
}

void ValueUtil::CreateValueInteger16(const short& number, Value*& value) {
    if (ValueInteger16* v = Made<ValueInteger16, VT::ekSignedShort16>(value)) v->Init(number);
}

void ValueUtil::CreateValueInteger32(const int& number, Value*& value) {
    if (ValueInteger32* v = Made<ValueInteger32, VT::ekSignedInt32>(value)) v->Init(number);
}

void ValueUtil::CreateValueInteger(const unsigned long long& number, Value*& value) {
    if (ValueInteger64* v = Made<ValueInteger64, VT::ekSignedInt64>(value))
        v->Init(static_cast<long long>(number));
}

void ValueUtil::CreateValueOBReal(const OBReal& number, Value*& value) {
    if (ValueOBReal* v = Made<ValueOBReal, VT::ekOBReal>(value)) v->Init(number);
}

// The factory makes the signed class of the same width for the unsigned
// codes; the same bits go in.
void ValueUtil::CreateValueUnInteger16(const unsigned short& number, Value*& value) {
    if (ValueInteger16* v = Made<ValueInteger16, VT::ekUnsignedShort16>(value))
        v->Init(static_cast<short>(number));
}

void ValueUtil::CreateValueUnInteger32(const unsigned& number, Value*& value) {
    if (ValueInteger32* v = Made<ValueInteger32, VT::ekUnsignedInt32>(value))
        v->Init(static_cast<int>(number));
}

void ValueUtil::CreateValueUnInteger(const unsigned long long& number, Value*& value) {
    if (ValueInteger64* v = Made<ValueInteger64, VT::ekUnsignedInt64>(value))
        v->Init(static_cast<long long>(number));
}

void ValueUtil::CreateValueStream(OBStream*& stream, Value*& value) {
    if (ValueStream* v = Made<ValueStream, VT::ekStream>(value)) v->Init(stream);
}

void ValueUtil::CreateValueSysFile(const OBSysFileRef& file, Value*& value) {
    if (ValueSysFile* v = Made<ValueSysFile, VT::ekSysFile>(value)) v->Init(file);
}

void ValueUtil::CreateValueFileSpec(OBSysFileRef& file, Value*& value) {
    if (ValueFileSpec* v = Made<ValueFileSpec, VT::ekFileSpecification>(value)) v->Init(file);
}

void ValueUtil::CreateValueFileSpec(short volumeRefId, int directoryId, COBString& path,
                                    Value*& value) {
    if (ValueFileSpec* v = Made<ValueFileSpec, VT::ekFileSpecification>(value))
        v->Init(static_cast<int>(volumeRefId), directoryId, path);
}

void ValueUtil::CreateValueDateTime(const int& year, const int& month, const int& day,
                                    const int& hour, const int& minute, const int& second,
                                    Value*& value) {
    if (ValueDateTime* v = Made<ValueDateTime, VT::ekDateTime>(value))
        v->Init(year, month, day, hour, minute, second);
}

void ValueUtil::CreateValueGradientStop(const OBReal& location, const OBReal& midpoint,
                                        const unsigned& colorRef, OBReal tint, Value*& value) {
    if (ValueGradientStop* v = Made<ValueGradientStop, VT::ekGradientStop>(value))
        v->Init(location, midpoint, colorRef, tint);
}

#define OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)                           \
    void ValueUtil::Creator(const Space::Enum& member, Value*& value) {                            \
        CreateEnumValue<Class, Code>(member, value);                                               \
    }
#define OB_VALUE_ENUM_EXTERNAL(Code, TypeName, Class, Space, Enum, Creator)                        \
    OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)
#include <ombra/defs/ValueEnums.def>

// ---------------------------------------------------------------- Attribute

Attribute::Attribute() noexcept
    : name_(AN::kUndefined), type_(VT::ekUndefined), value_(nullptr), initialized_(0), owns_(1) {}

Attribute::Attribute(const AN::AttrNameEnum& name, const VT::ValueTypeEnum& type,
                     Value* value) noexcept
    : name_(name), type_(type), value_(value), initialized_(0), owns_(1) {}

Attribute::Attribute(const Attribute& other) noexcept
    : name_(other.name_), type_(other.type_), value_(other.value_),
      initialized_(other.initialized_), owns_(0) {}

Attribute::Attribute(Attribute&& other) noexcept
    : name_(other.name_), type_(other.type_), value_(other.value_),
      initialized_(other.initialized_), owns_(other.owns_) {
    other.value_ = nullptr;
    other.owns_ = 1;
}

Attribute::~Attribute() {
    ReleaseOwned();
}

void Attribute::ReleaseOwned() {
    if (value_ && owns_) ValueUtil::Recycle(value_);
    value_ = nullptr;
    owns_ = 1;
}

Attribute& Attribute::operator=(const Attribute& other) noexcept {
    if (&other == this) return *this;
    if (other.value_ != value_) {
        // The value owned until now is no longer held by this record.
        ReleaseOwned();
        owns_ = 0; // the new one stays the source's
    }
    name_ = other.name_;
    type_ = other.type_;
    value_ = other.value_;
    initialized_ = other.initialized_;
    return *this;
}

Attribute& Attribute::operator=(Attribute&& other) noexcept {
    if (&other == this) return *this;
    short takesOwnership = other.owns_;
    if (other.value_ != value_) {
        ReleaseOwned();
        owns_ = takesOwnership;
    } else if (takesOwnership) {
        owns_ = 1; // the same value, whose owner hands it over
    }
    name_ = other.name_;
    type_ = other.type_;
    value_ = other.value_;
    initialized_ = other.initialized_;
    other.value_ = nullptr;
    other.owns_ = 1;
    return *this;
}

void Attribute::Init(VT::ValueTypeEnum type) {
    type_ = type;
    try {
        Value* made = nullptr;
        ValueUtil::Create(type, made);
        value_ = made;
        owns_ = 1;
        initialized_ = 1;
    } catch (...) {
        initialized_ = 0;
        throw;
    }
}

void Attribute::SetValue(Value* value) {
    if (value == value_) return; // a borrowed value stays its owner's
    value_ = value;
    owns_ = 1;
}
