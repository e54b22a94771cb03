// The concrete attribute values of the document model: scalars, measured
// quantities that keep their unit, percentages, matrices, strings, dates,
// file locations, streams, the list values and the 83 enumeration
// values, plus a text rendering of any value for structure dumps.
#ifndef OMBRA_VALUES_H
#define OMBRA_VALUES_H

#include <ombra/elements.h>
#include <ombra/export.h>
#include <ombra/files.h>
#include <ombra/geometry.h>
#include <ombra/pools.h>
#include <ombra/strings.h>
#include <ombra/textservice.h>
#include <ombra/vocabulary.h>

class OBStream;

/// The kinds of path that a file location can hold, worked out from
/// the path text (ValueFileSpec::GetPathType). Paths are data from
/// documents made on other systems: '\\' and ':' are their separators, not
/// the host's.
namespace PATH {
enum PathType : int {
    kPathUnknown = 0,     ///< not yet worked out, or the value is not initialised
    kPathMacRelative = 1, ///< begins with ':' (":Folder:File")
    kPathUNC = 2,         ///< begins with two backslashes ("\\server\share\file")
    kPathDOS = 16,        ///< a drive path ("C:\dir\file") or a path without ':'
    kPathMacVolume = 256, ///< a volume path separated by ':' ("Disk:Folder:File")
    kPathURL = 2048,      ///< begins with "http://" or "ftp://"
    kPathPOSIX = 16384,   ///< separated by '/'; never worked out from a path text
};
} // namespace PATH

// ---------------------------------------------------------------- scalars

/// Declares a value class that holds one number of type T: Init stores it,
/// Get reads it while the value is initialised, and equality is exact.
/// GetQualifier is `const` or nothing, as each class's Get is declared.
#define OB_DECLARE_SCALAR_VALUE(Class, Code, T, GetQualifier)                                      \
    class OMBRA_API Class : public Value {                                                         \
    public:                                                                                        \
        /** Payload 0, initialised. */                                                             \
        Class() noexcept : Value(VT::Code), value_(0) {}                                           \
        ~Class() override = default;                                                               \
        /** Copies the number of another value of this class. */                                   \
        Value& operator=(Value& other) override;                                                   \
        /** Same type and class and the same number. */                                            \
        short IsEqual(Value* other) override;                                                      \
        /** Stores the number and sets the initialized flag. */                                    \
        virtual void Init(const T& value) {                                                        \
            value_ = value;                                                                        \
            SetInitialized(1);                                                                     \
        }                                                                                          \
        /** Writes the number while the value is initialised. */                                   \
        virtual void Get(T& value) GetQualifier;                                                   \
                                                                                                   \
    private:                                                                                       \
        T value_;                                                                                  \
    };

#define OB_SCALAR_MUTABLE
#define OB_SCALAR_VALUE OB_DECLARE_SCALAR_VALUE
#include <ombra/defs/ScalarValues.def>
#undef OB_SCALAR_MUTABLE
#undef OB_DECLARE_SCALAR_VALUE

// ---------------------------------------------------------------- measured values

/// A length that keeps the unit it was given, type ekMeasurement (56). It
/// holds either an integer or a real (the integral flag says which); Init
/// with one kind leaves the other field as it was. Every Get converts the
/// current number into the unit asked for; the integer Get truncates toward
/// zero (a result beyond the int range saturates, NaN gives 0). A Get whose
/// conversion throws (an unknown unit) leaves its output untouched.
/// Default: 0 points, integral.
class OMBRA_API ValueLength : public Value {
public:
    ValueLength() noexcept
        : Value(VT::ekMeasurement), unit_(UNITS::LINEAR::kPoints), real_(0.0), integer_(0),
          integral_(1) {}
    ~ValueLength() override = default;
    Value& operator=(Value& other) override;
    /// Both lengths read as reals in this value's unit, within 1e-8.
    short IsEqual(Value* other) override;

