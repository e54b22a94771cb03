// The element-kind and attribute-name dictionaries: the slots expanded from
// ElementKinds.def and AttrNames.def into vocabulary.h, searched in table order.
#include <ombra/elements.h>
#include <ombra/strings.h>

namespace {
constexpr const char* kUndefinedName = "UNDEFINED";
} // namespace

bool DictElements::GetStringById(EL::ElementTypeEnum id, COBString& name) {
    for (const OBElementKindName& slot : kOBElementKindNames) {
        if (slot.type == id) {
            name = slot.name;
            return true;
        }
    }
    name = kUndefinedName;
    return false;
}

bool DictElements::GetIdByString(const COBString& name, EL::ElementTypeEnum& id) {
    for (const OBElementKindName& slot : kOBElementKindNames) {
        if (name.Compare(false, slot.name) == 0) {
            id = slot.type;
            return true;
        }
    }
    id = EL::kUndefined;
    return false;
}

void DictAttrs::GetStringByNameId(AN::AttrNameEnum id, COBString& name) {
    // Slot i holds name i: read directly.
    if (id >= 0 && id < kOBAttrNamedCount)
        name = kOBAttrNames[id].name;
    else
        name = kUndefinedName;
}

void DictAttrs::GetNameIdByString(const COBString& name, AN::AttrNameEnum& id) {
    for (const OBAttrNameInfo& info : kOBAttrNames) {
        if (name.Compare(true, info.name) == 0) {
            id = info.attr;
            return;
        }
    }
    id = AN::kUndefined;
}
