// Values as readable UTF-8 text, for structure dumps.
#include "streams/memory/StdAllocator.h"

#include <ombra/streams.h>
#include <ombra/utf16.h>
#include <ombra/utf8.h>
#include <ombra/values.h>
#include <ombra/vocabulary.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>

namespace {

class Text {
public:
    void Add(const char* s) { out_ += s; }
    void Add(const char* s, std::size_t n) { out_.append(s, n); }
    void Add(char c) { out_ += c; }
    void Int(long long n) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%lld", n);
        out_ += buf;
    }
    void Unsigned(unsigned long long n) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%llu", n);
        out_ += buf;
    }
    void Real(double d) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "%.15g", d);
        out_ += buf;
    }
    void Bool(long long flag) {
        if (flag == 0 || flag == 1)
            Add(flag ? "true" : "false");
        else
            Int(flag);
    }
    void Unit(UNITS::LINEAR::UnitEnum unit) { NamedUnit(unit, "unit "); }
    void Unit(UNITS::ANGULAR::UnitEnum unit) { NamedUnit(unit, "angular unit "); }
    // A unit without a name is written by its number.
    template <class UnitEnum> void NamedUnit(UnitEnum unit, const char* unnamed) {
        const char* name = nullptr;
        try {
            UNITS::UnitName(unit, name);
        } catch (...) {
            name = nullptr;
        }
        Add(' ');
        if (name) {
            Add(name);
        } else {
            Add(unnamed);
            Int(unit);
        }
    }
    // Numbers as "(a, b, ...)".
    void Reals(std::initializer_list<double> values) {
        Add('(');
        for (const double* v = values.begin(); v != values.end(); ++v) {
            if (v != values.begin()) Add(", ");
            Real(*v);
        }
        Add(')');
    }
    void Point(const OBPoint& p) { Reals({p.X(), p.Y()}); }
    // UTF-8 text in double quotes, with quotes, backslashes and control
    // characters escaped.
    void Quoted(const char* s, std::size_t n) {
        Add('"');
        for (std::size_t i = 0; i < n; ++i) {
            unsigned char c = static_cast<unsigned char>(s[i]);
            switch (c) {
            case '"':
                Add("\\\"");
                break;
            case '\\':
                Add("\\\\");
                break;
            case '\n':
                Add("\\n");
                break;
            case '\r':
                Add("\\r");
                break;
            case '\t':
                Add("\\t");
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04X", c);
                    Add(buf);
                } else {
                    Add(static_cast<char>(c));
                }
            }
        }
        Add('"');
    }
    void QuotedUtf8(const COBString& utf8) {
        Quoted(utf8.GrabCString(), static_cast<std::size_t>(utf8.Length()));
    }
    const OBStdString& Get() const { return out_; }

private:
    OBStdString out_;
};

bool IsUtf8(const char* s, long long n) {
    for (long long i = 0; i < n;) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int follow = c < 0x80             ? 0
                     : (c & 0xE0) == 0xC0 ? 1
                     : (c & 0xF0) == 0xE0 ? 2
                     : (c & 0xF8) == 0xF0 ? 3
                                          : -1;
        if (follow < 0) return false;
        for (int k = 1; k <= follow; ++k)
            if (i + k >= n || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += follow + 1;
    }
    return true;
}

// Any string as UTF-8: UTF-16 by arithmetic, 8-bit text through its script
// (the thread's text service), or as ISO 8859-1 when nothing translates.
void ToUtf8(const IOBString& s, COBString& utf8, bool bytesMayBeUtf8) {
    if (s.IsUnicode() == 1) {
        OBStringUtils::ConvertUTF16StringToUTF8(s.GrabWString(),
                                                static_cast<unsigned long long>(s.Length()), utf8);
        return;
    }
    const char* bytes = s.GrabCString();
    const long long n = s.Length();
    if (bytesMayBeUtf8 && IsUtf8(bytes, n)) {
        utf8.SetXString(bytes, n);
        return;
    }
    const unsigned short* units = s.GrabWString();
    long long unitCount = 0;
    while (units[unitCount])
        ++unitCount;
    if (unitCount > 0 || n == 0)
        OBStringUtils::ConvertUTF16StringToUTF8(units, static_cast<unsigned long long>(unitCount),
                                                utf8);
    else
        OBStringUtils::ConvertCStringToUTF8(reinterpret_cast<const unsigned char*>(bytes),
                                            static_cast<unsigned long long>(n), utf8);
}

