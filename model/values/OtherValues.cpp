// Percentages, matrices, dates, strings, file references, streams and
// gradient stops.
#include "model/values/ValueInternal.h"
#include "text/StringData.h"

#include <ombra/typedstreams.h>
#include <ombra/values.h>

#include <cstring>
#include <typeinfo>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// ---------------------------------------------------------------- ValuePercent

Value& ValuePercent::operator=(Value& other) {
    if (ValuePercent* same = dynamic_cast<ValuePercent*>(&other)) {
        ratio_ = same->ratio_;
        numerator_ = same->numerator_;
        denominator_ = same->denominator_;
        hasRatio_ = same->hasRatio_;
        SetInitialized(1);
    }
    return *this;
}

short ValuePercent::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValuePercent* same = dynamic_cast<ValuePercent*>(other);
    return same && ratio_ == same->ratio_ ? 1 : 0;
}

void ValuePercent::Init(const int& numerator, const int& denominator) {
    numerator_ = numerator;
    denominator_ = denominator;
    ratio_ = static_cast<double>(numerator) / static_cast<double>(denominator);
    hasRatio_ = 0;
    SetInitialized(1);
}

void ValuePercent::Get(int& numerator, int& denominator) const {
    if (!IsInitialized()) return;
    numerator = numerator_;
    denominator = denominator_;
}

void ValuePercent::Get(OBReal& ratio) const {
    if (IsInitialized()) ratio = ratio_;
}

// ---------------------------------------------------------------- ValueMatrix

ValueMatrix::ValueMatrix() noexcept : Value(VT::ekMatrix) {}

ValueMatrix::~ValueMatrix() = default;

Value& ValueMatrix::operator=(Value& other) {
    if (ValueMatrix* same = dynamic_cast<ValueMatrix*>(&other)) {
        matrix_ = same->matrix_;
        SetInitialized(1);
    }
    return *this;
}

short ValueMatrix::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueMatrix* same = dynamic_cast<ValueMatrix*>(other);
    if (!same) return 0;
    OBMatrix theirs; // the identity, as a reader that found nothing would see
    same->Get(theirs);
    return matrix_ == theirs ? 1 : 0;
}

void ValueMatrix::Init(const OBMatrix& matrix) {
    matrix_ = matrix;
    SetInitialized(1);
}

void ValueMatrix::Get(OBMatrix& matrix) const {
    matrix = matrix_;
}

// ---------------------------------------------------------------- ValueDateTime

ValueDateTime::ValueDateTime() noexcept
    : Value(VT::ekDateTime), year_(0), month_(0), day_(0), hour_(0), minute_(0), second_(0) {}

ValueDateTime::~ValueDateTime() = default;

Value& ValueDateTime::operator=(Value& other) {
    if (ValueDateTime* same = dynamic_cast<ValueDateTime*>(&other)) {
        Init(same->year_, same->month_, same->day_, same->hour_, same->minute_, same->second_);
    }
    return *this;
}

short ValueDateTime::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueDateTime* same = dynamic_cast<ValueDateTime*>(other);
    return same && year_ == same->year_ && month_ == same->month_ && day_ == same->day_ &&
                   hour_ == same->hour_ && minute_ == same->minute_ && second_ == same->second_
               ? 1
               : 0;
}

void ValueDateTime::Init(const int& year, const int& month, const int& day, const int& hour,
                         const int& minute, const int& second) {
    year_ = year;
    month_ = month;
    day_ = day;
    hour_ = hour;
    minute_ = minute;
    second_ = second;
    SetInitialized(1);
}

// ---------------------------------------------------------------- ValueString

ValueString::ValueString() noexcept : Value(VT::ekString) {}

ValueString::ValueString(const ValueString& other) : Value(other) {
    if (const IOBString* text = other.text_.GetPtr()) Init(*text);
    SetInitialized(other.IsInitialized());
}

ValueString& ValueString::operator=(const ValueString& other) {
    operator=(const_cast<Value&>(static_cast<const Value&>(other)));
    return *this;
}

