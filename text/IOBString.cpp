#include <ombra/strings.h>

#include "text/StringData.h"

#include <climits>
#include <cstring>

#include <boost/lexical_cast.hpp>

namespace ombra_detail {

int ParseNumber(const char* text, IOBString::ConversionError* error) {
    if (error) *error = IOBString::kConversionOK;
    std::size_t length = std::strlen(text);
    int integer = 0;
    if (boost::conversion::try_lexical_convert(text, length, integer)) return integer;
    double real = 0.0;
    if (boost::conversion::try_lexical_convert(text, length, real)) {
        // Truncation toward zero; NaN and everything outside int give INT_MIN.
        if (real > -2147483649.0 && real < 2147483648.0) return static_cast<int>(real);
        return INT_MIN;
    }
    if (error) *error = IOBString::kConversionFailed;
    return 0;
}

double ParseDouble(const char* text, IOBString::ConversionError* error) {
    if (error) *error = IOBString::kConversionOK;
    double real = 0.0;
    if (boost::conversion::try_lexical_convert(text, std::strlen(text), real)) return real;
    if (error) *error = IOBString::kConversionFailed;
    return 0.0;
}

long long BytesToUnits(const char* text, long long n, unsigned short* out, long long capacity,
                       WSE::WritingScriptEnum script) {
    OBLumUnicodeTranslator* translator = OBLumUnicodeTranslator::Instance();
    long long produced =
        translator->CharToTextChar(text, n, out, capacity, script, CPGE::kCodePageFromScript);
    OBLumUnicodeTranslator::DeleteInstance();
    // A service that claims more than fits must not make the strings overrun.
    return produced < 0 ? 0 : std::min(produced, capacity);
}

long long UnitsToBytes(const unsigned short* text, long long n, char* out, long long capacity,
                       WSE::WritingScriptEnum script, CPGE::CodePageEnum codePage) {
    OBLumUnicodeTranslator* translator = OBLumUnicodeTranslator::Instance();
    long long produced = translator->TextCharToChar(text, n, out, capacity, script, codePage);
    OBLumUnicodeTranslator::DeleteInstance();
    return produced < 0 ? 0 : std::min(produced, capacity);
}

} // namespace ombra_detail

IOBString::~IOBString() = default;

// ---- IOBStringPtr ----------------------------------------------------------

namespace {

// The copy a handle holds: UTF-16 text as a WOBString of all its units,
// 8-bit text as a COBString with its script.
IOBString* CopyOf(const IOBString& s) {
    IOBString* copy = nullptr;
    if (s.IsUnicode() == 1) {
        copy = new WOBString(s.GrabWString(), s.Length());
    } else if (const COBString* c = dynamic_cast<const COBString*>(&s)) {
        return c->Clone();
    } else {
        COBString* plain = new COBString;
        if (plain) plain->SetXString(s.GrabCString(), s.Length());
        copy = plain;
    }
    if (copy && copy->Length() != s.Length()) {
        delete copy; // the memory service ran out while copying the text
        copy = nullptr;
    }
    return copy;
}

IOBString* NewEmpty(bool unicode) {
    if (unicode) return new WOBString;
    return new COBString(WSE::kSystemScript);
}

} // namespace

IOBStringPtr::IOBStringPtr() : string_(nullptr) {}

IOBStringPtr::IOBStringPtr(bool unicode) : string_(NewEmpty(unicode)) {}

IOBStringPtr::IOBStringPtr(IOBString* p) : string_(p) {}

IOBStringPtr::IOBStringPtr(const IOBStringPtr& other)
    : string_(other.string_ ? CopyOf(*other.string_) : nullptr) {}

IOBStringPtr::~IOBStringPtr() {
    delete string_;
}

void IOBStringPtr::Init(bool unicode) {
    delete string_;
    string_ = NewEmpty(unicode);
}

IOBStringPtr& IOBStringPtr::operator=(const IOBStringPtr& other) {
    if (&other == this || !other.string_ || other.string_ == string_) return *this;
    IOBString* copy = CopyOf(*other.string_);
    delete string_;
    string_ = copy;
    return *this;
}

IOBStringPtr& IOBStringPtr::operator=(const IOBString* s) {
    // Copy before deleting: s may be the string this handle holds.
    IOBString* copy = s ? CopyOf(*s) : nullptr;
    delete string_;
    string_ = copy;
    return *this;
}

void IOBStringPtr::CopyString(const IOBString& s) {
    *this = &s;
}

bool IOBStringPtr::operator==(const IOBStringPtr& other) const {
    return *this == static_cast<const IOBString*>(other.string_);
}

bool IOBStringPtr::operator==(IOBString* s) const {
    return *this == static_cast<const IOBString*>(s);
}

bool IOBStringPtr::operator==(std::nullptr_t) const {
    return string_ == nullptr;
}

bool IOBStringPtr::operator==(const IOBString* s) const {
    if (string_ == s) return true;
    if (!string_ || !s) return false;
    return *string_ == *s;
}

bool IOBStringPtr::IsValid() const {
    return string_ != nullptr;
}

IOBString* IOBStringPtr::GetPtr() const {
    return string_;
}

IOBStringPtr::operator IOBString*() const {
    return string_;
}

IOBString* IOBStringPtr::operator->() {
    return string_;
}

const IOBString* IOBStringPtr::operator->() const {
    return string_;
}

IOBString& IOBStringPtr::operator*() const {
    return *string_;
}

void IOBStringPtr::Swap(IOBStringPtr& other) {
    std::swap(string_, other.string_);
}

void IOBStringPtr::Release(IOBStringPtr& other) {
    if (&other == this) return;
    string_ = other.string_;
    other.string_ = nullptr;
}

// ---- The system script in the text engine's spelling -----------------------

int OBGetSystemScript() {
    return OBLumHandler::GetLumScript(COBString::OBGetSystemScript());
}

void SetSystemScript(int script) {
    COBString::OBSetSystemScript(
        script == 0x40000000 ? WSE::kSystemScript : static_cast<WSE::WritingScriptEnum>(script));
}