void AddString(Text& t, const IOBString* s, bool bytesMayBeUtf8 = false) {
    if (!s) {
        t.Add("<no string>");
        return;
    }
    COBString utf8;
    ToUtf8(*s, utf8, bytesMayBeUtf8);
    t.QuotedUtf8(utf8);
}

void AddPath(Text& t, const IOBString& path) {
    COBString utf8;
    ToUtf8(path, utf8, true);
    t.Add(utf8.GrabCString(), static_cast<std::size_t>(utf8.Length()));
}

const char* ExternalMemberName(VT::ValueTypeEnum type, int member) {
    if (type == VT::ekWritingScriptEnum) {
        switch (member) {
#define OB_WRITING_SCRIPT(name, value, codePage)                                                   \
    case value:                                                                                    \
        return #name;
#include <ombra/defs/WritingScripts.def>
        default:
            return nullptr;
        }
    }
    if (type == VT::ekCodePageEnum) {
        switch (member) {
#define OB_CODE_PAGE(name, value, windowsCodePage)                                                 \
    case value:                                                                                    \
        return #name;
#include <ombra/defs/CodePages.def>
        default:
            return nullptr;
        }
    }
    return nullptr;
}

void AddStream(Text& t, OBStream* stream) {
    if (!stream) {
        t.Add("<no stream>");
        return;
    }
    // Measure by seeking to the end; the position is restored.
    long long position = stream->Tell();
    stream->Seek(0, kSeekFromEnd);
    long long size = stream->Tell();
    stream->Seek(position, kSeekFromStart);
    t.Add("<stream, ");
    t.Int(size);
    t.Add(size == 1 ? " byte>" : " bytes>");
}

// ---- one writer per value class; Render dispatches to them from ValueTypes.def

void PutEnum(Text& t, ValueEnumBase& e, VT::ValueTypeEnum type) {
    const char* name = OBValueEnumMemberName(type, e.GetMember());
    if (!name) name = ExternalMemberName(type, e.GetMember());
    if (name)
        t.Add(name);
    else
        t.Int(e.GetMember());
}

template <class Class, class Number> void PutSigned(Text& t, Class& v) {
    Number n = 0;
    v.Get(n);
    t.Int(n);
}

template <class Class, class Number> void PutUnsigned(Text& t, Class& v) {
    Number n = 0;
    v.Get(n);
    t.Unsigned(n);
}

void Put(Text& t, ValueInteger16& v) {
    PutSigned<ValueInteger16, short>(t, v);
}
void Put(Text& t, ValueInteger32& v) {
    PutSigned<ValueInteger32, int>(t, v);
}
void Put(Text& t, ValueInteger64& v) {
    PutSigned<ValueInteger64, long long>(t, v);
}
void Put(Text& t, ValueUnInteger16& v) {
    PutUnsigned<ValueUnInteger16, unsigned short>(t, v);
}
void Put(Text& t, ValueUnInteger32& v) {
    PutUnsigned<ValueUnInteger32, unsigned>(t, v);
}
void Put(Text& t, ValueUnInteger64& v) {
    PutUnsigned<ValueUnInteger64, unsigned long long>(t, v);
}

void Put(Text& t, ValueBool16& v) {
    short b = 0;
    v.Get(b);
    t.Bool(b);
}

void Put(Text& t, ValueChar& v) {
    unsigned short c = 0;
    v.Get(c);
    if (c < 0x20 || c == 0x7F || OBUTF16::IsSurrogate(c) || c == 0xFFFE || c == 0xFFFF) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "U+%04X", c);
        t.Add(buf);
        return;
    }
    COBString utf8;
    OBStringUtils::ConvertUTF16StringToUTF8(&c, 1, utf8);
    t.Add('\'');
    t.Add(utf8.GrabCString(), static_cast<std::size_t>(utf8.Length()));
    t.Add('\'');
}

void Put(Text& t, ValueOBID& v) {
    unsigned id = 0;
    v.Get(id);
    t.Add('#');
    t.Unsigned(id);
}

void Put(Text& t, ValueOBReal& v) {
    OBReal r(0.0);
    v.Get(r);
    t.Real(r);
}