ValueString::~ValueString() {
    ReleaseText();
}

// Both string classes have IOBString at their start.
bool ValueString::HoldsInside() const {
    return static_cast<const void*>(text_.string_) == static_cast<const void*>(inside_);
}

void ValueString::ReleaseText() {
    IOBString* held = text_.string_;
    if (!held) return;
    bool inside = HoldsInside();
    text_.string_ = nullptr; // what lives inside is not the handle's to delete
    if (inside) {
        held->~IOBString();
    } else {
        delete held;
    }
}

// A store's names (a colour's, for one) are short text inside: ending them
// frees nothing, which needs no call through the string.
void ValueString::EndInBlock() noexcept {
    const IOBString* held = text_.string_;
    if (held && HoldsInside() && typeid(*held) == typeid(WOBString)) {
        const WOBStringData* data = static_cast<const WOBString*>(held)->data_;
        if (data && data->inside && !data->narrow && data->text.HoldsNothing()) return;
    }
    this->ValueString::~ValueString();
}

WOBString* ValueString::HoldUnitsInside() {
    ReleaseText();
    WOBString* text = WOBString::EmptyInto(inside_);
    text_.string_ = text;
    SetInitialized(1);
    return text;
}

// Short ASCII names are the most common text a store is given: they are
// written straight into the string's room, with nothing copied twice. The
// name goes through a zero-padded copy, checked and widened whole rather
// than a unit at a time.
bool ValueString::HoldAsciiInside(const char* bytes, std::size_t n) {
    using Units = ombra_detail::TextBuffer<unsigned short>;
    constexpr std::size_t kRoom = 24; // the string's own room, terminator included
    static_assert(Units::kInline + 1 == kRoom, "the widened name fills the room");
    if (n == 0 || n > static_cast<std::size_t>(Units::kInline)) return false;
    alignas(16) unsigned char padded[32] = {};
    // Two copies of fixed size that overlap cover any length from 1 to 23
    // without a call.
    if (n >= 16) {
        std::memcpy(padded, bytes, 16);
        std::memcpy(padded + n - 16, bytes + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(padded, bytes, 8);
        std::memcpy(padded + n - 8, bytes + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(padded, bytes, 4);
        std::memcpy(padded + n - 4, bytes + n - 4, 4);
    } else {
        padded[0] = static_cast<unsigned char>(bytes[0]);
        padded[n / 2] = static_cast<unsigned char>(bytes[n / 2]);
        padded[n - 1] = static_cast<unsigned char>(bytes[n - 1]);
    }
#if defined(__SSE2__)
    const __m128i low = _mm_load_si128(reinterpret_cast<const __m128i*>(padded));
    const __m128i high = _mm_load_si128(reinterpret_cast<const __m128i*>(padded + 16));
    if (_mm_movemask_epi8(_mm_or_si128(low, high))) return false;
    Units& text = HoldUnitsInside()->data_->text;
    text.EnsureBuffer();
    auto* units = reinterpret_cast<__m128i*>(text.Data());
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(units, _mm_unpacklo_epi8(low, zero));
    _mm_storeu_si128(units + 1, _mm_unpackhi_epi8(low, zero));
    _mm_storeu_si128(units + 2, _mm_unpacklo_epi8(high, zero));
#else
    unsigned char any = 0;
    for (unsigned char byte : padded)
        any |= byte;
    if (any & 0x80) return false;
    Units& text = HoldUnitsInside()->data_->text;
    text.EnsureBuffer();
    unsigned short* units = text.Data();
    for (std::size_t i = 0; i < kRoom; ++i)
        units[i] = padded[i];
#endif
    text.SetLength(static_cast<long long>(n));
    return true;
}

Value& ValueString::operator=(Value& other) {
    ValueString* same = dynamic_cast<ValueString*>(&other);
    if (!same || same == this) return *this;
    if (const IOBString* text = same->text_.GetPtr()) {
        Init(*text); // no memory: keeps what was held
    } else {
        ReleaseText();
        SetInitialized(1);
    }
    return *this;
}

short ValueString::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueString* same = dynamic_cast<ValueString*>(other);
    return same && text_ == same->text_ ? 1 : 0;
}

namespace {
// The 8-bit string text is, or null. Readers hand over plain COBStrings,
// which a type comparison finds without a dynamic cast.
const COBString* EightBitString(const IOBString& text) {
    if (typeid(text) == typeid(COBString)) return static_cast<const COBString*>(&text);
    return text.IsUnicode() == 1 ? nullptr : dynamic_cast<const COBString*>(&text);
}
// Text that fits the storage block's own room.
bool ShortText(const IOBString& text) {
    return text.Length() <= (text.IsUnicode() == 1
                                 ? ombra_detail::TextBuffer<unsigned short>::kInline
                                 : ombra_detail::TextBuffer<char>::kInline);
}
} // namespace

void ValueString::Init(const IOBString& text) {
    static_assert(sizeof(COBString) + sizeof(COBStringData) <= sizeof inside_,
                  "an 8-bit string fits inside the value");
    static_assert(sizeof(WOBString) + sizeof(WOBStringData) <= sizeof inside_,
                  "a UTF-16 string fits inside the value");
    // Short text is stored inside without asking for memory, so the string
    // held so far can go first (unless it is the one to copy); longer text
    // goes inside when nothing is held that a failure would have to keep.
    const bool inside = &text != text_.string_ && (!text_.string_ || ShortText(text));
    if (inside && text.IsUnicode() == 1) {
        const unsigned short* units = text.GrabWString();
        const long long n = text.Length();
        ReleaseText();
        WOBString* copy = WOBString::EmptyInto(inside_);
        if (!copy->ReplaceUnits(units, n)) {
            copy->~WOBString();
            return;
        }
        text_.string_ = copy;
        SetInitialized(1);
        return;
    }
    const COBString* bytes = EightBitString(text);
    if (inside && bytes) {
        ReleaseText();
        text_.string_ = COBString::CopyInto(inside_, *bytes);
        if (text_.string_) SetInitialized(1);
        return;
    }
    IOBStringPtr copy;
    copy.CopyString(text); // copies first: text may be the string held here
    if (!copy.IsValid()) return;
    ReleaseText();
    text_.Swap(copy);
    SetInitialized(1);
}

namespace {
long long UnitsOf(const unsigned short* text) {
    long long n = 0;
    while (text[n])
        ++n;
    return n;
}
} // namespace

void ValueString::Get(IOBString& text) const {
    const IOBString* held = text_.GetPtr();
    if (!IsInitialized() || !held || held == &text) return;
    if (text.IsUnicode() == 1) {
        if (held->IsUnicode() == 1) {
            text.SetXString(held->GrabWString(), held->Length());
        } else {
            const unsigned short* units = held->GrabWString();
            text.SetXString(units, UnitsOf(units));
        }
        return;
    }
    const COBString* held8 = dynamic_cast<const COBString*>(held);
    COBString* target8 = dynamic_cast<COBString*>(&text);
    if (held8 && target8) {
        *target8 = *held8; // bytes and script
    } else if (held->IsUnicode() != 1) {
        text.SetXString(held->GrabCString(), held->Length());
    } else {
        const char* bytes = held->GrabCString();
        text.SetXString(bytes, static_cast<long long>(std::strlen(bytes)));
    }
}

void ValueString::Get(IOBStringPtr& text) const {
    if (!IsInitialized() || !text_.IsValid()) return;
    IOBStringPtr copy(text_);
    if (copy.IsValid()) text.Swap(copy);
}

// ---------------------------------------------------------------- ValueSysFile

ValueSysFile::ValueSysFile() noexcept : Value(VT::ekSysFile) {}

ValueSysFile::~ValueSysFile() = default;

Value& ValueSysFile::operator=(Value& other) {
    if (ValueSysFile* same = dynamic_cast<ValueSysFile*>(&other)) {
        if (same != this) file_ = same->file_;
        SetInitialized(1);
    }
    return *this;
}

short ValueSysFile::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueSysFile* same = dynamic_cast<ValueSysFile*>(other);
    if (!same) return 0;
    // The file system's form needs no text service, so two UTF-16 paths
    // never compare equal merely because neither could be rendered.
    OBFileSystemPath mine(file_), theirs(same->file_);
    if (!mine.Valid() || !theirs.Valid()) return file_ == same->file_ ? 1 : 0;
    return mine.Length() == theirs.Length() &&
                   std::memcmp(mine.Get(), theirs.Get(), mine.Length()) == 0
               ? 1
               : 0;
}

