#include "ReaderColors.h"

#include <ombra/values.h>

namespace obreader {

namespace {

// The store of an Element just made of kind T: what ElementBuilder::Store
// finds, without looking up the kind.
template <class T> OBAttributeStore* StoreOf(Element* e) {
    return static_cast<OBAttributeStore*>(static_cast<T*>(e));
}

} // namespace

// A palette has hundreds of colours: the values go straight into the stores,
// and running out of memory is reported once per Element.
Element* AddColor(ElementBuilder& b, Element* list, const ColorSpec& color, const char* name) {
    Element* e = b.Child(list, EL::kColor);
    if (!e) return nullptr;
    OBAttributeStore* st = StoreOf<OBStoredColor>(e);
    short ok = st->SetUtf8(AN::kName, name);
    if (color.none) {
        ok &= st->SetBool(AN::kIsNone, true);
        b.Check(ok & st->SetMember<ValueColorTypeEnum>(AN::kType, CTE::kNone));
        return e;
    }
    ok &= st->SetMember<ValueColorTypeEnum>(AN::kType, color.type);
    b.Check(ok & st->SetMember<ValueColorModelEnum>(AN::kModel, color.model));
    const double* v = color.values;
    if (color.model == CME::kRGB) {
        Element* k = b.Child(e, EL::kRGB);
        if (!k) return e;
        st = StoreOf<OBStoredRGB>(k);
        ok = st->SetPercent(AN::kRed, v[0]);
        ok &= st->SetPercent(AN::kGreen, v[1]);
        ok &= st->SetPercent(AN::kBlue, v[2]);
    } else if (color.model == CME::kLAB) {
        Element* k = b.Child(e, EL::kLAB);
        if (!k) return e;
        st = StoreOf<OBStoredLAB>(k);
        ok = st->SetReal(AN::kLightness, v[0]);
        ok &= st->SetReal(AN::kA, v[1]);
        ok &= st->SetReal(AN::kB, v[2]);
    } else {
        Element* k = b.Child(e, EL::kCMYK);
        if (!k) return e;
        st = StoreOf<OBStoredCMYK>(k);
        ok = st->SetPercent(AN::kCyan, v[0]);
        ok &= st->SetPercent(AN::kMagenta, v[1]);
        ok &= st->SetPercent(AN::kYellow, v[2]);
        ok &= st->SetPercent(AN::kBlack, v[3]);
    }
    b.Check(ok);
    return e;
}

} // namespace obreader