    /// Stores an integral length; the integral flag becomes 1.
    virtual void Init(const UNITS::LINEAR::UnitEnum& unit, const int& value);
    /// Stores a real length; the integral flag becomes 0.
    virtual void Init(const UNITS::LINEAR::UnitEnum& unit, const OBReal& value);
    virtual void Get(const UNITS::LINEAR::UnitEnum& unit, OBReal& value) const;
    virtual void Get(const UNITS::LINEAR::UnitEnum& unit, int& value) const;
    /// The stored unit, while initialised.
    virtual void GetUnit(UNITS::LINEAR::UnitEnum& unit) const;

    /// A plain double is a real length (not truncated to the int overload).
    void Init(const UNITS::LINEAR::UnitEnum& unit, double value) { Init(unit, OBReal(value)); }
    /// The stored unit.
    UNITS::LINEAR::UnitEnum GetMeasurementUnit() const { return unit_; }
    /// 1 when the length is held as an integer.
    short IsIntegral() const { return integral_; }
    /// Appends the number without a unit: the integer in decimal, or the
    /// real rounded to single precision in "%f" form.
    void GetAsString(COBString& text) const;

private:
    OBReal Current() const;

    UNITS::LINEAR::UnitEnum unit_;
    OBReal real_;
    int integer_;
    short integral_;
};

/// An angle that keeps its unit, type ekAngularMeasurement (3). Default: 0
/// degrees. Get converts into the unit asked for; an unknown unit leaves
/// the output untouched.
class OMBRA_API ValueAngle : public Value {
public:
    ValueAngle() noexcept
        : Value(VT::ekAngularMeasurement), unit_(UNITS::ANGULAR::kDegrees), value_(0.0) {}
    ~ValueAngle() override = default;
    Value& operator=(Value& other) override;
    /// The other angle read in this unit equals this number within 1e-8.
    short IsEqual(Value* other) override;
    virtual void Init(const UNITS::ANGULAR::UnitEnum& unit, const OBReal& value);
    virtual void Get(const UNITS::ANGULAR::UnitEnum& unit, OBReal& value) const;

    UNITS::ANGULAR::UnitEnum GetMeasurementUnit() const { return unit_; }

private:
    UNITS::ANGULAR::UnitEnum unit_;
    OBReal value_;
};

/// A point that keeps its unit, type ekPoint (73). Default: (0, 0) points.
class OMBRA_API ValuePoint : public Value {
public:
    ValuePoint() noexcept;
    ~ValuePoint() override;
    Value& operator=(Value& other) override;
    /// Coordinate by coordinate within 1e-8, the other read in this unit.
    short IsEqual(Value* other) override;
    virtual void Init(const UNITS::LINEAR::UnitEnum& unit, const OBReal& x, const OBReal& y);
    virtual void Init(const UNITS::LINEAR::UnitEnum& unit, const OBPoint& point);
    virtual void Get(const UNITS::LINEAR::UnitEnum& unit, OBReal& x, OBReal& y) const;
    virtual void Get(const UNITS::LINEAR::UnitEnum& unit, OBPoint& point) const;

    UNITS::LINEAR::UnitEnum GetMeasurementUnit() const { return unit_; }

private:
    UNITS::LINEAR::UnitEnum unit_;
    OBPoint point_;
};

/// A rectangle that keeps its unit, type ekRect (75). The four numbers are
/// kept exactly in the order given (left, top, right, bottom), never
/// normalised. Default: all 0, points.
class OMBRA_API ValueRectangle : public Value {
public:
    ValueRectangle() noexcept;
    ~ValueRectangle() override;
    Value& operator=(Value& other) override;
    /// Coordinate by coordinate within 1e-8, the other read in this unit.
    short IsEqual(Value* other) override;
    /// The first point is (left, top), the second (right, bottom).
    virtual void Init(const UNITS::LINEAR::UnitEnum& unit, const OBPoint& leftTop,
                      const OBPoint& rightBottom);
    virtual void Init(const UNITS::LINEAR::UnitEnum& unit, const OBReal& left, const OBReal& top,
                      const OBReal& right, const OBReal& bottom);
    virtual void Init(const UNITS::LINEAR::UnitEnum& unit, const OBRect& rect);
    virtual void Get(const UNITS::LINEAR::UnitEnum& unit, OBRect& rect) const;

