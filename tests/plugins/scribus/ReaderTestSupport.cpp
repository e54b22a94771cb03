#include "ScribusTestSupport.h"

#include <ombra/storedelements.h>
#include <ombra/strings.h>
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include "support/TestSupport.h"

#include <pugixml.hpp>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>

// The heap of this binary can refuse from the n-th allocation on: every
// form of operator new and pugixml's allocations go through Allocate. A
// refused nothrow new does not count as refused: its callers have a way
// without the memory (std::stable_sort's buffer), and nothing is lost.
namespace {

std::atomic<long long> gHeapCountdown{-1};
std::atomic<bool> gHeapRefused{false};

void* Allocate(std::size_t n, bool counts = true) {
    if (gHeapCountdown.load() >= 0 && gHeapCountdown.fetch_sub(1) <= 0) {
        if (counts) gHeapRefused = true;
        return nullptr;
    }
    return std::malloc(n ? n : 1);
}

// Failing the heap for the life of the object.
class FailHeapAfter {
public:
    explicit FailHeapAfter(long long n) {
        gHeapRefused = false;
        pugi::set_memory_management_functions([](std::size_t n) { return Allocate(n); }, std::free);
        gHeapCountdown = n;
    }
    ~FailHeapAfter() { gHeapCountdown = -1; }
};

} // namespace

