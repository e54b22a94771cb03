#include "ReaderTestSupport.h"

#include <ombra/scripts.h>
#include <ombra/storedelements.h>
#include <ombra/strings.h>
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include "support/TestSupport.h"

#include <fstream>
#include <memory>
#include <sstream>

namespace scribus_reader_test {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string Fixture(const std::string& name) { return ReadFile(std::string(OMBRA_SCRIBUS_DATA_DIR) + "/" + name); }

Conversion::Conversion(const std::string& bytes, const std::function<void(OBPreferenceList&)>& adjust,
                       long long failAfter)
    : bytes_(bytes), reader_(new ScribusReader), stream_(nullptr), error_(0) {
    stream_ = OBStreamUtilRef::CreateBufferStreamRead(bytes_.data(), bytes_.size());
    OBLoggerUtility::SetLogger(&logger_);
    OBPreferenceList prefs;
    reader_->GetStreamPrefs(stream_, &prefs);
    if (adjust) adjust(prefs);
    {
        std::unique_ptr<ombra_test::FailAllocationsAfter> fail;
        if (failAfter >= 0) fail.reset(new ombra_test::FailAllocationsAfter(failAfter));
        reader_->Init(stream_, &prefs);
    }
    for (Element* e = reader_->GetFirstElement(); e; e = reader_->GetNextElement()) top_.push_back(e);
    error_ = OBErrorUtils::OBGetGlobalErrorCode();
    for (int i = 0; i < logger_.GetStringCount(); ++i) log_.push_back(logger_.GetNthStringId(i));
}

Conversion::~Conversion() {
    reader_->Reset();
    OBLoggerUtility::SetLogger(nullptr);
    delete reader_;
    delete stream_;
}

Element* Conversion::TopOf(EL::ElementTypeEnum kind) const {
    for (Element* e : top_)
        if (e->GetElementType() == kind) return e;
    return nullptr;
}

bool Conversion::Logged(int code) const {
    for (unsigned id : log_)
        if (id == OBMessageId(code)) return true;
    return false;
}

std::vector<Element*> Children(Element* e, EL::ElementTypeEnum kind) {
    std::vector<Element*> out;
    if (!e) return out;
    for (unsigned long long i = 0; i < e->GetChildCount(); ++i)
        if (Element* c = e->GetNthChild(i))
            if (c->GetElementType() == kind) out.push_back(c);
    return out;
}

static void Walk(Element* e, EL::ElementTypeEnum kind, std::vector<Element*>& out) {
    if (!e) return;
    if (e->GetElementType() == kind) out.push_back(e);
    for (unsigned long long i = 0; i < e->GetChildCount(); ++i) Walk(e->GetNthChild(i), kind, out);
}

std::vector<Element*> Descendants(Element* e, EL::ElementTypeEnum kind) {
    std::vector<Element*> out;
    Walk(e, kind, out);
    return out;
}

static Element* Find(Element* e, unsigned id) {
    if (!e) return nullptr;
    if (e->GetId() == id) return e;
    for (unsigned long long i = 0; i < e->GetChildCount(); ++i)
        if (Element* f = Find(e->GetNthChild(i), id)) return f;
    return nullptr;
}

Element* FindId(const std::vector<Element*>& roots, unsigned id) {
    for (Element* r : roots)
        if (Element* f = Find(r, id)) return f;
    return nullptr;
}

bool Int(Element* e, AN::AttrNameEnum attr, long long& out) {
    Value* v = OBGetAttributeValue(e, attr);
    if (auto* i = dynamic_cast<ValueInteger32*>(v)) {
        int n = 0;
        i->Get(n);
        out = n;
        return true;
    }
    return false;
}

bool Flag(Element* e, AN::AttrNameEnum attr, bool& out) {
    if (auto* b = dynamic_cast<ValueBool16*>(OBGetAttributeValue(e, attr))) {
        short f = 0;
        b->Get(f);
        out = f == 1;
        return true;
    }
    return false;
}

bool Id(Element* e, AN::AttrNameEnum attr, unsigned& out) {
    Value* v = OBGetAttributeValue(e, attr);
    if (!v)
        if (OBAttributeStore* store = OBGetAttributeStore(e)) v = store->Find(attr);
    if (auto* id = dynamic_cast<ValueOBID*>(v)) {
        id->Get(out);
        return true;
    }
    return false;
}

bool Points(Element* e, AN::AttrNameEnum attr, double& out) {
    if (auto* l = dynamic_cast<ValueLength*>(OBGetAttributeValue(e, attr))) {
        OBReal r;
        l->Get(UNITS::LINEAR::kPoints, r);
        out = r;
        return true;
    }
    return false;
}

bool Ratio(Element* e, AN::AttrNameEnum attr, double& out) {
    if (auto* p = dynamic_cast<ValuePercent*>(OBGetAttributeValue(e, attr))) {
        OBReal r;
        p->Get(r);
        out = r;
        return true;
    }
    return false;
}

std::string Str(Element* e, AN::AttrNameEnum attr) {
    auto* v = dynamic_cast<ValueString*>(OBGetAttributeValue(e, attr));
    if (!v) return "";
    WOBString text;
    v->Get(text);
    const unsigned short* units = text.GrabWString();
    if (!units) return "";
    return Utf8(std::u16string(reinterpret_cast<const char16_t*>(units), static_cast<std::size_t>(text.Length())));
}

int EnumOf(Element* e, AN::AttrNameEnum attr) {
    auto* v = dynamic_cast<ValueEnumBase*>(OBGetAttributeValue(e, attr));
    return v ? v->GetMember() : -1;
}

std::u16string StoryText(Element* childStory) {
    std::u16string out;
    auto* value = dynamic_cast<ValueStream*>(OBGetAttributeValue(childStory, AN::kTextStream));
    if (!value) return out;
    OBStream* stream = nullptr;
    value->Get(stream);
    if (!stream) return out;
    stream->Seek(0, kSeekFromStart);
    unsigned char pair[2];
    while (stream->XferByte(pair, 2) == 2) out.push_back(static_cast<char16_t>(pair[0] | (pair[1] << 8)));
    return out;
}

std::string Utf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) out += static_cast<char>(c);
        else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

