// The value factory (ValueUtil) and the attribute record (Attribute) with
// which element classes hold a property.
#ifndef OMBRA_VALUEUTIL_H
#define OMBRA_VALUEUTIL_H

#include <ombra/elements.h>
#include <ombra/export.h>
#include <ombra/geometry.h>
#include <ombra/values.h>
#include <ombra/vocabulary.h>

class OBStream;
class OBSysFileRef;
class COBString;
class IOBString;

/// Makes and unmakes values. Values come from the pools of their sizes; a
/// value that a creator hands out belongs to the caller, who releases it
/// with Recycle. Every creator first sets `value` to null and leaves it
/// null when nothing could be made (no memory); no creator throws.
class OMBRA_API ValueUtil {
public:
    /// A new value of the class for `type`, in its default state, or null.
    /// Types outside 1 to 154 and types without a class make nothing (so
    /// ekAlignmentEnum, 0, is made only by CreateValueAlignmentEnum). A few
    /// codes are made as another class: ekIdRef (43) as ValueOBID (42),
    /// ekKiloBytes (50) and ekUnsignedInt32 (102) as ValueInteger32 (83),
    /// ekUnsignedInt64 (103) as ValueInteger64 (84), ekUnsignedShort16 (104)
    /// as ValueInteger16 (85), ekStream (123) as ValueStream (46).
    static void Create(VT::ValueTypeEnum type, Value*& value);
    /// Deletes the value (its block goes back to its pool) and sets the
    /// pointer to null; null is left as it is.
    static void Recycle(Value*& value);

    /// A process-wide flag for readers and writers, false at start; the
    /// library itself never reads it.
    static void SetIsCMD(bool isCMD);
    static bool GetIsCMD();

    /// ValuePercent from a ratio (0.25 is 25 %).
    static void CreateValuePercent(const OBReal& ratio, Value*& value);
    /// ValuePercent from a fraction.
    static void CreateValuePercent(const int& numerator, const int& denominator, Value*& value);
    static void CreateValueAngle(const UNITS::ANGULAR::UnitEnum& unit, const OBReal& angle,
                                 Value*& value);
    static void CreateValuePoint(const UNITS::LINEAR::UnitEnum& unit, const OBPoint& point,
                                 Value*& value);
    static void CreateValuePoint(const UNITS::LINEAR::UnitEnum& unit, const OBReal& x,
                                 const OBReal& y, Value*& value);
    /// A real length.
    static void CreateValueLength(const UNITS::LINEAR::UnitEnum& unit, const OBReal& length,
                                  Value*& value);
    /// An integral length.
    static void CreateValueLength(const UNITS::LINEAR::UnitEnum& unit, const int& length,
                                  Value*& value);
    /// A plain double makes a real length (rather than converting to int).
    static void CreateValueLength(const UNITS::LINEAR::UnitEnum& unit, double length,
                                  Value*& value) {
        CreateValueLength(unit, OBReal(length), value);
    }
    /// The four numbers are kept as given, never normalised.
    static void CreateValueRectangle(const UNITS::LINEAR::UnitEnum& unit, const OBReal& left,
                                     const OBReal& top, const OBReal& right, const OBReal& bottom,
                                     Value*& value);
    static void CreateValueRectangle(const UNITS::LINEAR::UnitEnum& unit, const OBPoint& leftTop,
                                     const OBPoint& rightBottom, Value*& value);
    static void CreateValueRectangle(const UNITS::LINEAR::UnitEnum& unit, const OBRect& rect,
                                     Value*& value);
    static void CreateValueMatrix(const OBMatrix& matrix, Value*& value);
    /// Empty lists.
    static void CreateValuePathPointList(Value*& value);
    static void CreateValueIdRefList(Value*& value);
    static void CreateValueBool16List(Value*& value);
    static void CreateValueStringList(Value*& value);
    static void CreateValueRangeList(Value*& value);
    static void CreateValueGradientStopList(Value*& value);
    static void CreateValueOBID(const unsigned& id, Value*& value);
    /// Stores a copy of the string.
    static void CreateValueString(const IOBString& text, Value*& value);
    static void CreateValueBool16(const short& flag, Value*& value);
    /// The character is widened with its sign: byte 0xE9 is stored as 0xFFE9.
    static void CreateValueChar(const char& c, Value*& value);
    static void CreateValueInteger16(const short& number, Value*& value);
    static void CreateValueInteger32(const int& number, Value*& value);
    /// A ValueInteger64 holding the same 64 bits.
    static void CreateValueInteger(const unsigned long long& number, Value*& value);
    static void CreateValueOBReal(const OBReal& number, Value*& value);
    /// The unsigned creators make the signed class of the same width
    /// (ValueInteger16, 32, 64) holding the same bits.
    static void CreateValueUnInteger16(const unsigned short& number, Value*& value);
    static void CreateValueUnInteger32(const unsigned& number, Value*& value);
    static void CreateValueUnInteger(const unsigned long long& number, Value*& value);
    /// A ValueStream (type 46) holding the pointer; the stream is not owned.
    static void CreateValueStream(OBStream*& stream, Value*& value);
    static void CreateValueSysFile(const OBSysFileRef& file, Value*& value);
    static void CreateValueFileSpec(OBSysFileRef& file, Value*& value);
    /// The volume reference id is widened with its sign (-1 stays -1).
    static void CreateValueFileSpec(short volumeRefId, int directoryId, COBString& path,
                                    Value*& value);
    static void CreateValueDateTime(const int& year, const int& month, const int& day,
                                    const int& hour, const int& minute, const int& second,
                                    Value*& value);
    static void CreateValueGradientStop(const OBReal& location, const OBReal& midpoint,
                                        const unsigned& colorRef, OBReal tint, Value*& value);