void Put(Text& t, ValueLength& v) {
    UNITS::LINEAR::UnitEnum unit = v.GetMeasurementUnit();
    if (v.IsIntegral()) {
        int n = 0;
        v.Get(unit, n);
        t.Int(n);
    } else {
        OBReal r(0.0);
        v.Get(unit, r);
        t.Real(r);
    }
    t.Unit(unit);
}

void Put(Text& t, ValueAngle& v) {
    OBReal r(0.0);
    v.Get(v.GetMeasurementUnit(), r);
    t.Real(r);
    t.Unit(v.GetMeasurementUnit());
}

void Put(Text& t, ValuePoint& v) {
    OBPoint p;
    v.Get(v.GetMeasurementUnit(), p);
    t.Point(p);
    t.Unit(v.GetMeasurementUnit());
}

void Put(Text& t, ValueRectangle& v) {
    OBRect r;
    v.Get(v.GetMeasurementUnit(), r);
    t.Reals({r.Left(), r.Top(), r.Right(), r.Bottom()});
    t.Unit(v.GetMeasurementUnit());
}

void Put(Text& t, ValuePercent& v) {
    OBReal ratio(0.0);
    v.Get(ratio);
    if (!v.HasRatio()) {
        int numerator = 0, denominator = 1;
        v.Get(numerator, denominator);
        t.Int(numerator);
        t.Add('/');
        t.Int(denominator);
        t.Add(" (");
    }
    t.Real(ratio.Value() * 100.0);
    t.Add('%');
    if (!v.HasRatio()) t.Add(')');
}

void Put(Text& t, ValueMatrix& v) {
    OBMatrix m;
    v.Get(m);
    t.Add('[');
    for (int i = 0; i < 6; ++i) {
        if (i) t.Add(' ');
        t.Real(m[i]);
    }
    t.Add(']');
}

void Put(Text& t, ValueDateTime& v) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", v.GetYear(), v.GetMonth(),
                  v.GetDay(), v.GetHour(), v.GetMin(), v.GetSec());
    t.Add(buf);
}

void Put(Text& t, ValueString& v) {
    AddString(t, v.GetPtr());
}

void Put(Text& t, ValueSysFile& v) {
    OBSysFileRef file;
    v.Get(file);
    OBFileSystemPath path(file);
    t.Add(path.Get(), path.Length());
}

void Put(Text& t, ValueFileSpec& v) {
    COBString path;
    v.GetFullPathNameA(path);
    AddPath(t, path);
    if (v.GetVolRefID() != 0 || v.GetDirID() != 0) {
        t.Add(" (volume ");
        t.Int(v.GetVolRefID());
        t.Add(", directory ");
        t.Int(v.GetDirID());
        t.Add(')');
    }
}

void Put(Text& t, ValueStream& v) {
    OBStream* stream = nullptr;
    v.Get(stream);
    AddStream(t, stream);
}

// A gradient stop; a stop of a list leaves out the names of its first fields.
void PutStop(Text& t, const OBGradientStop& s, bool named) {
    t.Add(named ? "(location " : "(");
    t.Real(s.location);
    t.Add(named ? ", midpoint " : ", ");
    t.Real(s.midpoint);
    t.Add(named ? ", color #" : ", #");
    t.Unsigned(s.colorRef);
    t.Add(", tint ");
    t.Real(s.tint);
    t.Add(')');
}

void Put(Text& t, ValueGradientStop& v) {
    OBGradientStop s{0.0, 0.0, 0, 0.0};
    v.Get(s.location, s.midpoint, s.colorRef);
    v.GetTint(s.tint);
    PutStop(t, s, true);
}

// A list as "[a, b, ...]": each(i) writes entry i.
template <class Each> void PutList(Text& t, long long count, Each each) {
    t.Add('[');
    for (long long i = 0; i < count; ++i) {
        if (i) t.Add(", ");
        each(static_cast<int>(i));
    }
    t.Add(']');
}

void Put(Text& t, ValueIdRefList& v) {
    PutList(t, v.Count(), [&](int i) {
        t.Add('#');
        t.Unsigned(v.Get(i));
    });
}

void Put(Text& t, ValueBool16List& v) {
    PutList(t, v.Count(), [&](int i) { t.Bool(v.Get(i)); });
}