static void CheckTypes(Element* e, std::string& faults) {
    if (!e) return;
    if (OBAttributeStore* store = OBGetAttributeStore(e)) {
        int found = 0;
        for (int a = 0; a < AN::kUndefined; ++a) {
            auto attr = static_cast<AN::AttrNameEnum>(a);
            Value* v = store->Find(attr);
            if (!v) continue;
            ++found;
            VT::ValueTypeEnum type = VT::ekUndefined;
            v->GetType(type);
            const OBViewAccessorInfo* accessor = OBFindViewAccessor(e->GetElementType(), attr);
            VT::ValueTypeEnum want = accessor ? accessor->valueType : OBAttrDefaultValueType(attr);
            // Only the page-item attributes every item carries may stand
            // where the kind's view has no accessor for them.
            bool allowed = accessor || attr == AN::kLayer || attr == AN::kRegularPageIdRef;
            if (type != want || !allowed)
                faults += std::string(OBElementTypeName(e->GetElementType())) + "." + OBAttrNameString(attr) +
                          ": type " + OBValueTypeName(type) + ", bound " + OBValueTypeName(want) +
                          (allowed ? "" : " (no accessor)") + "\n";
        }
        if (found != store->Count())
            faults += std::string(OBElementTypeName(e->GetElementType())) + ": values stored under indexes\n";
    } else {
        faults += std::string(OBElementTypeName(e->GetElementType())) + ": not a stored element\n";
    }
    for (unsigned long long i = 0; i < e->GetChildCount(); ++i) CheckTypes(e->GetNthChild(i), faults);
}

std::string CheckValueTypes(const std::vector<Element*>& roots) {
    std::string faults;
    for (Element* r : roots) CheckTypes(r, faults);
    return faults;
}

std::string CheckRuns(Element* childStory) {
    const long long length = static_cast<long long>(StoryText(childStory).size());
    std::string faults;
    for (EL::ElementTypeEnum list : {EL::kParagraphRunList, EL::kCharacterRunList}) {
        EL::ElementTypeEnum kind = list == EL::kParagraphRunList ? EL::kParagraphRun : EL::kCharacterRun;
        long long at = 0;
        for (Element* l : Children(childStory, list))
            for (Element* run : Children(l, kind)) {
                long long start = -1, end = -1;
                Int(run, AN::kStartCharacterPosition, start);
                Int(run, AN::kEndCharacterPosition, end);
                if (start != at || end <= start || end > length)
                    faults += std::string(OBElementTypeName(kind)) + " [" + std::to_string(start) + ", " +
                              std::to_string(end) + ") where " + std::to_string(at) + " was due\n";
                at = end;
            }
        if (at != length)
            faults += std::string(OBElementTypeName(list)) + " ends at " + std::to_string(at) + " of " +
                      std::to_string(length) + "\n";
    }
    return faults;
}

std::vector<std::u16string> Words(const std::u16string& text) {
    std::vector<std::u16string> out;
    std::u16string word;
    for (char16_t c : text) {
        bool inWord = (c >= 0xD800 && c <= 0xDFFF);
        if (!inWord) {
            unsigned category = (OBCharacterClass::GetCharacterProperty(c) >> 8) & 0xF;
            inWord = category == OBCC::kLetter || category == OBCC::kDigit || category == OBCC::kMark ||
                     category == OBCC::kKanaSign;
        }
        if (inWord) word += c;
        else if (!word.empty()) {
            out.push_back(word);
            word.clear();
        }
    }
    if (!word.empty()) out.push_back(word);
    return out;
}

bool ContainsRun(const std::vector<std::u16string>& hay, const std::vector<std::u16string>& needle) {
    if (needle.empty()) return true;
    for (std::size_t i = 0; i + needle.size() <= hay.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && hay[i + k] == needle[k]) ++k;
        if (k == needle.size()) return true;
    }
    return false;
}

} // namespace scribus_reader_test

namespace scribus_reader_test {

Pump::Pump() : manager_(new OBConvertorManager(OMBRA_READER_DIR, OMBRA_STORYTEXT_DIR)), convertor_(nullptr) {
    ErrorCode error = kNoError;
    if (manager_) convertor_ = manager_->GetConvertorForWriter(301, error);
}

Pump::~Pump() { delete manager_; }

std::string Pump::Convert(const std::string& bytes, short& ok, std::vector<unsigned>* log) {
    ok = 0;
    if (!convertor_) return "";
    OBConversionLogger logger;
    OBLoggerUtility::SetLogger(&logger);
    OBBufferStreamRead input(bytes.data(), bytes.size());
    OBMemXferBytes xfer;
    OBStream* output = OBStreamUtilRef::CreateMemoryStreamWrite(&xfer);
    ok = convertor_->ExtractData(&input, output, nullptr);
    delete output;
    OBLoggerUtility::SetLogger(nullptr);
    if (log)
        for (int i = 0; i < logger.GetStringCount(); ++i) log->push_back(logger.GetNthStringId(i));
    std::string text(static_cast<std::size_t>(xfer.Tell()), '\0');
    xfer.Seek(0, kSeekFromStart);
    if (!text.empty()) text.resize(static_cast<std::size_t>(xfer.Read(&text[0], text.size())));
    return text;
}

} // namespace scribus_reader_test
