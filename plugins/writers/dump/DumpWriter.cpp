// The structure dump writer: writes the Elements it receives as JSON, one
// object per top-level Element in the order they arrive, with each
// element's kind, id, every attribute its view hands out and its children.
// It is how a person sees what a reader made of a document.
//
// The output is one JSON object, {"format": "ombra-dump", "version": 2,
// "elements": [...]} (docs/dump.schema.json), valid whatever the tree holds:
// measurements are objects with a number and a unit, strings are
// escaped (unpaired surrogates as \u escapes), numbers JSON has no form for
// become strings, an element met a second time (shared or in a loop) is
// written as a reference, and nesting deeper than kMaxDepth is cut off.
#include "DumpWriterIds.h"
#include "JsonText.h"

#include <ombra/utf16.h>
#include <ombra/diagnostics.h>
#include <ombra/geometry.h>
#include <ombra/messages.h>
#include <ombra/plugin.h>
#include <ombra/values.h>
#include <ombra/views.h>
#include <ombra/vocabulary.h>

#include <new>
#include <string>
#include <unordered_set>

namespace {

/// Elements below this many levels are counted, not written: JSON readers
/// limit nesting too.
constexpr int kMaxDepth = 100;
/// An indexed accessor is asked for at most this many entries.
constexpr int kMaxIndexedEntries = 100000;
/// Pending output is handed to the stream in pieces of about this size.
constexpr std::size_t kFlushSize = 64 * 1024;
/// The version of the dump's form; it changes when a reader of the dump
/// would read it differently.
constexpr int kDumpFormatVersion = 2;

using objson::AppendJsonNumber;
using objson::AppendJsonUtf16;
using objson::AppendJsonUtf8;

class DumpWriter : public OBWriter {
public:
    DumpWriter() { SetWriterID(kDumpWriterId); }
    ~DumpWriter() override;

    using OBWriter::Init;

    void GetStreamPrefs(OBStream*, OBPreferenceList* list) override {
        if (!list) return;
        if (OBIntegerPreference* indentation = new OBIntegerPreference(2, kDumpIndentationName)) {
            indentation->SetMinimumValue(0);
            indentation->SetMaximumValue(8);
            indentation->SetCurrentValue(2);
            list->Add(indentation);
        }
        if (OBBooleanPreference* storyText = new OBBooleanPreference(1, kDumpStoryTextName)) {
            storyText->SetCurrentValue(1);
            list->Add(storyText);
        }
    }

    void Init(OBStream* output, OBPreferenceList* preferences) override {
        OBWriter::Init();
        SetStream(output);
        indentation_ = 2;
        storyText_ = true;
        OBPreference* p = nullptr;
        if (preferences) preferences->GetNthPreferenceOfType(1, VT::ekSignedInt32, &p);
        if (auto* indentation = dynamic_cast<OBIntegerPreference*>(p)) {
            int value = indentation->GetCurrentValue();
            indentation_ = value < 0 ? 0 : value > 8 ? 8 : value;
        }
        p = nullptr;
        if (preferences) preferences->GetNthPreferenceOfType(1, VT::ekBool16, &p);
        if (auto* storyText = dynamic_cast<OBBooleanPreference*>(p))
            storyText_ = storyText->GetCurrentValue() == 1;
        elementCount_ = 0;
        failed_ = false;
        try {
            seen_.clear();
            pending_.clear();
            pending_ += indentation_ > 0 ? "{\"format\": \"ombra-dump\", \"version\": "
                                         : "{\"format\":\"ombra-dump\",\"version\":";
            pending_ += std::to_string(kDumpFormatVersion);
            pending_ += indentation_ > 0 ? ", \"elements\": [" : ",\"elements\":[";
        } catch (const std::bad_alloc&) {
            Fail(OBERR::kOutOfMemory);
        }
    }

    void PutElement(Element* element) override {
        if (failed_) return;
        try {
            if (!element) {
                if (elementCount_ > 0) NewLine(0);
                pending_ += "]}\n";
                Flush();
                return;
            }
            if (elementCount_++ > 0) pending_ += ',';
            NewLine(1);
            WriteElement(element, 1, 1);
            Flush();
        } catch (const std::bad_alloc&) {
            Fail(OBERR::kOutOfMemory);
        } catch (...) {
            // Nothing crosses back into the core.
            Fail(OBERR::kMalformedInput);
        }
    }