void* operator new(std::size_t n) {
    if (void* p = Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n, false);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n, false);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace scribus_test {

Conversion::Conversion(const std::string& bytes,
                       const std::function<void(OBPreferenceList&)>& adjust, long long failAfter,
                       long long failHeapAfter)
    : bytes_(bytes), reader_(new ScribusReader), stream_(nullptr), error_(0) {
    stream_ = OBStreamUtilRef::CreateBufferStreamRead(bytes_.data(), bytes_.size());
    OBLoggerUtility::SetLogger(&logger_);
    OBPreferenceList prefs;
    reader_->GetStreamPrefs(stream_, &prefs);
    if (adjust) adjust(prefs);
    {
        std::unique_ptr<ombra_test::FailAllocationsAfter> fail;
        if (failAfter >= 0) fail.reset(new ombra_test::FailAllocationsAfter(failAfter));
        std::unique_ptr<FailHeapAfter> failHeap;
        if (failHeapAfter >= 0) failHeap.reset(new FailHeapAfter(failHeapAfter));
        reader_->Init(stream_, &prefs);
        heapRefused_ = gHeapRefused;
    }
    for (Element* e = reader_->GetFirstElement(); e; e = reader_->GetNextElement())
        top_.push_back(e);
    error_ = OBErrorUtils::OBGetGlobalErrorCode();
    for (int i = 0; i < logger_.GetStringCount(); ++i)
        log_.push_back(logger_.GetNthStringId(i));
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
    for (unsigned long long i = 0; e && i < e->GetChildCount(); ++i)
        if (Element* c = e->GetNthChild(i))
            if (c->GetElementType() == kind) out.push_back(c);
    return out;
}

static void Walk(Element* e, EL::ElementTypeEnum kind, std::vector<Element*>& out) {
    if (!e) return;
    if (e->GetElementType() == kind) out.push_back(e);
    for (unsigned long long i = 0; i < e->GetChildCount(); ++i)
        Walk(e->GetNthChild(i), kind, out);
}

std::vector<Element*> Descendants(Element* e, EL::ElementTypeEnum kind) {
    std::vector<Element*> out;
    Walk(e, kind, out);
    return out;
}

static Element* Find(Element* e, unsigned id) {
    if (!e || e->GetId() == id) return e;
    for (unsigned long long i = 0; i < e->GetChildCount(); ++i)
        if (Element* f = Find(e->GetNthChild(i), id)) return f;
    return nullptr;
}

Element* FindId(const std::vector<Element*>& roots, unsigned id) {
    for (Element* r : roots)
        if (Element* f = Find(r, id)) return f;
    return nullptr;
}

template <class T> T* ValueOf(Element* e, AN::AttrNameEnum attr) {
    return dynamic_cast<T*>(OBGetAttributeValue(e, attr));
}

double Points(Element* e, AN::AttrNameEnum attr) {
    OBReal r = std::nan("");
    if (auto* v = ValueOf<ValueLength>(e, attr)) v->Get(UNITS::LINEAR::kPoints, r);
    return r;
}

double Ratio(Element* e, AN::AttrNameEnum attr) {
    OBReal r = std::nan("");
    if (auto* v = ValueOf<ValuePercent>(e, attr)) v->Get(r);
    return r;
}

long long Int(Element* e, AN::AttrNameEnum attr) {
    int n = -1;
    if (auto* v = ValueOf<ValueInteger32>(e, attr)) v->Get(n);
    return n;
}

int Flag(Element* e, AN::AttrNameEnum attr) {
    short f = -1;
    if (auto* v = ValueOf<ValueBool16>(e, attr)) v->Get(f);
    return f;
}

unsigned Id(Element* e, AN::AttrNameEnum attr) {
    Value* v = OBGetAttributeValue(e, attr);
    if (!v)
        if (OBAttributeStore* store = OBGetAttributeStore(e)) v = store->Find(attr);
    unsigned id = kNoId;
    if (auto* value = dynamic_cast<ValueOBID*>(v)) value->Get(id);
    return id;
}

std::string Str(Element* e, AN::AttrNameEnum attr) {
    auto* v = ValueOf<ValueString>(e, attr);
    WOBString text;
    if (v) v->Get(text);
    const unsigned short* units = text.GrabWString();
    if (!units) return "";
    return Utf8(std::u16string(reinterpret_cast<const char16_t*>(units),
                               static_cast<std::size_t>(text.Length())));
}

int EnumOf(Element* e, AN::AttrNameEnum attr) {
    auto* v = ValueOf<ValueEnumBase>(e, attr);
    return v ? v->GetMember() : -1;
}

std::u16string StoryText(Element* childStory) {
    std::u16string out;
    OBStream* stream = nullptr;
    if (auto* value = ValueOf<ValueStream>(childStory, AN::kTextStream)) value->Get(stream);
    if (!stream) return out;
    stream->Seek(0, kSeekFromStart);
    unsigned char pair[2];
    while (stream->XferByte(pair, 2) == 2)
        out.push_back(static_cast<char16_t>(pair[0] | (pair[1] << 8)));
    return out;
}

static void CheckTypes(Element* e, std::string& faults) {
    if (!e) return;
    std::string kind = OBElementTypeName(e->GetElementType());
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
                faults += kind + "." + OBAttrNameString(attr) + ": type " + OBValueTypeName(type) +
                          ", bound " + OBValueTypeName(want) + (allowed ? "" : " (no accessor)") +
                          "\n";
        }
        if (found != store->Count()) faults += kind + ": values stored under indexes\n";
    } else {
        faults += kind + ": not a stored element\n";
    }
    for (unsigned long long i = 0; i < e->GetChildCount(); ++i)
        CheckTypes(e->GetNthChild(i), faults);
}

std::string CheckValueTypes(const std::vector<Element*>& roots) {
    std::string faults;
    for (Element* r : roots)
        CheckTypes(r, faults);
    return faults;
}

std::string CheckRuns(Element* childStory) {
    const long long length = static_cast<long long>(StoryText(childStory).size());
    std::string faults;
    for (EL::ElementTypeEnum list : {EL::kParagraphRunList, EL::kCharacterRunList}) {
        EL::ElementTypeEnum kind =
            list == EL::kParagraphRunList ? EL::kParagraphRun : EL::kCharacterRun;
        long long at = 0;
        for (Element* l : Children(childStory, list))
            for (Element* run : Children(l, kind)) {
                long long start = Int(run, AN::kStartCharacterPosition),
                          end = Int(run, AN::kEndCharacterPosition);
                if (start != at || end <= start || end > length)
                    faults += std::string(OBElementTypeName(kind)) + " [" + std::to_string(start) +
                              ", " + std::to_string(end) + ") where " + std::to_string(at) +
                              " was due\n";
                at = end;
            }
        if (at != length)
            faults += std::string(OBElementTypeName(list)) + " ends at " + std::to_string(at) +
                      " of " + std::to_string(length) + "\n";
    }
    return faults;
}

} // namespace scribus_test