    UNITS::LINEAR::UnitEnum GetMeasurementUnit() const { return unit_; }

private:
    UNITS::LINEAR::UnitEnum unit_;
    OBRect rect_;
};

// ---------------------------------------------------------------- other single values

/// A percentage as a ratio (0.25 is 25 %), type ekPercent (68). Given as a
/// real it keeps the real; given as a fraction it keeps numerator and
/// denominator and computes the ratio. Neither form clears the other's
/// fields. Default: ratio 0, fraction 0/1, real form.
class OMBRA_API ValuePercent : public Value {
public:
    ValuePercent() noexcept
        : Value(VT::ekPercent), ratio_(0.0), numerator_(0), denominator_(1), hasRatio_(1) {}
    ~ValuePercent() override = default;
    Value& operator=(Value& other) override;
    /// The ratios within 1e-8.
    short IsEqual(Value* other) override;
    /// Stores the fraction; the ratio becomes numerator / denominator in
    /// double precision (a zero denominator gives an infinite or NaN ratio).
    virtual void Init(const int& numerator, const int& denominator);
    /// In line: stores set values by the thousand.
    virtual void Init(const OBReal& ratio) {
        ratio_ = ratio;
        hasRatio_ = 1;
        SetInitialized(1);
    }
    virtual void Get(int& numerator, int& denominator) const;
    virtual void Get(OBReal& ratio) const;

    /// 1 for a value given as a real (or never set), 0 for a fraction.
    short HasRatio() const { return hasRatio_; }

private:
    OBReal ratio_;
    int numerator_;
    int denominator_;
    short hasRatio_;
};

/// An affine matrix, type ekMatrix (118). Default: the identity. Get copies
/// whether or not the value is initialised.
class OMBRA_API ValueMatrix : public Value {
public:
    ValueMatrix() noexcept;
    ~ValueMatrix() override;
    Value& operator=(Value& other) override;
    /// OBMatrix equality (each element within 1e-8).
    short IsEqual(Value* other) override;
    virtual void Init(const OBMatrix& matrix);
    virtual void Get(OBMatrix& matrix) const;

private:
    OBMatrix matrix_;
};

/// A date and time as six numbers, type ekDateTime (30). The fields may
/// hold any number; nothing is checked. Default: all 0.
class OMBRA_API ValueDateTime : public Value {
public:
    ValueDateTime() noexcept;
    ~ValueDateTime() override;
    Value& operator=(Value& other) override;
    /// All six fields equal.
    short IsEqual(Value* other) override;
    virtual void Init(const int& year, const int& month, const int& day, const int& hour,
                      const int& minute, const int& second);

    int GetYear() const { return year_; }
    int GetMonth() const { return month_; }
    int GetDay() const { return day_; }
    int GetHour() const { return hour_; }
    int GetMin() const { return minute_; }
    int GetSec() const { return second_; }

private:
    int year_;
    int month_;
    int day_;
    int hour_;
    int minute_;
    int second_;
};

/// A string, 8-bit (COBString, tagged with its script) or UTF-16
/// (WOBString), type ekString (87). A new value holds no string; Gets then
/// leave their outputs untouched.
class OMBRA_API ValueString : public Value {
public:
    ValueString() noexcept;
    /// Copies the other value's string (a deep copy).
    ValueString(const ValueString& other);
    ValueString& operator=(const ValueString& other);
    ~ValueString() override;
    Value& operator=(Value& other) override;
    /// The held strings are equal (IOBStringPtr equality): same kind and
    /// text; two values without a string are equal too.
    short IsEqual(Value* other) override;
    /// Stores a copy of the string, keeping its kind.
    virtual void Init(const IOBString& text);
    /// A UTF-16 target receives the UTF-16 text, an 8-bit target the 8-bit
    /// text (an 8-bit string's script goes along into a COBString target).
    virtual void Get(IOBString& text) const;
    /// Makes the holder refer to a copy of the string.
    virtual void Get(IOBStringPtr& text) const;