    void Reset() override {
        try {
            seen_.clear();
            std::string().swap(pending_);
        } catch (...) {
        }
        OBWriter::Reset();
    }

    void GetFormats(Format*& formats, short& count) override {
        formats = new Format[1];
        count = formats ? 1 : 0;
        if (formats) formats[0] = Format("JSON", 0x4A534F4Eu, 0x4F4D4252u);
    }

private:
    void Fail(int code) {
        if (failed_) return;
        failed_ = true;
        OBErrorUtils::OBSetGlobalErrorCode(code, OBMessageId(code));
        OBLoggerUtility::LogEntry(OBMessageId(code));
    }

    // Hands what is pending to the stream.
    void Flush() {
        OBStream* out = GetStream();
        if (pending_.empty() || failed_) return;
        long long want = static_cast<long long>(pending_.size());
        long long wrote =
            out ? out->XferByte(reinterpret_cast<unsigned char*>(&pending_[0]), want) : 0;
        pending_.clear();
        if (wrote != want) Fail(OBERR::kWriteFailed);
    }

    void NewLine(int level) {
        if (indentation_ == 0) {
            if (level <= 1) pending_ += '\n';
            return;
        }
        pending_ += '\n';
        pending_.append(static_cast<std::size_t>(level) * indentation_, ' ');
    }

    // Between the members of an object or array: a separator for every one
    // but the first, then a line break at the member's level.
    void Member(bool& first, int level) {
        if (!first) pending_ += ',';
        first = false;
        if (indentation_ > 0) NewLine(level);
    }

    void Key(const char* key) {
        pending_ += '"';
        AppendJsonUtf8(pending_, key, std::char_traits<char>::length(key));
        pending_ += indentation_ > 0 ? "\": " : "\":";
    }

    // level: the indentation level; depth: 1 for a top-level element.
    void WriteElement(Element* element, int level, int depth) {
        if (pending_.size() >= kFlushSize) Flush();
        if (!element) {
            pending_ += "null";
            return;
        }
        bool first = true;
        pending_ += '{';
        EL::ElementTypeEnum kind = element->GetElementType();
        Member(first, level + 1);
        Key("kind");
        if (const char* name = OBElementTypeName(kind)) {
            pending_ += '"';
            AppendJsonUtf8(pending_, name, std::char_traits<char>::length(name));
            pending_ += '"';
        } else {
            pending_ += "null";
            Member(first, level + 1);
            Key("type");
            pending_ += std::to_string(static_cast<int>(kind));
        }
        Member(first, level + 1);
        Key("id");
        pending_ += std::to_string(element->GetId());

        if (!seen_.insert(element).second) {
            // Shared with an element written before, or a loop back to one.
            Member(first, level + 1);
            Key("repeated");
            pending_ += "true";
            Close(first, level, '}');
            return;
        }

        Member(first, level + 1);
        Key("attributes");
        WriteAttributes(element, level + 1);

        unsigned long long children = element->GetChildCount();
        if (depth >= kMaxDepth && children > 0) {
            Member(first, level + 1);
            Key("childrenOmitted");
            pending_ += std::to_string(children);
        } else {
            Member(first, level + 1);
            Key("children");
            pending_ += '[';
            bool firstChild = true;
            for (unsigned long long n = 0; n < children; ++n) {
                Member(firstChild, level + 2);
                WriteElement(element->GetNthChild(n), level + 2, depth + 1);
            }
            Close(firstChild, level + 1, ']');
        }
        Close(first, level, '}');
    }

    void Close(bool empty, int level, char bracket) {
        if (!empty && indentation_ > 0) NewLine(level);
        pending_ += bracket;
    }