void Put(Text& t, ValueStringList& v) {
    PutList(t, v.Count(), [&](int i) { AddString(t, v.Get(i).GetPtr()); });
}

void Put(Text& t, ValueRangeList& v) {
    PutList(t, v.NumRanges(), [&](int i) {
        unsigned start = 0, end = 0;
        v.Get(i, start, end);
        t.Unsigned(start);
        t.Add("..");
        t.Unsigned(end);
    });
}

// A point list in its unit: each point as putPoint writes it.
template <class Point, class List, class PutPoint>
void PutPoints(Text& t, List& v, long long count, PutPoint putPoint) {
    UNITS::LINEAR::UnitEnum unit = v.GetMeasurementUnit();
    PutList(t, count, [&](int i) {
        Point p;
        v.Get(i, unit, p);
        putPoint(p);
    });
    t.Unit(unit);
}

void Put(Text& t, ValueVertexList& v) {
    PutPoints<OBPoint>(t, v, v.NumVertices(), [&](const OBPoint& p) { t.Point(p); });
}

void Put(Text& t, ValuePathPointList& v) {
    PutPoints<OBPathPoint>(t, v, v.NumPathPoints(), [&](const OBPathPoint& p) {
        switch (p.GetAnchorType()) {
        case kSmoothPoint:
            t.Add("smooth ");
            break;
        case kCornerPoint:
            t.Add("corner ");
            break;
        default:
            t.Add("plain ");
            break;
        }
        t.Point(p.GetLeftDirPoint());
        t.Add(' ');
        t.Point(p.GetAnchorPoint());
        t.Add(' ');
        t.Point(p.GetRightDirPoint());
    });
}

void Put(Text& t, ValueGradientStopList& v) {
    PutList(t, v.NumGradientStops(), [&](int i) {
        OBGradientStop s{0.0, 0.0, 0, 0.0};
        v.Get(i, s);
        PutStop(t, s, false);
    });
}

// The value as its type's class, when it is one (void: the type has none).
template <class Class> bool RenderAs(Value* value, VT::ValueTypeEnum type, Text& t) {
    if constexpr (std::is_void_v<Class>) {
        return false;
    } else {
        auto* v = dynamic_cast<Class*>(value);
        if (!v) return false;
        if constexpr (std::is_base_of_v<ValueEnumBase, Class>)
            PutEnum(t, *v, type);
        else
            Put(t, *v);
        return true;
    }
}

// The value as text; false for a class the library does not know.
bool Render(Value* value, VT::ValueTypeEnum type, Text& t) {
    bool done = false;
    switch (type) {
#define OB_VALUE_TYPE(Number, Name, ValueClass, MadeClass)                                         \
    case VT::Name:                                                                                 \
        done = RenderAs<ValueClass>(value, type, t);                                               \
        break;
#include <ombra/defs/ValueTypes.def>
    default:
        break;
    }
    if (done) return true;
    // A plug-in's own enumeration class, or one under another type code.
    if (auto* e = dynamic_cast<ValueEnumBase*>(value)) {
        PutEnum(t, *e, type);
        return true;
    }
    return false;
}

} // namespace

short OBValueToText(const Value* value, COBString& utf8) {
    try {
        Text t;
        short known = 0;
        if (!value) {
            t.Add("null");
        } else {
            // Reading goes through the value's own getters, some of which
            // are not const; none of them changes the value.
            Value* v = const_cast<Value*>(value);
            VT::ValueTypeEnum type = VT::ekUndefined;
            v->GetType(type);
            if (Render(v, type, t)) {
                known = 1;
            } else {
                const char* name = OBValueTypeName(type);
                t.Add('<');
                if (name)
                    t.Add(name);
                else
                    t.Int(type);
                t.Add(" value>");
            }
        }
        utf8.SetXString(t.Get().data(), static_cast<long long>(t.Get().size()));
        return known;
    } catch (const std::bad_alloc&) {
        return 0; // no memory: the text stays as it was
    }
}

short OBValueToText(const Value* value, WOBString& text) {
    COBString utf8;
    short known = OBValueToText(value, utf8);
    WOBString converted;
    OBStringUtils::ConvertUTF8ToUTF16String(
        utf8.GrabCString(), static_cast<unsigned long long>(utf8.Length()), converted);
    text.SetXString(converted.GrabWString(), converted.Length());
    return known;
}