    /// The held string without a copy (null when none); valid until the
    /// value changes or dies.
    const IOBString* GetPtr() const { return text_.GetPtr(); }

private:
    friend class OBAttributeStore; // converts text straight into the value

    /// Lets go of the held string, wherever it lives.
    void ReleaseText();
    bool HoldsInside() const;
    /// Holds a new empty UTF-16 string inside, for the caller to fill.
    WOBString* HoldUnitsInside();
    /// Holds the n bytes widened to UTF-16 inside when they are ASCII and
    /// fit the string's own room; false, holding nothing new, otherwise.
    bool HoldAsciiInside(const char* bytes, std::size_t n);
    /// Ends a value in its element's block (the destructor, with no call
    /// when the string inside holds nothing of the memory service's).
    void EndInBlock() noexcept;

    IOBStringPtr text_;
    // The string object and its storage block live here rather than on the
    // heap (and with them the text, when it is short): most names and runs
    // of text then cost no allocation.
    alignas(8) unsigned char inside_[120];
};

/// A reference to a file of this system, type ekSysFile (90).
class OMBRA_API ValueSysFile : public Value {
public:
    ValueSysFile() noexcept;
    ~ValueSysFile() override;
    Value& operator=(Value& other) override;
    /// The two paths in the form the file system takes them (the UTF-8 form
    /// of a UTF-16 path) are byte-for-byte equal.
    short IsEqual(Value* other) override;
    virtual void Init(const OBSysFileRef& file);
    virtual void Get(OBSysFileRef& file);

private:
    OBSysFileRef file_;
};

/// A stream pointer, type ekIStreamPointer (46); the factory makes it for
/// ekStream (123) too. The value never closes or deletes the stream: by
/// the document-model conventions the Element holding the value owns it.
/// Two stream values are never equal, not even a value and itself.
class OMBRA_API ValueStream : public Value {
public:
    ValueStream() noexcept;
    ~ValueStream() override;
    Value& operator=(Value& other) override;
    /// Always 0.
    short IsEqual(Value* other) override;
    /// Copies `length` bytes at `data` into a new reading stream and holds
    /// it. As with every stream value, the stream then belongs to whoever
    /// holds the value; deleting it releases the copied bytes. The stream is
    /// left at the end of the bytes: readers seek to the start first. Null
    /// data with a positive length, a negative length, or no memory leave
    /// the value unchanged.
    virtual void InitFromCharPointer(char* data, int length);
    virtual void Init(OBStream*& stream);
    virtual void Get(OBStream*& stream);

private:
    OBStream* stream_;
};

/// One stop of a gradient, type ekGradientStop (113): its location along
/// the gradient (0 to 1), the midpoint towards the next stop (0 to 1), the
/// id of its colour Element and its tint (a ratio). Init leaves the
/// initialized flag alone and the getters copy whatever it is. Default:
/// all 0.
class OMBRA_API ValueGradientStop : public Value {
public:
    ValueGradientStop() noexcept;
    ~ValueGradientStop() override;
    Value& operator=(Value& other) override;
    /// Same colour reference; location, midpoint and tint within 1e-8.
    short IsEqual(Value* other) override;
    virtual void Init(const OBReal& location, const OBReal& midpoint, const unsigned& colorRef,
                      OBReal tint);
    virtual void Get(OBReal& location, OBReal& midpoint, unsigned& colorRef);
    virtual void GetTint(OBReal& tint);

private:
    OBReal location_;
    OBReal midpoint_;
    unsigned colorRef_;
    OBReal tint_;
};