void ValueSysFile::Init(const OBSysFileRef& file) {
    if (&file != &file_) file_ = file;
    SetInitialized(1);
}

void ValueSysFile::Get(OBSysFileRef& file) {
    if (IsInitialized() && &file != &file_) file = file_;
}

// ---------------------------------------------------------------- ValueStream

ValueStream::ValueStream() noexcept : Value(VT::ekIStreamPointer), stream_(nullptr) {}

ValueStream::~ValueStream() = default;

Value& ValueStream::operator=(Value& other) {
    if (ValueStream* same = dynamic_cast<ValueStream*>(&other)) {
        stream_ = same->stream_;
        SetInitialized(1);
    }
    return *this;
}

short ValueStream::IsEqual(Value*) {
    return 0;
}

void ValueStream::InitFromCharPointer(char* data, int length) {
    if (length < 0 || (!data && length > 0)) return;
    // The stream owns its copy of the bytes, so whoever deletes the stream
    // releases everything; nothing spills into a temporary file.
    void* copy = nullptr;
    if (length > 0) {
        copy = OBLibAllocate(static_cast<std::size_t>(length));
        if (!copy) return;
        std::memcpy(copy, data, static_cast<std::size_t>(length));
    }
    OBStream* stream =
        OBStreamUtilRef::CreateBufferStreamRead(copy, static_cast<unsigned long long>(length), 1);
    if (!stream) return; // the copy went with the failed stream
    // As after writing the bytes: the position is at their end.
    stream->Seek(0, kSeekFromEnd);
    stream_ = stream;
    SetInitialized(1);
}

