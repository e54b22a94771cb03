#include "IdmlTestSupport.h"

#include <ombra/storedelements.h>
#include <ombra/strings.h>
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <ombra/memory.h>

#include <pugixml.hpp>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <locale>
#include <memory>
#include <new>
#include <sstream>

namespace {

std::atomic<long long> gCountdown{-1};
std::atomic<bool> gRefused{false};

bool Refuse() {
    long long left = gCountdown.load();
    if (left < 0) return false;
    if (gCountdown.fetch_sub(1) > 0) return false;
    gRefused = true;
    return true;
}

void* Allocate(std::size_t n) {
    return Refuse() ? nullptr : std::malloc(n ? n : 1);
}

} // namespace

// Every form, so that none pairs the heap's allocation with another's
// release (the nothrow form serves std::stable_sort's buffer).
void* operator new(std::size_t n) {
    if (void* p = Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n);
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
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace idml_test {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Package(const std::string& name) {
    return ReadFile(std::string(OMBRA_IDML_PACKAGES) + "/" + name + ".idml");
}

namespace {

void* ServiceAllocate(unsigned long long n) {
    return Allocate(static_cast<std::size_t>(n));
}

OBMemoryService gOneShot(ServiceAllocate, std::free, ServiceAllocate, std::free);
OBMemoryService* gSaved = nullptr;

} // namespace

FailEverythingAfter::FailEverythingAfter(long long n) {
    gRefused = false;
    pugi::set_memory_management_functions(Allocate, std::free);
    gSaved = OBMemoryHandler::GetMemoryService();
    OBMemoryHandler::SetMemoryService(&gOneShot);
    gCountdown = n;
}

FailEverythingAfter::~FailEverythingAfter() {
    gCountdown = -1;
    OBMemoryHandler::SetMemoryService(gSaved);
}

bool FailEverythingAfter::Refused() {
    return gRefused;
}

Reading::Reading(const std::string& bytes, const std::vector<std::pair<int, bool>>& prefs,
                 long long failAfter)
    : bytes_(bytes), stream_(nullptr) {
    stream_ = OBStreamUtilRef::CreateBufferStreamRead(bytes_.data(), bytes_.size());
    OBLoggerUtility::SetLogger(&logger_);
    recognised = reader_.CanImportThis(stream_);
    OBPreferenceList list;
    reader_.GetStreamPrefs(stream_, &list);
    for (const auto& p : prefs) {
        OBPreference* pref = nullptr;
        list.GetNthPreference(p.first, &pref);
        if (auto* b = dynamic_cast<OBBooleanPreference*>(pref)) b->SetCurrentValue(p.second);
    }
    {
        std::unique_ptr<FailEverythingAfter> failing;
        if (failAfter >= 0) failing.reset(new FailEverythingAfter(failAfter));
        reader_.Init(stream_, &list);
    }
    for (Element* e = reader_.GetFirstElement(); e; e = reader_.GetNextElement())
        top.push_back(e);
    for (int i = 0; i < logger_.GetStringCount(); ++i) {
        log.push_back(logger_.GetNthStringId(i));
        for (int k = 0; k < logger_.GetDetailCount(i); ++k)
            details += std::string(logger_.GetNthDetail(i, k)) + "\n";
    }
}

Reading::~Reading() {
    reader_.Reset();
    OBLoggerUtility::SetLogger(nullptr);
    delete stream_;
}

bool Reading::Logged(int code) const {
    for (unsigned id : log)
        if (id == OBMessageId(code)) return true;
    return false;
}

std::vector<Element*> Reading::All(EL::ElementTypeEnum kind) const {
    std::vector<Element*> out;
    for (Element* e : top)
        for (Element* f : Below(e, kind))
            out.push_back(f);
    return out;
}

std::vector<std::string> Reading::Texts() const {
    std::vector<std::string> out;
    for (Element* list : top)
        if (list->GetElementType() == EL::kStoryList)
            for (unsigned long long i = 0; i < list->GetChildCount(); ++i)
                out.push_back(Text(list->GetNthChild(i)));
    return out;
}

std::vector<Element*> Below(Element* e, EL::ElementTypeEnum kind) {
    std::vector<Element*> out, todo{e};
    while (!todo.empty()) { // depth first, children in order
        Element* at = todo.back();
        todo.pop_back();
        if (!at) continue;
        if (at->GetElementType() == kind) out.push_back(at);
        for (unsigned long long i = at->GetChildCount(); i-- > 0;)
            todo.push_back(at->GetNthChild(i));
    }
    return out;
}

namespace {

Value* Find(Element* e, AN::AttrNameEnum attr) {
    Value* v = e ? OBGetAttributeValue(e, attr) : nullptr;
    if (!v && e)
        if (OBAttributeStore* store = OBGetAttributeStore(e)) v = store->Find(attr);
    return v;
}

} // namespace

double Points(Element* e, AN::AttrNameEnum attr) {
    OBReal r = std::nan("");
    if (auto* v = dynamic_cast<ValueLength*>(Find(e, attr))) v->Get(UNITS::LINEAR::kPoints, r);
    return r;
}

double Ratio(Element* e, AN::AttrNameEnum attr) {
    OBReal r = std::nan("");
    if (auto* v = dynamic_cast<ValuePercent*>(Find(e, attr))) v->Get(r);
    return r;
}

double Degrees(Element* e, AN::AttrNameEnum attr) {
    OBReal r = std::nan("");
    if (auto* v = dynamic_cast<ValueAngle*>(Find(e, attr))) v->Get(UNITS::ANGULAR::kDegrees, r);
    return r;
}

long long Int(Element* e, AN::AttrNameEnum attr) {
    int n = -1;
    if (auto* v = dynamic_cast<ValueInteger32*>(Find(e, attr))) v->Get(n);
    return n;
}

int Flag(Element* e, AN::AttrNameEnum attr) {
    short f = -1;
    if (auto* v = dynamic_cast<ValueBool16*>(Find(e, attr))) v->Get(f);
    return f;
}

int Member(Element* e, AN::AttrNameEnum attr) {
    auto* v = dynamic_cast<ValueEnumBase*>(Find(e, attr));
    return v ? v->GetMember() : -1;
}

long long Id(Element* e, AN::AttrNameEnum attr) {
    unsigned id = 0;
    auto* v = dynamic_cast<ValueOBID*>(Find(e, attr));
    if (!v) return -1;
    v->Get(id);
    return id;
}

namespace {

std::string Utf8(const unsigned short* units, long long n) {
    std::string out;
    for (long long i = 0; i < n; ++i) {
        unsigned c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n)
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        out += static_cast<char>(((0xFF << (7 - extra)) & 0xFF) | (c >> (6 * extra)));
        for (int k = extra - 1; k >= 0; --k)
            out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
    }
    return out;
}

std::u16string Units(Element* child) {
    std::u16string out;
    OBStream* stream = nullptr;
    if (auto* v = dynamic_cast<ValueStream*>(Find(child, AN::kTextStream))) v->Get(stream);
    if (!stream) return out;
    stream->Seek(0, kSeekFromStart);
    unsigned char pair[2];
    while (stream->XferByte(pair, 2) == 2)
        out.push_back(static_cast<char16_t>(pair[0] | (pair[1] << 8)));
    return out;
}

} // namespace

std::string Str(Element* e, AN::AttrNameEnum attr) {
    WOBString text;
    if (auto* v = dynamic_cast<ValueString*>(Find(e, attr))) v->Get(text);
    return text.GrabWString() ? Utf8(text.GrabWString(), text.Length()) : std::string();
}

std::string Text(Element* story) {
    if (story && story->GetElementType() == EL::kParentStory)
        story = story->GetChild(EL::kChildStory);
    std::u16string units = Units(story);
    return Utf8(reinterpret_cast<const unsigned short*>(units.data()),
                static_cast<long long>(units.size()));
}

std::vector<std::pair<long long, long long>> Ranges(Element* e, EL::ElementTypeEnum kind) {
    std::vector<std::pair<long long, long long>> out;
    for (Element* r : Below(e, kind))
        out.emplace_back(Int(r, AN::kStartCharacterPosition), Int(r, AN::kEndCharacterPosition));
    return out;
}

std::string CheckStories(const std::vector<Element*>& roots, bool complete) {
    std::string faults;
    for (Element* root : roots)
        for (Element* child : Below(root, EL::kChildStory)) {
            const long long length = static_cast<long long>(Units(child).size());
            for (EL::ElementTypeEnum list : {EL::kParagraphRunList, EL::kCharacterRunList}) {
                long long at = 0;
                Element* l = child->GetChild(list);
                for (unsigned long long i = 0; l && i < l->GetChildCount(); ++i) {
                    Element* run = l->GetNthChild(i);
                    long long s = Int(run, AN::kStartCharacterPosition),
                              e = Int(run, AN::kEndCharacterPosition);
                    if ((complete ? s != at : s < at) || e <= s || e > length)
                        faults += "run gap or overlap at " + std::to_string(s) + "\n";
                    at = e;
                }
                if (complete && at != length) faults += "runs end at " + std::to_string(at) + "\n";
            }
            for (EL::ElementTypeEnum kind :
                 {EL::kRubiRun, EL::kKentenRun, EL::kWarichuRun, EL::kTCYRun})
                for (Element* list : Below(child, kind))
                    for (auto r : Ranges(list, kind))
                        if (r.first < 0 || r.second <= r.first || r.second > length)
                            faults += "Japanese run outside the text\n";
            for (Element* e : Below(child->GetChild(EL::kTableRunList), EL::kTableRun))
                if (Int(e, AN::kTextIndex) < 0 || Int(e, AN::kTextIndex) >= length)
                    faults += "table run\n";
        }
    return faults;
}

std::vector<std::string> Words(const std::string& text) {
    static const std::locale utf8("C.UTF-8");
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(utf8);
    std::vector<std::string> out;
    std::string word;
    for (std::size_t i = 0; i <= text.size();) {
        unsigned char c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        wchar_t cp = static_cast<wchar_t>(extra == 0 ? c : c & (0x3F >> extra));
        for (int k = 1; k <= extra && i + k < text.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        bool letter = c && (cp == L'_' || ctype.is(std::ctype_base::alnum, cp));
        if (letter) word.append(text, i, static_cast<std::size_t>(extra + 1));
        if (!letter && !word.empty()) out.push_back(std::move(word)), word.clear();
        i += static_cast<std::size_t>(extra + 1);
    }
    return out;
}

} // namespace idml_test