/// A file location as a document stores it, type ekFileSpecification
/// (34): a path in the form of the system the document was made on
/// (Windows, UNC, old Mac volume or relative paths, URLs), with the old
/// Mac volume reference and directory ids. Default: empty path, ids 0.
class OMBRA_API ValueFileSpec : public Value {
public:
    ValueFileSpec() noexcept;
    ~ValueFileSpec() override;
    /// Copies the path and ids; the path kind is worked out anew.
    Value& operator=(Value& other) override;
    /// The two paths as 8-bit text, ignoring letter case; ids are not compared.
    short IsEqual(Value* other) override;
    /// Takes the reference's path as 8-bit text (the UTF-8 form of a UTF-16
    /// path); the ids stay.
    virtual void Init(OBSysFileRef& file);
    virtual void Init(int volumeRefId, int directoryId, COBString& path);
    /// Makes the holder refer to a copy of the path.
    virtual void Get(IOBStringPtr& path) const;
    /// Sets the reference's path to the stored path.
    virtual void Get(OBSysFileRef& file) const;
    /// Assigns the stored path.
    virtual void GetAsString(COBString& path) const;
    virtual int GetVolRefID() const;
    virtual int GetDirID() const;
    /// Assigns the stored path.
    virtual void GetFullPathNameA(COBString& path) const;
    /// The file name by the path kind, from the last separator on, the
    /// separator included: '\\' for UNC and drive paths, ':' for volume
    /// paths, '/' for URLs; cleared when the path has no such separator.
    /// Any other kind yields the whole path.
    virtual void GetFileName(COBString& name);
    /// The path kind, worked out on first demand and remembered until the
    /// next Init; kPathUnknown (0) while the value is not initialised.
    virtual PATH::PathType GetPathType();

    /// 0 for a drive path (kind 16) without looking; otherwise 1 when a
    /// file of that name exists here (old Mac volume paths are read as
    /// Disk/Folder/File, bare names in the temporary directory).
    short FileExists();

private:
    COBString path_;
    int directoryId_;
    int volumeRefId_;
    PATH::PathType pathType_;
};

// ---------------------------------------------------------------- lists

/// The list values keep their entries in storage of their own from the
/// memory service, released by the destructor. Add appends and returns 1,
/// or 0 when the storage could not grow: the list is then unchanged. An
/// indexed read outside 0 to count - 1 leaves its outputs untouched (a
/// getter that returns its result returns 0 or an empty handle), as does a
/// read of a value that is not initialised. Assignment copies the entries
/// into storage of exactly the other list's count; without memory it
/// changes nothing. Except for ValueBool16List, storage grows to 8 entries
/// and then doubles. Lists are not copy-constructible: assign them.
#define OB_LIST_VALUE_COMMON(Class)                                                                \
    Class() noexcept;                                                                              \
    Class(const Class&) = delete;                                                                  \
    ~Class() override;                                                                             \
    Value& operator=(Value& other) override;                                                       \
    Class& operator=(const Class& other);                                                          \
    short IsEqual(Value* other) override;                                                          \
    /** Entries allocated. */                                                                      \
    long long Capacity() const {                                                                   \
        return capacity_;                                                                          \
    }

/// Element ids, type ekIdRefList (44). Equal: same count, ids pairwise equal.
class OMBRA_API ValueIdRefList : public Value {
public:
    OB_LIST_VALUE_COMMON(ValueIdRefList)
    short Add(const unsigned& id);
    /// Entry i, or 0 outside the list.
    unsigned Get(int i) const;
    long long Count() const { return count_; }

private:
    unsigned* ids_;
    long long count_;
    long long capacity_;
};

/// 16-bit booleans, type ekBool16List (151). Storage grows in chunks of 8:
/// when count + 1 reaches the capacity, to count + 8 entries.
class OMBRA_API ValueBool16List : public Value {
public:
    OB_LIST_VALUE_COMMON(ValueBool16List)
    short Add(const short& flag);
    /// Entry i, or 0 outside the list.
    short Get(int i) const;
    long long Count() const { return count_; }

private:
    short* flags_;
    long long count_;
    long long capacity_;
};