void ValueStream::Init(OBStream*& stream) {
    stream_ = stream;
    SetInitialized(1);
}

void ValueStream::Get(OBStream*& stream) {
    if (IsInitialized()) stream = stream_;
}

// ---------------------------------------------------------------- ValueGradientStop

ValueGradientStop::ValueGradientStop() noexcept
    : Value(VT::ekGradientStop), location_(0.0), midpoint_(0.0), colorRef_(0), tint_(0.0) {}

ValueGradientStop::~ValueGradientStop() = default;

Value& ValueGradientStop::operator=(Value& other) {
    if (ValueGradientStop* same = dynamic_cast<ValueGradientStop*>(&other)) {
        location_ = same->location_;
        midpoint_ = same->midpoint_;
        colorRef_ = same->colorRef_;
        tint_ = same->tint_;
        SetInitialized(1);
    }
    return *this;
}

short ValueGradientStop::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueGradientStop* same = dynamic_cast<ValueGradientStop*>(other);
    return same && colorRef_ == same->colorRef_ && location_ == same->location_ &&
                   midpoint_ == same->midpoint_ && tint_ == same->tint_
               ? 1
               : 0;
}

void ValueGradientStop::Init(const OBReal& location, const OBReal& midpoint,
                             const unsigned& colorRef, OBReal tint) {
    location_ = location;
    midpoint_ = midpoint;
    colorRef_ = colorRef;
    tint_ = tint;
}

void ValueGradientStop::Get(OBReal& location, OBReal& midpoint, unsigned& colorRef) {
    location = location_;
    midpoint = midpoint_;
    colorRef = colorRef_;
}

void ValueGradientStop::GetTint(OBReal& tint) {
    tint = tint_;
}
