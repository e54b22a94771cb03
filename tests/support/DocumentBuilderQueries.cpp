// Searching and reading Element trees: the Elements of a kind, attribute
// values, and checks of value types, runs and references.
#include "DocumentBuilder.h"

#include <ombra/typedstreams.h>

#include <cmath>
#include <set>

namespace ombra_test {

// ---- searching ---------------------------------------------------------------

namespace {
// Depth-first, the root first: the Elements that match (only the first, when first).
void Walk(Element* e, const std::function<bool(Element*)>& match, bool first,
          std::vector<Element*>& out) {
    if (!e || (first && !out.empty())) return;
    if (match(e)) out.push_back(e);
    for (unsigned long long i = 0; i < e->GetChildCount(); ++i)
        Walk(e->GetNthChild(i), match, first, out);
}

std::vector<Element*> Walk(const std::vector<Element*>& roots,
                           const std::function<bool(Element*)>& match, bool first) {
    std::vector<Element*> out;
    for (Element* root : roots)
        Walk(root, match, first, out);
    return out;
}

Element* First(const std::vector<Element*>& roots, const std::function<bool(Element*)>& match) {
    std::vector<Element*> found = Walk(roots, match, true);
    return found.empty() ? nullptr : found[0];
}
} // namespace

Element* FindFirst(Element* root, EL::ElementTypeEnum kind) {
    return FindFirst(std::vector<Element*>{root}, kind);
}

Element* FindFirst(const std::vector<Element*>& roots, EL::ElementTypeEnum kind) {
    return First(roots, [kind](Element* e) { return e->GetElementType() == kind; });
}

std::vector<Element*> FindAll(const std::vector<Element*>& roots, EL::ElementTypeEnum kind) {
    return Walk(
        roots, [kind](Element* e) { return e->GetElementType() == kind; }, false);
}

// ---- reading trees -------------------------------------------------------------

std::vector<Element*> Children(Element* e, EL::ElementTypeEnum kind) {
    std::vector<Element*> out;
    for (unsigned long long i = 0; e && i < e->GetChildCount(); ++i)
        if (Element* c = e->GetNthChild(i))
            if (c->GetElementType() == kind) out.push_back(c);
    return out;
}

std::vector<Element*> Descendants(Element* e, EL::ElementTypeEnum kind) {
    return FindAll({e}, kind);
}

namespace {
template <class T> T* ValueOf(Element* e, AN::AttrNameEnum attr) {
    return dynamic_cast<T*>(OBGetAttributeValue(e, attr));
}
} // namespace

Element* FindId(const std::vector<Element*>& roots, unsigned id) {
    return First(roots, [id](Element* e) { return e->GetId() == id; });
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

namespace {
void CheckTypes(Element* e, std::string& faults) {
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
}
} // namespace

std::string CheckValueTypes(const std::vector<Element*>& roots) {
    std::string faults;
    for (Element* e : Walk(
             roots, [](Element*) { return true; }, false))
        CheckTypes(e, faults);
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

std::string CheckReferences(const std::vector<Element*>& roots, int* references) {
    std::string faults;
    std::set<unsigned> ids;
    std::vector<Element*> all = Walk(
        roots, [](Element*) { return true; }, false);
    for (Element* e : all)
        if (!ids.insert(e->GetId()).second)
            faults += "id " + std::to_string(e->GetId()) + " twice\n";
    int count = 0;
    for (Element* e : all)
        for (int a = 0; OBGetAttributeStore(e) && a < AN::kUndefined; ++a) {
            auto attr = static_cast<AN::AttrNameEnum>(a);
            unsigned target = kNoId;
            auto* id = dynamic_cast<ValueOBID*>(OBGetAttributeStore(e)->Find(attr));
            if (!id) continue;
            id->Get(target);
            ++count;
            if (!ids.count(target))
                faults += std::string(OBElementTypeName(e->GetElementType())) + "." +
                          OBAttrNameString(attr) + " names nothing\n";
        }
    if (references) *references = count;
    return faults;
}

} // namespace ombra_test