/// Strings, type ekStringList (132); each entry owns a copy of the added
/// string. Equal: same count, strings pairwise equal (IOBStringPtr equality).
class OMBRA_API ValueStringList : public Value {
public:
    OB_LIST_VALUE_COMMON(ValueStringList)
    /// Appends a copy of the string, keeping its kind.
    short Add(const IOBString& text);
    /// Entry i; a handle holding nothing outside the list.
    const IOBStringPtr& Get(int i) const;
    long long Count() const { return count_; }

private:
    IOBStringPtr* strings_;
    long long count_;
    long long capacity_;
};

/// Ranges (start, end) of unsigned numbers, type ekRangeList (133), kept in
/// two parallel arrays. Equal: same count, pairs pairwise equal.
class OMBRA_API ValueRangeList : public Value {
public:
    OB_LIST_VALUE_COMMON(ValueRangeList)
    short Add(unsigned start, unsigned end);
    void Get(int i, unsigned& start, unsigned& end) const;
    long long NumRanges() const { return count_; }

private:
    unsigned* starts_;
    unsigned* ends_;
    long long count_;
    long long capacity_;
};

/// Points with one unit for the whole list, type ekVertexList (105). The
/// first Add to an empty list sets the unit; later units are ignored and
/// their points stored as they are. A new list has unit points (7). Equal:
/// same count, vertices within 1e-8 after the other list's vertex is read
/// in this list's unit.
class OMBRA_API ValueVertexList : public Value {
public:
    OB_LIST_VALUE_COMMON(ValueVertexList)
    short Add(const OBPoint& point, UNITS::LINEAR::UnitEnum unit);
    /// Room for n vertices in all, made at once: a list whose size is known
    /// is not grown step by step. False, changing nothing, without memory.
    short Reserve(long long n);
    /// Vertex i converted into `unit` (only read).
    void Get(int i, UNITS::LINEAR::UnitEnum& unit, OBPoint& point) const;
    long long NumVertices() const { return count_; }
    UNITS::LINEAR::UnitEnum GetMeasurementUnit() const { return unit_; }

private:
    short AddGrown(const OBPoint& point, UNITS::LINEAR::UnitEnum unit);
    UNITS::LINEAR::UnitEnum unit_;
    OBPoint* points_;
    long long count_;
    long long capacity_;
};

/// Bezier path points with one unit for the whole list, type
/// ekPathPointList (122); the unit rule is that of ValueVertexList. Equal:
/// same count, path points equal (OBPathPoint comparison) when both are
/// read in this list's unit.
class OMBRA_API ValuePathPointList : public Value {
public:
    OB_LIST_VALUE_COMMON(ValuePathPointList)
    short Add(const OBPathPoint& point, UNITS::LINEAR::UnitEnum unit);
    /// As ValueVertexList::Reserve.
    short Reserve(long long n);
    /// Path point i with its three points converted into `unit` (only
    /// read); the anchor type stays.
    void Get(int i, UNITS::LINEAR::UnitEnum& unit, OBPathPoint& point) const;
    long long NumPathPoints() const { return count_; }
    UNITS::LINEAR::UnitEnum GetMeasurementUnit() const { return unit_; }

private:
    short AddGrown(const OBPathPoint& point, UNITS::LINEAR::UnitEnum unit);
    UNITS::LINEAR::UnitEnum unit_;
    OBPathPoint* points_;
    long long count_;
    long long capacity_;
};

/// One gradient stop as a plain record: the fields of ValueGradientStop,
/// in the same order.
struct OBGradientStop {
    OBReal location;   ///< along the gradient, 0 to 1
    OBReal midpoint;   ///< towards the next stop, 0 to 1
    unsigned colorRef; ///< the id of the stop's colour Element
    OBReal tint;       ///< a ratio
};

/// Gradient stops, type ekGradientStopList (114). Equal: same count, stops
/// pairwise equal as ValueGradientStop compares them. Its operations are
/// virtual, in this order.
class OMBRA_API ValueGradientStopList : public Value {
public:
    OB_LIST_VALUE_COMMON(ValueGradientStopList)
    virtual short Add(OBReal location, OBReal midpoint, unsigned colorRef, OBReal tint);
    virtual short Add(OBGradientStop stop);
    /// The tint of stop i.
    virtual void Get(int i, OBReal& tint);
    virtual void Get(int i, OBReal& location, OBReal& midpoint, unsigned& colorRef);
    virtual void Get(int i, OBGradientStop& stop);
    virtual long long NumGradientStops();

private:
    OBGradientStop* stops_;
    long long count_;
    long long capacity_;
};