    /// One creator per enumeration value class (CreateValueAlignmentEnum,
    /// CreateValueCapStyleEnum, …; the names are those of ValueEnums.def).
#define OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)                           \
    static void Creator(const Space::Enum& member, Value*& value);
#define OB_VALUE_ENUM_EXTERNAL(Code, TypeName, Class, Space, Enum, Creator)                        \
    static void Creator(const Space::Enum& member, Value*& value);
#include <ombra/defs/ValueEnums.def>
};

/// A property of an element: its name, the type of value it is meant to
/// hold, and the value itself, which the attribute owns and releases
/// through ValueUtil::Recycle.
///
/// Copies. Copies share the value pointer, but a value is released by one
/// attribute only, so it is never released twice:
/// - a copy (copy construction or copy assignment) borrows the value: it
///   never releases it; the source keeps owning it;
/// - a move hands ownership to the target; the source is left without a
///   value;
/// - an attribute that is assigned a different value releases the value
///   it owned before (assigning the value it already holds keeps its
///   ownership);
/// - Init and SetValue give the attribute ownership of the new value; as
///   before, they do not release the value held before: take it with
///   GetValue first.
/// A borrower must not use its value after the owner released it.
class OMBRA_API Attribute {
public:
    OB_MEMORY_OPERATORS

    /// No name (AN::kUndefined), type ekUndefined, no value.
    Attribute() noexcept;
    /// Takes ownership of `value` (which may be null); not initialised.
    Attribute(const AN::AttrNameEnum& name, const VT::ValueTypeEnum& type, Value* value) noexcept;
    /// Name, type, value pointer and flag; the copy borrows the value.
    Attribute(const Attribute& other) noexcept;
    /// Takes the value and its ownership; the source holds none afterwards.
    Attribute(Attribute&& other) noexcept;
    /// Releases the value when it owns one.
    ~Attribute();

    /// Copies name, type, value pointer and flag; this attribute borrows the
    /// value unless it is the one it already owns.
    Attribute& operator=(const Attribute& other) noexcept;
    Attribute& operator=(Attribute&& other) noexcept;

    /// Sets the type and a fresh default value of it from ValueUtil::Create
    /// (null for a type the factory does not make), then the initialized
    /// flag. A value held before is not released. An exception from the
    /// value's construction clears the flag and passes on.
    void Init(VT::ValueTypeEnum type);

    AN::AttrNameEnum GetName() const { return name_; }
    /// The type the attribute is meant to hold.
    VT::ValueTypeEnum GetType() const { return type_; }
    Value* GetValue() { return value_; }
    /// Stores the pointer and owns the new value; type and flag stay, and a
    /// value held before is not released. Setting the value already held
    /// changes nothing (a borrowed value stays borrowed).
    void SetValue(Value* value);
    /// 1 when the attribute releases its value with itself.
    short OwnsValue() const { return value_ && owns_ ? 1 : 0; }

private:
    short IsInitialized() const { return initialized_; }
    void ReleaseOwned();

    AN::AttrNameEnum name_;
    VT::ValueTypeEnum type_;
    Value* value_;
    short initialized_;
    short owns_;
};

#endif