    // The attributes in the slot order of the element's view class.
    void WriteAttributes(Element* element, int level) {
        pending_ += '{';
        bool first = true;
        const OBViewClassInfo* view = OBGetViewClass(element->GetElementType());
        for (int i = 0; view && view->accessors && i < view->accessorCount; ++i) {
            const OBViewAccessorInfo& accessor = view->accessors[i];
            const char* name = OBAttrNameString(accessor.attr);
            if (!name) continue;
            if (!accessor.indexed) {
                Value* value = Ask(element, accessor.attr, 0);
                if (!value) continue;
                Member(first, level + 1);
                Key(name);
                WriteValue(value, accessor.attr);
                continue;
            }
            Value* value = Ask(element, accessor.attr, 0);
            if (!value) continue;
            Member(first, level + 1);
            Key(name);
            pending_ += '[';
            bool firstEntry = true;
            for (int n = 0; value && n < kMaxIndexedEntries;
                 value = Ask(element, accessor.attr, ++n)) {
                Member(firstEntry, level + 2);
                WriteValue(value, accessor.attr);
            }
            Close(firstEntry, level + 1, ']');
        }
        Close(first, level, '}');
    }

    // The accessors are the reader's code: one that throws counts as unset.
    static Value* Ask(Element* element, AN::AttrNameEnum attr, int index) {
        try {
            return OBGetAttributeValue(element, attr, index);
        } catch (...) {
            return nullptr;
        }
    }

    void WriteValue(Value* value, AN::AttrNameEnum attr) {
        if (auto* flag = dynamic_cast<ValueBool16*>(value)) {
            short b = 0;
            flag->Get(b);
            pending_ += b == 1 ? "true" : b == 0 ? "false" : std::to_string(b);
            return;
        }
        if (WriteInteger(value)) return;
        if (auto* real = dynamic_cast<ValueOBReal*>(value)) {
            OBReal number(0.0);
            real->Get(number);
            if (AppendJsonNumber(pending_, number.Value())) return;
        }
        if (auto* text = dynamic_cast<ValueString*>(value)) {
            WriteString(text->GetPtr());
            return;
        }
        bool measured = false;
        try {
            measured = WriteMeasurement(value);
        } catch (const char*) {
            // A unit the helpers do not know: the value's text follows.
        }
        if (measured) return;
        if (auto* stream = dynamic_cast<ValueStream*>(value)) {
            if (storyText_ && attr == AN::kTextStream) {
                WriteStreamText(stream);
                return;
            }
        }
        COBString rendered;
        OBValueToText(value, rendered);
        pending_ += '"';
        AppendJsonUtf8(pending_, rendered.GrabCString(),
                       static_cast<std::size_t>(rendered.Length()));
        pending_ += '"';
    }

    // {"value": 12.5, "unit": "points"}, and the same with x and y for a
    // point or left, top, right and bottom for a rectangle. A unit without
    // a name is written in points; a number JSON cannot hold, as text.
    bool WriteMeasurement(Value* value) {
        using UNITS::LINEAR::UnitEnum;
        std::string out = "{";
        const bool spaced = indentation_ > 0;
        auto number = [&out, spaced](const char* key, double x) {
            out += std::string(out.size() > 1 ? (spaced ? ", \"" : ",\"") : "\"") + key +
                   (spaced ? "\": " : "\":");
            return AppendJsonNumber(out, x);
        };
        auto linear = [](UnitEnum unit, const char*& name) {
            name = nullptr;
            try {
                UNITS::UnitName(unit, name);
            } catch (const char*) {
                name = nullptr;
            }
            if (!name) unit = UNITS::LINEAR::kPoints;
            if (!name) UNITS::UnitName(unit, name);
            return unit;
        };
        const char* unit = nullptr;
        bool ok = true;
        if (auto* length = dynamic_cast<ValueLength*>(value)) {
            OBReal x(0.0);
            length->Get(linear(length->GetMeasurementUnit(), unit), x);
            ok = number("value", x.Value());
        } else if (auto* angle = dynamic_cast<ValueAngle*>(value)) {
            OBReal x(0.0);
            angle->Get(angle->GetMeasurementUnit(), x);
            UNITS::UnitName(angle->GetMeasurementUnit(), unit);
            ok = number("value", x.Value());
        } else if (auto* percent = dynamic_cast<ValuePercent*>(value)) {
            OBReal ratio(0.0);
            percent->Get(ratio);
            unit = "%";
            ok = number("value", ratio.Value() * 100);
        } else if (auto* point = dynamic_cast<ValuePoint*>(value)) {
            OBReal x(0.0), y(0.0);
            point->Get(linear(point->GetMeasurementUnit(), unit), x, y);
            ok = number("x", x.Value()) && number("y", y.Value());
        } else if (auto* rect = dynamic_cast<ValueRectangle*>(value)) {
            OBRect r;
            rect->Get(linear(rect->GetMeasurementUnit(), unit), r);
            ok = number("left", r.Left().Value()) && number("top", r.Top().Value()) &&
                 number("right", r.Right().Value()) && number("bottom", r.Bottom().Value());
        } else {
            return false;
        }
        if (!ok || !unit) return false;
        out += spaced ? ", \"unit\": \"" : ",\"unit\":\"";
        AppendJsonUtf8(out, unit, std::char_traits<char>::length(unit));
        pending_ += out + "\"}";
        return true;
    }