#undef OB_LIST_VALUE_COMMON

// ---------------------------------------------------------------- enumerations

/// What the 83 enumeration values share: one member of their enumeration,
/// held as a number. Equality compares the members of two values of the
/// same type. A new value holds member 0 (kUndefined).
class OMBRA_API ValueEnumBase : public Value {
public:
    ~ValueEnumBase() override = default;
    short IsEqual(Value* other) override;
    /// The member as a number, whatever the value's enumeration.
    int GetMember() const { return member_; }

protected:
    explicit ValueEnumBase(VT::ValueTypeEnum type) noexcept : Value(type), member_(0) {}
    int member_;
};

/// The enumeration values, one class per row of ValueEnums.def: Init stores
/// a member and sets the initialized flag, Get reads it while initialised,
/// assignment reads the other with Get and stores with Init.
#define OB_VALUE_ENUM_CLASS_(Code, Class, Space, Enum)                                             \
    class OMBRA_API Class : public ValueEnumBase {                                                 \
    public:                                                                                        \
        typedef Space::Enum EnumType;                                                              \
        static constexpr VT::ValueTypeEnum kType = static_cast<VT::ValueTypeEnum>(Code);           \
        Class() noexcept : ValueEnumBase(kType) {}                                                 \
        ~Class() override = default;                                                               \
        Value& operator=(Value& other) override;                                                   \
        virtual void Init(const Space::Enum& member) {                                             \
            member_ = static_cast<int>(member);                                                    \
            SetInitialized(1);                                                                     \
        }                                                                                          \
        virtual void Get(Space::Enum& member) const;                                               \
    };
#define OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)                           \
    OB_VALUE_ENUM_CLASS_(Code, Class, Space, Enum)
#define OB_VALUE_ENUM_EXTERNAL(Code, TypeName, Class, Space, Enum, Creator)                        \
    OB_VALUE_ENUM_CLASS_(Code, Class, Space, Enum)
#include <ombra/defs/ValueEnums.def>
#undef OB_VALUE_ENUM_CLASS_

// ---------------------------------------------------------------- pool sizes

namespace obvalues {
template <class T> constexpr bool HasPoolSize() {
    return OBIsPooledSize(sizeof(T));
}
template <> constexpr bool HasPoolSize<void>() {
    return true;
}
} // namespace obvalues

// Every value class has a size that a pool serves: `new` of it could never
// succeed otherwise.
#define OB_VALUE_TYPE(Number, Name, ValueClass, MadeClass)                                         \
    static_assert(obvalues::HasPoolSize<ValueClass>(), #ValueClass " needs a pooled size");
#include <ombra/defs/ValueTypes.def>

// ---------------------------------------------------------------- text

/// Renders a value as readable text for structure dumps, replacing `utf8`
/// with UTF-8 text: numbers in decimal, booleans as true/false, lengths,
/// angles, points, rectangles and lists of points with their unit name
/// ("12 points", "(0, 0, 10, 20) points"), percentages as "25%" (and the
/// fraction when given as one), matrices as "[a b c d tx ty]", strings
/// quoted with \\, \", and control characters escaped, dates in ISO 8601
/// ("2024-03-05T14:07:09"), file locations as their path (with the
/// ids when set), element ids as "#12", enumeration members by name
/// ("kLeft", the number for an unnamed member), streams by their byte
/// length. 8-bit strings are read in their script through the thread's
/// text service; without one, as ISO 8859-1. Returns 1 for a value of a
/// library value class; 0 for null ("null") or a class of a plug-in's own
/// ("<ekName value>").
OMBRA_API short OBValueToText(const Value* value, COBString& utf8);
/// As above, into UTF-16 text.
OMBRA_API short OBValueToText(const Value* value, WOBString& text);

#endif