    bool WriteInteger(Value* value) {
        if (auto* v = dynamic_cast<ValueInteger32*>(value)) return Number(v);
        if (auto* v = dynamic_cast<ValueInteger64*>(value)) return Number(v);
        if (auto* v = dynamic_cast<ValueUnInteger16*>(value)) return Number(v);
        if (auto* v = dynamic_cast<ValueUnInteger32*>(value)) return Number(v);
        if (auto* v = dynamic_cast<ValueUnInteger64*>(value)) return Number(v);
        if (auto* v = dynamic_cast<ValueOBID*>(value)) return Number(v);
        if (auto* v = dynamic_cast<ValueInteger16*>(value)) return Number(v);
        return false;
    }

    template <class V> bool Number(V* value) {
        decltype(NumberType(value)) number = 0;
        value->Get(number);
        pending_ += std::to_string(number);
        return true;
    }
    static int NumberType(ValueInteger32*);
    static long long NumberType(ValueInteger64*);
    static unsigned short NumberType(ValueUnInteger16*);
    static unsigned int NumberType(ValueUnInteger32*);
    static unsigned long long NumberType(ValueUnInteger64*);
    static unsigned int NumberType(ValueOBID*);
    static short NumberType(ValueInteger16*);

    void WriteString(const IOBString* text) {
        pending_ += '"';
        if (text && text->IsUnicode()) {
            AppendJsonUtf16(pending_, text->GrabWString(),
                            static_cast<std::size_t>(text->Length()));
        } else if (text) {
            // 8-bit text in its script, through the thread's text service.
            const unsigned short* units = text->GrabWString();
            std::size_t count = 0;
            while (units && units[count])
                ++count;
            AppendJsonUtf16(pending_, units, count);
        }
        pending_ += '"';
    }

    // A story's text: UTF-16 code units in little-endian order.
    void WriteStreamText(ValueStream* value) {
        OBStream* stream = nullptr;
        value->Get(stream);
        pending_ += '"';
        if (stream) {
            stream->Seek(0, kSeekFromStart);
            unsigned char bytes[8192];
            unsigned short units[sizeof bytes / 2 + 1];
            std::size_t count = 0; // units decoded and not yet written
            bool haveByte = false;
            unsigned char low = 0;
            for (;;) {
                long long got = stream->XferByte(bytes, sizeof bytes);
                for (long long i = 0; i < got; ++i) {
                    if (haveByte)
                        units[count++] = static_cast<unsigned short>(low | (bytes[i] << 8));
                    else
                        low = bytes[i];
                    haveByte = !haveByte;
                }
                bool last = got < static_cast<long long>(sizeof bytes);
                // A surrogate pair split between two reads stays together.
                std::size_t ready = count;
                if (!last && ready > 0 && OBUTF16::IsHighSurrogate(units[ready - 1])) --ready;
                AppendJsonUtf16(pending_, units, ready);
                for (std::size_t k = ready; k < count; ++k)
                    units[k - ready] = units[k];
                count -= ready;
                if (pending_.size() >= kFlushSize) Flush();
                if (last) break;
            }
            if (haveByte) pending_ += "\\ufffd"; // a final odd byte
        }
        pending_ += '"';
    }

    int indentation_ = 2;
    bool storyText_ = true;
    long long elementCount_ = 0;
    bool failed_ = false;
    std::string pending_;
    std::unordered_set<const Element*> seen_;
};

DumpWriter::~DumpWriter() = default;

} // namespace

OB_DECLARE_WRITER(DumpWriter)
OB_DECLARE_PLUGIN_VERSION(1, 0)
